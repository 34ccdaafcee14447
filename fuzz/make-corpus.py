#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/:
a few small valid inputs and near-valid ones next to them. Run it again
after changing an input layout; the files are checked in."""
import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

seeds = {}


def seed(target, name, data):
    seeds.setdefault(target, {})[name] = bytes(data)


def words(*values):
    return b"".join(struct.pack("<i", v) for v in values)


# ---- discovery answers: the keyword, then the record's fields at their offsets
def answer():
    a = bytearray(396)
    a[0:16] = b"IPNC_AnswerInfo="
    a[16:20] = bytes([127, 0, 0, 10])
    a[28:34] = bytes([0x00, 0x1C, 0x27, 0x00, 0x00, 0x10])
    a[34:44] = b"VKT-N2F0Kq"
    a[66:72] = b"text-1"
    a[98:104] = b"text-2"
    a[200:204] = struct.pack("<i", 30000)
    return a


seed("discovery_answer", "answer", answer())
bad = answer()
bad[0] = ord("i")
seed("discovery_answer", "wrong-keyword", bad)
seed("discovery_answer", "one-byte-short", answer()[:395])
seed("discovery_answer", "one-byte-long", answer() + b"\0")
seed("discovery_answer", "probe", b"Where_oKrimu_IPNC_Lumarest")

# ---- change-IP confirmation: 20 bytes of ChangeIPParam, then the datagram
param = bytes([127, 0, 0, 20]) + bytes(8) + bytes([0x00, 0x1C, 0x27, 0, 0, 0x10]) + bytes(2)
request = bytearray(44)
request[0:21] = b"oKrimu_IPNC_Change_IP"
request[24:44] = param
seed("change_ip_confirmation", "echo", param + request)
flipped = bytearray(request)
flipped[30] ^= 1
seed("change_ip_confirmation", "other-camera", param + flipped)
seed("change_ip_confirmation", "short", param + request[:43])
seed("change_ip_confirmation", "long", param + request + b"\0")


# ---- directory listings: leading word, path, count, entries of a word and a name
def listing(path, entries, leading=1, count=None):
    out = words(leading) + path + b"\0"
    out += words(len(entries) if count is None else count)
    for value, name in entries:
        out += words(value) + name + b"\0"
    return out


pics = [(1, b"103015_001.jpg"), (2, b"103016_002.jpg"), (0, b"")]
seed("directory_listing", "tree", listing(b"/20261209", pics))
seed("directory_listing", "root", listing(b"/", [(0, b"20261209"), (0, b"20261210")]))
seed("directory_listing", "no-tree", words(0))
seed("directory_listing", "empty", b"")
seed("directory_listing", "count-too-large", listing(b"/", pics, count=1000))
seed("directory_listing", "negative-count", listing(b"/", [], count=-1))
seed("directory_listing", "name-unterminated", listing(b"/", [(1, b"x" * 256)])[:-1])
seed("directory_listing", "path-256", words(1) + b"p" * 256 + b"\0" + words(0))


# ---- pushed pictures: [k][k split bytes][bytes]. APP1 marker at 20, its
# big-endian length at 22, the record at 32 (total length in its word 4).
def picture(total=160, app1=54, marker=b"\xff\xe1"):
    p = bytearray(max(total, 76))
    p[0:2] = b"\xff\xd8"
    p[20:22] = marker
    p[22:24] = struct.pack(">H", app1)
    p[32:76] = words(7, total, 8, 1234, 1765276215, 250000, 24, 28, 32, 36, 40)
    for i in range(76, len(p)):
        p[i] = i & 0xFF
    return p[:total] if total >= 24 else p


seed("picture_framing", "whole", b"\0" + picture())
seed("picture_framing", "in-chunks", bytes([3, 9, 40, 99]) + picture())
seed("picture_framing", "byte-by-byte", bytes([1, 0]) + picture(total=90))
seed("picture_framing", "short-app1", b"\0" + picture(app1=45))
seed("picture_framing", "app1-46", bytes([2, 23, 50]) + picture(total=80, app1=46))
seed("picture_framing", "bad-marker", b"\0" + picture(marker=b"\xff\xe0"))
p = picture(total=200)
p[36:40] = struct.pack("<I", 4 * 1024 * 1024 + 1)
seed("picture_framing", "oversize", b"\0" + p)
seed("picture_framing", "more-than-announced", b"\0" + picture(total=100) + b"extra")


# ---- stream packets: 1024 bytes each, a 4-byte index and 1020 bytes
def packet(index, payload=b""):
    body = bytearray(1020)
    body[: len(payload)] = payload
    return struct.pack("<i", index) + bytes(body)


def first_payload(total):
    body = bytearray(1020)
    body[32:64] = words(1, total, 2, 1765276215, 500000, 0, 0, 28)
    return bytes(body)


seed("stream_packets", "one-packet-frame", packet(0, first_payload(600)))
seed("stream_packets", "three-packet-frame",
     packet(0, first_payload(2500)) + packet(1, b"\x11" * 1020) + packet(2, b"\x22" * 460))
seed("stream_packets", "lost-packet", packet(0, first_payload(2500)) + packet(2, b"\x22" * 460))
seed("stream_packets", "past-last", packet(0, first_payload(1500)) + packet(2, b"\x33" * 10))
seed("stream_packets", "oversize", packet(0, first_payload(4 * 1024 * 1024 + 1)) + packet(1))
seed("stream_packets", "short-tail", packet(0, first_payload(1100))[:700])

# ---- configuration files: 652 bytes in nine records; the AWB mode at 636
SIZES = [264, 100, 52, 48, 72, 40, 60, 4, 12]


def config(awb_mode):
    out = b""
    for i, size in enumerate(SIZES):
        out += bytes([(i + 1) * 16 + (j % 16) for j in range(size)]) if i != 7 else words(awb_mode)
    assert len(out) == 652
    return out


seed("config_file", "awb-manual", config(0))
seed("config_file", "awb-auto", config(1))
seed("config_file", "one-byte-short", config(0)[:651])
seed("config_file", "longer", config(0) + b"tail")

# ---- command channel: the calls (their order in command_replies_fuzzer.cpp)
CALLS = """GetState GetAE GetImageRotation SetImageRotation GetTemperature GetDeviceInfo
SetDeviceInfo GetITSParam GetDefaultITSParam SetITSParam GetNightControl SetNightControl
GetFTPParam GetSpeedInfo GetHotRegion GetTimeZone SetTimeZone GetNetWorkParam GetAWBParam
SetAWBParam GetFlashLamp GetDefaultFlashLamp SetFlashLamp GetTriggInput GetDefaultTriggInput
SetTriggInput SaveConfig GetParamState NtpTiming GetDateTime SetDateTime GetSDCardState
GetFormatProgress FormatSDCard GetDirectoryTree GetJPGPic DeleteJPGPic ResetCamera
CameraPushes""".split()
KINDS = len(CALLS)


def call(name, arg=0):
    return CALLS.index(name) + KINDS * arg


def header(status=0, length=0, value=0, command=0, sequence=0, version=257):
    return words(version, 0, command, sequence, status, length, value)


def reply(data, flags=0x03):
    """flags 0x03: one reply, its command, sequence and length set by the camera."""
    return bytes([flags]) + struct.pack("<H", len(data)) + data


def script(calls, *replies):
    assert 1 <= len(calls) <= 8
    return bytes([len(calls) - 1] + calls) + b"".join(replies)


C = call
seed("command_replies", "state",
     script([C("GetState"), C("GetAE")], reply(header()), reply(header(value=1))))
seed("command_replies", "device-info",
     script([C("GetDeviceInfo"), C("GetDeviceInfo"), C("SetDeviceInfo")],
            reply(header() + bytes(range(100))), reply(header())))
seed("command_replies", "its-short-form",
     script([C("GetITSParam"), C("SetNightControl"), C("GetDefaultITSParam")],
            reply(header() + words(*range(8))), reply(header()), reply(header() + words(*range(13)))))
seed("command_replies", "rotation-and-temperature",
     script([C("GetImageRotation"), C("SetImageRotation", 1), C("GetTemperature")],
            reply(header(value=180)), reply(header()), reply(header(value=0x8000 | (37 << 8)))))
seed("command_replies", "records",
     script([C("GetFTPParam"), C("GetSpeedInfo"), C("GetHotRegion"), C("GetTimeZone"), C("GetNetWorkParam"),
             C("GetAWBParam")],
            reply(header() + bytes(264)), reply(header() + words(*range(33))), reply(header() + bytes(64)),
            reply(header(value=8)), reply(header() + bytes([127, 0, 0, 1]) + bytes(8)),
            reply(header() + words(1, 2, 3))))
seed("command_replies", "save-two-replies",
     script([C("SaveConfig"), C("GetState")], reply(header() + header(status=11), flags=0x01), reply(header())))
seed("command_replies", "save-pending-then-completion",
     script([C("SaveConfig"), C("CameraPushes"), C("GetParamState"), C("GetState")],
            reply(header()), reply(header(status=11, command=100), flags=0x00), reply(header())))
seed("command_replies", "save-failed",
     script([C("SaveConfig"), C("CameraPushes"), C("GetState")],
            reply(header()), reply(header(status=12, command=100), flags=0x00), reply(header())))
seed("command_replies", "ntp",
     script([C("NtpTiming"), C("GetDateTime"), C("SetDateTime", 3)],
            reply(header() + header(), flags=0x01), reply(header() + words(1765276215, 250000, 0, 0, 7)),
            reply(header())))
seed("command_replies", "sd-card",
     script([C("GetSDCardState"), C("GetFormatProgress"), C("FormatSDCard")],
            reply(header() + words(1, 2, 3)), reply(header(value=40)), reply(header())))
seed("command_replies", "directory-and-picture",
     script([C("GetDirectoryTree", 1), C("GetJPGPic", 1), C("DeleteJPGPic", 1), C("GetDirectoryTree")],
            reply(header() + listing(b"/20261209", pics)), reply(header() + picture(total=300)),
            reply(header()), reply(header() + words(0))))
seed("command_replies", "two-pictures",
     script([C("GetJPGPic", 1), C("GetJPGPic", 2)],
            reply(header() + picture(total=900)), reply(header() + picture(total=120))))
# A fetch announced large but cut short (the camera closes), then a small one:
# what the first may have written must not show behind the second.
seed("command_replies", "cut-large-picture-then-small",
     script([C("GetJPGPic", 1), C("GetJPGPic", 2)],
            reply(header(length=100000) + picture(total=3000), flags=0x01), reply(header() + picture(total=120))))
combined = bytes((i * 7) & 0xFF for i in range(668))
seed("command_replies", "flash-and-trigger",
     script([C("GetFlashLamp"), C("SetFlashLamp"), C("GetTriggInput"), C("GetDefaultTriggInput"),
             C("SetTriggInput", 1), C("GetDefaultFlashLamp")],
            reply(header() + combined), reply(header()), reply(header() + combined), reply(header()),
            reply(header() + combined)))
seed("command_replies", "refusals",
     script([C("GetState"), C("GetState"), C("GetState"), C("GetState")],
            reply(header(status=-1)), reply(header(status=-2)), reply(header(status=-3)),
            reply(header(status=-7))))
seed("command_replies", "mismatch-and-long",
     script([C("GetState"), C("GetDeviceInfo"), C("GetState")],
            reply(header(command=1), flags=0x00), reply(header(length=2000) + bytes(100), flags=0x01),
            reply(header())))
seed("command_replies", "cut-and-closed",
     script([C("GetDeviceInfo"), C("GetState"), C("ResetCamera")],
            reply(header(length=100) + bytes(10), flags=0x01), reply(header(), flags=0x07), reply(header())))
seed("command_replies", "silent",
     script([C("GetState"), C("GetState")], reply(b"", flags=0x08), reply(header())))


def main():
    if os.path.isdir(CORPUS):
        shutil.rmtree(CORPUS)
    total = 0
    for target, files in sorted(seeds.items()):
        folder = os.path.join(CORPUS, target)
        os.makedirs(folder)
        for name, data in sorted(files.items()):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
            total += len(data)
    print(f"{sum(len(f) for f in seeds.values())} seeds, {total} bytes, in {CORPUS}", file=sys.stderr)


if __name__ == "__main__":
    main()
