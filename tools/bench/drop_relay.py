#!/usr/bin/env python3
"""A TCP relay on 127.0.0.1 that cuts every connection after it has passed a
given number of bytes from the server to the client, as a poor network does,
and may pace each connection, as many servers and CDNs do.

    drop_relay.py UPSTREAM_PORT DROP_EVERY_BYTES [--pace BYTES_PER_SECOND] [--port-file FILE]

DROP_EVERY_BYTES 0 relays without cuts; without --pace each connection goes
as fast as it can. Prints "relay port N" once listening.
"""

import argparse
import os
import socket
import threading
import time

PIECE = 1024 * 1024
PACE_SLICES = 20  # a paced connection sends a twentieth of its second at a time


def pump(source, target, limit, done, pace=0):
    """Copies source to target until either side ends or limit bytes passed
    (limit 0: no limit), at most pace bytes per second (0: no pace); then
    shuts both down. The bytes go through a pipe with splice, never through
    Python, so the relay keeps up with the engine."""
    passed = 0
    started = time.monotonic()
    piece = min(PIECE, max(1, pace // PACE_SLICES)) if pace else PIECE
    pipe_r, pipe_w = os.pipe()
    try:
        while True:
            if pace:
                wait = started + passed / pace - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
            want = piece if not limit else min(piece, limit - passed)
            n = os.splice(source.fileno(), pipe_w, want)
            if not n:
                break
            left = n
            while left:
                left -= os.splice(pipe_r, target.fileno(), left)
            passed += n
            if limit and passed >= limit:
                break
    except OSError:
        pass
    finally:
        os.close(pipe_r)
        os.close(pipe_w)
        if not done.is_set():
            done.set()
            for s in (source, target):
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass


def serve(client, upstream_port, drop_every, pace):
    try:
        server = socket.create_connection(("127.0.0.1", upstream_port))
    except OSError:
        client.close()
        return
    done = threading.Event()
    up = threading.Thread(target=pump, args=(client, server, 0, done), daemon=True)
    up.start()
    pump(server, client, drop_every, done, pace)
    up.join()
    client.close()
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("upstream_port", type=int)
    parser.add_argument("drop_every", type=int)
    parser.add_argument("--pace", type=int, default=0)
    parser.add_argument("--port-file")
    args = parser.parse_args()
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    port = listener.getsockname()[1]
    if args.port_file:
        with open(args.port_file, "w") as f:
            f.write(str(port))
    print("relay port %d" % port, flush=True)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, args.upstream_port, args.drop_every, args.pace),
                         daemon=True).start()


if __name__ == "__main__":
    main()
