#include "jpeg_encoder.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>
#include <csetjmp>
#include <cstdlib>

#include <jpeglib.h>

namespace vktemu {
namespace {

constexpr JDIMENSION kRowsPerCheck = 16;

// libjpeg reports errors by calling error_exit, which must not return: it
// jumps back to compress() instead of ending the process.
struct ErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr info) {
  auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
  (*info->err->format_message)(info, trap->message);
  std::longjmp(trap->jump, 1);
}

void silent(j_common_ptr, int) {}

enum class Outcome { kDone, kFailed, kCancelled };

// Only plain C data lives here, so jumping out of libjpeg skips no
// destructor. libjpeg's buffer ends up in *out (malloc'ed) either way.
Outcome compress(const RgbImage& image, int quality, const std::atomic<bool>* cancel, unsigned char** out,
                 unsigned long* size, ErrorTrap* trap) {
  jpeg_compress_struct info;
  info.err = jpeg_std_error(&trap->manager);
  trap->manager.error_exit = onError;
  trap->manager.emit_message = silent;
  if (setjmp(trap->jump)) {
    jpeg_destroy_compress(&info);
    return Outcome::kFailed;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = static_cast<JDIMENSION>(image.width);
  info.image_height = static_cast<JDIMENSION>(image.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  // Our own JFIF header goes in front of the APP1 segment.
  info.write_JFIF_header = FALSE;
  info.write_Adobe_marker = FALSE;
  jpeg_start_compress(&info, TRUE);
  const auto stride = static_cast<size_t>(image.width) * 3;
  while (info.next_scanline < info.image_height) {
    if (info.next_scanline % kRowsPerCheck == 0 && cancel && cancel->load()) {
      jpeg_destroy_compress(&info);
      return Outcome::kCancelled;
    }
    JSAMPROW row = const_cast<JSAMPROW>(&image.pixels[info.next_scanline * stride]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return Outcome::kDone;
}

}  // namespace

std::optional<std::vector<uint8_t>> encodeJpeg(const RgbImage& image, int quality,
                                               const std::atomic<bool>* cancel, std::string* error) {
  // The memory destination reports its buffer only when compression
  // finishes: a cancelled or failed run that had grown it leaves a pointer
  // it freed itself. Room for more than any JPEG of the image means it never
  // grows, so the one buffer freed here is always ours.
  unsigned long size = static_cast<unsigned long>(image.width) * static_cast<unsigned long>(image.height) * 3 + 65536;
  unsigned char* const ours = static_cast<unsigned char*>(std::malloc(size));
  if (ours == nullptr) {
    if (error) *error = "jpeg: out of memory";
    return std::nullopt;
  }
  unsigned char* buffer = ours;
  ErrorTrap trap{};
  const Outcome outcome = compress(image, quality, cancel, &buffer, &size, &trap);
  std::optional<std::vector<uint8_t>> jpeg;
  if (outcome == Outcome::kDone && buffer) jpeg.emplace(buffer, buffer + size);
  if (outcome == Outcome::kDone && buffer != ours) std::free(buffer);
  std::free(ours);
  if (!jpeg && error) *error = outcome == Outcome::kCancelled ? "stopped" : std::string("jpeg: ") + trap.message;
  return jpeg;
}

}  // namespace vktemu
