"""The binding against the public header: error table, record layouts,
every export's C signature, and the conversions between records and Python
values. Needs no camera and no network."""

import ctypes
import datetime
import os
import re
import unittest
from pathlib import Path

import vktnet
from vktnet import _native, records

HEADER = Path(os.environ.get("VKTNET_HEADER") or Path(__file__).resolve().parents[2] / "api" / "VKTNetSDK11.h")


def header_text():
    return HEADER.read_text(encoding="utf-8")


def c_type(declaration):
    """The ctypes type of one C parameter declaration of the header."""
    text = declaration.replace("const ", "").strip()
    match = re.fullmatch(r"(unsigned int|\w+)\s*(\**)\s*\w+", text)
    if not match:
        raise AssertionError("cannot read parameter %r" % declaration)
    base, stars = match.group(1), len(match.group(2))
    if base == "char":
        return {1: ctypes.c_char_p, 2: ctypes.POINTER(ctypes.POINTER(ctypes.c_char))}[stars]
    if base == "void" and stars == 1:
        return ctypes.c_void_p
    plain = {"int": ctypes.c_int, "unsigned int": ctypes.c_uint,
             "PictureCallback": _native.PictureCallback, "StreamCallback": _native.StreamCallback}
    kind = plain.get(base) or getattr(records, base)
    for _ in range(stars):
        kind = ctypes.POINTER(kind)
    return kind


def eval_product(term):
    result = 1
    for factor in term.split("*"):
        result *= int(factor)
    return result


class HeaderAgreement(unittest.TestCase):
    def test_error_table_is_the_headers(self):
        lines = [line for line in header_text().splitlines() if line.startswith("#define VKT_ERR_")]
        parsed = []
        for line in lines:
            match = re.fullmatch(r"#define (VKT_ERR_\w+)\s+\(\(int\)0x([0-9A-Fa-f]{8})u\)\s*/\*\s*(.*?)\s*\*/", line)
            self.assertIsNotNone(match, "unexpected error line: " + line)
            parsed.append((match.group(1), int(match.group(2), 16), match.group(3)))
        self.assertGreater(len(parsed), 20)
        self.assertEqual(list(vktnet.ERROR_TABLE), parsed)

    def test_record_sizes_are_the_headers(self):
        text = header_text()
        sizes = re.findall(r"VKT_STATIC_ASSERT\(sizeof\((\w+)\) == ([\d +*]+),", text)
        self.assertGreater(len(sizes), 20)
        for name, size in sizes:
            with self.subTest(record=name):
                # Sizes are written as sums of products: 8 + 23 * 8.
                expected = sum(eval_product(term) for term in size.split("+"))
                self.assertEqual(ctypes.sizeof(getattr(records, name)), expected)
        for name, field, offset in re.findall(r"VKT_STATIC_ASSERT\(offsetof\((\w+), (\w+)\) == (\d+)", text):
            self.assertEqual(getattr(getattr(records, name), field).offset, int(offset))

    def test_every_export_is_declared_with_the_headers_signature(self):
        declared = {}
        for name, params in re.findall(r"VKT_API int (\w+)\(([^)]*)\);", header_text()):
            params = params.strip()
            declared[name] = [] if params in ("", "void") else [c_type(p) for p in params.split(",")]
        self.assertEqual(declared.pop("SetLogOutput"), [])
        self.assertEqual(set(declared), set(_native.PROTOTYPES))
        for name, argtypes in declared.items():
            with self.subTest(function=name):
                self.assertEqual(_native.PROTOTYPES[name], argtypes)
        # One generated Camera method per setting call of the header.
        setting_calls = [prefix + stem for _, stem, _, _ in _native.SETTINGS
                         for prefix in ("VKT_Get", "VKT_GetDefault", "VKT_Set") if prefix + stem in declared]
        methods = [m for m in vars(vktnet.Camera) if re.match(r"(get|set)_", m)
                   and m not in ("get_date_time", "set_date_time")]
        self.assertEqual(len(methods), len(setting_calls))

    def test_the_library_exports_every_declared_function(self):
        self.assertEqual(vktnet.missing_functions(vktnet.load()), [])


class Conversions(unittest.TestCase):
    def test_device_record_to_device(self):
        record = records.DeviceRecord()
        record.ipAddress = int.from_bytes(bytes([127, 0, 0, 10]), "little")
        record.addressWord1 = int.from_bytes(bytes([255, 255, 255, 0]), "little")
        record.macAddress[:] = [0x00, 0x1C, 0x27, 0xAB, 0x00, 0x10]
        record.commandPort = 0x7FFF0000 | 30010  # only the low 16 bits are the port
        raw = bytearray(record.to_bytes())
        offset = records.DeviceRecord.modelName.offset
        raw[offset:offset + 32] = b"M" * 32  # a name with no terminator
        device = vktnet.Device.from_record(records.DeviceRecord.from_bytes(bytes(raw)))
        self.assertEqual(device.ip, "127.0.0.10")
        self.assertEqual(device.address_word1_text, "255.255.255.0")
        self.assertEqual(device.mac, "00:1c:27:ab:00:10")
        self.assertEqual(device.command_port, 30010)
        self.assertEqual(device.model, "M" * 32)
        self.assertEqual(device.info_text1, "")
        self.assertEqual(device.record.to_bytes(), bytes(raw))

    def test_time_both_ways(self):
        when = datetime.datetime(2026, 12, 6, 23, 59, 58, 123456)  # a Sunday
        record = vktnet.SYSTEMTIME.from_datetime(when)
        self.assertEqual((record.year, record.month, record.dayOfWeek, record.day), (2026, 12, 0, 6))
        self.assertEqual(record.milliseconds, 123)
        self.assertEqual(record.to_datetime(), when.replace(microsecond=123000))
        self.assertIsNone(vktnet.SYSTEMTIME().to_datetime())  # all zero is no date

    def test_error_codes_signed_or_unsigned(self):
        error = vktnet.VKTError(-0x7FFFFEFF, "VKT_GetAE")  # 0x80000101 as a C int
        self.assertEqual((error.code, error.name), (0x80000101, "VKT_ERR_TIMEOUT"))
        self.assertIn("VKT_GetAE", str(error))
        self.assertEqual(vktnet.VKTError(-1).name, "VKT_ERR_NOT_STARTED")
        self.assertEqual(vktnet.VKTError(0x80009999).name, "VKT_ERR_UNKNOWN_0x80009999")

    def test_blocks_and_range_checks(self):
        block = vktnet.DeleteName.for_path("/20261209/103015_001.jpg")
        raw = block.to_bytes()
        self.assertEqual(len(raw), 264)
        self.assertEqual(raw[:25], b"/20261209/103015_001.jpg\0")
        self.assertEqual(raw[256:], bytes(8))
        self.assertEqual(vktnet.DirectoryEntry.for_path("x" * 255).to_bytes()[4:], b"x" * 255 + b"\0")
        with self.assertRaises(ValueError):
            vktnet.DirectoryEntry.for_path("x" * 256)  # no room for the terminator
        with self.assertRaises(ValueError):
            vktnet.AEParam.of([1, 2, 3])
        with self.assertRaises(ValueError):
            vktnet.AEParam.of([0x80000000])
        self.assertEqual(vktnet.AEParam.of([120, -16]).to_bytes(), (120).to_bytes(4, "little") +
                         (-16).to_bytes(4, "little", signed=True))
        self.assertEqual(vktnet.TriggInputSet.of([[1] * 15]).entries[0], [1] * 15)


if __name__ == "__main__":
    unittest.main()
