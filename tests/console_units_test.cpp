// The field console's pure parts: who may use it (token, Host, Origin),
// what goes into a directory download's tar stream, download names, the settings
// sections, the picture wall's bounds and the page's own files.
#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>

#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "access_guard.h"
#include "console_server.h"
#include "picture_wall.h"
#include "settings_catalog.h"
#include "settings_groups.h"
#include "tar_writer.h"
#include "web_assets.h"

namespace {

using namespace vktconsole;
using namespace std::string_literals;

constexpr std::string_view kToken = "0123456789abcdef0123456789abcdef";

RequestFacts Facts(std::string_view path, std::optional<std::string_view> token = kToken) {
  RequestFacts facts;
  facts.method = "GET";
  facts.path = path;
  facts.host = "127.0.0.1:8080";
  facts.token = token;
  return facts;
}

TEST(ConsoleAccess, TokensAreFreshHexAndComparedWhole) {
  const std::string a = NewAccessToken(), b = NewAccessToken();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);
  EXPECT_TRUE(TokenMatches(a, a));
  EXPECT_FALSE(TokenMatches(a, b));
  EXPECT_FALSE(TokenMatches(a, a.substr(0, 31)));
  EXPECT_FALSE(TokenMatches(a, a + "0"));
  EXPECT_FALSE(TokenMatches("", ""));  // no token configured admits no one

  std::string error;
  EXPECT_EQ(CheckGivenToken("field-console_token.2026", error), "field-console_token.2026");
  EXPECT_EQ(CheckGivenToken("short", error), "");
  EXPECT_NE(error.find("16 to 256"), std::string::npos);
  EXPECT_EQ(CheckGivenToken("with space in the token", error), "");
  EXPECT_EQ(CheckGivenToken("quote\"andmore0123", error), "");
  EXPECT_EQ(CheckGivenToken(std::string(257, 'a'), error), "");
}

TEST(ConsoleAccess, HostMustBeLocalhostOrAnAddress) {
  for (const char* host : {"127.0.0.1:8080", "127.0.0.1", "localhost:9000", "LOCALHOST", "169.254.80.2:8080",
                           "[::1]:8080", "[::1]", "10.0.0.5:1"}) {
    EXPECT_TRUE(IsAllowedHost(host)) << host;
  }
  // A name that resolves to the console (DNS rebinding), a port that is
  // not one, trailing dots and userinfo tricks.
  for (const char* host : {"evil.example:8080", "evil.example", "localhost.evil.example", "127.0.0.1.nip.io",
                           "127.0.0.1:80a", "127.0.0.1:0", "127.0.0.1:65536", "localhost.", "", "[::1", "[::1]x",
                           "user@127.0.0.1", "127.0.0.1:8080:1", "256.0.0.1"}) {
    EXPECT_FALSE(IsAllowedHost(host)) << host;
  }
  EXPECT_FALSE(IsAllowedHost(std::string(400, '1')));
}

TEST(ConsoleAccess, OriginMustBeTheConsolesOwn) {
  EXPECT_TRUE(IsSameOrigin("http://127.0.0.1:8080", "127.0.0.1:8080"));
  EXPECT_TRUE(IsSameOrigin("http://LOCALHOST:9000", "localhost:9000"));
  EXPECT_FALSE(IsSameOrigin("http://127.0.0.1:9000", "127.0.0.1:8080"));  // another local service
  EXPECT_FALSE(IsSameOrigin("https://127.0.0.1:8080", "127.0.0.1:8080"));
  EXPECT_FALSE(IsSameOrigin("http://evil.example", "127.0.0.1:8080"));
  EXPECT_FALSE(IsSameOrigin("null", "127.0.0.1:8080"));
  EXPECT_FALSE(IsSameOrigin("http://127.0.0.1:8080/", "127.0.0.1:8080"));
}

TEST(ConsoleAccess, RequestChecksInOrder) {
  // The page's files need no token; everything under /api/ does.
  EXPECT_FALSE(CheckRequest(Facts("/", std::nullopt), kToken));
  EXPECT_FALSE(CheckRequest(Facts("/console.js", std::nullopt), kToken));
  EXPECT_FALSE(CheckRequest(Facts("/api/cameras"), kToken));
  EXPECT_FALSE(CheckRequest(Facts("/apiary", std::nullopt), kToken));
  for (const char* path : {"/api", "/api/", "/api/cameras", "/api/cameras/256/sd/picture"}) {
    const auto missing = CheckRequest(Facts(path, std::nullopt), kToken);
    ASSERT_TRUE(missing) << path;
    EXPECT_EQ(missing->status, 401);
    const auto wrong = CheckRequest(Facts(path, "0123456789abcdef0123456789abcdee"), kToken);
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 401);
  }

  RequestFacts facts = Facts("/", std::nullopt);
  facts.host = "evil.example:8080";
  ASSERT_TRUE(CheckRequest(facts, kToken));
  EXPECT_EQ(CheckRequest(facts, kToken)->status, 403);  // the page itself too: no rebinding at all
  facts.host = std::nullopt;
  EXPECT_EQ(CheckRequest(facts, kToken)->status, 403);

  facts = Facts("/api/cameras");
  facts.origin = "http://evil.example";
  EXPECT_EQ(CheckRequest(facts, kToken)->status, 403);
  facts.origin = "http://127.0.0.1:8080";
  EXPECT_FALSE(CheckRequest(facts, kToken));
  // A page of another port of this host is "same-site" to a browser.
  for (const char* site : {"cross-site", "same-site"}) {
    facts = Facts("/api/cameras");
    facts.fetchSite = site;
    ASSERT_TRUE(CheckRequest(facts, kToken)) << site;
    EXPECT_EQ(CheckRequest(facts, kToken)->status, 403);
  }
  for (const char* site : {"same-origin", "none"}) {
    facts.fetchSite = site;
    EXPECT_FALSE(CheckRequest(facts, kToken)) << site;
  }
  // The host is checked before the token: a rebinding page learns nothing.
  facts = Facts("/api/cameras", std::nullopt);
  facts.host = "evil.example";
  EXPECT_EQ(CheckRequest(facts, kToken)->status, 403);
}

// What libarchive's reader finds in a tar stream: each member's path and
// bytes, or nullopt unless the stream reads to its clean end.
struct ReadMember {
  std::string path, bytes;
  bool regular = false;
  int perm = 0;
  std::int64_t modified = 0;
  bool operator==(const ReadMember&) const = default;
};

std::optional<std::vector<ReadMember>> ReadTar(const std::string& tar, int* format = nullptr) {
  const std::unique_ptr<archive, decltype(&archive_read_free)> reader(archive_read_new(), &archive_read_free);
  archive_read_support_format_tar(reader.get());
  if (archive_read_open_memory(reader.get(), tar.data(), tar.size()) != ARCHIVE_OK) return std::nullopt;
  std::vector<ReadMember> members;
  archive_entry* entry = nullptr;
  int next = ARCHIVE_OK;
  while ((next = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
    ReadMember member;
    member.path = archive_entry_pathname(entry);
    member.regular = archive_entry_filetype(entry) == AE_IFREG;
    member.perm = static_cast<int>(archive_entry_perm(entry));
    member.modified = archive_entry_mtime(entry);
    char buffer[4096];
    la_ssize_t got = 0;
    while ((got = archive_read_data(reader.get(), buffer, sizeof buffer)) > 0) member.bytes.append(buffer, got);
    if (got < 0 || member.bytes.size() != static_cast<std::size_t>(archive_entry_size(entry))) return std::nullopt;
    members.push_back(std::move(member));
  }
  if (next != ARCHIVE_EOF) return std::nullopt;
  if (format) *format = archive_format(reader.get());
  return members;
}

std::string Pattern(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 13);
  return bytes;
}

ReadMember Member(std::string path, std::string bytes, std::int64_t modified) {
  return ReadMember{std::move(path), std::move(bytes), true, 0644, modified};
}

TEST(ConsoleTar, MembersReadBackByteForByteAsTheyAreAdded) {
  std::string out;
  TarStream tar("20261209", [&out](const char* data, std::size_t size) {
    out.append(data, size);
    return true;
  });
  const std::string large = Pattern(70001, 1), small = Pattern(1500, 2), block = Pattern(512, 3);
  ASSERT_EQ(tar.Add("103015_001.jpg", large, 1765280000), TarStream::Added::kWritten);
  // Streamed: all but the last partial block is out before the next member,
  // so the server holds one picture and one block, never the directory.
  const std::size_t taken = 512 + (70001 + 511) / 512 * 512;
  EXPECT_GE(out.size() + 10240, taken);
  EXPECT_LE(out.size(), taken);
  ASSERT_EQ(tar.Add("103016_002.jpg", small, 1765280001), TarStream::Added::kWritten);
  ASSERT_EQ(tar.Add("empty.jpg", {}, -5), TarStream::Added::kWritten);
  ASSERT_EQ(tar.Add("block.jpg", block, 0), TarStream::Added::kWritten);
  ASSERT_TRUE(tar.Finish());

  int format = 0;
  const auto members = ReadTar(out, &format);
  ASSERT_TRUE(members);
  EXPECT_EQ(format, ARCHIVE_FORMAT_TAR_USTAR);
  EXPECT_EQ(*members, (std::vector<ReadMember>{Member("20261209/103015_001.jpg", large, 1765280000),
                                               Member("20261209/103016_002.jpg", small, 1765280001),
                                               Member("20261209/empty.jpg", "", 0),
                                               Member("20261209/block.jpg", block, 0)}));
  // The last block is not padded out to libarchive's 10 KiB: four headers,
  // the members in whole blocks and the two zero blocks that end it.
  EXPECT_EQ(out.size(), 4 * 512 + (70001 + 511) / 512 * 512 + (1500 + 511) / 512 * 512 + 512 + 1024);
  EXPECT_EQ(out.substr(out.size() - 1024), std::string(1024, '\0'));
  EXPECT_EQ(tar.Add("late.jpg", small, 0), TarStream::Added::kBroken);  // nothing after the end
}

TEST(ConsoleTar, NamesThatCouldLeaveTheFolderAreRefusedAndTheStreamGoesOn) {
  std::string out;
  TarStream tar("dir", [&out](const char* data, std::size_t size) {
    out.append(data, size);
    return true;
  });
  for (const char* name : {"..", ".", "", "a/b", "/etc", "x\ny", "ok\x01", "del\x7f"}) {
    EXPECT_EQ(tar.Add(name, "x"s, 0), TarStream::Added::kRefused) << name;
  }
  EXPECT_EQ(tar.Add(std::string(101, 'n'), "x"s, 0), TarStream::Added::kRefused);  // past a ustar name
  EXPECT_EQ(tar.Add(std::string(100, 'n'), "long"s, 0), TarStream::Added::kWritten);
  EXPECT_EQ(tar.Add("after.jpg", "after"s, 0), TarStream::Added::kWritten);
  ASSERT_TRUE(tar.Finish());
  const auto members = ReadTar(out);
  ASSERT_TRUE(members);
  EXPECT_EQ(*members, (std::vector<ReadMember>{Member("dir/" + std::string(100, 'n'), "long"s, 0),
                                               Member("dir/after.jpg", "after"s, 0)}));

  for (const std::string& folder : {std::string(".."), std::string("a/b"), std::string(), std::string("x\ny")}) {
    std::string none;
    TarStream unsafe(folder, [&none](const char* data, std::size_t size) {
      none.append(data, size);
      return true;
    });
    EXPECT_EQ(unsafe.Add("file.jpg", "x"s, 0), TarStream::Added::kRefused) << folder;
    ASSERT_TRUE(unsafe.Finish());
    EXPECT_EQ(ReadTar(none), std::vector<ReadMember>{}) << folder;
  }
  std::string deep;
  TarStream longFolder(std::string(156, 'd'), [&deep](const char* data, std::size_t size) {
    deep.append(data, size);
    return true;
  });
  EXPECT_EQ(longFolder.Add("n", "x"s, 0), TarStream::Added::kRefused);  // past a ustar prefix
}

TEST(ConsoleTar, ACutOffDownloadNeverLooksComplete) {
  // The client leaves after 20000 bytes: the member fails, the stream stays
  // failed and no end blocks follow.
  std::string out;
  TarStream tar("dir", [&out](const char* data, std::size_t size) {
    if (out.size() + size > 20000) return false;
    out.append(data, size);
    return true;
  });
  EXPECT_EQ(tar.Add("big.jpg", Pattern(70001, 4), 0), TarStream::Added::kBroken);
  EXPECT_EQ(tar.Add("small.jpg", "x"s, 0), TarStream::Added::kBroken);
  EXPECT_FALSE(tar.Finish());
  EXPECT_LE(out.size(), 20000u);
  EXPECT_FALSE(ReadTar(out));

  // A download abandoned between members (the console stopping) is not
  // ended either: what was sent does not read as a whole archive.
  std::string left;
  {
    TarStream abandoned("dir", [&left](const char* data, std::size_t size) {
      left.append(data, size);
      return true;
    });
    ASSERT_EQ(abandoned.Add("big.jpg", Pattern(70001, 5), 0), TarStream::Added::kWritten);
  }
  EXPECT_GT(left.size(), 0u);
  EXPECT_FALSE(ReadTar(left));
}

TEST(ConsoleDownloads, NamesArePlainWhateverTheCameraSent) {
  EXPECT_EQ(SafeDownloadName("103015_001.jpg", "picture.jpg"), "103015_001.jpg");
  EXPECT_EQ(SafeDownloadName("a\"; filename=evil.sh", "picture.jpg"), "a___filename_evil.sh");
  EXPECT_EQ(SafeDownloadName("x\r\nSet-Cookie: a=b", "picture.jpg"), "x__Set-Cookie__a_b");
  EXPECT_EQ(SafeDownloadName("../../etc/passwd", "picture.jpg"), "picture.jpg");  // leading dot
  EXPECT_EQ(SafeDownloadName("..", "picture.jpg"), "picture.jpg");
  EXPECT_EQ(SafeDownloadName("", "picture.jpg"), "picture.jpg");
  EXPECT_EQ(SafeDownloadName("___", "picture.jpg"), "picture.jpg");
  EXPECT_EQ(SafeDownloadName(std::string(300, 'a'), "picture.jpg").size(), 100u);
  EXPECT_EQ(SafeDownloadName("caf\xe9.jpg", "picture.jpg"), "caf_.jpg");
}

TEST(ConsoleSettings, EveryCatalogueRowOnceInItsOrderUnderItsSection) {
  const auto catalogue = vktcli::AllSettings();
  const auto groups = GroupSettings(catalogue);
  std::vector<std::string_view> titles, order;
  for (const auto& group : groups) {
    titles.push_back(group.title);
    EXPECT_FALSE(group.settings.empty()) << group.title;
    for (const auto* setting : group.settings) order.push_back(setting->name);
  }
  EXPECT_EQ(titles, (std::vector<std::string_view>{"Picture", "Device and state", "Network and time",
                                                   "Traffic and I/O"}));
  ASSERT_EQ(order.size(), catalogue.size());
  for (std::size_t i = 0; i < catalogue.size(); ++i) EXPECT_EQ(order[i], catalogue[i].name);
  // Where each section begins, so a reordered catalogue is noticed here.
  EXPECT_EQ(groups[0].settings.front()->name, "ae");
  EXPECT_EQ(groups[1].settings.front()->name, "device-info");
  EXPECT_EQ(groups[2].settings.front()->name, "network");
  EXPECT_EQ(groups[3].settings.back()->name, "trigger-inputs");

  // A catalogue whose rows name none of the starts still shows every row.
  const std::vector<vktcli::Setting> other(catalogue.begin() + 1, catalogue.begin() + 4);
  const auto untitled = GroupSettings(other);
  ASSERT_EQ(untitled.size(), 1u);
  EXPECT_EQ(untitled[0].title, "Other");
  EXPECT_EQ(untitled[0].settings.size(), 3u);
}

TEST(ConsolePictureWall, KeepsTheNewestWithinCountAndBytes) {
  PictureWall wall(WallLimits{3, 1000});
  PictureInfo info{};
  const std::vector<char> small(100, 'a'), large(600, 'b'), huge(1001, 'c');
  for (int i = 0; i < 5; ++i) {
    info.camera = i;
    wall.OnPicture(small, info, i);
  }
  auto newest = wall.Newest(0, 10);
  ASSERT_EQ(newest.size(), 3u);
  EXPECT_EQ(newest[0].id, 5u);
  EXPECT_EQ(newest[0].value, 4);
  EXPECT_EQ(newest[2].id, 3u);
  EXPECT_FALSE(wall.Find(2));
  EXPECT_EQ(wall.Newest(4, 10).size(), 1u);
  EXPECT_EQ(wall.Newest(0, 2).size(), 2u);

  wall.OnPicture(large, info, 6);  // 100 + 100 + 600 fits; a second large does not
  wall.OnPicture(large, info, 7);
  newest = wall.Newest(0, 10);
  ASSERT_EQ(newest.size(), 1u);
  EXPECT_EQ(newest[0].value, 7);
  wall.OnPicture(huge, info, 8);  // larger than the whole allowance: not kept
  EXPECT_EQ(wall.LastId(), 7u);
  ASSERT_TRUE(wall.Find(7));
  EXPECT_EQ(*wall.Find(7)->jpeg, large);
}

// An attribute such as onclick= inside a tag.
bool HasInlineHandler(std::string_view html) {
  bool inTag = false;
  for (std::size_t i = 0; i < html.size(); ++i) {
    if (html[i] == '<') inTag = true;
    if (html[i] == '>') inTag = false;
    if (!inTag || i + 3 >= html.size() || (html[i] != ' ' && html[i] != '\n') || html.substr(i + 1, 2) != "on") continue;
    std::size_t end = i + 3;
    while (end < html.size() && html[end] >= 'a' && html[end] <= 'z') ++end;
    if (end > i + 3 && end < html.size() && html[end] == '=') return true;
  }
  return false;
}

TEST(ConsolePage, FilesAreServedAndNeverBuildMarkupFromText) {
  EXPECT_TRUE(HasInlineHandler("<img src=x onerror=alert(1)>"));
  EXPECT_FALSE(HasInlineHandler("<p>turn the lamp on=off</p><b>only</b>"));
  ASSERT_TRUE(FindPageAsset("/"));
  ASSERT_TRUE(FindPageAsset("/console.js"));
  ASSERT_TRUE(FindPageAsset("/console.css"));
  EXPECT_FALSE(FindPageAsset("/../console.js"));
  EXPECT_NE(FindPageAsset("/")->contentType.find("text/html"), std::string_view::npos);
  const std::string_view html = FindPageAsset("/")->body, js = FindPageAsset("/console.js")->body;
  // Scripts come from the console's own file only (the policy forbids inline
  // ones), and the page reaches nothing outside the console.
  EXPECT_NE(html.find("<script src=\"/console.js\""), std::string_view::npos);
  EXPECT_EQ(html.find("http://"), std::string_view::npos);
  EXPECT_EQ(html.find("https://"), std::string_view::npos);
  EXPECT_FALSE(HasInlineHandler(html));
  for (const char* sink : {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write", "eval(", "new Function"}) {
    EXPECT_EQ(js.find(sink), std::string_view::npos) << sink;
  }
  EXPECT_EQ(js.find("http://"), std::string_view::npos);
  EXPECT_EQ(js.find("https://"), std::string_view::npos);
}

}  // namespace
