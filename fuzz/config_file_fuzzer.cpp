// A configuration file given to VKT_ImportConfigFile, split into the nine
// records the import applies.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "settings/config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly the bytes a read of the file gave.
  auto* content = new uint8_t[size > 0 ? size : 1];
  if (size != 0) std::memcpy(content, data, size);
  vkt::settings::ConfigFileRecords records;
  const bool taken = vkt::settings::SplitConfigFile(content, size, records);
  if (taken != (size >= vkt::settings::kConfigFileSize)) __builtin_trap();
  if (taken) {
    // The records follow each other from the start and fill exactly the
    // file's 652 bytes; reading each of them must stay inside the content.
    const uint8_t* expected = content;
    unsigned sum = 0;
    for (const vkt::settings::ConfigFileRecord& record : records) {
      if (record.bytes != expected) __builtin_trap();
      for (size_t i = 0; i < record.size; ++i) sum += record.bytes[i];
      expected += record.size;
    }
    if (static_cast<size_t>(expected - content) != vkt::settings::kConfigFileSize) __builtin_trap();
    int32_t awbMode;
    std::memcpy(&awbMode, records[7].bytes, sizeof awbMode);
    if (records[8].apply != (awbMode == 0)) __builtin_trap();
    for (size_t row = 0; row < 8; ++row) {
      if (!records[row].apply) __builtin_trap();
    }
    (void)sum;
  }
  delete[] content;
  return 0;
}
