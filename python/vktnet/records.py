"""The header's records as ctypes Structures, with conversions to Python.

Layouts follow VKTNetSDK11.h field by field; ``RECORD_SIZES`` holds the
sizes the header asserts, checked at import so a layout slip cannot reach C.
"""

from __future__ import annotations

import ctypes
import datetime as _dt
import ipaddress
import sys
from dataclasses import dataclass, field
from typing import Iterable, Optional, Sequence, Tuple, Union

c_int32 = ctypes.c_int32
c_uint32 = ctypes.c_uint32
c_uint16 = ctypes.c_uint16
c_uint8 = ctypes.c_uint8
c_char = ctypes.c_char


# ------------------------------------------------------------ conversions

def ipv4_text(word: int) -> str:
    """A 32-bit word holding an IPv4 address in network byte order, as text."""
    return str(ipaddress.IPv4Address(int(word & 0xFFFFFFFF).to_bytes(4, sys.byteorder)))


def ipv4_word(address: Union[str, int, ipaddress.IPv4Address]) -> int:
    """Dotted text (or an IPv4Address) as the network-byte-order word the
    records hold; an int is taken as such a word already."""
    if isinstance(address, int):
        if not 0 <= address <= 0xFFFFFFFF:
            raise ValueError("address word out of range: %r" % (address,))
        return address
    packed = ipaddress.IPv4Address(address).packed
    return int.from_bytes(packed, sys.byteorder)


def mac_text(mac: Iterable[int]) -> str:
    return ":".join("%02x" % b for b in mac)


def mac_bytes(mac: Union[str, bytes, Sequence[int]]) -> bytes:
    """"00:1c:27:00:00:10" (or '-' separated, or 6 bytes) as 6 bytes."""
    if isinstance(mac, str):
        parts = mac.replace("-", ":").split(":")
        if len(parts) != 6 or not all(1 <= len(p) <= 2 for p in parts):
            raise ValueError("not a MAC address: %r" % (mac,))
        return bytes(int(p, 16) for p in parts)
    raw = bytes(mac)
    if len(raw) != 6:
        raise ValueError("a MAC address has 6 bytes, got %d" % len(raw))
    return raw


def _text(raw: bytes) -> str:
    """A zero-terminated text field (terminated or filling its field)."""
    return raw.split(b"\0", 1)[0].decode("utf-8", errors="replace")


def _put_text(record: ctypes.Structure, name: str, text: Union[str, bytes], what: str = "path") -> None:
    """Copies a text into a record's char array field, zero filled, keeping
    room for its terminator."""
    raw = text.encode("utf-8") if isinstance(text, str) else bytes(text)
    field_ = getattr(type(record), name)
    if b"\0" in raw:
        raise ValueError("%s holds a zero byte" % what)
    if len(raw) >= field_.size:
        raise ValueError("%s is longer than %d bytes" % (what, field_.size - 1))
    address = ctypes.addressof(record) + field_.offset
    ctypes.memset(address, 0, field_.size)
    ctypes.memmove(address, raw, len(raw))


# ------------------------------------------------------------ base classes

class Record(ctypes.Structure):
    """Common helpers: raw bytes out and in."""

    def to_bytes(self) -> bytes:
        return ctypes.string_at(ctypes.addressof(self), ctypes.sizeof(self))

    @classmethod
    def from_bytes(cls, data: bytes):
        if len(data) != ctypes.sizeof(cls):
            raise ValueError("%s is %d bytes, got %d" % (cls.__name__, ctypes.sizeof(cls), len(data)))
        return cls.from_buffer_copy(data)

    def copy(self):
        return type(self).from_buffer_copy(self)

    def __eq__(self, other):
        return type(other) is type(self) and self.to_bytes() == other.to_bytes()

    __hash__ = None  # mutable, like the C record


class WordRecord(Record):
    """A record that is one array of 32-bit words: ``rec.words`` is a list,
    ``Rec.of([..])`` builds one (missing words are 0)."""

    _array = "word"

    @property
    def words(self):
        return list(getattr(self, self._array))

    @classmethod
    def of(cls, words: Sequence[int]):
        record = cls()
        array = getattr(record, cls._array)
        count = len(array)
        words = list(words)
        if len(words) > count:
            raise ValueError("%s has %d words, got %d" % (cls.__name__, count, len(words)))
        for i, w in enumerate(words):
            if not -0x80000000 <= w <= 0x7FFFFFFF:
                raise ValueError("%s word %d out of the 32-bit range: %r" % (cls.__name__, i, w))
            array[i] = w
        return record

    def __repr__(self):
        return "%s(%r)" % (type(self).__name__, self.words)


class ByteRecord(Record):
    """A record that is one opaque block of bytes: ``rec.data`` is bytes,
    ``Rec.of(b"..")`` builds one (zero filled)."""

    @property
    def data(self) -> bytes:
        return bytes(self.bytes)

    @classmethod
    def of(cls, data: bytes):
        size = ctypes.sizeof(cls)
        data = bytes(data)
        if len(data) > size:
            raise ValueError("%s is %d bytes, got %d" % (cls.__name__, size, len(data)))
        return cls.from_buffer_copy(data.ljust(size, b"\0"))

    def __repr__(self):
        return "%s(%s)" % (type(self).__name__, self.data.rstrip(b"\0").hex() or "zeros")


# ------------------------------------------------------------ time

class SYSTEMTIME(Record):
    _fields_ = [
        ("year", c_uint16),
        ("month", c_uint16),
        ("dayOfWeek", c_uint16),
        ("day", c_uint16),
        ("hour", c_uint16),
        ("minute", c_uint16),
        ("second", c_uint16),
        ("milliseconds", c_uint16),
    ]

    def to_datetime(self) -> Optional[_dt.datetime]:
        """A naive datetime (milliseconds as microseconds), or None when the
        fields do not make a valid date."""
        try:
            return _dt.datetime(self.year, self.month, self.day, self.hour, self.minute,
                                self.second, self.milliseconds * 1000)
        except ValueError:
            return None

    @classmethod
    def from_datetime(cls, when: _dt.datetime) -> "SYSTEMTIME":
        # dayOfWeek counts from Sunday = 0; datetime.weekday() from Monday = 0.
        return cls(when.year, when.month, (when.weekday() + 1) % 7, when.day, when.hour,
                   when.minute, when.second, when.microsecond // 1000)

    def __repr__(self):
        return "SYSTEMTIME(%04d-%02d-%02d %02d:%02d:%02d.%03d)" % (
            self.year, self.month, self.day, self.hour, self.minute, self.second, self.milliseconds)


CameraTime = SYSTEMTIME


# ------------------------------------------------------------ discovery

# The camera's address and MAC, as both discovery records begin.
_ADDRESS_FIELDS = [
    ("ipAddress", c_uint32),
    ("addressWord1", c_uint32),
    ("addressWord2", c_uint32),
    ("macAddress", c_uint8 * 6),
    ("filler", c_uint8 * 2),
]


class DeviceRecord(Record):
    _fields_ = _ADDRESS_FIELDS + [
        ("commandPort", c_int32),
        ("modelName", c_char * 32),
        ("infoText1", c_char * 32),
        ("infoText2", c_char * 32),
        ("infoWords", c_int32 * 6),
        ("infoBlock", c_uint8 * 64),
        ("tailWord1", c_int32),
        ("tailWord2", c_int32),
    ]


class ChangeIPParam(Record):
    _fields_ = _ADDRESS_FIELDS


@dataclass(frozen=True)
class Device:
    """A camera found by a search. ``record`` is the record exactly as the
    search returned it; adding the camera passes it back unchanged."""

    ip: str
    mac: str
    model: str
    command_port: int
    address_word1: int          # camera-defined (most cameras: the netmask), network order
    address_word2: int          # camera-defined (most cameras: the gateway), network order
    info_text1: str
    info_text2: str
    info_words: Tuple[int, ...]
    info_block: bytes
    tail_word1: int
    tail_word2: int
    record: DeviceRecord = field(repr=False, compare=False)

    @property
    def address_word1_text(self) -> str:
        return ipv4_text(self.address_word1)

    @property
    def address_word2_text(self) -> str:
        return ipv4_text(self.address_word2)

    @classmethod
    def from_record(cls, record: DeviceRecord) -> "Device":
        raw = record.to_bytes()
        offset = DeviceRecord.modelName.offset
        return cls(
            ip=ipv4_text(record.ipAddress),
            mac=mac_text(record.macAddress),
            # Read from the raw bytes: a full 32-byte name has no terminator.
            model=_text(raw[offset:offset + 32]),
            command_port=record.commandPort & 0xFFFF,
            address_word1=record.addressWord1,
            address_word2=record.addressWord2,
            info_text1=_text(raw[DeviceRecord.infoText1.offset:DeviceRecord.infoText1.offset + 32]),
            info_text2=_text(raw[DeviceRecord.infoText2.offset:DeviceRecord.infoText2.offset + 32]),
            info_words=tuple(record.infoWords),
            info_block=bytes(record.infoBlock),
            tail_word1=record.tailWord1,
            tail_word2=record.tailWord2,
            record=record.copy(),
        )


# ------------------------------------------------------------ pictures, stream

class PictureInfo(Record):
    _fields_ = [
        ("camera", c_int32),
        ("recordWord8", c_int32),
        ("time", CameraTime),
        ("recordWord24", c_int32),
        ("recordWord28", c_int32),
        ("recordWord32", c_int32),
        ("recordWord40", c_int32),
        ("recordWord36", c_int32),
    ]


class StreamInfo(Record):
    _fields_ = [
        ("camera", c_int32),
        ("recordWord8", c_int32),
        ("time", CameraTime),
        ("recordWord28", c_int32),
    ]


@dataclass(frozen=True)
class _Copied:
    """What a callback hands over, copied out of the library's buffer; the
    record's words at the offsets in ``_WORD_OFFSETS`` go into ``words``."""

    data: bytes

    @classmethod
    def from_c(cls, data: bytes, info, tag: int):
        words = {offset: getattr(info, "recordWord%d" % offset) for offset in cls._WORD_OFFSETS}
        return cls(data, tag, info.camera, info.time.to_datetime(), words, info.copy())


@dataclass(frozen=True)
class Picture(_Copied):
    """A picture a camera pushed. ``time`` is the camera's time stamp in the
    host's local time (None when the stamp is not a valid date); ``words``
    the record's words by offset."""

    _WORD_OFFSETS = (8, 24, 28, 32, 36, 40)
    value: int
    camera: int
    time: Optional[_dt.datetime]
    words: dict
    info: PictureInfo = field(repr=False, compare=False)


@dataclass(frozen=True)
class StreamFrame(_Copied):
    """A complete video stream frame (a JPEG picture)."""

    _WORD_OFFSETS = (8, 28)
    user: int
    camera: int
    time: Optional[_dt.datetime]
    words: dict
    info: StreamInfo = field(repr=False, compare=False)


# ------------------------------------------------------------ settings records

class AEParam(WordRecord):
    _fields_ = [("word", c_int32 * 2)]


class AWBParam(WordRecord):
    _fields_ = [("word", c_int32 * 3)]


class HotRegion(WordRecord):
    _fields_ = [("word", c_int32 * 16)]


class DeviceInfo(ByteRecord):
    _fields_ = [("bytes", c_uint8 * 100)]


class NetWorkParam(Record):
    _fields_ = [
        ("ipAddress", c_uint32),
        ("addressWord1", c_uint32),
        ("addressWord2", c_uint32),
    ]

    @property
    def ip(self) -> str:
        return ipv4_text(self.ipAddress)

    @classmethod
    def of(cls, ip, address_word1=0, address_word2=0) -> "NetWorkParam":
        """Address and words as dotted text or network-order words."""
        return cls(ipv4_word(ip), ipv4_word(address_word1), ipv4_word(address_word2))

    def __repr__(self):
        return "NetWorkParam(ip=%s, addressWord1=%s, addressWord2=%s)" % (
            self.ip, ipv4_text(self.addressWord1), ipv4_text(self.addressWord2))


class FTPParam(ByteRecord):
    _fields_ = [("bytes", c_uint8 * 264)]


class SNTPParam(ByteRecord):
    _fields_ = [("bytes", c_uint8 * 72)]


class OSDInfo(ByteRecord):
    _fields_ = [("bytes", c_uint8 * 60)]


class PicFileNameConfig(ByteRecord):
    _fields_ = [("bytes", c_uint8 * 40)]


class ITSParam(WordRecord):
    _fields_ = [("word", c_int32 * 13)]


class NightControlParam(WordRecord):
    _fields_ = [("word", c_int32 * 12)]


class RS485Info(WordRecord):
    _fields_ = [("word", c_int32 * 4)]


class RS232Info(WordRecord):
    _fields_ = [("word", c_int32 * 4)]


class SpeedInfo(WordRecord):
    _fields_ = [("word", c_int32 * 33)]


class FlashLampParam(WordRecord):
    _fields_ = [("word", c_int32 * 5)]


class TriggInputEntry(WordRecord):
    _array = "value"
    _fields_ = [("value", c_int32 * 15)]


class TriggInputSet(Record):
    _fields_ = [("entry", TriggInputEntry * 16)]

    @property
    def entries(self):
        """The sixteen entries as lists of fifteen values."""
        return [e.words for e in self.entry]

    @classmethod
    def of(cls, entries: Sequence[Sequence[int]]) -> "TriggInputSet":
        if len(entries) > 16:
            raise ValueError("TriggInputSet has 16 entries, got %d" % len(entries))
        record = cls()
        for i, values in enumerate(entries):
            record.entry[i] = TriggInputEntry.of(values)
        return record

    def __repr__(self):
        return "TriggInputSet(%r)" % (self.entries,)


# ------------------------------------------------------------ storage

class SDCardState(WordRecord):
    _fields_ = [("word", c_int32 * 3)]


class DirectoryEntry(Record):
    _fields_ = [("value", c_int32), ("name", c_char * 256)]

    @classmethod
    def for_path(cls, path: Union[str, bytes]) -> "DirectoryEntry":
        entry = cls()
        _put_text(entry, "name", path)
        return entry


class DirectoryTree(Record):
    _fields_ = [
        ("path", c_char * 256),
        ("count", c_int32),
        ("entries", ctypes.POINTER(DirectoryEntry)),
    ]


class DeleteName(Record):
    """The 264-byte block VKT_DeleteJPGPic sends: the path, then 8 zero bytes."""

    _fields_ = [("path", c_char * 256), ("reserved", c_uint8 * 8)]

    @classmethod
    def for_path(cls, path: Union[str, bytes]) -> "DeleteName":
        block = cls()
        _put_text(block, "path", path)
        return block


# ------------------------------------------------------------ diagnostics

STATISTICS_VERSION = 2


class Statistics(Record):
    """A versioned counter record: ``size`` and ``version`` first, then
    64-bit counters. ``counters()`` gives them as a dict by field name."""

    @classmethod
    def request(cls):
        record = cls()
        record.size = ctypes.sizeof(cls)
        return record

    def counters(self) -> dict:
        return {name: getattr(self, name) for name, _ in self._fields_[2:]}

    def __repr__(self):
        return "%s(version=%d, %s)" % (type(self).__name__, self.version,
                                       ", ".join("%s=%d" % kv for kv in self.counters().items()))


def _counters(*names):
    return [("size", c_uint32), ("version", c_uint32)] + [(n, ctypes.c_uint64) for n in names]


class CameraStatistics(Statistics):
    _fields_ = _counters(
        "commandsSent", "commandsFailed", "commandTimeouts", "commandNetworkErrors",
        "commandRefusals", "commandMismatches", "reconnects",
        "picturesDelivered", "pictureBytes", "pictureConnections", "picturesDroppedBadMarker", "picturesDroppedShortApp1",
        "picturesDroppedOversize", "picturesDroppedTimeWindow", "picturesDroppedClosedEarly",
        "picturesDroppedCameraDeleted", "picturesDroppedNoCallback",
        "framesDelivered", "streamBytes", "framesDroppedGap", "framesDroppedPastLast",
        "framesDroppedOversize", "datagramsIgnoredSize", "datagramsIgnoredSender",
        "picturesDroppedOverShare", "picturesDroppedBufferCap", "pictureConnectionsOpen")


class LibraryStatistics(Statistics):
    _fields_ = _counters("unknownSenderConnections", "discoveryDatagramsSkipped",
                         "pictureConnectionsOpen", "pictureConnectionsPeak",
                         "pictureBytesBuffered", "pictureBytesBufferedPeak")


# Sizes asserted by the header (and the two blocks of the picture calls).
RECORD_SIZES = {
    DeviceRecord: 216, ChangeIPParam: 20, SYSTEMTIME: 16, PictureInfo: 44, StreamInfo: 28,
    AEParam: 8, AWBParam: 12, HotRegion: 64, DeviceInfo: 100, NetWorkParam: 12, FTPParam: 264,
    SNTPParam: 72, OSDInfo: 60, PicFileNameConfig: 40, ITSParam: 52, NightControlParam: 48,
    RS485Info: 16, RS232Info: 16, SpeedInfo: 132, FlashLampParam: 20, TriggInputSet: 960,
    SDCardState: 12, DirectoryEntry: 260, DeleteName: 264,
    CameraStatistics: 8 + 27 * 8, LibraryStatistics: 8 + 6 * 8,
}
for _type, _size in RECORD_SIZES.items():
    assert ctypes.sizeof(_type) == _size, "%s is %d bytes" % (_type.__name__, _size)
assert DirectoryTree.count.offset == 256, "DirectoryTree count at 256"
