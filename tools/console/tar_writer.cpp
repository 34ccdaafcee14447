#include "tar_writer.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <type_traits>

#include "sd_paths.h"

namespace vktconsole {

static_assert(std::is_same_v<la_ssize_t, long>, "TarStream::Write's return type is la_ssize_t");

TarStream::TarStream(std::string directory, Sink sink)
    : directory_(std::move(directory)), sink_(std::move(sink)), archive_(archive_write_new()) {
  // ustar: every tar reader knows it, and names are kept short enough for
  // it. The last block is not padded to libarchive's 10 KiB: the stream
  // ends right after its two zero blocks.
  if (archive_ == nullptr || archive_write_set_format_ustar(archive_) != ARCHIVE_OK ||
      archive_write_add_filter_none(archive_) != ARCHIVE_OK ||
      archive_write_set_bytes_in_last_block(archive_, 1) != ARCHIVE_OK ||
      archive_write_open(archive_, this, nullptr, &TarStream::Write, nullptr) != ARCHIVE_OK) {
    broken_ = true;
  }
}

TarStream::~TarStream() {
  if (archive_ == nullptr) return;
  // Unfinished, the sink refuses what closing would flush, so no end blocks
  // follow a member that was cut off. Closing (not archive_write_fail) is
  // what frees libarchive's block buffer.
  if (!finished_) {
    broken_ = true;
    archive_write_close(archive_);
  }
  archive_write_free(archive_);
}

long TarStream::Write(struct archive*, void* self, const void* buffer, std::size_t length) {
  auto* stream = static_cast<TarStream*>(self);
  if (stream->broken_ || !stream->sink_(static_cast<const char*>(buffer), length)) {
    stream->broken_ = true;
    return -1;
  }
  return static_cast<long>(length);
}

TarStream::Added TarStream::Add(std::string_view name, std::span<const char> bytes, std::int64_t modified) {
  if (broken_ || finished_) return Added::kBroken;
  if (!vktcli::IsSafeFileName(directory_) || !vktcli::IsSafeFileName(name)) return Added::kRefused;
  const std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), &archive_entry_free);
  if (!entry) return Added::kBroken;
  const std::string path = directory_ + "/" + std::string(name);
  archive_entry_copy_pathname(entry.get(), path.c_str());
  archive_entry_set_filetype(entry.get(), AE_IFREG);
  archive_entry_set_perm(entry.get(), 0644);
  archive_entry_set_size(entry.get(), static_cast<la_int64_t>(bytes.size()));
  archive_entry_set_mtime(entry.get(), modified > 0 ? modified : 0, 0);
  const int header = archive_write_header(archive_, entry.get());
  // A name ustar cannot hold is refused before anything of it is written.
  if (header == ARCHIVE_FAILED && !broken_) return Added::kRefused;
  if (header < ARCHIVE_WARN || broken_) {
    broken_ = true;
    return Added::kBroken;
  }
  std::size_t at = 0;
  while (at < bytes.size()) {
    const la_ssize_t wrote = archive_write_data(archive_, bytes.data() + at, bytes.size() - at);
    if (wrote <= 0) {
      broken_ = true;
      return Added::kBroken;
    }
    at += static_cast<std::size_t>(wrote);
  }
  if (archive_write_finish_entry(archive_) < ARCHIVE_WARN || broken_) {
    broken_ = true;
    return Added::kBroken;
  }
  return Added::kWritten;
}

bool TarStream::Finish() {
  if (broken_ || finished_) return false;
  finished_ = true;
  if (archive_write_close(archive_) != ARCHIVE_OK || broken_) {
    broken_ = true;
    return false;
  }
  return true;
}

}  // namespace vktconsole
