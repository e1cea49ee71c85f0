#!/usr/bin/python3
"""Times commands as whole processes: start-up, set-up and exit included.

    whole_process.py [-n RUNS] [--warmup W] [--vs 'COMMAND_B'] -- COMMAND [ARG ...]

Each run's wall time is a monotonic clock read around the child; its CPU time (user + system)
and peak memory are the kernel's accounting of that child alone (wait4). With --vs the two
commands run in turn, A B A B ..., and the ratio A/B is taken pair by pair, so a machine whose
speed drifts during the runs still gives a meaningful ratio. Every figure is printed as min,
median and max; quote the median. The commands' output is discarded.

Lines printed (the benchmark scripts read them by their first words):
    A wall s   MIN MEDIAN MAX
    A cpu s    MIN MEDIAN MAX
    A peak MiB MIN MEDIAN MAX
    (B ... and A/B wall, A/B cpu with --vs)
"""
import argparse
import os
import shlex
import statistics
import subprocess
import sys
import time


def run_once(command):
    start = time.perf_counter()
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{shlex.join(command)} exited with status {child.returncode}")
    return {"wall s": wall, "cpu s": usage.ru_utime + usage.ru_stime,
            "peak MiB": usage.ru_maxrss / 1024}


def line(label, values, digits=4):
    return (f"{label:<12}{min(values):>12.{digits}f}{statistics.median(values):>12.{digits}f}"
            f"{max(values):>12.{digits}f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-n", type=int, default=5, help="counted runs of each command")
    parser.add_argument("--warmup", type=int, default=1, help="runs before counting")
    parser.add_argument("--vs", help="a second command, one string split as a shell splits")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command_a = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command_a:
        parser.error("no command after --")
    commands = {"A": command_a}
    if args.vs:
        commands["B"] = shlex.split(args.vs)
    for _ in range(args.warmup):
        for command in commands.values():
            run_once(command)
    runs = {name: [] for name in commands}
    for _ in range(args.n):
        for name, command in commands.items():
            runs[name].append(run_once(command))
    print(f"{'':<12}{'min':>12}{'median':>12}{'max':>12}   ({args.n} runs each)")
    for name in commands:
        print(f"{name} = {shlex.join(commands[name])}")
    for name in commands:
        for key in ("wall s", "cpu s", "peak MiB"):
            print(line(f"{name} {key}", [r[key] for r in runs[name]], 1 if "MiB" in key else 4))
    if "B" in commands:
        for key in ("wall", "cpu"):
            ratios = [a[f"{key} s"] / b[f"{key} s"] for a, b in zip(runs["A"], runs["B"])]
            print(line(f"A/B {key}", ratios))


if __name__ == "__main__":
    main()
