#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Throughput of fernlink-cli's Ethernet send and receive against cncsim on loopback.

Not a test: it prints figures. Usage:
  tcp_link_bench.py [BUILD_DIR] [--mb N] [--runs N] [--json FILE] [--peer-last]

Each transfer is a whole fernlink-cli run. The time of a run with a one-frame file is taken as
the fixed cost (process start, connect, partition and transfer commands, the 100 ms the PC
waits before a file's EOT, the transfer log line) and subtracted before the time per
acknowledged 2048-byte frame is worked out over the remaining frames.

Beside it, the floor any acknowledged link has on this machine: the same bytes copied over a
plain loopback socket in the same 2048-byte frames, each waiting for a one-byte answer
before the next goes.

Every run is a round: the plain copy, the send and the receive one after the other (the plain
copy first, or last with --peer-last), so a burst of load from elsewhere hits both alike;
the figures are the medians of the rounds with their spread. Beside the wall-clock figures
it counts the processor time per frame of both ends together (fernlink-cli and cncsim; the
plain copy's two threads), which a loaded machine changes much less. --json writes the
figures for bench/run.
"""
import argparse
import json
import os
import resource
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

FRAME = 2048
PAYLOAD = 2047


def cpu_seconds_of(pid):
    """Processor time of a running process so far, every thread included."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return total / 1e9


def run(cli, address, args, cwd, sim_pid):
    """Wall seconds of one fernlink-cli run, and the processor seconds both ends spent in it."""
    sim_before = cpu_seconds_of(sim_pid)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    p = subprocess.run([cli, "--tcp", address] + args, cwd=cwd, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit("fernlink-cli %s failed: %s" % (" ".join(args), p.stderr))
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cli_cpu = after.ru_utime + after.ru_stime - children.ru_utime - children.ru_stime
    return elapsed, cli_cpu + cpu_seconds_of(sim_pid) - sim_before


def recv_exact(sock, n):
    got = 0
    view = memoryview(bytearray(n))
    while got < n:
        k = sock.recv_into(view[got:])
        if not k:
            raise RuntimeError("loopback peer closed early")
        got += k


def plain_acknowledged_copy(data):
    """Wall and processor seconds to move data over loopback in FRAME-byte frames, one
    answer byte per frame."""
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
    cpu = time.process_time()
    start = time.perf_counter()
    for offset in range(0, len(data), FRAME):
        client.sendall(view[offset:offset + FRAME])
        recv_exact(client, 1)
    elapsed = time.perf_counter() - start
    th.join()
    cpu = time.process_time() - cpu
    client.close()
    server.close()
    return elapsed, cpu


def spread(values, scale=1.0, unit=""):
    m = statistics.median(values) * scale
    return "%.1f%s (%.1f-%.1f)" % (m, unit, min(values) * scale, max(values) * scale)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", "..", "build"))
    ap.add_argument("--mb", type=int, default=10)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--peer-last", action="store_true", help="the plain copy after our runs in every round")
    ap.add_argument("--json", help="also write the figures to this file")
    a = ap.parse_args()
    a.build = os.path.abspath(a.build)
    cli = os.path.join(a.build, "bin", "fernlink-cli")
    sim_path = os.path.join(a.build, "bin", "cncsim")
    size = a.mb * 1024 * 1024
    frames = (size + PAYLOAD - 1) // PAYLOAD
    plain_frames = (size + FRAME - 1) // FRAME
    samples = {"send": [], "receive": [], "plain": []}
    with tempfile.TemporaryDirectory() as tmp:
        work = os.path.join(tmp, "work")
        os.makedirs(os.path.join(work, "back"))
        sim = subprocess.Popen([sim_path, "--root", os.path.join(tmp, "root"), "--tcp", "0"],
                               stdout=subprocess.PIPE, text=True)
        try:
            address = sim.stdout.readline().strip()
            data = os.urandom(size)
            with open(os.path.join(work, "big.bin"), "wb") as f:
                f.write(data)
            with open(os.path.join(work, "one.bin"), "wb") as f:
                f.write(data[:PAYLOAD])
            send = ["send", "--area", "sys"]
            receive = ["receive", "--area", "sys", "--dir", "back", "--overwrite"]
            for i in range(a.runs):
                def ours():
                    # The one-frame runs beside the big ones, so both see the same load.
                    fixed = run(cli, address, send + ["one.bin"], work, sim.pid)
                    big = run(cli, address, send + ["big.bin"], work, sim.pid)
                    samples["send"].append((big, fixed))
                    fixed = run(cli, address, receive + ["one.bin"], work, sim.pid)
                    big = run(cli, address, receive + ["big.bin"], work, sim.pid)
                    samples["receive"].append((big, fixed))
                    with open(os.path.join(work, "back", "big.bin"), "rb") as f:
                        if f.read() != data:
                            sys.exit("the file came back different")

                if a.peer_last:
                    ours()
                    samples["plain"].append(plain_acknowledged_copy(data))
                else:
                    samples["plain"].append(plain_acknowledged_copy(data))
                    ours()
        finally:
            sim.terminate()
            sim.wait()

    print("%d MB over TCP on loopback, %d frames of 2048 bytes each way, %d rounds; median (min-max)"
          % (a.mb, frames, a.runs))
    figures = {"mb": a.mb, "frames": frames, "rounds": a.runs}
    for name in ("send", "receive"):
        rates, us, cpu_us, fixed_ms = [], [], [], []
        for (big_wall, big_cpu), (one_wall, one_cpu) in samples[name]:
            per_frame = max(big_wall - one_wall, 1e-9) / (frames - 1)
            rates.append(1 / per_frame)
            us.append(per_frame * 1e6)
            cpu_us.append(max(big_cpu - one_cpu, 0) / (frames - 1) * 1e6)
            fixed_ms.append(one_wall * 1000)
        print("  %-8s %s frames/s, %s us per acknowledged frame; cpu of both ends %s us per frame;"
              " fixed cost %s ms" % (name, spread(rates, 1, ""), spread(us), spread(cpu_us), spread(fixed_ms)))
        figures[name] = {"frames_per_second": statistics.median(rates), "samples": rates,
                         "cpu_us_per_frame": statistics.median(cpu_us), "cpu_samples": cpu_us,
                         "fixed_seconds": statistics.median(fixed_ms) / 1000}
    rates = [plain_frames / wall for wall, _ in samples["plain"]]
    cpu_us = [cpu / plain_frames * 1e6 for _, cpu in samples["plain"]]
    print("  plain loopback socket, %d frames of %d bytes each answered by one byte: %s frames/s,"
          " cpu of both ends %s us per frame" % (plain_frames, FRAME, spread(rates, 1, ""), spread(cpu_us)))
    figures["plain"] = {"frames": plain_frames, "frames_per_second": statistics.median(rates), "samples": rates,
                        "cpu_us_per_frame": statistics.median(cpu_us), "cpu_samples": cpu_us}
    if a.json:
        with open(a.json, "w") as f:
            json.dump(figures, f, indent=1)


if __name__ == "__main__":
    main()
