// Symbolic names and short explanations for the library's last-error codes,
// so tools can say "VKT_ERR_TIMEOUT" instead of a bare number.
#pragma once

#include <span>
#include <string>

namespace vkttools {

struct ErrorName {
  int code;
  const char* name;  // the macro name in VKTNetSDK11.h, e.g. "VKT_ERR_TIMEOUT"
  const char* text;  // a few words for people, e.g. "time-out"
};

// nullptr when the code is not one of the header's.
const ErrorName* FindErrorName(int code);

// "VKT_ERR_TIMEOUT (0x80000101): time-out", or "unknown error (0x12345678)".
std::string DescribeError(int code);

// Every code of the header, VKT_OK first.
std::span<const ErrorName> AllErrorNames();

}  // namespace vkttools
