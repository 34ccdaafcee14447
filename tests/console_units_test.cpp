// The field console's pure parts: who may use it (token, Host, Origin),
// the tar members of a directory download, download names, the settings
// sections, the picture wall's bounds and the page's own files.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "access_guard.h"
#include "console_server.h"
#include "picture_wall.h"
#include "settings_catalog.h"
#include "settings_groups.h"
#include "tar_writer.h"
#include "web_assets.h"

namespace {

using namespace vktconsole;

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

// A reader of what TarFileHeader wrote, as tar itself reads it.
struct TarMember {
  std::string name, prefix;
  std::uint64_t size = 0;
  char type = 0;
  bool checksumOk = false;
};

std::uint64_t Octal(const char* field, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width && field[i] >= '0' && field[i] <= '7'; ++i) value = value * 8 + (field[i] - '0');
  return value;
}

TarMember ReadHeader(const std::array<char, kTarBlock>& block) {
  TarMember member;
  member.name.assign(block.data(), strnlen(block.data(), 100));
  member.prefix.assign(block.data() + 345, strnlen(block.data() + 345, 155));
  member.size = Octal(block.data() + 124, 12);
  member.type = block[156];
  unsigned sum = 0;
  for (std::size_t i = 0; i < kTarBlock; ++i) {
    sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(block[i]);
  }
  member.checksumOk = Octal(block.data() + 148, 8) == sum;
  EXPECT_EQ(std::string(block.data() + 257, 5), "ustar");
  return member;
}

TEST(ConsoleTar, HeadersReadBackAndPadToBlocks) {
  const auto header = TarFileHeader("20261209", "103015_001.jpg", 70001, 1765280000);
  ASSERT_TRUE(header);
  const TarMember member = ReadHeader(*header);
  EXPECT_EQ(member.name, "103015_001.jpg");
  EXPECT_EQ(member.prefix, "20261209");
  EXPECT_EQ(member.size, 70001u);
  EXPECT_EQ(member.type, '0');
  EXPECT_TRUE(member.checksumOk);

  const auto large = TarFileHeader("d", std::string(100, 'n'), (std::uint64_t{1} << 33) - 1, 0);
  ASSERT_TRUE(large);
  EXPECT_EQ(ReadHeader(*large).size, (std::uint64_t{1} << 33) - 1);
  EXPECT_EQ(ReadHeader(*large).name, std::string(100, 'n'));
  EXPECT_FALSE(TarFileHeader("d", "n", std::uint64_t{1} << 33, 0));  // past 11 octal digits

  EXPECT_EQ(TarPadding(0).size(), 0u);
  EXPECT_EQ(TarPadding(1).size(), 511u);
  EXPECT_EQ(TarPadding(512).size(), 0u);
  EXPECT_EQ(TarPadding(70001).size() + 70001 % 512, 512u);
  EXPECT_EQ(TarEnd(), std::string(1024, '\0'));
}

TEST(ConsoleTar, NamesThatCouldLeaveTheFolderAreRefused) {
  for (const char* name : {"..", ".", "", "a/b", "/etc", "x\ny", "ok\x01"}) {
    EXPECT_FALSE(TarFileHeader("dir", name, 1, 0)) << name;
    EXPECT_FALSE(TarFileHeader(name, "file.jpg", 1, 0)) << name;
  }
  EXPECT_FALSE(TarFileHeader("dir", std::string(101, 'n'), 1, 0));
  EXPECT_FALSE(TarFileHeader(std::string(156, 'd'), "n", 1, 0));
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
