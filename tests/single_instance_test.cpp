// One process at a time may use the library; the claim vanishes with its
// process, even one killed with SIGKILL. This test process never loads the
// library itself.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using namespace std::chrono_literals;

std::string InitResultOfNewProcess() {
  vkttest::Child probe({VKT_INSTANCE_PROBE});
  auto line = probe.ReadLine(5s);
  probe.Wait(5s);
  return line.value_or("no answer");
}

TEST(SingleInstance, FirstProcessStartsOthersAreRefusedUntilItExits) {
  EXPECT_EQ(InitResultOfNewProcess(), "0") << "nobody holds the library";

  vkttest::Child holder({VKT_INSTANCE_PROBE, "hold"});
  ASSERT_EQ(holder.ReadLine(5s).value_or("no answer"), "0");
  EXPECT_EQ(InitResultOfNewProcess(), "-1");
  EXPECT_EQ(InitResultOfNewProcess(), "-1");

  holder.Kill(SIGKILL);
  auto status = holder.Wait(5s);
  ASSERT_TRUE(status.has_value());
  ASSERT_TRUE(WIFSIGNALED(*status));
  EXPECT_EQ(InitResultOfNewProcess(), "0") << "the name vanished with the killed process";
}

TEST(SingleInstance, ProcessThatExitsNormallyReleasesTheName) {
  vkttest::Child holder({VKT_INSTANCE_PROBE, "hold"});
  ASSERT_EQ(holder.ReadLine(5s).value_or("no answer"), "0");
  holder.Kill(SIGTERM);
  ASSERT_TRUE(holder.Wait(5s).has_value());
  EXPECT_EQ(InitResultOfNewProcess(), "0");
}

}  // namespace
