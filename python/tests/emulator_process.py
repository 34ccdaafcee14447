"""The camera emulator as a child process, and its control channel.

The emulator program comes from $VKTNET_EMULATOR. Tests that talk to it run
only inside a private network namespace (tools/netns-run): searches
broadcast, and the library allows one process per namespace.
"""

import os
import selectors
import socket
import subprocess
import time
import unittest

EMULATOR_ENV = "VKTNET_EMULATOR"
# The namespace is private, so the emulator's default control port is free.
CONTROL_PORT = 34999


def require_private_namespace():
    """Refuses to go on unless loopback is this network namespace's only
    interface, as in the namespace tools/netns-run makes: broadcasts then
    reach nothing else."""
    names = [name for _, name in socket.if_nameindex()]
    if names != ["lo"]:
        raise RuntimeError("these tests broadcast: run them under tools/netns-run (interfaces here: %s)"
                           % ", ".join(names))


def wait_until(condition, timeout, what):
    """Polls `condition` until it returns a true value, at most `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(0.02)


class Emulator:
    def __init__(self, cameras, control_port=CONTROL_PORT, start_timeout=10.0):
        path = os.environ.get(EMULATOR_ENV)
        if not path:
            raise unittest.SkipTest("$%s names no emulator program" % EMULATOR_ENV)
        require_private_namespace()
        argv = [path, "--control", str(control_port), "--exit-after", "900"]
        for camera in cameras:
            argv += ["--camera", camera]
        self.process = subprocess.Popen(argv, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        try:
            line = self._read_stdout_line(start_timeout)
            if line != "ready":
                raise RuntimeError("the emulator said %r instead of 'ready'" % line)
            self._control = socket.create_connection(("127.0.0.1", control_port), timeout=5)
            self._replies = self._control.makefile("r", encoding="utf-8", newline="\n")
        except BaseException:
            self.process.kill()
            self.process.wait(5)
            raise

    def _read_stdout_line(self, timeout):
        deadline = time.monotonic() + timeout
        data = b""
        with selectors.DefaultSelector() as selector:
            selector.register(self.process.stdout, selectors.EVENT_READ)
            while b"\n" not in data:
                left = deadline - time.monotonic()
                if left <= 0 or not selector.select(left):
                    raise RuntimeError("the emulator did not start within %.0f s" % timeout)
                chunk = os.read(self.process.stdout.fileno(), 4096)
                if not chunk:
                    raise RuntimeError("the emulator exited: %r" % self.process.wait(5))
                data += chunk
        return data.split(b"\n", 1)[0].decode()

    def command(self, line):
        """Sends one control command; returns the reply's first line after
        'ok', or the whole reply's lines for the listing commands."""
        self._control.sendall(line.encode() + b"\n")
        first = self._replies.readline().rstrip("\n")
        if not first.startswith("ok"):
            raise AssertionError("emulator: %s -> %s" % (line, first))
        words = line.split()
        if words[0] == "list" or (words[0] == "sd" and words[2] == "ls"):
            lines = []
            while True:
                raw = self._replies.readline()
                if not raw:
                    raise AssertionError("emulator: the reply to %r ended early" % line)
                if raw.rstrip("\n") == ".":
                    return lines
                lines.append(raw.rstrip("\n"))
        return first[2:].strip()

    def values(self, line):
        """A reply of key=value words as a dict."""
        return dict(word.split("=", 1) for word in self.command(line).split() if "=" in word)

    def stop(self):
        try:
            self.command("quit")
        except (OSError, AssertionError):
            pass
        try:
            self._control.close()
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(5)
        finally:
            self.process.stdout.close()


class ModuleEmulator:
    """One emulator for all the tests of a module: its start() and stop()
    serve as the module's setUpModule and tearDownModule; in between, the
    running emulator's methods are called through it."""

    def __init__(self, cameras):
        self._cameras = cameras
        self._running = None

    def start(self):
        self._running = Emulator(self._cameras)

    def stop(self):
        if self._running:
            self._running.stop()
            self._running = None

    def __getattr__(self, name):
        if self._running is None:
            raise AttributeError("the emulator is not running (asked for %r)" % name)
        return getattr(self._running, name)
