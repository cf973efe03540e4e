#!/usr/bin/env python3
"""The memory one large request costs the service.

For each shape of a 64 MiB request text, starts a fresh service, sends the text as one
WebSocket text message in four 16 MiB fragments, waits for the reply (or the close), and
reads the service's peak resident memory (VmHWM) and its resident memory 2 s after the
reply (VmRSS) from /proc. Port 8083 must be free, so run it in a private network namespace:

  unshare --net bash -c 'ip link set lo up && bench/request_memory.py build/release/modules/tarnvale/tarnvale'

Optional further arguments name the shapes to run (default: all).
"""
import os
import socket
import subprocess
import sys
import time

MESSAGE = 64 << 20  # the service's largest incoming message
FRAGMENT = 16 << 20  # its largest frame payload
UUID = "6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12"
HANDSHAKE = (b"GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
             b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")


def repeated(head, item, separator, tail):
    """head + item, separator, item... + tail, padded with spaces to exactly MESSAGE bytes."""
    room = MESSAGE - len(head) - len(tail)
    count = (room + len(separator)) // (len(item) + len(separator))
    body = separator.join([item] * count)
    return (head + body + tail).ljust(MESSAGE).encode()


def deep(depth):
    return "[" * depth + "]" * depth


SHAPES = {
    "zeros": lambda: repeated("[", "0", ",", "]"),
    "empty-arrays": lambda: repeated("[", "[]", ",", "]"),
    "empty-objects": lambda: repeated("[", "{}", ",", "]"),
    "strings": lambda: repeated("[", '"a"', ",", "]"),
    "get-value-extra-member": lambda: repeated(
        '{"uuid":"%s","type":"GetValue","body":{"path":"system"},"x":[' % UUID, "0", ",", "]}"),
    "repeated-key": lambda: repeated("{", '"a":0', ",", "}"),
    "deep-arrays": lambda: repeated("[", deep(126), ",", "]"),
    "deep-objects": lambda: repeated("[", '{"a":' * 126 + "0" + "}" * 126, ",", "]"),
    "one-long-key": lambda: ('{"' + "k" * (MESSAGE - 8) + '":0}  ').encode(),
}


def status_kib(pid, field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError(f"no {field} for {pid}")


def frame(opcode, fin, payload):
    # Client frames must be masked; the zero mask leaves the payload as it is.
    first = (0x80 if fin else 0) | opcode
    n = len(payload)
    if n < 126:
        header = bytes([first, 0x80 | n])
    elif n < 65536:
        header = bytes([first, 0x80 | 126]) + n.to_bytes(2, "big")
    else:
        header = bytes([first, 0x80 | 127]) + n.to_bytes(8, "big")
    return header + b"\0\0\0\0" + payload


def read_frame(sock):
    def exactly(n):
        data = b""
        while len(data) < n:
            chunk = sock.recv(n - len(data))
            if not chunk:
                raise ConnectionError("connection closed")
            data += chunk
        return data

    first, second = exactly(2)
    n = second & 0x7F
    if n == 126:
        n = int.from_bytes(exactly(2), "big")
    elif n == 127:
        n = int.from_bytes(exactly(8), "big")
    return first & 0x0F, exactly(n)


def connect():
    """A WebSocket connection to the service, its opening handshake done."""
    sock = socket.create_connection(("127.0.0.1", 8083))
    sock.sendall(HANDSHAKE)
    response = b""
    while b"\r\n\r\n" not in response:
        chunk = sock.recv(4096)
        if not chunk:
            raise ConnectionError("no handshake response")
        response += chunk
    return sock


def start(service, stderr=subprocess.DEVNULL):
    """The service, once it has written its start-up line."""
    proc = subprocess.Popen([service], stdout=subprocess.PIPE, stderr=stderr, text=True)
    if not proc.stdout.readline().startswith("tarnvale listening"):
        proc.kill()
        raise RuntimeError("the service did not start")
    return proc


def measure(service, text):
    proc = start(service)
    try:
        time.sleep(0.5)
        idle = status_kib(proc.pid, "VmRSS")
        sock = connect()
        started = time.monotonic()
        for k in range(0, len(text), FRAGMENT):
            piece = text[k:k + FRAGMENT]
            sock.sendall(frame(0x1 if k == 0 else 0x0, k + FRAGMENT >= len(text), piece))
        opcode, payload = read_frame(sock)
        elapsed = time.monotonic() - started
        reply = payload[:100].decode(errors="replace") if opcode == 0x1 else f"close {payload[:2].hex()}"
        time.sleep(2)
        after = status_kib(proc.pid, "VmRSS")
        peak = status_kib(proc.pid, "VmHWM")
        sock.close()
        return idle, peak, after, elapsed, reply
    finally:
        proc.terminate()
        proc.wait()


def main():
    service = sys.argv[1]
    names = sys.argv[2:] or list(SHAPES)
    print(f"{'shape':24} {'idle MiB':>9} {'peak MiB':>9} {'after 2 s MiB':>14} {'reply s':>8}  reply")
    for name in names:
        text = SHAPES[name]()
        assert len(text) == MESSAGE
        idle, peak, after, elapsed, reply = measure(service, text)
        print(f"{name:24} {idle / 1024:9.1f} {peak / 1024:9.1f} {after / 1024:14.1f} {elapsed:8.2f}  {reply[:60]}",
              flush=True)


if __name__ == "__main__":
    main()
