#include "console_server.h"

#include <httplib.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>

#include "access_guard.h"
#include "callback_routes.h"
#include "counter_text.h"
#include "format.h"
#include "json_out.h"
#include "picture_text.h"
#include "record_text.h"
#include "sd_paths.h"
#include "sd_text.h"
#include "settings_catalog.h"
#include "settings_groups.h"
#include "tar_writer.h"
#include "time_text.h"
#include "web_assets.h"

namespace vktconsole {

namespace {

using httplib::Request;
using httplib::Response;

// The library's configuration file is exactly this long.
constexpr std::size_t kConfigFileBytes = 652;
constexpr std::size_t kMaxWallListing = 64;
constexpr auto kLiveWait = std::chrono::milliseconds(500);
// A live view with no new frame sends the last one again this often, so a
// page that left is noticed even when the camera sends nothing.
constexpr auto kLiveRepeat = std::chrono::seconds(2);
constexpr std::string_view kBoundary = "vktframe";

const char* const kCsp =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' blob:; connect-src 'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

void SendJson(Response& res, const Json& body, int status = 200) {
  res.status = status;
  res.set_content(Dump(body), "application/json");
}

void SendMessage(Response& res, int status, std::string_view message) { SendJson(res, MessageJson(message), status); }

// A camera call that failed: its error by name. 504 for a time-out, 502 for
// everything else the camera (or the way to it) caused.
void SendCallFailure(Response& res, std::string_view call) {
  const int code = VKT_GetLastError();
  SendJson(res, Json{{"error", LibraryErrorJson(code, call)}}, code == VKT_ERR_TIMEOUT ? 504 : 502);
}

std::optional<long long> ParseInteger(std::string_view text, long long low, long long high) {
  long long value = 0;
  if (text.empty() || text.size() > 20) return std::nullopt;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
  return value;
}

// A JSON body as an object; nullopt (and the response sent) otherwise. An
// empty body is an empty object.
std::optional<Json> BodyObject(const Request& req, Response& res) {
  if (req.body.empty()) return Json::object();
  const vktcli::JsonParse parsed = vktcli::ParseJson(req.body);
  if (!parsed.value || !parsed.value->is_object()) {
    SendMessage(res, 400, parsed.value ? "the body must be a JSON object" : "bad JSON: " + parsed.error);
    return std::nullopt;
  }
  return parsed.value;
}

std::optional<long long> IntMember(const Json& body, std::string_view key, long long low, long long high,
                                   long long fallback, Response& res) {
  const auto member = body.find(key);
  if (member == body.end()) return fallback;
  if (!member->is_number_integer() || member->get<long long>() < low || member->get<long long>() > high) {
    SendMessage(res, 400, std::string(key) + " must be a whole number from " + std::to_string(low) + " to " +
                              std::to_string(high));
    return std::nullopt;
  }
  return member->get<long long>();
}

std::optional<std::string> TextMember(const Json& body, std::string_view key, Response& res) {
  const auto member = body.find(key);
  if (member == body.end() || !member->is_string() || member->get_ref<const std::string&>().size() > 64) {
    SendMessage(res, 400, std::string(key) + " must be given as a short text");
    return std::nullopt;
  }
  return member->get<std::string>();
}

std::optional<std::uint32_t> ParseAddress(std::string_view text) {
  in_addr address{};
  const std::string copy(text);
  if (inet_pton(AF_INET, copy.c_str(), &address) != 1) return std::nullopt;
  return address.s_addr;
}

std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text) {
  std::array<std::uint8_t, 6> mac{};
  if (text.size() != 17) return std::nullopt;
  for (std::size_t i = 0; i < 6; ++i) {
    if (i > 0 && text[i * 3 - 1] != ':' && text[i * 3 - 1] != '-') return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data() + i * 3, text.data() + i * 3 + 2, mac[i], 16);
    if (ec != std::errc{} || end != text.data() + i * 3 + 2) return std::nullopt;
  }
  return mac;
}

Json KnownCameraJson(const KnownCamera& camera) {
  Json record = CameraRecordsJson(std::span(&camera.record, 1), std::span(&camera.interface, 1)).at(0);
  Json out{{"id", camera.handle == -1 ? Json(nullptr) : Json(camera.handle)},
           {"inLastSearch", camera.inLastSearch},
           {"record", record}};
  if (camera.handle == -1) out["addError"] = LibraryErrorJson(camera.addError, "VKT_AddCamera");
  return out;
}

Json CameraListJson(const std::vector<KnownCamera>& cameras) {
  Json list = Json::array();
  for (const KnownCamera& camera : cameras) list.push_back(KnownCameraJson(camera));
  return list;
}

std::string_view KindName(vktcli::SettingKind kind) {
  switch (kind) {
    case vktcli::SettingKind::Value: return "value";
    case vktcli::SettingKind::Record: return "record";
    case vktcli::SettingKind::Entries: return "entries";
  }
  return "record";
}

std::string_view FieldTypeName(vktcli::FieldType type) {
  switch (type) {
    case vktcli::FieldType::Int32: return "int32";
    case vktcli::FieldType::UInt16: return "uint16";
    case vktcli::FieldType::IPv4: return "ipv4";
    case vktcli::FieldType::Bytes: return "bytes";
  }
  return "int32";
}

Json CatalogueJson() {
  Json groups = Json::array();
  for (const SettingGroup& group : GroupSettings(vktcli::AllSettings())) {
    Json settings = Json::array();
    for (const vktcli::Setting* setting : group.settings) {
      Json fields = Json::array();
      for (const vktcli::Field& field : setting->layout->fields) {
        fields.push_back({{"name", field.name}, {"type", FieldTypeName(field.type)}, {"size", field.size}});
      }
      settings.push_back({{"name", setting->name},
                          {"description", setting->description},
                          {"kind", KindName(setting->layout->kind)},
                          {"describe", vktcli::DescribeKind(*setting->layout)},
                          {"get", static_cast<bool>(setting->get)},
                          {"default", static_cast<bool>(setting->getDefault)},
                          {"set", static_cast<bool>(setting->set)},
                          {"entryCount", setting->layout->entryCount},
                          {"fields", fields}});
    }
    groups.push_back({{"title", group.title}, {"settings", settings}});
  }
  return Json{{"groups", groups}};
}

// A name the console fetches and packs: a safe file name of printable
// ASCII, so the page's request names the same bytes the camera listed.
bool IsPlainName(std::string_view name) {
  if (!vktcli::IsSafeFileName(name)) return false;
  for (char c : name) {
    if (c < 0x20 || c > 0x7e) return false;
  }
  return true;
}

// A card path from the query: normalised, and every part a plain name, so
// no request names "..", a part with a control byte, or another root.
std::optional<std::string> CardPath(const Request& req, Response& res) {
  const std::string given = req.has_param("path") ? req.get_param_value("path") : "/";
  std::string error;
  std::string path = vktcli::NormalCameraPath(given, error);
  if (path.empty()) {
    SendMessage(res, 400, "bad card path: " + error);
    return std::nullopt;
  }
  std::string_view rest = path;
  while (rest.size() > 1) {
    rest.remove_prefix(1);
    const auto slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    if (!IsPlainName(part)) {
      SendMessage(res, 400, "the card path holds a part that is not a plain name");
      return std::nullopt;
    }
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash);
  }
  return path;
}

std::string Attachment(std::string_view name) { return "attachment; filename=\"" + std::string(name) + "\""; }

}  // namespace

std::string SafeDownloadName(std::string_view name, std::string_view fallback) {
  std::string out;
  for (char c : name.substr(0, 100)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '-' || c == '_';
    out += plain ? c : '_';
  }
  if (out.empty() || out.front() == '.' || out.find_first_not_of("._") == std::string::npos) {
    return std::string(fallback);
  }
  return out;
}

Console::Console(ConsoleOptions options)
    : options_(std::move(options)),
      wall_(options_.wall),
      pictureRoute_(std::make_unique<vktcli::PictureRoute>(wall_)),
      hub_(vktcli::RoutePicture),
      live_(options_.maxViewers, options_.callTimeoutMs) {
  std::string folder = (std::filesystem::temp_directory_path() / "vkt-console-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder");
  scratch_ = folder;
}

Console::~Console() {
  live_.Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(scratch_, ignored);
}

std::filesystem::path Console::ScratchFile(std::string_view stem) {
  std::lock_guard lock(scratchMutex_);
  return scratch_ / (std::string(stem) + "-" + std::to_string(++scratchCounter_));
}

void Console::BeginStop() { live_.Shutdown(); }

void Console::Install(httplib::Server& server) {
  const std::size_t workers = options_.workerThreads;
  server.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  server.set_payload_max_length(options_.maxBodyBytes);
  const unsigned callSeconds = options_.callTimeoutMs / 1000 + 2;
  server.set_read_timeout(5, 0);
  server.set_write_timeout(static_cast<time_t>(callSeconds), 0);
  server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                              {"Referrer-Policy", "no-referrer"},
                              {"X-Frame-Options", "DENY"},
                              {"Content-Security-Policy", kCsp},
                              {"Cache-Control", "no-store"}});

  // Every request: the Host and Origin checks, and the token for /api/.
  // Runs before a body is read, so a refused request's body never is.
  server.set_pre_routing_handler([this](const Request& req, Response& res) {
    // httplib hands header values out as copies: they are kept here while
    // the facts look at them.
    const auto header = [&](const char* name) -> std::optional<std::string> {
      if (!req.has_header(name)) return std::nullopt;
      return req.get_header_value(name);
    };
    const auto host = header("Host");
    const auto origin = header("Origin");
    const auto fetchSite = header("Sec-Fetch-Site");
    std::optional<std::string> token = header("X-Console-Token");
    if (!token && req.has_param("token")) token = req.get_param_value("token");
    const auto view = [](const std::optional<std::string>& text) -> std::optional<std::string_view> {
      if (!text) return std::nullopt;
      return std::string_view(*text);
    };
    const RequestFacts facts{req.method, req.path, view(host), view(origin), view(fetchSite), view(token)};
    if (const auto refusal = CheckRequest(facts, options_.token)) {
      SendMessage(res, refusal->status, refusal->reason);
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // Statuses without a body of ours (no route, too large) get a short JSON
  // message; nothing of the server's own text, a path or a stack.
  server.set_error_handler(httplib::Server::HandlerWithResponse([](const Request&, Response& res) {
    if (!res.body.empty() || res.is_chunked_content_provider_) return httplib::Server::HandlerResponse::Unhandled;
    const char* message = res.status == 404   ? "no such page"
                          : res.status == 413 ? "the request is too large"
                          : res.status == 400 ? "bad request"
                                              : "the request failed";
    SendMessage(res, res.status, message);
    return httplib::Server::HandlerResponse::Handled;
  }));
  server.set_exception_handler([](const Request&, Response& res, std::exception_ptr) {
    SendMessage(res, 500, "internal error");
  });

  // ------------------------------------------------------------ the page
  for (const WebAsset& asset : PageAssets()) {
    server.Get(std::string(asset.path), [&asset](const Request&, Response& res) {
      res.set_content(asset.body.data(), asset.body.size(), std::string(asset.contentType).c_str());
    });
  }

  // Finds the camera the path's first number names; sends 404 otherwise.
  const auto camera = [this](const Request& req, Response& res) -> std::optional<KnownCamera> {
    const auto handle = ParseInteger(req.matches[1].str(), std::numeric_limits<int>::min(),
                                     std::numeric_limits<int>::max());
    const auto known = handle ? hub_.Find(static_cast<int>(*handle)) : std::nullopt;
    if (!known) SendMessage(res, 404, "no such camera (search again)");
    return known;
  };
  const unsigned callMs = options_.callTimeoutMs;

  // ------------------------------------------------------------- cameras
  server.Get("/api/cameras", [this](const Request&, Response& res) {
    SendJson(res, Json{{"cameras", CameraListJson(hub_.Cameras())}});
  });
  server.Post("/api/search", [this, callMs](const Request& req, Response& res) {
    const auto body = BodyObject(req, res);
    if (!body) return;
    const auto timeout = IntMember(*body, "timeoutMs", 1, kMaxSearchTimeoutMs, options_.searchTimeoutMs, res);
    if (!timeout) return;
    const SearchResult result = hub_.Search(static_cast<unsigned>(*timeout), callMs);
    Json out{{"cameras", CameraListJson(result.cameras)}, {"timeoutMs", *timeout}};
    if (result.error != VKT_OK) out["error"] = LibraryErrorJson(result.error, "VKT_SearchCamera");
    SendJson(res, out, result.error == VKT_OK ? 200 : 502);
  });
  server.Post("/api/cameras", [this, callMs](const Request& req, Response& res) {
    const auto body = BodyObject(req, res);
    if (!body) return;
    const auto ip = TextMember(*body, "ip", res);
    if (!ip) return;
    if (!ParseAddress(*ip)) return SendMessage(res, 400, "ip must be a dotted IPv4 address");
    const AddResult result = hub_.AddByAddress(*ip, callMs);
    if (result.error != VKT_OK) {
      return SendJson(res, Json{{"error", LibraryErrorJson(result.error, "VKT_AddCamera_IP")}},
                      result.error == VKT_ERR_TIMEOUT ? 504 : 502);
    }
    SendJson(res, Json{{"camera", KnownCameraJson(*result.camera)}});
  });
  server.Post("/api/change-ip", [callMs](const Request& req, Response& res) {
    const auto body = BodyObject(req, res);
    if (!body) return;
    const auto mac = TextMember(*body, "mac", res);
    if (!mac) return;
    const auto parsedMac = ParseMac(*mac);
    if (!parsedMac) return SendMessage(res, 400, "mac must read like 00:1c:27:00:00:10");
    ChangeIPParam param{};
    std::memcpy(param.macAddress, parsedMac->data(), 6);
    const char* names[] = {"ip", "netmask", "gateway"};
    std::uint32_t* words[] = {&param.ipAddress, &param.addressWord1, &param.addressWord2};
    for (int i = 0; i < 3; ++i) {
      const auto text = TextMember(*body, names[i], res);
      if (!text) return;
      const auto word = ParseAddress(*text);
      if (!word) return SendMessage(res, 400, std::string(names[i]) + " must be a dotted IPv4 address");
      *words[i] = *word;
    }
    // The same refusal as vktcli's: a camera moved to 0.x or a multicast or
    // broadcast address cannot be reached to undo it.
    std::uint8_t first = 0;
    std::memcpy(&first, &param.ipAddress, 1);
    if (first == 0 || first >= 224) return SendMessage(res, 400, "ip must be a unicast address");
    if (VKT_ChangeCameraIP(&param, callMs) != 0) return SendCallFailure(res, "VKT_ChangeCameraIP");
    SendJson(res, Json{{"changed", true}});
  });
  server.Get(R"(/api/cameras/(-?\d+))", [camera](const Request& req, Response& res) {
    if (const auto known = camera(req, res)) SendJson(res, Json{{"camera", KnownCameraJson(*known)}});
  });
  server.Get(R"(/api/cameras/(-?\d+)/state)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const int h = known->handle;
    // One time-out for the whole request: a slow camera's values share it,
    // and those it leaves no time for fail at once with VKT_ERR_TIMEOUT.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(callMs);
    const auto left = [deadline] {
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      return static_cast<unsigned>(std::max<long long>(0, ms));
    };
    int state = 1;
    if (VKT_GetState(h, &state, left()) != 0) return SendCallFailure(res, "VKT_GetState");
    Json out{{"answers", state == 0}};
    // Each value on its own: a camera may refuse one and answer the rest.
    const auto read = [&](const char* key, const char* call, int (*fn)(int, int*, unsigned)) {
      int value = 0;
      if (fn(h, &value, left()) == 0) {
        out[key] = Json{{"value", value}};
      } else {
        out[key] = Json{{"error", LibraryErrorJson(VKT_GetLastError(), call)}};
      }
    };
    read("temperature", "VKT_GetCameraTemperature", VKT_GetCameraTemperature);
    read("workMode", "VKT_GetWorkMode", VKT_GetWorkMode);
    read("cameraMode", "VKT_GetCameraMode", VKT_GetCameraMode);
    read("flashLamp", "VKT_GetFlashLampState", VKT_GetFlashLampState);
    read("electricity", "VKT_GetElectricity", VKT_GetElectricity);
    if (VKT_GetParamState(h, left()) == 0) {
      out["paramState"] = Json{{"value", "ready"}};
    } else {
      out["paramState"] = Json{{"error", LibraryErrorJson(VKT_GetLastError(), "VKT_GetParamState")}};
    }
    SendJson(res, out);
  });
  server.Get(R"(/api/cameras/(-?\d+)/stats)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const auto stats = vktcli::ReadCameraStatistics(known->handle, callMs);
    if (!stats) return SendCallFailure(res, "VKT_GetCameraStatistics");
    vktcli::StatisticsReport report;
    report.ip = vktcli::FormatIPv4(known->record.ipAddress);
    report.camera = *stats;
    report.library = vktcli::ReadLibraryStatistics();
    SendJson(res, Json{{"report", ParseOwnJson(vktcli::FormatStatisticsJson(report))},
                       {"text", vktcli::FormatStatisticsText(report)},
                       {"totals",
                        {{"pictures", stats->picturesDelivered},
                         {"frames", stats->framesDelivered},
                         {"commandFailures", stats->commandsFailed}}}});
  });

  // ------------------------------------------------------------ settings
  server.Get("/api/settings", [](const Request&, Response& res) { SendJson(res, CatalogueJson()); });
  server.Get(R"(/api/cameras/(-?\d+)/settings/([a-z0-9-]{1,40}))", [camera, callMs](const Request& req,
                                                                                     Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const vktcli::Setting* setting = vktcli::FindSetting(req.matches[2].str());
    if (!setting) return SendMessage(res, 404, "no such setting");
    const bool factory = req.has_param("default") && req.get_param_value("default") == "1";
    const vktcli::SettingRead& read = factory ? setting->getDefault : setting->get;
    if (!read) return SendMessage(res, 400, factory ? "this setting has no default to read" : "this setting is write only");
    std::vector<std::uint8_t> record(setting->layout->size, 0);
    if (read.call(known->handle, record, callMs) != 0) return SendCallFailure(res, read.callName);
    SendJson(res, Json{{"name", setting->name},
                       {"default", factory},
                       {"value", ParseOwnJson(vktcli::FormatRecordJson(*setting->layout, record))},
                       {"text", vktcli::FormatRecordText(*setting->layout, record)}});
  });
  server.Put(R"(/api/cameras/(-?\d+)/settings/([a-z0-9-]{1,40}))", [camera, callMs](const Request& req,
                                                                                     Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const vktcli::Setting* setting = vktcli::FindSetting(req.matches[2].str());
    if (!setting) return SendMessage(res, 404, "no such setting");
    if (!setting->set) return SendMessage(res, 400, "this setting is read only");
    // The same strict reading as vktcli set --json.
    const vktcli::RecordParse parsed = vktcli::ParseRecordJson(*setting->layout, req.body);
    if (!parsed.ok()) return SendMessage(res, 400, parsed.error);
    if (setting->check) {
      if (const std::string why = setting->check(parsed.record); !why.empty()) return SendMessage(res, 400, why);
    }
    if (setting->set.call(known->handle, parsed.record, callMs) != 0) {
      return SendCallFailure(res, setting->set.callName);
    }
    SendJson(res, Json{{"set", true}});
  });
  server.Post(R"(/api/cameras/(-?\d+)/save)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    if (VKT_SaveConfig(known->handle, callMs) != 0) return SendCallFailure(res, "VKT_SaveConfig");
    SendJson(res, Json{{"saved", true}});
  });
  server.Post(R"(/api/cameras/(-?\d+)/reset)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const auto body = BodyObject(req, res);
    if (!body) return;
    const auto mode = IntMember(*body, "mode", 0, 1, -1, res);
    if (!mode) return;
    if (*mode < 0) return SendMessage(res, 400, "mode (0 or 1) must be given");
    if (VKT_ResetCamera(known->handle, static_cast<int>(*mode), callMs) != 0) {
      return SendCallFailure(res, "VKT_ResetCamera");
    }
    SendJson(res, Json{{"reset", true}});
  });
  server.Get(R"(/api/cameras/(-?\d+)/param-state)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    if (VKT_GetParamState(known->handle, callMs) != 0) {
      return SendJson(res, Json{{"ready", false}, {"error", LibraryErrorJson(VKT_GetLastError(), "VKT_GetParamState")}});
    }
    SendJson(res, Json{{"ready", true}});
  });
  server.Get(R"(/api/cameras/(-?\d+)/clock)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    SYSTEMTIME time{};
    int extra = 0;
    if (VKT_GetDateTime(known->handle, &time, &extra, callMs) != 0) return SendCallFailure(res, "VKT_GetDateTime");
    SendJson(res, Json{{"text", vktcli::FormatSystemTime(time)},
                       {"clock", ParseOwnJson(vktcli::FormatCameraClockJson(time, extra))}});
  });
  server.Post(R"(/api/cameras/(-?\d+)/clock)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const auto body = BodyObject(req, res);
    if (!body) return;
    const auto action = TextMember(*body, "action", res);
    if (!action) return;
    if (*action == "ntp") {
      if (VKT_NTPTiming(known->handle, callMs) != 0) return SendCallFailure(res, "VKT_NTPTiming");
      return SendJson(res, Json{{"synchronised", true}});
    }
    if (*action != "host") return SendMessage(res, 400, "action must be host or ntp");
    // As vktcli time set --now: the host's clock in UTC, the camera's own
    // extra word kept.
    SYSTEMTIME current{};
    int extra = 0;
    if (VKT_GetDateTime(known->handle, &current, &extra, callMs) != 0) return SendCallFailure(res, "VKT_GetDateTime");
    const SYSTEMTIME now = vktcli::HostUtcNow();
    if (VKT_SetDateTime(known->handle, &now, extra, callMs) != 0) return SendCallFailure(res, "VKT_SetDateTime");
    SendJson(res, Json{{"set", vktcli::FormatSystemTime(now)}});
  });
  server.Get(R"(/api/cameras/(-?\d+)/config)", [this, camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const std::filesystem::path file = ScratchFile("export");
    const int result = VKT_ExportConfigFile(known->handle, 0, file.c_str(), callMs);
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    if (result != 0) {
      // A file that could not be written leaves the last error alone.
      if (bytes.empty() && VKT_GetLastError() == VKT_OK) return SendMessage(res, 500, "the file could not be written");
      return SendCallFailure(res, "VKT_ExportConfigFile");
    }
    res.set_header("Content-Disposition",
                   Attachment(SafeDownloadName("camera-" + vktcli::FormatIPv4(known->record.ipAddress) + ".cfg",
                                               "camera.cfg")));
    res.set_content(bytes, "application/octet-stream");
  });
  server.Put(R"(/api/cameras/(-?\d+)/config)", [this, camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    if (req.body.size() != kConfigFileBytes) {
      return SendMessage(res, 400, "a configuration file is " + std::to_string(kConfigFileBytes) + " bytes, not " +
                                       std::to_string(req.body.size()));
    }
    const std::filesystem::path file = ScratchFile("import");
    {
      std::ofstream out(file, std::ios::binary);
      out.write(req.body.data(), static_cast<std::streamsize>(req.body.size()));
      if (!out) return SendMessage(res, 500, "the upload could not be stored");
    }
    const int result = VKT_ImportConfigFile(known->handle, file.c_str(), callMs);
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    if (result != 0) return SendCallFailure(res, "VKT_ImportConfigFile");
    SendJson(res, Json{{"imported", true}});
  });

  // ------------------------------------------------------------ pictures
  server.Post(R"(/api/cameras/(-?\d+)/snapshot)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const auto body = BodyObject(req, res);
    if (!body) return;
    const auto value = IntMember(*body, "value", std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                                 0, res);
    if (!value) return;
    if (VKT_SnapPicture(known->handle, static_cast<int>(*value), callMs) != 0) {
      return SendCallFailure(res, "VKT_SnapPicture");
    }
    SendJson(res, Json{{"requested", true}});
  });
  server.Get("/api/pictures", [this](const Request& req, Response& res) {
    std::uint64_t after = 0;
    if (req.has_param("after")) {
      const auto parsed = ParseInteger(req.get_param_value("after"), 0, std::numeric_limits<long long>::max());
      if (!parsed) return SendMessage(res, 400, "after must be a picture number");
      after = static_cast<std::uint64_t>(*parsed);
    }
    Json list = Json::array();
    for (const WallPicture& picture : wall_.Newest(after, kMaxWallListing)) {
      const std::string ip = hub_.AddressOf(picture.info.camera);
      const std::string file = vktcli::ListenFileName(ip.empty() ? "camera" : ip,
                                                      vktcli::PictureNameTime(picture.info.time, picture.arrival),
                                                      picture.id);
      list.push_back({{"id", picture.id},
                      {"ip", ip},
                      {"file", file},
                      {"info", ParseOwnJson(vktcli::FormatSnapshotJson(file, picture.info, picture.value,
                                                                       picture.jpeg->size()))}});
    }
    SendJson(res, Json{{"last", wall_.LastId()}, {"pictures", list}});
  });
  server.Get(R"(/api/pictures/(\d{1,19})\.jpg)", [this](const Request& req, Response& res) {
    const auto id = ParseInteger(req.matches[1].str(), 1, std::numeric_limits<long long>::max());
    const auto picture = id ? wall_.Find(static_cast<std::uint64_t>(*id)) : std::nullopt;
    if (!picture) return SendMessage(res, 404, "the picture is no longer kept");
    if (req.has_param("download")) {
      const std::string ip = hub_.AddressOf(picture->info.camera);
      res.set_header("Content-Disposition",
                     Attachment(SafeDownloadName(vktcli::ListenFileName(ip.empty() ? "camera" : ip,
                                                                        vktcli::PictureNameTime(picture->info.time,
                                                                                                picture->arrival),
                                                                        picture->id),
                                                 "picture.jpg")));
    }
    res.set_content(picture->jpeg->data(), picture->jpeg->size(), "image/jpeg");
  });

  // ----------------------------------------------------------- live view
  server.Get(R"(/api/cameras/(-?\d+)/live\.mjpeg)", [this, camera](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    LiveStreams::Join join = live_.Watch(known->handle);
    if (join.full) return SendMessage(res, 503, "too many live views at once");
    if (!join.viewer) {
      return SendJson(res, Json{{"error", LibraryErrorJson(join.error, "VKT_StartStream")}}, 502);
    }
    // The viewer lives as long as the response's provider: when the page
    // leaves, the write fails, the provider ends and the stream is let go.
    std::shared_ptr<LiveStreams::Viewer> viewer = std::move(join.viewer);
    struct Progress {
      std::uint64_t sent = 0;
      std::chrono::steady_clock::time_point lastWrite = std::chrono::steady_clock::now();
    };
    auto progress = std::make_shared<Progress>();
    res.set_header("X-Accel-Buffering", "no");
    res.set_chunked_content_provider(
        "multipart/x-mixed-replace; boundary=" + std::string(kBoundary),
        [this, viewer, progress](std::size_t, httplib::DataSink& sink) {
          if (live_.Stopping()) return false;
          std::optional<LiveFrame> frame = viewer->stream().WaitNewer(progress->sent, kLiveWait);
          if (live_.Stopping()) return false;
          if (!frame) {
            if (std::chrono::steady_clock::now() - progress->lastWrite < kLiveRepeat) return sink.is_writable();
            frame = viewer->stream().Latest();
            if (!frame) return sink.is_writable();
          }
          const std::string head = "--" + std::string(kBoundary) + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                   std::to_string(frame->jpeg->size()) + "\r\n\r\n";
          if (!sink.write(head.data(), head.size()) || !sink.write(frame->jpeg->data(), frame->jpeg->size()) ||
              !sink.write("\r\n", 2)) {
            return false;
          }
          progress->sent = frame->number;
          progress->lastWrite = std::chrono::steady_clock::now();
          return true;
        });
  });
  server.Get(R"(/api/cameras/(-?\d+)/live)", [this, camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const LiveStats stats = live_.Stats(known->handle);
    Json out{{"watching", stats.watching},
             {"viewers", stats.viewers},
             {"framesPerSecond", stats.framesPerSecond},
             {"frames", stats.frames},
             {"missed", stats.missed},
             {"lastBytes", stats.lastBytes},
             {"averageBytes", stats.averageBytes}};
    if (const auto library = vktcli::ReadCameraStatistics(known->handle, callMs)) {
      out["libraryDrops"] = {{"gap", library->framesDroppedGap},
                             {"pastLast", library->framesDroppedPastLast},
                             {"oversize", library->framesDroppedOversize}};
    }
    SendJson(res, out);
  });

  // ------------------------------------------------------------- SD card
  server.Get(R"(/api/cameras/(-?\d+)/sd)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    SDCardState state{};
    if (VKT_GetSDCardState(known->handle, &state, callMs) != 0) return SendCallFailure(res, "VKT_GetSDCardState");
    SendJson(res, Json{{"state", ParseOwnJson(vktcli::FormatCardStateJson(state))}});
  });
  server.Get(R"(/api/cameras/(-?\d+)/sd/list)", [this, camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const auto path = CardPath(req, res);
    if (!path) return;
    std::vector<vktcli::CardEntry> entries;
    {
      const auto card = hub_.CardLock(known->handle);
      std::lock_guard lock(*card);
      if (!vktcli::ListCardDirectory(known->handle, *path, callMs, entries)) {
        return SendCallFailure(res, "VKT_GetDirectoryTree");
      }
    }
    // vktcli's listing, each entry marked with whether the console will
    // fetch it: a name that is not plain ("..", a slash) is shown only.
    Json listing = ParseOwnJson(vktcli::FormatListingJson(*path, entries));
    for (std::size_t i = 0; i < entries.size() && i < listing["entries"].size(); ++i) {
      listing["entries"][i]["plain"] = IsPlainName(entries[i].name);
    }
    SendJson(res, listing);
  });
  server.Get(R"(/api/cameras/(-?\d+)/sd/picture)", [this, camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const auto path = CardPath(req, res);
    if (!path) return;
    if (*path == "/") return SendMessage(res, 400, "name a picture, not the card's root");
    std::vector<char> bytes;
    {
      const auto card = hub_.CardLock(known->handle);
      std::lock_guard lock(*card);
      if (!vktcli::FetchCardPicture(known->handle, *path, callMs, bytes)) return SendCallFailure(res, "VKT_GetJPGPic");
    }
    if (req.has_param("download")) {
      res.set_header("Content-Disposition", Attachment(SafeDownloadName(vktcli::BareName(*path), "picture.jpg")));
    }
    res.set_content(bytes.data(), bytes.size(), "image/jpeg");
  });
  server.Delete(R"(/api/cameras/(-?\d+)/sd/picture)", [this, camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const auto path = CardPath(req, res);
    if (!path) return;
    if (*path == "/") return SendMessage(res, 400, "name a picture, not the card's root");
    const auto card = hub_.CardLock(known->handle);
    std::lock_guard lock(*card);
    if (!vktcli::DeleteCardPicture(known->handle, *path, callMs)) return SendCallFailure(res, "VKT_DeleteJPGPic");
    SendJson(res, Json{{"deleted", *path}});
  });
  server.Get(R"(/api/cameras/(-?\d+)/sd/archive)", [this, camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    const auto path = CardPath(req, res);
    if (!path) return;
    const int handle = known->handle;
    std::vector<vktcli::CardEntry> entries;
    const auto card = hub_.CardLock(handle);
    {
      std::lock_guard lock(*card);
      if (!vktcli::ListCardDirectory(handle, *path, callMs, entries)) return SendCallFailure(res, "VKT_GetDirectoryTree");
    }
    const std::string folder = *path == "/" ? std::string("card") : std::string(vktcli::BareName(*path));
    res.set_header("Content-Disposition", Attachment(SafeDownloadName(folder, "card") + ".tar"));
    auto done = std::make_shared<bool>(false);
    res.set_chunked_content_provider(
        "application/x-tar",
        [this, handle, path = *path, folder, entries, card, callMs, done](std::size_t, httplib::DataSink& sink) {
          if (*done) return false;
          *done = true;
          std::string report;
          const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count();
          // Each block goes straight to the client; a write that does not go
          // out within the server's write time-out ends the download.
          TarStream tar(folder, [&sink](const char* data, std::size_t size) { return sink.write(data, size); });
          for (const vktcli::CardEntry& entry : entries) {
            if (live_.Stopping()) return false;
            if (!entry.IsPicture()) continue;
            if (!IsPlainName(entry.name)) {
              report += "skipped an entry whose name is not a plain file name\n";
              continue;
            }
            std::vector<char> bytes;
            bool fetched = false;
            {
              std::lock_guard lock(*card);
              fetched = vktcli::FetchCardPicture(handle, vktcli::JoinCameraPath(path, entry.name), callMs, bytes);
            }
            if (!fetched) {
              report += entry.name + ": " + LibraryErrorJson(VKT_GetLastError())["code"].get<std::string>() + "\n";
              continue;
            }
            const TarStream::Added added = tar.Add(entry.name, bytes, now);
            if (added == TarStream::Added::kBroken) return false;
            if (added == TarStream::Added::kRefused) report += entry.name + ": name too long for the archive\n";
          }
          // What could not be packed is said inside the archive itself: the
          // status line went out before the first picture was fetched.
          if (!report.empty() && tar.Add("NOT-INCLUDED.txt", report, now) != TarStream::Added::kWritten) return false;
          if (!tar.Finish()) return false;
          sink.done();
          return true;
        });
  });
  server.Post(R"(/api/cameras/(-?\d+)/sd/format)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    if (VKT_FormatSDCard(known->handle, callMs) != 0) return SendCallFailure(res, "VKT_FormatSDCard");
    SendJson(res, Json{{"formatting", true}});
  });
  server.Get(R"(/api/cameras/(-?\d+)/sd/progress)", [camera, callMs](const Request& req, Response& res) {
    const auto known = camera(req, res);
    if (!known) return;
    int progress = 0;
    if (VKT_GetFormatSDCardProgress(known->handle, &progress, callMs) != 0) {
      return SendCallFailure(res, "VKT_GetFormatSDCardProgress");
    }
    SendJson(res, Json{{"progress", progress}});
  });

  // Anything else under /api/ is not found (as JSON, from the error handler).
}

}  // namespace vktconsole
