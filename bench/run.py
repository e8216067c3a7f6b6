#!/usr/bin/env python3
"""Benchmarks of the launcher and the starter against the tools a user would
pick instead. Prints one table; never fails on a figure.

    python3 bench/run.py [--quick] [--only STEP]     (run by bench/run.sh under Xvfb)

1. Update check with nothing to fetch: 1,000 / 10,000 / 30,000 up-to-date
   entries, VT_Update.exe from its log's timestamps, against `wget -N` over the
   same files and a native loop of stat calls.
2. Downloads: one 1 GiB file (DownloadFile against curl, with our peak memory)
   and 2,000 files of 64 KiB (VT_Update.exe against one curl run, with the
   connections each opened).
3. A far server (every answer 50 ms late): 200 and 2,000 files of 2 KiB,
   VT_Update.exe from its start to "Done." (6 fetches at once) against curl
   (one connection, one at a time) and aria2c with 6 connections.
4. Resuming: a 1 GiB file cut twice (after a third, and after another third),
   the bytes the server sent against the file's size; and six 1 GiB fetches at
   once through the launcher's fetch pool, with its peak private memory.
5. Side files: SHA-256 alone (one 1 GiB file in the cache: the programs'
   hasher and Windows' CNG under Wine, against sha256sum, in MB/s); the first
   start that sees one reads every listed file (MB/s
   over a 1 GiB release, against sha256sum over the same files), and the
   no-op start of 10,000 entries with a signed side file (hashes remembered)
   against the same start without one.
6. The clone: 5,000 files, 2 GiB: CopyFolderTree and RemoveFolderTree against
   Wine's xcopy /E and native cp -a / rm -rf.
7. Release day: a 1 GiB file with 1 MiB changed in 16 places and 4 KiB
   inserted near its start, updated from the old copy: a partial update
   (vt_bench_download with the side file's size, SHA-256 and block index)
   against zsync, both from the same nginx (bytes from its log, index and
   control file included); then the same update and the whole file on a
   link limited to 100 Mbit/s (the test server's throttle).
8. Mirrors: 2,000 files of 16 KiB from three mirrors (VT_Update.exe with
   MIRRORS=): the files each served, then a run with one mirror stopped
   mid-run, which must still end "Done." with every file right.
9. The speed limit: a file through VT_Update.exe with MAXRATE=8192, 20480
   and 102400 (8, 20 and 100 MiB/s; 64, 160 and 512 MiB) and without a
   limit: the rate the FETCH line's time gives, as a share of the limit
   (goal: 0.95 to 1.0).
Steps 7 to 9 run with our build only (older builds have none of them).
--quick divides the sizes by ten.

--against DIR NAME: the same steps, in the same run and one after the other,
with the Windows programs of another build folder (bench/run.sh --against REV
builds a commit into one), so that a change is measured against what came
before on the same machine at the same time. The table gets the other build's
figure and the ratio beside ours.
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NATIVE = os.path.join(ROOT, "build", "native")
WINDOWS = os.path.join(ROOT, "build", "windows")
WINE = "/usr/lib/wine/wine64"
ENV = dict(os.environ, WINEPREFIX=os.path.join(WINDOWS, "wineprefix"), WINEDEBUG="-all")
MARKER_PAGE = b"<!-- Vortane Mod Launcher -->\r\n<html></html>\r\n"
ROWS = []
AGAINST = {}         # (measure, peer) -> the other build's figure
AGAINST_PASS = False  # the steps are being run with the other build's programs


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def row(what, ours, peer_name, peer, unit="ms", note=""):
    if AGAINST_PASS:
        AGAINST[(what, peer_name)] = ours
        print(f"bench: {what}: other build {ours} {unit}", file=sys.stderr, flush=True)
        return
    ratio = f"{peer / ours:.2f}" if ours and peer else "-"
    ROWS.append((what, f"{ours:.0f} {unit}" if ours is not None else "-", peer_name,
                 f"{peer:.0f} {unit}" if peer is not None else "-", ratio, note))
    print(f"bench: {what}: ours {ours} {unit}, {peer_name} {peer} {unit} {note}", file=sys.stderr, flush=True)


class Server:
    def __init__(self, folder, *options):
        self.process = subprocess.Popen([os.path.join(NATIVE, "tools", "vt_test_server"), folder, *options],
                                        stdout=subprocess.PIPE, text=True)
        self.url = self.process.stdout.readline().strip()

    def stats(self):
        text = urllib.request.urlopen(self.url + "/__stats").read().decode()
        return dict(line.split("=") for line in text.split())

    def connections(self):
        return int(self.stats()["connections"])

    def bytes_sent(self):
        return int(self.stats()["bytes"])

    def stop(self):
        self.process.kill()
        self.process.wait()


def random_files(folder, prefix, count, size, ext="bin"):
    """`count` files of `size` random bytes in `folder` (made); returns their names."""
    os.makedirs(folder)
    names = [f"{prefix}{i:04d}.{ext}" for i in range(count)]
    for n in names:
        with open(os.path.join(folder, n), "wb") as f:
            f.write(os.urandom(size))
    return names


def timed(command, **kwargs):
    begin = time.monotonic()
    subprocess.run(command, check=True, env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)
    return (time.monotonic() - begin) * 1000


def log_time(line):
    return datetime.datetime.strptime(line[:23], "%Y-%m-%d %H:%M:%S.%f")


def run_until(exe, stop_when=None, timeout_s=900):
    """VT_Update.exe to its first ending; `stop_when` (count, action) runs the
    action once the log has that many FETCH lines. Returns the log's lines."""
    log = os.path.join(exe, "VT_Update.log")
    if os.path.exists(log):
        os.remove(log)
    process = subprocess.Popen([WINE, os.path.join(exe, "VT_Update.exe")], cwd=exe, env=ENV,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    lines, deadline = [], time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        time.sleep(0.1)
        if os.path.exists(log):
            with open(log, errors="replace") as f:
                lines = f.read().splitlines()
            if stop_when and sum(" FETCH " in l for l in lines) >= stop_when[0]:
                stop_when[1]()
                stop_when = None
            if any(" ENDING " in l for l in lines):
                break
    process.kill()
    process.wait()
    return lines


def run_launcher(exe_folder, timeout_s=600):
    """Runs VT_Update.exe to its first ending; returns (ending, ms of the entries, ms of the run)."""
    lines = run_until(exe_folder, timeout_s=timeout_s)
    start = next(l for l in lines if " START " in l)
    listed = next((l for l in lines if " LIST " in l), start)
    ending = next((l for l in lines if " ENDING " in l), None)
    if ending is None:
        return "none", None, None
    return (ending.split(" ENDING ")[1], (log_time(ending) - log_time(listed)).total_seconds() * 1000,
            (log_time(ending) - log_time(start)).total_seconds() * 1000)


def first_request_to_ending_ms(exe_folder):
    """From the probe's request (its FETCH line's time less its ms) to the ENDING line."""
    with open(os.path.join(exe_folder, "VT_Update.log"), errors="replace") as f:
        lines = f.read().splitlines()
    probe = next(l for l in lines if " FETCH " in l)
    ending = next(l for l in lines if " ENDING " in l)
    probe_ms = int(probe.split(" ms=")[1].split()[0])
    return (log_time(ending) - log_time(probe)).total_seconds() * 1000 + probe_ms


def make_install(scratch, server, list_lines):
    exe = os.path.join(scratch, "install", "EXE")
    os.makedirs(exe, exist_ok=True)
    shutil.copy(os.path.join(WINDOWS, "launcher", "VT_Update.exe"), exe)
    with open(os.path.join(exe, "UPDATE.CFG"), "wb") as f:
        f.write(f"WEBPATH={server.url}/VTupdates/\r\n".encode())
    with open(os.path.join(scratch, "srv", "VTupdates", "update.dat"), "wb") as f:
        f.write(("bench list\r\n" + "".join(l + "\r\n" for l in list_lines)).encode())
    return exe


def update_check(scratch, entries):
    srv = os.path.join(scratch, "srv", "VTupdates")
    os.makedirs(os.path.join(srv, "f"))
    with open(os.path.join(srv, "Index.html"), "wb") as f:
        f.write(MARKER_PAGE)
    server = Server(os.path.join(scratch, "srv"))
    names = [f"f{i:05d}.dat" for i in range(entries)]
    exe = make_install(scratch, server, [f"f/{n}\t|f/{n}\t|2008-01-28 14:30" for n in names])
    os.makedirs(os.path.join(exe, "f"))
    for n in names:  # the same bytes on both sides, the local copies written now: all up to date
        for folder in (os.path.join(srv, "f"), os.path.join(exe, "f")):
            with open(os.path.join(folder, n), "wb") as f:
                f.write(b"sixteen bytes...")
    ending, entries_ms, run_ms = run_launcher(exe)
    print(f"bench: {entries} entries: ending {ending}, whole run {run_ms} ms", file=sys.stderr)

    wget_dir = os.path.join(scratch, "wget")
    shutil.copytree(os.path.join(exe, "f"), wget_dir)
    with open(os.path.join(scratch, "urls"), "w") as f:
        f.write("".join(f"{server.url}/VTupdates/f/{n}\n" for n in names))
    wget_ms = timed(["wget", "-q", "-N", "-i", os.path.join(scratch, "urls")], cwd=wget_dir)
    begin = time.monotonic()
    for n in names:
        os.stat(os.path.join(exe, "f", n))
    stat_ms = (time.monotonic() - begin) * 1000
    server.stop()
    note = f"{entries_ms / entries * 1000:.0f} us/entry; stat loop {stat_ms:.0f} ms" if entries_ms else ending
    row(f"update check, {entries:,} up-to-date entries", entries_ms, "wget -N", wget_ms, note=note)


def big_download(scratch, mib):
    srv = os.path.join(scratch, "srv", "VTupdates")
    os.makedirs(srv)
    block = os.urandom(1 << 20)
    with open(os.path.join(srv, "big.bin"), "wb") as f:
        for _ in range(mib):
            f.write(block[:-1] + bytes([_ % 256]))
    server = Server(os.path.join(scratch, "srv"))
    url = server.url + "/VTupdates/big.bin"
    target = os.path.join(scratch, "ours.bin")
    ours, curl, peak, fetch = None, None, "", None
    for _ in range(3):
        for path in (target, os.path.join(scratch, "curl.bin")):
            if os.path.exists(path):
                os.remove(path)
        curl_ms = timed(["curl", "-s", "-o", os.path.join(scratch, "curl.bin"), url])
        out = subprocess.run([WINE, os.path.join(WINDOWS, "bench", "vt_bench_download.exe"), url, winpath(target)],
                             env=ENV, capture_output=True, text=True).stdout
        fields = dict(kv.split("=") for kv in out.split())
        ours_ms = float(fields["ms"])
        curl = curl_ms if curl is None else min(curl, curl_ms)
        if ours is None or ours_ms < ours:
            fetch = float(fields["fetch_ms"])
            ours, peak = ours_ms, f"peak private {int(fields['peak_private_kib']) // 1024} MiB, working set {int(fields['peak_working_set_kib']) // 1024} MiB"
    server.stop()
    row(f"download, one {mib} MiB file (best of 3)", ours, "curl", curl,
        note=f"{mib * 1000 / ours:.0f} MiB/s against {mib * 1000 / curl:.0f}; the transfer alone {fetch:.0f} ms, "
             f"the rest the flush to the disk before the replace (curl does not flush); {peak}")


def max_rate(scratch, mib):
    """The speed limit at 8, 20 and 100 MiB/s, each over a file that takes
    about eight seconds at its limit (the bucket's quarter-second burst is
    then within the goal)."""
    if AGAINST_PASS:
        return
    for kib_per_s, size in ((8192, mib), (20480, mib * 5 // 2), (102400, mib * 8)):
        one_limit = os.path.join(scratch, str(kib_per_s))
        os.makedirs(one_limit)
        max_rate_at(one_limit, size, kib_per_s)


def max_rate_at(scratch, mib, kib_per_s):
    """One file through the real launcher with MAXRATE= and without: the
    rate it achieved as a share of the limit (goal 0.95 to 1.0)."""
    srv = os.path.join(scratch, "srv", "VTupdates")
    os.makedirs(srv)
    with open(os.path.join(srv, "Index.html"), "wb") as f:
        f.write(MARKER_PAGE)
    with open(os.path.join(srv, "big.bin"), "wb") as f:
        f.write(os.urandom(mib << 20))
    server = Server(os.path.join(scratch, "srv"))
    exe = make_install(scratch, server, ["big.bin|big.bin|immer"])
    results = {}
    for limit in (kib_per_s, None):
        with open(os.path.join(exe, "UPDATE.CFG"), "ab") as f:
            f.write(f"MAXRATE={limit or 0}\r\n".encode())  # the last line of a key wins
        lines = run_until(exe)
        fetch = next((l for l in lines if " FETCH " in l and "big.bin" in l and " ok" in l), None)
        fields = dict(kv.split("=", 1) for kv in fetch.split() if "=" in kv) if fetch else {}
        results[limit] = int(fields["ms"]) if fetch else None
    server.stop()
    limited, free = results[kib_per_s], results[None]
    if not limited or not free:
        row(f"MAXRATE={kib_per_s:,}: one {mib} MiB file", None, "no limit", None, note="a fetch failed")
        return
    share = (mib * 1024 * 1000 / limited) / kib_per_s
    row(f"MAXRATE={kib_per_s:,} ({kib_per_s // 1024} MiB/s): one {mib} MiB file, the launcher's fetch", limited,
        "no limit", free,
        note=f"achieved {mib * 1000 / limited:.2f} MiB/s: {share:.2f} of the limit (goal: 0.95 to 1.0); "
             f"without it {mib * 1000 / free:.0f} MiB/s")


def small_downloads(scratch, count):
    srv = os.path.join(scratch, "srv", "VTupdates")
    names = random_files(os.path.join(srv, "s"), "s", count, 64 * 1024)
    with open(os.path.join(srv, "Index.html"), "wb") as f:
        f.write(MARKER_PAGE)
    server = Server(os.path.join(scratch, "srv"))
    exe = make_install(scratch, server, [f"s/{n}|s/{n}|immer" for n in names])
    before = server.connections()
    ending, entries_ms, _ = run_launcher(exe)
    ours_connections = server.connections() - before - 1
    config = os.path.join(scratch, "curl.cfg")
    os.makedirs(os.path.join(scratch, "curl"))
    with open(config, "w") as f:
        f.write("".join(f'url = "{server.url}/VTupdates/s/{n}"\noutput = "{scratch}/curl/{n}"\n' for n in names))
    before = server.connections()
    curl_ms = timed(["curl", "-s", "-K", config])
    curl_connections = server.connections() - before - 1
    server.stop()
    row(f"download, {count:,} files of 64 KiB", entries_ms, "curl -K", curl_ms,
        note=f"{ending}; connections: ours {ours_connections}, curl {curl_connections}")


def far_server(scratch, count, latency_ms=50):
    srv = os.path.join(scratch, "srv", "VTupdates")
    names = random_files(os.path.join(srv, "s"), "s", count, 2048, ext="txt")
    with open(os.path.join(srv, "Index.html"), "wb") as f:
        f.write(MARKER_PAGE)
    server = Server(os.path.join(scratch, "srv"), "--latency", str(latency_ms))
    exe = make_install(scratch, server, [f"s/{n}|s/{n}|immer" for n in names])
    ending, _, _ = run_launcher(exe)
    run_ms = first_request_to_ending_ms(exe)
    urls = [f"{server.url}/VTupdates/s/{n}" for n in names]
    config = os.path.join(scratch, "curl.cfg")
    os.makedirs(os.path.join(scratch, "curl"))
    with open(config, "w") as f:
        f.write("".join(f'url = "{u}"\noutput = "{scratch}/curl/{n}"\n' for u, n in zip(urls, names)))
    curl_ms = timed(["curl", "-s", "-K", config])
    with open(os.path.join(scratch, "aria2.txt"), "w") as f:
        f.write("".join(f"{u}\n  out={n}\n" for u, n in zip(urls, names)))
    aria_ms = timed(["aria2c", "-q", "-j", "6", "-x", "1", "--allow-overwrite=true", "--auto-file-renaming=false",
                     "-d", os.path.join(scratch, "aria"), "-i", os.path.join(scratch, "aria2.txt")])
    server.stop()
    what = f"far server ({latency_ms} ms an answer), {count:,} files of 2 KiB"
    row(what, run_ms, "curl -K", curl_ms, note=f"{ending}; first request to Done., probe and list included; one at a time "
                                                f"cannot go below {count * latency_ms / 1000:.0f} s")
    row(what, run_ms, "aria2c -j 6", aria_ms, note=f"{ending}; 6 at once on both sides")


def cut_twice(scratch, mib):
    srv = os.path.join(scratch, "srv", "VTupdates")
    os.makedirs(srv)
    block = os.urandom(1 << 20)
    with open(os.path.join(srv, "big.bin"), "wb") as f:
        for i in range(mib):
            f.write(block[:-1] + bytes([i % 256]))
    size = mib << 20
    server = Server(os.path.join(scratch, "srv"), "--fault", f"/VTupdates/big.bin=cut:{size // 3}:2")
    before = server.bytes_sent()
    out = subprocess.run([WINE, os.path.join(WINDOWS, "bench", "vt_bench_download.exe"),
                          server.url + "/VTupdates/big.bin", winpath(os.path.join(scratch, "ours.bin"))],
                         env=ENV, capture_output=True, text=True).stdout
    sent = server.bytes_sent() - before
    server.stop()
    fields = dict(kv.split("=") for kv in out.split())
    whole = fields.get("ok") == "1" and os.path.getsize(os.path.join(scratch, "ours.bin")) == size
    ROWS.append((f"download, {mib} MiB cut twice: bytes sent / size", f"{sent / size:.3f}", "a fetch from the start "
                 "each time", f"{(size // 3 + 2 * size // 3 + size) / size:.3f}", "-",
                 f"{'whole file' if whole else 'FAILED'} in {float(fields.get('ms', 0)) / 1000:.1f} s"))
    print(f"bench: cut twice: sent {sent} of {size}", file=sys.stderr, flush=True)

    # Six at once: the same file under six names.
    server = Server(os.path.join(scratch, "srv"))
    os.remove(os.path.join(scratch, "ours.bin"))
    args = []
    for i in range(6):
        args += [f"{server.url}/VTupdates/big.bin?{i}", winpath(os.path.join(scratch, f"pool{i}.bin"))]
    out = subprocess.run([WINE, os.path.join(WINDOWS, "bench", "vt_bench_download.exe"), "--pool", "6", *args],
                         env=ENV, capture_output=True, text=True).stdout
    server.stop()
    fields = dict(kv.split("=") for kv in out.split())
    peak = int(fields.get("peak_private_kib", 0)) / 1024
    ROWS.append((f"memory, 6 fetches of {mib} MiB at once: peak private", f"{peak:.0f} MiB", "goal", "64 MiB", "-",
                 f"{'all whole' if fields.get('ok') == '1' else 'FAILED'} in {float(fields.get('ms', 0)) / 1000:.1f} s"))
    print(f"bench: pool of 6: {out.strip()}", file=sys.stderr, flush=True)


def vtlist(*args):
    return subprocess.run([os.path.join(NATIVE, "tools", "vtlist", "vtlist"), *args], check=True,
                          capture_output=True, text=True).stdout


def signed_release(scratch, names, write):
    """Server and install folders with the same files, a list whose stamps call
    them up to date, and a signed side file; returns (server, exe folder)."""
    srv = os.path.join(scratch, "srv", "VTupdates")
    os.makedirs(os.path.join(srv, "f"))
    with open(os.path.join(srv, "Index.html"), "wb") as f:
        f.write(MARKER_PAGE)
    server = Server(os.path.join(scratch, "srv"))
    exe = make_install(scratch, server, [f"f/{n}\t|f/{n}\t|2008-01-28 14:30" for n in names])
    os.makedirs(os.path.join(exe, "f"))
    for i, n in enumerate(names):
        for folder in (os.path.join(srv, "f"), os.path.join(exe, "f")):
            write(os.path.join(folder, n), i)
    key = os.path.join(scratch, "publisher.key")
    public = vtlist("keygen", key).strip()
    vtlist("sign", os.path.join(srv, "update.dat"), "--root", srv, "--key", key)
    with open(os.path.join(exe, "UPDATE.CFG"), "ab") as f:
        f.write((public + "\r\n").encode())
    return server, exe


def hashing(scratch, mib):
    files = 64
    block = os.urandom(mib * (1 << 20) // files)
    def write(path, i):
        with open(path, "wb") as f:
            f.write(block[:-1] + bytes([i % 256]))
    names = [f"pak{i:02d}.bin" for i in range(files)]
    server, exe = signed_release(scratch, names, write)
    subprocess.run(["sync"])
    ending, entries_ms, _ = run_launcher(exe)
    with open(os.path.join(exe, "VT_Update.log"), errors="replace") as f:
        hashes = next((l.split(" HASHES ")[1].strip() for l in f if " HASHES " in l), "")
    sha_ms = timed(["sha256sum", *[os.path.join(exe, "f", n) for n in names]])
    server.stop()
    rate = mib * 1000 / entries_ms if entries_ms else 0
    row(f"first start with a side file, {mib:,} MiB in {files} files: hashing", entries_ms, "sha256sum", sha_ms,
        note=f"{ending}; {rate:.0f} MiB/s; {hashes}")


def hash_alone(scratch, mib):
    """SHA-256 of one file already in the page cache: the programs' hasher
    (vt_bench_hash: Sha256OfFile, then Windows' CNG over the same reads, both
    under Wine) against sha256sum, in MB/s (10^6 bytes a second)."""
    path = os.path.join(scratch, "one.pak")
    with open(path, "wb") as f:
        for _ in range(mib):
            f.write(os.urandom(1 << 20))
    bench_hash = os.path.join(WINDOWS, "bench", "vt_bench_hash.exe")
    if not os.path.exists(bench_hash):  # an older build: no such program
        return
    timed(["sha256sum", path])  # into the cache
    out = subprocess.run([WINE, bench_hash, winpath(path)], env=ENV,
                         capture_output=True, text=True)
    if out.returncode != 0:
        print(f"bench: vt_bench_hash failed: {out.stderr}", file=sys.stderr, flush=True)
        return
    fields = dict(kv.split("=") for kv in out.stdout.split())
    sha_ms = min(timed(["sha256sum", path]) for _ in range(2))
    same = subprocess.run(["sha256sum", path], capture_output=True, text=True).stdout.split()[0] == fields["sha256"]
    size = int(fields["bytes"])
    def rate(ms):
        return size / 1e3 / ms if ms else 0
    ours, cng = float(fields["ours_ms"]), float(fields["cng_ms"])
    what = f"SHA-256 alone, one file of {mib:,} MiB in the cache (MB/s)"
    if AGAINST_PASS:
        row(what, rate(ours), "sha256sum", None, unit="MB/s")
        return
    ROWS.append((what, f"{rate(ours):.0f} MB/s", "sha256sum", f"{rate(sha_ms):.0f} MB/s",
                 f"{rate(ours) / rate(sha_ms):.2f}" if sha_ms else "-",  # a time's peer / VT
                 f"CNG under Wine over the same reads: {rate(cng):.0f} MB/s ({rate(cng) / rate(ours):.2f} of ours); "
                 f"digests agree with sha256sum: {same}"))
    print(f"bench: hash alone ours {rate(ours):.0f} MB/s, CNG {rate(cng):.0f} MB/s, sha256sum {rate(sha_ms):.0f} MB/s",
          file=sys.stderr, flush=True)


def noop_with_side(scratch, entries):
    names = [f"f{i:05d}.dat" for i in range(entries)]
    def write(path, i):
        with open(path, "wb") as f:
            f.write(b"sixteen bytes...")
    server, exe = signed_release(scratch, names, write)
    run_launcher(exe)  # the first start reads every file once
    ending, with_ms, _ = run_launcher(exe)
    with open(os.path.join(exe, "VT_Update.log"), errors="replace") as f:
        hashes = next((l.split(" HASHES ")[1].strip() for l in f if " HASHES " in l), "")
    os.remove(os.path.join(scratch, "srv", "VTupdates", "update.dat.vtsums"))
    config = os.path.join(exe, "UPDATE.CFG")
    with open(config, "rb") as f:
        lines = [l for l in f.read().split(b"\r\n") if l and not l.startswith(b"PUBLICKEY=")]
    with open(config, "wb") as f:
        f.write(b"".join(l + b"\r\n" for l in lines))
    ending_without, without_ms, _ = run_launcher(exe)
    server.stop()
    ROWS.append((f"no-op start, {entries:,} entries, signed side file", f"{with_ms:.0f} ms", "the same without it",
                 f"{without_ms:.0f} ms", f"{without_ms / with_ms:.2f}" if with_ms else "-",
                 f"{ending} / {ending_without}; goal: with it within 1.2 times; second start: {hashes}"))
    print(f"bench: no-op with side {with_ms} ms, without {without_ms} ms", file=sys.stderr, flush=True)


def clone(scratch, files, total_mib):
    source = os.path.join(scratch, "EXE")
    os.makedirs(source)
    size = total_mib * (1 << 20) // files
    block = os.urandom(size)
    for i in range(files):
        folder = os.path.join(source, f"d{i // 250:02d}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"file{i:05d}.dat"), "wb") as f:
            f.write(block)
    subprocess.run(["sync"])
    out = subprocess.run([WINE, os.path.join(WINDOWS, "bench", "vt_bench_clone.exe"), winpath(source + "/"),
                          winpath(os.path.join(scratch, "EXE2") + "/")], env=ENV, capture_output=True, text=True).stdout
    fields = dict(kv.split("=") for kv in out.split())
    copy_ms, remove_ms = float(fields["copy_ms"]), float(fields["remove_ms"])
    xcopy_ms = timed([WINE, "xcopy", "/E", "/I", "/Q", "/H", winpath(source), winpath(os.path.join(scratch, "X"))])
    shutil.rmtree(os.path.join(scratch, "X"))
    cp_ms = timed(["cp", "-a", source, os.path.join(scratch, "C")])
    rm_ms = timed(["rm", "-rf", os.path.join(scratch, "C")])
    what = f"clone, {files:,} files, {total_mib:,} MiB"
    row(what + ": copy", copy_ms, "xcopy /E", xcopy_ms)
    row(what + ": copy", copy_ms, "cp -a", cp_ms)
    row(what + ": remove", remove_ms, "rm -rf", rm_ms)


def nginx_start(folder, root):
    """nginx on 127.0.0.1 serving `root`, its log with the bytes of each answer
    (heads included); returns (process, base URL, log path)."""
    os.makedirs(folder, exist_ok=True)
    port = free_port()
    log = os.path.join(folder, "access.log")
    with open(os.path.join(folder, "nginx.conf"), "w") as f:
        f.write(f"""user root; worker_processes 1; daemon off; pid {folder}/nginx.pid; error_log {folder}/error.log;
events {{ worker_connections 64; }}
http {{
    log_format sent '$request $status $bytes_sent';
    access_log {log} sent;
    client_body_temp_path {folder}/body; proxy_temp_path {folder}/proxy; fastcgi_temp_path {folder}/fastcgi;
    uwsgi_temp_path {folder}/uwsgi; scgi_temp_path {folder}/scgi;
    default_type application/octet-stream;
    server {{ listen 127.0.0.1:{port}; root {root}; }}
}}
""")
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    process = subprocess.Popen([nginx, "-p", folder, "-c", os.path.join(folder, "nginx.conf")],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(50):
        try:
            urllib.request.urlopen(f"http://127.0.0.1:{port}/", timeout=0.5)
            break
        except urllib.error.HTTPError:
            break
        except OSError:
            time.sleep(0.1)
    return process, f"http://127.0.0.1:{port}", log


def free_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def logged_bytes(log, since=0):
    """The bytes nginx sent for the answers logged after line `since`, and the lines so far."""
    with open(log) as f:
        lines = f.read().splitlines()
    return sum(int(l.split()[-1]) for l in lines[since:]), len(lines)


def next_release(old_path, new_path, size):
    """The next release of a file: 4 KiB inserted near the start and 16
    regions of 64 KiB changed, spread over the file."""
    changed = [size * i // 16 + 12345 for i in range(16)]
    with open(old_path, "rb") as old, open(new_path, "wb") as new:
        at = 0  # offsets of the old file
        for piece in iter(lambda: bytearray(old.read(1 << 20)), bytearray()):
            for start in changed:
                for i in range(max(start, at), min(start + 65536, at + len(piece))):
                    piece[i - at] ^= 0x5A
            cut = 100000 - at
            if 0 <= cut < len(piece):
                new.write(piece[:cut] + os.urandom(4096) + piece[cut:])
            else:
                new.write(piece)
            at += len(piece)


def side_lines(sums_path):
    """entry N -> (size, sha256) and blocks N -> (size, sha256) of a side file."""
    entries, blocks = {}, {}
    with open(sums_path) as f:
        for line in f.read().splitlines():
            fields = line.split()
            if fields and fields[0] == "entry":
                entries[int(fields[1])] = (fields[2], fields[3])
            elif fields and fields[0] == "blocks":
                blocks[int(fields[1])] = (fields[2], fields[3])
    return entries, blocks


def bench_fetch(url, target, *expect):
    out = subprocess.run([WINE, os.path.join(WINDOWS, "bench", "vt_bench_download.exe"), url, winpath(target),
                          "--expect", *expect], env=ENV, capture_output=True, text=True).stdout
    return dict(kv.split("=") for kv in out.split())


def partial_update(scratch, mib):
    if AGAINST_PASS:
        return
    srv = os.path.join(scratch, "srv", "VTupdates")
    os.makedirs(srv)
    old = os.path.join(scratch, "old.pak")
    with open(old, "wb") as f:
        for _ in range(mib):
            f.write(os.urandom(1 << 20))
    big = os.path.join(srv, "big.pak")
    next_release(old, big, mib << 20)
    out = os.path.join(scratch, "out")
    os.makedirs(out)
    vtlist("make", srv, "-o", os.path.join(out, "update.dat"))
    entries, blocks = side_lines(os.path.join(out, "update.dat.vtsums"))
    size, sha = entries[1]
    index_size, index_sha = blocks[1]
    subprocess.run(["zsyncmake", "-u", "big.pak", "-o", big + ".zsync", big], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(big, "rb") as f:
        import hashlib
        want = hashlib.sha256()
        for piece in iter(lambda: f.read(1 << 20), b""):
            want.update(piece)
    def right(path):
        h = hashlib.sha256()
        with open(path, "rb") as f:
            for piece in iter(lambda: f.read(1 << 20), b""):
                h.update(piece)
        return h.hexdigest() == want.hexdigest()

    nginx, url, log = nginx_start(os.path.join(scratch, "nginx"), os.path.join(scratch, "srv"))
    try:
        # Best of three, taken in turns (single runs of either vary by a
        # second on a shared machine), each from a fresh copy of the old file
        # written to the disk first: neither pays for the other's writes.
        ours = os.path.join(scratch, "ours.pak")
        zdir = os.path.join(scratch, "z")
        os.makedirs(zdir)
        fields, ours_bytes, ours_requests, zsync_ms, ours_ok, zsync_ok = None, 0, 0, None, True, True
        for _ in range(3):
            shutil.copy(old, ours)
            subprocess.run(["sync"])
            _, start = logged_bytes(log)
            got = bench_fetch(url + "/VTupdates/big.pak", ours, size, sha, index_size, index_sha)
            ours_bytes, mark = logged_bytes(log, start)
            ours_requests = mark - start
            if fields is None or float(got.get("ms", 1e9)) < float(fields.get("ms", 1e9)):
                fields = got
            ours_ok = ours_ok and got.get("ok") == "1" and got.get("patched") == "1" and right(ours)
            shutil.copy(old, os.path.join(zdir, "old.pak"))
            if os.path.exists(os.path.join(zdir, "new.pak")):
                os.remove(os.path.join(zdir, "new.pak"))
            subprocess.run(["sync"])
            z_ms = timed(["zsync", "-q", "-i", "old.pak", "-o", "new.pak", url + "/VTupdates/big.pak.zsync"], cwd=zdir)
            zsync_ms = z_ms if zsync_ms is None else min(zsync_ms, z_ms)
            zsync_bytes, end = logged_bytes(log, mark)
            zsync_requests = end - mark
            zsync_ok = zsync_ok and right(os.path.join(zdir, "new.pak"))
    finally:
        nginx.kill()
        nginx.wait()
    what = f"partial update, {mib:,} MiB file, 1 MiB changed in 16 places, 4 KiB inserted"
    peak = int(fields.get("peak_private_kib", 0)) // 1024
    row(what + ": time to the new file (best of 3)", float(fields.get("ms", 0)), "zsync", zsync_ms,
        note=f"{'right' if ours_ok else 'WRONG'} / {'right' if zsync_ok else 'WRONG'}; peak private {peak} MiB "
             f"(goal: under 64); the same nginx")
    ROWS.append((what + ": bytes sent", f"{ours_bytes / 1048576:.2f} MiB", "zsync", f"{zsync_bytes / 1048576:.2f} MiB",
                 f"{zsync_bytes / ours_bytes:.2f}" if ours_bytes else "-",
                 f"{100 * ours_bytes / (mib << 20):.2f}% of the file, index and heads included (goal: at most 2%); "
                 f"zsync {100 * zsync_bytes / (mib << 20):.2f}%; requests: ours {ours_requests}, zsync {zsync_requests}"))
    print(f"bench: partial {fields} bytes {ours_bytes}, zsync {zsync_ms} ms bytes {zsync_bytes}", file=sys.stderr, flush=True)

    # A link of 100 Mbit/s: the test server sends 12.5 MB a second.
    rate = 100_000_000 // 8
    server = Server(os.path.join(scratch, "srv"), "--fault", f"/VTupdates/big.pak=throttle:{rate}",
                    "--fault", f"/VTupdates/big.pak.vtblocks=throttle:{rate}")
    try:
        shutil.copy(old, ours)
        slow = bench_fetch(server.url + "/VTupdates/big.pak", ours, size, sha, index_size, index_sha)
        os.remove(ours)
        whole = bench_fetch(server.url + "/VTupdates/big.pak", ours, size, sha)
    finally:
        server.stop()
    row(f"partial update on a 100 Mbit/s link, {mib:,} MiB file", float(slow.get("ms", 0)), "the whole file",
        float(whole.get("ms", 0)), note=f"patched={slow.get('patched')} ok={slow.get('ok')}/{whole.get('ok')}; "
                                        f"goal: at most a tenth of the whole")


def mirrors(scratch, count):
    if AGAINST_PASS:
        return
    srv = os.path.join(scratch, "srv", "VTupdates")
    names = random_files(os.path.join(srv, "m"), "m", count, 16 * 1024)
    out = os.path.join(scratch, "out")
    os.makedirs(out)
    vtlist("make", srv, "-o", os.path.join(out, "update.dat"))
    for name in ("update.dat", "update.dat.vtsums"):
        shutil.copy(os.path.join(out, name), srv)
    with open(os.path.join(srv, "Index.html"), "wb") as f:
        f.write(MARKER_PAGE)
    home = Server(os.path.join(scratch, "srv"))
    mirror = [Server(os.path.join(scratch, "srv")) for _ in range(3)]
    try:
        def install(name):
            exe = os.path.join(scratch, name, "EXE")
            os.makedirs(exe)
            shutil.copy(os.path.join(WINDOWS, "launcher", "VT_Update.exe"), exe)
            with open(os.path.join(exe, "UPDATE.CFG"), "wb") as f:
                f.write(f"WEBPATH={home.url}/VTupdates/\r\nMIRRORS={' '.join(m.url + '/VTupdates/' for m in mirror)}\r\n"
                        .encode())
            return exe
        def every_file_right(exe):
            return all(open(os.path.join(exe, "m", n), "rb").read() == open(os.path.join(srv, "m", n), "rb").read()
                       for n in names)
        before = [int(m.stats()["requests"]) for m in mirror]
        exe = install("one")
        lines = run_until(exe)
        ending = next((l.split(" ENDING ")[1] for l in lines if " ENDING " in l), "none")
        served = [int(m.stats()["requests"]) - b - 1 for m, b in zip(mirror, before)]
        ROWS.append((f"mirrors, {count:,} files of 16 KiB from three", " / ".join(str(s) for s in served), "a third each",
                     f"{count / 3:.0f}", "-", f"{ending}; files right: {every_file_right(exe)}"))
        exe = install("two")
        lines = run_until(exe, stop_when=(count // 4, mirror[1].stop))
        ending = next((l.split(" ENDING ")[1] for l in lines if " ENDING " in l), "none")
        aside = sum("set aside" in l for l in lines if " FETCH " in l)
        ROWS.append((f"mirrors, {count:,} files, one mirror stopped a quarter in", ending, "goal", "Done", "-",
                     f"files right: {every_file_right(exe)}; {aside} FETCH lines name the mirror set aside"))
        print(f"bench: mirrors served {served}; stopped: {ending}", file=sys.stderr, flush=True)
    finally:
        for server in [home, mirror[0], mirror[2]]:
            server.stop()


def run_step(step, size, scale):
    with tempfile.TemporaryDirectory(prefix="vt-bench-") as scratch:
        if step is clone:
            clone(scratch, size, 2048 // scale)
        else:
            step(scratch, size)


def print_table(against_name):
    print("| Measure | VT | Peer | Peer's figure | Peer / VT | Notes |" if not against_name else
          f"| Measure | VT | VT at {against_name} | {against_name} / VT | Peer | Peer's figure | Peer / VT | Notes |")
    print("|---" * (8 if against_name else 6) + "|")
    for what, ours, peer_name, peer, ratio, note in ROWS:
        cells = [what, ours]
        if against_name:
            other = AGAINST.get((what, peer_name))
            unit = ours.split()[-1] if ours != "-" else ""
            try:  # a row of ours may be a word ("Done"), not a figure
                mine = float(ours.split()[0])
            except ValueError:
                mine = None
            cells += [f"{other:.0f} {unit}" if other is not None else "-",
                      f"{other / mine:.2f}" if other and mine else "-"]
        print("| " + " | ".join(cells + [peer_name, peer, ratio, note]) + " |")


def main():
    global WINDOWS, AGAINST_PASS
    quick = "--quick" in sys.argv
    against = None
    if "--against" in sys.argv:  # --against WINDOWS_BUILD_FOLDER NAME
        at = sys.argv.index("--against")
        against = (os.path.abspath(sys.argv[at + 1]), sys.argv[at + 2])
    scale = 10 if quick else 1
    subprocess.run(["sh", os.path.join(ROOT, "cmake", "wine", "prefix.sh"), "start"], env=ENV, check=True,
                   stdout=subprocess.DEVNULL)
    try:
        steps = [(update_check, n // scale) for n in (1000, 10000, 30000)]
        steps += [(big_download, 1024 // scale), (small_downloads, 2000 // scale)]
        steps += [(far_server, 200 // scale), (far_server, 2000 // scale), (cut_twice, 1024 // scale)]
        steps += [(hash_alone, 1024 // scale), (hashing, 1024 // scale), (noop_with_side, 10000 // scale)]
        steps += [(clone, 5000 // scale)]
        steps += [(partial_update, 1024 // scale), (mirrors, 2000 // scale), (max_rate, 64 // scale)]
        if "--only" in sys.argv:  # one kind of step, by name: --only far_server
            wanted = sys.argv[sys.argv.index("--only") + 1]
            steps = [(step, size) for step, size in steps if step.__name__ == wanted]
        ours = WINDOWS
        for step, size in steps:
            run_step(step, size, scale)
            if against:  # at once after ours: the same machine, the same moment
                WINDOWS, AGAINST_PASS = against[0], True
                try:
                    run_step(step, size, scale)
                finally:
                    WINDOWS, AGAINST_PASS = ours, False
    finally:
        subprocess.run(["sh", os.path.join(ROOT, "cmake", "wine", "prefix.sh"), "stop"], env=ENV)
    cores = os.cpu_count()
    mem = int(open("/proc/meminfo").read().split()[1]) / 1048576
    wine = subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout.strip()
    print(f"\nMachine: {cores} cores, {mem:.1f} GiB, {os.uname().sysname} {os.uname().release}, {wine}\n")
    print_table(against[1] if against else None)


if __name__ == "__main__":
    main()
