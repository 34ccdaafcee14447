// Discovery on a host with several networks: two LANs on veth pairs, an
// emulated camera on each in a namespace of its own, the library in the
// test's namespace attached to both. The namespaces are made and removed by
// the test; nothing leaves them.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VKTNetSDK11.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

struct Lan {
  std::string name;       // "a", "b"
  std::string ns;         // the camera's namespace
  std::string hostSide;   // interface in the test's namespace
  std::string subnet;     // "10.91.1"
  std::string mac;        // the camera's
  std::unique_ptr<vkttest::Child> emulator;
};

class MultiLan : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string tag = std::to_string(getpid());
    for (int i = 0; i < 2; ++i) {
      Lan lan;
      lan.name = i == 0 ? "a" : "b";
      lan.ns = "vkt-lan-" + lan.name + "-" + tag;
      lan.hostSide = "vktlan" + lan.name;
      lan.subnet = "10.91." + std::to_string(i + 1);
      lan.mac = "00:1c:27:91:00:0" + std::to_string(i + 1);
      const std::string cam = "vktcam" + lan.name;
      ASSERT_TRUE(Shell("ip netns add " + lan.ns)) << "cannot make a namespace";
      lans.push_back(std::move(lan));
      Lan& l = lans.back();
      // The camera keeps a second address for the address change below.
      ASSERT_TRUE(Shell("ip link add " + l.hostSide + " type veth peer name " + cam));
      ASSERT_TRUE(Shell("ip link set " + cam + " netns " + l.ns));
      ASSERT_TRUE(Shell("ip addr add " + l.subnet + ".1/24 dev " + l.hostSide));
      ASSERT_TRUE(Shell("ip link set " + l.hostSide + " up"));
      ASSERT_TRUE(Shell("ip -n " + l.ns + " link set lo up"));
      ASSERT_TRUE(Shell("ip -n " + l.ns + " addr add " + l.subnet + ".10/24 dev " + cam));
      ASSERT_TRUE(Shell("ip -n " + l.ns + " addr add " + l.subnet + ".11/24 dev " + cam));
      ASSERT_TRUE(Shell("ip -n " + l.ns + " link set " + cam + " up"));
      l.emulator = std::make_unique<vkttest::Child>(std::vector<std::string>{
          "/usr/sbin/ip", "netns", "exec", l.ns, VKT_EMULATOR, "--control", "0", "--exit-after", "120", "--camera",
          "ip=" + l.subnet + ".10,mac=" + l.mac + ",model=VKT-N2F0Kq,port=30000"});
      ASSERT_TRUE(l.emulator->Started());
      auto line = l.emulator->ReadLine(10s);
      ASSERT_TRUE(line && *line == "ready") << (line ? *line : "no output");
    }
    ASSERT_EQ(VKT_Init(VKT_SDK_VERSION, nullptr), 0);
  }
  void TearDown() override {
    VKT_Close();
    for (Lan& l : lans) {
      l.emulator.reset();
      Shell("ip link del " + l.hostSide);
      Shell("ip netns del " + l.ns);
    }
  }
  static std::string Mac(const DeviceRecord& r) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", r.macAddress[0], r.macAddress[1],
                  r.macAddress[2], r.macAddress[3], r.macAddress[4], r.macAddress[5]);
    return text;
  }
  static std::string Address(const DeviceRecord& r) {
    char text[16];
    const auto* b = reinterpret_cast<const uint8_t*>(&r.ipAddress);
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
  }
  // The search's records, by camera MAC, each with its interface.
  struct Found {
    DeviceRecord record;
    std::string interface;
  };
  std::vector<Found> Search() {
    DeviceRecord records[8];
    int count = 0;
    EXPECT_EQ(VKT_SearchCamera(records, 8, &count, 600), 0) << std::hex << VKT_GetLastError();
    std::vector<Found> found;
    for (int i = 0; i < count; ++i) {
      char name[16] = {};
      EXPECT_EQ(VKT_GetSearchInterface(&records[i], name, sizeof name), 0);
      found.push_back({records[i], name});
    }
    std::sort(found.begin(), found.end(), [](const Found& x, const Found& y) { return Mac(x.record) < Mac(y.record); });
    return found;
  }

  std::vector<Lan> lans;
};

TEST_F(MultiLan, SearchFindsTheCameraOfEveryLanAndSaysWhere) {
  auto found = Search();
  ASSERT_EQ(found.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Mac(found[i].record), lans[i].mac);
    EXPECT_EQ(Address(found[i].record), lans[i].subnet + ".10");
    EXPECT_EQ(found[i].interface, lans[i].hostSide);
  }
  // Each camera is reachable over its own LAN.
  for (const Found& f : found) {
    int handle = VKT_AddCamera(&f.record, nullptr, 1000);
    ASSERT_NE(handle, -1) << std::hex << VKT_GetLastError();
    SDCardState state{};
    EXPECT_EQ(VKT_GetSDCardState(handle, &state, 1000), 0) << std::hex << VKT_GetLastError();
  }
  // A camera that is not in the last search has no interface.
  DeviceRecord stranger{};
  char name[16];
  EXPECT_EQ(VKT_GetSearchInterface(&stranger, name, sizeof name), 1);
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000007u);
  EXPECT_EQ(VKT_GetSearchInterface(&found[0].record, name, 3), 1);  // too small for the name
  EXPECT_EQ(static_cast<uint32_t>(VKT_GetLastError()), 0x80000006u);
}

TEST_F(MultiLan, AddressChangeReachesTheCameraOnEitherLan) {
  auto found = Search();
  ASSERT_EQ(found.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(lans[i].name);
    ChangeIPParam param{};
    inet_pton(AF_INET, (lans[i].subnet + ".11").c_str(), &param.ipAddress);
    param.addressWord1 = found[i].record.addressWord1;
    param.addressWord2 = found[i].record.addressWord2;
    std::memcpy(param.macAddress, found[i].record.macAddress, 6);
    ASSERT_EQ(VKT_ChangeCameraIP(&param, 2000), 0) << std::hex << VKT_GetLastError();
  }
  found = Search();
  ASSERT_EQ(found.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Address(found[i].record), lans[i].subnet + ".11");
    EXPECT_EQ(found[i].interface, lans[i].hostSide);
  }
}

}  // namespace
