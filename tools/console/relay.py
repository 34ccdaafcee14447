#!/usr/bin/python3
"""A byte relay between a TCP port and a Unix socket, both ways.

tools/run-console.sh runs the console in a private network namespace that
has only loopback, so its camera search never leaves it. A Unix socket is a
file, seen from every namespace: one relay inside forwards the socket to the
console's port, one outside forwards the host's loopback port to the socket.
Only the web port crosses; no broadcast can.

  relay.py --listen-unix PATH --connect-tcp HOST:PORT
  relay.py --listen-tcp HOST:PORT --connect-unix PATH
"""

import argparse
import asyncio
import os
import signal
import sys

CHUNK = 65536
CONNECT_TIMEOUT = 5


async def pipe(reader, writer):
    try:
        while True:
            data = await reader.read(CHUNK)
            if not data:
                break
            writer.write(data)
            await writer.drain()
    except (ConnectionError, OSError):
        pass
    finally:
        try:
            writer.close()
        except OSError:
            pass


def address(text):
    host, _, port = text.rpartition(':')
    return host, int(port)


async def main():
    parser = argparse.ArgumentParser()
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument('--listen-unix')
    where.add_argument('--listen-tcp')
    to = parser.add_mutually_exclusive_group(required=True)
    to.add_argument('--connect-unix')
    to.add_argument('--connect-tcp')
    args = parser.parse_args()

    async def connect():
        if args.connect_unix:
            return await asyncio.wait_for(asyncio.open_unix_connection(args.connect_unix), CONNECT_TIMEOUT)
        host, port = address(args.connect_tcp)
        return await asyncio.wait_for(asyncio.open_connection(host, port), CONNECT_TIMEOUT)

    async def serve(client_reader, client_writer):
        try:
            server_reader, server_writer = await connect()
        except (OSError, asyncio.TimeoutError):
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer), pipe(server_reader, client_writer))

    if args.listen_unix:
        if os.path.exists(args.listen_unix):
            os.unlink(args.listen_unix)
        server = await asyncio.start_unix_server(serve, args.listen_unix)
        os.chmod(args.listen_unix, 0o600)
    else:
        host, port = address(args.listen_tcp)
        server = await asyncio.start_server(serve, host, port, reuse_address=True)
    print('relay: ready', flush=True)

    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGINT, signal.SIGTERM):
        loop.add_signal_handler(sig, stop.set)
    async with server:
        await stop.wait()
    return 0


if __name__ == '__main__':
    sys.exit(asyncio.run(main()))
