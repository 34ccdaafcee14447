// vktsrc in real pipelines against emulated cameras in this process's
// private network namespace: caps, time stamps and the camera meta of each
// source, renegotiation, frames that are no JPEG, two cameras, the errors,
// the library's one start for several elements, and stops under load.
#include <arpa/inet.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <string>

#include "emulator.h"
#include "stream_packets.h"
#include "test_support.h"

// LeakSanitizer: GLib allocates once in its load-time constructor and never
// frees (not built with the sanitizer, not ours). Only allocations made
// while libraries load are let through; GLib has no frame pointers, so
// finding the loader in the stack takes the full unwinder.
extern "C" const char* __lsan_default_suppressions() { return "leak:_dl_init\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

using namespace std::chrono_literals;
using vkttest::WaitFor;

struct Unref {
  void operator()(gpointer p) const { gst_object_unref(p); }
};
using ElementPtr = std::unique_ptr<GstElement, Unref>;

struct SampleDeleter {
  void operator()(GstSample* s) const { gst_sample_unref(s); }
};
using SamplePtr = std::unique_ptr<GstSample, SampleDeleter>;

vktemu::CameraConfig Camera(int n) {
  vktemu::CameraConfig c;
  c.address = "127.0.0." + std::to_string(10 + n);
  c.mac = {0x00, 0x1c, 0x27, 0x00, 0x00, static_cast<uint8_t>(0x10 + n)};
  c.model = "VKT-N2F0Kp";  // streams as soon as it is told where
  c.commandPort = static_cast<uint16_t>(30000 + n);
  return c;
}

class VktSrcTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gst_init(nullptr, nullptr);
    GError* error = nullptr;
    GstPlugin* plugin = gst_plugin_load_file(VKTGST_PLUGIN, &error);
    ASSERT_NE(plugin, nullptr) << (error ? error->message : "");
    gst_object_unref(plugin);
  }

  void AddCameras(int n) {
    for (int i = 0; i < n; ++i) ASSERT_EQ(emu_.addCamera(Camera(i)), i);
    std::string error;
    ASSERT_TRUE(emu_.start(&error)) << error;
  }

  ElementPtr Launch(const std::string& description) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    EXPECT_EQ(error, nullptr) << (error ? error->message : "");
    if (error) g_error_free(error);
    return ElementPtr(pipeline);
  }

  static ElementPtr ByName(GstElement* pipeline, const char* name) {
    return ElementPtr(gst_bin_get_by_name(GST_BIN(pipeline), name));
  }

  // The first camera's stream: vktsrc "src" into appsink "sink".
  struct CameraStream {
    ElementPtr pipeline, src, sink;
  };
  CameraStream LaunchCameraStream() {
    CameraStream stream;
    stream.pipeline = Launch("vktsrc name=src address=127.0.0.10 timeout=1000 ! appsink name=sink sync=false");
    stream.src = ByName(stream.pipeline.get(), "src");
    stream.sink = ByName(stream.pipeline.get(), "sink");
    return stream;
  }

  // The elements start (add their cameras, start streams) within the state
  // change; the sinks then complete it with their first buffer, which a
  // picture source may not have yet.
  static bool Play(GstElement* pipeline) {
    return gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
  }

  // Stops the pipeline and says how long that took.
  static long long Stop(GstElement* pipeline) {
    auto start = vkttest::Clock::now();
    gst_element_set_state(pipeline, GST_STATE_NULL);
    return vkttest::MsSince(start);
  }

  static SamplePtr Pull(GstElement* sink, std::chrono::seconds timeout = 10s) {
    return SamplePtr(gst_app_sink_try_pull_sample(GST_APP_SINK(sink), timeout.count() * GST_SECOND));
  }

  static const GstStructure* CameraMeta(GstBuffer* buffer) {
    GstCustomMeta* meta = gst_buffer_get_custom_meta(buffer, "VktCameraMeta");
    return meta ? gst_custom_meta_get_structure(meta) : nullptr;
  }

  static guint64 Counter(GstElement* src, const char* name) {
    GstStructure* stats = nullptr;
    g_object_get(src, "statistics", &stats, nullptr);
    guint64 value = 0;
    if (stats) {
      gst_structure_get_uint64(stats, name, &value);
      gst_structure_free(stats);
    }
    return value;
  }

  // The first error on the bus within the time-out, as "message | debug".
  static std::string ErrorOn(GstElement* pipeline, std::chrono::seconds timeout = 20s) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_timed_pop_filtered(bus, timeout.count() * GST_SECOND, GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (msg == nullptr) return "";
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(msg, &error, &debug);
    std::string text = std::string(error->message) + " | " + (debug ? debug : "");
    g_error_free(error);
    g_free(debug);
    gst_message_unref(msg);
    return text;
  }

  // Whether the library's picture port accepts connections: it listens
  // exactly while the library is started.
  static bool LibraryListening() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(34660);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
  }

  vktemu::Emulator emu_;
};

// The plugin is loaded and an element made: neither loads the library, so
// another process can still claim it; a started element then holds it.
TEST_F(VktSrcTest, OnlyAStartedElementTakesTheLibrarysOneProcessClaim) {
  AddCameras(1);
  auto probe = [] {
    vkttest::Child child({VKT_INSTANCE_PROBE});
    auto line = child.ReadLine(10s);
    child.Wait(10s);
    return line.value_or("no answer");
  };
  ElementPtr idle(GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make("vktsrc", nullptr))));
  ASSERT_NE(idle, nullptr);
  EXPECT_EQ(probe(), "0");
  auto pipeline = Launch("vktsrc address=127.0.0.10 timeout=1000 ! fakesink sync=false");
  ASSERT_TRUE(Play(pipeline.get()));
  EXPECT_EQ(probe(), "-1");
  Stop(pipeline.get());
}

TEST_F(VktSrcTest, StreamFramesCarryCapsRunningTimeAndCameraTime) {
  AddCameras(1);
  auto [pipeline, src, sink] = LaunchCameraStream();
  ASSERT_TRUE(Play(pipeline.get()));
  int handle = -1;
  g_object_get(src.get(), "camera-handle", &handle, nullptr);
  EXPECT_GT(handle, 1);

  GstClockTime last = 0;
  for (int i = 0; i < 10; ++i) {
    auto sample = Pull(sink.get());
    ASSERT_TRUE(sample) << "frame " << i;
    GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
    EXPECT_TRUE(gst_structure_has_name(caps, "image/jpeg"));
    int width = 0, height = 0, num = -1, den = -1;
    EXPECT_TRUE(gst_structure_get_int(caps, "width", &width));
    EXPECT_TRUE(gst_structure_get_int(caps, "height", &height));
    EXPECT_TRUE(gst_structure_get_fraction(caps, "framerate", &num, &den));
    EXPECT_EQ(width, 320);  // the emulator's stream frames
    EXPECT_EQ(height, 240);
    EXPECT_EQ(num, 0);
    EXPECT_EQ(den, 1);

    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstClockTime pts = GST_BUFFER_PTS(buffer);
    ASSERT_TRUE(GST_CLOCK_TIME_IS_VALID(pts));
    if (i > 0) {
      EXPECT_GT(pts, last);
    }
    last = pts;
    // Stamped with the running time on arrival: not in the future, and not
    // older than the few frames the queue holds.
    GstClock* clock = gst_element_get_clock(pipeline.get());
    ASSERT_NE(clock, nullptr);
    GstClockTime now = gst_clock_get_time(clock) - gst_element_get_base_time(pipeline.get());
    gst_object_unref(clock);
    EXPECT_LE(pts, now);
    EXPECT_LT(now - pts, 3 * GST_SECOND);

    const GstStructure* meta = CameraMeta(buffer);
    ASSERT_NE(meta, nullptr);
    EXPECT_STREQ(gst_structure_get_string(meta, "kind"), "stream");
    int camera = 0;
    EXPECT_TRUE(gst_structure_get_int(meta, "camera", &camera));
    EXPECT_EQ(camera, handle);
    // The emulated camera's clock is the host's: its frame times are now.
    guint year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    ASSERT_TRUE(gst_structure_get(meta, "year", G_TYPE_UINT, &year, "month", G_TYPE_UINT, &month, "day",
                                  G_TYPE_UINT, &day, "hour", G_TYPE_UINT, &hour, "minute", G_TYPE_UINT, &minute,
                                  "second", G_TYPE_UINT, &second, nullptr));
    std::tm tm{};
    tm.tm_year = static_cast<int>(year) - 1900;
    tm.tm_mon = static_cast<int>(month) - 1;
    tm.tm_mday = static_cast<int>(day);
    tm.tm_hour = static_cast<int>(hour);
    tm.tm_min = static_cast<int>(minute);
    tm.tm_sec = static_cast<int>(second);
    tm.tm_isdst = -1;
    double skew = std::difftime(std::mktime(&tm), std::time(nullptr));
    EXPECT_LT(std::abs(skew), 60.0) << gst_structure_get_string(meta, "camera-time");
  }
  EXPECT_LT(Stop(pipeline.get()), 10000);
}

TEST_F(VktSrcTest, NewFrameSizeRenegotiatesAndNonJpegFramesAreDroppedAndCounted) {
  AddCameras(1);
  auto [pipeline, src, sink] = LaunchCameraStream();
  ASSERT_TRUE(Play(pipeline.get()));
  ASSERT_TRUE(Pull(sink.get()));

  emu_.setStreamFrameSize(0, 160, 128, 80);
  bool renegotiated = false;
  for (int i = 0; i < 40 && !renegotiated; ++i) {
    auto sample = Pull(sink.get());
    ASSERT_TRUE(sample);
    GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
    int width = 0, height = 0;
    gst_structure_get_int(caps, "width", &width);
    gst_structure_get_int(caps, "height", &height);
    renegotiated = width == 160 && height == 128;
  }
  EXPECT_TRUE(renegotiated);

  // The camera stops its own frames; frames of bytes that are no JPEG
  // follow, complete as far as the library can tell.
  emu_.setStreamRate(0, 0);
  guint64 pushed = Counter(src.get(), "buffers-pushed");
  guint64 before = Counter(src.get(), "dropped-not-jpeg");
  // The lambdas capture a plain pointer: clang before 16 cannot capture a
  // structured binding.
  GstElement* element = src.get();
  ASSERT_TRUE(WaitFor([&] { return Counter(element, "frames-received") == Counter(element, "frames-delivered"); },
                      5s));
  for (int32_t n = 0; n < 3; ++n) ASSERT_TRUE(emu_.sendStreamPackets(0, vkttest::FramePackets(3000, n)));
  EXPECT_TRUE(WaitFor([&] { return Counter(element, "dropped-not-jpeg") == before + 3; }, 10s))
      << Counter(src.get(), "dropped-not-jpeg");
  // Whatever was queued before may still come; none of the three does.
  while (auto sample = Pull(sink.get(), 1s)) {
    GstMapInfo map;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    ASSERT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_READ));
    EXPECT_TRUE(map.size >= 2 && map.data[0] == 0xFF && map.data[1] == 0xD8);
    gst_buffer_unmap(buffer, &map);
  }
  EXPECT_LE(Counter(src.get(), "buffers-pushed"), pushed + 4);  // at most the queue's frames
  Stop(pipeline.get());
}

TEST_F(VktSrcTest, PicturesAndSnapshotsCarryTheirRecords) {
  AddCameras(2);
  auto pipeline = Launch(
      "vktsrc name=pics address=127.0.0.10 source=pictures timeout=1000 ! appsink name=psink sync=false "
      "vktsrc name=snaps address=127.0.0.11 source=snapshots interval=100 timeout=1000 ! appsink name=ssink "
      "sync=false");
  auto psink = ByName(pipeline.get(), "psink");
  auto ssink = ByName(pipeline.get(), "ssink");
  ASSERT_TRUE(Play(pipeline.get()));

  emu_.trigger(0, 4242);
  auto picture = Pull(psink.get());
  ASSERT_TRUE(picture);
  const GstStructure* meta = CameraMeta(gst_sample_get_buffer(picture.get()));
  ASSERT_NE(meta, nullptr);
  EXPECT_STREQ(gst_structure_get_string(meta, "kind"), "picture");
  int value = 0, word24 = 0;
  EXPECT_TRUE(gst_structure_get_int(meta, "value", &value));
  EXPECT_EQ(value, 4242);
  EXPECT_TRUE(gst_structure_get_int(meta, "record-word-24", &word24));
  EXPECT_EQ(static_cast<uint32_t>(word24) & 0xFF000000u, 0x24000000u);
  GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(picture.get()), 0);
  int width = 0;
  gst_structure_get_int(caps, "width", &width);
  EXPECT_EQ(width, 640);  // the emulator's pictures

  for (int i = 0; i < 3; ++i) {
    auto snap = Pull(ssink.get());
    ASSERT_TRUE(snap) << "snapshot " << i;
    EXPECT_NE(CameraMeta(gst_sample_get_buffer(snap.get())), nullptr);
  }
  // The snapshot camera's pictures go to its own element only.
  EXPECT_FALSE(Pull(psink.get(), 1s));
  EXPECT_LT(Stop(pipeline.get()), 10000);
}

TEST_F(VktSrcTest, TwoCamerasInOnePipelineShareOneLibraryStart) {
  AddCameras(2);
  auto first = Launch("vktsrc name=a address=127.0.0.10 timeout=1000 ! appsink name=sa sync=false");
  auto second = Launch("vktsrc name=b address=127.0.0.11 timeout=1000 ! appsink name=sb sync=false");
  auto a = ByName(first.get(), "a");
  auto b = ByName(second.get(), "b");
  EXPECT_FALSE(LibraryListening());  // nothing started the library yet
  ASSERT_TRUE(Play(first.get()));
  ASSERT_TRUE(Play(second.get()));
  ASSERT_TRUE(Pull(ByName(first.get(), "sa").get()));
  ASSERT_TRUE(Pull(ByName(second.get(), "sb").get()));
  int ha = -1, hb = -1;
  g_object_get(a.get(), "camera-handle", &ha, nullptr);
  g_object_get(b.get(), "camera-handle", &hb, nullptr);
  EXPECT_NE(ha, hb);
  EXPECT_TRUE(LibraryListening());

  // The first stop leaves the library to the other element.
  Stop(first.get());
  EXPECT_TRUE(LibraryListening());
  auto sb = ByName(second.get(), "sb");
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Pull(sb.get())) << "after the other stopped, frame " << i;
  // The last stop closes it; a new start starts it again.
  Stop(second.get());
  EXPECT_FALSE(LibraryListening());
  ASSERT_TRUE(Play(first.get()));
  EXPECT_TRUE(Pull(ByName(first.get(), "sa").get()));
  Stop(first.get());
}

TEST_F(VktSrcTest, ErrorsNameTheLibraryCode) {
  AddCameras(5);
  auto missing = Launch("vktsrc address=127.0.0.99 timeout=500 ! fakesink");
  EXPECT_EQ(gst_element_set_state(missing.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  std::string error = ErrorOn(missing.get());
  EXPECT_NE(error.find("VKT_ERR_CAMERA_NOT_FOUND"), std::string::npos) << error;
  EXPECT_NE(error.find("127.0.0.99"), std::string::npos) << error;
  Stop(missing.get());

  // Four stream receivers: the fifth camera's stream is refused.
  std::string many;
  for (int i = 0; i < 5; ++i)
    many += "vktsrc address=127.0.0." + std::to_string(10 + i) + " timeout=1000 ! fakesink sync=false ";
  auto five = Launch(many);
  EXPECT_EQ(gst_element_set_state(five.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  error = ErrorOn(five.get());
  EXPECT_NE(error.find("VKT_ERR_NO_FREE_STREAM"), std::string::npos) << error;
  EXPECT_LT(Stop(five.get()), 20000);
  // Everything was given back: four streams start again.
  std::string four;
  for (int i = 0; i < 4; ++i)
    four += "vktsrc address=127.0.0." + std::to_string(10 + i) + " timeout=1000 ! fakesink sync=false ";
  auto again = Launch(four);
  EXPECT_TRUE(Play(again.get()));
  Stop(again.get());
}

TEST_F(VktSrcTest, StopAndEosUnderLoadNeverHang) {
  AddCameras(2);
  emu_.setStreamRate(0, 200);
  emu_.setStreamRate(1, 200);
  emu_.startTriggers(1, 100);
  for (int round = 0; round < 4; ++round) {
    if (round % 2 == 0) {
      // The sinks take one buffer each and block: the element's queue
      // overflows, the library's threads keep delivering, and the stop must
      // still end everything.
      auto pipeline = Launch(
          "vktsrc name=src address=127.0.0.10 timeout=1000 max-buffers=2 ! appsink max-buffers=1 sync=false "
          "vktsrc address=127.0.0.11 source=pictures timeout=1000 max-buffers=1 leaky=upstream ! "
          "appsink max-buffers=1 sync=false");
      auto src = ByName(pipeline.get(), "src");
      ASSERT_TRUE(Play(pipeline.get()));
      ASSERT_TRUE(WaitFor([&] { return Counter(src.get(), "dropped-queue-full") > 5; }, 10s)) << "round " << round;
      EXPECT_LT(Stop(pipeline.get()), 8000) << "round " << round;
    } else {
      // An EOS reaches elements waiting for their next frame and ends the
      // pipeline while frames keep coming.
      auto pipeline = Launch(
          "vktsrc name=src address=127.0.0.10 timeout=1000 ! fakesink sync=false "
          "vktsrc address=127.0.0.11 source=pictures timeout=1000 ! fakesink sync=false");
      auto src = ByName(pipeline.get(), "src");
      ASSERT_TRUE(Play(pipeline.get()));
      ASSERT_TRUE(WaitFor([&] { return Counter(src.get(), "buffers-pushed") > 20; }, 10s)) << "round " << round;
      gst_element_send_event(pipeline.get(), gst_event_new_eos());
      GstBus* bus = gst_element_get_bus(pipeline.get());
      GstMessage* msg = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND,
                                                   static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
      gst_object_unref(bus);
      ASSERT_NE(msg, nullptr) << "no EOS within 10 s, round " << round;
      EXPECT_EQ(GST_MESSAGE_TYPE(msg), GST_MESSAGE_EOS);
      gst_message_unref(msg);
      EXPECT_LT(Stop(pipeline.get()), 8000) << "round " << round;
    }
  }
  emu_.stopTriggers(1);
}

}  // namespace
