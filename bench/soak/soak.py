#!/usr/bin/env python3
"""Soak run (not part of CI): 100 tasks every second against two simulated
stations with random line faults, for a few minutes.

    python3 bench/soak/soak.py <bin folder> [--minutes M] [--tasks N] [--keep DIR]
                               [--restart-at S [--away A]]

Checks that every due reading left exactly one record (or an out-dated line
in the event stream when the schedule had to skip it), that every record has
its full width of fields, and that the program's memory stays flat; reports
readings per second and CPU use of pelkor and of the simulator.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from datetime import datetime, timedelta

STAMP = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
OUTDATED = re.compile(r"Reading at (\S+ \S+) aborted: reading time out-dated !")


def start_file(folder, tasks):
    lines = [
        "[Pelkor]", "Version=3", "LogFolder=" + folder, "LogUsed=1", "Task=%d" % tasks, "",
        "[Connection]", "AutoConnect=1", "Station=1", "DLL=0", "",
    ]
    for t in range(1, tasks + 1):
        station = 1 + t % 2
        data = "R %d [4]" % (10 * t) if t % 3 else "R %d [2], F %d [8]" % (10 * t, t)
        lines += [
            "[Task%d]" % t, "Settings=0", "SBus=%d" % station, "IntervalUnit=0", "ReadInterval=1",
            "Data=" + data, "HeadLines=0", "LineCount=0,", "TimeStamp=1,Time", "MissValues=1,Missing",
            "TaskNumber=0,", "OutFolder=" + folder + "/out", "FileName=t%03d" % t, "FileIndex=0",
            "FileType=CSV", "",
        ]
    return "\n".join(lines) + "\n"


def sim_config(tasks):
    lines = []
    for station in (1, 2):
        lines.append("station %d" % station)
        for t in range(1, tasks + 1):
            lines.append("generator register %d counter %d 1" % (10 * t, 1000 * t))
        # Rare line faults, each drawn from its own seeded generator.
        lines.append("fault nak probability 0.002 seed %d" % (10 + station))
        lines.append("fault badcrc probability 0.002 seed %d" % (20 + station))
        lines.append("fault short probability 0.001 seed %d" % (30 + station))
        lines.append("fault silence probability 0.0003 seed %d" % (40 + station))
    return "\n".join(lines) + "\n"


def proc_stat(pid):
    """(rss kB, cpu seconds) of a running process."""
    with open("/proc/%d/status" % pid) as f:
        rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
    with open("/proc/%d/stat" % pid) as f:
        parts = f.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    return rss, (int(parts[11]) + int(parts[12])) / ticks


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("bin")
    ap.add_argument("--minutes", type=float, default=3)
    ap.add_argument("--tasks", type=int, default=100)
    ap.add_argument("--keep", help="folder to keep the files in (default: a temporary one)")
    ap.add_argument("--restart-at", type=float, help="kill the simulator after S seconds and start it again")
    ap.add_argument("--away", type=float, default=5, help="seconds the simulator stays away (default 5)")
    a = ap.parse_args()
    seconds = int(a.minutes * 60)

    folder = a.keep or tempfile.mkdtemp(prefix="pelkor-soak-")
    if a.keep:
        shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder + "/out", exist_ok=True)
    with open(folder + "/soak.pelk", "w") as f:
        f.write(start_file(folder, a.tasks))
    with open(folder + "/sim.conf", "w") as f:
        f.write(sim_config(a.tasks))

    # The line is a link the simulator makes, so a restarted simulator is
    # found under the same name, as a USB adapter plugged in again would be.
    link = folder + "/com1"

    def start_sim():
        p = subprocess.Popen([a.bin + "/pcdsim", "--config", folder + "/sim.conf", "--link", link,
                              "--seconds", str(seconds + 60)],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        if not p.stdout.readline().strip():
            sys.exit("soak: the simulator did not start")
        return p

    sim = start_sim()
    env = dict(os.environ, PELSBUS_COM1=link, LC_ALL="C")
    events = open(folder + "/events.txt", "w")
    pelkor = subprocess.Popen([a.bin + "/pelkor", "--verbose", "--seconds", str(seconds), folder + "/soak.pelk",
                               "PG5=20"], stdout=events, stderr=subprocess.STDOUT, env=env)
    began = time.monotonic()
    samples = []
    deadline = began + seconds + 30
    restart = None if a.restart_at is None else began + a.restart_at
    away = None
    while pelkor.poll() is None and time.monotonic() < deadline:
        time.sleep(1 if restart or away else 5)
        if restart and time.monotonic() >= restart:
            sim.kill()
            sim.wait(10)
            restart, away = None, (time.monotonic(), datetime.now())
            continue
        if away and time.monotonic() >= away[0] + a.away:
            sim = start_sim()
            away = None
        try:
            samples.append((time.monotonic() - began,) + proc_stat(pelkor.pid) + proc_stat(sim.pid)[1:])
        except (OSError, StopIteration):
            pass
    if pelkor.poll() is None:
        pelkor.kill()
        sys.exit("soak: pelkor did not end in time")
    elapsed = time.monotonic() - began
    sim.terminate()
    sim.wait(10)
    events.close()

    # Every record: full width, a planned time stamp, each second once; a gap
    # must be explained by an out-dated line for the time that was skipped.
    with open(folder + "/events.txt") as f:
        text = f.read()
    outdated = set(OUTDATED.findall(text))
    width = {t: (2 + 4 if t % 3 else 2 + 2 + 8) for t in range(1, a.tasks + 1)}
    records = problems = gaps = empty = 0
    for t in range(1, a.tasks + 1):
        path = "%s/out/t%03d.csv" % (folder, t)
        if not os.path.exists(path):
            problems += 1
            print("task %d: no file" % t)
            continue
        with open(path, newline="") as f:
            lines = f.read().split("\r\n")[:-1]
        prev = None
        for line in lines:
            fields = line.split(";")
            records += 1
            if len(fields) != width[t] or not STAMP.match(fields[0]):
                problems += 1
                print("task %d: bad record %r" % (t, line))
                continue
            stamp = datetime.strptime(fields[0], "%Y-%m-%d %H:%M:%S")
            if any(v == "" for v in fields[2:]):
                empty += 1
            if prev is not None:
                if stamp <= prev:
                    problems += 1
                    print("task %d: %s recorded twice or out of order" % (t, fields[0]))
                elif stamp - prev > timedelta(seconds=1):
                    gaps += 1
                    skipped = (prev + timedelta(seconds=1)).strftime("%Y-%m-%d %H:%M:%S")
                    if skipped not in outdated:
                        problems += 1
                        print("task %d: reading at %s neither recorded nor reported" % (t, skipped))
            prev = stamp

    print("soak: %d tasks every second for %.0f s, exit status %d" % (a.tasks, elapsed, pelkor.returncode))
    print("records: %d (%.1f per second), %d gaps, each with its out-dated line: %s"
          % (records, records / elapsed, gaps, "yes" if problems == 0 else "NO (%d problems)" % problems))
    print("out-dated lines: %d, line errors logged: %d" % (len(outdated), text.count(" failed : ")))
    print("records with missing values: %d" % empty)
    if a.restart_at is not None:
        print("simulator killed at %.0f s, back after %.0f s; reasonless failures logged: %d, 'restored' lines: %d"
              % (a.restart_at, a.away, text.count(" failed : \n"), text.count(" restored.")))
    if samples:
        warm = [s for s in samples if s[0] >= 30] or samples
        first, last = warm[0], warm[-1]
        print("memory (VmRSS): %d kB after %.0f s, %d kB at the end, peak %d kB"
              % (first[1], first[0], last[1], max(s[1] for s in samples)))
        print("CPU: pelkor %.1f s (%.1f%% of one core), pcdsim %.1f s (%.1f%%)"
              % (last[2], 100 * last[2] / last[0], last[3], 100 * last[3] / last[0]))
        flat = last[1] <= first[1] * 1.10 + 512
        print("memory flat: %s" % ("yes" if flat else "NO"))
    else:
        flat = False
    print("files in %s" % folder)
    ok = problems == 0 and flat and pelkor.returncode == 0
    if not a.keep and ok:
        shutil.rmtree(folder, ignore_errors=True)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
