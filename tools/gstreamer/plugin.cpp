// The gstvktnet plugin. Registering it touches GStreamer only: the camera
// library is loaded when a vktsrc element starts.
#include <gst/gst.h>

#include "gstvktsrc.h"

static gboolean plugin_init(GstPlugin* plugin) {
  gst_vkt_src_register_meta();
  return gst_element_register(plugin, "vktsrc", GST_RANK_NONE, GST_TYPE_VKT_SRC);
}

#define PACKAGE "vktnetsdk"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vktnet,
                  "Networked traffic cameras (VKTNetSDK11): video stream, pushed pictures, snapshots", plugin_init,
                  VKTGST_VERSION, "unknown", "vktnetsdk", "https://localhost/vktnetsdk")
