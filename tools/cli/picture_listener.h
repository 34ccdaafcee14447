// The receiving end of "vktcli listen": counts each pushed picture, copies it
// into a bounded queue (or drops it when the queue is full) and writes the
// queued pictures to files on a thread of its own, so the library's picture
// threads never wait for the disk.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "callback_routes.h"
#include "listen_stats.h"
#include "picture_queue.h"

namespace vktcli {

class PictureListener : public PictureSink {
 public:
  explicit PictureListener(std::filesystem::path directory, PictureQueueLimits limits = {});
  ~PictureListener() override;  // Finish()

  PictureListener(const PictureListener&) = delete;
  PictureListener& operator=(const PictureListener&) = delete;

  void OnPicture(std::span<const char> jpeg, const PictureInfo& info, int value) override;

  // Starts writing files named after `cameras` (a handle not among them is
  // named "camera<handle>"). Pictures that came before wait in the queue, so
  // every handle is known by the time its first picture is named.
  void StartWriting(std::vector<ListenCamera> cameras);

  // Takes no more pictures, writes those queued and stops the writer.
  // Without StartWriting the queued pictures are discarded.
  void Finish();

  const ListenCounters& counters() const { return counters_; }

 private:
  void WriteAll();
  std::string IpOf(int handle) const;

  const std::filesystem::path directory_;
  std::vector<ListenCamera> cameras_;  // set before the writer starts, read only by it
  PictureQueue queue_;
  ListenCounters counters_;
  std::atomic<bool> accepting_{true};
  std::thread writer_;
};

}  // namespace vktcli
