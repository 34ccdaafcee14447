// The console's JSON: vktcli's own documents (camera records, settings
// records, counters) reused as they are, and the console's error objects.
// Every text that came from a camera reaches the page as a JSON string,
// for the page to show as text.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "VKTNetSDK11.h"
#include "json_text.h"

namespace vktconsole {

using vktcli::Json;

// A document vktcli wrote (ASCII, camera bytes escaped), as a value.
Json ParseOwnJson(std::string_view text);

// What vktcli search --json says of each camera, one object per camera,
// with "interface" when `interfaces` is given.
Json CameraRecordsJson(std::span<const DeviceRecord> cameras, std::span<const std::string> interfaces = {});

// {"code": "VKT_ERR_TIMEOUT", "value": "0x80000101", "text": "time-out",
//  "call": "VKT_GetAE"}; "call" only when given.
Json LibraryErrorJson(int code, std::string_view call = {});

// {"error": {"message": ...}} for refusals that are not the library's.
Json MessageJson(std::string_view message);

// Compact text; bytes that are not UTF-8 (none should be left) are replaced
// rather than thrown over.
std::string Dump(const Json& value);

}  // namespace vktconsole
