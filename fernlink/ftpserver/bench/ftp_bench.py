#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Loopback speed of fernlink-cli ftpd beside vsftpd and pyftpdlib, measured in the same run
and printed as ratios (ours / peer time, ours / peer rate). Not a test: the figures depend on
the machine and on whatever else runs on it.

usage: ftp_bench.py [--memory-disk] [--mb N] [--runs N] [--small N] [--json FILE] [BUILD_DIR]
       (default build folder: $VANTOR_BUILD_DIR)

--memory-disk puts the servers' folders on /dev/shm. Our server syncs every upload to disk
before it gives it the name (vsftpd and pyftpdlib do not: they write and close, and the bytes
reach the disk when the kernel writes them back), so on a real disk STOR measures the disk as
much as the server; in memory the sync costs nothing and the servers compare.
--mb N: size of the big RETR/STOR (default 1024, 1 GiB); --runs N: runs per figure (default
5, the median is reported); --small N: number of small files (default 1000).

1. RETR and STOR of the big file, against all three servers;
2. N x 4 KiB STOR, then RETR of each, on one connection, against all three;
3. LIST of a 10,000-file folder, against all three;
4. logins per second (connect, USER, PASS, QUIT), against all three;
5. 50 concurrent clients each doing 20 STOR+RETR of 1 MiB, byte-exact, against ours, with
   the server's peak resident memory;
6. 50 clients each listing the 10,000-file folder at once, against ours: the server's
   resident memory at its peak and once they have left.
Every figure is printed with the load average of the machine at that moment.

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
SIZE = 1024 * 1024 * 1024
ROUNDS = 5
SMALL_FILES = 1000
SMALL_FILE = 4096
LIST_FILES = 10000
LIST_CLIENTS = 50
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


def median(values):
    ordered = sorted(values)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2


def load_average():
    return "%.2f %.2f %.2f" % os.getloadavg()


def timed_transfers(server, source):
    """Median STOR and RETR time of the big file over a passive data connection, in seconds."""
    ftp = server.login()
    ftp.voidcmd("TYPE I")
    stors, retrs = [], []
    buffer = bytearray(1024 * 1024)
    view = memoryview(buffer)
    for _ in range(ROUNDS):
        with open(source, "rb") as f:
            t = time.perf_counter()
            conn = ftp.transfercmd("STOR bench.bin")
            conn.sendfile(f)
            conn.close()
            ftp.voidresp()
            stors.append(time.perf_counter() - t)
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
        retrs.append(time.perf_counter() - t)
        if got != SIZE:
            raise RuntimeError("%s: RETR gave %d bytes" % (server.name, got))
    ftp.voidcmd("DELE bench.bin")
    ftp.quit()
    return median(retrs), median(stors)


def small_files(server):
    """Median time of SMALL_FILES x 4 KiB STOR, then RETR of each, on one connection."""
    payloads = [os.urandom(SMALL_FILE) for _ in range(SMALL_FILES)]
    stors, retrs = [], []
    ftp = server.login()
    ftp.voidcmd("TYPE I")
    for run in range(ROUNDS):
        t = time.perf_counter()
        for i, body in enumerate(payloads):
            conn = ftp.transfercmd("STOR s%d_%d.nc" % (run, i))
            conn.sendall(body)
            conn.close()
            ftp.voidresp()
        stors.append(time.perf_counter() - t)
        t = time.perf_counter()
        for i, body in enumerate(payloads):
            conn = ftp.transfercmd("RETR s%d_%d.nc" % (run, i))
            got = b""
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                got += chunk
            conn.close()
            ftp.voidresp()
            if got != body:
                raise RuntimeError("%s: small file %d differs" % (server.name, i))
        retrs.append(time.perf_counter() - t)
        for i in range(SMALL_FILES):
            ftp.voidcmd("DELE s%d_%d.nc" % (run, i))
    ftp.quit()
    return median(stors), median(retrs)


def make_list_folder(server):
    folder = os.path.join(server.home, "many")
    os.makedirs(folder)
    for i in range(LIST_FILES):
        os.close(os.open(os.path.join(folder, "O%05d_PROGRAM.NC" % i), os.O_CREAT | os.O_WRONLY, 0o644))
    if os.geteuid() == 0 and server.name == "vsftpd":
        shutil.chown(folder, "nobody", "nogroup")


def list_folder(server):
    """Median time of LIST of the 10,000-file folder, all lines received."""
    times = []
    ftp = server.login()
    for _ in range(ROUNDS):
        lines = []
        t = time.perf_counter()
        ftp.retrlines("LIST many", lines.append)
        times.append(time.perf_counter() - t)
        if len(lines) != LIST_FILES:
            raise RuntimeError("%s: LIST gave %d lines" % (server.name, len(lines)))
    ftp.quit()
    return median(times)


def listing_memory(server):
    """LIST_CLIENTS clients list the big folder at once, reading slowly; the server's peak
    resident memory meanwhile, and after they have gone, in MB."""
    before = rss_kb(server.proc.pid)
    errors = []
    peak = [before]
    held = []
    lock = threading.Lock()

    def client():
        try:
            ftp = server.login(timeout=60)
            conn = ftp.transfercmd("LIST many")
            conn.recv(4096)
            with lock:
                held.append((ftp, conn))
        except Exception as e:  # noqa: BLE001 - every failure is reported
            errors.append(repr(e))

    threads = [threading.Thread(target=client) for _ in range(LIST_CLIENTS)]
    for th in threads:
        th.start()
    for th in threads:
        th.join(120)
    for _ in range(25):
        peak[0] = max(peak[0], rss_kb(server.proc.pid))
        time.sleep(0.02)
    # Then every client reads its listing to the end.
    for ftp, conn in held:
        while conn.recv(65536):
            pass
        peak[0] = max(peak[0], rss_kb(server.proc.pid))
        conn.close()
        ftp.voidresp()
        ftp.quit()
    time.sleep(2)
    after = rss_kb(server.proc.pid)
    return before / 1024.0, peak[0] / 1024.0, after / 1024.0, errors


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
    global SIZE, ROUNDS, SMALL_FILES
    for flag in ("--mb", "--runs", "--small"):
        if flag in args:
            i = args.index(flag)
            value = int(args[i + 1])
            del args[i:i + 2]
            if flag == "--mb":
                SIZE = value * 1024 * 1024
            elif flag == "--runs":
                ROUNDS = value
            else:
                SMALL_FILES = value
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
        loads = {}
        speed, small, listing = {}, {}, {}
        for s in servers:
            speed[s.name] = timed_transfers(s, source)
        loads["big"] = load_average()
        os.remove(source)
        for s in servers:
            small[s.name] = small_files(s)
        loads["small"] = load_average()
        for s in servers:
            make_list_folder(s)
            listing[s.name] = list_folder(s)
        loads["list"] = load_average()
        logins = {s.name: logins_per_second(s) for s in servers}
        loads["logins"] = load_average()
        elapsed, peak_mb, errors = concurrent_load(ours)
        loads["load"] = load_average()
        list_before, list_peak, list_after, list_errors = listing_memory(ours)
        loads["list_memory"] = load_average()
    finally:
        for s in servers:
            s.proc.terminate()
        for s in servers:
            try:
                s.proc.wait(10)
            except subprocess.TimeoutExpired:
                s.proc.kill()
        shutil.rmtree(work, ignore_errors=True)

    print("Loopback, median of %d runs, files on %s (time in s; ratio = ours / peer, <= 1.0 is as fast or faster)"
          % (ROUNDS, "/dev/shm" if memory else "disk"))
    print("%-22s %10s %10s %8s %10s %8s   %s" % ("", "fernlink", "vsftpd", "ratio", "pyftpdlib", "ratio", "load average"))
    table = [("RETR %d MiB" % (SIZE >> 20), speed, 0, "big"), ("STOR %d MiB" % (SIZE >> 20), speed, 1, "big"),
             ("%d x 4 KiB STOR" % SMALL_FILES, small, 0, "small"), ("%d x 4 KiB RETR" % SMALL_FILES, small, 1, "small"),
             ("LIST %d files" % LIST_FILES, {k: (v,) for k, v in listing.items()}, 0, "list")]
    for label, figures, i, when in table:
        o, v, p = figures["fernlink"][i], figures["vsftpd"][i], figures["pyftpdlib"][i]
        print("%-22s %10.3f %10.3f %7.2fx %10.3f %7.2fx   %s" % (label, o, v, o / v, p, o / p, loads[when]))
    lo, lv, lp = logins["fernlink"], logins["vsftpd"], logins["pyftpdlib"]
    print("%-22s %10.0f %10.0f %7.2fx %10.0f %7.2fx   %s   (per second; >= 1.0 is as fast or faster)"
          % ("logins", lo, lv, lo / lv, lp, lo / lp, loads["logins"]))
    print("%d clients x %d STOR+RETR of 1 MiB: %.1f s, %s, server peak memory %.1f MB (limit 100 MB)   %s"
          % (CLIENTS, CLIENT_ROUNDS, elapsed, "byte-exact" if not errors else "ERRORS: " + "; ".join(errors[:5]),
             peak_mb, loads["load"]))
    print("%d clients listing %d files at once: server %.1f MB before, %.1f MB at the peak (limit 100 MB), "
          "%.1f MB after they left (limit 30 MB)%s   %s"
          % (LIST_CLIENTS, LIST_FILES, list_before, list_peak, list_after,
             "" if not list_errors else ", ERRORS: " + "; ".join(list_errors[:3]), loads["list_memory"]))
    if json_path:
        with open(json_path, "w") as f:
            json.dump({"size": SIZE, "rounds": ROUNDS, "memory_disk": memory, "statistic": "median",
                       "retr_seconds": {k: v[0] for k, v in speed.items()},
                       "stor_seconds": {k: v[1] for k, v in speed.items()},
                       "small_files": SMALL_FILES,
                       "small_stor_seconds": {k: v[0] for k, v in small.items()},
                       "small_retr_seconds": {k: v[1] for k, v in small.items()},
                       "list_files": LIST_FILES, "list_seconds": listing,
                       "load_average": loads,
                       "list_memory": {"clients": LIST_CLIENTS, "before_mb": list_before, "peak_mb": list_peak,
                                       "after_mb": list_after, "errors": list_errors[:3]},
                       "logins_per_second": logins,
                       "load": {"clients": CLIENTS, "rounds": CLIENT_ROUNDS, "seconds": elapsed,
                                "peak_mb": peak_mb, "errors": errors[:5]}}, f, indent=1)
    return 0 if not errors and not list_errors and peak_mb < 100 and list_peak < 100 else 1


if __name__ == "__main__":
    sys.exit(main())
