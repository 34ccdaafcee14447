#include "tar_writer.h"

#include <cstring>

#include "sd_paths.h"

namespace vktconsole {

namespace {

// `value` as `width - 1` octal digits and a NUL, as ustar numbers are.
bool PutOctal(char* field, std::size_t width, std::uint64_t value) {
  std::string digits(width - 1, '0');
  for (std::size_t i = width - 1; i-- > 0;) {
    digits[i] = static_cast<char>('0' + (value & 7));
    value >>= 3;
  }
  if (value != 0) return false;  // does not fit
  std::memcpy(field, digits.data(), width - 1);
  field[width - 1] = '\0';
  return true;
}

}  // namespace

std::optional<std::array<char, kTarBlock>> TarFileHeader(std::string_view directory, std::string_view name,
                                                         std::uint64_t size, std::int64_t modified) {
  if (!vktcli::IsSafeFileName(directory) || !vktcli::IsSafeFileName(name)) return std::nullopt;
  if (directory.size() > 155 || name.size() > 100) return std::nullopt;
  std::array<char, kTarBlock> header{};
  char* h = header.data();
  std::memcpy(h + 0, name.data(), name.size());  // name[100]
  PutOctal(h + 100, 8, 0644);                     // mode
  PutOctal(h + 108, 8, 0);                        // uid
  PutOctal(h + 116, 8, 0);                        // gid
  if (!PutOctal(h + 124, 12, size)) return std::nullopt;
  PutOctal(h + 136, 12, modified > 0 ? static_cast<std::uint64_t>(modified) : 0);
  h[156] = '0';                                   // a regular file
  std::memcpy(h + 257, "ustar", 6);               // magic with its NUL
  std::memcpy(h + 263, "00", 2);                  // version
  std::memcpy(h + 345, directory.data(), directory.size());  // prefix[155]
  // The checksum is counted with its own field as blanks.
  std::memset(h + 148, ' ', 8);
  unsigned sum = 0;
  for (char c : header) sum += static_cast<unsigned char>(c);
  PutOctal(h + 148, 7, sum);  // six digits and a NUL (at most 512 * 255)
  h[155] = ' ';
  return header;
}

std::string TarPadding(std::uint64_t size) {
  const std::uint64_t rest = size % kTarBlock;
  return std::string(rest == 0 ? 0 : kTarBlock - rest, '\0');
}

std::string TarEnd() { return std::string(2 * kTarBlock, '\0'); }

}  // namespace vktconsole
