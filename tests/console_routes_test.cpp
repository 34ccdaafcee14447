// The field console's routes without a browser: the console's server on
// loopback beside an in-process emulator, asked through an HTTP client as
// the page asks it. Each test runs in a private network namespace.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "console_server.h"
#include "emulated_network.h"
#include "listing_answer.h"
#include "settings_catalog.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

constexpr const char* kToken = "console-routes-test-token";
constexpr unsigned kCallTimeoutMs = 800;

std::vector<uint8_t> Bytes(std::size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

class ConsoleRoutes : public vkttest::EmulatedNetwork {
 protected:
  void SetUp() override {
    EmulatedNetwork::SetUp();
    camera = emulator.addCamera(vkttest::MakeCamera("127.0.0.10", 0x10));
    vktemu::CameraConfig hostile = vkttest::MakeCamera("127.0.0.13", 0x13, "<script>x=1</script>");
    hostile.infoText2 = "<img src=x onerror=y=1>";
    emulator.addCamera(hostile);
    StartEmulator();

    vktconsole::ConsoleOptions options;
    options.token = kToken;
    options.searchTimeoutMs = 400;
    options.callTimeoutMs = kCallTimeoutMs;
    options.workerThreads = 8;
    console = std::make_unique<vktconsole::Console>(options);
    console->Install(server);
    port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    serving = std::thread([this] { server.listen_after_bind(); });
    ASSERT_TRUE(vkttest::WaitFor([this] { return server.is_running(); }, 5s));
    client = std::make_unique<httplib::Client>("127.0.0.1", port);
    client->set_read_timeout(10, 0);
    client->set_default_headers({{"X-Console-Token", kToken}});
  }

  void TearDown() override {
    if (console) console->BeginStop();
    server.stop();
    if (serving.joinable()) serving.join();
    client.reset();
    console.reset();
    EmulatedNetwork::TearDown();
  }

  static Json Body(const httplib::Result& result) {
    if (!result) return Json();
    return Json::parse(result->body, nullptr, false);
  }

  // Searches and returns the handle of the camera at 127.0.0.10.
  int Search() {
    const auto result = client->Post("/api/search", R"({"timeoutMs": 400})", "application/json");
    EXPECT_TRUE(result && result->status == 200) << (result ? result->body : "no answer");
    const Json body = Body(result);
    for (const Json& known : body["cameras"]) {
      if (known["record"]["ip"] == "127.0.0.10" && known["id"].is_number()) return known["id"].get<int>();
    }
    ADD_FAILURE() << "127.0.0.10 was not added: " << (result ? result->body : "");
    return -1;
  }

  std::string CameraPath(int handle, const std::string& rest) {
    return "/api/cameras/" + std::to_string(handle) + rest;
  }

  int camera = -1;
  std::unique_ptr<vktconsole::Console> console;
  httplib::Server server;
  int port = 0;
  std::thread serving;
  std::unique_ptr<httplib::Client> client;
};

TEST_F(ConsoleRoutes, RefusesRequestsWithoutTokenFromAnotherSiteOrForAnotherHost) {
  const int handle = Search();
  const std::string rotation = CameraPath(handle, "/settings/rotation");
  httplib::Client bare("127.0.0.1", port);

  // Each refusal leaves the camera as it was: the body is never acted on.
  struct Case {
    httplib::Headers headers;
    int status;
  };
  const std::vector<Case> cases = {
      {{}, 401},
      {{{"X-Console-Token", "console-routes-test-tokem"}}, 401},
      {{{"X-Console-Token", kToken}, {"Origin", "http://evil.example"}}, 403},
      {{{"X-Console-Token", kToken}, {"Origin", "http://127.0.0.1:1"}}, 403},
      {{{"X-Console-Token", kToken}, {"Host", "evil.example"}}, 403},
      {{{"X-Console-Token", kToken}, {"Sec-Fetch-Site", "cross-site"}}, 403},
      {{{"X-Console-Token", kToken}, {"Sec-Fetch-Site", "same-site"}}, 403},
  };
  for (const Case& c : cases) {
    const auto put = bare.Put(rotation.c_str(), c.headers, R"({"value": 90})", "application/json");
    ASSERT_TRUE(put);
    EXPECT_EQ(put->status, c.status);
    EXPECT_TRUE(Body(put)["error"]["message"].is_string()) << put->body;
    EXPECT_EQ(emulator.currentValue(camera, 1180), 0);
  }
  emulator.addStoredPicture(camera, "/20261209/kept_001.jpg", Bytes(100, 1));
  const auto del = bare.Delete((CameraPath(handle, "/sd/picture?path=/20261209/kept_001.jpg")).c_str());
  ASSERT_TRUE(del);
  EXPECT_EQ(del->status, 401);
  EXPECT_TRUE(emulator.storedPicture(camera, "/20261209/kept_001.jpg"));
  const auto search = bare.Post("/api/search", "{}", "application/json");
  ASSERT_TRUE(search);
  EXPECT_EQ(search->status, 401);

  // The same origin's page, and the token in the query (images, downloads).
  const auto same = bare.Put(rotation.c_str(), {{"X-Console-Token", kToken}, {"Origin", "http://127.0.0.1:" + std::to_string(port)}},
                             R"({"value": 90})", "application/json");
  ASSERT_TRUE(same);
  EXPECT_EQ(same->status, 200) << same->body;
  EXPECT_EQ(emulator.currentValue(camera, 1180), 90);
  const auto query = bare.Get((std::string("/api/cameras?token=") + kToken).c_str());
  ASSERT_TRUE(query);
  EXPECT_EQ(query->status, 200);

  // The page needs no token, and tells the browser to run only its own script.
  const auto page = bare.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->get_header_value("Content-Security-Policy").find("script-src 'self'"), std::string::npos);
  EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
  EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
  const auto rebound = bare.Get("/", {{"Host", "attacker.example:8080"}});
  ASSERT_TRUE(rebound);
  EXPECT_EQ(rebound->status, 403);
}

TEST_F(ConsoleRoutes, BodiesAreBoundedAndErrorsTellNoPathOrStack) {
  const int handle = Search();
  const auto huge = client->Put(CameraPath(handle, "/config").c_str(), std::string(100 * 1024, 'x'),
                                "application/octet-stream");
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->status, 413);
  EXPECT_EQ(Body(huge)["error"]["message"], "the request is too large");
  // Without the token the body is not even read: the refusal comes first.
  httplib::Client bare("127.0.0.1", port);
  const auto unread = bare.Put(CameraPath(handle, "/config").c_str(), std::string(100 * 1024, 'x'),
                               "application/octet-stream");
  ASSERT_TRUE(unread);
  EXPECT_EQ(unread->status, 401);
  const std::size_t commands = emulator.commandCount(camera);
  const auto shortFile = client->Put(CameraPath(handle, "/config").c_str(), std::string(651, 'x'),
                                     "application/octet-stream");
  ASSERT_TRUE(shortFile);
  EXPECT_EQ(shortFile->status, 400);
  EXPECT_EQ(emulator.commandCount(camera), commands);  // refused before the camera is asked

  std::vector<httplib::Result> answers;
  answers.push_back(client->Post("/api/search", "{\"timeoutMs\": ", "application/json"));
  answers.push_back(client->Post("/api/search", R"({"timeoutMs": 99999999})", "application/json"));
  answers.push_back(client->Post("/api/cameras", R"({"ip": "999.1.1.1"})", "application/json"));
  answers.push_back(client->Get("/api/nothing/here"));
  answers.push_back(client->Get("/api/cameras/12345/state"));
  answers.push_back(client->Get(CameraPath(handle, "/settings/no-such-setting").c_str()));
  answers.push_back(client->Get(CameraPath(handle, "/sd/picture?path=relative.jpg").c_str()));
  answers.push_back(client->Post("/api/change-ip", R"({"mac": "00:1c:27:12:34:10", "ip": "224.0.0.1",
                                   "netmask": "255.0.0.0", "gateway": "127.0.0.1"})", "application/json"));
  const std::vector<int> statuses{400, 400, 400, 404, 404, 404, 400, 400};
  for (std::size_t i = 0; i < answers.size(); ++i) {
    ASSERT_TRUE(answers[i]) << i;
    EXPECT_EQ(answers[i]->status, statuses[i]) << i << ": " << answers[i]->body;
    const Json body = Body(answers[i]);
    EXPECT_TRUE(body["error"]["message"].is_string()) << answers[i]->body;
    for (const char* leak : {"/tmp", "/work", ".cpp", "what()", "exception", "vkt-console-"}) {
      EXPECT_EQ(answers[i]->body.find(leak), std::string::npos) << answers[i]->body;
    }
  }
}

TEST_F(ConsoleRoutes, SearchListsCamerasAndSettingsGoThroughTheCatalogue) {
  const auto search = client->Post("/api/search", "", "application/json");
  ASSERT_TRUE(search);
  const Json cameras = Body(search)["cameras"];
  ASSERT_EQ(cameras.size(), 2u);
  EXPECT_EQ(Body(search)["timeoutMs"], 400);  // the console's own default
  std::map<std::string, Json> byIp;
  for (const Json& c : cameras) byIp[c["record"]["ip"]] = c;
  ASSERT_TRUE(byIp.count("127.0.0.10") && byIp.count("127.0.0.13"));
  EXPECT_TRUE(byIp["127.0.0.10"]["id"].is_number());
  EXPECT_EQ(byIp["127.0.0.10"]["record"]["interface"], "lo");
  // The hostile camera: listed with its texts exactly, refused by the library.
  EXPECT_TRUE(byIp["127.0.0.13"]["id"].is_null());
  EXPECT_EQ(byIp["127.0.0.13"]["record"]["model"], "<script>x=1</script>");
  EXPECT_EQ(byIp["127.0.0.13"]["record"]["infoText2"], "<img src=x onerror=y=1>");
  EXPECT_EQ(byIp["127.0.0.13"]["addError"]["code"], "VKT_ERR_NOT_SUPPORTED");
  EXPECT_EQ(search->get_header_value("Content-Type"), "application/json");
  const int handle = byIp["127.0.0.10"]["id"].get<int>();

  // The catalogue: every setting of vktcli, once.
  const Json catalogue = Body(client->Get("/api/settings"));
  std::size_t listed = 0;
  for (const Json& group : catalogue["groups"]) listed += group["settings"].size();
  EXPECT_EQ(listed, vktcli::AllSettings().size());

  const auto put = [&](const std::string& name, const std::string& body) {
    return client->Put(CameraPath(handle, "/settings/" + name).c_str(), body, "application/json");
  };
  EXPECT_EQ(Body(client->Get(CameraPath(handle, "/settings/rotation").c_str()))["value"], Json({{"value", 0}}));
  ASSERT_EQ(put("rotation", R"({"value": 270})")->status, 200);
  EXPECT_EQ(emulator.currentValue(camera, 1180), 270);
  EXPECT_EQ(Body(client->Get(CameraPath(handle, "/settings/rotation").c_str()))["value"]["value"], 270);
  EXPECT_EQ(Body(client->Get(CameraPath(handle, "/settings/rotation?default=1").c_str()))["value"]["value"],
            emulator.factoryValue(camera, 1180));

  // The library's own refusal, by name; the camera keeps its value.
  const auto refused = put("rotation", R"({"value": 45})");
  EXPECT_EQ(refused->status, 502);
  EXPECT_EQ(Body(refused)["error"]["code"], "VKT_ERR_INVALID_PARAM");
  EXPECT_EQ(Body(refused)["error"]["call"], "VKT_SetImageRotation");
  EXPECT_EQ(emulator.currentValue(camera, 1180), 270);

  ASSERT_EQ(put("ae-param", R"({"word0": 1234, "word1": -5})")->status, 200);
  std::vector<uint8_t> expected(8);
  const int32_t words[2] = {1234, -5};
  std::memcpy(expected.data(), words, 8);
  EXPECT_EQ(emulator.currentRecord(camera, 1044), expected);
  // vktcli's strict reading: a missing or unknown field, a text for a number.
  for (const char* bad : {R"({"word0": 1})", R"({"word0": 1, "word1": 2, "word2": 3})", R"({"word0": "1", "word1": 2})",
                          R"([1, 2])", ""}) {
    const auto answer = put("ae-param", bad);
    EXPECT_EQ(answer->status, 400) << bad;
    EXPECT_TRUE(Body(answer)["error"]["message"].is_string());
  }
  EXPECT_EQ(emulator.currentRecord(camera, 1044), expected);
  EXPECT_EQ(put("temperature", R"({"value": 1})")->status, 400);  // read only
  EXPECT_EQ(put("network", R"({"ipAddress": "0.1.2.3", "addressWord1": "255.0.0.0", "addressWord2": "0.0.0.0"})")->status,
            400);  // vktcli's check: such an address could not be undone

  const Json state = Body(client->Get(CameraPath(handle, "/state").c_str()));
  EXPECT_EQ(state["answers"], true);
  EXPECT_EQ(state["temperature"]["value"], 36);
  EXPECT_EQ(state["paramState"]["value"], "ready");
}

// The members of a tar stream as libarchive's reader finds them: name ->
// bytes; empty, with a failure, unless the stream is a whole ustar archive.
std::map<std::string, std::string> Untar(const std::string& tar) {
  const std::unique_ptr<archive, decltype(&archive_read_free)> reader(archive_read_new(), &archive_read_free);
  archive_read_support_format_tar(reader.get());
  if (archive_read_open_memory(reader.get(), tar.data(), tar.size()) != ARCHIVE_OK) {
    ADD_FAILURE() << "not an archive";
    return {};
  }
  std::map<std::string, std::string> members;
  archive_entry* entry = nullptr;
  int next = ARCHIVE_OK;
  while ((next = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
    std::string& bytes = members[archive_entry_pathname(entry)];
    char buffer[4096];
    la_ssize_t got = 0;
    while ((got = archive_read_data(reader.get(), buffer, sizeof buffer)) > 0) bytes.append(buffer, got);
    if (got < 0 || bytes.size() != static_cast<std::size_t>(archive_entry_size(entry))) {
      ADD_FAILURE() << "a member is cut off: " << archive_error_string(reader.get());
      return {};
    }
  }
  if (next != ARCHIVE_EOF) {
    ADD_FAILURE() << "the archive does not end cleanly: " << archive_error_string(reader.get());
    return {};
  }
  EXPECT_EQ(archive_format(reader.get()), ARCHIVE_FORMAT_TAR_USTAR);
  EXPECT_EQ(tar.size() % 512, 0u);
  return members;
}

TEST_F(ConsoleRoutes, CardPicturesComeOutByteForByteAndOnlyUnderPlainNames) {
  const int handle = Search();
  emulator.clearStoredPictures(camera);
  const auto a = Bytes(70001, 1), b = Bytes(1500, 2);
  emulator.addStoredPicture(camera, "/20261209/080000_001.jpg", a);
  emulator.addStoredPicture(camera, "/20261209/080001_002.jpg", b);

  const Json root = Body(client->Get(CameraPath(handle, "/sd/list?path=/").c_str()));
  ASSERT_EQ(root["entries"].size(), 1u);
  EXPECT_EQ(root["entries"][0]["name"], "20261209");
  EXPECT_EQ(root["entries"][0]["value"], -1);
  const auto picture = client->Get(CameraPath(handle, "/sd/picture?path=/20261209/080000_001.jpg&download=1").c_str());
  ASSERT_TRUE(picture);
  ASSERT_EQ(picture->status, 200);
  EXPECT_EQ(picture->body, Text(a));
  EXPECT_EQ(picture->get_header_value("Content-Disposition"), "attachment; filename=\"080000_001.jpg\"");

  auto archive = client->Get(CameraPath(handle, "/sd/archive?path=/20261209").c_str());
  ASSERT_TRUE(archive);
  EXPECT_EQ(archive->get_header_value("Content-Disposition"), "attachment; filename=\"20261209.tar\"");
  EXPECT_EQ(archive->get_header_value("Content-Type"), "application/x-tar");
  auto members = Untar(archive->body);
  EXPECT_EQ(members, (std::map<std::string, std::string>{{"20261209/080000_001.jpg", Text(a)},
                                                         {"20261209/080001_002.jpg", Text(b)}}));

  // A camera that lists names reaching out of the folder: shown, marked,
  // never fetched or packed; a note in the archive says so.
  vkttest::ListingAnswer listing;
  listing.Word(1).Text("/20261209").Word(4).Word(10).Text("../../evil.jpg").Word(1500).Text("080001_002.jpg");
  listing.Word(10).Text("sub/inner.jpg").Word(10).Text("..");
  emulator.setListingOverride(camera, listing.bytes);
  const Json hostile = Body(client->Get(CameraPath(handle, "/sd/list?path=/20261209").c_str()));
  ASSERT_EQ(hostile["entries"].size(), 4u);
  EXPECT_EQ(hostile["entries"][0]["plain"], false);
  EXPECT_EQ(hostile["entries"][1]["plain"], true);
  EXPECT_EQ(hostile["entries"][2]["plain"], false);
  EXPECT_EQ(hostile["entries"][3]["plain"], false);
  const std::size_t before = emulator.commandCount(camera);
  archive = client->Get(CameraPath(handle, "/sd/archive?path=/20261209").c_str());
  ASSERT_TRUE(archive);
  members = Untar(archive->body);
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members["20261209/080001_002.jpg"], Text(b));
  EXPECT_NE(members["20261209/NOT-INCLUDED.txt"].find("not a plain file name"), std::string::npos);
  EXPECT_EQ(emulator.commandCount(camera), before + 2);  // one listing, one fetch
  emulator.setListingOverride(camera, std::nullopt);

  // A plain name too long for a tar header: fetched, then named in the note
  // instead of packed; the pictures after it are still packed.
  const std::string longName = std::string(120, 'n') + ".jpg";
  emulator.addStoredPicture(camera, "/20261209/" + longName, Bytes(300, 3));
  emulator.addStoredPicture(camera, "/20261209/zz_after.jpg", Bytes(600, 4));
  archive = client->Get(CameraPath(handle, "/sd/archive?path=/20261209").c_str());
  ASSERT_TRUE(archive);
  members = Untar(archive->body);
  EXPECT_EQ(members, (std::map<std::string, std::string>{
                         {"20261209/080000_001.jpg", Text(a)},
                         {"20261209/080001_002.jpg", Text(b)},
                         {"20261209/zz_after.jpg", Text(Bytes(600, 4))},
                         {"20261209/NOT-INCLUDED.txt", longName + ": name too long for the archive\n"}}));

  for (const char* path : {"/20261209/../x.jpg", "/20261209/./x.jpg", "/../etc/passwd", "x.jpg", "/"}) {
    const auto refused = client->Get(CameraPath(handle, std::string("/sd/picture?path=") + path).c_str());
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400) << path;
  }
  const auto removed = client->Delete(CameraPath(handle, "/sd/picture?path=/20261209/080000_001.jpg").c_str());
  ASSERT_TRUE(removed);
  EXPECT_EQ(removed->status, 200) << removed->body;
  EXPECT_FALSE(emulator.storedPicture(camera, "/20261209/080000_001.jpg"));
  const auto gone = client->Get(CameraPath(handle, "/sd/picture?path=/20261209/080000_001.jpg").c_str());
  EXPECT_EQ(gone->status, 502);
  EXPECT_TRUE(Body(gone)["error"]["code"].get<std::string>().starts_with("VKT_ERR_"));
}

TEST_F(ConsoleRoutes, LiveViewSendsWholeFramesAndLetsTheStreamGoWhenTheViewerLeaves) {
  const int handle = Search();
  std::string buffer;
  int parts = 0;
  bool wellFormed = true;
  // Reads parts as they come and leaves after the third, as a closed tab.
  const auto result = client->Get(CameraPath(handle, "/live.mjpeg").c_str(), [&](const char* data, std::size_t size) {
    buffer.append(data, size);
    for (;;) {
      const auto end = buffer.find("\r\n\r\n");
      if (end == std::string::npos) return true;
      const std::string head = buffer.substr(0, end);
      const auto length = head.find("Content-Length: ");
      if (!head.starts_with("--vktframe\r\nContent-Type: image/jpeg\r\n") || length == std::string::npos) {
        wellFormed = false;
        return false;
      }
      const std::size_t bytes = std::stoul(head.substr(length + 16));
      if (buffer.size() < end + 4 + bytes + 2) return true;
      const std::string frame = buffer.substr(end + 4, bytes);
      if (!frame.starts_with("\xff\xd8") || buffer.substr(end + 4 + bytes, 2) != "\r\n") wellFormed = false;
      buffer.erase(0, end + 4 + bytes + 2);
      if (++parts == 3) return false;
    }
  });
  EXPECT_TRUE(wellFormed);
  EXPECT_EQ(parts, 3);
  // The receiver goes back and the camera is told to stop.
  EXPECT_TRUE(vkttest::WaitFor(
      [&] { return Body(client->Get(CameraPath(handle, "/live").c_str()))["watching"] == false; }, 5s));
  EXPECT_TRUE(vkttest::WaitFor([&] { return !emulator.streaming(camera); }, 5s));

}

TEST_F(ConsoleRoutes, ViewersOfOneCameraShareItsStreamUntilTheLastLeaves) {
  const int handle = Search();
  const std::string live = CameraPath(handle, "/live.mjpeg");
  std::atomic<bool> firstMayLeave{false}, secondMayLeave{false};
  std::atomic<int> firstParts{0}, secondParts{0};
  // Each viewer counts part boundaries and leaves when told to.
  const auto viewer = [&](std::atomic<int>& parts, std::atomic<bool>& leave) {
    httplib::Client own("127.0.0.1", port);
    own.set_read_timeout(10, 0);
    own.Get(live.c_str(), {{"X-Console-Token", kToken}}, [&](const char* data, std::size_t size) {
      const std::string_view chunk(data, size);
      for (auto at = chunk.find("--vktframe"); at != std::string_view::npos; at = chunk.find("--vktframe", at + 1)) {
        ++parts;
      }
      return !leave;
    });
  };
  std::thread first([&] { viewer(firstParts, firstMayLeave); });
  std::thread second([&] { viewer(secondParts, secondMayLeave); });
  ASSERT_TRUE(vkttest::WaitFor([&] { return firstParts >= 2 && secondParts >= 2; }, 5s));
  EXPECT_EQ(Body(client->Get(CameraPath(handle, "/live").c_str()))["viewers"], 2);
  EXPECT_EQ(emulator.streamTarget(camera).set, true);

  firstMayLeave = true;
  first.join();
  ASSERT_TRUE(vkttest::WaitFor(
      [&] { return Body(client->Get(CameraPath(handle, "/live").c_str()))["viewers"] == 1; }, 5s));
  const int before = secondParts;
  EXPECT_TRUE(vkttest::WaitFor([&] { return secondParts >= before + 3; }, 5s));  // still streaming to the other
  EXPECT_TRUE(emulator.streaming(camera));

  secondMayLeave = true;
  second.join();
  EXPECT_TRUE(vkttest::WaitFor([&] { return !emulator.streaming(camera); }, 5s));
  EXPECT_EQ(Body(client->Get(CameraPath(handle, "/live").c_str()))["watching"], false);
}

TEST_F(ConsoleRoutes, PushedPicturesReachTheWallWithTheirRecord) {
  const int handle = Search();
  ASSERT_GT(handle, 0);
  emulator.snapshot(camera, 77);
  Json listed;
  ASSERT_TRUE(vkttest::WaitFor(
      [&] {
        listed = Body(client->Get("/api/pictures?after=0"));
        return !listed["pictures"].empty();
      },
      5s));
  const Json& picture = listed["pictures"][0];
  EXPECT_EQ(picture["ip"], "127.0.0.10");
  EXPECT_EQ(picture["info"]["value"], 77);
  EXPECT_EQ(picture["info"]["camera"], handle);
  const auto bytes = client->Get(("/api/pictures/" + std::to_string(picture["id"].get<int>()) + ".jpg").c_str());
  ASSERT_TRUE(bytes);
  ASSERT_EQ(emulator.pushedPictures(camera).size(), 1u);
  EXPECT_EQ(bytes->body, Text(emulator.pushedPictures(camera).back().bytes));
  EXPECT_EQ(bytes->get_header_value("Content-Type"), "image/jpeg");
  EXPECT_TRUE(Body(client->Get(("/api/pictures?after=" + std::to_string(picture["id"].get<int>())).c_str()))["pictures"]
                  .empty());
  EXPECT_EQ(client->Get("/api/pictures/999.jpg")->status, 404);
}

TEST_F(ConsoleRoutes, SilentCameraGivesItsErrorWithinTheCallTimeOutAndHoldsUpNoOneElse) {
  const int handle = Search();
  vktemu::CommandFaults silent;
  silent.noReply = true;
  emulator.setCommandFaults(camera, 0, silent);
  std::optional<httplib::Result> state;
  const auto started = vkttest::Clock::now();
  std::thread slow([&] {
    httplib::Client other("127.0.0.1", port);
    other.set_read_timeout(10, 0);
    state.emplace(other.Get(CameraPath(handle, "/state").c_str(), {{"X-Console-Token", kToken}}));
  });
  // Meanwhile the page's other requests are answered at once.
  const auto listStarted = vkttest::Clock::now();
  const auto list = client->Get("/api/cameras");
  EXPECT_LT(vkttest::MsSince(listStarted), 300);
  EXPECT_EQ(list->status, 200);
  slow.join();
  const long long took = vkttest::MsSince(started);
  ASSERT_TRUE(state && *state);
  EXPECT_EQ((*state)->status, 504);
  EXPECT_EQ(Body(*state)["error"]["code"], "VKT_ERR_TIMEOUT");
  EXPECT_EQ(Body(*state)["error"]["call"], "VKT_GetState");
  EXPECT_GE(took, kCallTimeoutMs - 50);
  EXPECT_LT(took, kCallTimeoutMs + 1000);  // one call's time-out, not one per value

  // A slow camera: every value waits, and the request still ends within one
  // time-out, the values it left no time for failing by name.
  emulator.clearCommandFaults(camera);
  vktemu::CommandFaults slowFaults;
  slowFaults.delayMs = static_cast<int>(kCallTimeoutMs / 3);
  emulator.setCommandFaults(camera, 0, slowFaults);
  const auto slowStarted = vkttest::Clock::now();
  const auto slowState = client->Get(CameraPath(handle, "/state").c_str());
  EXPECT_LT(vkttest::MsSince(slowStarted), kCallTimeoutMs + 500);
  ASSERT_TRUE(slowState);
  EXPECT_EQ(slowState->status, 200);
  EXPECT_EQ(Body(slowState)["answers"], true);
  EXPECT_EQ(Body(slowState)["electricity"]["error"]["code"], "VKT_ERR_TIMEOUT");

  // A camera that answers another request, or is gone: its error by name.
  emulator.clearCommandFaults(camera);
  vktemu::CommandFaults garbled;
  garbled.commandDelta = 1;
  emulator.setCommandFaults(camera, 0, garbled);
  const auto mismatch = client->Get(CameraPath(handle, "/settings/rotation").c_str());
  EXPECT_EQ(mismatch->status, 502);
  EXPECT_EQ(Body(mismatch)["error"]["code"], "VKT_ERR_REPLY_MISMATCH");
  emulator.clearCommandFaults(camera);
  emulator.setCommandListening(camera, false);
  emulator.closeCommandConnections(camera);
  const auto gone = client->Get(CameraPath(handle, "/sd").c_str());
  EXPECT_EQ(gone->status, 502);
  EXPECT_EQ(Body(gone)["error"]["code"], "VKT_ERR_NETWORK");
  emulator.setCommandListening(camera, true);

  // A camera that refuses: the refusal by name.
  emulator.clearCommandFaults(camera);
  vktemu::CommandFaults refusing;
  refusing.status = -1;
  emulator.setCommandFaults(camera, 1205, refusing);
  const auto format = client->Post(CameraPath(handle, "/sd/format").c_str(), "", "application/json");
  EXPECT_EQ(format->status, 502);
  EXPECT_EQ(Body(format)["error"]["code"], "VKT_ERR_CAMERA_REFUSED");
  EXPECT_EQ(emulator.formatCount(camera), 0u);
}

}  // namespace
