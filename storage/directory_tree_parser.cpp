#include "storage/directory_tree_parser.h"

#include <cstring>
#include <new>

namespace vkt {
namespace {

constexpr size_t kTextField = 256;

class Cursor {
 public:
  Cursor(const uint8_t* data, size_t length) : data_(data), length_(length) {}

  size_t Left() const { return length_ - offset_; }

  bool Word(int32_t& out) {
    if (Left() < sizeof(int32_t)) return false;
    std::memcpy(&out, data_ + offset_, sizeof(int32_t));
    offset_ += sizeof(int32_t);
    return true;
  }

  // A zero-terminated text that fits a 256-byte field with its terminator;
  // `text` points into the answer and `length` excludes the terminator.
  bool Text(const char*& text, size_t& length) {
    const size_t window = Left() < kTextField ? Left() : kTextField;
    const void* end = std::memchr(data_ + offset_, 0, window);
    if (end == nullptr) return false;  // too long for its field, or cut off
    text = reinterpret_cast<const char*>(data_ + offset_);
    length = static_cast<size_t>(static_cast<const uint8_t*>(end) - (data_ + offset_));
    offset_ += length + 1;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t length_;
  size_t offset_ = 0;
};

// Smallest entry: a word and an empty name.
constexpr size_t kMinEntryBytes = sizeof(int32_t) + 1;

}  // namespace

DirectoryListing ParseDirectoryListing(const uint8_t* payload, size_t length) {
  DirectoryListing listing;
  if (length == 0) {
    listing.outcome = DirectoryListing::Outcome::kNoTree;
    return listing;
  }
  Cursor cursor(payload, length);
  int32_t leading = 0;
  if (!cursor.Word(leading)) return listing;
  if (leading <= 0) {
    listing.outcome = DirectoryListing::Outcome::kNoTree;
    return listing;
  }
  const char* path = nullptr;
  size_t pathLength = 0;
  int32_t count = 0;
  if (!cursor.Text(path, pathLength) || !cursor.Word(count) || count < 0) return listing;
  // The answer must hold every entry it announces before any is allocated.
  if (static_cast<size_t>(count) > cursor.Left() / kMinEntryBytes) return listing;
  const Cursor entriesStart = cursor;
  for (int32_t i = 0; i < count; ++i) {
    int32_t value = 0;
    const char* name = nullptr;
    size_t nameLength = 0;
    if (!cursor.Word(value) || !cursor.Text(name, nameLength)) return listing;
  }

  listing.entries.reset(new (std::nothrow) DirectoryEntry[static_cast<size_t>(count)]());
  if (!listing.entries) return listing;
  cursor = entriesStart;
  for (int32_t i = 0; i < count; ++i) {
    DirectoryEntry& entry = listing.entries[static_cast<size_t>(i)];
    const char* name = nullptr;
    size_t nameLength = 0;
    cursor.Word(entry.value);
    cursor.Text(name, nameLength);
    std::memcpy(entry.name, name, nameLength);  // the rest of the field stays zero
  }
  std::memcpy(listing.path.data(), path, pathLength);
  listing.pathLength = pathLength;
  listing.count = count;
  listing.outcome = DirectoryListing::Outcome::kTree;
  return listing;
}

}  // namespace vkt
