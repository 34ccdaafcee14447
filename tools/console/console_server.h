// The console's HTTP side: the page's files and the JSON interface the page
// uses, every camera action through the library's own calls. Install()
// puts the routes, the access checks and the limits on an httplib server;
// the library must be started first and stay started while it serves.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "callback_routes.h"
#include "camera_hub.h"
#include "live_streams.h"
#include "picture_wall.h"

namespace httplib {
class Server;
}

namespace vktconsole {

struct ConsoleOptions {
  std::string token;                  // the access token every /api/ request carries
  unsigned searchTimeoutMs = 1000;    // a search's default time-out
  unsigned callTimeoutMs = 2000;      // every camera call's time-out
  std::size_t maxBodyBytes = 64 * 1024;  // request bodies and uploads
  std::size_t maxViewers = 16;        // live views at once
  std::size_t workerThreads = 48;     // the HTTP server's threads
  WallLimits wall;
};

// The time-outs a page may ask for, and the most a search may last.
inline constexpr unsigned kMaxSearchTimeoutMs = 10000;

class Console {
 public:
  explicit Console(ConsoleOptions options);
  ~Console();

  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  void Install(httplib::Server& server);

  // Ends every live view and archive download, so the server's threads can
  // be joined; call before stopping the server.
  void BeginStop();

  CameraHub& hub() { return hub_; }
  PictureWall& wall() { return wall_; }
  LiveStreams& live() { return live_; }
  const ConsoleOptions& options() const { return options_; }

  // A fresh path in the console's private scratch folder (for the
  // library's configuration file calls, which take a path).
  std::filesystem::path ScratchFile(std::string_view stem);

 private:
  const ConsoleOptions options_;
  PictureWall wall_;
  std::unique_ptr<vktcli::PictureRoute> pictureRoute_;
  CameraHub hub_;
  LiveStreams live_;
  std::filesystem::path scratch_;
  std::mutex scratchMutex_;
  std::uint64_t scratchCounter_ = 0;
};

// "picture.jpg" for a camera's file name that is not plain: only letters,
// digits, '.', '-' and '_' are kept (others become '_'), no leading dot, at
// most 100 bytes. What a browser saves is named by this, whatever the
// camera sent.
std::string SafeDownloadName(std::string_view name, std::string_view fallback);

}  // namespace vktconsole
