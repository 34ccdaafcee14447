"""Loading the shared library and declaring every export's C signature."""

from __future__ import annotations

import ctypes
import os
import threading
from typing import Optional

from . import records as r

LIBRARY_ENV = "VKTNET_LIBRARY"
LIBRARY_SONAME = "libVKTNetSDK11.so.1"
SDK_VERSION = 257

c_int = ctypes.c_int
c_uint = ctypes.c_uint
c_char_p = ctypes.c_char_p
c_void_p = ctypes.c_void_p
P = ctypes.POINTER

# The data pointers are declared as char* without NUL handling (POINTER of
# c_char): the frames are binary and their length is passed beside them.
PictureCallback = ctypes.CFUNCTYPE(None, P(ctypes.c_char), c_int, P(r.PictureInfo), c_int)
StreamCallback = ctypes.CFUNCTYPE(None, P(ctypes.c_char), c_int, P(r.StreamInfo), c_int)

# The settings: Python name, C name after VKT_Get/VKT_Set/VKT_GetDefault,
# value type (int or a record), and which calls exist: G Get, D GetDefault,
# S Set (records by pointer), V Set taking the record by value.
SETTINGS = (
    ("ae", "AE", int, "GS"),
    ("ae_param", "AEParam", r.AEParam, "GV"),
    ("awb", "AWB", int, "GS"),
    ("awb_param", "AWBParam", r.AWBParam, "GV"),
    ("image_rotation", "ImageRotation", int, "GDS"),
    ("stream_pic_type", "StreamPicType", int, "GDS"),
    ("hot_region", "HotRegion", r.HotRegion, "GDS"),
    ("pic_pixel", "PicPixel", int, "S"),
    ("level_value", "LevelValue", int, "GS"),
    ("device_info", "DeviceInfo", r.DeviceInfo, "GDS"),
    ("camera_temperature", "CameraTemperature", int, "G"),
    ("state", "State", int, "G"),
    ("work_mode", "WorkMode", int, "G"),
    ("camera_mode", "CameraMode", int, "G"),
    ("electricity", "Electricity", int, "G"),
    ("flash_lamp_state", "FlashLampState", int, "G"),
    ("network_param", "NetWorkParam", r.NetWorkParam, "GDS"),
    ("ftp_param", "FTPParam", r.FTPParam, "GDS"),
    ("sntp_param", "SNTPParam", r.SNTPParam, "GDS"),
    ("time_zone", "TimeZone", int, "GDS"),
    ("auto_syn", "AutoSyn", int, "GS"),
    ("flash_lamp", "FlashLamp", r.FlashLampParam, "GDS"),
    ("trigg_input_set", "TriggInputSet", r.TriggInputSet, "GDS"),
    ("its_param", "ITSParam", r.ITSParam, "GDS"),
    ("night_control_param", "NightControlParam", r.NightControlParam, "GDS"),
    ("rs485_info", "RS485Info", r.RS485Info, "GDS"),
    ("rs232_info", "RS232Info", r.RS232Info, "GDS"),
    ("speed_info", "SpeedInfo", r.SpeedInfo, "GDS"),
    ("osd_info", "OSDInfo", r.OSDInfo, "GDS"),
    ("pic_file_name_config", "PicFileNameConfig", r.PicFileNameConfig, "GDS"),
)


def _setting_prototypes():
    for _, stem, kind, calls in SETTINGS:
        out = P(c_int) if kind is int else P(kind)
        if "G" in calls:
            yield "VKT_Get" + stem, [c_int, out, c_uint]
        if "D" in calls:
            yield "VKT_GetDefault" + stem, [c_int, out, c_uint]
        if "S" in calls:
            yield "VKT_Set" + stem, [c_int, c_int if kind is int else P(kind), c_uint]
        if "V" in calls:
            yield "VKT_Set" + stem, [c_int, kind, c_uint]


# Every other export: C name and argument types (all return int).
PROTOTYPES = dict([
    ("VKT_Init", [c_int, P(c_int)]),
    ("VKT_Close", []),
    ("VKT_GetLastError", []),
    ("VKT_SearchCamera", [P(r.DeviceRecord), c_int, P(c_int), c_uint]),
    ("VKT_ChangeCameraIP", [P(r.ChangeIPParam), c_uint]),
    ("VKT_AddCamera", [P(r.DeviceRecord), PictureCallback, c_uint]),
    ("VKT_AddCamera_IP", [c_char_p, PictureCallback, c_uint]),
    ("VKT_DelCamera", [c_int]),
    ("VKT_OpenFlashLamp", [c_int, c_int, c_uint]),
    ("VKT_ResetCamera", [c_int, c_int, c_uint]),
    ("VKT_SaveConfig", [c_int, c_uint]),
    ("VKT_GetParamState", [c_int, c_uint]),
    ("VKT_GetDateTime", [c_int, P(r.SYSTEMTIME), P(c_int), c_uint]),
    ("VKT_SetDateTime", [c_int, P(r.SYSTEMTIME), c_int, c_uint]),
    ("VKT_NTPTiming", [c_int, c_uint]),
    ("VKT_ExportConfigFile", [c_int, c_int, c_char_p, c_uint]),
    ("VKT_ImportConfigFile", [c_int, c_char_p, c_uint]),
    ("VKT_SnapPicture", [c_int, c_int, c_uint]),
    ("VKT_StartStream", [c_int, StreamCallback, c_int, c_uint]),
    ("VKT_GetSDCardState", [c_int, P(r.SDCardState), c_uint]),
    ("VKT_FormatSDCard", [c_int, c_uint]),
    ("VKT_GetFormatSDCardProgress", [c_int, P(c_int), c_uint]),
    ("VKT_GetDirectoryTree", [c_int, P(r.DirectoryTree), c_uint]),
    ("VKT_GetJPGPic", [c_int, c_void_p, P(P(ctypes.c_char)), P(c_int), c_uint]),
    ("VKT_DeleteJPGPic", [c_int, c_void_p, c_uint]),
    ("VKT_GetSearchInterface", [P(r.DeviceRecord), c_char_p, c_int]),
    ("VKT_GetCameraStatistics", [c_int, P(r.CameraStatistics), c_uint]),
    ("VKT_GetLibraryStatistics", [P(r.LibraryStatistics)]),
] + list(_setting_prototypes()))

# SetLogOutput has C++ linkage: its symbol is the mangled name.
SET_LOG_OUTPUT_SYMBOL = "_Z12SetLogOutputv"

_loaded = {}
_load_lock = threading.Lock()


def library_path(path: Optional[str] = None) -> str:
    """The file to load: `path`, else $VKTNET_LIBRARY, else the soname found
    through the dynamic loader's search path."""
    return path or os.environ.get(LIBRARY_ENV) or LIBRARY_SONAME


def load(path: Optional[str] = None) -> ctypes.CDLL:
    """Loads the library once per file and declares its functions. A
    function the file lacks (an older library) is left undeclared: calling
    it raises AttributeError; missing_functions() names them."""
    name = library_path(path)
    with _load_lock:
        lib = _loaded.get(name)
        if lib is None:
            lib = ctypes.CDLL(name)
            for function, argtypes in list(PROTOTYPES.items()) + [(SET_LOG_OUTPUT_SYMBOL, [])]:
                try:
                    f = getattr(lib, function)
                except AttributeError:
                    continue
                f.argtypes = argtypes
                f.restype = c_int
            _loaded[name] = lib
        return lib


def missing_functions(lib: ctypes.CDLL) -> list:
    """The declared functions that `lib` does not export."""
    missing = []
    for function in list(PROTOTYPES) + [SET_LOG_OUTPUT_SYMBOL]:
        try:
            getattr(lib, function)
        except AttributeError:
            missing.append(function)
    return missing
