"""Python binding of libVKTNetSDK11, the client library for networked
traffic cameras, through ctypes.

    import vktnet
    with vktnet.Library() as lib:
        device = lib.search(1000)[0]
        with lib.add_camera(device, on_picture=print) as camera:
            print(camera.get_image_rotation())
            camera.snapshot()

The shared library is loaded from $VKTNET_LIBRARY, else as
libVKTNetSDK11.so.1 through the dynamic loader's search path.
"""

from . import errors, records
from ._native import LIBRARY_ENV, LIBRARY_SONAME, PROTOTYPES, SDK_VERSION, SETTINGS, load, missing_functions
from .camera import Camera
from .errors import ERROR_TABLE, VKT_OK, StartError, VKTError, error_name
from .library import Library, in_library_callback
from .records import (
    AEParam, AWBParam, CameraStatistics, CameraTime, ChangeIPParam, LibraryStatistics, DeleteName, Device, DeviceInfo, DeviceRecord,
    DirectoryEntry, DirectoryTree, FlashLampParam, FTPParam, HotRegion, ITSParam, NetWorkParam,
    NightControlParam, OSDInfo, PicFileNameConfig, Picture, PictureInfo, RS232Info, RS485Info,
    SDCardState, SNTPParam, SpeedInfo, StreamFrame, StreamInfo, SYSTEMTIME, TriggInputEntry,
    TriggInputSet,
)

# The error codes under the header's names: vktnet.VKT_ERR_TIMEOUT etc.
globals().update({name: code for name, code, _ in ERROR_TABLE})

__version__ = "1.0.0"
