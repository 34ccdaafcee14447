// Cameras behind rate-limited links (SlowLinkSite): each camera's pictures
// cross its own link at the link's rate, the site scales to hundreds of
// cameras, and it leaves nothing behind.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

#include "VKTNetSDK11.h"
#include "picture_collector.h"
#include "slow_link_site.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::PictureCollector;
using vkttest::SlowLinkSite;

constexpr size_t kPicture = 512 * 1024;

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool CommandPortOpen(const vkttest::SlowLinkCamera& camera) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(camera.commandPort);
  inet_pton(AF_INET, camera.address.c_str(), &to.sin_addr);
  const bool open = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  close(fd);
  return open;
}

TEST(SlowLinkSite, EachCamerasPictureCrossesItsOwnLinkAtTheLinksRate) {
  SlowLinkSite site;
  std::string error;
  ASSERT_TRUE(site.Create(2, "20mbit", VKT_EMULATOR, &error)) << error;
  ASSERT_EQ(site.RateBitsPerSecond(), 20000000u);
  ASSERT_EQ(VKT_Init(VKT_SDK_VERSION, nullptr), 0);
  PictureCollector::Instance().Clear();
  std::vector<int> handles;
  for (const auto& camera : site.Cameras()) {
    DeviceRecord record;
    vkttest::FillDeviceRecord(camera, record);
    const int handle = VKT_AddCamera(&record, PictureCollector::Callback, 3000);
    ASSERT_NE(handle, -1) << std::hex << VKT_GetLastError();
    handles.push_back(handle);
    const std::string id = std::to_string(camera.id);
    ASSERT_EQ(site.Control("pfault " + id + " padTo " + std::to_string(kPicture)), "ok\n");
  }
  const uint64_t before0 = site.LinkBytesSent(0).value_or(UINT64_MAX);
  const uint64_t before1 = site.LinkBytesSent(1).value_or(UINT64_MAX);

  const auto start = vkttest::Clock::now();
  ASSERT_EQ(site.Control("trigger 0 100"), "ok\n");
  ASSERT_EQ(site.Control("trigger 1 101"), "ok\n");
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(1, 10s));
  const auto first = vkttest::MsSince(start);
  ASSERT_TRUE(PictureCollector::Instance().WaitFor(2, 10s));
  const auto second = vkttest::MsSince(start);
  // 512 KiB at 20 Mbit/s is 0.21 s; without the limiter a veth takes a few
  // milliseconds. The upper bound allows for a loaded machine; that each
  // picture took its own link shows in the links' counters below.
  EXPECT_GE(first, 120) << "the limiter let the picture through too fast";
  EXPECT_LT(second, 2000);

  std::set<int> from;
  for (const auto& delivery : PictureCollector::Instance().All()) {
    EXPECT_GE(delivery.bytes.size(), kPicture);
    const size_t camera = delivery.info.camera == handles[0] ? 0 : 1;
    EXPECT_EQ(delivery.info.camera, handles[camera]);
    EXPECT_EQ(delivery.value, 100 + static_cast<int>(camera));
    EXPECT_NE(site.Control("pictures " + std::to_string(camera)).find(" last=" + std::to_string(delivery.bytes.size())),
              std::string::npos);
    from.insert(delivery.info.camera);
  }
  EXPECT_EQ(from.size(), 2u);
  EXPECT_GE(site.LinkBytesSent(0).value_or(0) - before0, kPicture);
  EXPECT_GE(site.LinkBytesSent(1).value_or(0) - before1, kPicture);
  VKT_Close();
}

TEST(SlowLinkSite, ThreeHundredCamerasEachOnItsOwnLinkAndNothingLeftBehind) {
  std::string name, lastHost;
  {
    SlowLinkSite site;
    std::string error;
    ASSERT_TRUE(site.Create(300, "20mbit", VKT_EMULATOR, &error)) << error;
    name = site.Namespace();
    const auto& cameras = site.Cameras();
    ASSERT_EQ(cameras.size(), 300u);
    // Past 256 the addresses move into the next /24, each /30 its own.
    EXPECT_EQ(cameras[299].address, "10.200.4.174");
    EXPECT_EQ(cameras[299].hostAddress, "10.200.4.173");
    std::set<std::string> addresses;
    for (const auto& camera : cameras) addresses.insert(camera.address);
    EXPECT_EQ(addresses.size(), 300u);
    lastHost = cameras[299].hostInterface;

    const std::string list = site.Control("list");
    EXPECT_EQ(list.rfind("ok 300\n", 0), 0u) << list.substr(0, 80);
    EXPECT_NE(list.find("id=299 address=10.200.4.174 mac=00:1c:27:c8:01:2b port=30000 model=VKT-N2F0Kq\n.\n"),
              std::string::npos);
    EXPECT_EQ(site.Control("nonsense").rfind("error", 0), 0u);
    EXPECT_EQ(site.Control("pictures 299"), "ok pushed=0 snapshots=0 last=none held=0\n");
    for (size_t i : {size_t{0}, size_t{255}, size_t{256}, size_t{299}}) {
      EXPECT_TRUE(CommandPortOpen(cameras[i])) << cameras[i].address;
      EXPECT_TRUE(Shell("tc -n " + name + " qdisc show dev " + cameras[i].cameraInterface + " | grep -q tbf"));
    }
    SlowLinkSite second;
    EXPECT_FALSE(second.Create(1, "20mbit", VKT_EMULATOR, &error)) << "one site per process";
    EXPECT_TRUE(Shell("ip netns pids " + name + " | grep -q ."));
  }
  EXPECT_FALSE(Shell("test -e /run/netns/" + name));
  EXPECT_FALSE(Shell("ip link show " + lastHost));
  EXPECT_FALSE(Shell("ip link show vslctl"));
}

}  // namespace
