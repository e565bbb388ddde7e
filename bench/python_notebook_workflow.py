#!/usr/bin/python3
"""The notebook workflow's fits timed: one fit and a hundred, nosk against scipy.

One problem: the battery spectrum's Randles cell with its finite-diffusion
element (L0-R0-p(C1,R1-CPE1), L0 held, 5 free, unit weighting, the rough
start of bench/jobs/RANDLES5.TST). Timed in one run:
  - one fit: nosk.fit, and scipy.optimize.least_squares(method='lm') on a
    vectorised numpy model of the same circuit (ln p variables, as the
    engine fits positive parameters; see python_module_vs_python_tools.py);
  - a hundred fits of the spectrum with 0.1 % noise added (a new draw each):
    nosk.fit_many on all cores, a loop of nosk.fit, and a loop of the scipy fit.
Printed: milliseconds (median of --runs for one fit; one pass for a hundred), S, ratios.

    PYTHONPATH=build/python bench/python_notebook_workflow.py [--runs 30] [--spectra 100]
"""
import argparse
import os
import statistics
import sys
import time
import warnings

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from python_module_vs_python_tools import BATTERY, s_of, scipy_lm_fit  # noqa: E402

import nosk  # noqa: E402

CIRCUIT = "L0-R0-p(C1,R1-CPE1)"
START = [1.5e-7, 0.01, 1.0, 0.02, 10.0, 0.5]
FREE = [False, True, True, True, True, True]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--runs", type=int, default=30)
    ap.add_argument("--spectra", type=int, default=100)
    args = ap.parse_args()
    warnings.simplefilter("ignore", nosk.NoskWarning)
    s = nosk.read(BATTERY)
    f, Z = s.frequency, s.Z

    def one_nosk():
        return nosk.fit(CIRCUIT, f, Z, START, weighting="unit", fixed={"L0": START[0]})

    times = []
    for _ in range(args.runs):
        t = time.perf_counter()
        r = one_nosk()
        times.append(time.perf_counter() - t)
    t_nosk = statistics.median(times)
    times = []
    for _ in range(args.runs):
        t = time.perf_counter()
        p, m = scipy_lm_fit(CIRCUIT, f, Z, START, FREE, False)
        times.append(time.perf_counter() - t)
    t_lm = statistics.median(times)
    print(f"one fit:      nosk.fit {t_nosk * 1e3:.3f} ms (S {r.S:.6e}), scipy lm {t_lm * 1e3:.3f} ms "
          f"(S {s_of(Z, m, False):.6e}): {t_lm / t_nosk:.1f}x")

    rng = np.random.default_rng(1)
    Zs = [Z + 1e-3 * np.abs(Z) * (rng.standard_normal(len(Z)) + 1j * rng.standard_normal(len(Z)))
          for _ in range(args.spectra)]
    nosk.fit_many(CIRCUIT, f, Zs[:2], START, weighting="unit", fixed={"L0": START[0]})  # imports pandas once
    t = time.perf_counter()
    table = nosk.fit_many(CIRCUIT, f, Zs, START, weighting="unit", fixed={"L0": START[0]})
    t_many = time.perf_counter() - t
    t = time.perf_counter()
    loop = [nosk.fit(CIRCUIT, f, z, START, weighting="unit", fixed={"L0": START[0]}) for z in Zs]
    t_loop = time.perf_counter() - t
    t = time.perf_counter()
    lm = [scipy_lm_fit(CIRCUIT, f, z, START, FREE, False) for z in Zs]
    t_lm_loop = time.perf_counter() - t
    S_many = np.asarray(table["S"] if hasattr(table, "iloc") else table.column("S"))
    S_lm = np.array([s_of(z, m, False) for z, (_, m) in zip(Zs, lm)])
    agree = np.max(np.abs(S_many - S_lm) / S_lm)
    print(f"{args.spectra} fits:     nosk.fit_many {t_many * 1e3:.1f} ms, loop of nosk.fit {t_loop * 1e3:.1f} ms, "
          f"loop of scipy lm {t_lm_loop * 1e3:.1f} ms: {t_lm_loop / t_many:.1f}x (fit_many), "
          f"{t_lm_loop / t_loop:.1f}x (loop); S agree to {agree:.1e}; "
          f"{int(np.sum([r.converged for r in loop]))} of {len(loop)} converged")
    print(f"cores: {os.cpu_count()}, load average {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    sys.exit(main())
