"""The Python module's vectorised calls over 100,000 items, timed through the module: the
same calls as bench/api_vectorised_bench.cpp makes on the engine directly, so that the two
per-item costs stand side by side (bench/README.md).

    PYTHONPATH=build/python /usr/bin/python3 bench/python_binding_bench.py [--repeat N]

Each call is timed N times (default 3) in CPU time of the process, as Google Benchmark's CPU
column counts the engine's; the best is reported per item in microseconds.
"""

import argparse
import time

import numpy as np

import polydec

ITEMS = 100000
CYCLE = [(1, 1, 0), (2, 0, 0), (2, 1, 1), (2, 2, 0), (3, 1, 0), (2, 2, 2), (3, 2, 1), (4, 0, 0)]


def best(repeat, call):
    times = []
    for _ in range(repeat):
        start = time.process_time()
        call()
        times.append(time.process_time() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeat", type=int, default=3)
    repeat = parser.parse_args().repeat
    iron = polydec.material("iron")
    k = np.arange(ITEMS)
    phi, psi = 360.0 * k / ITEMS, 60.0 * k / ITEMS
    hkl = np.array([CYCLE[i % 8] for i in range(ITEMS)], dtype=float)

    rows = [
        ("stress_factors, Voigt, 100k directions",
         lambda: polydec.stress_factors(iron, "2 1 1", phi, psi, model="voigt")),
        ("dec, Kroener, 100k reflections (array (n, 3))",
         lambda: polydec.dec(iron, hkl, model="kroener").s1),
    ]
    print(f"{'call':48s} {'per item':>10s}")
    for name, call in rows:
        seconds = best(repeat, call)
        print(f"{name:48s} {seconds / ITEMS * 1e6:8.2f} us")


if __name__ == "__main__":
    main()
