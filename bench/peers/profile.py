#!/usr/bin/env python3
"""Where an echoed byte goes, per case of bench_peers: the receiver's system calls (strace) and
user-space instructions (callgrind), and the calls that matter most on the data path.

    bench/peers/profile.py [--build DIR] [--only NAME,...] [--trips N]

Each figure is the difference between a run of N and one of 3 N echo round trips, divided by
2 N, so start-up and tear-down drop out. The far end's thread is left out of the instructions;
its three calls per round (write, poll, read) are taken off the system calls. Needs strace and
valgrind (apt-get install strace valgrind). Callgrind runs the threads one at a time, so the
stream's batching would differ from a real run: only echoes are profiled.
"""
import argparse
import collections
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

CASES = ["plain", "driver", "smNone", "smThreadSync", "blocking", "wait-set", "QSerialPort"]
# Calls counted per echoed byte (a substring of the function's name).
WATCHED = [
    ("mutex locks", "pthread_mutex_lock"),
    ("clock reads", "clock_gettime"),
    ("handle look-ups", "(anonymous namespace)::Lookup(long)"),
    ("device services", "TSerialDevice::Service("),
    ("allocations", "malloc"),
]
FAR_END_CALLS = 3


def bench_command(bench, case, trips):
    return [bench, "--only", case, "--phases", "echo", "--trips", str(trips), "--slices", "1"]


def syscalls(bench, case, trips, work):
    out = os.path.join(work, f"strace-{case}-{trips}")
    subprocess.run(["strace", "-f", "-c", "-o", out] + bench_command(bench, case, trips),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    calls = collections.Counter()
    for line in open(out):
        fields = line.split()
        if len(fields) >= 5 and fields[3].isdigit() and fields[-1] != "total":
            calls[fields[-1]] += int(fields[3])
    return calls


def callgrind(bench, case, trips, work):
    """Instructions and watched calls of every thread but the far end's."""
    run = os.path.join(work, f"cg-{case}-{trips}")
    os.makedirs(run)
    subprocess.run(["valgrind", "--tool=callgrind", "--separate-threads=yes"] +
                   bench_command(bench, case, trips), cwd=run, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    total, calls = 0, collections.Counter()
    for path in glob.glob(os.path.join(run, "callgrind.out.*-*")):
        text = open(path, errors="replace").read()
        if "TPinger::Start" in text:
            continue
        total += int(re.search(r"^totals: (\d+)", text, re.M).group(1))
        names, callee = {}, None
        for line in text.splitlines():
            m = re.match(r"(c?fn)=\((\d+)\)(?: (.*))?", line)
            if m:
                if m.group(3):
                    names[m.group(2)] = m.group(3)
                if m.group(1) == "cfn":
                    callee = names.get(m.group(2), "")
                continue
            m = re.match(r"calls=(\d+)", line)
            if m and callee is not None:
                for label, pattern in WATCHED:
                    if pattern in callee:
                        calls[label] += int(m.group(1))
    return total, calls


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(here, "..", "..", "build"))
    parser.add_argument("--only", default=",".join(CASES))
    parser.add_argument("--trips", type=int, default=1000)
    args = parser.parse_args()
    bench = os.path.abspath(os.path.join(args.build, "bench", "bench_peers"))
    missing = [tool for tool in ("strace", "valgrind") if not shutil.which(tool)]
    if missing or not os.access(bench, os.X_OK):
        sys.exit(f"needs {bench} (bench/peers/setup.sh builds it) and "
                 f"{' '.join(missing) or 'nothing else'} (apt-get install strace valgrind)")
    n1, n2 = args.trips, 3 * args.trips
    per = 1.0 / (n2 - n1)
    print(f"per echoed byte, receiver only ({n1} and {n2} round trips)")
    print(f"{'case':14} {'syscalls':>8} {'instr':>7} " +
          " ".join(f"{label:>15}" for label, _ in WATCHED) + "  system calls")
    with tempfile.TemporaryDirectory(prefix="bench_peers_profile.") as work:
        for case in args.only.split(","):
            s1, s2 = syscalls(bench, case, n1, work), syscalls(bench, case, n2, work)
            detail = {k: (s2[k] - s1.get(k, 0)) * per for k in s2}
            detail = {k: v for k, v in sorted(detail.items(), key=lambda kv: -kv[1]) if v >= 0.05}
            nsys = sum(detail.values()) - FAR_END_CALLS
            i1, c1 = callgrind(bench, case, n1, work)
            i2, c2 = callgrind(bench, case, n2, work)
            print(f"{case:14} {nsys:8.2f} {(i2 - i1) * per:7.0f} " +
                  " ".join(f"{(c2[label] - c1[label]) * per:15.2f}" for label, _ in WATCHED) +
                  "  " + " ".join(f"{k} {v:.2f}" for k, v in detail.items()), flush=True)


if __name__ == "__main__":
    main()
