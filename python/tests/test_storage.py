"""The SD card through the binding: state, format, listings, stored
pictures, against the emulator program (run under tools/netns-run)."""

import unittest

import vktnet
from emulator_process import ModuleEmulator, wait_until

emulator = ModuleEmulator(["ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010",
                           "ip=127.0.0.11,mac=00:1c:27:00:00:11,model=VKT-N2F0Kq,port=30011"])
SD_CARD_FUNCTIONS = ("VKT_GetSDCardState", "VKT_FormatSDCard", "VKT_GetFormatSDCardProgress",
                     "VKT_GetDirectoryTree", "VKT_GetJPGPic", "VKT_DeleteJPGPic")
setUpModule, tearDownModule = emulator.start, emulator.stop


class SdCard(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = vktnet.Library().open()
        missing = [f for f in vktnet.missing_functions(cls.lib.c) if f in SD_CARD_FUNCTIONS]
        if missing:
            cls.lib.close()
            raise unittest.SkipTest("the library lacks %s" % ", ".join(missing))
        cls.devices = {d.ip: d for d in cls.lib.search(300)}

    @classmethod
    def tearDownClass(cls):
        cls.lib.close()

    def camera(self, ip):
        camera = self.lib.add_camera(self.devices[ip], timeout_ms=1000)
        self.addCleanup(camera.delete)
        return camera

    def stored(self, path):
        return bytes.fromhex(emulator.values("sd 0 get " + path)["hex"])

    def test_listing_fetch_and_delete(self):
        emulator.command("sd 0 add /20270101/000001_001.jpg 3000")
        emulator.command("sd 0 add /20270101/000002_002.jpg 90000")
        camera = self.camera("127.0.0.10")

        root = camera.list_directory("/")
        self.assertIn((-1, "20270101"), root)
        day = camera.list_directory("/20270101")
        expected = [tuple(line.split(" ", 1)) for line in emulator.command("sd 0 ls /20270101")]
        self.assertEqual([(str(v), n) for v, n in day], expected)
        self.assertEqual([n for _, n in day], ["000001_001.jpg", "000002_002.jpg"])
        # Copied out: a later listing does not change the earlier result.
        self.assertIn((-1, "20270101"), root)

        first = camera.fetch_picture("/20270101/000001_001.jpg")
        second = camera.fetch_picture("/20270101/000002_002.jpg")
        self.assertEqual(first, self.stored("/20270101/000001_001.jpg"))
        self.assertEqual(second, self.stored("/20270101/000002_002.jpg"))
        self.assertEqual((len(first), len(second)), (day[0][0], day[1][0]))
        self.assertEqual(second[:2], b"\xff\xd8")

        camera.delete_picture("/20270101/000001_001.jpg")
        self.assertEqual([n for _, n in camera.list_directory("/20270101")], ["000002_002.jpg"])
        with self.assertRaises(vktnet.VKTError) as caught:
            camera.fetch_picture("/20270101/000001_001.jpg")
        self.assertEqual(caught.exception.name, "VKT_ERR_INVALID_PARAM")  # the camera's status -3

    def test_card_state_and_format(self):
        camera = self.camera("127.0.0.11")
        status, capacity, free = camera.sd_state().words
        self.assertEqual(status, 1)
        self.assertGreater(capacity, 0)
        self.assertLessEqual(free, capacity)
        self.assertTrue(camera.list_directory("/"))

        emulator.command("sd 1 formattime 2000")
        camera.format_sd()
        self.assertEqual(camera.sd_state().words[0], 2)  # formatting
        self.assertIsNone(camera.list_directory("/"))  # no tree while formatting
        progress = []
        wait_until(lambda: progress.append(camera.format_progress()) or progress[-1] >= 100, 10,
                   "the format to end")
        self.assertEqual(progress, sorted(progress))
        self.assertEqual(camera.list_directory("/"), [])
        self.assertEqual(emulator.values("sd 1 state")["formats"], "1")

        emulator.command("sd 1 card off")
        self.addCleanup(emulator.command, "sd 1 card on")
        self.assertEqual(camera.sd_state().words, [0, 0, 0])
        self.assertIsNone(camera.list_directory("/"))


if __name__ == "__main__":
    unittest.main()
