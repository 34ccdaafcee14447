// The request/reply exchange on a camera's command connection: the bytes on
// the wire, reply checks and their error codes, time budgets, disconnects and
// reconnects, and the pending configuration save.
#include <gtest/gtest.h>

#include <vector>

#include "camera_fixture.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::Clock;
using vkttest::FailsWith;
using vkttest::MsSince;

class CommandChannel : public vkttest::AddedCameraTest {
 protected:
  int Exchange(int32_t command, uint32_t ms = 1000, int32_t value = 0) {
    vkt::Request request;
    request.command = command;
    request.value = value;
    return camera->Exchange(request, ms);
  }
};

TEST_F(CommandChannel, SixthRequestMatchesTheDocumentedBytes) {
  for (int i = 0; i < 5; ++i) ASSERT_EQ(Exchange(704), 0);
  ASSERT_EQ(Exchange(705, 1000, 1), 0);  // set AE to 1
  auto traffic = emulator.commandTraffic(id);
  ASSERT_EQ(traffic.size(), 6u);
  const std::vector<uint8_t> expected = {0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC1, 0x02,
                                         0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
  EXPECT_EQ(traffic[5].bytes, expected);
}

TEST_F(CommandChannel, SequenceNumbersAreConsecutiveFromZeroOnOneConnection) {
  for (int i = 0; i < 10; ++i) ASSERT_EQ(Exchange(1300 + i), 0);
  auto traffic = emulator.commandTraffic(id);
  ASSERT_EQ(traffic.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(traffic[static_cast<size_t>(i)].sequence, i);
    EXPECT_EQ(traffic[static_cast<size_t>(i)].command, 1300 + i);
    EXPECT_EQ(traffic[static_cast<size_t>(i)].connection, traffic[0].connection);
  }
}

TEST_F(CommandChannel, ReplyValueAndPayloadReachTheCaller) {
  emulator.setReplyValue(id, 1301, -12345);
  std::vector<uint8_t> record(100);
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(i + 1);
  emulator.setReplyPayload(id, 1000, record);
  ASSERT_EQ(Exchange(1301), 0);
  EXPECT_EQ(camera->ReplyHeader().value, -12345);
  ASSERT_EQ(Exchange(1000), 0);
  ASSERT_EQ(camera->ReplyHeader().length, 100u);
  EXPECT_EQ(std::vector<uint8_t>(camera->ReplyPayload(), camera->ReplyPayload() + 100), record);
}

TEST_F(CommandChannel, RefusalsMapToTheirCodesAndDropTheConnection) {
  const struct {
    int32_t status;
    int code;
  } cases[] = {{-1, VKT_ERR_CAMERA_REFUSED}, {-2, VKT_ERR_CAMERA_BUSY}, {-3, VKT_ERR_INVALID_PARAM}, {-4, VKT_OK},
               {-77, VKT_OK}};
  // A refusal's payload is never read: it would be taken for the next reply.
  emulator.setReplyPayload(id, 1016, std::vector<uint8_t>(12, 0xEE));
  ASSERT_EQ(Exchange(1301), 0);
  for (const auto& c : cases) {
    vktemu::CommandFaults faults;
    faults.status = c.status;
    emulator.setCommandFaults(id, 1016, faults);
    const size_t connectionsBefore = emulator.connectionCount(id);
    EXPECT_EQ(Exchange(1016), 1);
    EXPECT_EQ(VKT_GetLastError(), c.code) << "status " << c.status;
    emulator.clearCommandFaults(id);
    EXPECT_EQ(Exchange(1301), 0) << "the next command works again";
    EXPECT_EQ(emulator.connectionCount(id), connectionsBefore + 1) << "on a new connection";
  }
}

TEST_F(CommandChannel, MismatchedRepliesFailAndTheNextCommandReconnects) {
  for (bool sequence : {true, false}) {
    vktemu::CommandFaults faults;
    (sequence ? faults.sequenceDelta : faults.commandDelta) = 1;
    emulator.setCommandFaults(id, 0, faults);
    EXPECT_TRUE(FailsWith(Exchange(704), VKT_ERR_REPLY_MISMATCH));
    emulator.clearCommandFaults(id);
    EXPECT_EQ(Exchange(704), 0);
    EXPECT_EQ(VKT_GetLastError(), VKT_OK);
  }
  EXPECT_EQ(emulator.connectionCount(id), 3u);
}

TEST_F(CommandChannel, SilentCameraTimesOutWithinTheBudget) {
  vktemu::CommandFaults faults;
  faults.noReply = true;
  emulator.setCommandFaults(id, 0, faults);
  auto start = Clock::now();
  EXPECT_EQ(Exchange(704, 300), 1);
  const long long took = MsSince(start);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_TIMEOUT);
  EXPECT_GE(took, 290);
  EXPECT_LT(took, 300 + 250);
}

TEST_F(CommandChannel, SlowReplyBeyondTheBudgetTimesOut) {
  vktemu::CommandFaults faults;
  faults.delayMs = 400;
  emulator.setCommandFaults(id, 0, faults);
  auto start = Clock::now();
  EXPECT_TRUE(FailsWith(Exchange(704, 150), VKT_ERR_TIMEOUT));
  EXPECT_LT(MsSince(start), 150 + 250);
  emulator.clearCommandFaults(id);
  // The late reply went to the closed connection, not to the next command.
  EXPECT_EQ(Exchange(705, 1000, 7), 0);
  EXPECT_EQ(camera->ReplyHeader().command, 705);
}

TEST_F(CommandChannel, CameraClosingMidReplyIsANetworkFailure) {
  emulator.setReplyPayload(id, 1000, std::vector<uint8_t>(100, 1));
  for (int bytes : {0, 1, 27, 28, 28 + 50}) {
    vktemu::CommandFaults faults;
    faults.closeAfterBytes = bytes;
    emulator.setCommandFaults(id, 1000, faults);
    auto start = Clock::now();
    EXPECT_TRUE(FailsWith(Exchange(1000, 2000), VKT_ERR_NETWORK)) << bytes;
    EXPECT_LT(MsSince(start), 1000) << "a closed connection is not waited out";
    emulator.clearCommandFaults(id);
    EXPECT_EQ(Exchange(1000), 0) << bytes;
  }
}

TEST_F(CommandChannel, ReplyLongerThanTheBufferIsRefusedUnread) {
  vktemu::CommandFaults faults;
  faults.announcedLength = 997;
  emulator.setCommandFaults(id, 1000, faults);
  EXPECT_TRUE(FailsWith(Exchange(1000), VKT_ERR_REPLY_MISMATCH));
  faults.announcedLength = 100000;
  emulator.setCommandFaults(id, 1000, faults);
  EXPECT_TRUE(FailsWith(Exchange(1000), VKT_ERR_REPLY_MISMATCH));
  // The largest reply that fits is read whole.
  faults.announcedLength = 996;
  emulator.setCommandFaults(id, 1000, faults);
  EXPECT_EQ(Exchange(1000), 0);
  EXPECT_EQ(camera->ReplyHeader().length, 996u);
  EXPECT_EQ(camera->ReplyPayload()[995], 0xAB);
}

TEST_F(CommandChannel, IdleConnectionClosedByTheCameraFailsOnceThenReconnects) {
  ASSERT_EQ(Exchange(704), 0);
  emulator.closeCommandConnections(id);
  ASSERT_TRUE(vkttest::WaitFor([&] { return emulator.openConnectionCount(id) == 0; }, 2s));
  // The open flag is trusted, so the first command finds out the hard way.
  EXPECT_TRUE(FailsWith(Exchange(704), VKT_ERR_NETWORK));
  EXPECT_EQ(Exchange(704), 0);
}

TEST_F(CommandChannel, UnreachableCameraFailsAtConnect) {
  emulator.setCommandListening(id, false);
  emulator.closeCommandConnections(id);
  ASSERT_TRUE(vkttest::WaitFor([&] { return emulator.openConnectionCount(id) == 0; }, 2s));
  (void)Exchange(704, 500);  // may still go to the connection the camera closed
  auto start = Clock::now();
  EXPECT_TRUE(FailsWith(Exchange(704, 500), VKT_ERR_NETWORK)) << "connection refused";
  EXPECT_LT(MsSince(start), 400);
  emulator.setCommandListening(id, true);
  EXPECT_EQ(Exchange(704, 500), 0);
}

TEST_F(CommandChannel, FailedExchangeEmptiesTheCache) {
  camera->Cache().SetValue(vkt::ValueSlot::kAE, 1);
  const int32_t record = 7;
  camera->Cache().SetRecord(vkt::RecordSlot::kTimeZone, &record, sizeof record);
  vktemu::CommandFaults faults;
  faults.status = -2;
  emulator.setCommandFaults(id, 0, faults);
  EXPECT_EQ(Exchange(704), 1);
  EXPECT_EQ(camera->Cache().Value(vkt::ValueSlot::kAE), -1);
  EXPECT_FALSE(camera->Cache().Valid(vkt::RecordSlot::kTimeZone));
}

TEST_F(CommandChannel, TwoPhaseCommandWaitsForItsCompletion) {
  vktemu::CommandFaults faults;
  faults.completionDelayMs = 100;
  emulator.setCommandFaults(id, 100, faults);
  auto start = Clock::now();
  EXPECT_EQ(camera->ExchangeTwoPhase(100, 2000), vkt::TwoPhaseResult::kCompleted);
  EXPECT_GE(MsSince(start), 95);
  EXPECT_EQ(camera->ReplyHeader().status, 11);
}

TEST_F(CommandChannel, PushRegistrationIsSkippedUntilADisconnect) {
  ASSERT_EQ(camera->RegisterPushTarget(1000), 0);
  ASSERT_EQ(camera->RegisterPushTarget(1000), 0);
  EXPECT_EQ(Sent(1080), 1u);
  camera->Disconnect();
  ASSERT_EQ(camera->RegisterPushTarget(1000), 0);
  EXPECT_EQ(Sent(1080), 2u);
  // A first registration after a connect carries flag 0.
  auto traffic = emulator.commandTraffic(id);
  EXPECT_EQ(traffic.back().bytes[28 + 6], 0);
  EXPECT_EQ(traffic.back().bytes[28 + 7], 0);
  EXPECT_EQ(emulator.pushTarget(id).port, vkt::Library::Instance().PictureListenPort());
}

TEST_F(CommandChannel, HostAddressIsLearnedWhenTheFirstConnectFailed) {
  // A camera whose port is closed while it is added: the short connect at
  // creation fails, so the host address is not known yet.
  auto late = vkttest::MakeCamera("127.0.0.20", 0x20);
  int lateId = emulator.addCamera(late);
  emulator.setCommandListening(lateId, false);
  DeviceRecord record = vkttest::RecordOf(late);
  int lateHandle = VKT_AddCamera(&record, nullptr, 500);
  ASSERT_NE(lateHandle, -1);
  auto context = Context(lateHandle);
  EXPECT_EQ(context->HostAddress(), 0u);
  emulator.setCommandListening(lateId, true);
  ASSERT_EQ(context->RegisterPushTarget(1000), 0);
  EXPECT_EQ(vkttest::DottedAddress(emulator.pushTarget(lateId).address), "127.0.0.1")
      << "never announce 0.0.0.0 once a connection shows the host's address";
  EXPECT_EQ(vkttest::DottedAddress(context->HostAddress()), "127.0.0.1");
}

class PendingSave : public CommandChannel {
 protected:
  // A save whose completion does not come within its budget.
  void LeaveSavePending(const vktemu::CommandFaults& completion) {
    emulator.setCommandFaults(id, 100, completion);
    ASSERT_EQ(camera->ExchangeTwoPhase(100, 100), vkt::TwoPhaseResult::kCompletionFailed);
    ASSERT_EQ(VKT_GetLastError(), VKT_ERR_TIMEOUT);
    camera->SetPendingSave();
  }
  // The next command fails for the save, which no longer stands in the way
  // of the one after.
  void ExpectSaveFailedOnce(uint32_t ms) {
    EXPECT_TRUE(FailsWith(Exchange(704, ms), VKT_ERR_SAVE_FAILED));
    EXPECT_FALSE(camera->PendingSave());
    EXPECT_EQ(Exchange(704, ms), 0);
  }
};

TEST_F(PendingSave, NextCommandFirstConsumesTheCompletion) {
  vktemu::CommandFaults faults;
  faults.completionDelayMs = 300;
  LeaveSavePending(faults);
  EXPECT_EQ(Exchange(704, 2000), 0) << std::hex << VKT_GetLastError();
  EXPECT_FALSE(camera->PendingSave());
  EXPECT_EQ(Sent(704), 1u);
}

TEST_F(PendingSave, CompletionNotYetThereRefusesTheCommandAndKeepsWaiting) {
  vktemu::CommandFaults faults;
  faults.completionDelayMs = 600;
  LeaveSavePending(faults);
  EXPECT_TRUE(FailsWith(Exchange(704, 100), VKT_ERR_SAVE_PENDING));
  EXPECT_TRUE(camera->PendingSave());
  EXPECT_EQ(Sent(704), 0u) << "nothing is sent while the save is pending";
  EXPECT_EQ(Exchange(704, 2000), 0);
}

TEST_F(PendingSave, FailedCompletionFailsTheCommandUnsent) {
  vktemu::CommandFaults faults;
  faults.completionDelayMs = 200;
  faults.completionStatus = 5;
  LeaveSavePending(faults);
  ExpectSaveFailedOnce(2000);
  EXPECT_EQ(Sent(704), 1u) << "only the command after the failed one went out";
}

TEST_F(PendingSave, AnotherMessageInsteadOfTheCompletionDropsTheConnection) {
  vktemu::CommandFaults faults;
  faults.completionDelayMs = 200;
  faults.completionCommand = 999;
  LeaveSavePending(faults);
  const size_t connections = emulator.connectionCount(id);
  ExpectSaveFailedOnce(2000);
  EXPECT_EQ(emulator.connectionCount(id), connections + 1);
}

TEST_F(PendingSave, CameraClosingWhileSavingDoesNotLockTheCameraOut) {
  vktemu::CommandFaults faults;
  faults.noCompletion = true;
  LeaveSavePending(faults);
  emulator.closeCommandConnections(id);
  ASSERT_TRUE(vkttest::WaitFor([&] { return emulator.openConnectionCount(id) == 0; }, 2s));
  ExpectSaveFailedOnce(500);
}

class CallFrame : public CommandChannel {
 protected:
  // A call on `h` whose operation does nothing but succeed.
  static int CallThatSucceeds(int h) {
    return vkt::RunCameraCall(h, 100, [](vkt::CameraContext&, uint32_t) { return 0; });
  }
};

TEST_F(CallFrame, ZeroTimeoutFailsBeforeAnyTraffic) {
  const size_t connections = emulator.connectionCount(id);
  int ran = 0;
  EXPECT_TRUE(FailsWith(vkt::RunCameraCall(handle, 0, [&](vkt::CameraContext&, uint32_t) { return ++ran, 0; }),
                        VKT_ERR_TIMEOUT));
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u);
  EXPECT_EQ(emulator.connectionCount(id), connections);
}

TEST_F(CallFrame, UnknownAndDeletedHandlesAreRefused) {
  for (int bogus : {0, 1, -1, handle + 1, 0x7fffffff}) {
    EXPECT_TRUE(FailsWith(CallThatSucceeds(bogus), VKT_ERR_INVALID_HANDLE)) << bogus;
  }
  camera.reset();
  ASSERT_EQ(VKT_DelCamera(handle), 0);
  EXPECT_TRUE(FailsWith(CallThatSucceeds(handle), VKT_ERR_INVALID_HANDLE));
}

TEST_F(CallFrame, PassesTheBudgetAndTheOperationsResult) {
  uint32_t seen = 0;
  EXPECT_EQ(vkt::RunCameraCall(handle, 777, [&](vkt::CameraContext& c, uint32_t ms) {
              seen = ms;
              EXPECT_EQ(c.Handle(), handle);
              vkt::SetLastError(0x80000123u);
              return 1;
            }),
            1);
  EXPECT_GT(seen, 770u);
  EXPECT_LE(seen, 777u);
  EXPECT_EQ(static_cast<unsigned>(VKT_GetLastError()), 0x80000123u);
}

TEST_F(CallFrame, NotStartedComesFirst) {
  camera.reset();
  ASSERT_EQ(VKT_Close(), 0);
  EXPECT_TRUE(FailsWith(CallThatSucceeds(handle), VKT_ERR_NOT_STARTED));
}

}  // namespace
