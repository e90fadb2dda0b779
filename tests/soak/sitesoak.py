#!/usr/bin/env python3
"""A site soak: every stored reading delivered once, through faults and restarts.

Runs one real `mbus-host read` process per data source (soak:0 .. soak:N-1,
16 meters each, primary and secondary addresses, some answering in three
telegrams, no line timing) with the real plug-in, requests of every kind
(poll, cron, times of day, an event, run once; ReadOnlyNew on), and
`--soak SEED` for the faults inside each process (silent meters, corrupted
and truncated replies, collisions, dropped ports, refused deliveries, the
plug-in unloaded and loaded again). From the outside it kills processes with
SIGKILL and starts them again on the same data folder, and makes a data
folder unwritable for a while. It samples every process's resident memory,
threads and open handles.

Then it checks every delivered row against what the meters held: each
stored reading that stayed in its meter's telegram long enough while the
meter was reachable must be delivered (else it is lost); none twice, except
when the first copy was handed over just before a SIGKILL (counted apart);
every value under its own device with its own value; each injected fault
that met something (the "fault-end" line of mbus-host counts what it did)
named in the log, unless a reload or the process's end came right after.
A process that crashes, or does not end within its limit after Ctrl-C,
fails the run with every thread's stack.

The last line of the output is
  soak: M made, D delivered, L lost, U duplicated, K in kill windows,
  F faults, rss A->B KiB, threads C->E
and the exit status is 0 only when L and U are 0, every fault that met
something is named, and nothing hung or crashed.
"""

import argparse
import datetime as dt
import glob
import json
import math
import os
import random
import signal
import subprocess
import sys
import time

# The soak meters (host/bus/Meters.cpp: SoakMeters).
PERIOD = 4
HISTORY = 5
METERS = 16
OFFSET_HOURS = 25000
EPOCH = dt.datetime(2024, 1, 1, tzinfo=dt.timezone.utc)
MEDIUM = {"water": 0x07, "gas": 0x03, "heat": 0x04}
KINDS = ["water", "gas", "heat", "water"]
MANUFACTURER = "4E2B"  # "SQK"
VERSION = 0x30

# Requests: which meters each method reads, and how often it reads them.
POLL_S, CRON_S, AT_TIME_S, EVENT_S = 2, 3, 6, 3
REQUIRED_REACHABLE_S = 10  # a reading reachable this long must arrive
KILL_WINDOW_S = 2.0  # a first copy handed over this close to a SIGKILL
STOP_LIMIT_S = 30  # a process still running this long after Ctrl-C hangs
STALL_LIMIT_S = 40  # no row at all from a process for this long: a hang
CALL_LIMIT_MS = 2000  # a call into the plug-in that takes longer fails the run
SLOW_CALL = "mbus-host: a call into the plug-in took "
LONGEST_CALLS = "mbus-host: longest calls: "


class Meter:
    def __init__(self, source, j):
        self.source, self.j = source, j
        self.kind = KINDS[j % 4]
        self.primary = 8 * (source % 31) + j // 2 + 1 if j % 2 == 0 else None
        self.id = "90%02d00%02d" % (source, j)
        self.rate = 90.0 + j if self.kind == "heat" else 2.5 + 0.01 * j
        self.base = 100.0 * (16 * source + j) + 10 - self.rate * OFFSET_HOURS
        self.secondary = "%s%s%02X%02X" % (self.id, MANUFACTURER, VERSION, MEDIUM[self.kind])

    def address(self):
        return str(self.primary) if self.primary is not None else self.secondary

    def item(self):
        return "ENERGY" if self.kind == "heat" else "VOLUME"

    def expected(self, when):
        hours = (when - EPOCH).total_seconds() / 3600.0
        reading = self.base + self.rate * max(0.0, hours)
        if self.kind == "heat":
            return math.floor(reading / 0.01) * 10.0  # Wh, stored in 10 Wh
        return math.floor(reading / 0.001) * 0.001  # m^3, stored in litres


def method_xml(kind, at_times=""):
    if kind == "poll":
        return ('<MethodPoll check="2"><PollInterval>%d</PollInterval>'
                '<PollUnits>S</PollUnits></MethodPoll>' % POLL_S)
    if kind == "cron":
        return '<MethodCron check="2"><CronTime>*/%d * * * * *</CronTime></MethodCron>' % CRON_S
    if kind == "at":
        return '<MethodAtTime check="2"><AtTime>%s</AtTime></MethodAtTime>' % at_times
    if kind == "event":
        return '<MethodEvent check="2"><EventId>SOAK-TICK</EventId></MethodEvent>'
    return '<MethodOnce check="2" />'


def request_document(meters, seconds):
    """Poll: meters 0-7, cron 8-11, times of day 12-13, the event 14-15,
    run once: all of them."""
    start = time.time() + 5
    times = ";".join(time.strftime("%H:%M:%S", time.localtime(start + k))
                     for k in range(0, int(seconds) + 120, AT_TIME_S))
    groups = [("poll", meters[0:8]), ("cron", meters[8:12]), ("at", meters[12:14]),
              ("event", meters[14:16]), ("once", meters)]
    parts = []
    for kind, group in groups:
        devices = ";".join(m.address() for m in group)
        parts.append('<Request caption="%s"><Enabled>1</Enabled><Device>%s</Device>'
                     '<Timeout>1000</Timeout><FirstFrame>0</FirstFrame>'
                     '<ReadOnlyNew>1</ReadOnlyNew><RequestMethod>%s</RequestMethod></Request>'
                     % (kind, devices, method_xml(kind, times)))
    return "<MBUS>\r\n" + "\r\n".join(parts) + "\r\n</MBUS>"


def now_ms():
    return int(time.time() * 1000)


class Process:
    """One data source's mbus-host, started again after each SIGKILL."""

    def __init__(self, harness, source):
        self.h, self.source = harness, source
        self.dir = os.path.join(harness.work, "source%02d" % source)
        self.data = os.path.join(self.dir, "data")
        os.makedirs(self.data, exist_ok=True)
        self.tmp = os.path.join(self.dir, "tmp")
        os.makedirs(self.tmp, exist_ok=True)
        self.meters = [Meter(source, j) for j in range(METERS)]
        self.config = os.path.join(self.dir, "requests.xml")
        with open(self.config, "w") as f:
            f.write(request_document(self.meters, harness.seconds))
        self.runs = []  # dicts: n, start, end, how, out, err
        self.proc = None
        self.last_rows = (0, time.time())  # bytes of output, when it last grew

    def start(self):
        n = len(self.runs)
        out = os.path.join(self.dir, "rows-%03d.jsonl" % n)
        err = os.path.join(self.dir, "log-%03d.txt" % n)
        seed = (self.h.seed * 1000 + self.source * 37 + n * 7919) % 2000000000 + 1
        cmd = [self.h.mbus_host, "read", "--port", "soak:%d" % self.source, "--no-timing",
               "--config", self.config, "--data", self.data, "--format", "json",
               "--soak", str(seed), "--call-limit", str(CALL_LIMIT_MS)]
        # The process's temporary folder (the last time points' fallback file
        # while the data folder cannot be written) stays inside the run.
        env = dict(os.environ, TMPDIR=self.tmp)
        # A crash leaves a core file in the run's folder (where the system
        # writes cores to the crashing process's folder) for its stacks.
        self.proc = subprocess.Popen(self.h.command(cmd), stdout=open(out, "wb"),
                                     stderr=open(err, "wb"), stdin=subprocess.DEVNULL,
                                     start_new_session=True, env=env, cwd=self.dir,
                                     preexec_fn=allow_core_files)
        self.runs.append({"n": n, "start": now_ms(), "end": None, "how": None,
                          "out": out, "err": err, "pid": self.proc.pid})
        self.last_rows = (0, time.time())

    def program_pid(self):
        """The pid of the program itself: under wine, the Windows process that
        the emulator started in the same process group."""
        if not self.h.emulator:
            return self.proc.pid
        run = self.runs[-1]
        if run.get("program") is None:
            name = os.path.basename(self.h.mbus_host)
            for entry in os.listdir("/proc"):
                try:
                    if not entry.isdigit() or os.getpgid(int(entry)) != self.proc.pid:
                        continue
                    with open("/proc/%s/cmdline" % entry, "rb") as f:
                        first = f.read().split(b"\0")[0].decode(errors="replace")
                except (OSError, ValueError):
                    continue
                if first.endswith(name):
                    run["program"] = int(entry)
                    break
        return run.get("program")

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def signal(self, number):
        # The process group: under an emulator the program may be a child.
        try:
            os.killpg(self.proc.pid, number)
        except ProcessLookupError:
            pass

    def kill(self):
        self.signal(signal.SIGKILL)
        self.proc.wait()
        self.runs[-1].update(end=now_ms(), how="killed")
        self.proc = None

    def stop(self):
        """Ctrl-C; True when it ended in time with status 0."""
        if self.proc is None:
            return True
        self.signal(signal.SIGINT)
        try:
            status = self.proc.wait(STOP_LIMIT_S)
        except subprocess.TimeoutExpired:
            self.h.hang(self, "still running %d s after Ctrl-C" % STOP_LIMIT_S)
            self.proc.kill()
            self.proc.wait()
            self.runs[-1].update(end=now_ms(), how="hung")
            return False
        self.runs[-1].update(end=now_ms(), how="stopped" if status == 0 else "failed %d" % status)
        self.proc = None
        return status == 0


def thread_stacks(pid):
    lines = []
    try:
        out = subprocess.run(["gdb", "-p", str(pid), "-batch", "-nx", "-ex",
                              "thread apply all bt 30"], capture_output=True, text=True,
                             timeout=90).stdout
        lines = [l for l in out.splitlines() if l.startswith(("Thread", "#"))]
    except (OSError, subprocess.TimeoutExpired) as e:
        lines = ["(no stacks: %s)" % e]
    return "\n".join("   " + l for l in lines)


def allow_core_files():
    import resource
    resource.setrlimit(resource.RLIMIT_CORE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))


def crash_stacks(program, folder, pid):
    """Every thread's stack from the core file a crash left, or why not."""
    cores = [c for c in (os.path.join(folder, "core.%d" % pid), os.path.join(folder, "core"))
             if os.path.exists(c)]
    if not cores:
        try:
            with open("/proc/sys/kernel/core_pattern") as f:
                pattern = f.read().strip()
        except OSError:
            pattern = "?"
        return "   (no core file in %s; the system's core pattern is %r)" % (folder, pattern)
    try:
        out = subprocess.run(["gdb", "-batch", "-nx", "-ex", "thread apply all bt 30", program,
                              cores[0]], capture_output=True, text=True, timeout=120).stdout
        lines = [l for l in out.splitlines() if l.startswith(("Thread", "#", "Program"))]
    except (OSError, subprocess.TimeoutExpired) as e:
        lines = ["(no stacks: %s)" % e]
    return "\n".join("   " + l for l in lines)


def sample(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            status = f.read()
        rss = int(status.split("VmRSS:")[1].split()[0])
        threads = int(status.split("Threads:")[1].split()[0])
        handles = len(os.listdir("/proc/%d/fd" % pid))
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        cpu = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        return rss, threads, handles, cpu
    except (OSError, IndexError, ValueError):
        return None


class Unwritable:
    """Makes a data folder unwritable: a read-only bind mount (root), else
    no write permission."""

    def __init__(self, path):
        self.path, self.how = path, None

    def begin(self):
        if os.geteuid() == 0:
            if subprocess.run(["mount", "--bind", self.path, self.path],
                              capture_output=True).returncode == 0:
                if subprocess.run(["mount", "-o", "remount,ro,bind", self.path],
                                  capture_output=True).returncode == 0:
                    self.how = "mount"
                    return True
                subprocess.run(["umount", self.path], capture_output=True)
            return False
        os.chmod(self.path, 0o555)
        self.how = "chmod"
        return True

    def end(self):
        if self.how == "mount":
            subprocess.run(["umount", self.path], capture_output=True)
        elif self.how == "chmod":
            os.chmod(self.path, 0o755)
        self.how = None


class Harness:
    def __init__(self, args):
        self.mbus_host = os.path.abspath(args.mbus_host)
        # A Windows build runs under an emulator command (wine), which takes
        # the program and its arguments.
        self.emulator = args.emulator.split() if args.emulator else []
        self.work = os.path.abspath(args.work)
        self.seconds = args.minutes * 60
        self.seed = args.seed
        self.random = random.Random(args.seed)
        self.processes = [Process(self, s) for s in range(args.sources)]
        self.faults = []  # (kind, where, ms, at_ms) injected from here
        self.samples = {}  # (source, run) -> [(t, rss, threads, handles, cpu)]
        self.failures = []
        self.not_injected = set()
        self.unwritable = None  # (Unwritable, until, process)

    def crash_stacks(self, process):
        if self.emulator:
            # Wine's own debugger writes the crashed thread's stack to the
            # log's end; a core file would be the emulator's.
            return "   (under the emulator: see wine's backtrace at the log's end)"
        return crash_stacks(self.mbus_host, process.dir, process.runs[-1]["pid"])

    def command(self, cmd):
        return self.emulator + cmd

    def hang(self, process, why):
        run = process.runs[-1]
        text = "hang: soak:%d run %d (pid %d) %s\n%s" % (
            process.source, run["n"], run["pid"], why,
            thread_stacks(process.program_pid() or run["pid"]))
        self.failures.append(text)
        print(text, flush=True)

    def fault(self, kind, where, ms):
        self.faults.append((kind, where, ms, now_ms()))

    def run(self):
        self.begin = now_ms()
        for p in self.processes:
            p.start()
        end = time.time() + self.seconds
        next_kill = time.time() + self.random.uniform(10, 30)
        next_unwritable = time.time() + self.random.uniform(15, 40)
        restarts = []  # (when, process)
        next_sample = time.time()
        try:
            self.loop(end, next_kill, next_unwritable, restarts, next_sample)
        finally:
            if self.unwritable is not None:
                self.unwritable[0].end()
        self.stop_ms = now_ms()
        for p in self.processes:
            if p.proc is not None and not p.stop():
                if not p.runs[-1]["how"].startswith("hung"):
                    self.failures.append("soak:%d ended with %s\n%s" % (
                        p.source, p.runs[-1]["how"], tail(p.runs[-1]["err"], 40)))

    def loop(self, end, next_kill, next_unwritable, restarts, next_sample):
        unwritable = None
        while time.time() < end and not self.failures:
            t = time.time()
            for p in self.processes:
                if p.proc is not None and p.proc.poll() is not None:
                    status = p.proc.returncode
                    p.runs[-1].update(end=now_ms(), how="crashed %d" % status)
                    self.failures.append("crash: soak:%d run %d ended by itself with status %d\n%s\n%s"
                                         % (p.source, p.runs[-1]["n"], status,
                                            tail(p.runs[-1]["err"], 40),
                                            self.crash_stacks(p)))
                    p.proc = None
                elif p.alive():
                    size = os.path.getsize(p.runs[-1]["out"])
                    if size != p.last_rows[0]:
                        p.last_rows = (size, t)
                    elif t - p.last_rows[1] > STALL_LIMIT_S:
                        self.hang(p, "delivered no row for %d s" % STALL_LIMIT_S)
            for when, p in list(restarts):
                if t >= when:
                    restarts.remove((when, p))
                    p.start()
            if t >= next_kill:
                next_kill = t + self.random.uniform(10, 30)
                live = [p for p in self.processes if p.alive()]
                if live:
                    p = self.random.choice(live)
                    time.sleep(self.random.uniform(0, 1))  # a random moment
                    p.kill()
                    self.fault("kill", "soak:%d" % p.source, 0)
                    restarts.append((time.time() + self.random.uniform(0.2, 2.0), p))
            if unwritable is None and t >= next_unwritable:
                p = self.random.choice(self.processes)
                u = Unwritable(p.data)
                ms = self.random.randint(2000, 8000)
                if u.begin():
                    unwritable = self.unwritable = (u, t + ms / 1000.0, p)
                    self.fault("unwritable", "soak:%d" % p.source, ms)
                else:
                    self.not_injected.add("unwritable")
                next_unwritable = t + self.random.uniform(20, 60)
            if unwritable is not None and t >= unwritable[1]:
                unwritable[0].end()
                unwritable = self.unwritable = None
            if t >= next_sample:
                next_sample = t + 2
                for p in self.processes:
                    pid = p.program_pid() if p.alive() else None
                    if pid:
                        s = sample(pid)
                        if s:
                            self.samples.setdefault((p.source, p.runs[-1]["n"]), []).append((t,) + s)
            time.sleep(0.1)


def tail(path, n):
    try:
        with open(path, errors="replace") as f:
            return "".join(f.readlines()[-n:])
    except OSError:
        return ""


# ---- the checker

def parse_time(text):
    """A TIME_POINT as mbus-host prints it."""
    for fmt in ("%m/%d/%Y %I:%M:%S %p", "%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S"):
        try:
            return dt.datetime.strptime(text, fmt).replace(tzinfo=dt.timezone.utc)
        except (ValueError, TypeError):
            pass
    return None


FAULT_LINE = "fault: "
FAULT_END_LINE = "fault-end: "
# The kinds whose end line tells their effect (the rest always have one).
ENDED_KINDS = ("silent", "corrupt", "truncate", "collision", "drop", "refuse")
NAME_WINDOW_MS = 3000  # a fault's effect is logged within this time
# The plug-in's library sends each request twice before a read fails. Within
# a silence every request is withheld, so a read fails after two withheld
# telegrams; only the last one withheld can have been answered by its retry
# after the silence ended, the read then going on with nothing to log.
SILENT_TELEGRAMS_TO_FAIL = 2
# What the log says after each kind of fault (any of the words, in the
# process's log from the fault on).
BUS_FAULT_WORDS = ["time-out", "timeout", "Timeout", "failed", "Failed", "invalid", "Invalid",
                   "parse error", "does not match any device", "matches more than one device"]
NAMED_BY = {
    "silent": BUS_FAULT_WORDS + ["no answer", "No answer"],
    "corrupt": BUS_FAULT_WORDS + ["checksum", "Checksum"],
    "truncate": BUS_FAULT_WORDS,
    "collision": BUS_FAULT_WORDS + ["ollision"],
    "drop": ["dropped", "PORT-CLOSE", "closed"],
    "refuse": ["The host refused the data"],
    "reload": ["unloading the plug-in and loading it again"],
    "unwritable": ["Unable to write"],
    "kill": None,  # the process is gone; its restart is the record
}


class FaultEnds:
    """The "fault-end:" lines of one run's log: each fault's effect."""

    def __init__(self):
        self.ends = []  # [kind, where, count, at_ms, taken]

    def take(self, kind, where, at):
        """(effect, end ms) of the fault of this kind and place that began
        at `at`: the first end after it not yet taken; effect 0 for none (cut
        short by a reload or the process's end). Kinds without ends: None."""
        if kind not in ENDED_KINDS:
            return None, None
        for end in self.ends:
            if not end[4] and end[0] == kind and end[1] == where and end[3] >= at:
                end[4] = True
                return end[2], end[3]
        return 0, None


def fault_ends(lines):
    ends = FaultEnds()
    for line in lines:
        if line.startswith(FAULT_END_LINE):
            words = line[len(FAULT_END_LINE):].split()
            e = words.index("effect")
            ends.ends.append([words[0], " ".join(words[1:e]), int(words[e + 1]), int(words[-1]),
                              False])
    return ends


def log_lines(path):
    try:
        with open(path, errors="replace") as f:
            return f.read().splitlines()
    except OSError:
        return []


def handovers(run):
    """The run's handovers (ms): (the first or None, those that held a
    stored reading). Read once per run."""
    if "handovers" not in run:
        first, stored, handed = None, [], None
        try:
            with open(run["out"], errors="replace") as f:
                for line in f:
                    if line.startswith('{"HANDOVER_MS"'):
                        try:
                            handed = json.loads(line)["HANDOVER_MS"]
                        except ValueError:
                            handed = None
                        if first is None:
                            first = handed
                    elif handed is not None and '"STORAGE"' in line:
                        stored.append(handed)
                        handed = None
        except OSError:
            pass
        run["handovers"] = (first, stored)
    return run["handovers"]


def check(h):
    faults = []  # (kind, source, meter id or None, ms, at_ms, named)
    unreachable = {}  # (source, meter id or None) -> [(from_ms, to_ms)]

    def down(source, meter, a, b):
        unreachable.setdefault((source, meter), []).append((a, b))

    for p in h.processes:
        for run in p.runs:
            lines = log_lines(run["err"])
            ends = fault_ends(lines)
            # What ends a plug-in's work before it can log a fault's effect:
            # a reload, the process's end.
            cuts = [int(l.split()[-1]) for l in lines if l.startswith(FAULT_LINE + "reload ")]
            cuts.append(run["end"] or h.stop_ms)
            for i, line in enumerate(lines):
                if not line.startswith(FAULT_LINE):
                    continue
                words = line[len(FAULT_LINE):].split()
                kind = words[0]
                ms = int(words[words.index("for") + 1])
                at = int(words[-1])
                meter = words[words.index("meter") + 1] if "meter" in words else None
                effect, ended = ends.take(kind, " ".join(words[1:words.index("for")]), at)
                if ended is not None and any(ended <= c < ended + NAME_WINDOW_MS for c in cuts):
                    effect = 0
                if kind == "silent" and effect < SILENT_TELEGRAMS_TO_FAIL:
                    effect = 0
                words_named = NAMED_BY.get(kind) or []
                rest = "\n".join(l for l in lines[i + 1:i + 400]
                                 if not l.startswith((FAULT_LINE, FAULT_END_LINE)))
                # None: the fault met nothing (no reply withheld, damaged or
                # refused; a silence that withheld a telegram its retry then
                # got), or it was cut short, or a reload or the process's end
                # came right after its effect: nothing could name it.
                named = None if effect == 0 else any(w in rest for w in words_named)
                faults.append((kind, p.source, meter, ms, at, named))
                slack = 1500
                if kind in ("silent", "collision"):
                    down(p.source, meter, at, at + ms + slack)
                elif kind in ("drop",):
                    down(p.source, None, at, at + ms + 2500)  # the host reopens within a second
                elif kind in ("refuse",):
                    down(p.source, None, at, at + ms + slack)
                elif kind in ("reload",):
                    down(p.source, None, at, at + 3000)
            if run["end"] is not None and run["how"] == "killed":
                nxt = [r for r in p.runs if r["n"] == run["n"] + 1]
                restart = nxt[0]["start"] if nxt else h.stop_ms
                down(p.source, None, run["end"] - 1000, restart + 3000)
        # A run reads from its first handover on: starting (under an emulator
        # on a busy machine, many seconds) is not time a meter was reachable.
        # A run that hands nothing over for long is a hang, failed apart.
        for run in p.runs:
            up = handovers(run)[0]
            if up is None:
                up = run["end"] or h.stop_ms
            run["up_ms"] = up - run["start"]
            begin = run["start"] - 10**7 if run["n"] == 0 else run["start"]
            down(p.source, None, begin, up + 1000)
    for kind, where, ms, at in h.faults:
        source = int(where.split(":")[1])
        named = True
        if kind == "unwritable":
            # Time points are written only when stored rows are handed over.
            runs = h.processes[source].runs
            if not any(at <= t <= at + ms for run in runs for t in handovers(run)[1]):
                named = None
            else:
                named = any("Unable to write" in l for run in runs
                            if run["start"] <= at + ms and (run["end"] or h.stop_ms) >= at
                            for l in log_lines(run["err"]))
        faults.append((kind, source, None, ms, at, named))

    delivered = {}  # (device id, time point) -> [(source, run n, row index, handed_ms)]
    wrong = []
    rows_total = 0
    for p in h.processes:
        by_id = {m.id: m for m in p.meters}
        for run in p.runs:
            try:
                f = open(run["out"], errors="replace")
            except OSError:
                continue
            with f:
                handed = 0
                for index, line in enumerate(f):
                    line = line.strip()
                    if not line:
                        continue
                    try:
                        row = json.loads(line)
                    except ValueError:
                        if run["how"] == "killed":
                            continue  # the last line a SIGKILL cut
                        wrong.append("soak:%d: unreadable row %r" % (p.source, line[:80]))
                        continue
                    if "HANDOVER_MS" in row:
                        handed = row["HANDOVER_MS"]
                        continue
                    rows_total += 1
                    device = str(row.get("DEVICE_ID", ""))
                    meter = by_id.get(device)
                    if meter is None:
                        wrong.append("soak:%d: row of device %s, not one of its meters"
                                     % (p.source, device))
                        continue
                    if "STORAGE" not in row:
                        continue
                    when = parse_time(row.get("TIME_POINT"))
                    if when is None or int(when.timestamp()) % PERIOD != 0:
                        wrong.append("soak:%d: %s: stored row with time point %r"
                                     % (p.source, device, row.get("TIME_POINT")))
                        continue
                    value = row.get(meter.item())
                    want = meter.expected(when)
                    if not isinstance(value, (int, float)) or abs(value - want) > 1e-6 * max(1, abs(want)) + 1e-3:
                        wrong.append("soak:%d: %s at %s: %s %r, the meter held %r"
                                     % (p.source, device, when, meter.item(), value, want))
                    delivered.setdefault((device, int(when.timestamp())), []).append(
                        (p.source, run["n"], handed))

    # Made: every reading of every meter that was in its telegram between the
    # first start and the stop (those made shortly before the start too).
    made = required = lost = 0
    made_keys = set()
    lost_list = []
    for p in h.processes:
        t0 = p.runs[0]["start"] // 1000
        t1 = h.stop_ms // 1000
        for m in p.meters:
            spans = unreachable.get((p.source, m.id), []) + unreachable.get((p.source, None), [])
            k = (t0 // PERIOD - HISTORY) * PERIOD
            while k + PERIOD <= t1:
                made += 1
                made_keys.add((m.id, k))
                window = (k * 1000, min((k + HISTORY * PERIOD) * 1000, t1 * 1000 - 2000))
                if window[1] - window[0] >= REQUIRED_REACHABLE_S * 1000:
                    if reachable_ms(window, spans) >= REQUIRED_REACHABLE_S * 1000:
                        required += 1
                        if (m.id, k) not in delivered:
                            lost += 1
                            if len(lost_list) < 20:
                                lost_list.append("%s at %s" % (m.id, dt.datetime.fromtimestamp(
                                    k, dt.timezone.utc).strftime("%H:%M:%S")))
                k += PERIOD

    dup = in_kill = 0
    dup_list = []
    for key, copies in delivered.items():
        for first, again in zip(copies, copies[1:]):
            source, n, handed = first
            run = h.processes[source].runs[n]
            cut = (run["how"] == "killed" and again[1] > n and
                   handed >= run["end"] - KILL_WINDOW_S * 1000)
            if cut:
                in_kill += 1
            else:
                dup += 1
                if len(dup_list) < 20:
                    dup_list.append("%s at %s: runs %d and %d" % (key[0], key[1], n, again[1]))
    return {
        "made": made, "required": required,
        "delivered": sum(1 for key in delivered if key in made_keys),
        "delivered_outside": sum(1 for key in delivered if key not in made_keys),
        "rows": rows_total,
        "lost": lost, "lost_examples": lost_list, "duplicated": dup, "dup_examples": dup_list,
        "in_kill_windows": in_kill,
        "wrong": wrong[:20], "wrong_count": len(wrong),
        "faults": faults,
        "first_handover_ms": sorted(run["up_ms"] for p in h.processes for run in p.runs),
    }


def call_times(h):
    """The longest call into the plug-in of each kind over every run, and the
    calls over the limit (each fails the run)."""
    longest, slow = {}, []
    for p in h.processes:
        for run in p.runs:
            for line in log_lines(run["err"]):
                if line.startswith(SLOW_CALL):
                    slow.append("soak:%d run %d: %s" % (p.source, run["n"], line[len("mbus-host: "):]))
                elif line.startswith(LONGEST_CALLS):
                    for item in line[len(LONGEST_CALLS):].split("), "):
                        words = item.split(" (")[0].split()
                        if len(words) >= 3 and words[-1] == "ms":
                            call, ms = " ".join(words[:-2]), float(words[-2])
                            longest[call] = max(longest.get(call, 0.0), ms)
    return longest, slow


def reachable_ms(window, spans):
    a, b = window
    cuts = sorted((max(a, x), min(b, y)) for x, y in spans if y > a and x < b)
    covered, at = 0, a
    for x, y in cuts:
        if y <= at:
            continue
        covered += y - max(x, at)
        at = y
    return (b - a) - covered


def slope_per_minute(points):
    if len(points) < 3:
        return 0.0
    n = len(points)
    mx = sum(p[0] for p in points) / n
    my = sum(p[1] for p in points) / n
    var = sum((p[0] - mx) ** 2 for p in points)
    return 0.0 if var == 0 else sum((p[0] - mx) * (p[1] - my) for p in points) / var * 60


def resources(h):
    """Per process: mean RSS and threads at start (first samples after 20 s)
    and at the end; the steepest slope of one long run."""
    starts, ends, slopes = [], [], {"rss": [], "threads": [], "handles": []}
    cpu = 0.0
    for (source, n), samples in sorted(h.samples.items()):
        settled = [s for s in samples if s[0] - samples[0][0] >= 20] or samples[-1:]
        if n == 0 and settled:
            starts.append(settled[0])
        cpu += samples[-1][4]
        if len(settled) >= 10:
            # The second half of a run: after the one-off growth of the first
            # plug-in reload (the library loaded again), what still grows.
            late = settled[len(settled) // 2:]
            for i, name in ((1, "rss"), (2, "threads"), (3, "handles")):
                slopes[name].append(slope_per_minute([(s[0], s[i]) for s in late]))
    for p in h.processes:
        key = (p.source, p.runs[-1]["n"])
        if key in h.samples:
            ends.append(h.samples[key][-1])
    mean = lambda xs, i: int(round(sum(x[i] for x in xs) / len(xs))) if xs else 0
    return {
        "rss": (mean(starts, 1), mean(ends, 1)), "threads": (mean(starts, 2), mean(ends, 2)),
        "handles": (mean(starts, 3), mean(ends, 3)),
        "slope": {k: (max(v) if v else 0.0) for k, v in slopes.items()},
        "slope_median": {k: (sorted(v)[len(v) // 2] if v else 0.0) for k, v in slopes.items()},
        "cpu_seconds": cpu,
    }


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--mbus-host", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--minutes", type=float, required=True)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--sources", type=int, default=16)
    ap.add_argument("--emulator", default="",
                    help="the command that runs a Windows --mbus-host (wine)")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    # An earlier run's folders (and its wine prefix, whose temporary folder
    # holds the time points' fallback files under wine).
    for old in glob.glob(os.path.join(args.work, "source[0-9][0-9]")) + \
            glob.glob(os.path.join(args.work, "wine-prefix*")):
        subprocess.run(["rm", "-rf", "--", old], check=False)  # an earlier run's
    h = Harness(args)
    print("soak: %d data sources x %d meters, %.1f min, seed %d, in %s"
          % (args.sources, METERS, args.minutes, args.seed, h.work), flush=True)
    if h.emulator:
        # The emulator's first start (a new wine prefix) takes long: made
        # before the meters' clock runs, so that no process starts late.
        subprocess.run(h.command([h.mbus_host, "--version"]), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=600, check=False)
    try:
        h.run()
    finally:
        for p in h.processes:
            if p.alive():
                p.proc.kill()
    r = check(h)
    res = resources(h)
    longest, slow = call_times(h)
    h.failures.extend("slow call: " + line for line in slow)
    by_kind = {}
    unnamed = {}
    no_effect = {}
    for kind, source, meter, ms, at, named in r["faults"]:
        by_kind[kind] = by_kind.get(kind, 0) + 1
        if named is None:
            no_effect[kind] = no_effect.get(kind, 0) + 1
        elif not named:
            unnamed[kind] = unnamed.get(kind, 0) + 1
    rows = r["rows"]
    report = {
        "minutes": args.minutes, "seed": args.seed, "sources": args.sources, "meters": METERS,
        "made": r["made"], "required": r["required"], "delivered": r["delivered"],
        "delivered_outside": r["delivered_outside"],
        "rows": rows, "lost": r["lost"], "duplicated": r["duplicated"],
        "in_kill_windows": r["in_kill_windows"],
        "faults": by_kind, "unnamed": unnamed, "no_effect": no_effect,
        "unnamed_list": [f for f in r["faults"] if f[5] is False][:50],
        "not_injected": sorted(h.not_injected), "wrong_device_or_value": r["wrong_count"],
        "resources": res, "failures": h.failures,
        "cpu_ms_per_delivered_row": (res["cpu_seconds"] * 1000 / rows) if rows else None,
        "longest_calls_ms": longest,
        "first_handover_ms": r["first_handover_ms"],
    }
    with open(os.path.join(h.work, "report.json"), "w") as f:
        json.dump(report, f, indent=1)
    print("faults by kind: %s" % ", ".join("%s %d" % kv for kv in sorted(by_kind.items())))
    if no_effect:
        print("faults that met nothing or were cut short: %s"
              % ", ".join("%s %d" % kv for kv in sorted(no_effect.items())))
    if unnamed:
        print("faults the log does not name: %s" % ", ".join("%s %d" % kv for kv in sorted(unnamed.items())))
    if h.not_injected:
        print("not injected: %s" % ", ".join(sorted(h.not_injected)))
    print("readings: %d made, %d required (reachable long enough), %d delivered in %d rows"
          % (r["made"], r["required"], r["delivered"], rows))
    for what in ("lost_examples", "dup_examples", "wrong"):
        for line in r[what]:
            print("  %s: %s" % (what.split("_")[0], line))
    print("slopes per minute, second half of each run (steepest; median): rss %.1f KiB "
          "(%.1f), threads %.2f (%.2f), handles %.2f (%.2f)"
          % (res["slope"]["rss"], res["slope_median"]["rss"], res["slope"]["threads"],
             res["slope_median"]["threads"], res["slope"]["handles"],
             res["slope_median"]["handles"]))
    print("per process at start and end: handles %d->%d" % res["handles"])
    ups = r["first_handover_ms"]
    if ups:
        print("from a start to its first handover: median %.1f s, longest %.1f s"
              % (ups[len(ups) // 2] / 1000.0, ups[-1] / 1000.0))
    print("cpu: %.1f s, %s ms per delivered row" % (
        res["cpu_seconds"], "%.3f" % report["cpu_ms_per_delivered_row"]
        if rows else "-"))
    top = sorted(longest.items(), key=lambda kv: -kv[1])[:4]
    print("longest calls into the plug-in (limit %d ms; runs ended by Ctrl-C tell them): %s" % (CALL_LIMIT_MS, ", ".join("%s %.1f ms" % kv for kv in top) or "-"))
    for text in h.failures:
        print(text)
    for f in report["unnamed_list"]:
        print("  unnamed: %s on soak:%d%s at %s" % (
            f[0], f[1], " meter " + f[2] if f[2] else "",
            dt.datetime.fromtimestamp(f[4] / 1000.0, dt.timezone.utc).strftime("%H:%M:%S.%f")[:-3]))
    ok = (r["lost"] == 0 and r["duplicated"] == 0 and not h.failures and r["wrong_count"] == 0
          and not unnamed and rows > 0)
    print("soak: %d made, %d delivered, %d lost, %d duplicated, %d in kill windows, %d faults, "
          "rss %d->%d KiB, threads %d->%d" % (
              r["made"], r["delivered"], r["lost"], r["duplicated"], r["in_kill_windows"],
              len(r["faults"]), res["rss"][0], res["rss"][1], res["threads"][0],
              res["threads"][1]))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
