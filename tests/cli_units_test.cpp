// Unit tests of vktcli's pure functions and of its command line: options,
// help and usage errors, value parsing, the JSON reader and writer, settings
// records as text and JSON, clock text, camera tables, the
// stream/listen/picture texts, the library's counters and the SD card's
// paths, blocks and texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "commands.h"
#include "counter_text.h"
#include "exit_codes.h"
#include "format.h"
#include "json_text.h"
#include "listen_stats.h"
#include "option_values.h"
#include "picture_text.h"
#include "record_text.h"
#include "sd_paths.h"
#include "sd_text.h"
#include "settings_catalog.h"
#include "stream_stats.h"
#include "time_text.h"

namespace vktcli {
namespace {

using Strings = std::vector<std::string>;
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int32_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kI32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::string_view kPrintable =
    " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";

// vktcli's own JSON reader over `text`, which must be valid.
Json Parsed(std::string_view text) {
  JsonParse r = ParseJson(text);
  EXPECT_TRUE(r.value.has_value()) << r.error << " in " << text;
  return r.value.value_or(Json{});
}

Json Member(const Json& object, const std::string& key) {
  EXPECT_TRUE(object.contains(key)) << key << " in " << object.dump();
  return object.contains(key) ? object.at(key) : Json{};
}

Strings Keys(const Json& object) {
  Strings keys;
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  return keys;
}

std::int64_t Integer(const Json& number) {
  EXPECT_TRUE(number.is_number_integer()) << number.dump();
  return number.is_number_integer() ? number.get<std::int64_t>() : 0;
}

struct CliRun {
  int exitCode;
  std::string out;
  std::string err;
};

CliRun Cli(std::vector<std::string_view> args) {
  std::ostringstream out, err;
  const int code = RunCli(args, out, err);
  return {code, out.str(), err.str()};
}

// The message of a usage error: the first line, without "vktcli: ".
std::string UsageMessage(const CliRun& run) {
  EXPECT_EQ(run.exitCode, kExitUsage) << run.out << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
  if (!run.err.starts_with("vktcli: ")) return "not a usage error: " + run.err;
  return run.err.substr(8, run.err.find('\n') - 8);
}

std::string UsageErrorOf(auto read) {
  try {
    read();
  } catch (const UsageError& error) {
    return error.what();
  }
  return "no error";
}

// --------------------------------------------------------------- command line

// Mistakes are reported before any camera is contacted, in the words vktcli
// has always used, with the command's help after them.
TEST(CliUnitsCommandLine, UsageErrorsNameTheMistake) {
  const std::pair<std::vector<std::string_view>, std::string_view> cases[] = {
      {{}, "missing command"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"--json", "search"}, "unknown command '--json'"},
      {{"help", "search", "get"}, "help takes at most one command"},
      {{"search", "--bogus"}, "unknown option '--bogus'"},
      {{"search", "--bogus=3"}, "unknown option '--bogus'"},
      {{"search", "--=x"}, "unknown option '--'"},
      {{"search", "extra"}, "unexpected argument 'extra'"},
      {{"search", "-json"}, "unexpected argument '-json'"},
      {{"search", "--timeout", "50", "--"}, "unexpected argument '--'"},
      {{"sd", "ls", "--", "/a", "--ip", "127.0.0.1"}, "unexpected argument '--'"},
      {{"search", "--json", "--json"}, "option '--json' given more than once"},
      {{"search", "--timeout", "5", "--timeout=6"}, "option '--timeout' given more than once"},
      {{"sd", "--json", "ls", "--json"}, "option '--json' given more than once"},
      {{"search", "--timeout"}, "option '--timeout' needs a value"},
      {{"sd", "get", "/d/x.jpg", "-o"}, "option '--out' needs a value"},
      {{"search", "--json=1"}, "option '--json' takes no value"},
      {{"search", "--json=true"}, "option '--json' takes no value"},
      {{"search", "--json="}, "option '--json' takes no value"},
      {{"search", "--timeout="}, "--timeout needs a whole number of milliseconds of at least 1, not ''"},
      {{"search", "--timeout", "+5"}, "--timeout needs a whole number of milliseconds of at least 1, not '+5'"},
      {{"add"}, "--ip is required"},
      {{"get"}, "missing NAME (vktcli settings lists them)"},
      {{"get", "rotation", "extra", "--ip", "127.0.0.1"}, "unexpected argument 'extra'"},
      {{"set", "ae-param", "1", "--ip", "127.0.0.1"}, "ae-param: needs 2 values (word0 word1), not 1"},
      {{"reset", "--ip", "127.0.0.1"}, "--mode is required"},
      {{"listen", "--ip", "127.0.0.1", "127.0.0.2"}, "unexpected argument '127.0.0.2'"},
      {{"time", "--ip", "127.0.0.1"}, "missing get, set or sync"},
      {{"time", "frob", "--ip", "127.0.0.1"}, "unknown action 'frob' (get, set or sync)"},
      {{"time", "get", "--at", "2026-12-08 22:30:00", "--ip", "127.0.0.1"}, "--at does not go with \"time get\""},
      {{"time", "--now", "sync", "--ip", "127.0.0.1"}, "--now does not go with \"time sync\""},
      {{"config", "export", "--ip", "127.0.0.1"}, "missing FILE"},
      {{"sd", "eject", "--ip", "127.0.0.1"}, "unknown action 'eject' (state, format, ls, get, rm or pull)"},
      {{"sd", "--bogus", "eject"}, "unknown option '--bogus'"},
      {{"sd", "get", "--ip", "127.0.0.1"}, "sd get needs NAME"},
      {{"sd", "pull", "/d", "--ip", "127.0.0.1"}, "sd pull needs PATH and DIR"},
      {{"sd", "ls", "/a", "/b", "--ip", "127.0.0.1"}, "too many arguments for \"sd ls\""},
      {{"sd", "state", "-o", "x", "--ip", "127.0.0.1"}, "--out does not go with \"sd state\""},
      {{"sd", "rm", "/d/x.jpg", "--json", "--ip", "127.0.0.1"}, "--json does not go with \"sd rm\""},
      {{"sd", "ls"}, "--ip is required"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(message);
    const CliRun run = Cli(args);
    EXPECT_EQ(UsageMessage(run), message);
    // Then the command's help, or the overview when no command was named.
    const bool named = !args.empty() && args[0] != "help" && args[0] != "frobnicate" && !args[0].starts_with('-');
    EXPECT_NE(run.err.find("\n\nUsage: vktcli " + std::string(named ? args[0] : "COMMAND") + " "), std::string::npos)
        << run.err;
  }
}

// The "Usage:" lines are written by hand beside the command's option table:
// they name no option the table lacks, and every option of the table (by its
// short or long name) in at least one form.
void ExpectSynopsisNamesItsOptions(const std::string& command, const std::string& help) {
  // Option names in `text`: words starting with '-' and a letter, cut at the
  // first character no option name has ("[-o", "--ip]", "-o,").
  const auto names = [](const std::string& text) {
    std::set<std::string> found;
    for (std::size_t at = 0; (at = text.find('-', at)) != std::string::npos;) {
      const bool startsWord = at == 0 || std::string_view(" [(|").find(text[at - 1]) != std::string_view::npos;
      std::size_t end = at + 1;
      if (end < text.size() && text[end] == '-') ++end;
      const bool named = end < text.size() && text[end] >= 'a' && text[end] <= 'z';
      while (end < text.size() && ((text[end] >= 'a' && text[end] <= 'z') || text[end] == '-')) ++end;
      if (startsWord && named) found.insert(text.substr(at, end - at));
      at = end;
    }
    return found;
  };
  const std::set<std::string> synopsis = names(help.substr(0, help.find("\n\n")));
  std::set<std::string> listed;
  std::istringstream text(help.substr(help.find("\nOptions:\n") + 10));
  for (std::string line; std::getline(text, line) && !line.empty();) {
    if (!line.starts_with("  -")) continue;
    const std::set<std::string> forms = names(line.substr(1, line.find("  ", 2)));
    listed.insert(forms.begin(), forms.end());
    EXPECT_TRUE(std::ranges::any_of(forms, [&](const std::string& f) { return synopsis.contains(f); }))
        << command << ": the synopsis leaves out " << line;
  }
  for (const std::string& option : synopsis) {
    EXPECT_TRUE(listed.contains(option)) << command << ": the synopsis names " << option << ", which it does not take";
  }
}

// Help wins over every mistake, and goes to standard output.
TEST(CliUnitsCommandLine, HelpOfEachCommand) {
  const CliRun overview = Cli({"--help"});
  EXPECT_EQ(overview.exitCode, kExitOk);
  EXPECT_EQ(Cli({"help"}).out, overview.out);
  EXPECT_EQ(Cli({"-h"}).out, overview.out);
  EXPECT_TRUE(overview.out.ends_with(kExitCodeHelp));
  std::istringstream lines(overview.out.substr(overview.out.find("Commands:\n") + 10));
  Strings commands;
  for (std::string line; std::getline(lines, line) && !line.empty();) {
    EXPECT_EQ(line.find_first_not_of(' ', line.find(' ', 2)), 16u) << line;  // the summaries line up
    commands.push_back(line.substr(2, line.find(' ', 2) - 2));
  }
  EXPECT_EQ(commands, (Strings{"search", "change-ip", "add", "settings", "get", "get-default", "set", "save", "reset",
                               "state", "param-state", "time", "config", "snap", "listen", "stream", "stats", "sd"}));
  for (const std::string& command : commands) {
    const CliRun help = Cli({"help", command});
    EXPECT_EQ(help.exitCode, kExitOk) << command;
    EXPECT_TRUE(help.out.starts_with("Usage: vktcli " + command + " ")) << help.out;
    EXPECT_TRUE(help.out.ends_with("\n\n" + std::string(kExitCodeHelp))) << command;
    EXPECT_EQ(Cli({command, "--bogus", "--help"}).out, help.out) << command;
    EXPECT_EQ(Cli({command, "--timeout", "-h"}).out, help.out) << command;
    // A usage error shows the same help, without the exit codes.
    const CliRun wrong = Cli({command, "--bogus"});
    const std::string helpWithoutExitCodes = help.out.substr(0, help.out.size() - kExitCodeHelp.size() - 1);
    EXPECT_EQ(wrong.err, "vktcli: unknown option '--bogus'\n\n" + helpWithoutExitCodes) << command;

    // The options in two columns: names, then their help, every line of it
    // starting in the same column.
    std::istringstream text(help.out.substr(help.out.find("\nOptions:\n") + 10));
    std::size_t column = 0;
    int options = 0;
    for (std::string line; std::getline(text, line) && !line.empty();) {
      const std::size_t start = line.starts_with("  -") ? line.find("  ", 2) + 2 : line.find_first_not_of(' ');
      ASSERT_NE(start, std::string::npos) << line;
      if (line.starts_with("  -")) ++options;
      if (column == 0) column = line.find_first_not_of(' ', start);
      EXPECT_EQ(line.find_first_not_of(' ', start), column) << command << ": " << line;
    }
    EXPECT_GT(options, 0) << command;
    ExpectSynopsisNamesItsOptions(command, help.out);
  }
  EXPECT_EQ(Cli({"sd", "ls", "--help"}).out, Cli({"help", "sd"}).out);
  EXPECT_NE(Cli({"help", "sd"}).out.find("  -o, --out FILE  get: where to write the picture\n"), std::string::npos);
}

// Options of a command with actions may come before the action or after it.
TEST(CliUnitsCommandLine, ActionsTakeTheirCommandsOptionsAnywhere) {
  for (std::vector<std::string_view> args : std::vector<std::vector<std::string_view>>{
           {"sd", "--json", "--timeout", "1", "ls", "/d", "--ip", "127.0.0.1"},
           {"sd", "ls", "/d", "--ip", "127.0.0.1", "--json", "--timeout=1"},
           {"time", "--ip", "127.0.0.1", "--timeout", "1", "get", "--json"}}) {
    // Past the command line: the search finds no camera.
    const CliRun run = Cli(args);
    EXPECT_EQ(run.exitCode, kExitCameraFailed) << run.err;
    EXPECT_NE(run.err.find("VKT_ERR_CAMERA_NOT_FOUND"), std::string::npos) << run.err;
  }
}

// ------------------------------------------------------------------- values

TEST(CliUnitsValues, IntegerBoundaries) {
  const std::pair<std::string_view, std::int64_t> good[] = {
      {"0", 0}, {"-0", 0}, {"42", 42}, {"0x1F", 31}, {"0X1f", 31}, {"-0x10", -16}, {"0x00ff", 255},
      {"9223372036854775807", kI64Max}, {"-9223372036854775808", kI64Min}, {"0x7fffffffffffffff", kI64Max},
      {"-0x8000000000000000", kI64Min}};
  for (const auto& [text, value] : good) EXPECT_EQ(ParseInteger(text), value) << text;
  for (std::string_view bad : {"", "-", "+1", "--1", "-+1", " 1", "1 ", "01", "-01", "00", "0x", "-0x", "0x-1",
                               "0x+1", "1x2", "0b1", "1.0", "9223372036854775808", "-9223372036854775809",
                               "0x8000000000000000", "18446744073709551616", "0x1g"}) {
    EXPECT_FALSE(ParseInteger(bad)) << bad;
  }
  EXPECT_EQ(ParseInt32("2147483647"), kI32Max);
  EXPECT_EQ(ParseInt32("-2147483648"), kI32Min);
  EXPECT_EQ(ParseInt32("0x7FFFFFFF"), kI32Max);
  for (std::string_view bad : {"2147483648", "-2147483649", "0xFFFFFFFF"}) EXPECT_FALSE(ParseInt32(bad)) << bad;

  EXPECT_EQ(ParseMilliseconds("4294967295"), 4294967295u);
  for (std::string_view bad : {"", "-1", "+1", "4294967296", "1.5", "1 ", "0x10"}) {
    EXPECT_FALSE(ParseMilliseconds(bad)) << bad;
  }
  EXPECT_EQ(MillisecondsOption(std::nullopt, "timeout", 700, 100), 700u);
  EXPECT_EQ(MillisecondsOption("100", "timeout", 700, 100), 100u);
  EXPECT_EQ(UsageErrorOf([] { MillisecondsOption("99", "timeout", 700, 100); }),
            "--timeout needs a whole number of milliseconds of at least 100, not '99'");
  EXPECT_EQ(UsageErrorOf([] { MillisecondsOption("x", "timeout", 700, 0); }),
            "--timeout needs a whole number of milliseconds, not 'x'");
  EXPECT_EQ(PositiveOption("1", "frames", "frames"), 1u);
  EXPECT_EQ(UsageErrorOf([] { PositiveOption("0", "frames", "frames"); }),
            "--frames needs a whole number of frames of at least 1, not '0'");
  EXPECT_EQ(UsageErrorOf([] { PositiveOption("-1", "count", ""); }),
            "--count needs a whole number of at least 1, not '-1'");
  EXPECT_EQ(Int32Option("-0x10", "value"), -16);
  EXPECT_EQ(UsageErrorOf([] { Int32Option("2147483648", "extra", "a 32-bit number"); }),
            "--extra needs a 32-bit number, not '2147483648'");
  EXPECT_EQ(UsageErrorOf([] { IPv4Option("1.2.3.4\n", "ip"); }), "--ip needs an IPv4 address, not '1.2.3.4?'");
}

TEST(CliUnitsValues, AddressesRoundTrip) {

  for (std::string_view text : {"0.0.0.0", "255.255.255.255", "192.168.1.10", "10.0.100.9"}) {
    ASSERT_TRUE(ParseIPv4(text)) << text;
    EXPECT_EQ(FormatIPv4(*ParseIPv4(text)), text);
  }
  const std::uint32_t word = *ParseIPv4("192.168.1.10");
  EXPECT_EQ(std::memcmp(&word, "\xC0\xA8\x01\x0A", 4), 0);  // network order: first octet first in memory
  for (std::string_view bad : {"", "1.2.3", "1.2.3.4.", "1.2.3.4.5", "256.0.0.1", "01.2.3.4", "1.2.3.00", "1..2.3",
                               " 1.2.3.4", "1.2.3.4 ", "+1.2.3.4", "1.2.3.-4", "0x1.2.3.4", "1234.1.1.1"}) {
    EXPECT_FALSE(ParseIPv4(bad)) << bad;
  }
  const std::uint8_t mac[6] = {0x00, 0x1c, 0x27, 0xAB, 0xff, 0x10};
  EXPECT_EQ(FormatMac(mac), "00:1c:27:ab:ff:10");
  ASSERT_TRUE(ParseMac(FormatMac(mac)));
  EXPECT_EQ(std::memcmp(ParseMac(FormatMac(mac))->data(), mac, 6), 0);
  EXPECT_EQ(ParseMac("00-1C-27-AB-FF-10"), ParseMac(FormatMac(mac)));
  for (std::string_view bad : {"", "00:1c:27:ab:ff:1", "00:1c:27:ab:ff:100", "00:1c-27:ab:ff:10", "00:1c:27:ab:ff-10",
                               "00.1c.27.ab.ff.10", "0g:1c:27:ab:ff:10", "+0:1c:27:ab:ff:10", " 0:1c:27:ab:ff:10"}) {
    EXPECT_FALSE(ParseMac(bad)) << bad;
  }
}

// ----------------------------------------------------------------------- JSON

TEST(CliUnitsJson, ReadsValuesAndRefusesRepeatedMembers) {
  const Json v = Parsed(" {\"a\": [1, -0, 2.5e-3, \"x\", true, false, null], \"b\": {}}\n");
  const Json a = Member(v, "a");
  ASSERT_EQ(a.size(), 7u);
  EXPECT_DOUBLE_EQ(a[2].get<double>(), 2.5e-3);
  EXPECT_TRUE(a[4].get<bool>());
  EXPECT_TRUE(a[6].is_null());
  EXPECT_TRUE(Member(v, "b").is_object());
  EXPECT_EQ(Parsed("\"\\uD83D\\uDE00 \\u00e9\\/\\u0000\"").get<std::string>(),
            std::string("\xF0\x9F\x98\x80 \xC3\xA9/\0", 9));
  // The same name in different objects is no repeat; within one, at any
  // depth, it is.
  EXPECT_EQ(Parsed(R"({"a": {"a": 1}, "b": [{"a": 1}, {"a": 2}]})").size(), 2u);
  for (std::string_view repeated : {R"({"a":1,"\u0061":2})", R"([{"x": {"b": 1, "c": 2, "b": 3}}])",
                                    R"({"a": {"x": 1}, "b": {"y": 1, "y": 2}})"}) {
    const JsonParse r = ParseJson(repeated);
    EXPECT_FALSE(r.value) << repeated;
    EXPECT_NE(r.error.find("given twice"), std::string::npos) << r.error;
  }
  EXPECT_EQ(ParseJson(R"({"q\"": 1, "q\"": 2})").error, "member \"q\\\"\" given twice");
}

TEST(CliUnitsJson, RefusesMalformedText) {
  for (std::string_view bad : {"", " ", "[1,]", "{\"a\":1,}", "01", "-01", "1.", ".5", "+1", "-", "1e", "1e+",
                               "tru", "nul", "truex", "\"abc", "\"a\\x\"", "\"\\u12\"", "\"\\uD800\"", "\"\\uDC00\"",
                               "\"\\uD800\\u0041\"", "[1 2]", "{\"a\" 1}", "{a:1}", "1 2", "\"tab\there\"", "[", "{",
                               "\"\\", "NaN", "Infinity", "[1]]", "'x'", "\"\xE9\""}) {
    const JsonParse r = ParseJson(bad);
    EXPECT_FALSE(r.value) << bad;
    EXPECT_NE(r.error.find(" at offset "), std::string::npos) << bad;
    EXPECT_EQ(r.error.find_first_not_of(kPrintable), std::string::npos) << r.error;
  }
  EXPECT_TRUE(ParseJson("[1,]").error.ends_with(" at offset 3")) << ParseJson("[1,]").error;
  EXPECT_TRUE(ParseJson("[1").error.ends_with(" at offset 2")) << ParseJson("[1").error;
  // Refused, not a stack overflow; deep nesting that closes is read.
  EXPECT_FALSE(ParseJson(std::string(200000, '[')).value);
  EXPECT_TRUE(ParseJson(std::string(100000, '[') + std::string(100000, ']')).value);
}

TEST(CliUnitsJson, OneLineWriterAndLatin1Escapes) {
  std::string ascii;
  for (int c = 0; c < 0x80; ++c) ascii += static_cast<char>(c);
  EXPECT_EQ(Parsed(JsonQuote(ascii)).get<std::string>(), ascii);
  EXPECT_EQ(JsonEscape("\"\\\n\r\t\b\x01\x7f"), "\\\"\\\\\\n\\r\\t\\u0008\\u0001\\u007f");
  const std::string latin = JsonEscape("caf\xE9\xFF\x7F");  // Latin-1 in, plain ASCII out
  EXPECT_EQ(latin, "caf\\u00e9\\u00ff\\u007f");
  EXPECT_EQ(Parsed("\"" + latin + "\"").get<std::string>(), "caf\xC3\xA9\xC3\xBF\x7F");

  // Camera bytes go into a document as they are and come out escaped.
  const Json document{{"n", kI64Min}, {"u", std::numeric_limits<std::uint64_t>::max()}, {"s", "q\"\xE9"},
                      {"b", true},    {"z", nullptr},
                      {"r", {1, 2}},  {"o", Json::object()},
                      {"e", Json::array()}, {"f", 2.5}};
  EXPECT_EQ(JsonLine(document),
            "{\"n\": -9223372036854775808, \"u\": 18446744073709551615, \"s\": \"q\\\"\\u00e9\", \"b\": true, "
            "\"z\": null, \"r\": [1, 2], \"o\": {}, \"e\": [], \"f\": 2.5}");
  EXPECT_EQ(Parsed(JsonLine(document)).at("s").get<std::string>(), "q\"\xC3\xA9");
  // Fixed decimals as the text output has them, at any depth; not for null.
  EXPECT_EQ(JsonLine({{"fps", 25.0}, {"g", {{"fps", 1.0 / 3}}}, {"x", 25.0}, {"y", nullptr}}, {{"fps", 2}, {"y", 1}}),
            "{\"fps\": 25.00, \"g\": {\"fps\": 0.33}, \"x\": 25.0, \"y\": null}");
  EXPECT_EQ(JsonArrayLines(Json::array()), "[]\n");
  EXPECT_EQ(JsonArrayLines({{{"a", 1}}, {{"a", 2}}}), "[\n  {\"a\": 1},\n  {\"a\": 2}\n]\n");
  EXPECT_EQ(JsonTypeName(Json::array()), "an array");
  EXPECT_EQ(JsonTypeName(Json("x")), "a string");
  EXPECT_EQ(JsonTypeName(nullptr), "null");

  std::string error;
  std::istringstream exact(std::string(kMaxJsonInput, ' ')), over(std::string(kMaxJsonInput + 1, ' ')), empty;
  EXPECT_EQ(ReadBounded(exact, kMaxJsonInput, error)->size(), kMaxJsonInput);
  EXPECT_FALSE(ReadBounded(over, kMaxJsonInput, error));
  EXPECT_EQ(ReadBounded(empty, kMaxJsonInput, error), "");
}

// -------------------------------------------------------------------- records

constexpr std::array<Field, 4> kMixedFields{{{"port", FieldType::UInt16, 0, 2, {}},
                                             {"pad", FieldType::Bytes, 2, 2, {}},
                                             {"addr", FieldType::IPv4, 4, 4, {}},
                                             {"n", FieldType::Int32, 8, 4, {}}}};
constexpr RecordLayout kMixed{SettingKind::Record, 12, kMixedFields};
constexpr std::array<Field, 2> kPairFields{{{"a", FieldType::Int32, 0, 4, {}}, {"b", FieldType::Int32, 4, 4, {}}}};
constexpr RecordLayout kPairs{SettingKind::Entries, 16, kPairFields, 2, 8};

RecordParse Args(const RecordLayout& layout, Strings values) { return ParseRecordArgs(layout, values); }

TEST(CliUnitsRecord, HexAndPrintableRuns) {
  std::string error;
  const std::vector<std::uint8_t> bytes = {0x00, 0xAB, 0x7f, 0xff};
  EXPECT_EQ(FormatHex(bytes), "00ab7fff");
  EXPECT_EQ(ParseHex("0X00AB7FfF", 4, error), bytes);
  EXPECT_EQ(ParseHex("ab", 3, error), (std::vector<std::uint8_t>{0xab, 0, 0}));
  EXPECT_EQ(ParseHex("", 2, error), (std::vector<std::uint8_t>{0, 0}));
  for (std::string_view bad : {"abc", "abcdef", "0xg0", "a ", "-1"}) EXPECT_FALSE(ParseHex(bad, 2, error)) << bad;
  const std::string raw("ab\0abc\x01   \x02q\"d\x7f", 15);
  EXPECT_EQ(PrintableRuns(std::vector<std::uint8_t>(raw.begin(), raw.end())), "\"abc\" \"q\\\"d\"");
}

TEST(CliUnitsRecord, FieldRangesAndTypes) {
  RecordParse r = Args(kMixed, {"65535", "0xABCD", "10.0.0.1", "-2147483648"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.record, (std::vector<std::uint8_t>{0xff, 0xff, 0xab, 0xcd, 10, 0, 0, 1, 0, 0, 0, 0x80}));
  EXPECT_EQ(FormatRecordText(kMixed, r.record), "port: 65535\npad: abcd\naddr: 10.0.0.1\nn: -2147483648\n");
  EXPECT_EQ(ParseRecordJson(kMixed, FormatRecordJson(kMixed, r.record)).record, r.record);
  for (const Strings& bad : std::vector<Strings>{
           {"65536", "", "1.2.3.4", "0"}, {"-1", "", "1.2.3.4", "0"}, {"0x10000", "", "1.2.3.4", "0"},
           {"1", "abcdef", "1.2.3.4", "0"}, {"1", "", "1.2.3", "0"}, {"1", "", "1.2.3.4", "2147483648"},
           {"1", "", "1.2.3.4", "0xFFFFFFFF"}, {"01", "", "1.2.3.4", "0"}, {"1", "", "1.2.3.4"}, {}}) {
    r = Args(kMixed, bad);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.record.empty()) << r.error;
  }
  const std::string rest = R"("pad": "", "addr": "1.2.3.4", "n": 0})";
  EXPECT_TRUE(ParseRecordJson(kMixed, "{\"port\": 1, " + rest).ok());
  for (std::string port : {"1.0", "1e2", "\"1\"", "-1", "65536", "null", "99999999999999999999"}) {
    r = ParseRecordJson(kMixed, "{\"port\": " + port + ", " + rest);
    EXPECT_FALSE(r.ok()) << port;
    EXPECT_TRUE(r.record.empty()) << port;
  }
  for (std::string_view bad : {"", " \n", "[]", "{}", R"({"port": 1, "pad": "", "addr": "1.2.3.4"})",
                               R"({"port": 1, "pad": "", "addr": 16909060, "n": 0})",
                               R"({"port": 1, "pad": "", "addr": "1.2.3.4", "n": 0, "x": 1})"}) {
    EXPECT_FALSE(ParseRecordJson(kMixed, bad).ok()) << bad;
  }

  const std::vector<std::uint8_t> pairs = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
  EXPECT_EQ(FormatRecordText(kPairs, pairs), "entry 0: a=1 b=2\nentry 1: a=3 b=-1\n");
  EXPECT_EQ(FormatRecordJson(kPairs, pairs), "{\"entries\": [{\"a\": 1, \"b\": 2}, {\"a\": 3, \"b\": -1}]}\n");
  EXPECT_EQ(ParseRecordJson(kPairs, FormatRecordJson(kPairs, pairs)).record, pairs);
  EXPECT_FALSE(Args(kPairs, {"1", "2", "3", "-1"}).ok());  // entries take JSON only
  for (std::string_view bad : {R"({"entries": [{"a": 1, "b": 2}]})", R"({"entries": {"a": 1}})", "[]",
                               R"({"entries": [{"a": 1, "b": 2}, {"a": 1}]})", R"({"entries": [], "x": 1})"}) {
    EXPECT_FALSE(ParseRecordJson(kPairs, bad).ok()) << bad;
  }
}

// Whatever get prints, set reads back unchanged: every setting, as text and JSON.
TEST(CliUnitsRecord, EverySettingRoundTrips) {
  std::mt19937 random(7);
  std::set<std::string_view> names;
  for (const Setting& setting : AllSettings()) {
    const RecordLayout& layout = *setting.layout;
    EXPECT_TRUE(names.insert(setting.name).second) << setting.name;
    EXPECT_EQ(FindSetting(setting.name), &setting);
    std::vector<std::uint8_t> record(layout.size);
    for (auto& byte : record) byte = static_cast<std::uint8_t>(random());
    const RecordParse fromJson = ParseRecordJson(layout, FormatRecordJson(layout, record));
    EXPECT_EQ(fromJson.record, record) << setting.name << ": " << fromJson.error;
    if (layout.kind == SettingKind::Entries) continue;
    const std::string text = FormatRecordText(layout, record);
    Strings values;
    for (const Field& field : layout.fields) {
      const std::string prefix = layout.kind == SettingKind::Value ? "" : std::string(field.name) + ": ";
      const std::size_t at = text.find(prefix) + prefix.size();
      values.push_back(text.substr(at, text.find('\n', at) - at));
    }
    const RecordParse fromText = ParseRecordArgs(layout, values);
    EXPECT_EQ(fromText.record, record) << setting.name << ": " << fromText.error;
  }
  EXPECT_EQ(FindSetting("no-such-setting"), nullptr);
  const std::pair<std::string_view, std::string_view> kinds[] = {
      {"ae", "value"}, {"ae-param", "record, 2 words"}, {"device-info", "record, 100 bytes"},
      {"network", "record, 3 addresses"}, {"trigger-inputs", "record, 16 entries of 15 words"}};
  for (const auto& [name, kind] : kinds) EXPECT_EQ(DescribeKind(*FindSetting(name)->layout), kind) << name;

  const Setting& network = *FindSetting("network");  // an address that would make the camera unreachable
  for (std::string ip : {"0.1.2.3", "224.0.0.1", "255.255.255.255"}) {
    EXPECT_NE(network.check(Args(*network.layout, {ip, "255.0.0.0", "0.0.0.0"}).record), "") << ip;
  }
  EXPECT_EQ(network.check(Args(*network.layout, {"192.168.1.10", "255.255.255.0", "192.168.1.1"}).record), "");
}

// ----------------------------------------------------------------------- time

TEST(CliUnitsTime, ParseAndFormat) {
  std::string error;
  for (std::string_view text : {"2026-12-08 22:30:00.000", "2024-02-29 23:59:59.999", "2000-02-29 00:00:00.001"}) {
    const auto time = ParseSystemTime(text, error);
    ASSERT_TRUE(time) << text << ": " << error;
    EXPECT_EQ(FormatSystemTime(*time), text);
  }
  EXPECT_EQ(ParseSystemTime("2026-12-08 22:30:00", error)->dayOfWeek, 2);
  EXPECT_EQ(FormatSystemTime(*ParseSystemTime("2026-12-08 22:30:00", error)), "2026-12-08 22:30:00.000");
  EXPECT_TRUE(ParseSystemTime(kEarliestCameraTime, error));
  EXPECT_TRUE(ParseSystemTime(std::string(kLatestCameraTime) + ".999", error));
  for (std::string_view bad : {"1901-12-13 20:45:51", "2038-01-19 03:14:08", "2023-02-29 00:00:00",
                               "2100-02-29 00:00:00", "2026-13-01 00:00:00", "2026-00-10 00:00:00",
                               "2026-04-31 00:00:00", "2026-01-00 00:00:00", "2026-01-01 24:00:00",
                               "2026-01-01 23:60:00", "2026-01-01 23:59:60", "2026-01-01T00:00:00",
                               "2026-1-01 00:00:00", "2026-01-01 00:00:00.00", "2026-01-01 00:00:00.0000",
                               "+026-01-01 00:00:00", "2026-01-01 00:00:00 ", "", "2026-01-01 0a:00:00",
                               "2026-01-01 00:00:00,000", "-001-01-01 00:00:00", "0000-01-01 00:00:00"}) {
    error.clear();
    EXPECT_FALSE(ParseSystemTime(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_TRUE(IsValidDate(1, 1, 1) && IsValidDate(9999, 12, 31));
  EXPECT_FALSE(IsValidDate(0, 1, 1) || IsValidDate(10000, 1, 1) || IsValidDate(2024, 1, 32));
  const SYSTEMTIME wide{65535, 65535, 0, 65535, 65535, 65535, 65535, 65535};  // nothing cut off
  EXPECT_EQ(FormatSystemTime(wide), "65535-65535-65535 65535:65535:65535.65535");
}

TEST(CliUnitsTime, UnixSecondsAndClockText) {
  EXPECT_EQ(FormatSystemTime(SystemTimeFromUnix(0, 0)), "1970-01-01 00:00:00.000");
  EXPECT_EQ(SystemTimeFromUnix(0, 0).dayOfWeek, 4);
  EXPECT_EQ(FormatSystemTime(SystemTimeFromUnix(-1, 999)), "1969-12-31 23:59:59.999");
  EXPECT_EQ(SystemTimeFromUnix(-1, 0).dayOfWeek, 3);
  EXPECT_EQ(SystemTimeFromUnix(5, 1999).milliseconds, 999);
  EXPECT_EQ(FormatSystemTime(SystemTimeFromUnix(kI32Max, 0)), std::string(kLatestCameraTime) + ".000");
  EXPECT_EQ(FormatSystemTime(SystemTimeFromUnix(kI32Min, 0)), std::string(kEarliestCameraTime) + ".000");
  std::string error;
  for (std::int64_t seconds : {951782400LL, 1700000000LL, -1576800000LL, 2102444799LL}) {
    const SYSTEMTIME time = SystemTimeFromUnix(seconds, 0);
    const auto parsed = ParseSystemTime(FormatSystemTime(time), error);
    ASSERT_TRUE(parsed) << seconds << ": " << error;
    EXPECT_EQ(parsed->dayOfWeek, time.dayOfWeek) << seconds;
  }
  const SYSTEMTIME time = *ParseSystemTime("2026-12-08 22:30:00.007", error);
  EXPECT_EQ(FormatCameraClockText(time, -5), "2026-12-08 22:30:00.007 extra=-5\n");
  const Json json = Parsed(FormatCameraClockJson(time, -5));
  EXPECT_EQ(Integer(Member(json, "milliseconds")), 7);
  EXPECT_EQ(Integer(Member(json, "dayOfWeek")), 2);
  EXPECT_EQ(Integer(Member(json, "extra")), -5);
}

// -------------------------------------------------------------- camera tables

TEST(CliUnitsFormat, CameraJsonAndTable) {
  EXPECT_EQ(FormatCameraJson({}), "[]\n");
  DeviceRecord cameras[2]{};
  for (DeviceRecord& camera : cameras) {
    camera.ipAddress = *ParseIPv4("127.0.0.10");
    camera.addressWord1 = *ParseIPv4("255.0.0.0");
    std::memcpy(camera.macAddress, "\x00\x1c\x27\x00\x00\x10", 6);
    camera.commandPort = static_cast<std::int32_t>(0xABCD1F90u);  // only the low 16 bits are the port
    camera.infoWords[5] = -7;
    camera.tailWord2 = kI32Min;
  }
  std::memcpy(cameras[0].modelName, "q\"\\\n\t\x01\xE9z", 8);
  std::memset(cameras[1].modelName, 'M', 32);  // fills its field: no terminator
  EXPECT_EQ(FieldText(cameras[1].modelName), std::string(32, 'M'));
  const Json json = Parsed(FormatCameraJson(cameras));
  ASSERT_EQ(json.size(), 2u);
  const Json& first = json[0];
  EXPECT_EQ(Member(first, "model").get<std::string>(), "q\"\\\n\t\x01\xC3\xA9z");
  EXPECT_EQ(Member(first, "ip").get<std::string>(), "127.0.0.10");
  EXPECT_EQ(Member(first, "mac").get<std::string>(), "00:1c:27:00:00:10");
  EXPECT_EQ(Member(first, "addressWord1").get<std::string>(), "255.0.0.0");
  EXPECT_EQ(Integer(Member(first, "commandPort")), 8080);
  EXPECT_EQ(Integer(Member(first, "infoWords").at(5)), -7);
  EXPECT_EQ(Integer(Member(first, "tailWord2")), kI32Min);
  EXPECT_EQ(Member(json[1], "model").get<std::string>(), std::string(32, 'M'));

  EXPECT_EQ(FormatCameraTable({}).find('\n') + 1, FormatCameraTable({}).size());  // just the header
  std::istringstream table(FormatCameraTable(cameras));
  Strings lines;
  for (std::string line; std::getline(table, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  for (const std::string& line : lines) {
    EXPECT_NE(line.back(), ' ');
    EXPECT_EQ(line.find_first_not_of(kPrintable), std::string::npos) << line;
  }
  EXPECT_EQ(lines[0].find("MAC"), lines[1].find("00:1c:27"));
  EXPECT_EQ(lines[0].find("PORT"), lines[2].find("8080"));
  EXPECT_EQ(lines[0].find("INTERFACE"), std::string::npos);
  EXPECT_FALSE(json[0].contains("interface"));
}

TEST(CliUnitsFormat, SearchInterfaceColumnAndField) {
  DeviceRecord cameras[2]{};
  cameras[0].ipAddress = *ParseIPv4("127.0.0.10");
  cameras[1].ipAddress = *ParseIPv4("127.0.0.11");
  std::memcpy(cameras[0].infoText1, "fw", 2);
  std::memcpy(cameras[1].infoText1, "fw", 2);
  const std::string interfaces[] = {"enp3s0f1", ""};  // "": the system did not say
  std::istringstream table(FormatCameraTable(cameras, interfaces));
  Strings lines;
  for (std::string line; std::getline(table, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  const std::size_t column = lines[0].find("INTERFACE");
  ASSERT_NE(column, std::string::npos);
  EXPECT_GT(column, lines[0].find("GATEWAY"));
  EXPECT_EQ(lines[1].find("enp3s0f1"), column);
  EXPECT_EQ(lines[2].find(" - "), column - 1) << lines[2];
  // The free texts still line up after the new column.
  EXPECT_EQ(lines[1].find("fw"), lines[0].find("INFO1"));
  EXPECT_EQ(lines[2].find("fw"), lines[0].find("INFO1"));

  const Json json = Parsed(FormatCameraJson(cameras, interfaces));
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(Member(json[0], "interface").get<std::string>(), "enp3s0f1");
  EXPECT_TRUE(Member(json[1], "interface").is_null());
}

// ---------------------------------------------------------------------- stats

TEST(CliUnitsStats, MissedFrames) {
  const std::tuple<std::int32_t, std::int32_t, std::uint64_t> cases[] = {
      {5, 6, 0}, {5, 5, 0}, {5, 8, 2}, {10, 3, 0}, {kI32Max, kI32Min, 0}, {kI32Max, kI32Min + 2, 2}, {-1, 1, 1},
      {0, kI32Max, kI32Max - 1}, {0, kI32Min, 0}};  // half way round reads as a step back
  for (const auto& [previous, next, missed] : cases) {
    EXPECT_EQ(MissedFrames(previous, next), missed) << previous << " " << next;
  }
}

TEST(CliUnitsStats, StreamCountersAndSummary) {
  const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  StreamCounters counters(3);
  EXPECT_EQ(counters.Received(100, 7, start), 1u);
  EXPECT_EQ(counters.Received(50, 8, start + std::chrono::seconds(1)), 2u);
  EXPECT_EQ(counters.Received(203, 12, start + std::chrono::seconds(2)), 3u);
  EXPECT_EQ(counters.Received(999, 13, start + std::chrono::seconds(3)), 0u);  // past the limit
  counters.WriteFailed("disk full");
  counters.WriteFailed("again");
  const StreamTotals totals = counters.Totals();
  EXPECT_EQ(std::vector<std::uint64_t>({totals.frames, totals.bytes, totals.minBytes, totals.maxBytes, totals.missed}),
            std::vector<std::uint64_t>({3, 353, 50, 203, 3}));
  EXPECT_DOUBLE_EQ(totals.arrivalSpan, 2.0);
  EXPECT_EQ(counters.FirstWriteFailure(), "disk full");
  const std::string text = FormatStreamSummaryText({totals, 2.5, "out", std::nullopt});
  // The JSON's fractions with as many decimals as always, in the keys' order.
  EXPECT_NE(FormatStreamSummaryJson({totals, 2.5, "out", std::nullopt})
                .find("{\"frames\": 3, \"seconds\": 2.500, \"fps\": 1.00, \"bytes\": 353, "
                      "\"megabytesPerSecond\": 0.000, \"averageSize\": 118, "),
            std::string::npos)
      << FormatStreamSummaryJson({totals, 2.5, "out", std::nullopt});
  for (std::string_view line : {"fps: 1.0\n", "average size: 118 bytes\n", "write failures: 2\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
  }
  StreamTotals one;
  one.frames = 1;
  one.bytes = one.minBytes = one.maxBytes = 10;
  one.arrivalSpan = 1;
  EXPECT_FALSE(StreamFramesPerSecond(one));  // fewer than two frames
  EXPECT_NE(FormatStreamSummaryText({one, 0, std::nullopt, std::nullopt}).find("fps: n/a\n"), std::string::npos);
  const Json json = Parsed(FormatStreamSummaryJson({one, 0, "d\"ir", std::nullopt}));
  EXPECT_TRUE(Member(json, "fps").is_null());
  EXPECT_EQ(Member(json, "dir").get<std::string>(), "d\"ir");
  EXPECT_EQ(FormatStreamProgressLine(one, {}, 0, 0), "0 s: 1 frame; 0.0 frames/s; 0.00 MB/s; missed 0; dropped 0");
}

TEST(CliUnitsStats, ListenLines) {
  const ListenCamera cameras[] = {{1, "127.0.0.10"}, {2, "127.0.0.11"}, {3, "127.0.0.12"}};
  ListenCounters counters;
  for (int i = 0; i < 40; ++i) counters.Received(1, 50000);
  for (int i = 0; i < 38; ++i) counters.Received(2, 45263);
  counters.Received(2, 6);  // 79 pictures, 3720000 bytes
  const ListenTotals now = counters.Totals();
  EXPECT_EQ(FormatProgressLine(cameras, now, {}, 4, 4),
            "4 s: 127.0.0.10 40, 127.0.0.11 39, 127.0.0.12 0; total 79; 19.8 pictures/s; 0.93 MB/s; dropped 0");
  EXPECT_NE(FormatProgressLine(cameras, now, now, 0, 0).find("0.0 pictures/s; 0.00 MB/s"), std::string::npos);
  ListenTotals one;
  one.cameras[1] = {1, 10};
  one.written = 1;
  EXPECT_EQ(FormatListenSummary(cameras, one, 0, "d"),
            "listened 0.0 s: 127.0.0.10 1, 127.0.0.11 0, 127.0.0.12 0; total 1; 0.0 pictures/s; 0.00 MB/s; "
            "wrote 1 file to d; dropped 0");
}

// ------------------------------------------------------------------- counters

// Every counter a value of its own, the n-th of the record (from 1) n, so a
// counter shown under another's name is seen.
CameraStatistics NumberedCameraStatistics() {
  CameraStatistics stats{};
  std::uint64_t counters[27];
  static_assert(sizeof stats == 8 + sizeof counters);
  for (std::size_t i = 0; i < std::size(counters); ++i) counters[i] = i + 1;
  std::memcpy(reinterpret_cast<char*>(&stats) + 8, counters, sizeof counters);
  return stats;
}

// The numbers of a JSON object's members, nested objects flattened in order.
void CollectNumbers(const Json& value, std::vector<std::string>& numbers) {
  if (value.is_number()) numbers.push_back(value.dump());
  if (value.is_structured()) {
    for (const Json& item : value) CollectNumbers(item, numbers);
  }
}

TEST(CliUnitsCounters, StatisticsReportNamesEveryCounter) {
  StatisticsReport report;
  report.ip = "127.0.0.10";
  report.camera = NumberedCameraStatistics();
  report.library.unknownSenderConnections = 28;
  report.library.discoveryDatagramsSkipped = 29;
  report.library.pictureConnectionsOpen = 30;
  report.library.pictureConnectionsPeak = 31;
  report.library.pictureBytesBuffered = 32;
  report.library.pictureBytesBufferedPeak = 33;
  EXPECT_EQ(FormatStatisticsText(report),
            "camera: 127.0.0.10\n"
            "commands: sent 1, failed 2, time-outs 3, network errors 4, refusals 5, mismatches 6, reconnects 7\n"
            "pictures: delivered 8, bytes 9, connections 10, open now 27\n"
            "picture drops: bad marker 11, short APP1 12, oversize 13, time window 14, closed early 15, "
            "camera deleted 16, no callback 17, over share 25, buffer cap 26\n"
            "stream: frames 18, bytes 19\n"
            "stream drops: gap 20, past last 21, oversize 22\n"
            "ignored datagrams: wrong size 23, wrong sender 24\n"
            "library: unknown-sender connections 28, discovery datagrams skipped 29, picture connections open 30, "
            "open at most 31, picture bytes buffered 32, buffered at most 33\n");

  report.seconds = 3.0;
  const std::string line = FormatStatisticsJson(report);
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);  // one report, one line
  const Json json = Parsed(line);
  EXPECT_EQ(Member(json, "camera").get<std::string>(), "127.0.0.10");
  std::vector<std::string> numbers;
  CollectNumbers(json, numbers);
  // The seconds, then every counter once, in the groups' order.
  Strings expected{"3.0"};
  for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 27, 11, 12, 13, 14, 15, 16, 17, 25, 26,
                18, 19, 20, 21, 22, 23, 24, 28, 29, 30, 31, 32, 33})
    expected.push_back(std::to_string(n));
  EXPECT_EQ(numbers, expected);
  // The names the help promises.
  EXPECT_EQ(Integer(Member(Member(json, "commands"), "sent")), 1);
  EXPECT_EQ(Integer(Member(Member(json, "pictureDrops"), "badMarker")), 11);
  EXPECT_EQ(Integer(Member(Member(json, "streamDrops"), "gap")), 20);
  EXPECT_EQ(Integer(Member(Member(json, "ignoredDatagrams"), "sender")), 24);
  EXPECT_EQ(Integer(Member(Member(json, "library"), "discoveryDatagramsSkipped")), 29);
  EXPECT_EQ(Integer(Member(Member(json, "pictureDrops"), "overShare")), 25);
  EXPECT_EQ(Integer(Member(Member(json, "library"), "pictureBytesBuffered")), 32);
  EXPECT_NE(FormatStatisticsText(report).find("camera: 127.0.0.10\nseconds: 3.0\ncommands:"), std::string::npos);
  report.seconds = 2.04;
  EXPECT_TRUE(
      FormatStatisticsJson(report).starts_with("{\"camera\": \"127.0.0.10\", \"seconds\": 2.0, \"commands\": {"))
      << FormatStatisticsJson(report);

  // Counters are unsigned 64-bit: the largest shows whole, in JSON too.
  report.camera.commandsSent = std::numeric_limits<std::uint64_t>::max();
  EXPECT_TRUE(CounterGroupText(CameraCounterGroup::kCommands, report.camera)
                  .starts_with("commands: sent 18446744073709551615, failed 2"));
  EXPECT_EQ(Member(Member(Parsed(FormatStatisticsJson(report)), "commands"), "sent").dump(), "18446744073709551615");
}

TEST(CliUnitsCounters, ListenAndStreamShowTheLibrarysDrops) {
  const CameraStatistics stats = NumberedCameraStatistics();
  const ListenCamera cameras[] = {{4, "127.0.0.10"}, {5, "127.0.0.11"}, {6, "127.0.0.12"}};
  // 127.0.0.11's counters could not be read.
  EXPECT_EQ(FormatListenDrops(cameras, {{4, stats}, {6, CameraStatistics{}}}),
            "127.0.0.10 picture drops: bad marker 11, short APP1 12, oversize 13, time window 14, closed early 15, "
            "camera deleted 16, no callback 17, over share 25, buffer cap 26\n"
            "127.0.0.12 picture drops: bad marker 0, short APP1 0, oversize 0, time window 0, closed early 0, "
            "camera deleted 0, no callback 0, over share 0, buffer cap 0\n");
  EXPECT_EQ(FormatListenDrops(cameras, {}), "");

  StreamTotals totals;
  totals.frames = 2;
  StreamSummary summary{totals, 1, std::nullopt, stats};
  const std::string text = FormatStreamSummaryText(summary);
  EXPECT_TRUE(text.ends_with("dropped: 0\nstream drops: gap 20, past last 21, oversize 22\n"
                             "ignored datagrams: wrong size 23, wrong sender 24\n"))
      << text;
  const Json json = Parsed(FormatStreamSummaryJson(summary));
  EXPECT_EQ(Integer(Member(Member(json, "streamDrops"), "pastLast")), 21);
  EXPECT_EQ(Integer(Member(Member(json, "ignoredDatagrams"), "size")), 23);
  summary.library.reset();
  EXPECT_EQ(FormatStreamSummaryText(summary).find("stream drops"), std::string::npos);
  EXPECT_FALSE(Parsed(FormatStreamSummaryJson(summary)).contains("streamDrops"));
}

// ------------------------------------------------------------------- pictures

TEST(CliUnitsPicture, NamesAndSnapshotText) {
  const CameraTime time{2026, 12, 2, 8, 22, 30, 0, 123};
  EXPECT_EQ(SnapshotFileName("192.168.1.10", time), "snapshot-192.168.1.10-20261208-223000-123.jpg");
  EXPECT_EQ(ListenFileName("192.168.1.10", time, 42), "192.168.1.10-20261208-223000-123-42.jpg");
  EXPECT_EQ(FileTimeStamp(PictureNameTime(time, {})), "20261208-223000-123");  // a valid stamp names the file
  const auto arrival = std::chrono::system_clock::time_point{} + std::chrono::milliseconds(1700000000123);
  for (CameraTime bad : {CameraTime{2026, 2, 0, 29, 0, 0, 0, 0}, CameraTime{2026, 1, 0, 1, 24, 0, 0, 0},
                         CameraTime{2026, 1, 0, 1, 0, 0, 60, 0}, CameraTime{2026, 1, 0, 1, 0, 0, 0, 1000}}) {
    EXPECT_FALSE(IsValidCameraTime(bad));
    EXPECT_EQ(FileTimeStamp(PictureNameTime(bad, arrival)), FileTimeStamp(LocalCameraTime(arrival)));
  }
  EXPECT_EQ(LocalCameraTime(arrival).milliseconds, 123);

  PictureInfo info{};
  info.recordWord8 = -1;  // only words 36 and 40 may be absent
  info.recordWord36 = -1;
  info.recordWord40 = 40;
  info.time = time;
  const std::string text = FormatSnapshotText("a\nb.jpg", info, 9, 1234);
  for (std::string_view line : {"recordWord36: absent\n", "recordWord8: -1\n", "file: a?b.jpg\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
  }
  const Json json = Parsed(FormatSnapshotJson("a\"b.jpg", info, 9, 1234));
  EXPECT_EQ(Member(json, "file").get<std::string>(), "a\"b.jpg");
  EXPECT_TRUE(Member(json, "recordWord36").is_null());
  EXPECT_EQ(Integer(Member(json, "recordWord40")), 40);
  EXPECT_EQ(Integer(Member(json, "recordWord8")), -1);
  EXPECT_EQ(Member(json, "time").get<std::string>(), "2026-12-08 22:30:00.123");
}

// A host clock before 1970 must still give 0..999 milliseconds.
TEST(CliUnitsPicture, LocalTimeBeforeNineteenSeventy) {
  const CameraTime time = LocalCameraTime(std::chrono::system_clock::time_point{} - std::chrono::milliseconds(1500));
  EXPECT_EQ(time.milliseconds, 500);
  EXPECT_TRUE(IsValidCameraTime(time));
}

// -------------------------------------------------------------------- SD card

TEST(CliUnitsCard, PathsAndLocalNames) {
  std::string error;
  const std::pair<std::string_view, std::string_view> normal[] = {
      {"/", "/"}, {"//", "/"}, {"/20261209", "/20261209"}, {"/20261209///", "/20261209"}, {"/a/b/", "/a/b"}};
  for (const auto& [path, expected] : normal) EXPECT_EQ(NormalCameraPath(path, error), expected) << path;
  const std::string longest = "/" + std::string(kMaxCameraPath - 1, 'a');
  EXPECT_EQ(NormalCameraPath(longest + "//", error), longest);  // the slashes dropped make it fit
  for (std::string_view bad : {std::string_view(""), std::string_view("20261209"), std::string_view(" /x"),
                               std::string_view("/a\0b", 4)}) {
    error.clear();
    EXPECT_EQ(NormalCameraPath(bad, error), "") << Printable(bad);
    EXPECT_FALSE(error.empty()) << Printable(bad);
  }
  EXPECT_EQ(NormalCameraPath(longest + "a", error), "");
  EXPECT_NE(error.find("255"), std::string::npos) << error;

  EXPECT_EQ(JoinCameraPath("/", "x.jpg"), "/x.jpg");
  EXPECT_EQ(JoinCameraPath("/20261209", "x.jpg"), "/20261209/x.jpg");
  EXPECT_EQ(JoinCameraPath("/20261209/", "x.jpg"), "/20261209/x.jpg");
  EXPECT_EQ(BareName("/20261209/103015_001.jpg"), "103015_001.jpg");
  EXPECT_EQ(BareName("plain.jpg"), "plain.jpg");
  EXPECT_EQ(BareName("/dir/"), "");

  for (std::string_view good : {"103015_001.jpg", "a b.jpg", "..jpg", "...", "\xE9t\xE9.jpg"}) {
    EXPECT_TRUE(IsSafeFileName(good)) << good;
  }
  for (std::string_view bad : {std::string_view(""), std::string_view("."), std::string_view(".."),
                               std::string_view("../x.jpg"), std::string_view("a/b"), std::string_view("/x"),
                               std::string_view("x\n.jpg"), std::string_view("x\x7f"), std::string_view("x\0y", 3)}) {
    EXPECT_FALSE(IsSafeFileName(bad)) << Printable(bad);
  }
}

TEST(CliUnitsCard, NameAndDeleteBlocks) {
  const std::string longest = "/" + std::string(kMaxCameraPath - 1, 'p');
  const DirectoryEntry name = PictureNameBlock(longest);
  ASSERT_EQ(sizeof name, 260u);
  unsigned char raw[260];
  std::memcpy(raw, &name, sizeof raw);
  EXPECT_EQ(std::vector<unsigned char>(raw, raw + 4), std::vector<unsigned char>(4, 0));  // value 0
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw) + 4, kMaxCameraPath), longest);
  EXPECT_EQ(raw[259], 0);  // the name's terminator

  const DeleteBlock block = PictureDeleteBlock("/20261209/103015_001.jpg");
  ASSERT_EQ(block.size(), 264u);
  EXPECT_EQ(std::string(block.data()), "/20261209/103015_001.jpg");
  for (std::size_t i = std::strlen(block.data()); i < block.size(); ++i) EXPECT_EQ(block[i], 0) << i;
  const DeleteBlock full = PictureDeleteBlock(longest);
  EXPECT_EQ(std::string(full.data()), longest);
  for (std::size_t i = kMaxCameraPath; i < full.size(); ++i) EXPECT_EQ(full[i], 0) << i;
}

TEST(CliUnitsCard, StateAndListingTexts) {
  const SDCardState state{{1, -2, kI32Max}};
  EXPECT_EQ(FormatCardStateText(state), "word0: 1\nword1: -2\nword2: 2147483647\n");
  Json json = Parsed(FormatCardStateJson(state));
  EXPECT_EQ(Keys(json), (Strings{"word0", "word1", "word2"}));
  EXPECT_EQ(Integer(Member(json, "word1")), -2);
  json = Parsed(FormatCardStateJson(state, 100));
  EXPECT_EQ(Keys(json).front(), "progress");
  EXPECT_EQ(Integer(Member(json, "progress")), 100);

  const std::vector<CardEntry> entries = {
      {"20261209", -1}, {"103015_001.jpg", 123456}, {"x\n\"y", -7}, {"z", 0}};
  EXPECT_EQ(FormatListingText("/d", entries),
            "20261209        directory\n"
            "103015_001.jpg  123456 bytes\n"
            "x?\"y            value -7\n"
            "z               0 bytes\n");
  EXPECT_EQ(FormatListingText("/d\n", {}), "no entries in /d?\n");
  json = Parsed(FormatListingJson("/d", entries));
  EXPECT_EQ(Member(json, "path").get<std::string>(), "/d");
  const Json items = Member(json, "entries");
  ASSERT_EQ(items.size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(Member(items[i], "name").get<std::string>(), entries[i].name);
    EXPECT_EQ(Integer(Member(items[i], "value")), entries[i].value);
  }
  EXPECT_TRUE(Member(Parsed(FormatListingJson("/", {})), "entries").empty());
}

TEST(CliUnitsCard, ProgressBarsAndPullTexts) {
  EXPECT_EQ(ProgressBar(0, 0), "[" + std::string(20, '-') + "]");
  EXPECT_EQ(ProgressBar(5, 10), "[" + std::string(10, '#') + std::string(10, '-') + "]");
  EXPECT_EQ(ProgressBar(1, 3), "[" + std::string(6, '#') + std::string(14, '-') + "]");
  EXPECT_EQ(ProgressBar(11, 10), "[" + std::string(20, '#') + "]");
  constexpr std::uint64_t kHuge = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(ProgressBar(kHuge / 2, kHuge), "[" + std::string(10, '#') + std::string(10, '-') + "]");
  EXPECT_EQ(ProgressBar(3, 4, 0), "[]");
  EXPECT_EQ(FormatFormatProgressLine(50), "formatting [##########----------]  50%");
  EXPECT_EQ(FormatFormatProgressLine(100), "formatting [####################] 100%");
  EXPECT_EQ(FormatFormatProgressLine(-5), "formatting [--------------------]  -5%");
  EXPECT_EQ(FormatFormatProgressLine(250), "formatting [####################] 250%");

  PullCounts counts;
  counts.totalFiles = 4;
  counts.totalBytes = 400;
  counts.files = 1;
  counts.bytes = 90;
  counts.failed = 1;
  counts.doneListedBytes = 200;  // the failed one counts as done for the bar
  EXPECT_EQ(FormatPullProgressLine(counts), "pulling [##########----------] 1/4 files, 90/400 bytes, 1 failed");
  counts.totalBytes = counts.doneListedBytes = 0;  // sizes all 0: the bar goes by count
  EXPECT_EQ(FormatPullProgressLine(counts), "pulling [##########----------] 1/4 files, 90/0 bytes, 1 failed");
  counts.skipped = 1;
  EXPECT_EQ(FormatPullSummaryText("/20261209", "out\n", counts),
            "pulled 1 file, 90 bytes from /20261209 into out?; 1 failed; skipped 1 entry that is not a picture\n");
  counts = {};
  counts.files = 6;
  counts.bytes = 245760;
  EXPECT_EQ(FormatPullSummaryText("/d", "p", counts), "pulled 6 files, 245760 bytes from /d into p\n");
  const Json json = Parsed(FormatPullSummaryJson("/d", "p\"q", counts));
  EXPECT_EQ(Member(json, "dir").get<std::string>(), "p\"q");
  EXPECT_EQ(Integer(Member(json, "files")), 6);
  EXPECT_EQ(Integer(Member(json, "bytes")), 245760);
  EXPECT_EQ(Integer(Member(json, "failed")), 0);
}

}  // namespace
}  // namespace vktcli
