"""A camera added to the library, with a method for every camera call."""

from __future__ import annotations

import ctypes
import datetime as _dt
import os
from typing import Callable, List, Optional, Tuple, Union

from . import _native
from . import records as r
from .errors import VKT_OK, VKTError
from .library import Library, int_arg, timeout_arg


class Camera:
    """A camera added with VKT_AddCamera (a Device or DeviceRecord from a
    search) or VKT_AddCamera_IP (an address text, searched first). Use it as
    a context manager to delete it on exit.

    ``on_picture(Picture)`` receives the pictures the camera pushes, on a
    library thread (see Library for the rules callbacks follow). Every call
    takes ``timeout_ms``; None uses the camera's ``timeout_ms``. Failures
    raise VKTError.

    Settings have generated methods: ``get_NAME()``, ``get_default_NAME()``
    and ``set_NAME(value)`` for the names in SETTINGS (``image_rotation``,
    ``ae_param``, ...), as the camera model offers them. Plain settings are
    ints; records are the Structures of vktnet.records, and a set also takes
    a list of words or bytes for them.
    """

    def __init__(self, library: Library, target: Union[r.Device, r.DeviceRecord, str],
                 on_picture: Optional[Callable[[r.Picture], None]] = None, timeout_ms: int = 3000):
        self.library = library
        self.timeout_ms = timeout_arg(timeout_ms)
        self.device: Optional[r.Device] = None
        thunk = library.picture_thunk(on_picture) if on_picture is not None else _native.PictureCallback()
        c = library.c
        if isinstance(target, r.Device):
            self.device = target
            handle = c.VKT_AddCamera(ctypes.byref(target.record), thunk, self.timeout_ms)
            function = "VKT_AddCamera"
        elif isinstance(target, r.DeviceRecord):
            self.device = r.Device.from_record(target)
            handle = c.VKT_AddCamera(ctypes.byref(target), thunk, self.timeout_ms)
            function = "VKT_AddCamera"
        elif isinstance(target, str):
            handle = c.VKT_AddCamera_IP(target.encode("ascii"), thunk, self.timeout_ms)
            function = "VKT_AddCamera_IP"
        else:
            raise TypeError("add a camera by Device, DeviceRecord or address text, not %r" % (target,))
        # -1 is a failure, 1 "not started"; a handle is never either.
        if handle in (-1, 1):
            raise VKTError(c.VKT_GetLastError(), function)
        self.handle = handle
        self.deleted = False
        library.lent_lock(handle)  # exists before close() looks for it
        self._stream_thunk = None

    def __repr__(self):
        where = self.device.ip if self.device else "?"
        return "<Camera handle=%d %s%s>" % (self.handle, where, " deleted" if self.deleted else "")

    def __enter__(self) -> "Camera":
        return self

    def __exit__(self, *exc_info) -> None:
        if not self.deleted and self.library.is_open:
            self.delete()

    def _t(self, timeout_ms) -> int:
        return self.timeout_ms if timeout_ms is None else timeout_arg(timeout_ms)

    def _call(self, function: str, *args) -> None:
        self.library.check(getattr(self.library.c, function)(self.handle, *args), function)

    def delete(self) -> None:
        """Deletes the camera (VKT_DelCamera). The handle stays on the
        object: later calls fail with VKT_ERR_INVALID_HANDLE."""
        with self.library.lent_lock(self.handle):  # not while a lent buffer is being copied
            self.library.check(self.library.c.VKT_DelCamera(self.handle), "VKT_DelCamera")
        self.deleted = True

    # ------------------------------------------------------------ state, actions

    def is_ready(self, timeout_ms=None) -> bool:
        """True when no configuration save is pending (VKT_GetParamState);
        False while one is; VKTError when the save failed or for any other
        failure."""
        result = self.library.c.VKT_GetParamState(self.handle, self._t(timeout_ms))
        if result == 0:
            return True
        error = VKTError(self.library.c.VKT_GetLastError(), "VKT_GetParamState")
        if error.name == "VKT_ERR_SAVE_PENDING":
            return False
        raise error

    def open_flash_lamp(self, value: int, timeout_ms=None) -> None:
        self._call("VKT_OpenFlashLamp", int_arg(value), self._t(timeout_ms))

    def reset(self, mode: int, timeout_ms=None) -> None:
        """Restarts the camera (mode 0 or 1)."""
        self._call("VKT_ResetCamera", int_arg(mode), self._t(timeout_ms))

    def save_config(self, timeout_ms=None) -> None:
        """Makes the camera store its settings permanently."""
        self._call("VKT_SaveConfig", self._t(timeout_ms))

    def ntp_sync(self, timeout_ms=None) -> None:
        """Makes the camera synchronise its clock now (VKT_NTPTiming)."""
        self._call("VKT_NTPTiming", self._t(timeout_ms))

    def get_date_time(self, timeout_ms=None) -> Tuple[Optional[_dt.datetime], int]:
        """The camera's clock as a naive datetime, and its extra word."""
        when = r.SYSTEMTIME()
        extra = ctypes.c_int(0)
        self._call("VKT_GetDateTime", ctypes.byref(when), ctypes.byref(extra), self._t(timeout_ms))
        return when.to_datetime(), extra.value

    def set_date_time(self, when: Union[_dt.datetime, r.SYSTEMTIME], extra: int = 0, timeout_ms=None) -> None:
        """Sets the camera's clock (a naive datetime, as the camera keeps it;
        milliseconds are sent, finer parts dropped)."""
        record = when if isinstance(when, r.SYSTEMTIME) else r.SYSTEMTIME.from_datetime(when)
        self._call("VKT_SetDateTime", ctypes.byref(record), int_arg(extra), self._t(timeout_ms))

    def statistics(self, timeout_ms=None) -> r.CameraStatistics:
        """The camera's counters since it was added (sends nothing)."""
        stats = r.CameraStatistics.request()
        self._call("VKT_GetCameraStatistics", ctypes.byref(stats), self._t(timeout_ms))
        return stats

    # ------------------------------------------------------------ configuration file

    def export_config(self, path: Union[str, os.PathLike], timeout_ms=None) -> None:
        """Writes the camera's configuration file (652 bytes)."""
        c = self.library.c
        if c.VKT_ExportConfigFile(self.handle, 0, os.fsencode(path), self._t(timeout_ms)) != 0:
            code = c.VKT_GetLastError()
            if code == VKT_OK:  # the file could not be written; no camera error
                raise OSError("cannot write the configuration file %s" % os.fspath(path))
            raise VKTError(code, "VKT_ExportConfigFile")

    def import_config(self, path: Union[str, os.PathLike], timeout_ms=None) -> None:
        """Applies a configuration file written by export_config."""
        c = self.library.c
        if c.VKT_ImportConfigFile(self.handle, os.fsencode(path), self._t(timeout_ms)) != 0:
            code = c.VKT_GetLastError()
            if code == VKT_OK:
                raise OSError("cannot read the configuration file %s (or it is too short)" % os.fspath(path))
            raise VKTError(code, "VKT_ImportConfigFile")

    # ------------------------------------------------------------ pictures, stream

    def snapshot(self, value: int = 0, timeout_ms=None) -> None:
        """Asks for a picture now. It arrives through on_picture, possibly
        before this returns; `value` comes back as the picture's value."""
        self._call("VKT_SnapPicture", int_arg(value), self._t(timeout_ms))

    def start_stream(self, callback: Callable[[r.StreamFrame], None], user: int = 0, timeout_ms=None) -> None:
        """Starts the video stream: `callback(StreamFrame)` gets each
        complete frame, one after the other, on the stream's library thread,
        with the stream's lock held (it must not start or stop this
        camera's stream)."""
        thunk = self.library.stream_thunk(callback)
        self._call("VKT_StartStream", thunk, int_arg(user), self._t(timeout_ms))
        self._stream_thunk = thunk

    def stop_stream(self, timeout_ms=None) -> None:
        """Stops the stream; no frame callback runs after this returns."""
        self._call("VKT_StartStream", _native.StreamCallback(), 0, self._t(timeout_ms))
        self._stream_thunk = None

    # ------------------------------------------------------------ SD card

    def sd_state(self, timeout_ms=None) -> r.SDCardState:
        """The SD card's state words (``.words``), as the camera reports them."""
        state = r.SDCardState()
        self._call("VKT_GetSDCardState", ctypes.byref(state), self._t(timeout_ms))
        return state

    def format_sd(self, timeout_ms=None) -> None:
        """Starts formatting the SD card."""
        self._call("VKT_FormatSDCard", self._t(timeout_ms))

    def format_progress(self, timeout_ms=None) -> int:
        progress = ctypes.c_int(0)
        self._call("VKT_GetFormatSDCardProgress", ctypes.byref(progress), self._t(timeout_ms))
        return progress.value

    def list_directory(self, path: Union[str, bytes] = "/", timeout_ms=None) -> Optional[List[Tuple[int, str]]]:
        """The entries of a directory on the SD card as (value, name) pairs
        (value camera-defined: -1 for a directory and the size in bytes for
        a picture on most cameras). None when the camera answers that it has
        no tree (no card, or formatting)."""
        tree = r.DirectoryTree()
        r._put_text(tree, "path", path)
        with self.library.lending(self.handle):
            self._call("VKT_GetDirectoryTree", ctypes.byref(tree), self._t(timeout_ms))
            # The entries are lent until the next listing on this camera:
            # copied out under the lock that every listing takes.
            if not tree.entries:
                return None
            return [(tree.entries[i].value, tree.entries[i].name.decode("utf-8", errors="replace"))
                    for i in range(tree.count)]

    def fetch_picture(self, path: Union[str, bytes], timeout_ms=None) -> bytes:
        """A stored picture, by its full path ("/20261209/103015_001.jpg")."""
        block = r.DirectoryEntry.for_path(path)
        picture = ctypes.POINTER(ctypes.c_char)()
        length = ctypes.c_int(0)
        with self.library.lending(self.handle):
            self._call("VKT_GetJPGPic", ctypes.byref(block), ctypes.byref(picture), ctypes.byref(length),
                       self._t(timeout_ms))
            return ctypes.string_at(picture, length.value) if picture and length.value > 0 else b""

    def delete_picture(self, path: Union[str, bytes], timeout_ms=None) -> None:
        """Deletes a stored picture, by its full path."""
        block = r.DeleteName.for_path(path)
        self._call("VKT_DeleteJPGPic", ctypes.byref(block), self._t(timeout_ms))


# ---------------------------------------------------------------- settings

def _coerce(kind, value):
    if isinstance(value, kind):
        return value
    if kind is r.NetWorkParam:
        raise TypeError("set_network_param takes a NetWorkParam (NetWorkParam.of(ip, word1, word2))")
    return kind.of(value)


def _getter(function: str, kind):
    if kind is int:
        def get(self, timeout_ms=None) -> int:
            out = ctypes.c_int(0)
            self._call(function, ctypes.byref(out), self._t(timeout_ms))
            return out.value
    else:
        def get(self, timeout_ms=None):
            out = kind()
            self._call(function, ctypes.byref(out), self._t(timeout_ms))
            return out
    return get


def _setter(function: str, kind, by_value: bool):
    if kind is int:
        def set_(self, value: int, timeout_ms=None) -> None:
            self._call(function, int_arg(value), self._t(timeout_ms))
    elif by_value:
        def set_(self, value, timeout_ms=None) -> None:
            self._call(function, _coerce(kind, value), self._t(timeout_ms))
    else:
        def set_(self, value, timeout_ms=None) -> None:
            self._call(function, ctypes.byref(_coerce(kind, value)), self._t(timeout_ms))
    return set_


def _install_settings() -> None:
    for name, stem, kind, calls in _native.SETTINGS:
        what = "an int" if kind is int else kind.__name__
        methods = []
        if "G" in calls:
            methods.append(("get_" + name, "VKT_Get" + stem, _getter("VKT_Get" + stem, kind),
                            "Reads %s (%s)." % (name, what)))
        if "D" in calls:
            methods.append(("get_default_" + name, "VKT_GetDefault" + stem,
                            _getter("VKT_GetDefault" + stem, kind),
                            "Reads the factory value of %s (%s)." % (name, what)))
        if "S" in calls or "V" in calls:
            methods.append(("set_" + name, "VKT_Set" + stem, _setter("VKT_Set" + stem, kind, "V" in calls),
                            "Writes %s (%s)." % (name, what)))
        for method_name, function, method, doc in methods:
            method.__name__ = method.__qualname__ = method_name
            method.__doc__ = "%s Calls %s." % (doc, function)
            setattr(Camera, method_name, method)


_install_settings()
