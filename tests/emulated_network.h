// A started library and an emulator playing cameras beside it.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "VKTNetSDK11.h"
#include "camera_record.h"
#include "emulator.h"

namespace vkttest {

// For EXPECT_TRUE: the call failed (returned 1) and left `error` as the
// thread's last error.
inline ::testing::AssertionResult FailsWith(int result, int error) {
  const int last = VKT_GetLastError();
  if (result == 1 && last == error) return ::testing::AssertionSuccess();
  char text[96];
  std::snprintf(text, sizeof text, "returned %d with last error 0x%08x, expected 1 with 0x%08x", result,
                static_cast<unsigned>(last), static_cast<unsigned>(error));
  return ::testing::AssertionFailure() << text;
}

inline std::string DottedAddress(uint32_t networkOrder) {
  in_addr a{networkOrder};
  return inet_ntoa(a);
}

class EmulatedNetwork : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(VKT_Init(VKT_SDK_VERSION, nullptr), 0); }
  void TearDown() override {
    emulator.stop();
    VKT_Close();
  }
  // Starts the emulator with the cameras added so far.
  void StartEmulator() {
    std::string error;
    ASSERT_TRUE(emulator.start(&error)) << error;
  }

  vktemu::Emulator emulator;
};

}  // namespace vkttest
