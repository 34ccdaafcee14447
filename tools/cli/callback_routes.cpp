#include "callback_routes.h"

#include <limits>
#include <map>
#include <mutex>
#include <shared_mutex>

namespace vktcli {

namespace {

// Callbacks share the lock; only adding or removing a route takes it alone,
// so callbacks never wait for each other here.
template <class Sink>
struct Routes {
  std::shared_mutex mutex;
  std::map<int, Sink*> sinks;  // by user(), the latest last
  int lastUser = 0;
};

template <class Sink>
Routes<Sink>& RoutesOf() {
  static Routes<Sink> routes;
  return routes;
}

}  // namespace

ReceivedPicture CopyPicture(std::span<const char> jpeg, const PictureInfo& info, int value) {
  return {std::vector<char>(jpeg.begin(), jpeg.end()), info, value, std::chrono::system_clock::now()};
}

void RoutePicture(char* picture, int length, PictureInfo* info, int value) {
  if (picture == nullptr || info == nullptr || length < 0) return;
  Routes<PictureSink>& routes = RoutesOf<PictureSink>();
  std::shared_lock lock(routes.mutex);
  if (routes.sinks.empty()) return;
  routes.sinks.rbegin()->second->OnPicture(std::span<const char>(picture, static_cast<std::size_t>(length)), *info,
                                           value);
}

void RouteStreamFrame(char* frame, int length, StreamInfo* info, int user) {
  if (frame == nullptr || info == nullptr || length < 0) return;
  Routes<StreamSink>& routes = RoutesOf<StreamSink>();
  std::shared_lock lock(routes.mutex);
  const auto route = routes.sinks.find(user);
  if (route == routes.sinks.end()) return;
  route->second->OnFrame(std::span<const char>(frame, static_cast<std::size_t>(length)), *info);
}

template <class Sink>
Route<Sink>::Route(Sink& sink) {
  Routes<Sink>& routes = RoutesOf<Sink>();
  std::unique_lock lock(routes.mutex);
  // 0 stays unused, so a stream started with 0 reaches no sink.
  user_ = routes.lastUser = routes.lastUser == std::numeric_limits<int>::max() ? 1 : routes.lastUser + 1;
  routes.sinks[user_] = &sink;
}

template <class Sink>
Route<Sink>::~Route() {
  Routes<Sink>& routes = RoutesOf<Sink>();
  std::unique_lock lock(routes.mutex);
  routes.sinks.erase(user_);
}

template class Route<PictureSink>;
template class Route<StreamSink>;

}  // namespace vktcli
