#include "json_out.h"

#include <cstdio>

#include "error_names.h"
#include "format.h"

namespace vktconsole {

Json ParseOwnJson(std::string_view text) { return Json::parse(text.begin(), text.end()); }

Json CameraRecordsJson(std::span<const DeviceRecord> cameras, std::span<const std::string> interfaces) {
  return ParseOwnJson(vktcli::FormatCameraJson(cameras, interfaces));
}

Json LibraryErrorJson(int code, std::string_view call) {
  const vkttools::ErrorName* name = vkttools::FindErrorName(code);
  char value[16];
  std::snprintf(value, sizeof value, "0x%08x", static_cast<unsigned>(code));
  Json error{{"code", name ? name->name : "unknown error"}, {"value", value}, {"text", name ? name->text : ""}};
  if (!call.empty()) error["call"] = call;
  return error;
}

Json MessageJson(std::string_view message) { return Json{{"error", {{"message", message}}}}; }

std::string Dump(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace vktconsole
