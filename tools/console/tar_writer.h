// A whole card directory as one download: a POSIX tar (ustar) stream,
// written member by member as the pictures are fetched, so nothing waits
// for the whole directory. Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vktconsole {

inline constexpr std::size_t kTarBlock = 512;

// The header of a regular file DIRECTORY/NAME of `size` bytes. Both parts
// must be safe file names (vktcli::IsSafeFileName), DIRECTORY at most 155
// bytes and NAME at most 100, so an archive never unpacks outside the
// folder it is unpacked in; nullopt otherwise.
std::optional<std::array<char, kTarBlock>> TarFileHeader(std::string_view directory, std::string_view name,
                                                         std::uint64_t size, std::int64_t modified);

// Zero bytes that bring a member of `size` bytes to a whole block.
std::string TarPadding(std::uint64_t size);

// The two zero blocks that end an archive.
std::string TarEnd();

}  // namespace vktconsole
