"""The library's lifecycle, discovery, and the callback plumbing."""

from __future__ import annotations

import atexit
import contextlib
import ctypes
import logging
import sys
import threading
from typing import Callable, List, Optional, Union

from . import _native
from . import records as r
from .errors import VKT_ERR_INVALID_PARAM, VKT_ERR_NOT_STARTED, StartError, VKTError

logger = logging.getLogger("vktnet")

_active_lock = threading.Lock()
_active: Optional["Library"] = None
# Depth of library callbacks running on this thread: close() is refused there.
_callback_state = threading.local()


def in_library_callback() -> bool:
    """True on a library thread while it runs one of this binding's callbacks."""
    return getattr(_callback_state, "depth", 0) > 0


def timeout_arg(timeout_ms) -> int:
    value = int(timeout_ms)
    if not 0 <= value <= 0xFFFFFFFF:
        raise ValueError("time-out out of range (0..4294967295 ms): %r" % (timeout_ms,))
    return value


def int_arg(value, what: str = "value") -> int:
    value = int(value)
    if not -0x80000000 <= value <= 0x7FFFFFFF:
        raise ValueError("%s out of the C int range: %r" % (what, value))
    return value


def _default_callback_error(exc: BaseException, where: str) -> None:
    logger.error("exception in %s", where, exc_info=(type(exc), exc, exc.__traceback__))


class Library:
    """The started library. Use it as a context manager (VKT_Init on entry,
    VKT_Close on exit); one may be open per process at a time, and only one
    process per network namespace may use the library at all.

    Callbacks (pictures, stream frames) run on the library's own threads:
    keep them short, never call close() from them (refused), and do not
    start or stop the stream of the camera whose frame is being delivered.
    An exception a callback raises is caught and handed to
    ``on_callback_error(exception, where)`` (by default logged on the
    "vktnet" logger); it never reaches C.
    """

    def __init__(self, path: Optional[str] = None,
                 on_callback_error: Optional[Callable[[BaseException, str], None]] = None):
        self._c = _native.load(path)
        self.on_callback_error = on_callback_error or _default_callback_error
        self._open = False
        self._closing = False
        self._state_lock = threading.Lock()
        # ctypes callback objects handed to C. C may call them until
        # VKT_Close returns, so they are released only then.
        self._thunks: list = []
        # Per camera handle: guards the buffers the library lends (listing,
        # stored picture) until they are copied out.
        self._lent_locks: dict = {}

    # ------------------------------------------------------------ lifecycle

    @property
    def c(self) -> ctypes.CDLL:
        """The loaded shared library, every export declared."""
        return self._c

    @property
    def is_open(self) -> bool:
        return self._open

    def open(self) -> "Library":
        global _active
        with _active_lock:
            if self._open:
                return self
            if _active is not None and _active is not self:
                raise RuntimeError("another vktnet.Library is open in this process")
            supported = ctypes.c_int(0)
            result = self._c.VKT_Init(_native.SDK_VERSION, ctypes.byref(supported))
            if result != 0:
                raise StartError(result)
            self._open = True
            self._closing = False
            _active = self
        return self

    def close(self) -> None:
        """Stops the library: every camera is deleted, every receiver thread
        joined; no callback runs after this returns."""
        global _active
        if in_library_callback():
            raise RuntimeError("close() called from a library callback")
        with _active_lock:
            if not self._open:
                return
            # Closing deletes every camera and the buffers they lend. Wait
            # for the copies in progress, and let no new one start; the
            # locks are not held across VKT_Close, which waits for callbacks
            # that may themselves be copying.
            with self._state_lock:
                held = list(self._lent_locks.values())
            for lock in held:
                lock.acquire()
            self._closing = True
            for lock in held:
                lock.release()
            if self._c.VKT_Close() != 0:
                self._closing = False
                raise RuntimeError("VKT_Close refused (called from a library thread)")
            self._open = False
            with self._state_lock:
                self._thunks.clear()
                self._lent_locks.clear()
            if _active is self:
                _active = None

    def __enter__(self) -> "Library":
        return self.open()

    def __exit__(self, *exc_info) -> None:
        self.close()

    # ------------------------------------------------------------ errors

    def last_error(self) -> int:
        """The calling thread's last error, unsigned (0 when none)."""
        return self._c.VKT_GetLastError() & 0xFFFFFFFF

    def check(self, result: int, function: str) -> None:
        """Raises VKTError with this thread's last error unless `result` is 0."""
        if result != 0:
            raise VKTError(self._c.VKT_GetLastError(), function)

    def set_log_output(self) -> int:
        """Silences the logging of the library's network layer for the
        calling thread (SetLogOutput)."""
        return getattr(self._c, _native.SET_LOG_OUTPUT_SYMBOL)()

    # ------------------------------------------------------------ discovery

    def search(self, timeout_ms: int = 1000, capacity: int = 64) -> List[r.Device]:
        """Broadcasts a search for `timeout_ms` (0: no new search, the last
        result) and returns the cameras found, in the order they answered."""
        timeout = timeout_arg(timeout_ms)
        count = ctypes.c_int(0)
        records = (r.DeviceRecord * capacity)()
        result = self._c.VKT_SearchCamera(records, capacity, ctypes.byref(count), timeout)
        # More cameras than room: fetch the stored result into a larger array.
        for _ in range(8):
            if result == 0:
                break
            code = self._c.VKT_GetLastError() & 0xFFFFFFFF
            if code != VKT_ERR_INVALID_PARAM or count.value <= capacity:
                raise VKTError(code, "VKT_SearchCamera")
            capacity = count.value
            records = (r.DeviceRecord * capacity)()
            result = self._c.VKT_SearchCamera(records, capacity, ctypes.byref(count), 0)
        self.check(result, "VKT_SearchCamera")
        return [r.Device.from_record(records[i]) for i in range(count.value)]

    def change_ip(self, camera: Union[r.Device, str, bytes], ip,
                  address_word1=None, address_word2=None, timeout_ms: int = 1000) -> None:
        """Gives a camera a new address by broadcast, and waits for its echo.

        `camera` is a Device from search() (its address words are kept unless
        given) or a MAC address (then both words must be given). Words and
        `ip` are dotted text or network-order words. Search again afterwards
        to reach the camera at its new address."""
        param = r.ChangeIPParam()
        if isinstance(camera, r.Device):
            ctypes.memmove(ctypes.addressof(param), ctypes.addressof(camera.record), ctypes.sizeof(param))
        else:
            if address_word1 is None or address_word2 is None:
                raise ValueError("a camera given by MAC needs both address words")
            param.macAddress[:] = list(r.mac_bytes(camera))
        param.ipAddress = r.ipv4_word(ip)
        if address_word1 is not None:
            param.addressWord1 = r.ipv4_word(address_word1)
        if address_word2 is not None:
            param.addressWord2 = r.ipv4_word(address_word2)
        self.check(self._c.VKT_ChangeCameraIP(ctypes.byref(param), timeout_arg(timeout_ms)),
                   "VKT_ChangeCameraIP")

    def search_interface(self, device: Union[r.Device, r.DeviceRecord]) -> str:
        """The network interface on which the last search heard this camera
        ("" when the system did not say)."""
        record = device.record if isinstance(device, r.Device) else device
        name = ctypes.create_string_buffer(64)
        self.check(self._c.VKT_GetSearchInterface(ctypes.byref(record), name, len(name)),
                   "VKT_GetSearchInterface")
        return name.value.decode("utf-8", errors="replace")

    def statistics(self) -> r.LibraryStatistics:
        """The counters that belong to no camera (works before open())."""
        stats = r.LibraryStatistics.request()
        self.check(self._c.VKT_GetLibraryStatistics(ctypes.byref(stats)), "VKT_GetLibraryStatistics")
        return stats

    # ------------------------------------------------------------ cameras

    def add_camera(self, target, on_picture=None, timeout_ms: int = 3000):
        """Adds a camera (a Device, a DeviceRecord, or an address to search
        for) and returns its Camera; see Camera."""
        from .camera import Camera
        return Camera(self, target, on_picture=on_picture, timeout_ms=timeout_ms)

    # ------------------------------------------------------------ internals

    def lent_lock(self, handle: int) -> threading.Lock:
        with self._state_lock:
            return self._lent_locks.setdefault(handle, threading.Lock())

    @contextlib.contextmanager
    def lending(self, handle: int):
        """Held around a call that borrows a buffer of the camera's and the
        copy out of it: the next such call and close() wait for it."""
        with self.lent_lock(handle):
            if self._closing:
                raise VKTError(VKT_ERR_NOT_STARTED, "", "the library is closing")
            yield

    def keep(self, thunk) -> None:
        with self._state_lock:
            self._thunks.append(thunk)

    def report_callback_error(self, exc: BaseException, where: str) -> None:
        try:
            self.on_callback_error(exc, where)
        except BaseException:  # the reporter itself failed: last resort
            try:
                sys.stderr.write("vktnet: exception in %s: %r\n" % (where, exc))
            except BaseException:
                pass

    def picture_thunk(self, callback: Callable[[r.Picture], None]):
        """A C picture callback calling `callback(Picture)`, kept alive
        until close()."""
        return self._thunk(_native.PictureCallback, r.Picture, callback, "a picture callback")

    def stream_thunk(self, callback: Callable[[r.StreamFrame], None]):
        """A C stream callback calling `callback(StreamFrame)`, kept alive
        until close()."""
        return self._thunk(_native.StreamCallback, r.StreamFrame, callback, "a stream callback")

    def _thunk(self, c_type, record, callback, where):
        def call(data, length, info, tag):
            _callback_state.depth = getattr(_callback_state, "depth", 0) + 1
            try:
                payload = ctypes.string_at(data, length) if data and length > 0 else b""
                callback(record.from_c(payload, info.contents, tag))
            except BaseException as exc:  # never let an exception reach C
                self.report_callback_error(exc, where)
            finally:
                _callback_state.depth -= 1

        thunk = c_type(call)
        self.keep(thunk)
        return thunk


@atexit.register
def _close_at_exit() -> None:
    # Library threads calling into a finalising interpreter would crash it.
    library = _active
    if library is not None:
        try:
            library.close()
        except Exception:
            pass
