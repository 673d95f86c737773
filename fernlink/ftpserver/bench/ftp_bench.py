#!/usr/bin/env python3
"""Loopback throughput and login rate of fernlink-cli ftpd, measured beside pyftpdlib in
the same run and printed as ratios (ours / peer). Not a test: figures depend on the machine.

usage: ftp_bench.py [BUILD_DIR]   (default: $VANTOR_BUILD_DIR)
needs: python3-pyftpdlib for the system python3
"""
import ftplib
import io
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HOST = "127.0.0.1"
SIZE = 64 * 1024 * 1024
ROUNDS = 3
LOGINS = 300


def free_port():
    s = socket.socket()
    s.bind((HOST, 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_listening(port):
    for _ in range(100):
        try:
            socket.create_connection((HOST, port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("server on %d did not come up" % port)


def measure(port, user, password):
    ftp = ftplib.FTP()
    ftp.connect(HOST, port, timeout=30)
    ftp.login(user, password)
    ftp.set_pasv(True)
    data = os.urandom(SIZE)
    best_stor = best_retr = 0.0
    for _ in range(ROUNDS):
        t = time.perf_counter()
        ftp.storbinary("STOR bench.bin", io.BytesIO(data), blocksize=65536)
        best_stor = max(best_stor, SIZE / (time.perf_counter() - t))
        got = [0]
        t = time.perf_counter()
        ftp.retrbinary("RETR bench.bin", lambda b: got.__setitem__(0, got[0] + len(b)), blocksize=65536)
        best_retr = max(best_retr, SIZE / (time.perf_counter() - t))
        assert got[0] == SIZE
    ftp.quit()
    t = time.perf_counter()
    for _ in range(LOGINS):
        f = ftplib.FTP()
        f.connect(HOST, port, timeout=10)
        f.login(user, password)
        f.quit()
    logins = LOGINS / (time.perf_counter() - t)
    return best_retr / 1e6, best_stor / 1e6, logins


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.environ.get("VANTOR_BUILD_DIR", "")
    cli = os.path.join(build, "bin", "fernlink-cli")
    if not os.path.exists(cli):
        sys.exit("fernlink-cli not found; pass the build folder")
    work = tempfile.mkdtemp(prefix="ftpbench")
    ours_home = os.path.join(work, "ours")
    peer_home = os.path.join(work, "peer")
    os.makedirs(ours_home)
    os.makedirs(peer_home)
    users = os.path.join(work, "users.dat")
    subprocess.run([cli, "users", "--users", users, "add", "bench1", "--password", "pw", "--home", ours_home,
                    "--download", "--upload", "--delete"], check=True, capture_output=True)
    ours_port, peer_port = free_port(), free_port()
    ours = subprocess.Popen([cli, "ftpd", "--port", str(ours_port), "--users", users, "--max-users", "50"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peer_code = (
        "import logging,sys\n"
        "from pyftpdlib.authorizers import DummyAuthorizer\n"
        "from pyftpdlib.handlers import FTPHandler\n"
        "from pyftpdlib.servers import FTPServer\n"
        "logging.disable(logging.CRITICAL)\n"
        "a=DummyAuthorizer(); a.add_user('bench1','pw',sys.argv[2],perm='elradfmw')\n"
        "FTPHandler.authorizer=a\n"
        "FTPServer(('127.0.0.1',int(sys.argv[1])),FTPHandler).serve_forever()\n")
    peer = subprocess.Popen(["/usr/bin/python3", "-c", peer_code, str(peer_port), peer_home],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_listening(ours_port)
        wait_listening(peer_port)
        o = measure(ours_port, "bench1", "pw")
        p = measure(peer_port, "bench1", "pw")
    finally:
        ours.terminate()
        peer.terminate()
        ours.wait(10)
        peer.wait(10)
        shutil.rmtree(work, ignore_errors=True)
    print("%-12s %14s %14s %8s" % ("", "fernlink ftpd", "pyftpdlib", "ratio"))
    for name, a, b, unit in [("RETR", o[0], p[0], "MB/s"), ("STOR", o[1], p[1], "MB/s"), ("logins", o[2], p[2], "/s")]:
        print("%-12s %9.1f %-4s %9.1f %-4s %7.2fx" % (name, a, unit, b, unit, a / b))


if __name__ == "__main__":
    main()
