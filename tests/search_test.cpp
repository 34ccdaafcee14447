// Broadcast search against emulated cameras: what is found, the two probes
// and their timing, duplicates and malformed answers, and the result list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "emulated_network.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::Clock;
using vkttest::DottedAddress;
using vkttest::FailsWith;
using vkttest::MakeCamera;
using vkttest::MsSince;

class Search : public vkttest::EmulatedNetwork {
 protected:
  // Searches with the count-only idiom, then fetches the stored result.
  std::vector<DeviceRecord> SearchAndFetch(unsigned timeoutMs) {
    int count = -1;
    int result = VKT_SearchCamera(nullptr, 0, &count, timeoutMs);
    EXPECT_TRUE(FailsWith(result, VKT_ERR_INVALID_PARAM));
    std::vector<DeviceRecord> records(static_cast<size_t>(count));
    int fetched = -1;
    EXPECT_EQ(VKT_SearchCamera(records.data(), count, &fetched, 0), 0);
    EXPECT_EQ(fetched, count);
    return records;
  }

  // The addresses of the records a search finds, in the list's order.
  std::vector<std::string> FoundAddresses(unsigned timeoutMs) {
    std::vector<std::string> addresses;
    for (const auto& r : SearchAndFetch(timeoutMs)) addresses.push_back(DottedAddress(r.ipAddress));
    return addresses;
  }
  // Camera `camera` answers each probe `copies` times, `delayMs` late.
  void AnswerRepeatedly(int camera, int copies, int delayMs) {
    vktemu::DiscoveryFaults faults;
    faults.answerCopies = copies;
    faults.answerDelayMs = delayMs;
    emulator.setDiscoveryFaults(camera, faults);
  }

  // How long a search of `timeoutMs` that finds no camera takes, in ms.
  long long EmptySearchMs(unsigned timeoutMs) {
    DeviceRecord records[1];
    int count = -1;
    const auto start = Clock::now();
    EXPECT_EQ(VKT_SearchCamera(records, 1, &count, timeoutMs), 0);
    const long long took = MsSince(start);
    EXPECT_EQ(count, 0);
    return took;
  }

  bool HasProbeBytes(const vktemu::ReceivedDatagram& d) {
    return std::string(d.bytes.begin(), d.bytes.end()) == "Where_oKrimu_IPNC_Lumarest";
  }
};

TEST_F(Search, FindsEveryCameraWithItsRecord) {
  emulator.addCamera(MakeCamera("127.0.0.10", 0x10, "VKT-N2F0Kq"));
  emulator.addCamera(MakeCamera("127.0.0.11", 0x11, "VKT-R6E0Kp"));
  emulator.addCamera(MakeCamera("127.0.0.12", 0x12, "VKT-N9G6Kq"));
  StartEmulator();

  auto records = SearchAndFetch(300);
  ASSERT_EQ(records.size(), 3u);
  std::vector<std::string> addresses;
  for (const auto& r : records) addresses.push_back(DottedAddress(r.ipAddress));
  std::sort(addresses.begin(), addresses.end());
  EXPECT_EQ(addresses, (std::vector<std::string>{"127.0.0.10", "127.0.0.11", "127.0.0.12"}));
  for (const auto& r : records) {
    const int id = r.macAddress[5] - 0x10;
    const auto config = emulator.camera(id);
    EXPECT_EQ(DottedAddress(r.ipAddress), config.address);
    EXPECT_EQ(std::memcmp(r.macAddress, config.mac.data(), 6), 0);
    EXPECT_EQ(std::string(r.modelName), config.model);
    EXPECT_EQ(r.commandPort & 0xFFFF, config.commandPort);
    EXPECT_EQ(r.addressWord1, config.addressWord1);
    EXPECT_EQ(r.addressWord2, config.addressWord2);
    EXPECT_EQ(std::string(r.infoText1), config.infoText1);
  }
}

TEST_F(Search, NoCameraIsSuccessWithCountZero) {
  StartEmulator();
  DeviceRecord records[4];
  int count = -1;
  EXPECT_EQ(VKT_SearchCamera(records, 4, &count, 100), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(VKT_GetLastError(), VKT_OK);
}

TEST_F(Search, FetchBeforeAnySearchReturnsAnEmptyList) {
  // Each test runs in a process of its own: no search has run yet.
  DeviceRecord records[1];
  int count = -1;
  EXPECT_EQ(VKT_SearchCamera(records, 1, &count, 0), 0);
  EXPECT_EQ(count, 0);
  count = -1;
  EXPECT_TRUE(FailsWith(VKT_SearchCamera(nullptr, 0, &count, 0), VKT_ERR_INVALID_PARAM));
  EXPECT_EQ(count, 0);
}

TEST_F(Search, FetchWithTimeoutZeroSendsNothing) {
  emulator.addCamera(MakeCamera("127.0.0.10", 0x10));
  StartEmulator();
  ASSERT_EQ(SearchAndFetch(200).size(), 1u);
  emulator.clearTraffic();
  DeviceRecord records[2];
  int count = 0;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(VKT_SearchCamera(records, 2, &count, 0), 0);
  EXPECT_EQ(count, 1);
  // A probe sent now would arrive before this one from the test itself.
  ChangeIPParam marker{};
  VKT_ChangeCameraIP(&marker, 0);
  ASSERT_TRUE(emulator.waitForDatagrams(1, 2s));
  EXPECT_EQ(emulator.probeCount(), 0u);
}

TEST_F(Search, BufferChecksReportTheCount) {
  emulator.addCamera(MakeCamera("127.0.0.10", 0x10));
  emulator.addCamera(MakeCamera("127.0.0.11", 0x11));
  StartEmulator();
  ASSERT_EQ(SearchAndFetch(200).size(), 2u);

  DeviceRecord records[2];
  std::memset(records, 0x5A, sizeof records);
  int count = -1;
  EXPECT_TRUE(FailsWith(VKT_SearchCamera(records, 1, &count, 0), VKT_ERR_INVALID_PARAM));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(records[0].macAddress[0], 0x5A) << "nothing copied into a buffer too small";

  count = -1;
  EXPECT_TRUE(FailsWith(VKT_SearchCamera(records, -1, &count, 0), VKT_ERR_INVALID_PARAM));
  EXPECT_EQ(count, 2);

  EXPECT_TRUE(FailsWith(VKT_SearchCamera(records, 2, nullptr, 0), VKT_ERR_INVALID_PARAM));
}

TEST_F(Search, NegativeCapacityFailsEvenWithAnEmptyList) {
  DeviceRecord records[1];
  int count = -1;
  EXPECT_TRUE(FailsWith(VKT_SearchCamera(records, -5, &count, 0), VKT_ERR_INVALID_PARAM));
  EXPECT_EQ(count, 0);
}

TEST_F(Search, OneRecordPerMacTheFirstAnswerWins) {
  emulator.addCamera(MakeCamera("127.0.0.20", 0x20));
  // The same MAC at another address, answering late.
  AnswerRepeatedly(emulator.addCamera(MakeCamera("127.0.0.21", 0x20)), 3, 60);
  StartEmulator();
  EXPECT_EQ(FoundAddresses(400), (std::vector<std::string>{"127.0.0.20"}));
}

TEST_F(Search, RepeatedAnswersYieldOneRecordInOrderOfFirstAnswer) {
  AnswerRepeatedly(emulator.addCamera(MakeCamera("127.0.0.30", 0x30)), 4, 80);
  AnswerRepeatedly(emulator.addCamera(MakeCamera("127.0.0.31", 0x31)), 4, 0);
  StartEmulator();
  EXPECT_EQ(FoundAddresses(400), (std::vector<std::string>{"127.0.0.31", "127.0.0.30"}));
}

TEST_F(Search, MalformedAnswersAreSkipped) {
  emulator.addCamera(MakeCamera("127.0.0.40", 0x40));
  vktemu::DiscoveryFaults faults;
  faults.answerLengthDelta = -1;  // 395 bytes
  emulator.setDiscoveryFaults(emulator.addCamera(MakeCamera("127.0.0.41", 0x41)), faults);
  faults.answerLengthDelta = +1;  // 397 bytes
  emulator.setDiscoveryFaults(emulator.addCamera(MakeCamera("127.0.0.42", 0x42)), faults);
  faults.answerLengthDelta = 0;
  faults.badKeyword = true;
  emulator.setDiscoveryFaults(emulator.addCamera(MakeCamera("127.0.0.43", 0x43)), faults);
  StartEmulator();

  // Scripted junk of every size straight at the searching socket, as soon
  // as its first probe shows where it listens.
  std::thread junk([&] {
    if (!emulator.waitForProbes(1, 2s)) return;
    auto probe = emulator.discoveryTraffic().front();
    for (size_t size : {0u, 1u, 16u, 395u, 397u, 1500u, 65507u}) {
      std::vector<uint8_t> bytes(size, 0xFF);
      const std::string keyword = "IPNC_AnswerInfo=";
      std::copy_n(keyword.begin(), std::min(keyword.size(), size), bytes.begin());
      emulator.sendRaw(probe.sourceAddress, probe.sourcePort, bytes);
    }
  });
  const auto found = FoundAddresses(300);
  junk.join();
  EXPECT_EQ(found, (std::vector<std::string>{"127.0.0.40"}));
}

TEST_F(Search, ProbesAtStartAndAfterHalfTheTimeAndEndsAfterTheTimeout) {
  StartEmulator();
  const long long took = EmptySearchMs(1000);
  EXPECT_GT(took, 1000);
  EXPECT_LT(took, 1700);  // at most about T + T/2
  ASSERT_TRUE(emulator.waitForProbes(2, 1s));
  auto traffic = emulator.discoveryTraffic();
  ASSERT_EQ(traffic.size(), 2u);
  EXPECT_TRUE(HasProbeBytes(traffic[0]));
  EXPECT_TRUE(HasProbeBytes(traffic[1]));
  EXPECT_EQ(traffic[0].sourcePort, traffic[1].sourcePort) << "both probes leave from one socket";
  auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(traffic[1].at - traffic[0].at).count();
  // Measured where the emulator received them, so allow for its scheduling.
  EXPECT_GE(gap, 450);
  EXPECT_LT(gap, 900);
}

TEST_F(Search, OneMillisecondSearchEndsAtOnce) {
  StartEmulator();
  EXPECT_LT(EmptySearchMs(1), 100);
}

TEST_F(Search, NewSearchReplacesTheList) {
  int gone = emulator.addCamera(MakeCamera("127.0.0.50", 0x50));
  StartEmulator();
  ASSERT_EQ(SearchAndFetch(200).size(), 1u);
  vktemu::DiscoveryFaults silent;
  silent.silent = true;
  emulator.setDiscoveryFaults(gone, silent);
  DeviceRecord records[1];
  int count = -1;
  EXPECT_EQ(VKT_SearchCamera(records, 1, &count, 200), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(Search, ConcurrentSearchesAreSerialised) {
  emulator.addCamera(MakeCamera("127.0.0.60", 0x60));
  StartEmulator();
  auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([] {
      DeviceRecord records[2];
      int count = -1;
      EXPECT_EQ(VKT_SearchCamera(records, 2, &count, 200), 0);
      EXPECT_EQ(count, 1);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_GE(MsSince(start), 600);
}

}  // namespace
