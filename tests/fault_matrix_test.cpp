// Every kind of call against every way a camera can fail to answer: each
// returns within its time-out (plus a margin) with the code that says what
// went wrong, and the same call works again once the camera behaves.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "camera_fixture.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// Long enough for an emulated camera under a sanitizer to build a 4 MiB
// reply; the delayed and silent cases wait it out.
constexpr uint32_t kTimeoutMs = 1000;
constexpr long long kMarginMs = 250;

enum class Fault { kDelay, kNoReply, kWrongSequence, kWrongCommand, kRefused, kCloseMidHeader, kCloseMidPayload, kOversized };

const char* Name(Fault f) {
  switch (f) {
    case Fault::kDelay: return "delayed reply";
    case Fault::kNoReply: return "no reply";
    case Fault::kWrongSequence: return "wrong sequence";
    case Fault::kWrongCommand: return "wrong command";
    case Fault::kRefused: return "negative status";
    case Fault::kCloseMidHeader: return "closed mid-header";
    case Fault::kCloseMidPayload: return "closed mid-payload";
    case Fault::kOversized: return "oversized length";
  }
  return "?";
}

// `oversized`: a length no reply of the call may have.
vktemu::CommandFaults FaultsFor(Fault f, uint32_t oversized = 100000) {
  vktemu::CommandFaults c;
  switch (f) {
    case Fault::kDelay: c.delayMs = 3000; break;
    case Fault::kNoReply: c.noReply = true; break;
    case Fault::kWrongSequence: c.sequenceDelta = 1; break;
    case Fault::kWrongCommand: c.commandDelta = 1; break;
    case Fault::kRefused: c.status = -1; break;
    case Fault::kCloseMidHeader: c.closeAfterBytes = 10; break;
    case Fault::kCloseMidPayload: c.closeAfterBytes = 28 + 8; break;
    case Fault::kOversized: c.announcedLength = oversized; break;
  }
  return c;
}

void NoPicture(char*, int, PictureInfo*, int) {}
void NoFrame(char*, int, StreamInfo*, int) {}

struct Call {
  const char* name;
  int32_t command;       // where the fault goes
  bool hasPayload;       // the normal reply carries a payload
  // Runs the call; its result.
  std::function<int(int handle, uint32_t ms)> run;
  // The code a fault leaves (nullopt: the call's own rule, given below).
  std::function<uint32_t(Fault)> expected;
  long long extraMs = 0;  // documented extra wait of the call
  uint32_t oversized = 100000;  // more than any reply of the call may carry
};

uint32_t ChannelCode(Fault f) {
  switch (f) {
    case Fault::kDelay:
    case Fault::kNoReply: return 0x80000101u;
    case Fault::kWrongSequence:
    case Fault::kWrongCommand:
    case Fault::kOversized: return 0x80000005u;
    case Fault::kRefused: return 0x80000004u;
    case Fault::kCloseMidHeader:
    case Fault::kCloseMidPayload: return 0x80000100u;
  }
  return 0;
}

class FaultMatrix : public vkttest::CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    emulator.forceStream(id, false);
    emulator.addStoredPicture(id, "/d/p.jpg", std::vector<uint8_t>(3000, 0x42));
    DeviceRecord record = vkttest::RecordOf(config);
    handle = VKT_AddCamera(&record, NoPicture, 1000);
    ASSERT_NE(handle, -1);
  }
  int handle = -1;
};

std::vector<Call> Calls() {
  std::vector<Call> calls;
  // The camera clock is never cached: every call asks the camera.
  calls.push_back({"settings record", 1070, true, [](int h, uint32_t ms) {
                     SYSTEMTIME time;
                     int extra;
                     return VKT_GetDateTime(h, &time, &extra, ms);
                   }, ChannelCode});
  calls.push_back({"settings value", 1206, false, [](int h, uint32_t ms) {
                     int progress;
                     return VKT_GetFormatSDCardProgress(h, &progress, ms);
                   }, ChannelCode});
  calls.push_back({"two-phase save", 100, false, [](int h, uint32_t ms) { return VKT_SaveConfig(h, ms); }, ChannelCode});
  calls.push_back({"listing", 1210, true, [](int h, uint32_t ms) {
                     DirectoryTree tree{};
                     std::strcpy(tree.path, "/d");
                     return VKT_GetDirectoryTree(h, &tree, ms);
                   }, ChannelCode, 0, 4u * 1024u * 1024u + 1u});
  calls.push_back({"fetch", 1216, true, [](int h, uint32_t ms) {
                     DirectoryEntry name{};
                     std::strcpy(name.name, "/d/p.jpg");
                     char* picture;
                     int length;
                     return VKT_GetJPGPic(h, &name, &picture, &length, ms);
                   }, ChannelCode, 0, 4u * 1024u * 1024u + 1u});
  // The snapshot compares only the status, on a connection of its own.
  calls.push_back({"snapshot", 102, false, [](int h, uint32_t ms) { return VKT_SnapPicture(h, 1, ms); },
                   [](Fault f) -> uint32_t {
                     switch (f) {
                       case Fault::kRefused: return 0x80000402u;
                       case Fault::kWrongSequence:
                       case Fault::kWrongCommand:
                       case Fault::kOversized: return 0;  // accepted
                       default: return 0x80000401u;
                     }
                   }});
  // A start whose port announcement fails says so with the general code.
  calls.push_back({"stream start", 1081, false, [](int h, uint32_t ms) { return VKT_StartStream(h, NoFrame, 0, ms); },
                   [](Fault) { return 0x80000001u; }});
  return calls;
}

TEST_F(FaultMatrix, EveryCallUnderEveryFaultEndsInTimeWithItsCodeAndRecovers) {
  const Fault faults[] = {Fault::kDelay,         Fault::kNoReply,        Fault::kWrongSequence,
                          Fault::kWrongCommand,  Fault::kRefused,        Fault::kCloseMidHeader,
                          Fault::kCloseMidPayload, Fault::kOversized};
  int cells = 0;
  for (const Call& call : Calls()) {
    for (Fault fault : faults) {
      if (fault == Fault::kCloseMidPayload && !call.hasPayload) continue;
      SCOPED_TRACE(std::string(call.name) + " / " + Name(fault));
      ++cells;
      emulator.setCommandFaults(id, call.command, FaultsFor(fault, call.oversized));
      const uint32_t expected = call.expected(fault);
      auto start = vkttest::Clock::now();
      const int result = call.run(handle, kTimeoutMs);
      const long long took = vkttest::MsSince(start);
      EXPECT_LE(took, kTimeoutMs + call.extraMs + kMarginMs);
      if (expected == 0) {
        EXPECT_EQ(result, 0) << std::hex << VKT_GetLastError();
      } else {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), expected);
      }
      emulator.clearCommandFaults(id);
      // The camera behaves again: so does the call.
      EXPECT_EQ(call.run(handle, 1000), 0) << std::hex << VKT_GetLastError();
      if (std::string(call.name) == "stream start") {
        ASSERT_EQ(VKT_StartStream(handle, nullptr, 0, 1000), 0);
      }
    }
  }
  EXPECT_EQ(cells, 7 * 8 - 4);
}

TEST_F(FaultMatrix, AStreamStopAlwaysFreesTheReceiverWithinItsWait) {
  const Fault faults[] = {Fault::kDelay, Fault::kNoReply, Fault::kRefused, Fault::kCloseMidHeader, Fault::kOversized};
  for (Fault fault : faults) {
    SCOPED_TRACE(Name(fault));
    ASSERT_EQ(VKT_StartStream(handle, NoFrame, 0, 1000), 0) << std::hex << VKT_GetLastError();
    emulator.setCommandFaults(id, 501, FaultsFor(fault));
    auto start = vkttest::Clock::now();
    EXPECT_EQ(VKT_StartStream(handle, nullptr, 0, kTimeoutMs), 0);
    // The mode command may wait a second more than the budget.
    EXPECT_LE(vkttest::MsSince(start), kTimeoutMs + 1000 + kMarginMs);
    emulator.clearCommandFaults(id);
  }
  // Every receiver went back to the pool: four starts on four cameras work.
  ASSERT_EQ(VKT_StartStream(handle, NoFrame, 0, 1000), 0);
  EXPECT_EQ(VKT_StartStream(handle, nullptr, 0, 1000), 0);
}

}  // namespace
