#include "gstvktsrc.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "error_names.h"
#include "frame_queue.h"
#include "jpeg_header.h"
#include "vkt_library.h"

GST_DEBUG_CATEGORY_STATIC(gst_vkt_src_debug);
#define GST_CAT_DEFAULT gst_vkt_src_debug

namespace {

enum class Source { kStream = 0, kPictures = 1, kSnapshots = 2 };

constexpr unsigned int kDefaultInterval = 1000;
constexpr unsigned int kDefaultTimeout = 2000;
constexpr unsigned int kDefaultMaxBuffers = 4;
constexpr vktgst::Leaky kDefaultLeaky = vktgst::Leaky::kDownstream;

GType SourceType() {
  static GType type = 0;
  static const GEnumValue values[] = {
      {static_cast<gint>(Source::kStream), "The camera's video stream", "stream"},
      {static_cast<gint>(Source::kPictures), "Pictures the camera pushes (triggers, snapshots)", "pictures"},
      {static_cast<gint>(Source::kSnapshots), "A snapshot every interval milliseconds", "snapshots"},
      {0, nullptr, nullptr}};
  if (g_once_init_enter(&type)) g_once_init_leave(&type, g_enum_register_static("GstVktSrcSource", values));
  return type;
}

GType LeakyType() {
  static GType type = 0;
  static const GEnumValue values[] = {
      {static_cast<gint>(vktgst::Leaky::kUpstream), "Leaky on upstream (new frames)", "upstream"},
      {static_cast<gint>(vktgst::Leaky::kDownstream), "Leaky on downstream (old frames)", "downstream"},
      {0, nullptr, nullptr}};
  if (g_once_init_enter(&type)) g_once_init_leave(&type, g_enum_register_static("GstVktSrcLeaky", values));
  return type;
}

const GstMetaInfo* g_metaInfo = nullptr;

// A camera time as text, as the library reports it (host local time).
std::string TimeText(const CameraTime& t) {
  char text[64];  // room for any uint16_t fields
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.milliseconds);
  return text;
}

void SetTimeFields(GstStructure* s, const CameraTime& t) {
  gst_structure_set(s, "camera-time", G_TYPE_STRING, TimeText(t).c_str(), "year", G_TYPE_UINT, guint{t.year},
                    "month", G_TYPE_UINT, guint{t.month}, "day", G_TYPE_UINT, guint{t.day}, "hour", G_TYPE_UINT,
                    guint{t.hour}, "minute", G_TYPE_UINT, guint{t.minute}, "second", G_TYPE_UINT, guint{t.second},
                    "millisecond", G_TYPE_UINT, guint{t.milliseconds}, nullptr);
}

// The camera counters the statistics property shows, by name.
struct CounterField {
  const char* name;
  size_t offset;
};
#define VKTGST_COUNTER(field, name) {name, offsetof(CameraStatistics, field)}
constexpr CounterField kCounters[] = {
    VKTGST_COUNTER(commandsSent, "commands-sent"),
    VKTGST_COUNTER(commandsFailed, "commands-failed"),
    VKTGST_COUNTER(commandTimeouts, "command-timeouts"),
    VKTGST_COUNTER(commandNetworkErrors, "command-network-errors"),
    VKTGST_COUNTER(commandRefusals, "command-refusals"),
    VKTGST_COUNTER(commandMismatches, "command-mismatches"),
    VKTGST_COUNTER(reconnects, "reconnects"),
    VKTGST_COUNTER(picturesDelivered, "pictures-delivered"),
    VKTGST_COUNTER(pictureBytes, "picture-bytes"),
    VKTGST_COUNTER(pictureConnections, "picture-connections"),
    VKTGST_COUNTER(picturesDroppedBadMarker, "pictures-dropped-bad-marker"),
    VKTGST_COUNTER(picturesDroppedShortApp1, "pictures-dropped-short-app1"),
    VKTGST_COUNTER(picturesDroppedOversize, "pictures-dropped-oversize"),
    VKTGST_COUNTER(picturesDroppedTimeWindow, "pictures-dropped-time-window"),
    VKTGST_COUNTER(picturesDroppedClosedEarly, "pictures-dropped-closed-early"),
    VKTGST_COUNTER(picturesDroppedCameraDeleted, "pictures-dropped-camera-deleted"),
    VKTGST_COUNTER(picturesDroppedNoCallback, "pictures-dropped-no-callback"),
    VKTGST_COUNTER(framesDelivered, "frames-delivered"),
    VKTGST_COUNTER(streamBytes, "stream-bytes"),
    VKTGST_COUNTER(framesDroppedGap, "frames-dropped-gap"),
    VKTGST_COUNTER(framesDroppedPastLast, "frames-dropped-past-last"),
    VKTGST_COUNTER(framesDroppedOversize, "frames-dropped-oversize"),
    VKTGST_COUNTER(datagramsIgnoredSize, "datagrams-ignored-size"),
    VKTGST_COUNTER(datagramsIgnoredSender, "datagrams-ignored-sender"),
    VKTGST_COUNTER(picturesDroppedOverShare, "pictures-dropped-over-share"),
    VKTGST_COUNTER(picturesDroppedBufferCap, "pictures-dropped-buffer-cap"),
    VKTGST_COUNTER(pictureConnectionsOpen, "picture-connections-open"),
};
#undef VKTGST_COUNTER

std::string ErrorText(int code) { return vkttools::DescribeError(code); }

}  // namespace

// What runs while the element is started: the library's user, the camera,
// the route of its frames and the queue to the streaming thread.
class VktSrcRuntime final : public vktgst::FrameSink {
 public:
  explicit VktSrcRuntime(GstVktSrc* owner) : owner_(owner) {}

  void OnStreamFrame(const uint8_t* frame, size_t length, const StreamInfo& info) override {
    GstStructure* s = gst_structure_new(GST_VKT_CAMERA_META_NAME, "kind", G_TYPE_STRING, "stream", "camera",
                                        G_TYPE_INT, info.camera, "record-word-8", G_TYPE_INT, info.recordWord8,
                                        "record-word-28", G_TYPE_INT, info.recordWord28, nullptr);
    SetTimeFields(s, info.time);
    Accept(frame, length, s);
  }

  void OnPicture(const uint8_t* picture, size_t length, const PictureInfo& info, int value) override {
    GstStructure* s = gst_structure_new(
        GST_VKT_CAMERA_META_NAME, "kind", G_TYPE_STRING, "picture", "camera", G_TYPE_INT, info.camera, "value",
        G_TYPE_INT, value, "record-word-8", G_TYPE_INT, info.recordWord8, "record-word-24", G_TYPE_INT,
        info.recordWord24, "record-word-28", G_TYPE_INT, info.recordWord28, "record-word-32", G_TYPE_INT,
        info.recordWord32, "record-word-36", G_TYPE_INT, info.recordWord36, "record-word-40", G_TYPE_INT,
        info.recordWord40, nullptr);
    SetTimeFields(s, info.time);
    Accept(picture, length, s);
  }

  // Takes `fields`. Runs on a library thread: copies and returns.
  void Accept(const uint8_t* data, size_t length, GstStructure* fields) {
    received_.fetch_add(1, std::memory_order_relaxed);
    auto size = vktgst::ReadJpegSize(data, length);
    if (!size) {
      notJpeg_.fetch_add(1, std::memory_order_relaxed);
      gst_structure_free(fields);
      return;
    }
    // Time-stamped on arrival with the element's clock; without a clock
    // (not yet playing) a live source has no running time to give it.
    GstClock* clock = gst_element_get_clock(GST_ELEMENT(owner_));
    if (clock == nullptr) {
      notPlaying_.fetch_add(1, std::memory_order_relaxed);
      gst_structure_free(fields);
      return;
    }
    GstClockTime arrival = gst_clock_get_time(clock);
    gst_object_unref(clock);
    GstBuffer* buffer = gst_buffer_new_memdup(data, length);
    GstCustomMeta* meta = gst_buffer_add_custom_meta(buffer, GST_VKT_CAMERA_META_NAME);
    if (meta != nullptr) {
      GstStructure* target = gst_custom_meta_get_structure(meta);
      gst_structure_foreach(
          fields,
          [](GQuark field, const GValue* value, gpointer user) -> gboolean {
            gst_structure_id_set_value(static_cast<GstStructure*>(user), field, value);
            return TRUE;
          },
          target);
    }
    gst_structure_free(fields);
    queue.Push(vktgst::QueuedFrame{buffer, size->width, size->height, arrival});
  }

  GstVktSrc* owner_;
  vktgst::FrameQueue queue;
  const vktgst::LibraryApi* api = nullptr;
  bool libraryUser = false;
  int camera = -1;
  int route = 0;
  bool streaming = false;
  Source source = Source::kStream;
  unsigned int timeoutMs = kDefaultTimeout;
  unsigned int intervalMs = kDefaultInterval;

  std::atomic<uint64_t> received_{0};
  std::atomic<uint64_t> notJpeg_{0};
  std::atomic<uint64_t> notPlaying_{0};
  std::atomic<uint64_t> pushed_{0};
  std::atomic<uint64_t> snapshotsRequested_{0};
  std::atomic<uint64_t> snapshotFailures_{0};

  // The snapshot thread.
  std::thread snapper;
  std::mutex snapLock;
  std::condition_variable snapWake;
  bool snapStop = false;
};

struct _GstVktSrc {
  GstPushSrc parent;

  // Properties, under the object lock.
  gchar* address;
  Source source;
  guint interval;
  guint timeout;
  guint maxBuffers;
  vktgst::Leaky leaky;

  // Created at start, gone after stop. Read by property getters under
  // runtimeLock (a GMutex: no C++ object in a GObject instance).
  GMutex runtimeLock;
  VktSrcRuntime* runtime;

  // Streaming thread only: the caps last set.
  int capsWidth;
  int capsHeight;
};

enum {
  PROP_0,
  PROP_ADDRESS,
  PROP_SOURCE,
  PROP_INTERVAL,
  PROP_TIMEOUT,
  PROP_MAX_BUFFERS,
  PROP_LEAKY,
  PROP_CAMERA_HANDLE,
  PROP_STATISTICS,
};

static GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("image/jpeg, width = (int) [ 1, 65535 ], height = (int) [ 1, 65535 ], framerate = (fraction) 0/1"));

#define gst_vkt_src_parent_class parent_class
G_DEFINE_TYPE(GstVktSrc, gst_vkt_src, GST_TYPE_PUSH_SRC)

void gst_vkt_src_register_meta(void) {
  static gsize once = 0;
  if (g_once_init_enter(&once)) {
    const gchar* tags[] = {nullptr};
    // No transform function: the meta and its structure go with every copy.
    g_metaInfo = gst_meta_register_custom(GST_VKT_CAMERA_META_NAME, tags, nullptr, nullptr, nullptr);
    g_once_init_leave(&once, 1);
  }
}

static void SnapLoop(GstVktSrc* self, VktSrcRuntime* rt) {
  auto next = std::chrono::steady_clock::now();
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(rt->snapLock);
      if (rt->snapWake.wait_until(lock, next, [rt] { return rt->snapStop; })) return;
    }
    next += std::chrono::milliseconds(rt->intervalMs);
    rt->snapshotsRequested_.fetch_add(1, std::memory_order_relaxed);
    if (rt->api->SnapPicture(rt->camera, 0, rt->timeoutMs) != 0) {
      int code = rt->api->GetLastError();
      rt->snapshotFailures_.fetch_add(1, std::memory_order_relaxed);
      std::string text = ErrorText(code);
      GST_ELEMENT_WARNING(self, RESOURCE, READ, ("Snapshot failed: %s", text.c_str()),
                          ("VKT_SnapPicture on camera %d: %s", rt->camera, text.c_str()));
    }
    // A slow camera never makes requests pile up.
    auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;
  }
}

// Undoes what a start did, in the order that leaves no callback running:
// stream stopped (waits for its callback), snapshot thread joined, route
// removed (waits for picture callbacks), camera and library released.
static void TearDown(VktSrcRuntime* rt) {
  if (rt->streaming) {
    rt->api->StartStream(rt->camera, nullptr, 0, rt->timeoutMs);
    rt->streaming = false;
  }
  if (rt->snapper.joinable()) {
    {
      std::lock_guard<std::mutex> lock(rt->snapLock);
      rt->snapStop = true;
    }
    rt->snapWake.notify_all();
    rt->snapper.join();
  }
  if (rt->route != 0) {
    vktgst::SharedLibrary::Instance().RemoveRoute(rt->route);
    rt->route = 0;
  }
  if (rt->camera != -1) {
    vktgst::SharedLibrary::Instance().ReleaseCamera(rt->camera);
    rt->camera = -1;
  }
  rt->queue.Clear();
  if (rt->libraryUser) {
    vktgst::SharedLibrary::Instance().Release();
    rt->libraryUser = false;
  }
}

static gboolean gst_vkt_src_start(GstBaseSrc* base) {
  GstVktSrc* self = GST_VKT_SRC(base);
  auto* rt = new VktSrcRuntime(self);
  std::string address;
  unsigned int maxBuffers;
  vktgst::Leaky leaky;
  GST_OBJECT_LOCK(self);
  address = self->address != nullptr ? self->address : "";
  rt->source = self->source;
  rt->timeoutMs = self->timeout;
  rt->intervalMs = self->interval;
  maxBuffers = self->maxBuffers;
  leaky = self->leaky;
  GST_OBJECT_UNLOCK(self);
  rt->queue.Configure(maxBuffers, leaky);
  self->capsWidth = 0;
  self->capsHeight = 0;

  if (address.empty()) {
    GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("No camera address given"), ("set the address property"));
    delete rt;
    return FALSE;
  }
  std::string error;
  rt->api = vktgst::SharedLibrary::Instance().Acquire(&error);
  if (rt->api == nullptr) {
    GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("Cannot start the camera library: %s", error.c_str()), (nullptr));
    delete rt;
    return FALSE;
  }
  rt->libraryUser = true;

  int code = 0;
  rt->camera = vktgst::SharedLibrary::Instance().AcquireCamera(address, rt->timeoutMs, &code);
  if (rt->camera == -1) {
    std::string text = ErrorText(code);
    GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("Cannot add the camera at %s: %s", address.c_str(), text.c_str()),
                      ("VKT_AddCamera_IP(\"%s\"): %s", address.c_str(), text.c_str()));
    TearDown(rt);
    delete rt;
    return FALSE;
  }

  bool stream = rt->source == Source::kStream;
  rt->route = vktgst::SharedLibrary::Instance().AddRoute(rt->camera, stream, rt);
  g_mutex_lock(&self->runtimeLock);
  self->runtime = rt;
  g_mutex_unlock(&self->runtimeLock);

  if (stream) {
    if (rt->api->StartStream(rt->camera, &vktgst::SharedLibrary::OnStream, rt->route, rt->timeoutMs) != 0) {
      code = rt->api->GetLastError();
      std::string text = ErrorText(code);
      GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ,
                        ("Cannot start the video stream of %s: %s", address.c_str(), text.c_str()),
                        ("VKT_StartStream(camera %d): %s", rt->camera, text.c_str()));
      // The library keeps the receiver with the camera after some failures
      // until a stop: give it back. GstBaseSrc does not call stop() after a
      // failed start.
      rt->streaming = true;
      g_mutex_lock(&self->runtimeLock);
      self->runtime = nullptr;
      g_mutex_unlock(&self->runtimeLock);
      TearDown(rt);
      delete rt;
      return FALSE;
    }
    rt->streaming = true;
  } else if (rt->source == Source::kSnapshots) {
    rt->snapper = std::thread(SnapLoop, self, rt);
  }
  GST_INFO_OBJECT(self, "camera %s added as handle %d, source %d", address.c_str(), rt->camera,
                  static_cast<int>(rt->source));
  return TRUE;
}

static gboolean gst_vkt_src_stop(GstBaseSrc* base) {
  GstVktSrc* self = GST_VKT_SRC(base);
  g_mutex_lock(&self->runtimeLock);
  VktSrcRuntime* rt = self->runtime;
  g_mutex_unlock(&self->runtimeLock);
  if (rt == nullptr) return TRUE;
  TearDown(rt);
  g_mutex_lock(&self->runtimeLock);
  self->runtime = nullptr;
  g_mutex_unlock(&self->runtimeLock);
  delete rt;
  return TRUE;
}

static gboolean gst_vkt_src_unlock(GstBaseSrc* base) {
  GstVktSrc* self = GST_VKT_SRC(base);
  g_mutex_lock(&self->runtimeLock);
  if (self->runtime != nullptr) self->runtime->queue.SetFlushing(true);
  g_mutex_unlock(&self->runtimeLock);
  return TRUE;
}

static gboolean gst_vkt_src_unlock_stop(GstBaseSrc* base) {
  GstVktSrc* self = GST_VKT_SRC(base);
  g_mutex_lock(&self->runtimeLock);
  if (self->runtime != nullptr) self->runtime->queue.SetFlushing(false);
  g_mutex_unlock(&self->runtimeLock);
  return TRUE;
}

static GstCaps* CapsFor(int width, int height) {
  return gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, "framerate",
                             GST_TYPE_FRACTION, 0, 1, nullptr);
}

// The caps come from the first frame, so nothing is negotiated before it;
// a reconfigure sets the current caps again.
static gboolean gst_vkt_src_negotiate(GstBaseSrc* base) {
  GstVktSrc* self = GST_VKT_SRC(base);
  if (self->capsWidth == 0) return TRUE;
  GstCaps* caps = CapsFor(self->capsWidth, self->capsHeight);
  gboolean ok = gst_base_src_set_caps(base, caps);
  gst_caps_unref(caps);
  return ok;
}

static GstFlowReturn gst_vkt_src_create(GstPushSrc* push, GstBuffer** out) {
  GstVktSrc* self = GST_VKT_SRC(push);
  // The runtime lives from start to stop, and create runs only in between.
  VktSrcRuntime* rt = self->runtime;
  if (rt == nullptr) return GST_FLOW_FLUSHING;
  vktgst::QueuedFrame frame;
  uint64_t drops = 0;
  if (rt->queue.Pop(&frame, &drops) == vktgst::FrameQueue::PopResult::kFlushing) return GST_FLOW_FLUSHING;

  if (frame.width != self->capsWidth || frame.height != self->capsHeight) {
    GstCaps* caps = CapsFor(frame.width, frame.height);
    gboolean ok = gst_base_src_set_caps(GST_BASE_SRC(push), caps);
    gst_caps_unref(caps);
    if (!ok) {
      gst_buffer_unref(frame.buffer);
      GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("Downstream refused %dx%d JPEG frames", frame.width, frame.height),
                        (nullptr));
      return GST_FLOW_NOT_NEGOTIATED;
    }
    self->capsWidth = frame.width;
    self->capsHeight = frame.height;
  }

  GstClockTime base = gst_element_get_base_time(GST_ELEMENT(self));
  GstClockTime pts = 0;
  if (GST_CLOCK_TIME_IS_VALID(frame.arrival) && GST_CLOCK_TIME_IS_VALID(base) && frame.arrival > base)
    pts = frame.arrival - base;
  GST_BUFFER_PTS(frame.buffer) = pts;
  GST_BUFFER_DTS(frame.buffer) = GST_CLOCK_TIME_NONE;
  if (drops > 0 || rt->pushed_.load(std::memory_order_relaxed) == 0)
    GST_BUFFER_FLAG_SET(frame.buffer, GST_BUFFER_FLAG_DISCONT);
  rt->pushed_.fetch_add(1, std::memory_order_relaxed);
  *out = frame.buffer;
  return GST_FLOW_OK;
}

static GstStructure* StatisticsOf(GstVktSrc* self) {
  GstStructure* s = gst_structure_new_empty("vktsrc-statistics");
  g_mutex_lock(&self->runtimeLock);
  VktSrcRuntime* rt = self->runtime;
  if (rt != nullptr) {
    gst_structure_set(s, "camera", G_TYPE_INT, rt->camera, "frames-received", G_TYPE_UINT64,
                      rt->received_.load(), "buffers-pushed", G_TYPE_UINT64, rt->pushed_.load(),
                      "dropped-not-jpeg", G_TYPE_UINT64, rt->notJpeg_.load(), "dropped-not-playing", G_TYPE_UINT64,
                      rt->notPlaying_.load(), "dropped-queue-full", G_TYPE_UINT64, rt->queue.Dropped(),
                      "snapshots-requested", G_TYPE_UINT64, rt->snapshotsRequested_.load(), "snapshot-failures",
                      G_TYPE_UINT64, rt->snapshotFailures_.load(), nullptr);
    CameraStatistics stats{};
    stats.size = sizeof stats;
    // Sends nothing to the camera: quick enough under the lock.
    if (rt->camera != -1 && rt->api->GetCameraStatistics(rt->camera, &stats, rt->timeoutMs) == 0) {
      for (const auto& c : kCounters) {
        if (c.offset + sizeof(uint64_t) > stats.size) continue;  // an older library fills less
        uint64_t value;
        std::memcpy(&value, reinterpret_cast<const char*>(&stats) + c.offset, sizeof value);
        gst_structure_set(s, c.name, G_TYPE_UINT64, static_cast<guint64>(value), nullptr);
      }
    }
  }
  g_mutex_unlock(&self->runtimeLock);
  return s;
}

static void gst_vkt_src_set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  GstVktSrc* self = GST_VKT_SRC(object);
  GST_OBJECT_LOCK(self);
  switch (id) {
    case PROP_ADDRESS:
      g_free(self->address);
      self->address = g_value_dup_string(value);
      break;
    case PROP_SOURCE:
      self->source = static_cast<Source>(g_value_get_enum(value));
      break;
    case PROP_INTERVAL:
      self->interval = g_value_get_uint(value);
      break;
    case PROP_TIMEOUT:
      self->timeout = g_value_get_uint(value);
      break;
    case PROP_MAX_BUFFERS:
      self->maxBuffers = g_value_get_uint(value);
      break;
    case PROP_LEAKY:
      self->leaky = static_cast<vktgst::Leaky>(g_value_get_enum(value));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
      break;
  }
  GST_OBJECT_UNLOCK(self);
}

static void gst_vkt_src_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  GstVktSrc* self = GST_VKT_SRC(object);
  switch (id) {
    case PROP_CAMERA_HANDLE: {
      g_mutex_lock(&self->runtimeLock);
      g_value_set_int(value, self->runtime != nullptr ? self->runtime->camera : -1);
      g_mutex_unlock(&self->runtimeLock);
      return;
    }
    case PROP_STATISTICS:
      g_value_take_boxed(value, StatisticsOf(self));
      return;
    default:
      break;
  }
  GST_OBJECT_LOCK(self);
  switch (id) {
    case PROP_ADDRESS:
      g_value_set_string(value, self->address);
      break;
    case PROP_SOURCE:
      g_value_set_enum(value, static_cast<gint>(self->source));
      break;
    case PROP_INTERVAL:
      g_value_set_uint(value, self->interval);
      break;
    case PROP_TIMEOUT:
      g_value_set_uint(value, self->timeout);
      break;
    case PROP_MAX_BUFFERS:
      g_value_set_uint(value, self->maxBuffers);
      break;
    case PROP_LEAKY:
      g_value_set_enum(value, static_cast<gint>(self->leaky));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
      break;
  }
  GST_OBJECT_UNLOCK(self);
}

static void gst_vkt_src_finalize(GObject* object) {
  GstVktSrc* self = GST_VKT_SRC(object);
  g_free(self->address);
  g_mutex_clear(&self->runtimeLock);
  G_OBJECT_CLASS(parent_class)->finalize(object);
}

static void gst_vkt_src_class_init(GstVktSrcClass* klass) {
  GObjectClass* gobject = G_OBJECT_CLASS(klass);
  GstElementClass* element = GST_ELEMENT_CLASS(klass);
  GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
  GstPushSrcClass* push = GST_PUSH_SRC_CLASS(klass);

  GST_DEBUG_CATEGORY_INIT(gst_vkt_src_debug, "vktsrc", 0, "VKT traffic camera source");

  gobject->set_property = gst_vkt_src_set_property;
  gobject->get_property = gst_vkt_src_get_property;
  gobject->finalize = gst_vkt_src_finalize;

  const auto rw = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);
  const auto ro = static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS);
  g_object_class_install_property(
      gobject, PROP_ADDRESS,
      g_param_spec_string("address", "Address", "The camera's IPv4 address (dotted); the element adds it by address",
                          nullptr, rw));
  g_object_class_install_property(
      gobject, PROP_SOURCE,
      g_param_spec_enum("source", "Source", "What the element produces", SourceType(),
                        static_cast<gint>(Source::kStream), rw));
  g_object_class_install_property(
      gobject, PROP_INTERVAL,
      g_param_spec_uint("interval", "Interval", "Milliseconds between snapshots (source=snapshots)", 10, 3600000,
                        kDefaultInterval, rw));
  g_object_class_install_property(
      gobject, PROP_TIMEOUT,
      g_param_spec_uint("timeout", "Timeout", "Milliseconds for each call of the camera library", 1, 600000,
                        kDefaultTimeout, rw));
  g_object_class_install_property(
      gobject, PROP_MAX_BUFFERS,
      g_param_spec_uint("max-buffers", "Max buffers",
                        "Frames held between the camera library and the streaming thread", 1, 10000,
                        kDefaultMaxBuffers, rw));
  g_object_class_install_property(
      gobject, PROP_LEAKY,
      g_param_spec_enum("leaky", "Leaky", "Which frame is dropped when the queue is full", LeakyType(),
                        static_cast<gint>(kDefaultLeaky), rw));
  g_object_class_install_property(
      gobject, PROP_CAMERA_HANDLE,
      g_param_spec_int("camera-handle", "Camera handle", "The camera library's handle of the camera (-1: not added)",
                       -1, G_MAXINT, -1, ro));
  g_object_class_install_property(
      gobject, PROP_STATISTICS,
      g_param_spec_boxed("statistics", "Statistics",
                         "The element's counters and the camera library's counters of the camera", GST_TYPE_STRUCTURE,
                         ro));

  gst_element_class_set_static_metadata(element, "VKT traffic camera source", "Source/Video/Network",
                                        "JPEG frames of a networked traffic camera: its video stream, the pictures "
                                        "it pushes, or snapshots",
                                        "VKTNetSDK maintainers <vktnetsdk@localhost>");
  gst_element_class_add_static_pad_template(element, &src_template);
  gst_type_mark_as_plugin_api(SourceType(), static_cast<GstPluginAPIFlags>(0));
  gst_type_mark_as_plugin_api(LeakyType(), static_cast<GstPluginAPIFlags>(0));

  base->start = gst_vkt_src_start;
  base->stop = gst_vkt_src_stop;
  base->unlock = gst_vkt_src_unlock;
  base->unlock_stop = gst_vkt_src_unlock_stop;
  base->negotiate = gst_vkt_src_negotiate;
  push->create = gst_vkt_src_create;
}

static void gst_vkt_src_init(GstVktSrc* self) {
  self->address = nullptr;
  self->source = Source::kStream;
  self->interval = kDefaultInterval;
  self->timeout = kDefaultTimeout;
  self->maxBuffers = kDefaultMaxBuffers;
  self->leaky = kDefaultLeaky;
  g_mutex_init(&self->runtimeLock);
  self->runtime = nullptr;
  self->capsWidth = 0;
  self->capsHeight = 0;
  gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
  gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}
