// The per-thread last error and the rules for writing it.
#include <gtest/gtest.h>

#include <thread>

#include "VKTNetSDK11.h"
#include "emulated_network.h"

namespace {

int LastErrorOfFreshThread() {
  int error = 12345;
  std::thread([&] { error = VKT_GetLastError(); }).join();
  return error;
}

TEST(LastError, FreshThreadReadsZero) { EXPECT_EQ(LastErrorOfFreshThread(), VKT_OK); }

TEST(LastError, CallsBeforeStartAndAfterCloseReportNotStarted) {
  DeviceRecord records[2];
  int count = 7;
  ChangeIPParam param{};
  for (int phase = 0; phase < 2; ++phase) {
    if (phase == 1) {
      ASSERT_EQ(VKT_Init(257, nullptr), 0);
      ASSERT_EQ(VKT_Close(), 0);
    }
    EXPECT_EQ(VKT_SearchCamera(records, 2, &count, 0), 1);
    EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NOT_STARTED);
    EXPECT_EQ(count, 7) << "nothing is written when not started";
    EXPECT_EQ(VKT_ChangeCameraIP(&param, 0), 1);
    EXPECT_EQ(static_cast<unsigned>(VKT_GetLastError()), 0xFFFFFFFFu);
  }
}

TEST(LastError, LifecycleCallsNeverWriteIt) {
  ChangeIPParam param{};
  EXPECT_EQ(VKT_ChangeCameraIP(&param, 0), 1);
  ASSERT_EQ(VKT_GetLastError(), VKT_ERR_NOT_STARTED);
  ASSERT_EQ(VKT_Init(257, nullptr), 0);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NOT_STARTED);
  EXPECT_EQ(SetLogOutput(), 0);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NOT_STARTED);
  ASSERT_EQ(VKT_Close(), 0);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NOT_STARTED);
  EXPECT_EQ(VKT_Init(999, nullptr), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NOT_STARTED);
}

class LastErrorStarted : public vkttest::EmulatedNetwork {};

TEST_F(LastErrorStarted, EachThreadReadsItsOwnCode) {
  int first = 0, second = 0;
  std::thread a([&] {
    int* noCount = nullptr;
    EXPECT_EQ(VKT_SearchCamera(nullptr, 0, noCount, 0), 1);
    first = VKT_GetLastError();
  });
  a.join();
  std::thread b([&] {
    ChangeIPParam param{};  // nobody has this MAC: no confirmation
    EXPECT_EQ(VKT_ChangeCameraIP(&param, 0), 1);
    second = VKT_GetLastError();
  });
  b.join();
  EXPECT_EQ(first, VKT_ERR_INVALID_PARAM);
  EXPECT_EQ(second, VKT_ERR_TIMEOUT);
  EXPECT_EQ(VKT_GetLastError(), VKT_OK) << "other threads' failures do not show here";
}

TEST_F(LastErrorStarted, SuccessAfterFailureReadsZero) {
  int count = 0;
  EXPECT_EQ(VKT_SearchCamera(nullptr, 0, &count, 0), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_INVALID_PARAM);
  DeviceRecord records[1];
  EXPECT_EQ(VKT_SearchCamera(records, 1, &count, 0), 0);
  EXPECT_EQ(VKT_GetLastError(), VKT_OK);
  // Reading it changes nothing.
  EXPECT_EQ(VKT_GetLastError(), VKT_OK);
}

}  // namespace
