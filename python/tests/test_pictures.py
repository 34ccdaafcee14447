"""Pictures and video stream frames through Python callbacks, against the
emulator program (run under tools/netns-run)."""

import queue
import threading
import unittest

import vktnet
from emulator_process import ModuleEmulator, wait_until

emulator = ModuleEmulator(["ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010",
                           "ip=127.0.0.11,mac=00:1c:27:00:00:11,model=VKT-N2F0Kp,port=30011"])
setUpModule, tearDownModule = emulator.start, emulator.stop


class Callbacks(unittest.TestCase):
    def setUp(self):
        self.errors = queue.Queue()
        self.lib = vktnet.Library(on_callback_error=lambda exc, where: self.errors.put((exc, where))).open()
        self.addCleanup(self.lib.close)
        self.devices = {d.ip: d for d in self.lib.search(300)}

    def test_snapshot_arrives_through_the_picture_callback(self):
        pictures = queue.Queue()
        camera = self.lib.add_camera(self.devices["127.0.0.10"], on_picture=pictures.put, timeout_ms=1000)
        camera.snapshot(value=9)
        picture = pictures.get(timeout=5)
        self.assertEqual(picture.data[:2], b"\xff\xd8")
        self.assertEqual(picture.data[-2:], b"\xff\xd9")
        self.assertEqual(picture.value, 9)
        self.assertEqual(picture.camera, camera.handle)
        self.assertIsNotNone(picture.time)
        # The emulator notes the push once its last byte is out, which may be
        # after the library has delivered the picture.
        wait_until(lambda: emulator.values("pictures 0")["last"] == str(len(picture.data)), 5,
                   "the emulator to record a push of %d bytes" % len(picture.data))
        self.assertTrue(self.errors.empty())

    def test_callback_exceptions_are_reported_and_close_is_refused_inside(self):
        seen = queue.Queue()

        def on_picture(picture):
            try:
                self.lib.close()
                seen.put("close allowed")
            except RuntimeError:
                seen.put("close refused" if vktnet.in_library_callback() else "refused elsewhere")
            if picture.value == 1:
                raise KeyError("first picture")
            seen.put(picture.value)

        self.lib.add_camera(self.devices["127.0.0.10"], on_picture=on_picture, timeout_ms=1000)
        emulator.command("trigger 0 1")
        self.assertEqual(seen.get(timeout=5), "close refused")
        exc, where = self.errors.get(timeout=5)
        self.assertIsInstance(exc, KeyError)
        self.assertEqual(where, "a picture callback")
        # The receiver thread lived on: the next picture arrives.
        emulator.command("trigger 0 2")
        self.assertEqual([seen.get(timeout=5), seen.get(timeout=5)], ["close refused", 2])
        self.assertTrue(self.lib.is_open)

    def test_stream_frames_until_stopped(self):
        frames = []
        three = threading.Event()

        def on_frame(frame):
            frames.append(frame)
            if len(frames) >= 3:
                three.set()

        camera = self.lib.add_camera(self.devices["127.0.0.10"], timeout_ms=1000)
        camera.start_stream(on_frame, user=7)
        self.assertTrue(three.wait(10), "got %d frames" % len(frames))
        camera.stop_stream()
        delivered = len(frames)
        for frame in frames:
            self.assertEqual((frame.data[:2], frame.user, frame.camera), (b"\xff\xd8", 7, camera.handle))
        numbers = [f.words[8] for f in frames]
        self.assertEqual(numbers, sorted(numbers))

        # Make the camera go on sending after the stop: nothing more may reach
        # the callback once stop_stream has returned.
        emulator.command("stream 0 on")
        self.addCleanup(emulator.command, "stream 0 auto")
        sent = int(emulator.values("frames 0")["frames"])
        wait_until(lambda: int(emulator.values("frames 0")["frames"]) >= sent + 3, 10, "frames sent after the stop")
        self.assertEqual(len(frames), delivered)
        self.assertGreaterEqual(camera.statistics().framesDelivered, delivered)


if __name__ == "__main__":
    unittest.main()
