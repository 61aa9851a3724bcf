#!/usr/bin/env python3
"""Times the real probe-server-dump against probe-server-sim on a pseudo-terminal.

Each case runs the program unattended and off screen against a freshly started
simulator, several times, and compares the time the program took with the time the
line itself needs for the same bytes. Everything is read back from the program's
trace (every byte in and out, with millisecond stamps), from getrusage() of the
child and from samples of /proc/PID/stat.

Run it through bench/run.sh, which builds the Release binaries first.
"""

import argparse
import fcntl
import os
import platform
import re
import select
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty

TURNAROUND_S = 0.02  # the simulator's pause between a request and its reply
# The simulator stands in for a UART and a server, which no other process delays; on
# a busy machine it runs at real-time priority when it may, so that the line keeps
# time. The program under test always runs at normal priority.
SIM_PREFIX = []
CLK_TCK = os.sysconf("SC_CLK_TCK")
PORT = "1"


class Case:
    def __init__(self, key, title, sim_args, speed, bulk=False, unpaced=False, readings=0):
        self.key = key
        self.title = title
        self.sim_args = sim_args
        self.speed = speed
        self.bulk = bulk
        self.unpaced = unpaced
        self.readings = readings


PACED = [
    Case("v5-hi", 'v5 "Hi" bulk, 1,000 readings, 9600 bit/s',
         ["--generation", "v5", "--readings", "1000", "--buffer-size", "2000"], "hi", bulk=True,
         readings=1000),
    # A store as the field gives it: settings entries, kind-0 readings (whose frames the
    # stream's check always fails) and damaged records, fetched singly after the stream.
    Case("v5-hi-realistic", 'v5 "Hi" bulk, realistic store of 38 entries, 9600 bit/s',
         ["--generation", "v5", "--readings", "38", "--records", "realistic",
          "--buffer-size", "2000"], "hi", bulk=True, readings=38),
    Case("v5-lo", 'v5 "Lo" one by one, 200 readings, 9600 bit/s',
         ["--generation", "v5", "--readings", "200", "--buffer-size", "2000"], "lo", readings=200),
    Case("legacy-hi", 'legacy "Hi" blocks, 200 blocks, 56000 bit/s',
         ["--generation", "legacy", "--readings", "800"], "hi", readings=800),
]

# The largest store has 65,535 slots; one always lies between the write and the read
# pointer, so at most 65,534 readings are new at once. The simulator puts the whole
# stream together when the request comes, which for 65,534 readings takes longer
# than the usual turnaround; with 0.3 s its answer still goes out alone, and the stream
# one turnaround after it, as the protocol has it.
UNPACED_TURNAROUND_S = 0.3
UNPACED = [
    Case(f"unpaced-{n}", f'v5 "Hi" bulk unpaced, {n:,} readings',
         ["--generation", "v5", "--readings", str(n), "--buffer-size", "65535", "--unpaced",
          "--turnaround", str(UNPACED_TURNAROUND_S)],
         "hi", bulk=True, unpaced=True, readings=n)
    for n in (1000, 65534)
]


# ---------------------------------------------------------------------------
# Trace reading


class Exchange:
    """One request (v5: its lead byte and frame) and whatever came back before the next."""

    def __init__(self, t, data, baud=9600):
        self.t_out = t
        self.out = list(data)
        self.baud_out = baud  # the speed the request went out at
        self.chunks = []  # (ms, byte count, baud)
        self.last_progress = None  # ms of the last "Loading readings" event line after it

    @property
    def answered(self):
        return bool(self.chunks)

    @property
    def t_last_in(self):
        return self.chunks[-1][0] if self.chunks else None

    def is_v5_bulk(self):
        # 00, then 5E FF FF L 00 04: the bulk request.
        return len(self.out) >= 7 and self.out[:2] == ["00", "5E"] and self.out[6] == "04"

    def is_legacy(self):
        return self.out[:4] == ["5E", "FF", "FF", "FF"]

    def is_v5(self):
        return self.out[:2] == ["00", "5E"]


def read_trace(path):
    """Exchanges in the order they went out, and the last stamp of the trace."""
    exchanges = []
    baud = 9600
    last = 0
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            head, _, text = line.strip().partition(" ")
            if not head.isdigit():
                continue
            ms = int(head)
            last = ms
            text = text.strip()
            if text.startswith("port ") and " opened at " in text:
                baud = int(text.split(" opened at ")[1].split(",")[0])
            elif text.startswith("port > "):
                data = text[7:].split()
                prev = exchanges[-1] if exchanges else None
                # The v5 lead byte and its frame are written one after the other.
                if prev is not None and not prev.answered and prev.out == ["00"]:
                    prev.out += data
                else:
                    exchanges.append(Exchange(ms, data, baud))
            elif text.startswith("port < ") and exchanges:
                data = text[7:].replace("(discarded)", "").split()
                exchanges[-1].chunks.append((ms, len(data), baud))
            elif text.startswith("event: Loading readings ...") and exchanges:
                exchanges[-1].last_progress = ms
    return exchanges, last


def line_figures(exchanges):
    """The line window (first answered request out to last byte in), what the line
    needs in it, and the program's own time between a reply and the next request."""
    first = next(i for i, e in enumerate(exchanges) if e.answered)
    window = exchanges[first:]
    start = window[0].t_out
    end = max(e.t_last_in for e in window if e.answered)
    limit = 0.0
    gaps = []
    unanswered = 0
    reads = 0
    bytes_in = bytes_out = 0
    for i, e in enumerate(window):
        bytes_out += len(e.out)
        if not e.answered:
            unanswered += 1
            continue
        limit += TURNAROUND_S * (2 if e.is_v5_bulk() else 1)
        for _, n, baud in e.chunks:
            limit += n * 10.0 / baud
            bytes_in += n
            reads += 1
        if i + 1 < len(window):
            gaps.append(window[i + 1].t_out - e.t_last_in)
    return {
        "start_ms": start,
        "end_ms": end,
        "wall": (end - start) / 1000.0,
        "limit": limit,
        "exchanges": len(window) - unanswered,
        "unanswered": unanswered,
        "gaps_ms": gaps,
        "bytes_in": bytes_in,
        "bytes_out": bytes_out,
        "reads": reads,
    }


# ---------------------------------------------------------------------------
# Processes


class Child:
    """The program under test: its rusage, and CPU samples taken while it runs."""

    def __init__(self, argv, env, trace_path, log_path):
        self.trace_path = trace_path
        self.samples = []  # (seconds since spawn, CPU seconds)
        self.trace_seen = None  # seconds since spawn at which the trace file appeared
        with open(log_path, "wb") as log:
            self.t_spawn = time.monotonic()
            self.proc = subprocess.Popen(argv, env=env, stdout=log, stderr=subprocess.STDOUT)
        self._done = threading.Event()
        self._sampler = threading.Thread(target=self._sample, daemon=True)
        self._sampler.start()

    def _sample(self):
        stat = f"/proc/{self.proc.pid}/stat"
        while not self._done.is_set():
            now = time.monotonic() - self.t_spawn
            if self.trace_seen is None and os.path.exists(self.trace_path):
                self.trace_seen = now
            try:
                with open(stat) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                self.samples.append((now, (int(fields[11]) + int(fields[12])) / CLK_TCK))
            except (OSError, IndexError, ValueError):
                pass
            time.sleep(0.01)

    def wait(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            pid, status, usage = os.wait4(self.proc.pid, os.WNOHANG)
            if pid == self.proc.pid:
                break
            if time.monotonic() > deadline:
                self.proc.kill()
                pid, status, usage = os.wait4(self.proc.pid, 0)
                break
            time.sleep(0.005)
        self.wall = time.monotonic() - self.t_spawn
        self._done.set()
        self._sampler.join()
        self.proc.returncode = os.waitstatus_to_exitcode(status)
        self.cpu = usage.ru_utime + usage.ru_stime
        self.peak_kb = usage.ru_maxrss
        return self.proc.returncode

    def kill(self):
        if self.proc.returncode is None:
            try:
                self.proc.kill()
                os.wait4(self.proc.pid, 0)
            except (OSError, ChildProcessError):
                pass
            self.proc.returncode = -9
        self._done.set()

    def cpu_between(self, trace_from_ms, trace_to_ms):
        """CPU seconds spent between two trace stamps (trace time 0 is taken as the moment
        the trace file appeared)."""
        if not self.samples or self.trace_seen is None:
            return None
        def cpu_at(t):
            best = self.samples[0][1]
            for ts, cpu in self.samples:
                if ts > t:
                    break
                best = cpu
            return best
        base = self.trace_seen
        return cpu_at(base + trace_to_ms / 1000.0) - cpu_at(base + trace_from_ms / 1000.0)


def program_env(work):
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env["XDG_CONFIG_HOME"] = os.path.join(work, "cfg")
    env["XDG_STATE_HOME"] = os.path.join(work, "state")
    env["XDG_DATA_HOME"] = os.path.join(work, "data")
    env["XDG_RUNTIME_DIR"] = os.path.join(work, "run")
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
    return env


def start_sim(build, work, args):
    """Starts the simulator and waits until its link is in place."""
    argv = [os.path.join(build, "probe-server-sim"), "--settings-dir",
            os.path.join(work, "cfg", "RNQ7"), "--port", PORT, "--records", "clean",
            "--turnaround", str(TURNAROUND_S), "--exit-after-idle", "120",
            "--log", os.path.join(work, "sim.json")] + args
    sim = subprocess.Popen(SIM_PREFIX + argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + 30
    seen = b""
    while b"(port " + PORT.encode() + b")" not in seen:
        if time.monotonic() > deadline or sim.poll() is not None:
            stop(sim)
            raise RuntimeError("the simulator did not start: " + seen.decode(errors="replace"))
        r, _, _ = select.select([sim.stdout], [], [], 0.5)
        if r:
            seen += os.read(sim.stdout.fileno(), 4096)
    return sim


def stop(proc):
    if proc is None or proc.poll() is not None:
        return
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def run_program(build, work, speed, timeout):
    trace = os.path.join(work, "trace.txt")
    out = os.path.join(work, "out")
    os.makedirs(out, exist_ok=True)
    argv = [os.path.join(build, "probe-server-dump"), "--unattended", "--port", PORT,
            "--speed", speed, "--output", out, "--trace", trace]
    child = Child(argv, program_env(work), trace, os.path.join(work, "program.log"))
    try:
        status = child.wait(timeout)
    finally:
        child.kill()
    return child, status, trace


# ---------------------------------------------------------------------------
# Cases


def run_case(build, case, runs, keep):
    results = []
    for n in range(runs):
        work = tempfile.mkdtemp(prefix=f"bench-{case.key}-")
        sim = None
        try:
            sim = start_sim(build, work, case.sim_args)
            child, status, trace = run_program(build, work, case.speed, timeout=600)
            stop(sim)
            if status != 0:
                raise RuntimeError(f"{case.key}: the program ended with status {status}; see {work}")
            exchanges, _ = read_trace(trace)
            fig = line_figures(exchanges)
            fig["process_wall"] = child.wall
            fig["cpu"] = child.cpu
            fig["cpu_window"] = child.cpu_between(fig["start_ms"], fig["end_ms"])
            fig["peak_kb"] = child.peak_kb
            fig["lines"] = count_dump_lines(os.path.join(work, "out"))
            if case.bulk:
                fig.update(bulk_figures(exchanges))
                if fig["stream_ms"]:
                    fig["cpu_stream"] = child.cpu_between(*fig["stream_ms"])
            results.append(fig)
            sys.stderr.write(f"  {case.key} run {n + 1}: window {fig['wall']:.3f} s, "
                             f"limit {fig['limit']:.3f} s, process {child.wall:.2f} s, "
                             f"CPU {child.cpu:.2f} s, peak {child.peak_kb} KB\n")
        finally:
            stop(sim)
            if not keep:
                shutil.rmtree(work, ignore_errors=True)
    return results


def bulk_figures(exchanges):
    """The bulk stage: seconds from the bulk request to the next request other than a
    single fetch (the stage whole, files closed), seconds from the first stream byte
    read to that request, and how many readings were fetched singly because the
    stream did not deliver them."""
    for i, e in enumerate(exchanges):
        if not e.is_v5_bulk():
            continue
        rest = exchanges[i + 1:]
        single = [x for x in rest if x.is_v5() and x.out[6] == "13"]
        after = [x for x in rest if not (x.is_v5() and x.out[6] == "13")]
        end = after[0].t_out if after else e.t_last_in
        # The first read brings the answer; the stream follows one turnaround later.
        stream_from = e.chunks[1][0] if len(e.chunks) > 1 else e.t_out
        last_frame = e.last_progress or e.t_last_in
        return {"bulk_s": (end - e.t_out) / 1000.0, "stream_s": (end - stream_from) / 1000.0,
                "frames_s": (last_frame - stream_from) / 1000.0,
                "stream_ms": (stream_from, last_frame), "single_fetches": len(single)}
    return {"bulk_s": None, "stream_s": None, "frames_s": None, "stream_ms": None,
            "single_fetches": None}


def count_dump_lines(out):
    path = os.path.join(out, "Tavric Dumps", "Dump00.csv")
    try:
        with open(path, "rb") as f:
            return sum(1 for _ in f) - 1  # less the header
    except OSError:
        return None


REFERENCE_KINDS = {
    # kind: (simulator options, the program's case it stands beside)
    "v5-bulk": (["--generation", "v5", "--readings", "1000", "--buffer-size", "2000"], "v5-hi"),
    "v5-bulk-realistic": (["--generation", "v5", "--readings", "38", "--records", "realistic",
                           "--buffer-size", "2000"], "v5-hi-realistic"),
    "v5": (["--generation", "v5", "--readings", "200", "--buffer-size", "2000"], "v5-lo"),
    "legacy": (["--generation", "legacy", "--readings", "800"], "legacy-hi"),
}


# The frames of the minimal client's bulk streams.
BULK_FRAMES = {"v5-bulk": 1000, "v5-bulk-realistic": 38}


def run_reference(build, runs, keep, cases=None):
    """The rig's own floor: the bench's minimal client, with no window, trace or files,
    takes 1,000 readings in one bulk stream and 200 one by one (v5, 9600 bit/s), and 200
    blocks (legacy, 56000 bit/s), from the same paced simulator as the program's cases.
    Returns the figures of each kind."""
    kinds = {k: v for k, v in REFERENCE_KINDS.items() if cases is None or v[1] in cases}
    out = {kind: [] for kind in kinds}
    for _ in range(runs):
        for kind, (args, _) in kinds.items():
            work = tempfile.mkdtemp(prefix=f"bench-reference-{kind}-")
            sim = None
            fd = -1
            try:
                sim = start_sim(build, work, args)
                fd = os.open(os.path.join(work, "cfg", "RNQ7", "com" + PORT),
                             os.O_RDWR | os.O_NOCTTY)
                tty.setraw(fd)
                set_speed(fd, 9600)
                if kind == "legacy":
                    # The speed request is answered at 9600 bit/s; then both sides
                    # move to 56000.
                    legacy_exchange(fd, 14, [1, 0, 0, 0])
                    set_speed(fd, 56000)
                    legacy_exchange(fd, 14, [1, 0, 0, 0])
                limit = 0.0
                reads = [0]
                start = time.monotonic()
                before = os.times()
                if kind in BULK_FRAMES:
                    got = bulk_stream(fd, BULK_FRAMES[kind], reads)
                    limit = 2 * TURNAROUND_S + got * 10.0 / 9600
                for n in range(200 if kind not in BULK_FRAMES else 0):
                    if kind == "v5":
                        reply = v5_exchange(fd, 19, [n >> 8, n & 0xFF], reads)
                        limit += TURNAROUND_S + len(reply) * 10.0 / 9600
                    else:
                        block = 64 + n  # the first block of the simulated store
                        reply = legacy_exchange(fd, 0, [block >> 8, block & 0xFF, 0, 0], reads)
                        limit += TURNAROUND_S + len(reply) * 10.0 / 56000
                after = os.times()
                out[kind].append({
                    "wall": time.monotonic() - start, "limit": limit, "reads": reads[0],
                    "cpu": (after.user - before.user) + (after.system - before.system)})
            finally:
                if fd >= 0:
                    os.close(fd)
                stop(sim)
                if not keep:
                    shutil.rmtree(work, ignore_errors=True)
    return out


def bulk_stream(fd, frames, reads):
    """Asks for `frames` readings from slot 0 in one bulk stream and reads the answer and
    the stream to its last byte. Gives the bytes that came."""
    steps = 25612340  # any clock value serves the simulator
    args = [steps >> 24 & 0xFF, steps >> 16 & 0xFF, steps >> 8 & 0xFF, steps & 0xFF, 0, 0, 0]
    answer = v5_exchange(fd, 4, args, reads)
    want = frames * 36
    got = 0
    while got < want:
        r, _, _ = select.select([fd], [], [], 6.0)
        if not r:
            raise RuntimeError("reference client: the stream stopped")
        got += len(os.read(fd, 65536))
        reads[0] += 1
    return len(answer) + got


# struct termios2 of the kernel: four flag words, the line discipline, 19 control
# characters, then the input and output speeds, which may be any number with BOTHER.
TCGETS2 = 0x802C542A
TCSETS2 = 0x402C542B
CBAUD = 0o010017
BOTHER = 0o010000


def set_speed(fd, baud):
    buf = bytearray(44)
    fcntl.ioctl(fd, TCGETS2, buf)
    iflag, oflag, cflag, lflag = struct.unpack_from("4I", buf, 0)
    struct.pack_into("4I", buf, 0, iflag, oflag, (cflag & ~CBAUD) | BOTHER, lflag)
    struct.pack_into("2I", buf, 36, baud, baud)
    fcntl.ioctl(fd, TCSETS2, buf)


def read_frame(fd, length_of, reads=None):
    """Reads until a whole frame from its start byte 0x5E is in; `length_of` gives the
    frame's length from its first bytes, or None while they have not come."""
    got = b""
    while True:
        start = got.find(b"\x5e")
        if start >= 0:
            length = length_of(got[start:])
            if length is not None and len(got) >= start + length:
                return got[start:start + length]
        r, _, _ = select.select([fd], [], [], 2.0)
        if not r:
            raise RuntimeError("reference client: no reply")
        got += os.read(fd, 4096)
        if reads is not None:
            reads[0] += 1


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def v5_exchange(fd, command, args, reads=None):
    frame = [0x5E, 0xFF, 0xFF, len(args) + 2, 0x00, command] + args
    crc = crc16(frame[1:])
    os.write(fd, bytes([0x00] + frame + [crc & 0xFF, crc >> 8]))
    return read_frame(fd, lambda f: f[3] + 6 if len(f) > 3 else None, reads)


def legacy_exchange(fd, command, args, reads=None):
    frame = [0x5E, 0xFF, 0xFF, 0xFF, 0x0E, 0x00, command] + args
    total = sum(frame[1:])
    os.write(fd, bytes(frame + [total >> 8, total & 0xFF, 0x5F, 0, 0, 0]))
    return read_frame(fd, lambda f: f[4] if len(f) > 4 else None, reads)


REPORT_LINES = 1_000_000
REPORT_PROBES = 30


def write_probe_data(path, lines, probes):
    """A probe data file of `lines` readings as the program writes them: `probes` probes
    read every 15 minutes from 2023-01-01, a daily temperature cycle, moisture that
    rises with an irrigation every nine days and dries out, a slowly sinking battery."""
    import datetime
    import math
    start = datetime.datetime(2023, 1, 1)
    per_probe = -(-lines // probes)
    with open(path, "w", newline="") as f:
        f.write("Probe, Date               ,Temp1,Water%1,Temp2,Water%2,Temp3,Water%3,Temp4,"
                "Water%4,Temp5,Water%5,Temp6,Water%6,Volts\r\n")
        written = 0
        for step in range(per_probe):
            when = start + datetime.timedelta(minutes=15 * step)
            stamp = when.strftime("%Y/%m/%d %H:%M:%S")
            day = step / 96.0
            for probe in range(probes):
                if written == lines:
                    break
                cols = []
                for depth in range(6):
                    t = 15 + 8 * math.sin(2 * math.pi * (day - 0.3)) / (depth + 1) + probe % 5
                    wet = 30 + 12 * math.exp(-((day + probe) % 9) / (1.5 + depth)) - 2 * depth
                    cols.append(f"{t:04.1f}, {wet:06.2f}")
                volts = 4.1 - 0.8 * step / per_probe
                f.write(f"{1000 + probe:05d}, {stamp}, " + ", ".join(cols) + f",{volts:.1f}\r\n")
                written += 1


REPORT_LARGE_LINES = 5_000_000


def draw_page(page, work):
    """Headless chromium's time to load the page and draw its first probe's charts, as
    the page itself stamps it (milliseconds since navigation start), or None."""
    if not shutil.which("chromium"):
        return None
    profile = tempfile.mkdtemp(prefix="chromium-", dir=work)
    url = "file://" + page.replace(" ", "%20")
    out = subprocess.run(["timeout", "120", "chromium", "--headless", "--no-sandbox", "--disable-gpu",
                          "--no-first-run", "--disable-background-networking",
                          "--disable-component-update", "--disable-sync",
                          f"--user-data-dir={profile}", "--dump-dom", url],
                         capture_output=True, text=True, check=False).stdout
    body = re.search(r"<body[^>]*>", out)
    drawn = body and re.search(r'data-drawn="3"', body.group(0))
    ms = body and re.search(r'data-draw-ms="(\d+)"', body.group(0))
    return int(ms.group(1)) if drawn and ms else None


def run_report(build, runs, keep, lines=REPORT_LINES, draw=False):
    """The chart page of a probe data file of `lines` lines, on demand: its size, the time
    to write it (from the program's trace), the program's CPU time and peak memory, and
    with `draw` the time headless chromium takes to draw it. The file is made once."""
    results = []
    work = tempfile.mkdtemp(prefix="bench-report-")
    try:
        out = os.path.join(work, "out")
        os.makedirs(out)
        write_probe_data(os.path.join(out, "Tavric Probe Data.csv"), lines, REPORT_PROBES)
        for run in range(runs):
            trace = os.path.join(work, f"trace-{run}.txt")
            argv = [os.path.join(build, "probe-server-dump"), "--report", "--output", out,
                    "--trace", trace]
            child = Child(argv, program_env(work), trace, os.path.join(work, "program.log"))
            status = child.wait(600)
            if status != 0:
                raise RuntimeError(f"report: the program ended with status {status}; see {work}")
            fig = None
            with open(trace, encoding="utf-8") as f:
                for line in f:
                    if "chart page" in line and " written: " in line:
                        tail = line.split(" written: ", 1)[1].split()
                        fig = {"bytes": int(tail[tail.index("bytes") - 1]),
                               "ms": int(tail[tail.index("ms") - 1]),
                               "peak_kb": child.peak_kb, "process_wall": child.wall,
                               "cpu": child.cpu}
            if fig is None:
                raise RuntimeError(f"report: no page written; see {work}")
            results.append(fig)
            sys.stderr.write(f"  report {lines:,} lines: {fig['bytes']} bytes in {fig['ms']} ms, "
                             f"CPU {child.cpu:.2f} s, peak {child.peak_kb} KB\n")
        # Drawn after the program's runs: the browser's page read back into this process
        # would swell it, and a child's peak memory counts what it held before exec.
        for fig in results if draw else []:
            fig["draw_ms"] = draw_page(os.path.join(out, "Tavric Probe Data.html"), work)
            sys.stderr.write(f"  drawn in {fig['draw_ms']} ms\n")
    finally:
        if not keep:
            shutil.rmtree(work, ignore_errors=True)
    return results


def run_silent(build, runs, keep):
    """A line nobody answers: what the connection attempts cost the real program."""
    results = []
    for _ in range(runs):
        work = tempfile.mkdtemp(prefix="bench-silent-")
        master = slave = -1
        stop_drain = threading.Event()
        try:
            master, slave = os.openpty()
            tty.setraw(slave)
            folder = os.path.join(work, "cfg", "RNQ7")
            os.makedirs(folder)
            os.symlink(os.ttyname(slave), os.path.join(folder, "com" + PORT))

            def drain():
                while not stop_drain.is_set():
                    r, _, _ = select.select([master], [], [], 0.1)
                    if r:
                        try:
                            os.read(master, 4096)
                        except OSError:
                            return
            drainer = threading.Thread(target=drain, daemon=True)
            drainer.start()
            child, status, trace = run_program(build, work, "lo", timeout=300)
            stop_drain.set()
            drainer.join()
            exchanges, last = read_trace(trace)
            legacy = [e for e in exchanges if e.is_legacy() and e.baud_out == 9600]
            v5 = [e for e in exchanges if e.is_v5()]
            # After the v5 attempts the program looks for a cell modem ("ATE0"), then, with
            # none found, asks once at 56000 bit/s for a legacy server left at that speed.
            stranded = [e for e in exchanges if e.is_legacy() and e.baud_out == 56000]
            modem = [e for e in exchanges if e.t_out > v5[-1].t_out and not e.is_v5()
                     and not e.is_legacy()]
            stranded_start = stranded[0].t_out if stranded else last
            modem_start = modem[0].t_out if modem else stranded_start
            v5_end = modem_start
            fig = {
                "status": status,
                "legacy_attempts": len(legacy),
                "legacy_cycle": (v5[0].t_out - legacy[0].t_out) / 1000.0,
                "v5_attempts": len(v5),
                "v5_all": (v5_end - v5[0].t_out) / 1000.0,
                "process_wall": child.wall,
                "cpu": child.cpu,
                "cpu_waiting": child.cpu_between(legacy[0].t_out, v5_end),
                "wait_s": (v5_end - legacy[0].t_out) / 1000.0,
                "stranded_attempts": len(stranded),
                "stranded_all": (last - stranded_start) / 1000.0,
                "modem_attempts": len(modem),
                "modem_all": (stranded_start - modem_start) / 1000.0,
            }
            results.append(fig)
            sys.stderr.write(f"  silent: legacy {fig['legacy_cycle']:.3f} s "
                             f"({fig['legacy_attempts']} attempts), v5 {fig['v5_all']:.3f} s "
                             f"({fig['v5_attempts']} attempts), status {status}\n")
        finally:
            stop_drain.set()
            for fd in (master, slave):
                if fd >= 0:
                    os.close(fd)
            if not keep:
                shutil.rmtree(work, ignore_errors=True)
    return results


# ---------------------------------------------------------------------------
# Report


def med(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else float("nan")


def machine():
    model = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{os.cpu_count()} CPUs, {model}, Linux {platform.release()}"


def load():
    try:
        with open("/proc/loadavg") as f:
            return " ".join(f.read().split()[:3])
    except OSError:
        return "unknown"


def report_paced(p, paced, reference):
    p("### Paced paths")
    p("")
    p("| Path | Exchanges | Wall (line window) | Line limit | Ratio | Added per exchange "
      "| Last reply byte to next request, median / max | Whole process "
      "| CPU, share of process wall | CPU in line window | Peak RSS |")
    p("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for case, rs in paced:
        wall = med([r["wall"] for r in rs])
        limit = med([r["limit"] for r in rs])
        added = med([(r["wall"] - r["limit"]) / r["exchanges"] * 1000 for r in rs])
        gaps = [g for r in rs for g in r["gaps_ms"]]
        cpu_share = med([r["cpu"] / r["process_wall"] * 100 for r in rs])
        cpu_win = med([r["cpu_window"] / r["wall"] * 100 for r in rs
                       if r["cpu_window"] is not None])
        p(f"| {case.title} | {rs[0]['exchanges']} | {wall:.3f} s | {limit:.3f} s "
          f"| {wall / limit:.4f} | {added:.2f} ms | {med(gaps):.0f} / {max(gaps)} ms "
          f"| {med([r['process_wall'] for r in rs]):.2f} s "
          f"| {cpu_share:.1f}% ({med([r['cpu'] for r in rs]):.2f} s) | {cpu_win:.1f}% "
          f"| {med([r['peak_kb'] for r in rs]) / 1024:.1f} MiB |")
    titles = {"v5-bulk": "minimal client, v5 bulk of 1,000 readings, 9600 bit/s",
              "v5-bulk-realistic": "minimal client, v5 bulk of a realistic store of 38 "
                                   "entries, 9600 bit/s",
              "v5": "minimal client, v5 200 single reads, 9600 bit/s",
              "legacy": "minimal client, legacy 200 blocks, 56000 bit/s"}
    for kind, rs in (reference or {}).items():
        wall = med([r["wall"] for r in rs])
        limit = med([r["limit"] for r in rs])
        cpu = med([r["cpu"] / r["wall"] * 100 for r in rs])
        count = 4 if kind in BULK_FRAMES else 200
        p(f"| {titles[kind]} | | {wall:.3f} s | {limit:.3f} s | {wall / limit:.4f} "
          f"| {(wall - limit) / count * 1000:.2f} ms | | | | {cpu:.1f}% | |")
    p("")
    if reference and paced:
        p("Against the minimal client in the same run (wall: the program's window over its "
          "line limit, divided by the client's; CPU: the program's share of its line window, "
          "divided by the client's share of its own):")
        p("")
        p("| Path | Wall, program / client | CPU, program | CPU, client | CPU, program / client |")
        p("|---|---:|---:|---:|---:|")
        for case, rs in paced:
            kind = next((k for k, (_, c) in REFERENCE_KINDS.items() if c == case.key), None)
            if kind not in reference:
                continue
            ref = reference[kind]
            ratio = med([r["wall"] / r["limit"] for r in rs]) / med(
                [r["wall"] / r["limit"] for r in ref])
            cpu_p = med([r["cpu_window"] / r["wall"] * 100 for r in rs
                         if r["cpu_window"] is not None])
            cpu_c = med([r["cpu"] / r["wall"] * 100 for r in ref])
            p(f"| {case.title} | {ratio:.4f} | {cpu_p:.2f}% | {cpu_c:.2f}% "
              f"| {cpu_p / cpu_c if cpu_c else float('nan'):.2f} |")
        p("")
    reads = [f"{c.key} {med([r['reads'] / r['wall'] for r in rs]):.0f}/s, "
             f"{med([r['cpu_window'] / r['reads'] * 1e6 for r in rs if r['cpu_window']]):.0f} µs each"
             for c, rs in paced]
    reads += [f"minimal client {kind} {med([r['reads'] / r['wall'] for r in rs]):.0f}/s, "
              f"{med([r['cpu'] / r['reads'] * 1e6 for r in rs]):.0f} µs each"
              for kind, rs in (reference or {}).items()]
    if reads:
        p("Reads from the port in the line window, and CPU per read: " + "; ".join(reads) + ".")
        p("")
    if paced:
        p("Unanswered requests inside the line windows: "
          + ", ".join(f"{c.key} {max(r['unanswered'] for r in rs)}" for c, rs in paced)
          + ". Dump lines written: "
          + ", ".join(f"{c.key} {rs[0]['lines']}" for c, rs in paced) + ".")
        p("")


def report_unpaced(p, unpaced):
    p(f"### Unpaced bulk download (turnaround {UNPACED_TURNAROUND_S:.1f} s)")
    p("")
    p("| Readings | Dump lines | Fetched singly | First stream byte to last frame written "
      "| Readings/s | CPU in it | First stream byte to next request (files synced) "
      "| Readings/s | Whole process | CPU | Peak RSS |")
    p("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    peaks = []
    for case, rs in unpaced:
        frames = med([r["frames_s"] for r in rs])
        stream = med([r["stream_s"] for r in rs])
        peak = med([r["peak_kb"] for r in rs])
        peaks.append(peak)
        p(f"| {case.readings:,} | {rs[0]['lines']} | {max(r['single_fetches'] for r in rs)} "
          f"| {frames:.3f} s | {case.readings / frames:,.0f} "
          f"| {med([r.get('cpu_stream') for r in rs]):.2f} s "
          f"| {stream:.3f} s | {case.readings / stream:,.0f} "
          f"| {med([r['process_wall'] for r in rs]):.2f} s "
          f"| {med([r['cpu'] for r in rs]):.2f} s | {peak / 1024:.1f} MiB |")
    if len(peaks) == 2:
        p("")
        p(f"Peak RSS, {unpaced[1][0].readings:,} against {unpaced[0][0].readings:,} readings: "
          f"{(peaks[1] / peaks[0] - 1) * 100:+.1f}%.")
    p("")


def report_silent(p, silent):
    p("### Silent server (nothing answers on the line)")
    p("")
    p("| What | Measured (median) | Expected |")
    p("|---|---:|---:|")
    p(f"| legacy status, one cycle of {silent[0]['legacy_attempts']} attempts "
      f"| {med([s['legacy_cycle'] for s in silent]):.3f} s | 4 × (0.3 + 0.2) s = 2.000 s |")
    p(f"| v5 status, {silent[0]['v5_attempts']} attempts "
      f"| {med([s['v5_all'] for s in silent]):.3f} s | 4 × 0.5 s = 2.000 s |")
    p(f"| legacy status at 56000 bit/s, {silent[0]['stranded_attempts']} attempt "
      f"(with the port reopened twice) | {med([s['stranded_all'] for s in silent]):.3f} s "
      f"| 0.3 + 0.2 s = 0.500 s |")
    p(f"| cell-modem check, {silent[0]['modem_attempts']} unanswered \"ATE0\" "
      f"| {med([s['modem_all'] for s in silent]):.3f} s | 3 × 1 s = 3.000 s |")
    p(f"| CPU while waiting on both status requests "
      f"| {med([s['cpu_waiting'] for s in silent]):.2f} s in "
      f"{med([s['wait_s'] for s in silent]):.2f} s | 0 |")
    p(f"| whole run, to exit status {silent[0]['status']} "
      f"| {med([s['process_wall'] for s in silent]):.2f} s | |")
    p("")


def report_chart_page(p, pages, lines=REPORT_LINES):
    p(f"### Chart page of a {lines:,}-line probe data file ({REPORT_PROBES} probes), `--report`")
    p("")
    drawn = [r["draw_ms"] for r in pages if r.get("draw_ms") is not None]
    p("| Page size | Time to write it | CPU time | Whole process | Peak RSS |"
      + (" Drawn in chromium |" if drawn else ""))
    p("|---:|---:|---:|---:|---:|" + ("---:|" if drawn else ""))
    p(f"| {med([r['bytes'] for r in pages]) / 1e6:.2f} MB | {med([r['ms'] for r in pages]):.0f} ms "
      f"| {med([r['cpu'] for r in pages]):.2f} s "
      f"| {med([r['process_wall'] for r in pages]):.2f} s "
      f"| {med([r['peak_kb'] for r in pages]) / 1024:.1f} MiB |"
      + (f" {med(drawn):.0f} ms |" if drawn else ""))
    p("")


def report(paced, reference, unpaced, silent, runs, load_before, label, pages=None,
           large_pages=None):
    out = []
    p = out.append
    p(f"Program: {label}  ")
    p(f"Machine: {machine()}  ")
    p(f"Load average (1, 5, 15 min) before: {load_before}; after: {load()}  ")
    p(f"Runs per case: {runs}; medians shown. Simulator turnaround {TURNAROUND_S * 1000:.0f} ms"
      + (", simulator at real-time priority." if SIM_PREFIX else "."))
    p("")
    if paced or reference:
        report_paced(p, paced, reference)
    if unpaced:
        report_unpaced(p, unpaced)
    if silent:
        report_silent(p, silent)
    if pages:
        report_chart_page(p, pages)
    if large_pages:
        report_chart_page(p, large_pages, REPORT_LARGE_LINES)
    return "\n".join(out)


def interrupted(signum, frame):
    raise KeyboardInterrupt


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", required=True, help="folder with probe-server-dump and probe-server-sim")
    ap.add_argument("--runs", type=int, default=3, help="runs per case (default 3)")
    ap.add_argument("--only", action="append", default=[],
                    help="run only these cases (v5-hi, v5-hi-realistic, v5-lo, legacy-hi, "
                         "reference, unpaced, "
                         "silent, report, report-5m)")
    ap.add_argument("--keep", action="store_true", help="keep each run's folder (trace, files)")
    ap.add_argument("--sim-realtime", action="store_true",
                    help="run the simulator under chrt -f 50 (the program stays at normal priority)")
    ap.add_argument("--label", default="", help="what is being measured, for the report")
    args = ap.parse_args()
    if args.sim_realtime:
        SIM_PREFIX[:] = ["chrt", "-f", "50"]
    # A TERM ends the bench like Ctrl-C: the simulator and the program are stopped.
    signal.signal(signal.SIGTERM, interrupted)
    wanted = lambda key: not args.only or key in args.only
    load_before = load()

    paced = [(c, run_case(args.build, c, args.runs, args.keep)) for c in PACED if wanted(c.key)]
    # Beside the program's cases that run, or all of them when none does.
    reference = (run_reference(args.build, args.runs, args.keep,
                               [c.key for c, _ in paced] or None)
                 if wanted("reference") else {})
    unpaced = ([(c, run_case(args.build, c, args.runs, args.keep)) for c in UNPACED]
               if wanted("unpaced") else [])
    silent = run_silent(args.build, args.runs, args.keep) if wanted("silent") else []
    pages = run_report(args.build, args.runs, args.keep) if wanted("report") else []
    large_pages = (run_report(args.build, args.runs, args.keep, REPORT_LARGE_LINES, draw=True)
                   if wanted("report-5m") else [])
    print(report(paced, reference, unpaced, silent, args.runs, load_before, args.label, pages,
                 large_pages))


if __name__ == "__main__":
    main()
