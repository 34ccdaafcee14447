// Snapshots while other threads run commands that fail (and so close both
// connections of the camera) and the cameras drop their connections: every
// snapshot request must reach its own camera on a snapshot connection,
// never a command connection of any camera, every call must end within its
// time-outs, and nothing may crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "emulated_network.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

void OnPicture(char*, int, PictureInfo*, int) {}

class SnapshotRace : public vkttest::EmulatedNetwork {
 protected:
  static constexpr int kCameras = 3;
  static constexpr uint32_t kTimeoutMs = 300;
  // Commands the cameras answer badly: a refusal, and a close before the
  // reply. Either closes the camera's connections, the snapshot one too.
  static constexpr int32_t kRefused = 1301;  // VKT_GetWorkMode
  static constexpr int32_t kClosing = 1302;  // VKT_GetCameraMode

  void SetUp() override {
    EmulatedNetwork::SetUp();
    for (int i = 0; i < kCameras; ++i) {
      configs.push_back(vkttest::MakeCamera("127.0.0." + std::to_string(40 + i), static_cast<uint8_t>(0x40 + i)));
      ASSERT_EQ(emulator.addCamera(configs.back()), i);
      emulator.setPictureSize(i, 16, 16, 50);
      vktemu::CommandFaults refuse;
      refuse.status = -2;
      emulator.setCommandFaults(i, kRefused, refuse);
      vktemu::CommandFaults close;
      close.closeAfterBytes = 0;
      emulator.setCommandFaults(i, kClosing, close);
    }
    StartEmulator();
    for (int i = 0; i < kCameras; ++i) {
      DeviceRecord record = vkttest::RecordOf(configs[static_cast<size_t>(i)]);
      handles.push_back(VKT_AddCamera(&record, OnPicture, 1000));
      ASSERT_NE(handles.back(), -1) << std::hex << VKT_GetLastError();
    }
  }

  std::vector<vktemu::CameraConfig> configs;
  std::vector<int> handles;
};

// The snapshot value names the camera it was meant for.
int32_t SnapValue(int camera, int n) { return (camera << 20) | n; }
int CameraOfValue(int32_t value) { return value >> 20; }

TEST_F(SnapshotRace, RequestsStayOnTheirOwnConnectionsWhileCommandsFail) {
  constexpr int kSnapThreads = 4, kSnapsPerThread = 150, kCommandThreads = 3;
  // A snapshot may wait for the command lock behind each command thread's
  // call on its camera, then spends up to two budgets (registration,
  // exchange); a command waits for the others likewise.
  constexpr long long kLongestCall = (kCommandThreads + 2 + 2) * kTimeoutMs;

  std::atomic<bool> stop{false};
  std::atomic<int> snapThreadsDone{0}, running{0};
  std::atomic<long long> longestSnap{0}, longestCommand{0};
  std::vector<std::atomic<int>> snapsTaken(kCameras);
  auto note = [](std::atomic<long long>& longest, long long ms) {
    long long seen = longest.load();
    while (ms > seen && !longest.compare_exchange_weak(seen, ms)) {
    }
  };

  std::vector<std::thread> threads;
  for (int t = 0; t < kSnapThreads; ++t) {
    ++running;
    threads.emplace_back([&, t] {
      std::mt19937 random(10 + t);
      for (int n = 0; n < kSnapsPerThread; ++n) {
        const int camera = static_cast<int>(random() % kCameras);
        const auto start = vkttest::Clock::now();
        const int result =
            VKT_SnapPicture(handles[static_cast<size_t>(camera)], SnapValue(camera, t * kSnapsPerThread + n), kTimeoutMs);
        note(longestSnap, vkttest::MsSince(start));
        if (result == 0) ++snapsTaken[static_cast<size_t>(camera)];
      }
      ++snapThreadsDone;
      --running;
    });
  }
  for (int t = 0; t < kCommandThreads; ++t) {
    ++running;
    threads.emplace_back([&, t] {
      std::mt19937 random(20 + t);
      while (!stop.load()) {
        const int camera = handles[random() % kCameras];
        int word = 0;
        const auto start = vkttest::Clock::now();
        switch (random() % 3) {
          case 0: (void)VKT_GetWorkMode(camera, &word, kTimeoutMs); break;
          case 1: (void)VKT_GetCameraMode(camera, &word, kTimeoutMs); break;
          default: (void)VKT_GetLevelValue(camera, &word, kTimeoutMs); break;  // answered: a reconnection
        }
        note(longestCommand, vkttest::MsSince(start));
      }
      --running;
    });
  }
  // The cameras drop their connections now and then: once per few requests.
  ++running;
  threads.emplace_back([&] {
    std::mt19937 random(30);
    while (!stop.load()) {
      const int camera = static_cast<int>(random() % kCameras);
      const size_t seen = emulator.commandCount(camera);
      (void)vkttest::WaitFor([&] { return stop.load() || emulator.commandCount(camera) >= seen + 20; }, 2s);
      emulator.closeCommandConnections(camera);
    }
    --running;
  });

  const bool finished = vkttest::WaitFor([&] { return snapThreadsDone.load() == kSnapThreads; }, 50s);
  stop = true;
  if (!finished || !vkttest::WaitFor([&] { return running.load() == 0; }, 10s)) {
    std::fprintf(stderr, "a call hangs: %d snapshot threads done, %d threads running\n", snapThreadsDone.load(),
                 running.load());
    std::abort();  // the hung threads cannot be joined
  }
  for (auto& t : threads) t.join();

  EXPECT_LE(longestSnap.load(), kLongestCall);
  EXPECT_LE(longestCommand.load(), kLongestCall);
  int taken = 0;
  for (int camera = 0; camera < kCameras; ++camera) {
    SCOPED_TRACE(camera);
    std::set<int> snapshotConnections, commandConnections;
    std::map<int, int> strays;  // snapshot requests of another camera, by camera
    int requests = 0;
    for (const auto& r : emulator.commandTraffic(camera)) {
      if (r.command == 102) {
        snapshotConnections.insert(r.connection);
        if (CameraOfValue(r.value) == camera) {
          ++requests;
        } else {
          ++strays[CameraOfValue(r.value)];
        }
      } else {
        commandConnections.insert(r.connection);
      }
    }
    std::vector<int> both;
    std::set_intersection(snapshotConnections.begin(), snapshotConnections.end(), commandConnections.begin(),
                          commandConnections.end(), std::back_inserter(both));
    EXPECT_TRUE(both.empty()) << both.size() << " connections carried snapshot requests and commands";
    EXPECT_TRUE(strays.empty()) << "snapshot requests of " << strays.size() << " other cameras";
    // Each snapshot that succeeded was answered by its own camera.
    EXPECT_LE(snapsTaken[static_cast<size_t>(camera)].load(), requests);
    taken += snapsTaken[static_cast<size_t>(camera)].load();
  }
  std::printf("%d of %d snapshots taken; longest snapshot %lld ms, longest command %lld ms\n", taken,
              kSnapThreads * kSnapsPerThread, longestSnap.load(), longestCommand.load());
  EXPECT_GT(taken, 0) << "snapshots must get through between the failures";
}

}  // namespace
