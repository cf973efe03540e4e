#!/usr/bin/env python3
"""What reset churn costs the service when its standard error is slow.

For each way of taking standard error, starts a fresh service and runs 200 clients for 10 s,
each in a loop connecting, finishing the WebSocket handshake and resetting the connection
(SO_LINGER 0, no close frame), while one healthy client sends a GetValue every 20 ms and
times each answer. Then it reads what the service wrote to standard error. Port 8083 must be
free, so run it in a private network namespace:

  unshare --net bash -c 'ip link set lo up && bench/stderr_churn.py build/release/modules/tarnvale/tarnvale'

Ways of taking standard error (default: all):
  stalled  a 64 KiB pipe that nobody reads until the churn is over
  slow     a 64 KiB pipe read 4 KiB at a time, ten times a second
  file     a regular file

Prints, per way: the reset cycles done, the lines written (failure lines, summaries and the
connection failures they count, lines reported as not written), and the healthy client's
worst and median round trip and the answers it did not get within 10 s.
"""
import asyncio
import fcntl
import multiprocessing
import os
import re
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

from request_memory import HANDSHAKE, connect, frame, read_frame

ADDRESS = ("127.0.0.1", 8083)
CHURN_CLIENTS = 200
CHURN_SECONDS = 10.0
PIPE_SIZE = 64 << 10
F_SETPIPE_SZ = 1031
GET_VALUE = b'{"uuid":"6f1c2a9e-3b7d-4e21-9c55-0a8d7e3f4b12","type":"GetValue","body":{"path":"system.uptime"}}'
RESET = struct.pack("ii", 1, 0)


def healthy_client(stop, results):
    """Round trips of a GetValue every 20 ms until `stop` is set; None for one not answered in 10 s."""
    sock = connect()
    sock.settimeout(10)
    trips = []
    while not stop.is_set():
        started = time.monotonic()
        try:
            sock.sendall(frame(0x1, True, GET_VALUE))
            while b"GetValueResponse" not in read_frame(sock)[1]:
                pass
            trips.append(time.monotonic() - started)
        except socket.timeout:
            trips.append(None)
        time.sleep(0.02)
    results.put(trips)


async def reset_cycle(loop, sock):
    await loop.sock_connect(sock, ADDRESS)
    await loop.sock_sendall(sock, HANDSHAKE)
    response = b""
    while b"\r\n\r\n" not in response:
        chunk = await loop.sock_recv(sock, 4096)
        if not chunk:
            raise ConnectionError("closed during the handshake")
        response += chunk


async def churn_client(deadline, counts):
    loop = asyncio.get_running_loop()
    while time.monotonic() < deadline:
        sock = socket.socket()
        sock.setblocking(False)
        try:
            await asyncio.wait_for(reset_cycle(loop, sock), max(0.01, deadline - time.monotonic()))
            counts[0] += 1
        except (OSError, asyncio.TimeoutError):
            pass
        finally:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, RESET)
            sock.close()


async def churn(seconds):
    counts = [0]
    deadline = time.monotonic() + seconds
    await asyncio.gather(*(churn_client(deadline, counts) for _ in range(CHURN_CLIENTS)))
    return counts[0]


def slow_reader(fd, sink, stop):
    while not stop.is_set():
        time.sleep(0.1)
        try:
            sink.append(os.read(fd, 4096))
        except BlockingIOError:
            pass


def read_all(fd, sink, quiet):
    """Reads `fd` until nothing has come for `quiet` seconds."""
    last = time.monotonic()
    while time.monotonic() - last < quiet:
        try:
            chunk = os.read(fd, 1 << 16)
        except BlockingIOError:
            time.sleep(0.05)
            continue
        if not chunk:
            break
        sink.append(chunk)
        last = time.monotonic()


def run(service, way):
    read_end = None
    log_file = None
    if way == "file":
        log_file = tempfile.TemporaryFile()
        err = log_file
    else:
        read_end, write_end = os.pipe()
        fcntl.fcntl(write_end, F_SETPIPE_SZ, PIPE_SIZE)
        os.set_blocking(read_end, False)
        err = write_end
    proc = subprocess.Popen([service], stdout=subprocess.PIPE, stderr=err, text=True)
    if read_end is not None:
        os.close(write_end)
    received = []
    try:
        if not proc.stdout.readline().startswith("tarnvale listening"):
            raise RuntimeError("the service did not start")
        stop_reader = threading.Event()
        reader = None
        if way == "slow":
            reader = threading.Thread(target=slow_reader, args=(read_end, received, stop_reader))
            reader.start()
        stop = multiprocessing.Event()
        results = multiprocessing.Queue()
        healthy = multiprocessing.Process(target=healthy_client, args=(stop, results))
        healthy.start()
        cycles = asyncio.run(churn(CHURN_SECONDS))
        stop.set()
        if reader is not None:
            stop_reader.set()
            reader.join()
        if read_end is not None:
            # The healthy client may wait on a service that waits on this pipe.
            drainer = threading.Thread(target=read_all, args=(read_end, received, 3.0))
            drainer.start()
            trips = results.get()
            drainer.join()
        else:
            trips = results.get()
            time.sleep(2)
        healthy.join()
        if log_file is not None:
            log_file.seek(0)
            received.append(log_file.read())
    finally:
        proc.terminate()
        proc.wait()
        if read_end is not None:
            os.close(read_end)
    return cycles, b"".join(received).decode(errors="replace"), trips


def summarize(text):
    lines = text.splitlines()
    failures = sum(1 for line in lines if line.startswith("WebSocket connection from "))
    summaries = [int(m.group(1)) for line in lines
                 if (m := re.match(r"WebSocket connection failures: (\d+) more in the last second", line))]
    dropped = sum(int(m.group(1)) for line in lines
                  if (m := re.match(r"standard error fell behind: (\d+) lines not written", line)))
    return len(lines), failures, len(summaries), sum(summaries), dropped


def main():
    service = sys.argv[1]
    ways = sys.argv[2:] or ["stalled", "slow", "file"]
    print(f"{'stderr':8} {'cycles':>7} {'lines':>7} {'failure':>8} {'summary':>8} {'counted':>8} {'dropped':>8}"
          f" {'worst ms':>9} {'median ms':>10} {'unanswered':>11}")
    for way in ways:
        cycles, text, trips = run(service, way)
        lines, failures, summaries, counted, dropped = summarize(text)
        answered = [t for t in trips if t is not None]
        worst = max(answered) * 1000 if answered else float("nan")
        median = statistics.median(answered) * 1000 if answered else float("nan")
        print(f"{way:8} {cycles:7} {lines:7} {failures:8} {summaries:8} {counted:8} {dropped:8}"
              f" {worst:9.1f} {median:10.2f} {len(trips) - len(answered):11}", flush=True)


if __name__ == "__main__":
    main()
