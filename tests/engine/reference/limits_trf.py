#!/usr/bin/python3
"""Reference numbers for the engine's parameter limits (EngineLimits tests).

Fits the measured battery spectrum of fittests/CKT.T/TBAT.TST with circuit T,
    Z = p1 + i w p3 + 1 / (p2 (i w)^p5 + 1 / (p4 + p6 tanh(sqrt(i w p7)) / sqrt(i w p7))),
by scipy.optimize.least_squares(method='trf') with bounds, with the start
values, codes and limits of the test job below, unit weighting, both
components, w = 2 pi f with the engine's pi. Prints the parameters at the
solution and S = sum of squared residuals, which the test compares with the
engine's fit of the same job.

    tests/engine/reference/limits_trf.py [path of TBAT.TST]
"""
import math
import os
import sys

import numpy as np
from scipy.optimize import least_squares

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
PI = 3.14159265358979

# The test job: start values, NFREE codes and limits (None: no limit). A
# NFREE 1 parameter without a lower limit is kept positive by a bound at 0.
START = [0.016, 1.0, 0.15e-6, 0.01, 0.45, 0.03, 200.0]
CODES = [1, 1, 2, 2, 1, 1, 2]
LOWER = [0.0155, 1.0, None, None, 0.3, None, 100.0]
UPPER = [None, None, None, 0.017, 0.5, None, 1000.0]


def d_float(text):
    text = text.strip().replace("D", "E")
    return float(text) if text else 0.0


def read_data(path):
    with open(path, newline=None) as f:
        lines = [line.rstrip("\n") for line in f]
    m = int(lines[2][0:5])
    rows = lines[6:6 + m]
    f = np.array([d_float(r[10:30]) for r in rows])
    z1 = np.array([d_float(r[35:55]) for r in rows])
    z2 = np.array([d_float(r[60:80]) for r in rows])
    return 2 * PI * f, z1, z2


def impedance(p, w):
    iw = 1j * w
    x = np.sqrt(iw * p[6])
    ws = p[5] * np.tanh(x) / x
    return p[0] + iw * p[2] + 1.0 / (p[1] * iw ** p[4] + 1.0 / (p[3] + ws))


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "fittests/CKT.T/TBAT.TST")
    w, z1, z2 = read_data(path)

    def residuals(p):
        z = impedance(p, w)
        return np.concatenate([z1 - z.real, z2 - z.imag])

    lo = [l if l is not None else (0.0 if c == 1 else -np.inf) for l, c in zip(LOWER, CODES)]
    hi = [u if u is not None else np.inf for u in UPPER]
    fit = least_squares(residuals, START, bounds=(lo, hi), method="trf", x_scale="jac", ftol=1e-15,
                        xtol=1e-15, gtol=1e-15, max_nfev=100000)
    r = residuals(fit.x)
    print("status %d, %d evaluations, active bounds %s" % (fit.status, fit.nfev, list(fit.active_mask)))
    for i, v in enumerate(fit.x):
        print("p%d = %.12e" % (i + 1, v))
    print("S = %.12e" % float(np.dot(r, r)))


if __name__ == "__main__":
    main()
