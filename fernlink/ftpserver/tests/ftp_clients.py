#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Real FTP clients (ftplib, curl, lftp) against a running fernlink-cli ftpd on 127.0.0.1.

usage: ftp_clients.py SCENARIO PORT HOME
Accounts (made by the test driver): oper1/pw (download, upload, delete), maker1/pw (all
rights with make directory), reader1/pw (download only), offuser1/pw (disabled),
openacct (empty password). Exits 0 when every check of the scenario held.
"""
import ftplib
import io
import os
import re
import socket
import subprocess
import sys
import threading
import time

HOST = "127.0.0.1"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def connect(port, user="oper1", password="pw", passive=True):
    ftp = ftplib.FTP()
    ftp.connect(HOST, port, timeout=10)
    ftp.login(user, password)
    ftp.set_pasv(passive)
    return ftp


def expect_error(call, prefix, what):
    try:
        result = call()
        check(False, f"{what}: expected {prefix}, got {result!r}")
    except ftplib.all_errors as e:
        check(str(e).startswith(prefix), f"{what}: expected {prefix}, got {e}")


def payload(size, seed):
    return bytes((i * 31 + seed) & 0xFF for i in range(size)) if size < 65536 else os.urandom(size)


def scenario_login(port, home):
    ftp = ftplib.FTP()
    welcome = ftp.connect(HOST, port, timeout=10)
    check(welcome == "220 Welcome to   ", f"greeting {welcome!r}")
    check(ftp.sendcmd("USER oper1") == "331 Password required for oper1", "USER reply")
    expect_error(lambda: ftp.sendcmd("PASS wrong"), "530 Not logged in", "bad password")
    check(ftp.sendcmd("USER OPER1").startswith("331"), "USER again")
    check(ftp.sendcmd("PASS pw") == "230 User successfully logged in.", "good login, name in another case")
    check(ftp.sendcmd("SYST") == "215 UNIX emulated by Tidewell FTP Server.", "SYST")
    check(ftp.sendcmd("NOOP") == "200 OK", "NOOP")
    check(ftp.sendcmd("TYPE I") == "200 Type set to I", "TYPE")
    expect_error(lambda: ftp.sendcmd("XYZZY"), "502 Command not implemented.", "unknown command")
    check(ftp.quit() == "220 Bye", "QUIT reply")
    for user, password, what in [("offuser1", "pw", "disabled account"), ("VantorQ5", "P4X9L2", "built-in administrator"),
                                 ("nobody1", "pw", "unknown account")]:
        ftp = ftplib.FTP()
        ftp.connect(HOST, port, timeout=10)
        expect_error(lambda: ftp.login(user, password), "530", what)
        ftp.close()
    ftp = connect(port, "openacct", "any password at all")
    check(ftp.pwd() == "/", "empty stored password accepts any")
    ftp.quit()
    # A guesser is slowed and then shown the door.
    ftp = ftplib.FTP()
    ftp.connect(HOST, port, timeout=10)
    for attempt in range(3):
        try:
            ftp.sendcmd("USER oper1")
            ftp.sendcmd("PASS guess%d" % attempt)
        except ftplib.all_errors:
            pass
    try:
        ftp.sendcmd("NOOP")
        check(False, "connection open after three failed logins")
    except Exception:
        pass
    ftp.close()
    # Not logged in: nothing but USER and PASS.
    ftp = ftplib.FTP()
    ftp.connect(HOST, port, timeout=10)
    expect_error(lambda: ftp.sendcmd("LIST"), "530 Please login with USER and PASS.", "LIST before login")
    ftp.close()


def scenario_dirs(port, home):
    ftp = connect(port)
    check(ftp.pwd() == "/", "PWD after login")
    check(ftp.cwd("Sub") == '250 "/Sub" is current directory.', "CWD Sub")
    check(ftp.pwd() == "/Sub", "PWD in Sub")
    check(ftp.sendcmd("CDUP") == '250 "/" is current directory.', "CDUP")
    for path in ["..", "../outside", "..\\outside", "//..//outside", "Sub/../../outside", "/../outside"]:
        expect_error(lambda: ftp.cwd(path), "550", "CWD " + path)
    check(ftp.pwd() == "/", "still at the root")
    expect_error(lambda: ftp.size("../outside/secret.txt"), "550", "SIZE outside")
    out = io.BytesIO()
    expect_error(lambda: ftp.retrbinary("RETR ../outside/secret.txt", out.write), "550", "RETR outside")
    expect_error(lambda: ftp.retrbinary("RETR users.dat", out.write), "550", "RETR of the account file")
    ftp.quit()
    # curl and lftp walk directories themselves.
    r = subprocess.run(["curl", "-s", "-S", "--user", "oper1:pw", f"ftp://{HOST}:{port}/Sub/prog.nc"],
                       capture_output=True, timeout=20)
    check(r.returncode == 0 and r.stdout == b"M30\r\n", f"curl RETR in a subdirectory: {r.returncode} {r.stderr!r}")
    r = subprocess.run(["lftp", "-u", "oper1,pw", "-p", str(port), "-e",
                        "set cmd:fail-exit yes; set net:max-retries 1; cd Sub; pwd; bye", HOST],
                       capture_output=True, timeout=20)
    check(r.returncode == 0 and r.stdout.strip().endswith(b"/Sub"), f"lftp cd: {r.stdout!r} {r.stderr!r}")


def parse_list(lines):
    entries = {}
    for line in lines:
        parts = line.split(None, 8)
        entries[parts[8]] = (parts[0][0] == "d", int(parts[4]))
    return entries


def scenario_list(port, home):
    for passive in (True, False):
        ftp = connect(port, passive=passive)
        lines = []
        ftp.retrlines("LIST", lines.append)
        entries = parse_list(lines)
        check(entries.get("O0001.CNC") == (False, 7), f"LIST file entry {entries} passive={passive}")
        check(entries.get("Sub") == (True, 0), f"LIST directory entry passive={passive}")
        check("users.dat" not in entries, "account file listed")
        # ftplib's own parser of UNIX lines
        names = {name: facts for name, facts in []}
        ftp.quit()
    r = subprocess.run(["curl", "-s", "-S", "--user", "oper1:pw", f"ftp://{HOST}:{port}/"], capture_output=True, timeout=20)
    check(r.returncode == 0 and b" O0001.CNC" in r.stdout, f"curl LIST {r.stdout!r} {r.stderr!r}")
    r = subprocess.run(["lftp", "-u", "oper1,pw", "-p", str(port), "-e",
                        "set cmd:fail-exit yes; set net:max-retries 1; cls -l --sort=name; bye", HOST],
                       capture_output=True, timeout=20)
    check(r.returncode == 0 and b"O0001.CNC" in r.stdout and b"Sub/" in r.stdout.replace(b"Sub ", b"Sub/"),
          f"lftp cls {r.stdout!r} {r.stderr!r}")
    many = os.path.join(home, "many")
    os.makedirs(many, exist_ok=True)
    for i in range(60):
        open(os.path.join(many, "O%04d.CNC" % i), "wb").close()
    ftp = connect(port)
    lines = []
    ftp.retrlines("LIST many", lines.append)
    check(len(lines) == 60, f"a listing longer than one block arrives whole: {len(lines)}")
    ftp.quit()


def scenario_transfer(port, home):
    sizes = [0, 1, 2048, 2049, 5 * 1024 * 1024]
    for passive in (True, False):
        ftp = connect(port, passive=passive)
        for size in sizes:
            data = payload(size, size & 0xFF)
            name = "up_%d_%s.bin" % (size, "p" if passive else "a")
            reply = ftp.storbinary("STOR " + name, io.BytesIO(data), blocksize=8192)
            check(reply == "226 Transfer complete", f"STOR reply {reply!r}")
            with open(os.path.join(home, name), "rb") as f:
                check(f.read() == data, f"STOR {size} bytes passive={passive} byte-exact")
            check(ftp.size(name) == size, f"SIZE {size}")
            out = io.BytesIO()
            reply = ftp.retrbinary("RETR " + name, out.write)
            check(reply == "226 Transfer complete", f"RETR reply {reply!r}")
            check(out.getvalue() == data, f"RETR {size} bytes passive={passive} byte-exact")
        ftp.quit()
    data = payload(5 * 1024 * 1024, 9)
    src = os.path.join(home, "..", "curl_src.bin")
    with open(src, "wb") as f:
        f.write(data)
    for mode in ([], ["-P", HOST]):
        r = subprocess.run(["curl", "-s", "-S", "--user", "oper1:pw", "-T", src] + mode +
                           [f"ftp://{HOST}:{port}/curl_up.bin"], capture_output=True, timeout=30)
        check(r.returncode == 0, f"curl STOR {mode}: {r.stderr!r}")
        with open(os.path.join(home, "curl_up.bin"), "rb") as f:
            check(f.read() == data, f"curl STOR byte-exact {mode}")
        r = subprocess.run(["curl", "-s", "-S", "--user", "oper1:pw"] + mode + [f"ftp://{HOST}:{port}/curl_up.bin"],
                           capture_output=True, timeout=30)
        check(r.returncode == 0 and r.stdout == data, f"curl RETR byte-exact {mode}: {r.stderr!r}")
    dest = os.path.join(home, "..", "lftp_got.bin")
    for passive in ("true", "false"):
        if os.path.exists(dest):
            os.remove(dest)
        r = subprocess.run(["lftp", "-u", "oper1,pw", "-p", str(port), "-e",
                            f"set cmd:fail-exit yes; set net:max-retries 1; set ftp:passive-mode {passive}; "
                            f"put {src} -o lftp_up.bin; get lftp_up.bin -o {dest}; bye", HOST],
                           capture_output=True, timeout=30)
        check(r.returncode == 0, f"lftp put/get passive={passive}: {r.stdout!r} {r.stderr!r}")
        with open(dest, "rb") as f:
            check(f.read() == data, f"lftp round trip byte-exact passive={passive}")
    # ABOR as real clients send it: Telnet IP, then DM as urgent data, then the command.
    big = payload(8 * 1024 * 1024, 1)
    with open(os.path.join(home, "huge.bin"), "wb") as f:
        f.write(big)
    ftp = connect(port)
    conn = ftp.transfercmd("RETR huge.bin")
    conn.recv(4096)
    reply = ftp.abort()
    conn.close()
    check(reply == "426 Data connection closed." or reply.startswith("226"), f"ABOR during RETR: {reply!r}")
    try:
        while True:
            line = ftp.getline()
            if line.startswith("226 ABOR"):
                break
    except Exception:
        pass
    check(ftp.sendcmd("NOOP") == "200 OK", "control connection alive after ABOR")
    check(ftp.sendcmd("ABOR") == "226 ABOR command successful.", "ABOR without a data connection")
    ftp.quit()


def scenario_rights(port, home):
    ftp = connect(port, "reader1")
    expect_error(lambda: ftp.storbinary("STOR nope.nc", io.BytesIO(b"x")), "550 Permission denied.", "STOR without upload")
    expect_error(lambda: ftp.delete("O0001.CNC"), "550 Permission denied.", "DELE without delete")
    expect_error(lambda: ftp.mkd("newdir"), "550 Can't create directory. Permission denied.", "MKD without right")
    expect_error(lambda: ftp.rmd("Sub"), "550 Permission denied.", "RMD without delete")
    ftp.quit()
    ftp = connect(port, "oper1")
    expect_error(lambda: ftp.mkd("newdir"), "550 Can't create directory. Permission denied.", "MKD needs its own right")
    ftp.storbinary("STOR gone.nc", io.BytesIO(b"abc"))
    check(ftp.delete("gone.nc") == '250 File "/gone.nc" was deleted successfully.', "DELE")
    expect_error(lambda: ftp.delete("gone.nc"), "550 File not found.", "DELE twice")
    ftp.quit()
    ftp = connect(port, "maker1")
    check(ftp.sendcmd("MKD made/deep") == "250 Directory created successfully.", "MKD nested")
    expect_error(lambda: ftp.mkd("made"), "550 Directory already exists.", "MKD existing")
    expect_error(lambda: ftp.rmd("made"), "550 Directory not empty.", "RMD not empty")
    check(ftp.rmd("made/deep") == "250 Directory deleted successfully.", "RMD")
    expect_error(lambda: ftp.mkd("../escaped"), "550", "MKD outside")
    ftp.quit()
    check(not os.path.exists(os.path.join(home, "..", "escaped")), "nothing made outside the home")


def scenario_limit(port, home):
    held = [connect(port) for _ in range(10)]
    s = socket.create_connection((HOST, port), timeout=10)
    data = b""
    while not data.endswith(b"\r\n"):
        chunk = s.recv(256)
        if not chunk:
            break
        data += chunk
    check(data == b"421 Too many users are connected, please try again later.\r\n", f"11th connection: {data!r}")
    check(s.recv(256) == b"", "11th connection closed")
    s.close()
    for ftp in held:
        ftp.quit()
    # The places free up as the ended connections' threads finish.
    for _ in range(100):
        try:
            ftp = connect(port)
            break
        except ftplib.error_temp:
            time.sleep(0.05)
    else:
        check(False, "no place free after every client quit")
        return
    check(ftp.pwd() == "/", "a place is free again after QUIT")
    ftp.quit()


def scenario_cnc(port, home):
    s = socket.create_connection((HOST, port), timeout=10)
    s.recv(256)
    s.sendall(b"CNCOUTDATA X5 Y3")
    time.sleep(0.3)
    s.sendall(b"NOOP\r\n")
    reply = s.recv(256)
    check(reply == b"530 Please login with USER and PASS.\r\n", f"only the command after the push is answered: {reply!r}")
    s.close()


def scenario_idle(port, home):
    s = socket.create_connection((HOST, port), timeout=15)
    s.recv(256)
    data = s.recv(256)
    check(data == b"421 Connection timed out.\r\n", f"idle reply {data!r}")
    check(s.recv(256) == b"", "idle connection closed")
    s.close()


def scenario_peer(port, home):
    """Data connections only ever join the control connection's own peer."""
    ftp = connect(port)
    expect_error(lambda: ftp.sendcmd("PORT 127,0,0,2,4,1"), "501 Illegal PORT command.", "PORT to another host")
    expect_error(lambda: ftp.sendcmd("PORT 127,0,0,1,0,0"), "501 Illegal PORT command.", "PORT to port 0")
    # Never towards the client host's own services: the FTP port of 127.0.0.1 here.
    expect_error(lambda: ftp.sendcmd("PORT 127,0,0,1,0,21"), "501 Illegal PORT command.", "PORT to port 21")
    reply = ftp.sendcmd("PASV")
    numbers = reply[reply.index("(") + 1:reply.index(")")].split(",")
    data_port = int(numbers[4]) * 256 + int(numbers[5])
    stranger = socket.socket()
    stranger.bind(("127.0.0.2", 0))
    stranger.settimeout(5)
    stranger.connect((HOST, data_port))
    ftp.putcmd("RETR O0001.CNC")
    check(ftp.getresp().startswith("150"), "RETR accepted")
    try:
        got = stranger.recv(100)
    except OSError:
        got = b""
    check(got == b"", f"a stranger on the passive port got {got!r}")
    stranger.close()
    own = socket.create_connection((HOST, data_port), timeout=5)
    body = b""
    while True:
        chunk = own.recv(100)
        if not chunk:
            break
        body += chunk
    own.close()
    check(body == b"G0 X1\r\n", f"the client itself gets the file: {body!r}")
    check(ftp.getresp() == "226 Transfer complete", "RETR completes for the real client")
    # Active mode towards a port nobody listens on.
    s = socket.socket()
    s.bind((HOST, 0))
    dead_port = s.getsockname()[1]
    s.close()
    ftp.sendcmd("PORT 127,0,0,1,%d,%d" % (dead_port // 256, dead_port % 256))
    ftp.putcmd("RETR O0001.CNC")
    check(ftp.getresp().startswith("150"), "RETR accepted")
    expect_error(ftp.getresp, "425 Can't open data connection.", "active connect refused")
    check(ftp.sendcmd("NOOP") == "200 OK", "control connection alive")
    ftp.quit()


def scenario_load(port, home):
    data = os.urandom(1024 * 1024)
    with open(os.path.join(home, "load_src.bin"), "wb") as f:
        f.write(data)
    errors = []

    def client(index):
        try:
            ftp = connect(port)
            for round_ in range(20):
                name = "load_%d.bin" % index
                ftp.storbinary("STOR " + name, io.BytesIO(data), blocksize=65536)
                out = io.BytesIO()
                ftp.retrbinary("RETR load_src.bin", out.write, blocksize=65536)
                if out.getvalue() != data:
                    errors.append("client %d round %d: RETR differs" % (index, round_))
                with open(os.path.join(home, name), "rb") as f:
                    if f.read() != data:
                        errors.append("client %d round %d: STOR differs" % (index, round_))
            ftp.quit()
        except Exception as e:
            errors.append("client %d: %r" % (index, e))

    threads = [threading.Thread(target=client, args=(i,)) for i in range(10)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    check(not errors, "load: " + "; ".join(errors[:5]))


LINE = re.compile(r"^[-d]rwx------ 1 user group +\d+ (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d (\d\d:\d\d|\d{4}) \S.*$")


def scenario_dangling(port, home):
    os.symlink(os.path.join(home, "gone.nc"), os.path.join(home, "dangling.nc"))
    ftp = connect(port)
    lines = []
    ftp.retrlines("LIST", lines.append)
    check(len(lines) >= 3, f"listing with a dangling link: {lines!r}")
    for line in lines:
        check(LINE.match(line) is not None, f"malformed listing line {line!r}")
    check(ftp.sendcmd("NOOP") == "200 OK", "server alive after the listing")
    ftp.quit()


def read_reply(sock):
    data = b""
    while not data.endswith(b"\r\n"):
        chunk = sock.recv(1024)
        if not chunk:
            break
        data += chunk
    return data.decode("latin-1")


def raw_login(port):
    s = socket.create_connection((HOST, port), timeout=10)
    read_reply(s)
    s.sendall(b"USER oper1\r\n")
    read_reply(s)
    s.sendall(b"PASS pw\r\n")
    check(read_reply(s).startswith("230"), "raw login")
    return s


def raw_pasv(s):
    s.sendall(b"PASV\r\n")
    reply = read_reply(s)
    numbers = reply[reply.index("(") + 1:reply.index(")")].split(",")
    return int(numbers[4]) * 256 + int(numbers[5])


def scenario_reset_stor(port, home):
    """A data connection reset in the middle of an upload: 426, and no file is kept."""
    old = open(os.path.join(home, "O0001.CNC"), "rb").read()
    chunk = os.urandom(1024 * 1024)
    for name in ("O0001.CNC", "fresh.nc"):
        s = raw_login(port)
        data_port = raw_pasv(s)
        d = socket.create_connection((HOST, data_port), timeout=10)
        s.sendall(b"STOR " + name.encode() + b"\r\n")
        check(read_reply(s).startswith("150"), "STOR accepted")
        for _ in range(20):
            d.sendall(chunk)
        # SO_LINGER 0: the close is a reset, not an end.
        d.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        d.close()
        reply = read_reply(s)
        check(reply == "426 Connection closed; transfer aborted.\r\n", f"reset STOR {name}: {reply!r}")
        s.sendall(b"QUIT\r\n")
        read_reply(s)
        s.close()
    check(open(os.path.join(home, "O0001.CNC"), "rb").read() == old, "older file replaced by a broken upload")
    check(not os.path.exists(os.path.join(home, "fresh.nc")), "broken upload kept under its name")
    check(not [n for n in os.listdir(home) if n.startswith(".fernlink-upload")], "temporary file left behind")


KILLED_CLIENT = r"""
import ftplib, os, sys, time
ftp = ftplib.FTP()
ftp.connect("127.0.0.1", int(sys.argv[1]), timeout=30)
ftp.login("oper1", "pw")
conn = ftp.transfercmd("STOR " + sys.argv[2])
block = os.urandom(256 * 1024)
for _ in range(8):
    conn.sendall(block)
print("sending", flush=True)
while True:
    conn.sendall(block)
    time.sleep(0.05)
"""


def scenario_killed_stor(port, home):
    """A client killed in the middle of an upload: nothing stored under the name."""
    old = open(os.path.join(home, "O0001.CNC"), "rb").read()
    for name in ("O0001.CNC", "killed.nc"):
        child = subprocess.Popen([sys.executable, "-c", KILLED_CLIENT, str(port), name], stdout=subprocess.PIPE)
        check(child.stdout.readline().strip() == b"sending", "client started its upload")
        time.sleep(0.2)
        child.kill()
        child.wait(10)
        for _ in range(100):
            if not [n for n in os.listdir(home) if n.startswith(".fernlink-upload")]:
                break
            time.sleep(0.05)
    check(open(os.path.join(home, "O0001.CNC"), "rb").read() == old, "older file replaced by a killed client's upload")
    check(not os.path.exists(os.path.join(home, "killed.nc")), "killed client's upload kept under its name")
    check(not [n for n in os.listdir(home) if n.startswith(".fernlink-upload")], "temporary file left behind")


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def push(sock, total, seconds):
    """Sends up to total bytes without ever reading; gives up when the peer stops taking them."""
    sock.setblocking(False)
    block = b"JUNK\r\n" * 10922
    sent = 0
    deadline = time.monotonic() + seconds
    while sent < total and time.monotonic() < deadline:
        try:
            sent += sock.send(block)
        except BlockingIOError:
            time.sleep(0.01)
        except OSError:
            break
    return sent


def scenario_flood(port, home, pid, limit_mb=16):
    """Junk commands that are never read back, and bytes pushed at an idle data connection.
    limit_mb 0: the floods run (for the sanitizers' eyes) but the growth is only printed."""
    before = rss_kb(pid)
    s = socket.create_connection((HOST, port), timeout=10)
    sent = push(s, 17 * 1024 * 1024, 4)
    time.sleep(0.5)
    grown = (rss_kb(pid) - before) // 1024
    print(f"{sent} bytes of junk commands: server grew by {grown} MB", flush=True)
    check(limit_mb == 0 or grown < limit_mb, f"{sent} bytes of junk commands grew the server by {grown} MB")
    s.close()
    c = raw_login(port)
    data_port = raw_pasv(c)
    d = socket.create_connection((HOST, data_port), timeout=10)
    sent = push(d, 256 * 1024 * 1024, 3)
    time.sleep(0.5)
    grown = (rss_kb(pid) - before) // 1024
    print(f"{sent} bytes pushed at an idle data connection: server grew by {grown} MB", flush=True)
    check(limit_mb == 0 or grown < limit_mb, f"{sent} bytes pushed at an idle data connection grew the server by {grown} MB")
    d.close()
    c.close()


def scenario_burst(port, home):
    """Refused connections let go of everything at once."""
    held = [connect(port) for _ in range(2)]
    refused = []
    for _ in range(500):
        refused.append(socket.create_connection((HOST, port), timeout=10))
    line = read_reply(refused[-1])
    check(line.startswith("421 "), f"connection over the limit: {line!r}")
    held[0].quit()
    start = time.monotonic()
    greeting = ""
    while time.monotonic() - start < 1.0:
        s = socket.create_connection((HOST, port), timeout=2)
        greeting = read_reply(s)
        s.close()
        if greeting.startswith("220"):
            break
        time.sleep(0.02)
    check(greeting.startswith("220"), f"no place within 1 s after 500 refused connections: {greeting!r}")
    for s in refused:
        s.close()
    held[1].quit()


def scenario_dribble(port, home):
    """One byte now and then keeps a connection active, never logged in."""
    s = socket.create_connection((HOST, port), timeout=15)
    read_reply(s)
    start = time.monotonic()
    s.settimeout(0.5)
    got = b""
    for byte in b"USER oper1 and then nothing useful" * 4:
        try:
            s.send(bytes([byte]))
            chunk = s.recv(256)
            if not chunk:
                break
            got += chunk
        except socket.timeout:
            pass
        except OSError:
            break
        if time.monotonic() - start > 10:
            break
    elapsed = time.monotonic() - start
    check(b"421 Login time-out.\r\n" in got, f"dribbling client got {got!r}")
    check(elapsed < 6, f"dribbling client held on for {elapsed:.1f} s")
    s.close()


def scenario_pasv_port(port, home):
    """PASV, an error, then active mode: the next transfer must not wait for the passive socket."""
    ftp = connect(port, passive=True)
    ftp.sendcmd("PASV")
    expect_error(lambda: ftp.retrbinary("RETR missing.nc", lambda b: None), "550", "RETR of a missing file")
    ftp.set_pasv(False)
    ftp.sock.settimeout(5)
    out = io.BytesIO()
    try:
        reply = ftp.retrbinary("RETR O0001.CNC", out.write)
    except Exception as e:
        reply = repr(e)
    check(reply == "226 Transfer complete" and out.getvalue() == b"G0 X1\r\n", f"active RETR after PASV: {reply}")
    ftp.quit()


def scenario_pcclient(port, home):
    """What FileZilla and browsers ask: FEAT before login, MDTM, NLST, TYPE A listings, EPSV."""
    ftp = ftplib.FTP()
    ftp.connect(HOST, port, timeout=10)
    feat = ftp.sendcmd("FEAT")
    check(feat.startswith("211-Features:\n") and feat.endswith("\n211 End"), f"FEAT {feat!r}")
    features = [line.strip() for line in feat.split("\n")[1:-1]]
    check(all(line.startswith(" ") for line in feat.split("\n")[1:-1]) and {"MDTM", "SIZE"} <= set(features),
          f"FEAT lines {features!r}")
    ftp.login("oper1", "pw")
    stamp = time.gmtime(os.path.getmtime(os.path.join(home, "O0001.CNC")))
    check(ftp.sendcmd("MDTM O0001.CNC") == "213 " + time.strftime("%Y%m%d%H%M%S", stamp), "MDTM in UTC")
    expect_error(lambda: ftp.sendcmd("MDTM none.nc"), "550", "MDTM of a missing file")
    check(ftp.sendcmd("TYPE A") == "200 Type set to A", "TYPE A")
    check(sorted(ftp.nlst()) == ["O0001.CNC", "Sub"], "NLST")
    lines = []
    ftp.retrlines("LIST", lines.append)
    check(len(lines) == 2, f"LIST in TYPE A {lines!r}")
    check(ftp.sendcmd("TYPE I") == "200 Type set to I", "TYPE I")
    ftp.af = socket.AF_INET6   # ftplib uses EPSV for that family; the connection is still IPv4
    out = io.BytesIO()
    try:
        ftp.retrbinary("RETR Sub/prog.nc", out.write)
    finally:
        ftp.af = socket.AF_INET
    check(out.getvalue() == b"M30\r\n", "RETR over EPSV")
    ftp.quit()


def scenario_mirror(port, home):
    """lftp mirror of a folder tree with an empty folder, down and up."""
    os.makedirs(os.path.join(home, "tree", "progs", "deep"))
    os.makedirs(os.path.join(home, "tree", "empty"))
    with open(os.path.join(home, "tree", "progs", "O0100.nc"), "wb") as f:
        f.write(b"O0100\r\nG0 X1\r\nM30\r\n")
    with open(os.path.join(home, "tree", "progs", "deep", "O0200.nc"), "wb") as f:
        f.write(os.urandom(70000))
    local = os.path.join(home, "..", "mirror_down")
    r = subprocess.run(["lftp", "-u", "maker1,pw", "-p", str(port), "-e",
                        f"set cmd:fail-exit yes; set net:max-retries 1; mirror tree {local}; "
                        f"mirror -R {local} tree_up; bye", HOST], capture_output=True, timeout=60)
    check(r.returncode == 0, f"lftp mirror: {r.stdout!r} {r.stderr!r}")
    for root in (local, os.path.join(home, "tree_up")):
        check(os.path.isdir(os.path.join(root, "empty")), f"empty folder missing in {root}")
        for rel in ("progs/O0100.nc", "progs/deep/O0200.nc"):
            a = open(os.path.join(home, "tree", rel), "rb").read()
            try:
                b = open(os.path.join(root, rel), "rb").read()
            except OSError:
                b = None
            check(a == b, f"{rel} differs in {root}")


def greeting_of(s):
    try:
        return read_reply(s)
    except OSError as e:
        return f"error {e}"


def scenario_fdlimit(port, home):
    """Twice as many connections as the server has descriptors for, never logging in: the
    server stays up, refuses the excess with 421 and serves again once they have gone."""
    held, replies = [], []
    for _ in range(256):
        try:
            s = socket.create_connection((HOST, port), timeout=10)
        except OSError as e:
            replies.append(f"connect failed: {e}")
            continue
        held.append(s)
        replies.append(greeting_of(s))
    welcomed = sum(r.startswith("220 ") for r in replies)
    refused = sum(r.startswith("421 ") for r in replies)
    print(f"{welcomed} welcomed, {refused} refused", flush=True)
    check(welcomed > 0, "nobody was welcomed")
    check(refused > 0, "nobody was refused")
    check(welcomed + refused == len(replies), f"other answers: {[r for r in replies if r[:4] not in ('220 ', '421 ')][:3]}")
    for s in held:
        s.close()
    ok = False
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and not ok:
        try:
            ftp = connect(port)
            ok = "O0001.CNC" in ftp.nlst()
            ftp.quit()
        except ftplib.all_errors:
            time.sleep(0.2)
    check(ok, "no login and listing after the crowd left")


def scenario_pasv_reuse(port, home, low, high):
    """Passive transfers by the thousand from two clients on a few ports: never a 421."""
    with open(os.path.join(home, "tiny.nc"), "wb") as f:
        f.write(b"O1\r\nM30\r\n")
    problems = []

    def loop(count):
        ftp = connect(port)
        try:
            for i in range(count):
                reply = ftp.sendcmd("PASV")
                numbers = reply[reply.index("(") + 1:reply.index(")")].split(",")
                data_port = int(numbers[4]) * 256 + int(numbers[5])
                if not low <= data_port <= high:
                    problems.append(f"passive port {data_port} outside {low}-{high}")
                    return
                d = socket.create_connection((HOST, data_port), timeout=10)
                ftp.sendcmd("RETR tiny.nc")
                got = b""
                while True:
                    chunk = d.recv(4096)
                    if not chunk:
                        break
                    got += chunk
                d.close()
                done = ftp.voidresp()
                if got != b"O1\r\nM30\r\n" or not done.startswith("226"):
                    problems.append(f"transfer {i}: {got!r} {done!r}")
                    return
        except ftplib.all_errors as e:
            problems.append(f"after some transfers: {e}")
        finally:
            ftp.close()

    threads = [threading.Thread(target=loop, args=(1500,)) for _ in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    check(not problems, f"passive transfers failed: {problems[:3]}")


def scenario_slow_reader(port, home):
    """A client that reads its download at 2 KB/s is not idle, however long that takes."""
    body = os.urandom(16 * 1024)
    with open(os.path.join(home, "slow.nc"), "wb") as f:
        f.write(body)
    c = raw_login(port)
    data_port = raw_pasv(c)
    d = socket.socket()
    # What the client's kernel has taken but the client not yet read is out of the server's
    # sight; a small window keeps the waiting bytes on the server's side, as a controller's would.
    d.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1024)
    d.setsockopt(socket.IPPROTO_TCP, socket.TCP_WINDOW_CLAMP, 2048)
    d.connect((HOST, data_port))
    c.sendall(b"RETR slow.nc\r\n")
    first = read_reply(c)
    check(first.startswith("150"), "150 for the slow download")
    got = b""
    while True:
        chunk = d.recv(1024)
        if not chunk:
            break
        got += chunk
        time.sleep(0.5)
    d.close()
    check(got == body, f"slow download got {len(got)} of {len(body)} bytes")
    # The 226 may have come with the 150: the whole file fits the server's buffers.
    replies = first.partition("\r\n")[2] or read_reply(c)
    c.sendall(b"NOOP\r\n")
    while "200 OK" not in replies and not replies.startswith("421") and "\n421" not in replies:
        more = read_reply(c)
        if not more:
            break
        replies += more
    check("226 Transfer complete" in replies, f"download end: {replies!r}")
    check("421" not in replies and "200 OK" in replies, f"slow reader timed out: {replies!r}")
    c.close()


def scenario_small_stors(port, home, pid=0, limit_s=10):
    """Many small uploads on one connection: every byte there, and no fixed wait after each.
    limit_s 0: the uploads run (under the sanitizers) without the bound on their time."""
    files = [os.urandom(4096) for _ in range(200)]
    ftp = connect(port)
    start = time.monotonic()
    for i, body in enumerate(files):
        ftp.storbinary(f"STOR small_{i}.nc", io.BytesIO(body))
    elapsed = time.monotonic() - start
    for i in (0, 99, 199):
        out = io.BytesIO()
        ftp.retrbinary(f"RETR small_{i}.nc", out.write)
        check(out.getvalue() == files[i], f"small_{i}.nc differs")
    ftp.quit()
    for i, body in enumerate(files):
        with open(os.path.join(home, f"small_{i}.nc"), "rb") as f:
            if f.read() != body:
                check(False, f"small_{i}.nc on disk differs")
                break
    print(f"200 uploads of 4 KiB: {elapsed:.2f} s", flush=True)
    # A wait of 50 ms after each upload alone would take 10 s; the uploads themselves take a
    # fraction of that even on a loaded machine.
    check(limit_s == 0 or elapsed < limit_s, f"200 small uploads took {elapsed:.1f} s: a fixed wait per upload is back")


def scenario_listing_memory(port, home, pid, limit_mb=40):
    """Twenty clients hold a listing of a 6,000-file folder open: the server grows by their
    names, not their listings, and gives the memory back when they leave."""
    folder = os.path.join(home, "many")
    os.makedirs(folder)
    for i in range(6000):
        os.close(os.open(os.path.join(folder, f"O{i:05d}_PROGRAM_NAME.NC"), os.O_CREAT | os.O_WRONLY, 0o644))
    before = rss_kb(pid)
    clients = []
    for _ in range(20):
        c = raw_login(port)
        data_port = raw_pasv(c)
        d = socket.socket()
        d.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        d.connect((HOST, data_port))
        c.sendall(b"LIST many\r\n")
        check(read_reply(c).startswith("150"), "150 for the listing")
        check(d.recv(1000).startswith(b"-rwx------"), "listing begins")
        clients.append((c, d))
    time.sleep(0.5)
    during = (rss_kb(pid) - before) // 1024
    for c, d in clients:
        d.close()
        c.close()
    time.sleep(1.5)
    after = (rss_kb(pid) - before) // 1024
    print(f"20 pending listings: server grew by {during} MB, {after} MB after they left", flush=True)
    if limit_mb:
        check(during < limit_mb, f"20 pending listings grew the server by {during} MB")
        check(after < limit_mb // 3, f"{after} MB still held after the listing clients left")
    ftp = connect(port)
    names = ftp.nlst("many")
    check(len(names) == 6000 and names == sorted(names), f"whole listing: {len(names)} names")
    ftp.quit()


def scenario_overlong(port, home):
    """Overlong lines through a real socket: refused whole, and the next command answered once."""
    s = raw_login(port)
    pending = ""
    for length in (4096, 4097, 5000, 6000, 6144, 6200, 6300, 9000):
        line = b"NOOP " + b"x" * (length - 10) + b"QUIT "
        s.sendall(line + b"\r\nSYST\r\n")
        # Two replies, however the stream cuts them.
        while pending.count("\r\n") < 2:
            more = read_reply(s)
            if not more:
                break
            pending += more
        first, _, pending = pending.partition("\r\n")
        second, _, pending = pending.partition("\r\n")
        first, second = first + "\r\n", second + "\r\n"
        want = "200 OK\r\n" if length <= 4096 else "500 Command line too long.\r\n"
        check(first == want, f"{length} bytes: {first!r}")
        check(second == "215 UNIX emulated by Tidewell FTP Server.\r\n", f"{length} bytes, next command: {second!r}")
    check(pending == "", f"replies nobody asked for: {pending!r}")
    s.sendall(b"PWD\r\n")
    check(read_reply(s).startswith("257"), "still in step after the overlong lines")
    s.close()


def scenario_users_live(port, home, cli, users):
    """users.dat changed by the command-line tool under the running server."""
    old = connect(port)
    old.sendcmd("NOOP")

    def users_verb(*args):
        r = subprocess.run([cli, "users", "--users", users, *args], capture_output=True, timeout=30)
        check(r.returncode == 0, f"users {args}: {r.stdout!r} {r.stderr!r}")

    users_verb("remove", "oper1")
    users_verb("add", "oper1", "--password", "newpw", "--home", home, "--download", "--upload")
    ended = False
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline and not ended:
        try:
            old.sendcmd("NOOP")
            time.sleep(0.2)
        except (*ftplib.all_errors, EOFError):
            ended = True
    check(ended, "the removed account's session did not end")
    refused = accepted = False
    while time.monotonic() < deadline + 5 and not (refused and accepted):
        ftp = ftplib.FTP()
        ftp.connect(HOST, port, timeout=10)
        try:
            ftp.login("oper1", "pw")
            ftp.quit()
            time.sleep(0.2)
            continue
        except ftplib.error_perm:
            refused = True
            ftp.close()
        ftp = connect(port, "oper1", "newpw")
        accepted = ftp.pwd() == "/"
        ftp.quit()
    check(refused, "old password still accepted")
    check(accepted, "new password refused")


def tcp_states(port):
    """State, send queue and receive queue of every TCP socket whose local port is port, by remote port."""
    states = {}
    with open("/proc/net/tcp") as f:
        next(f)
        for line in f:
            fields = line.split()
            local, remote, state, queues = fields[1], fields[2], fields[3], fields[4]
            if int(local.split(":")[1], 16) == port:
                tx, rx = (int(q, 16) for q in queues.split(":"))
                states[int(remote.split(":")[1], 16)] = (state, tx, rx)
    return states


def scenario_linger(port, home):
    """A client that sends commands and never reads the replies: once it is dropped, nothing
    stays queued for it in the kernel."""
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.connect((HOST, port))
    read_reply(s)
    s.sendall(b"USER oper1\r\n")
    read_reply(s)
    s.sendall(b"PASS pw\r\n")
    check(read_reply(s).startswith("230"), "login")
    mine = s.getsockname()[1]
    s.setblocking(False)
    batch = b"NOOP\r\n" * 200
    piled = False
    deadline = time.monotonic() + 10
    # Commands until the server holds replies for us that we do not read, having read
    # everything we sent (unread input would make any close a reset anyway).
    while time.monotonic() < deadline and not piled:
        state = tcp_states(port).get(mine)
        if state and state[1] >= 6000 and state[2] == 0:
            piled = True
            break
        try:
            s.send(batch)
        except BlockingIOError:
            pass
        time.sleep(0.05)
    check(piled, f"no replies piled up: {tcp_states(port).get(mine)}")
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and tcp_states(port).get(mine, ("gone",))[0] == "01":
        time.sleep(0.1)
    time.sleep(0.5)
    left = tcp_states(port).get(mine)
    check(left is None or left[1] == 0, f"server side of a dropped client keeps {left} (state, bytes queued, unread)")
    s.close()


def scenario_pcclient2(port, home):
    """SITE CHMOD and LF-only lines, as lftp and scripts send them."""
    ftp = connect(port)
    check(ftp.sendcmd("SITE CHMOD 644 O0001.CNC").startswith("200"), "SITE CHMOD")
    expect_error(lambda: ftp.sendcmd("STOR bad\x1bname.nc"), "550", "name with ESC")
    ftp.quit()
    r = subprocess.run(["lftp", "-u", "oper1,pw", "-p", str(port), "-e",
                        "set cmd:fail-exit yes; set net:max-retries 1; chmod 755 O0001.CNC; bye", HOST],
                       capture_output=True, timeout=60)
    check(r.returncode == 0, f"lftp chmod: {r.stdout!r} {r.stderr!r}")
    s = socket.create_connection((HOST, port), timeout=10)
    read_reply(s)
    s.sendall(b"USER oper1\nPASS pw\nNOOP\n")
    got = ""
    while got.count("\r\n") < 3:
        more = read_reply(s)
        if not more:
            break
        got += more
    check(got == "331 Password required for oper1\r\n230 User successfully logged in.\r\n200 OK\r\n", f"LF-only lines: {got!r}")
    s.close()


def main():
    name, port, home = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    if name in ("flood", "listing_memory", "small_stors"):
        globals()["scenario_" + name](port, home, int(sys.argv[4]), *(int(a) for a in sys.argv[5:6]))
    elif name == "pasv_reuse":
        scenario_pasv_reuse(port, home, int(sys.argv[4]), int(sys.argv[5]))
    elif name == "users_live":
        scenario_users_live(port, home, sys.argv[4], sys.argv[5])
    else:
        globals()["scenario_" + name](port, home)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
