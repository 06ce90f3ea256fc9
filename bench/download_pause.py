#!/usr/bin/env python3
"""One run of the benchmark of the loop during a large download (scripts/bench_download_pause.sh).

  download_pause.py BUILD_DIR SIZE_MB RATE_MB IDLE_S MAX_EXTRA_MS

The real tarnwick runs against the real tarnwick-host with every tool loaded. Its clock reads a Monday
morning: the news player's Audio File 1 is due with its start code at 08:04:15 and at 08:05:15, and the
downloader's weekly slot fetches SIZE_MB from a local server at 08:05:00 (RATE_MB MiB a second, 0 for
as fast as it goes) onto this machine's disk. libfaketime reads the program's clock offset from a file,
and the clock is moved forward by whole seconds three times while it runs: the first news then falls
in the middle of IDLE_S seconds of idling, the slot after them, and the second news in the middle of
the body whatever its speed. Whole seconds keep the phase of the one-second clocks, and the moments
skipped are caught up as after any blocked tick.

The tools call the host every 100 ms, so the longest time without a host call is at least that even at
rest. The figure that shows a pause is the longest gap while the body comes beside the longest gap of
the same program idling in the same run, over a stretch as long as the body with its news as far in,
measured the same way: both leave out the gaps the news player opens on purpose (its start code and its
delays block). Prints both, the body's time and how late the news sent its start code; exit status 0
when the news fell inside the body, the body's longest gap is at most MAX_EXTRA_MS above the idle one
and the start code came within a second of its moment. KEEP=1 keeps the run's folder (the host's log).
"""
import json
import math
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import wave
from datetime import datetime

FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
# libfaketime keeps what it read from the offset file for a second, counted in whole seconds, so it
# reads the file again every two seconds: a new offset is in force within PICKUP_S, and a moment
# brought near is brought LEAD_S or more ahead, to be sure the program sees it come.
CACHE_S = 1
PICKUP_S = 2
LEAD_S = PICKUP_S + 0.2
# How long a body at full speed should last, so that a news brought near falls in its middle, and what
# the disk keeps free beside it.
BODY_S = 10
SPARE_MB = 2048
# The downloader refuses a body of more than 4 GiB.
LARGEST_MB = 4095
# The slot on a Monday at 08:05:00; the news player starts a plan's file 15 s into its minute, once
# at 08:04 and once at 08:05.
TRANSFER_AT = datetime(2026, 12, 14, 8, 5, 0).timestamp()
IDLE_NEWS_AT = TRANSFER_AT - 45
NEWS_AT = TRANSFER_AT + 15


def wait_for(what, test, seconds, step=0.02):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = test()
        if value:
            return value
        time.sleep(step)
    raise RuntimeError("timed out waiting for " + what)


class ProgramClock:
    """The program's clock: the real time plus an offset that libfaketime reads from a file."""

    def __init__(self, path, reads_at):
        self.path = path
        self.offset = reads_at - time.time()
        self._write()

    def _write(self):
        tmp = self.path + ".tmp"
        with open(tmp, "w") as f:
            f.write("%+.6f\n" % self.offset)
        os.rename(tmp, self.path)

    def env(self):
        return {"LD_PRELOAD": FAKETIME, "FAKETIME_TIMESTAMP_FILE": self.path,
                "FAKETIME_CACHE_DURATION": str(CACHE_S), "FAKETIME_DONT_FAKE_MONOTONIC": "1"}

    def bring_near(self, moment, lead):
        """Moves the clock forward by whole seconds so that `moment` of the program comes `lead` to
        `lead` + 1 seconds from now; returns the real time at which it then comes."""
        ahead = moment - (time.time() + self.offset)
        self.offset += max(0, math.floor(ahead - lead))
        self._write()
        return moment - self.offset


def tone_wav(path, seconds, rate=8000):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 440 * i / rate)))
                               for i in range(seconds * rate)))


def host_calls(log):
    """(seconds since 1970, link, op) of every call a tool made, from the host's log."""
    out = []
    with open(log) as f:
        for line in f:
            j = json.loads(line)
            if "op" in j and j.get("link", "").startswith("Form"):
                out.append((j["us"] / 1e6, j["link"], j["op"]))
    return out


def gaps(calls, start, end):
    """The times without a host call that ended inside [start, end], leaving out the news player's own
    holds (its start code and its delays block on purpose): [(seconds, when it ended)]."""
    return [(t1 - t0, t1) for (t0, link0, _), (t1, _, _) in zip(calls, calls[1:])
            if start <= t1 <= end and link0 != "Form1"]


def one_run(build, size_mb, rate_mb, idle_s, max_extra_ms, outcome):
    """One run; puts the body's seconds and whether the news fell inside it into `outcome`."""
    size = size_mb << 20
    here = os.path.dirname(os.path.abspath(__file__))
    work = tempfile.mkdtemp(prefix="tarnwick-pause-", dir=os.environ.get("TMPDIR", "/tmp"))
    procs = []
    clock_dir = None
    try:
        for d in ("root", "cfg", "drives/c"):
            os.makedirs(os.path.join(work, d))
        server = subprocess.Popen([sys.executable, os.path.join(here, "..", "tests", "transfers", "local_servers.py"),
                                   "http", work + "/root", work + "/port", work + "/server.log", "3600"])
        procs.append(server)
        port = wait_for("the local server", lambda: os.path.exists(work + "/port") and open(work + "/port").read(), 10)
        url = "http://127.0.0.1:%s/fill/%d/%d" % (port, size, rate_mb)
        with open(work + "/cfg/brannockd.ini", "w") as f:
            f.write("[SETTINGS]\nMON=1\nHOUR=08\nMINS=05\nCHECK1=1\nTXTURL11=%s\nBEACONPERIOD4=600\n" % url)
        # Audio File 1 at 08:04:15 while the program idles and at 08:05:15 while the body comes.
        with open(work + "/cfg/brannock.ini", "w") as f:
            f.write("[SETTINGS]\nTEXT4=C:\\Tone.wav\nMON3=1\nHOUR3=08\nMINS3=05\nHOUR3b=08\nMINS3b=04\nCHECK3=1\n"
                    "TEXT9=1234\nSAYENDOFFILECHECK=0\n")
        tone_wav(work + "/drives/c/Tone.wav", 3)

        env = dict(os.environ, TARNWICK_HOST=work + "/host.sock", TARNWICK_CONFIG_DIR=work + "/cfg",
                   TARNWICK_DRIVES=work + "/drives", XDG_RUNTIME_DIR=work, QT_QPA_PLATFORM="offscreen",
                   TARNWICK_AUDIO="null", TARNWICK_ANSWER="ok")
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        host_bin = os.path.join(build, "tarnwick-host")
        procs.append(subprocess.Popen([host_bin, "serve", "--log", work + "/host.log"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for("the host", lambda: subprocess.run([host_bin, "state"], env=env, stdout=subprocess.DEVNULL,
                                                    stderr=subprocess.DEVNULL).returncode == 0, 10, 0.1)
        log = work + "/host.log"

        def start_codes():
            return [t for t, link, op in host_calls(log) if link == "Form1" and op == "SendDTMF"]

        # Time enough to load on a busy machine before anything falls due. The offset file is read
        # from memory, not from the disk the body fills, so reading it never waits for the disk.
        memory = "/dev/shm" if os.path.isdir("/dev/shm") else work
        clock_dir = tempfile.mkdtemp(prefix="tarnwick-clock-", dir=memory)
        clock = ProgramClock(clock_dir + "/clock", IDLE_NEWS_AT - 45)
        err = open(work + "/tarnwick.err", "w")
        app = subprocess.Popen([os.path.join(build, "tarnwick")], env=dict(env, **clock.env()), stderr=err)
        procs.append(app)
        wait_for("tarnwick to load its tools", lambda: '"link":"Form14"' in open(log).read(), 60, 0.1)
        time.sleep(2)

        # Idling: half of it before the first news, half after.
        half = max(idle_s / 2, LEAD_S)
        idle_from = time.time() + PICKUP_S + 0.2
        clock.bring_near(IDLE_NEWS_AT, half)
        idle_sent = wait_for("the first news's start code", start_codes, half + 30)[0]
        while time.time() < idle_sent + half:
            time.sleep(0.05)
        idle_to = time.time()
        clock.bring_near(TRANSFER_AT, LEAD_S)

        # The body: the second news is brought near when the transfer, at the rate it goes, is about
        # to reach the middle, so it falls inside the body at any speed.
        def parts():
            folder = work + "/drives/c"
            return sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder) if ".tmp-" in n)

        def requested():
            try:
                return [float(l.split()[0]) for l in open(work + "/server.log") if "/fill/" in l]
            except FileNotFoundError:
                return []

        final = work + "/drives/c/News1.mp3"
        started = wait_for("the slot's request", requested, 60)[0]
        news_due = None
        deadline = time.monotonic() + 60 + size / (20 << 20)
        while True:
            if time.monotonic() > deadline:
                raise RuntimeError("the body did not arrive whole")
            if os.path.exists(final) and os.path.getsize(final) == size:
                fetched = time.time()
                break
            elapsed, done = time.time() - started, parts() / size
            # The news comes LEAD_S to LEAD_S + 1 seconds after it is brought near.
            if news_due is None and done > 0.01 and elapsed + LEAD_S + 0.5 >= elapsed / done / 2:
                news_due = clock.bring_near(NEWS_AT, LEAD_S)
            time.sleep(0.01)
        if news_due is None:
            news_due = clock.bring_near(NEWS_AT, LEAD_S)
        sent = wait_for("the second news's start code", lambda: start_codes()[1:], 30)[0]
        # Ended as a service manager ends it: every tool's clean-up, the news unkeyed.
        app.send_signal(signal.SIGTERM)
        app.wait(30)

        # The idle stretch is as long as the body, its news as far into it as the body's news.
        calls = host_calls(log)
        body = fetched - started
        idle_start = max(idle_from, idle_sent - (sent - started))
        idle_end = min(idle_to, idle_start + body)
        body_gaps, idle_gaps = gaps(calls, started, fetched), gaps(calls, idle_start, idle_end)
        gap, gap_at = max(body_gaps, default=(0.0, started))
        idle_gap, idle_gap_at = max(idle_gaps, default=(0.0, idle_start))
        longer = sum(1 for g, _ in body_gaps if g > idle_gap)
        late = sent - news_due
        inside = started < sent < fetched
        outcome.update(body=body, inside=inside)
        print("body %d MiB in %.2f s (%.0f MB/s); its news was due %.2f s in, the start code came %.1f ms after "
              "its second" % (size_mb, body, size / body / 1e6, news_due - started, late * 1000))
        print("longest time without a host call: %.1f ms while the body came (%.2f s in), %.1f ms idling for "
              "%.2f s with a news %.2f s in (%.2f s in); %+.1f ms"
              % (gap * 1000, gap_at - started, idle_gap * 1000, idle_end - idle_start, idle_sent - idle_start,
                 idle_gap_at - idle_start, (gap - idle_gap) * 1000))
        print("%d of the body's %d gaps were longer than the idle stretch's longest (of %d)"
              % (longer, len(body_gaps), len(idle_gaps)))
        if idle_end - idle_start < body - 0.01 or idle_sent - idle_start < sent - started - 0.01:
            print("(the idle stretch is shorter than the body: IDLE_S sets it)")
        verdicts = [
            ("the news inside the body", inside),
            ("the body's longest gap at most %g ms above the idle one" % max_extra_ms,
             (gap - idle_gap) * 1000 <= max_extra_ms),
            ("the start code within a second of its second", -0.05 <= late <= 1.0),
        ]
        for name, good in verdicts:
            print("aim, %s: %s" % (name, "met" if good else "not met"))
        return 0 if all(good for _, good in verdicts) else 1
    except (RuntimeError, subprocess.TimeoutExpired) as e:
        print("failed: %s" % e, file=sys.stderr)
        err_path = work + "/tarnwick.err"
        if os.path.exists(err_path):
            sys.stderr.write(open(err_path).read()[-2000:])
        return 1
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
        if clock_dir:
            shutil.rmtree(clock_dir, ignore_errors=True)
        if os.environ.get("KEEP"):
            print("kept " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)


def main():
    build, size_mb, rate_mb, idle_s, max_extra_ms = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), \
        float(sys.argv[4]), float(sys.argv[5])
    outcome = {}
    status = one_run(build, size_mb, rate_mb, idle_s, max_extra_ms, outcome)
    body = outcome.get("body")
    if rate_mb or outcome.get("inside", True) or not body:
        return status
    # A disk fast enough to take the whole body before a news can be brought near (LEAD_S to LEAD_S + 1
    # seconds ahead) leaves no news inside it: the run is made again with a body that lasts BODY_S at
    # the speed just seen, as large as the downloader takes and the disk can hold.
    again_mb = min(math.ceil(size_mb * BODY_S / body), LARGEST_MB)
    if again_mb <= size_mb:
        return status
    free_mb = shutil.disk_usage(os.environ.get("TMPDIR", "/tmp")).free >> 20
    if again_mb + SPARE_MB > free_mb:
        print("the body came in %.2f s, too soon for a news inside it; a body of %d MiB would last %.1f s, but the "
              "disk has %d MiB free" % (body, again_mb, body * again_mb / size_mb, free_mb))
        return status
    print("the body came in %.2f s, too soon for a news inside it: again with %d MiB, to last about %.1f s"
          % (body, again_mb, body * again_mb / size_mb))
    return one_run(build, again_mb, rate_mb, idle_s, max_extra_ms, {})


if __name__ == "__main__":
    sys.exit(main())
