#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Loopback speed of fernlink-cli ftpd beside vsftpd and pyftpdlib, measured in the same run
and printed as ratios (ours / peer time, ours / peer rate). Not a test: the figures depend on
the machine and on whatever else runs on it.

usage: ftp_bench.py [--memory-disk] [--json FILE] [BUILD_DIR]   (default: $VANTOR_BUILD_DIR)

--memory-disk puts the servers' folders on /dev/shm. Our server syncs every upload to disk
before it gives it the name (vsftpd and pyftpdlib do not), so on a real disk STOR measures
the disk as much as the server; in memory the sync costs nothing and the servers compare.

1. RETR and STOR of 100 MiB, best of three, against all three servers;
2. logins per second (connect, USER, PASS, QUIT), against all three;
3. 50 concurrent clients each doing 20 STOR+RETR of 1 MiB, byte-exact, against ours, with
   the server's peak resident memory.

Needs the Debian packages vsftpd and python3-pyftpdlib; they are installed with apt-get when
missing. vsftpd runs as an unprivileged process (as nobody when this script runs as root)
with its own configuration file on a loopback port, and is stopped at the end.
"""
import ftplib
import hashlib
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

HOST = "127.0.0.1"
SIZE = 100 * 1024 * 1024
ROUNDS = 3
LOGINS = 300
CLIENTS = 50
CLIENT_ROUNDS = 20
SMALL = 1024 * 1024
VSFTPD = "/usr/sbin/vsftpd"
SYSTEM_PYTHON = "/usr/bin/python3"


def ensure_packages():
    missing = []
    if not os.path.exists(VSFTPD):
        missing.append("vsftpd")
    if subprocess.run([SYSTEM_PYTHON, "-c", "import pyftpdlib"], capture_output=True).returncode != 0:
        missing.append("python3-pyftpdlib")
    if not missing:
        return
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    print("installing " + " ".join(missing), flush=True)
    subprocess.run(sudo + ["apt-get", "install", "-y", "--no-install-recommends"] + missing, check=True,
                   stdout=subprocess.DEVNULL)


def free_port():
    s = socket.socket()
    s.bind((HOST, 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_listening(port, proc):
    for _ in range(200):
        if proc.poll() is not None:
            raise RuntimeError("server on %d exited with %s" % (port, proc.returncode))
        try:
            socket.create_connection((HOST, port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("server on %d did not come up" % port)


def rss_kb(pid, field="VmRSS"):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


class Server:
    def __init__(self, name, port, user, password, home, proc):
        self.name, self.port, self.user, self.password, self.home, self.proc = name, port, user, password, home, proc

    def login(self, timeout=30):
        ftp = ftplib.FTP()
        ftp.connect(HOST, self.port, timeout=timeout)
        ftp.login(self.user, self.password)
        ftp.set_pasv(True)
        return ftp


def start_ours(build, work):
    cli = os.path.join(build, "bin", "fernlink-cli")
    if not os.path.exists(cli):
        sys.exit("fernlink-cli not found; pass the build folder")
    home = os.path.join(work, "ours")
    os.makedirs(home)
    users = os.path.join(work, "users.dat")
    subprocess.run([cli, "users", "--users", users, "add", "bench1", "--password", "pw", "--home", home,
                    "--download", "--upload", "--delete"], check=True, capture_output=True)
    port = free_port()
    proc = subprocess.Popen([cli, "ftpd", "--port", str(port), "--users", users, "--max-users", "100"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_listening(port, proc)
    return Server("fernlink", port, "bench1", "pw", home, proc)


def start_pyftpdlib(work):
    home = os.path.join(work, "pyftpdlib")
    os.makedirs(home)
    port = free_port()
    code = ("import logging,sys\n"
            "from pyftpdlib.authorizers import DummyAuthorizer\n"
            "from pyftpdlib.handlers import FTPHandler\n"
            "from pyftpdlib.servers import FTPServer\n"
            "logging.disable(logging.CRITICAL)\n"
            "a=DummyAuthorizer(); a.add_user('bench1','pw',sys.argv[2],perm='elradfmw')\n"
            "FTPHandler.authorizer=a\n"
            "s=FTPServer(('127.0.0.1',int(sys.argv[1])),FTPHandler); s.max_cons=256; s.serve_forever()\n")
    proc = subprocess.Popen([SYSTEM_PYTHON, "-c", code, str(port), home],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_listening(port, proc)
    return Server("pyftpdlib", port, "bench1", "pw", home, proc)


def start_vsftpd(work):
    """Anonymous uploads into a folder of its own, run as the launching (unprivileged) user."""
    home = os.path.join(work, "vsftpd")
    os.makedirs(home)
    port = free_port()
    config = os.path.join(work, "vsftpd.conf")
    with open(config, "w") as f:
        f.write("\n".join([
            "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1", "listen_port=%d" % port,
            "background=NO", "run_as_launching_user=YES", "seccomp_sandbox=NO",
            "anonymous_enable=YES", "no_anon_password=YES", "anon_root=" + home, "local_enable=NO",
            "write_enable=YES", "anon_upload_enable=YES", "anon_other_write_enable=YES", "anon_umask=022",
            "anon_world_readable_only=NO", "max_clients=0", "max_per_ip=0", "pasv_enable=YES",
            "pasv_address=127.0.0.1", "xferlog_enable=NO", "dirmessage_enable=NO", "use_localtime=NO",
            "ftp_username=nobody", "guest_enable=NO", "hide_ids=YES", "secure_chroot_dir=" + home, ""]))
    prefix = []
    if os.geteuid() == 0:
        # Never as root: the whole folder goes to nobody, and vsftpd runs as nobody.
        for path in (work, home, config):
            shutil.chown(path, "nobody", "nogroup")
        prefix = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
    proc = subprocess.Popen(prefix + [VSFTPD, config], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_listening(port, proc)
    return Server("vsftpd", port, "anonymous", "bench@", home, proc)


def timed_transfers(server, source):
    """Best STOR and RETR time of 100 MiB over a passive data connection, in seconds."""
    ftp = server.login()
    ftp.voidcmd("TYPE I")
    best_stor = best_retr = float("inf")
    buffer = bytearray(1024 * 1024)
    view = memoryview(buffer)
    for _ in range(ROUNDS):
        with open(source, "rb") as f:
            t = time.perf_counter()
            conn = ftp.transfercmd("STOR bench.bin")
            conn.sendfile(f)
            conn.close()
            ftp.voidresp()
            best_stor = min(best_stor, time.perf_counter() - t)
        got = 0
        t = time.perf_counter()
        conn = ftp.transfercmd("RETR bench.bin")
        while True:
            n = conn.recv_into(view)
            if not n:
                break
            got += n
        conn.close()
        ftp.voidresp()
        best_retr = min(best_retr, time.perf_counter() - t)
        if got != SIZE:
            raise RuntimeError("%s: RETR gave %d bytes" % (server.name, got))
    ftp.quit()
    return best_retr, best_stor


def logins_per_second(server):
    t = time.perf_counter()
    for _ in range(LOGINS):
        f = ftplib.FTP()
        f.connect(HOST, server.port, timeout=10)
        f.login(server.user, server.password)
        f.quit()
    return LOGINS / (time.perf_counter() - t)


def concurrent_load(server):
    """50 clients, each 20 rounds of STOR then RETR of its own 1 MiB, checked byte for byte."""
    errors = []
    payloads = [os.urandom(SMALL) for _ in range(CLIENTS)]
    start = threading.Barrier(CLIENTS)

    def client(index):
        try:
            ftp = server.login(timeout=60)
            data = payloads[index]
            digest = hashlib.sha256(data).digest()
            start.wait()
            for _ in range(CLIENT_ROUNDS):
                name = "load_%d.bin" % index
                conn = ftp.transfercmd("STOR " + name)
                conn.sendall(data)
                conn.close()
                ftp.voidresp()
                chunks = []
                ftp.retrbinary("RETR " + name, chunks.append, blocksize=262144)
                if hashlib.sha256(b"".join(chunks)).digest() != digest:
                    errors.append("client %d: RETR differs" % index)
            ftp.quit()
        except Exception as e:  # noqa: BLE001 - every failure is reported
            errors.append("client %d: %r" % (index, e))

    peak = [0]
    stop = threading.Event()

    def sample():
        while not stop.is_set():
            peak[0] = max(peak[0], rss_kb(server.proc.pid))
            time.sleep(0.02)

    sampler = threading.Thread(target=sample)
    sampler.start()
    threads = [threading.Thread(target=client, args=(i,)) for i in range(CLIENTS)]
    t = time.perf_counter()
    for th in threads:
        th.start()
    for th in threads:
        th.join(600)
    elapsed = time.perf_counter() - t
    stop.set()
    sampler.join()
    peak[0] = max(peak[0], rss_kb(server.proc.pid, "VmHWM"))
    return elapsed, peak[0] / 1024.0, errors


def main():
    args = sys.argv[1:]
    memory = "--memory-disk" in args
    args = [a for a in args if a != "--memory-disk"]
    json_path = None
    if "--json" in args:
        i = args.index("--json")
        json_path = args[i + 1]
        del args[i:i + 2]
    build = args[0] if args else os.environ.get("VANTOR_BUILD_DIR", "")
    ensure_packages()
    work = tempfile.mkdtemp(prefix="ftpbench", dir="/dev/shm" if memory else None)
    os.chmod(work, 0o755)
    source = os.path.join(work, "source.bin")
    with open(source, "wb") as f:
        for _ in range(SIZE // (1024 * 1024)):
            f.write(os.urandom(1024 * 1024))
    os.chmod(source, 0o644)
    servers = []
    try:
        servers = [start_ours(build, work), start_vsftpd(work), start_pyftpdlib(work)]
        ours, vsftpd, pyftpd = servers
        speed = {s.name: timed_transfers(s, source) for s in servers}
        logins = {s.name: logins_per_second(s) for s in servers}
        elapsed, peak_mb, errors = concurrent_load(ours)
    finally:
        for s in servers:
            s.proc.terminate()
        for s in servers:
            try:
                s.proc.wait(10)
            except subprocess.TimeoutExpired:
                s.proc.kill()
        shutil.rmtree(work, ignore_errors=True)

    o = speed["fernlink"]
    print("100 MiB on loopback, best of %d, files on %s (time in s; ratio = ours / peer, <= 1.0 is as fast or faster)"
          % (ROUNDS, "/dev/shm" if memory else "disk"))
    print("%-8s %10s %10s %10s %10s %10s" % ("", "fernlink", "vsftpd", "ratio", "pyftpdlib", "ratio"))
    for i, name in enumerate(("RETR", "STOR")):
        v, p = speed["vsftpd"][i], speed["pyftpdlib"][i]
        print("%-8s %10.3f %10.3f %9.2fx %10.3f %9.2fx" % (name, o[i], v, o[i] / v, p, o[i] / p))
    lo, lv, lp = logins["fernlink"], logins["vsftpd"], logins["pyftpdlib"]
    print("%-8s %10.0f %10.0f %9.2fx %10.0f %9.2fx   (per second; ratio = ours / peer, >= 1.0 is as fast or faster)"
          % ("logins", lo, lv, lo / lv, lp, lo / lp))
    print("%d clients x %d STOR+RETR of 1 MiB: %.1f s, %s, server peak memory %.1f MB (limit 100 MB)"
          % (CLIENTS, CLIENT_ROUNDS, elapsed, "byte-exact" if not errors else "ERRORS: " + "; ".join(errors[:5]),
             peak_mb))
    if json_path:
        with open(json_path, "w") as f:
            json.dump({"size": SIZE, "rounds": ROUNDS, "memory_disk": memory,
                       "retr_seconds": {k: v[0] for k, v in speed.items()},
                       "stor_seconds": {k: v[1] for k, v in speed.items()},
                       "logins_per_second": logins,
                       "load": {"clients": CLIENTS, "rounds": CLIENT_ROUNDS, "seconds": elapsed,
                                "peak_mb": peak_mb, "errors": errors[:5]}}, f, indent=1)
    return 0 if not errors and peak_mb < 100 else 1


if __name__ == "__main__":
    sys.exit(main())
