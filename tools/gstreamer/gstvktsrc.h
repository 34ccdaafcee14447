// vktsrc: a live source of a camera's JPEG frames (its video stream, the
// pictures it pushes, or snapshots taken at an interval).
#pragma once

#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_VKT_SRC (gst_vkt_src_get_type())
G_DECLARE_FINAL_TYPE(GstVktSrc, gst_vkt_src, GST, VKT_SRC, GstPushSrc)

// The meta every buffer carries: a GstCustomMeta of this name whose
// structure holds the camera's time and record words (see docs/gstreamer.md).
#define GST_VKT_CAMERA_META_NAME "VktCameraMeta"

// Registers the meta (once); called from the plugin's init.
void gst_vkt_src_register_meta(void);

G_END_DECLS
