// A whole card directory as one download: a POSIX tar (ustar) stream
// written by libarchive, member by member as the pictures are fetched, so
// nothing waits for the whole directory. This wrapper's own job is what
// goes into the archive: only plain names, all under one folder.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

struct archive;

namespace vktconsole {

class TarStream {
 public:
  // Takes the bytes libarchive hands out, a block (10 KiB) at a time; false
  // when they could not go out (the client left, a write timed out).
  using Sink = std::function<bool(const char* data, std::size_t size)>;

  enum class Added {
    kWritten,
    kRefused,  // not a safe file name, or too long for a ustar header; the stream goes on
    kBroken,   // the sink failed; nothing more can be written
  };

  // Every member is DIRECTORY/NAME.
  TarStream(std::string directory, Sink sink);
  // Without Finish(), the end of the archive is never written: a cut-off
  // download must not look complete.
  ~TarStream();
  TarStream(const TarStream&) = delete;
  TarStream& operator=(const TarStream&) = delete;

  // A regular file DIRECTORY/NAME holding `bytes`. DIRECTORY and NAME must
  // both be safe file names (vktcli::IsSafeFileName), so the archive never
  // unpacks outside the folder it is unpacked in.
  Added Add(std::string_view name, std::span<const char> bytes, std::int64_t modified);

  // Writes the two zero blocks that end the archive and what libarchive
  // still holds; false when the sink failed.
  bool Finish();

 private:
  static long Write(struct archive*, void* self, const void* buffer, std::size_t length);

  std::string directory_;
  Sink sink_;
  struct archive* archive_ = nullptr;
  bool broken_ = false;
  bool finished_ = false;
};

}  // namespace vktconsole
