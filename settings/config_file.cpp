// Saving nine of a camera's settings to a 652-byte file and applying such a
// file, through the exported Get and Set calls (each with the whole time-out).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "VKTNetSDK11.h"
#include "api/log_silence.h"
#include "settings/config_file.h"

namespace {

// The file's records, in their order. Other installations hold such files:
// the layout never changes.
struct ConfigRecord {
  size_t size;
  int (*get)(int camera, void* out, unsigned int timeoutMs);
  int (*set)(int camera, const void* in, unsigned int timeoutMs);
};

template <typename T, int (*Get)(int, T*, unsigned int), int (*Set)(int, const T*, unsigned int)>
constexpr ConfigRecord Row() {
  return {sizeof(T), [](int c, void* out, unsigned t) { return Get(c, static_cast<T*>(out), t); },
          [](int c, const void* in, unsigned t) { return Set(c, static_cast<const T*>(in), t); }};
}

int SetAwbMode(int camera, const int* mode, unsigned int timeoutMs) { return VKT_SetAWB(camera, *mode, timeoutMs); }
int SetAwbParam(int camera, const AWBParam* param, unsigned int timeoutMs) {
  return VKT_SetAWBParam(camera, *param, timeoutMs);
}

constexpr ConfigRecord kRecords[] = {
    Row<FTPParam, VKT_GetFTPParam, VKT_SetFTPParam>(),
    Row<DeviceInfo, VKT_GetDeviceInfo, VKT_SetDeviceInfo>(),
    Row<ITSParam, VKT_GetITSParam, VKT_SetITSParam>(),
    Row<NightControlParam, VKT_GetNightControlParam, VKT_SetNightControlParam>(),
    Row<SNTPParam, VKT_GetSNTPParam, VKT_SetSNTPParam>(),
    Row<PicFileNameConfig, VKT_GetPicFileNameConfig, VKT_SetPicFileNameConfig>(),
    Row<OSDInfo, VKT_GetOSDInfo, VKT_SetOSDInfo>(),
    Row<int, VKT_GetAWB, SetAwbMode>(),
    Row<AWBParam, VKT_GetAWBParam, SetAwbParam>(),
};
constexpr size_t kAwbModeRow = 7;
constexpr size_t kAwbParamRow = 8;

constexpr size_t FileSize() {
  size_t total = 0;
  for (const ConfigRecord& r : kRecords) total += r.size;
  return total;
}
constexpr size_t kFileSize = FileSize();
static_assert(kFileSize == vkt::settings::kConfigFileSize);
static_assert(std::size(kRecords) == vkt::settings::kConfigRecords);

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

}  // namespace

extern "C" VKT_API int VKT_ExportConfigFile(int camera, int /*reserved*/, const char* path, unsigned int timeoutMs) {
  vkt::SilenceAceLoggingOnce();
  if (path == nullptr) return 1;
  File file(std::fopen(path, "wb"));
  if (!file) return 1;
  for (const ConfigRecord& record : kRecords) {
    // Cleared first: a short form is written padded with zeros.
    alignas(8) uint8_t buffer[300] = {};
    if (record.get(camera, buffer, timeoutMs) != 0) return 1;
    (void)std::fwrite(buffer, 1, record.size, file.get());
  }
  return 0;
}

extern "C" VKT_API int VKT_ImportConfigFile(int camera, const char* path, unsigned int timeoutMs) {
  vkt::SilenceAceLoggingOnce();
  if (path == nullptr) return 1;
  File file(std::fopen(path, "rb"));
  if (!file) return 1;
  // The whole file first: a short one is refused before anything is sent.
  alignas(8) uint8_t content[kFileSize];
  const size_t got = std::fread(content, 1, kFileSize, file.get());
  file.reset();
  vkt::settings::ConfigFileRecords records;
  if (!vkt::settings::SplitConfigFile(content, got, records)) return 1;
  for (size_t row = 0; row < std::size(kRecords); ++row) {
    if (!records[row].apply) continue;
    if (kRecords[row].set(camera, records[row].bytes, timeoutMs) != 0) return 1;
  }
  return 0;
}

namespace vkt::settings {

bool SplitConfigFile(const uint8_t* data, size_t length, ConfigFileRecords& records) {
  if (data == nullptr || length < kFileSize) return false;
  size_t offset = 0;
  int32_t awbMode = 0;
  for (size_t row = 0; row < std::size(kRecords); ++row) {
    const uint8_t* bytes = data + offset;
    offset += kRecords[row].size;
    if (row == kAwbModeRow) std::memcpy(&awbMode, bytes, sizeof awbMode);
    records[row] = ConfigFileRecord{bytes, kRecords[row].size, true};
  }
  // The white-balance parameters matter only with the automatic mode off.
  records[kAwbParamRow].apply = awbMode == 0;
  return true;
}

}  // namespace vkt::settings
