#!/usr/bin/env python3
"""The memory that many connections' unfinished messages cost the service.

For each N, starts a fresh service; N attackers each send 48 MiB of one text message in
16 MiB fragments and never its final frame, all at once, and then hold their connections.
Meanwhile a healthy client sends one small GetValue at a time and times each round trip.
Reports the service's peak resident memory (VmHWM), how many attackers the service ended,
the healthy client's round trips, and the resident memory 2 s after the attackers closed,
against the idle figure. Port 8083 must be free, so run it in a private network namespace:

  unshare --net bash -c 'ip link set lo up && bench/unfinished_input.py build/release/modules/tarnvale/tarnvale'

Optional further arguments are the values of N (default: 5 10 20).
"""
import json
import multiprocessing
import socket
import sys
import threading
import time

from request_memory import FRAGMENT, UUID, connect, frame, read_frame, start, status_kib

UNFINISHED = 48 << 20
HOLD = 3.0  # seconds the attackers hold their connections once they have sent everything


def attack(results, index, done):
    """Sends UNFINISHED bytes of one message without its end; True if the service ended it."""
    sock = connect()
    piece = b" " * FRAGMENT
    ended = False
    try:
        for k in range(0, UNFINISHED, FRAGMENT):
            sock.sendall(frame(0x1 if k == 0 else 0x0, False, piece))
        done.wait()
        sock.settimeout(0.01)
        try:
            ended = sock.recv(1) == b""
        except socket.timeout:
            ended = False
    except OSError:
        ended = True
    results[index] = (ended, sock)


def healthy(stop, results):
    """One small GetValue at a time until `stop`; a process of its own, so that the attackers'
    threads do not delay its clock readings."""
    sock = connect()
    request = json.dumps({"uuid": UUID, "type": "GetValue", "body": {"path": "system.uptime"}}).encode()
    round_trips = []
    while not stop.is_set():
        started = time.monotonic()
        sock.sendall(frame(0x1, True, request))
        opcode, payload = read_frame(sock)
        round_trips.append(time.monotonic() - started)
        assert opcode == 0x1 and b"GetValueResponse" in payload, payload[:200]
        time.sleep(0.005)
    sock.close()
    results.put(round_trips)


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(p / 100 * len(ordered)))]


def measure(service, n):
    proc = start(service)
    try:
        time.sleep(0.5)
        idle = status_kib(proc.pid, "VmRSS")
        stop = multiprocessing.Event()
        round_trips = multiprocessing.Queue()
        client = multiprocessing.Process(target=healthy, args=(stop, round_trips))
        client.start()
        results = [None] * n
        done = threading.Event()
        attackers = [threading.Thread(target=attack, args=(results, i, done)) for i in range(n)]
        for t in attackers:
            t.start()
        time.sleep(HOLD)
        done.set()
        for t in attackers:
            t.join()
        peak = status_kib(proc.pid, "VmHWM")
        ended = sum(1 for r in results if r[0])
        for _, sock in results:
            sock.close()
        time.sleep(2)
        after = status_kib(proc.pid, "VmRSS")
        stop.set()
        rtts = round_trips.get()
        client.join()
        return idle, peak, after, ended, rtts
    finally:
        proc.terminate()
        proc.wait()


def main():
    service = sys.argv[1]
    counts = [int(a) for a in sys.argv[2:]] or [5, 10, 20]
    print(f"{'N':>3} {'idle MiB':>9} {'peak MiB':>9} {'ended':>6} {'after 2 s MiB':>14} "
          f"{'RTTs':>5} {'p50 ms':>7} {'p99 ms':>7} {'max ms':>7}")
    for n in counts:
        idle, peak, after, ended, rtts = measure(service, n)
        print(f"{n:3} {idle / 1024:9.1f} {peak / 1024:9.1f} {ended:6} {after / 1024:14.1f} {len(rtts):5} "
              f"{percentile(rtts, 50) * 1e3:7.2f} {percentile(rtts, 99) * 1e3:7.2f} {max(rtts) * 1e3:7.2f}",
              flush=True)


if __name__ == "__main__":
    main()
