"""first_camera.py: search the network for cameras, add one, read a setting
and receive a picture from it, through the vktnet binding.

    python3 first_camera.py [ADDRESS [OUTPUT]]

ADDRESS picks the camera (as the search lists it); without it the first
camera found is used. The picture is saved as OUTPUT (default
first_camera.jpg). The shared library is loaded from $VKTNET_LIBRARY, else
as libVKTNetSDK11.so.1 through the dynamic loader's search path.

The search broadcasts to 255.255.255.255: on a development machine run this
beside the camera emulator inside tools/netns-run (see
docs/getting-started-python.md), never on a network you do not own.

Exit status: 0 a picture was received and saved, 1 otherwise.
"""

import queue
import sys

import vktnet

SEARCH_MS = 1000   # how long the search listens for answers
CALL_MS = 3000     # time-out of each camera call
PICTURE_S = 5.0    # how long to wait for the picture to arrive


def main(argv):
    wanted = argv[1] if len(argv) > 1 else None
    output = argv[2] if len(argv) > 2 else "first_camera.jpg"
    # Pictures arrive on a library thread: the callback only queues them.
    pictures = queue.Queue()

    try:
        with vktnet.Library() as lib:                          # VKT_Init ... VKT_Close
            print("library started")
            devices = lib.search(timeout_ms=SEARCH_MS)
            print("search: %d camera(s)" % len(devices))
            for d in devices:
                print("  %s  %s  %s  port %d" % (d.ip, d.mac, d.model, d.command_port))
            chosen = [d for d in devices if wanted is None or d.ip == wanted]
            if not chosen:
                print("first_camera: no camera%s" % (" at " + wanted if wanted else ""), file=sys.stderr)
                return 1

            with lib.add_camera(chosen[0], on_picture=pictures.put, timeout_ms=CALL_MS) as camera:
                print("camera added, handle %d" % camera.handle)
                print("image rotation: %d degrees" % camera.get_image_rotation())
                camera.snapshot(value=7)                       # the picture comes through on_picture
                try:
                    picture = pictures.get(timeout=PICTURE_S)
                except queue.Empty:
                    print("first_camera: no picture within %.0f s" % PICTURE_S, file=sys.stderr)
                    return 1
                print("received picture: %d bytes, value %d, taken %s"
                      % (len(picture.data), picture.value, picture.time))
                with open(output, "wb") as out:
                    out.write(picture.data)
                print("saved %s" % output)
            return 0
    except vktnet.StartError as e:
        print("first_camera: %s%s" % (e, " (another process uses the library)" if e.in_use else ""),
              file=sys.stderr)
        return 1
    except vktnet.VKTError as e:                               # e.code, e.name, e.function
        print("first_camera: %s" % e, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
