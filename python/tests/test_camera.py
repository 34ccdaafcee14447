"""Discovery, settings, state and errors through the binding, against the
emulator program (run under tools/netns-run)."""

import ctypes
import datetime
import os
import tempfile
import unittest

import vktnet
from emulator_process import ModuleEmulator

CAMERAS = [
    "ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010,mask=255.255.255.0,gateway=127.0.0.1,name=gate-7",
    "ip=127.0.0.11,mac=00:1c:27:00:00:11,model=VKT-N2F0Kp,port=30011",
    "ip=127.0.0.12,mac=00:1c:27:00:00:12,model=VKT-R6E0Kq,port=30012",
]
emulator = ModuleEmulator(CAMERAS)
setUpModule, tearDownModule = emulator.start, emulator.stop


class CameraCalls(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = vktnet.Library().open()
        cls.devices = {d.ip: d for d in cls.lib.search(300)}

    @classmethod
    def tearDownClass(cls):
        cls.lib.close()

    def add(self, ip, **kwargs):
        camera = self.lib.add_camera(self.devices[ip], timeout_ms=1000, **kwargs)
        self.addCleanup(lambda: camera.deleted or camera.delete())
        return camera

    def test_search_reports_each_camera_record(self):
        devices = {d.ip: d for d in self.lib.search(300)}
        self.assertLessEqual({"127.0.0.10", "127.0.0.11", "127.0.0.12"}, set(devices))
        gate = devices["127.0.0.10"]
        self.assertEqual((gate.mac, gate.model, gate.command_port), ("00:1c:27:00:00:10", "VKT-N2F0Kq", 30010))
        self.assertEqual((gate.address_word1_text, gate.address_word2_text), ("255.255.255.0", "127.0.0.1"))
        self.assertEqual(gate.info_text2, "gate-7")
        self.assertEqual(devices["127.0.0.11"].model, "VKT-N2F0Kp")
        # The stored result, without a new search, and where it was heard.
        self.assertEqual([d.mac for d in self.lib.search(0)], [d.mac for d in devices.values()])
        self.assertEqual(self.lib.search_interface(gate), "lo")

    def test_settings_written_reach_the_camera(self):
        camera = self.add("127.0.0.11")
        camera.set_image_rotation(180)
        self.assertEqual(camera.get_image_rotation(), 180)
        self.assertEqual(emulator.values("get 1 1180")["value"], "180")
        self.assertIn(camera.get_default_image_rotation(), (0, 90, 180, 270))

        # A record passed by value, and one by pointer.
        camera.set_ae_param([120, -16])
        self.assertEqual(camera.get_ae_param().words, [120, -16])
        self.assertEqual(emulator.values("get 1 1044")["record"], vktnet.AEParam.of([120, -16]).to_bytes().hex())
        region = vktnet.HotRegion.of(range(1, 17))
        camera.set_hot_region(region)
        self.assertEqual(emulator.values("get 1 1060")["record"], region.to_bytes().hex())
        self.assertEqual(camera.get_hot_region(), region)

        network = camera.get_network_param()
        self.assertEqual(network.ip, "127.0.0.11")
        self.assertEqual(len(camera.get_device_info().data), 100)

    def test_clock_and_configuration_file(self):
        camera = self.add("127.0.0.10")
        when = datetime.datetime(2031, 5, 6, 7, 8, 9)
        camera.set_date_time(when, extra=0)
        read, _ = camera.get_date_time()
        self.assertLess(abs(read - when), datetime.timedelta(seconds=5))

        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "camera.cfg")
            camera.export_config(path)
            self.assertEqual(os.path.getsize(path), 652)
            camera.set_image_rotation(90)
            camera.import_config(path)
            with open(os.path.join(folder, "short.cfg"), "wb") as short:
                short.write(bytes(100))
            with self.assertRaises(OSError):
                camera.import_config(short.name)
            with self.assertRaises(OSError):
                camera.export_config(os.path.join(folder, "no-such-folder", "x.cfg"))

        self.assertTrue(camera.is_ready())
        stats = camera.statistics()
        self.assertEqual(stats.version, vktnet.records.STATISTICS_VERSION)
        self.assertEqual(stats.size, ctypes.sizeof(stats))
        self.assertGreater(stats.commandsSent, 0)

    def test_failures_raise_with_the_library_code_and_name(self):
        def raised(call, *args, **kwargs):
            with self.assertRaises(vktnet.VKTError) as caught:
                call(*args, **kwargs)
            return caught.exception.code, caught.exception.name

        camera = self.add("127.0.0.10")
        self.assertEqual(raised(camera.get_ae, timeout_ms=0), (0x80000101, "VKT_ERR_TIMEOUT"))
        self.assertEqual(raised(camera.set_image_rotation, 45), (0x80000006, "VKT_ERR_INVALID_PARAM"))
        self.assertEqual(raised(camera.get_stream_pic_type), (0x80000203, "VKT_ERR_NOT_SUPPORTED"))
        self.assertEqual(raised(camera.snapshot), (0x80000403, "VKT_ERR_NO_PICTURE_CALLBACK"))
        # The camera's refusals: status -2 is "busy", -1 "refused".
        emulator.command("cfault 0 1301 status -2")
        self.addCleanup(emulator.command, "cfault 0 clear")
        self.assertEqual(raised(camera.get_work_mode), (0x80000200, "VKT_ERR_CAMERA_BUSY"))
        emulator.command("cfault 0 1301 status -1")
        self.assertEqual(raised(camera.get_work_mode), (0x80000004, "VKT_ERR_CAMERA_REFUSED"))
        self.assertEqual(raised(self.lib.add_camera, "127.0.0.99", timeout_ms=200),
                         (0x80000007, "VKT_ERR_CAMERA_NOT_FOUND"))

        camera.delete()
        self.assertEqual(raised(camera.get_ae), (0x80000002, "VKT_ERR_INVALID_HANDLE"))
        self.assertEqual(raised(camera.delete), (0x80000002, "VKT_ERR_INVALID_HANDLE"))

    def test_add_by_address_and_change_ip(self):
        with self.lib.add_camera("127.0.0.12", timeout_ms=300) as camera:
            self.assertEqual(camera.get_network_param().ip, "127.0.0.12")
        moving = self.devices["127.0.0.12"]
        self.lib.change_ip(moving, "127.0.0.42", timeout_ms=1000)
        self.addCleanup(self.lib.change_ip, moving.mac, "127.0.0.12", moving.address_word1,
                        moving.address_word2, timeout_ms=1000)
        found = {d.mac: d for d in self.lib.search(300)}
        self.assertEqual(found[moving.mac].ip, "127.0.0.42")
        self.assertEqual(found[moving.mac].address_word1, moving.address_word1)  # kept
        with self.assertRaises(ValueError):
            self.lib.change_ip(moving.mac, "127.0.0.43")  # by MAC the words must be given


class Lifecycle(unittest.TestCase):
    def test_open_close_and_calls_after_close(self):
        lib = vktnet.Library()
        with lib:
            with self.assertRaises(RuntimeError):
                vktnet.Library().open()  # one open Library per process
            camera = lib.add_camera("127.0.0.10", timeout_ms=300)
        with self.assertRaises(vktnet.VKTError) as caught:
            camera.get_ae()
        self.assertEqual(caught.exception.name, "VKT_ERR_NOT_STARTED")
        self.assertEqual(lib.last_error(), 0xFFFFFFFF)
        with lib:  # the library starts again in the same process
            self.assertIn("127.0.0.10", [d.ip for d in lib.search(300)])


if __name__ == "__main__":
    unittest.main()
