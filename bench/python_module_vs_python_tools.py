#!/usr/bin/python3
"""In-process fit time of the Python module nosk against the Python tools.

Two problems, each fitted from the same start by
  - nosk.fit (the engine in-process, exact Jacobian),
  - scipy.optimize.least_squares(method='lm') on a vectorised numpy model
    (ln p for positive parameters, as the engine fits them),
  - impedance.py's circuit_fit when `import impedance` works; otherwise a
    stand-in that works as the package does (see below).
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


# --- impedance.py's method ---
# The package itself cannot be installed on the build machine (no package
# index), so, unless `import impedance` works, the stand-in below does what
# its circuit_fit does, written here anew: scipy's curve_fit with the
# package's default bounds (0 to infinity, CPE exponents at most 1, so
# curve_fit runs 'trf' with 2-point numerical derivatives) on the stacked
# real and imaginary parts; and at every model evaluation the circuit string
# is written out as a Python expression holding the parameter values and the
# frequencies as text, which is then evaluated, each element checking its
# inputs one by one and turning the frequency list into an array.

def _check(values, count=None):
    for v in values:
        if not isinstance(v, (float, int, np.int32, np.float64)):
            raise TypeError(f"{v} is not a number")
    if count is not None and len(values) != count:
        raise ValueError("wrong number of parameters")


def _element(count, formula):
    def element(p, f):
        _check(p, count)
        _check(f)
        return formula(p, 2 * np.pi * np.array(f))
    element.count = count
    return element


def _series(parts):
    total = len(parts[0]) * [0j]
    for part in parts:
        total += part
    return total


def _parallel(parts):
    total = len(parts[0]) * [0j]
    for part in parts:
        total += 1 / part
    return 1 / total


STANDIN_ELEMENTS = {
    "s": _series,
    "p": _parallel,
    "R": _element(1, lambda p, w: np.array(len(w) * [p[0]])),
    "C": _element(1, lambda p, w: 1 / (p[0] * 1j * w)),
    "L": _element(1, lambda p, w: p[0] * 1j * w),
    "CPE": _element(2, lambda p, w: 1 / (p[0] * (1j * w) ** p[1])),
}


def _split(text, separator):
    """Splits at `separator` outside parentheses."""
    parts, depth, current = [], 0, ""
    for ch in text:
        depth += (ch == "(") - (ch == ")")
        if ch == separator and depth == 0:
            parts.append(current)
            current = ""
        else:
            current += ch
    return parts + [current]


def _expression(circuit, params, freqs, constants, index):
    """The circuit as Python text with the values written in; returns (text, next index)."""
    series = _split(circuit, "-")
    if len(series) > 1:
        parts = []
        for part in series:
            text, index = _expression(part, params, freqs, constants, index)
            parts.append(text)
        return "s([" + ",".join(parts) + "])", index
    if circuit.startswith("p(") and circuit.endswith(")"):
        parts = []
        for part in _split(circuit[2:-1], ","):
            text, index = _expression(part, params, freqs, constants, index)
            parts.append(text)
        return "p([" + ",".join(parts) + "])", index
    kind = circuit.rstrip("0123456789")
    count = STANDIN_ELEMENTS[kind].count
    values = []
    for j in range(count):
        name = circuit if count == 1 else f"{circuit}_{j}"
        if name in constants:
            values.append(constants[name])
        else:
            values.append(params[index])
            index += 1
    return f"{kind}({values},{freqs})", index


def standin_model(circuit, constants):
    """Z(f, *params) evaluated as the package evaluates it, and which parameters are exponents."""
    def z(f, *params):
        text, _ = _expression(circuit, np.array(params).tolist(), np.array(f).tolist(), constants, 0)
        return np.asarray(eval(text, dict(STANDIN_ELEMENTS)))
    exponent = []
    for part in circuit.replace("p(", "").replace(")", "").replace(",", "-").split("-"):
        kind = part.rstrip("0123456789")
        for j in range(STANDIN_ELEMENTS[kind].count):
            name = part if STANDIN_ELEMENTS[kind].count == 1 else f"{part}_{j}"
            if name not in constants:
                exponent.append(kind == "CPE" and j == 1)
    return z, exponent


def impedance_py_fit(circuit, f, Z, start, constants, weight_by_modulus):
    try:
        from impedance.models.circuits.fitting import circuit_fit  # the real package, when installed
        p, _ = circuit_fit(f, Z, circuit, start, constants=constants, weight_by_modulus=weight_by_modulus)
        from impedance.models.circuits.fitting import wrapCircuit
        model = np.array(wrapCircuit(circuit, constants)(f, *p))
        return p, model[:len(f)] + 1j * model[len(f):], "impedance.py"
    except ImportError:
        pass
    z, exponent = standin_model(circuit, constants)

    def stacked(freq, *p):
        v = z(freq, *p)
        return np.hstack([v.real, v.imag])

    lower = np.zeros(len(start))
    upper = np.where(exponent, 1.0, np.inf)
    sigma = np.hstack([np.abs(Z), np.abs(Z)]) if weight_by_modulus else None
    p, _ = curve_fit(stacked, f, np.hstack([Z.real, Z.imag]), p0=start, sigma=sigma, bounds=(lower, upper),
                     maxfev=100000)
    return p, z(f, *p), "stand-in (curve_fit, trf)"


# --- the same circuits as vectorised numpy closures, for scipy's lm ---

def _cpe(Q, a, w):
    return 1 / (Q * (1j * w) ** a)


def numpy_model(circuit):
    if circuit == "L0-R0-p(C1,R1-CPE1)":
        def z(w, L0, R0, C1, R1, Q1, a1):
            return 1j * w * L0 + R0 + 1 / (1j * w * C1 + 1 / (R1 + _cpe(Q1, a1, w)))
        return z
    if circuit == "R0-L0-p(R1,CPE1)-p(R2,CPE2)-CPE3":
        def z(w, R0, L0, R1, Q1, a1, R2, Q2, a2, Q3, a3):
            return (R0 + 1j * w * L0 + 1 / (1 / R1 + 1 / _cpe(Q1, a1, w))
                    + 1 / (1 / R2 + 1 / _cpe(Q2, a2, w)) + _cpe(Q3, a3, w))
        return z
    raise KeyError(circuit)



# --- scipy least_squares(lm) on the numpy model ---

def scipy_lm_fit(circuit, f, Z, start, free, weight_by_modulus):
    z = numpy_model(circuit)
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
