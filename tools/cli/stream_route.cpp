#include "stream_route.h"

#include <limits>
#include <map>
#include <mutex>
#include <shared_mutex>

namespace vktcli {

namespace {

// Callbacks share the lock; only adding or removing a route takes it alone.
std::shared_mutex routesMutex;
std::map<int, StreamSink*> routes;
int lastUser = 0;

}  // namespace

void RouteStreamFrame(char* frame, int length, StreamInfo* info, int user) {
  if (frame == nullptr || info == nullptr || length < 0) return;
  std::shared_lock lock(routesMutex);
  const auto route = routes.find(user);
  if (route == routes.end()) return;
  route->second->OnFrame(std::span<const char>(frame, static_cast<std::size_t>(length)), *info);
}

StreamRoute::StreamRoute(StreamSink& sink) {
  std::unique_lock lock(routesMutex);
  // 0 stays unused, so a stream started with 0 reaches no sink.
  user_ = lastUser = lastUser == std::numeric_limits<int>::max() ? 1 : lastUser + 1;
  routes[user_] = &sink;
}

StreamRoute::~StreamRoute() {
  std::unique_lock lock(routesMutex);
  routes.erase(user_);
}

}  // namespace vktcli
