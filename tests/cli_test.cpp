// The command-line tool against the emulator program, both run as separate
// processes the way a field engineer or a script runs them.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

using namespace std::chrono_literals;

struct CliRun {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

CliRun RunCli(std::vector<std::string> args) {
  std::string command = VKT_CLI;
  for (const auto& a : args) command += " '" + a + "'";
  vkttest::Child child({"/bin/sh", "-c", command + " 2>&1"});
  CliRun run;
  run.output = child.ReadAll(20s);
  auto status = child.Wait(20s);
  if (status && WIFEXITED(*status)) run.exitCode = WEXITSTATUS(*status);
  return run;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Cli : public ::testing::Test {
 protected:
  void StartEmulator(const std::vector<std::string>& cameras) {
    std::vector<std::string> argv{VKT_EMULATOR, "--control", "0"};
    for (const auto& c : cameras) {
      argv.push_back("--camera");
      argv.push_back(c);
    }
    emulator_ = std::make_unique<vkttest::Child>(argv);
    ASSERT_EQ(emulator_->ReadLine(5s).value_or("no answer"), "ready");
  }
  std::unique_ptr<vkttest::Child> emulator_;
};

TEST_F(Cli, SearchPrintsATableOfTheCameras) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010",
                 "ip=127.0.0.11,mac=00:1c:27:00:00:11,model=VKT-R6E0Kp,port=30011"});
  CliRun run = RunCli({"search", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  for (const char* part : {"127.0.0.10", "127.0.0.11", "00:1c:27:00:00:10", "VKT-N2F0Kq", "VKT-R6E0Kp", "30011"}) {
    EXPECT_TRUE(Contains(run.output, part)) << part << " missing in:\n" << run.output;
  }
}

TEST_F(Cli, SearchAsJson) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010"});
  CliRun run = RunCli({"search", "--json", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output.front(), '[');
  EXPECT_TRUE(Contains(run.output, "\"ip\": \"127.0.0.10\"") || Contains(run.output, "\"ip\":\"127.0.0.10\""))
      << run.output;
  EXPECT_TRUE(Contains(run.output, "\"mac\"")) << run.output;
  EXPECT_TRUE(Contains(run.output, "30010")) << run.output;
}

TEST_F(Cli, SearchWithNoCameraSaysSo) {
  CliRun run = RunCli({"search", "--timeout", "100"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(Contains(run.output, "no camera found")) << run.output;
  run = RunCli({"search", "--json", "--timeout", "100"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, "[]\n");
}

TEST_F(Cli, ChangeIpMovesTheCamera) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010"});
  CliRun run = RunCli({"change-ip", "--mac", "00:1c:27:00:00:10", "--ip", "127.0.0.77", "--search-timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "127.0.0.10 -> 127.0.0.77")) << run.output;
  run = RunCli({"search", "--timeout", "300"});
  EXPECT_TRUE(Contains(run.output, "127.0.0.77")) << run.output;
}

TEST_F(Cli, FailuresNameTheErrorCode) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010"});
  CliRun run = RunCli({"change-ip", "--mac", "00:1c:27:00:00:99", "--ip", "127.0.0.78", "--search-timeout", "200"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.output, "VKT_ERR_CAMERA_NOT_FOUND")) << run.output;
}

TEST_F(Cli, AddShowsTheCamerasDeviceRecord) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-R6E0Kq,port=30010,name=gate-7"});
  CliRun run = RunCli({"add", "--ip", "127.0.0.10", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  for (const char* part : {"added camera 127.0.0.10", "00:1c:27:00:00:10", "VKT-R6E0Kq", "30010", "gate-7"}) {
    EXPECT_TRUE(Contains(run.output, part)) << part << " missing in:\n" << run.output;
  }
  run = RunCli({"add", "--ip", "127.0.0.99", "--timeout", "200"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.output, "VKT_ERR_CAMERA_NOT_FOUND")) << run.output;
}

TEST_F(Cli, SettingsReadAndWritten) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kp,port=30010"});
  CliRun run = RunCli({"set", "rotation", "270", "--ip", "127.0.0.10", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  run = RunCli({"get", "rotation", "--ip", "127.0.0.10", "--timeout", "300", "--json"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "270")) << run.output;
  run = RunCli({"set", "rotation", "45", "--ip", "127.0.0.10", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.output, "VKT_ERR_INVALID_PARAM")) << run.output;
  run = RunCli({"state", "--ip", "127.0.0.10", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "temperature")) << run.output;
}

TEST_F(Cli, RecordJsonRoundTripsThroughAFile) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kp,port=30010"});
  CliRun run = RunCli({"set", "ae-param", "120", "-16", "--ip", "127.0.0.10", "--timeout", "300"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  run = RunCli({"get", "ae-param", "--json", "--ip", "127.0.0.10", "--timeout", "300"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "120") && Contains(run.output, "-16")) << run.output;
  const std::string path = testing::TempDir() + "ae-param.json";
  FILE* f = fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs(run.output.c_str(), f);
  fclose(f);
  run = RunCli({"set", "ae-param", "--json-file", path, "--ip", "127.0.0.10", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
}

TEST_F(Cli, SnapSavesAJpegAndStreamCountsFrames) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010"});
  const std::string path = testing::TempDir() + "snap.jpg";
  CliRun run = RunCli({"snap", "--ip", "127.0.0.10", "--timeout", "1000", "--out", path, "--value", "9"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "value: 9")) << run.output;
  FILE* f = fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char head[4] = {};
  EXPECT_EQ(fread(head, 1, 4, f), 4u);
  fclose(f);
  EXPECT_EQ(head[0], 0xFF);
  EXPECT_EQ(head[1], 0xD8);
  run = RunCli({"stream", "--ip", "127.0.0.10", "--timeout", "500", "--frames", "3"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "frames: 3")) << run.output;
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
  EXPECT_EQ(RunCli({"frobnicate"}).exitCode, 2);
  EXPECT_EQ(RunCli({"search", "--timeout", "soon"}).exitCode, 2);
  EXPECT_EQ(RunCli({"change-ip", "--mac", "00:1c:27:00:00:10"}).exitCode, 2);
  EXPECT_EQ(RunCli({"add"}).exitCode, 2);
  EXPECT_EQ(RunCli({"add", "--ip", "camera-7"}).exitCode, 2);
  EXPECT_EQ(RunCli({"get", "no-such-setting", "--ip", "127.0.0.10"}).exitCode, 2);
  EXPECT_EQ(RunCli({"set", "ae-param", "1", "--ip", "127.0.0.10"}).exitCode, 2);
  EXPECT_EQ(RunCli({"set", "ae", "0x80000000", "--ip", "127.0.0.10"}).exitCode, 2);
  CliRun help = RunCli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Contains(help.output, "search")) << help.output;
}

TEST_F(Cli, RefusedWhileAnotherProcessUsesTheLibrary) {
  vkttest::Child holder({VKT_INSTANCE_PROBE, "hold"});
  ASSERT_EQ(holder.ReadLine(5s).value_or("no answer"), "0");
  CliRun run = RunCli({"search", "--timeout", "100"});
  EXPECT_EQ(run.exitCode, 3) << run.output;
}

}  // namespace
