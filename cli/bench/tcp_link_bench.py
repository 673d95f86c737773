#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Throughput of fernlink-cli's Ethernet send and receive against cncsim on loopback.

Not a test: it prints figures. Usage: tcp_link_bench.py [BUILD_DIR] [--mb N] [--runs N] [--json FILE]
Each transfer is a whole fernlink-cli run; the time of an empty-file run is taken as the
fixed cost (process start, connect, partition and command exchange) and subtracted before
the time per acknowledged 2048-byte frame is worked out.

Beside it, the floor any acknowledged link has on this machine: the same bytes copied over a
plain loopback socket in the same 2048-byte frames, each waiting for a one-byte answer
before the next goes. --json writes the figures for bench/run.
"""
import argparse
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

FRAME = 2048


def run(cli, address, args, cwd):
    start = time.perf_counter()
    p = subprocess.run([cli, "--tcp", address] + args, cwd=cwd, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit("fernlink-cli %s failed: %s" % (" ".join(args), p.stderr))
    return elapsed


def recv_exact(sock, n):
    got = 0
    view = memoryview(bytearray(n))
    while got < n:
        k = sock.recv_into(view[got:])
        if not k:
            raise RuntimeError("loopback peer closed early")
        got += k


def plain_acknowledged_copy(data):
    """Seconds to move data over loopback in FRAME-byte frames, one answer byte per frame."""
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)

    def answer():
        conn, _ = server.accept()
        with conn:
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            left = len(data)
            while left:
                n = min(FRAME, left)
                recv_exact(conn, n)
                conn.sendall(b"\x06")
                left -= n

    th = threading.Thread(target=answer)
    th.start()
    client = socket.create_connection(server.getsockname())
    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    view = memoryview(data)
    start = time.perf_counter()
    for offset in range(0, len(data), FRAME):
        client.sendall(view[offset:offset + FRAME])
        recv_exact(client, 1)
    elapsed = time.perf_counter() - start
    client.close()
    th.join()
    server.close()
    return elapsed


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", "..", "build"))
    ap.add_argument("--mb", type=int, default=10)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--json", help="also write the figures to this file")
    a = ap.parse_args()
    a.build = os.path.abspath(a.build)
    cli = os.path.join(a.build, "bin", "fernlink-cli")
    sim_path = os.path.join(a.build, "bin", "cncsim")
    size = a.mb * 1024 * 1024
    frames = (size + 2046) // 2047
    with tempfile.TemporaryDirectory() as tmp:
        work = os.path.join(tmp, "work")
        os.makedirs(os.path.join(work, "back"))
        sim = subprocess.Popen([sim_path, "--root", os.path.join(tmp, "root"), "--tcp", "0"],
                               stdout=subprocess.PIPE, text=True)
        try:
            address = sim.stdout.readline().strip()
            with open(os.path.join(work, "big.bin"), "wb") as f:
                f.write(os.urandom(size))
            open(os.path.join(work, "empty.bin"), "wb").close()
            base_send = min(run(cli, address, ["send", "--area", "sys", "empty.bin"], work) for _ in range(3))
            base_recv = min(run(cli, address, ["receive", "--area", "sys", "--dir", "back", "--overwrite", "empty.bin"], work)
                            for _ in range(3))
            with open(os.path.join(work, "big.bin"), "rb") as f:
                data = f.read()
            plain = min(plain_acknowledged_copy(data) for _ in range(a.runs))
            sends, recvs = [], []
            for _ in range(a.runs):
                sends.append(run(cli, address, ["send", "--area", "sys", "big.bin"], work))
                recvs.append(run(cli, address, ["receive", "--area", "sys", "--dir", "back", "--overwrite", "big.bin"], work))
                with open(os.path.join(work, "big.bin"), "rb") as f1, open(os.path.join(work, "back", "big.bin"), "rb") as f2:
                    if f1.read() != f2.read():
                        sys.exit("the file came back different")
        finally:
            sim.terminate()
            sim.wait()
    print("%d MB over TCP on loopback, %d frames of 2048 bytes each way, %d runs" % (a.mb, frames, a.runs))
    figures = {"mb": a.mb, "frames": frames}
    for name, times, base in (("send", sends, base_send), ("receive", recvs, base_recv)):
        best = min(times)
        print("  %-8s best %.2f s (%.1f MB/s), worst %.2f s; fixed cost %.0f ms; %.1f us per acknowledged frame"
              % (name, best, a.mb / best, max(times), base * 1000, (best - base) / frames * 1e6))
        figures[name] = {"seconds": best, "fixed_seconds": base, "frames_per_second": frames / max(best - base, 1e-9)}
    plain_frames = (len(data) + FRAME - 1) // FRAME
    print("  plain loopback socket, %d frames of %d bytes each answered by one byte: best %.2f s, %.1f us per frame"
          % (plain_frames, FRAME, plain, plain / plain_frames * 1e6))
    figures["plain"] = {"seconds": plain, "frames": plain_frames, "frames_per_second": plain_frames / plain}
    if a.json:
        with open(a.json, "w") as f:
            json.dump(figures, f, indent=1)


if __name__ == "__main__":
    main()
