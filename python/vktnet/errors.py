"""The library's last-error codes and the exception that carries them."""

from __future__ import annotations

VKT_OK = 0

# Copied from the VKT_ERR_* macros of VKTNetSDK11.h: name, code (as the
# unsigned 32-bit value the header writes), and the header's comment. A test
# compares this table with the header line by line.
ERROR_TABLE = (
    ("VKT_ERR_NOT_STARTED", 0xFFFFFFFF, "VKT_Init has not succeeded (or VKT_Close ran)"),
    ("VKT_ERR_GENERAL", 0x80000001, "stream receiver could not be set up or registered"),
    ("VKT_ERR_INVALID_HANDLE", 0x80000002, "the handle names no registered camera"),
    ("VKT_ERR_CAMERA_REFUSED", 0x80000004, "reply status -1"),
    ("VKT_ERR_REPLY_MISMATCH", 0x80000005, "reply command or sequence differs from the request"),
    ("VKT_ERR_INVALID_PARAM", 0x80000006,
     "argument or reply value out of range, null pointer, buffer too small, status -3"),
    ("VKT_ERR_CAMERA_NOT_FOUND", 0x80000007, "no camera found at the given address"),
    ("VKT_ERR_NETWORK", 0x80000100, "connect, send or receive failed (not a time-out)"),
    ("VKT_ERR_TIMEOUT", 0x80000101, "the time-out ran out"),
    ("VKT_ERR_CAMERA_BUSY", 0x80000200, "reply status -2"),
    ("VKT_ERR_NO_VIDEO_STREAM", 0x80000202, "the camera's model has no stream mode"),
    ("VKT_ERR_NOT_SUPPORTED", 0x80000203, "not supported by the camera's model"),
    ("VKT_ERR_REPLY_OUT_OF_RANGE", 0x80000204, "reply value outside this library's range"),
    ("VKT_ERR_SAVE_PENDING", 0x80000300, "a configuration save has not completed yet"),
    ("VKT_ERR_SAVE_FAILED", 0x80000301, "the configuration save failed"),
    ("VKT_ERR_SNAP_NOT_SENT", 0x80000400, "snapshot request could not be sent"),
    ("VKT_ERR_SNAP_NO_REPLY", 0x80000401, "snapshot reply did not arrive"),
    ("VKT_ERR_SNAP_REFUSED", 0x80000402, "snapshot refused by the camera"),
    ("VKT_ERR_NO_PICTURE_CALLBACK", 0x80000403, "snapshot on a camera added without a picture callback"),
    ("VKT_ERR_NTP_FAILED", 0x80000500, "NTP synchronisation failed"),
    ("VKT_ERR_NTP_TIMEOUT", 0x80000501, "NTP synchronisation not confirmed in time"),
    ("VKT_ERR_NO_FREE_STREAM", 0x80000800, "all stream receivers are in use"),
    ("VKT_ERR_CONTEXT_CREATION", 0x80001000, "the camera context could not be created"),
)

ERROR_NAMES = {code: name for name, code, _ in ERROR_TABLE}
ERROR_DESCRIPTIONS = {code: text for _, code, text in ERROR_TABLE}

# Module constants under the header's names, e.g. errors.VKT_ERR_TIMEOUT.
globals().update({name: code for name, code, _ in ERROR_TABLE})


def error_name(code: int) -> str:
    """The header's name of a last-error code (signed or unsigned form)."""
    code &= 0xFFFFFFFF
    if code == VKT_OK:
        return "VKT_OK"
    return ERROR_NAMES.get(code, "VKT_ERR_UNKNOWN_0x%08X" % code)


class VKTError(Exception):
    """A library call failed.

    ``code`` is the last error as an unsigned 32-bit number (0x80000101 for
    VKT_ERR_TIMEOUT), ``name`` its header name, ``function`` the C function
    that failed.
    """

    def __init__(self, code: int, function: str = "", message: str = ""):
        self.code = code & 0xFFFFFFFF
        self.name = error_name(self.code)
        self.function = function
        text = message or ERROR_DESCRIPTIONS.get(self.code, "unknown error")
        where = function + ": " if function else ""
        super().__init__("%s%s (0x%08X): %s" % (where, self.name, self.code, text))


class StartError(VKTError):
    """VKT_Init refused: ``in_use`` when another process of this network
    namespace already uses the library, otherwise the version was refused or
    the start failed (``result`` is VKT_Init's result, -1 or 1)."""

    def __init__(self, result: int):
        self.result = result
        self.in_use = result == -1
        if self.in_use:
            message = "another process in this network namespace uses the library"
        else:
            message = "the library refused to start"
        super().__init__(0xFFFFFFFF, "VKT_Init", message)
