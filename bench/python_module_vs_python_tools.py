#!/usr/bin/python3
"""In-process fit time of the Python module nosk against the Python tools.

Two problems, each fitted from the same start by
  - nosk.fit (the engine in-process, exact Jacobian),
  - scipy.optimize.least_squares(method='lm') on a vectorised numpy model
    (ln p for positive parameters, as the engine fits them),
  - impedance.py's circuit_fit when `import impedance` works; otherwise a
    stand-in written from its documented method: scipy.optimize.curve_fit on
    the stacked real and imaginary parts with its default bounds (0 to
    infinity, CPE exponents 0 to 1, so curve_fit runs 'trf') and numerical
    derivatives. The stand-in builds its model once as numpy closures, so it
    is, if anything, faster than the package.
The problems: the 5-parameter Randles job of the battery spectrum
(bench/jobs/RANDLES5.TST, unit weighting) and circuit S (series R and L, two
ZARCs, a diffusion CPE; 10 free parameters, modulus weighting) on the same
spectrum. Printed: median time per fit, S of each, the ratios.

    PYTHONPATH=build/python bench/python_module_vs_python_tools.py [--runs 30]
"""
import argparse
import os
import statistics
import sys
import time

import numpy as np
from scipy.optimize import curve_fit, least_squares

import nosk

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BATTERY = os.path.join(ROOT, "tests", "data", "battery-eis.txt")


# --- impedance.py's method, from its documentation ---

def _cpe(Q, a, w):
    return 1 / (Q * (1j * w) ** a)


def standin_model(circuit):
    """The two circuits of this benchmark as impedance.py composes them: Z(w, *params)."""
    if circuit == "L0-R0-p(C1,R1-CPE1)":
        def z(w, L0, R0, C1, R1, Q1, a1):
            return 1j * w * L0 + R0 + 1 / (1j * w * C1 + 1 / (R1 + _cpe(Q1, a1, w)))
        return z, [False, False, False, False, False, True]
    if circuit == "R0-L0-p(R1,CPE1)-p(R2,CPE2)-CPE3":
        def z(w, R0, L0, R1, Q1, a1, R2, Q2, a2, Q3, a3):
            return (R0 + 1j * w * L0 + 1 / (1 / R1 + 1 / _cpe(Q1, a1, w))
                    + 1 / (1 / R2 + 1 / _cpe(Q2, a2, w)) + _cpe(Q3, a3, w))
        return z, [False, False, False, False, True, False, False, True, False, True]
    raise KeyError(circuit)


def impedance_py_fit(circuit, f, Z, start, constants, weight_by_modulus):
    try:
        from impedance.models.circuits.fitting import circuit_fit  # the real package, when installed
        p, _ = circuit_fit(f, Z, circuit, start, constants=constants, weight_by_modulus=weight_by_modulus)
        from impedance.models.circuits.fitting import wrapCircuit
        model = np.array(wrapCircuit(circuit, constants)(f, *p))
        return p, model, "impedance.py"
    except ImportError:
        pass
    z, exponent = standin_model(circuit)
    names = list(constants)  # constants are leading parameters here
    fixed = [constants[n] for n in names]
    free_exp = exponent[len(fixed):]
    w = 2 * np.pi * f

    def stacked(freq, *p):
        v = z(2 * np.pi * freq, *fixed, *p)
        return np.hstack([v.real, v.imag])

    lower = np.zeros(len(start))
    upper = np.where(free_exp, 1.0, np.inf)
    sigma = np.hstack([np.abs(Z), np.abs(Z)]) if weight_by_modulus else None
    p, _ = curve_fit(stacked, f, np.hstack([Z.real, Z.imag]), p0=start, sigma=sigma, bounds=(lower, upper),
                     maxfev=100000)
    model = z(w, *fixed, *p)
    return p, model, "stand-in (curve_fit, trf)"


# --- scipy least_squares(lm) on the same numpy model ---

def scipy_lm_fit(circuit, f, Z, start, free, weight_by_modulus):
    z, _ = standin_model(circuit)
    w = 2 * np.pi * f
    p0 = np.asarray(start, float)
    free = np.asarray(free, bool)
    sigma = np.abs(Z) if weight_by_modulus else np.ones_like(f)

    def params(x):
        p = p0.copy()
        p[free] = np.exp(x)
        return p

    def residuals(x):
        r = (Z - z(w, *params(x))) / sigma
        return np.hstack([r.real, r.imag])

    sol = least_squares(residuals, np.log(p0[free]), method="lm", ftol=1e-12, xtol=1e-12, gtol=1e-15,
                        x_scale="jac", max_nfev=500 * (free.sum() + 1))
    return params(sol.x), z(w, *params(sol.x))


def s_of(Z, model, weight_by_modulus):
    sigma = np.abs(Z) if weight_by_modulus else 1.0
    r = (Z - model) / sigma
    return float(np.sum(r.real ** 2 + r.imag ** 2))


def timed(fn, runs):
    times, out = [], None
    for _ in range(runs):
        t = time.perf_counter()
        out = fn()
        times.append(time.perf_counter() - t)
    return statistics.median(times), out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--runs", type=int, default=30)
    args = ap.parse_args()
    s = nosk.read(BATTERY)
    f, Z = s.frequency, s.Z
    randles = nosk.load_job(os.path.join(ROOT, "bench", "jobs", "RANDLES5.TST"))
    problems = [
        # name, circuit, start, free, weight by modulus, constants (leading), nosk call
        ("Randles, 5 free (RANDLES5.TST)", "L0-R0-p(C1,R1-CPE1)", [1.5e-7, 0.01, 1.0, 0.02, 10.0, 0.5],
         [False, True, True, True, True, True], False, {"L0": 1.5e-7},
         lambda: nosk.fit_job(randles)),
        ("circuit S, 10 free", "R0-L0-p(R1,CPE1)-p(R2,CPE2)-CPE3",
         [0.015, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5], [True] * 10, True, {},
         lambda: nosk.fit("S", f, Z, [0.015, 0, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5])),
    ]
    print(f"{'problem':<32}{'tool':<28}{'ms/fit':>10}{'S':>14}{'nosk faster':>13}")
    for name, circuit, start, free, by_modulus, constants, nosk_call in problems:
        t_nosk, r = timed(nosk_call, args.runs)
        S_nosk = r.S
        t_lm, (p_lm, m_lm) = timed(lambda: scipy_lm_fit(circuit, f, Z, start, free, by_modulus), args.runs)
        free_start = [v for v, fr in zip(start, free) if fr]
        t_ipy, (p_ipy, m_ipy, which) = timed(
            lambda: impedance_py_fit(circuit, f, Z, free_start, constants, by_modulus), max(3, args.runs // 3))
        rows = [("nosk.fit", t_nosk, S_nosk), ("scipy least_squares lm", t_lm, s_of(Z, m_lm, by_modulus)),
                (which, t_ipy, s_of(Z, m_ipy, by_modulus))]
        for tool, t, S in rows:
            ratio = "" if tool == "nosk.fit" else f"{t / t_nosk:12.1f}x"
            print(f"{name:<32}{tool:<28}{t * 1e3:10.3f}{S:14.6e}{ratio:>13}")
            name = ""


if __name__ == "__main__":
    sys.exit(main())
