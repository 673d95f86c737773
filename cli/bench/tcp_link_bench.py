#!/usr/bin/env python3
"""Throughput of fernlink-cli's Ethernet send and receive against cncsim on loopback.

Not a test: it prints figures. Usage: tcp_link_bench.py [BUILD_DIR] [--mb N] [--runs N]
Each transfer is a whole fernlink-cli run; the time of an empty-file run is taken as the
fixed cost (process start, connect, partition and command exchange) and subtracted before
the time per acknowledged 2048-byte frame is worked out.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time


def run(cli, address, args, cwd):
    start = time.perf_counter()
    p = subprocess.run([cli, "--tcp", address] + args, cwd=cwd, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit("fernlink-cli %s failed: %s" % (" ".join(args), p.stderr))
    return elapsed


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", "..", "build"))
    ap.add_argument("--mb", type=int, default=10)
    ap.add_argument("--runs", type=int, default=3)
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
    for name, times, base in (("send", sends, base_send), ("receive", recvs, base_recv)):
        best = min(times)
        print("  %-8s best %.2f s (%.1f MB/s), worst %.2f s; fixed cost %.0f ms; %.1f us per acknowledged frame"
              % (name, best, a.mb / best, max(times), base * 1000, (best - base) / frames * 1e6))


if __name__ == "__main__":
    main()
