#!/usr/bin/python3
"""The accuracy figure of "noskrun --series" beside a joint maximum-likelihood
fit of the same data written here with scipy (README, "Fitting a series as
one"). Not run by the tests.

    bench/series_vs_scipy.py [DRAWS] [--bin BUILD/bin] [--seed N] [--check]

The design is that of "bench_series accuracy": 10 temperatures 250-350 K, 26
frequencies 1 Hz-100 kHz, R0 + (R1||CPE1) + (R2||CPE2) (circuit S with L,
its p2 and its third CPE at 0), R1 = 100 ohm and R2 = 300 ohm at 300 K
following Arrhenius with Ea 0.45 and 0.60 eV, R0 and both exponents shared,
both CPE coefficients local, noise of 1 % of |Z| on each component, IRCH 3.
Each draw's spectra are written as job files (data with 13 digits, start
values off the truth as the C++ benchmark puts them), fitted by
noskrun --series, and the same rounded data are fitted jointly by
scipy.optimize.least_squares: residuals (Z_obs - Z_model)/|Z_obs| for both
components, unknowns ln R0, alpha1, alpha2, ln A and Ea of each Arrhenius
resistance (p = A exp(Ea/(kB T))) and ln Q of each CPE in each spectrum; its
95 % intervals from (J^T J)^-1 times the residual variance, Student's t with
the residual degrees of freedom. The two-step figures come from the
independent fits noskrun reports in its JSON (a line through ln R against
1/(kB T) weighted by their std devs, Student's t with 8 degrees of freedom).
--check compares the model written here with the engine's on one noiseless
spectrum and stops.
"""
import argparse
import json
import math
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy import optimize, stats

KB = 8.617333262e-5  # eV/K, as the engine's series code
EA = (0.45, 0.60)
TEMPS = [250.0 + 100.0 * i / 9 for i in range(10)]
FREQS = np.logspace(0, 5, 26)
R0, Q1, A1, Q2, A2 = 10.0, 1e-6, 0.85, 1e-5, 0.75


def arrhenius(at300, ea, T):
    return at300 * math.exp(ea / KB * (1.0 / T - 1.0 / 300.0))


def z_model(f, r0, r1, q1, a1, r2, q2, a2):
    # The engine's Q(q, alpha) is the admittance q (i w)^alpha.
    jw = 1j * 2.0 * np.pi * f
    return r0 + r1 / (1.0 + r1 * q1 * jw ** a1) + r2 / (1.0 + r2 * q2 * jw ** a2)


def truth_at(T):
    return [R0, 0.0, 0.0, arrhenius(100.0, EA[0], T), Q1, A1, arrhenius(300.0, EA[1], T), Q2, A2, 0.0, 1.0]


def d_number(x, digits):
    """x as the job file writes it: .dddd...D+ee"""
    if x == 0:
        return "." + "0" * digits + "D+00"
    e = math.floor(math.log10(abs(x))) + 1
    m = round(abs(x) / 10.0 ** e, digits)
    if m >= 1.0:
        m /= 10.0
        e += 1
    return ("-" if x < 0 else "") + ("%.*f" % (digits, m))[1:] + "D%+03d" % e


def parse_d(text):
    return float(text.replace("D", "E"))


def job_text(title, p, codes, data):
    lines = [title, "   0  ZZRRF S .8854D-13C         0 .0000D+00     0     0",
             "%5d   11 1000    0    3    0    0    0    0 .0000D+00" % len(data)]
    for i in range(0, 11, 5):
        lines.append("".join("%15s" % d_number(v, 8) for v in p[i:i + 5]))
    lines.append("".join(str(c) for c in codes))
    for k, (f, a, b) in enumerate(data):
        lines.append("%5d%25s%25s%25s" % (k + 1, d_number(f, 13), d_number(a, 13), d_number(b, 13)))
    return "\r\n".join(lines) + "\r\n"


def rounded(x):
    return parse_d(d_number(x, 13))


def make_draw(rng, folder):
    """Writes the draw's job files and list; returns the data as fitted."""
    spectra = []
    with open(os.path.join(folder, "list.csv"), "w") as lst:
        lst.write("file,T/K\n")
        for i, T in enumerate(TEMPS):
            p = truth_at(T)
            z = z_model(FREQS, p[0], p[3], p[4], p[5], p[6], p[7], p[8])
            scale = 0.01 * np.abs(z)
            z = z + scale * rng.standard_normal(z.size) + 1j * scale * rng.standard_normal(z.size)
            data = [(rounded(f), rounded(v.real), rounded(v.imag)) for f, v in zip(FREQS, z)]
            start = list(p)
            start[0] *= 1.3
            start[3] *= 0.6
            start[6] *= 1.5
            start[5] = start[8] = 0.8
            name = "s%02d.TST" % i
            with open(os.path.join(folder, name), "w", newline="") as fh:
                fh.write(job_text("accuracy %.4f K" % T, start, [1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0], data))
            lst.write("%s,%r\n" % (name, T))
            d = np.array(data)
            spectra.append((T, d[:, 0], d[:, 1] + 1j * d[:, 2]))
    return spectra


def scipy_fit(spectra):
    """The joint ML fit; returns {Ea index: (value, std dev, low, high)}, S."""
    n = len(spectra)
    # x: ln R0, a1, a2, ln A1, Ea1, ln A2, Ea2, ln Q1[n], ln Q2[n]
    x0 = [math.log(R0), A1, A2, math.log(100.0) - EA[0] / (KB * 300.0), EA[0],
          math.log(300.0) - EA[1] / (KB * 300.0), EA[1]] + [math.log(Q1)] * n + [math.log(Q2)] * n

    def residuals(x):
        out = []
        for i, (T, f, z) in enumerate(spectra):
            r1 = math.exp(x[3] + x[4] / (KB * T))
            r2 = math.exp(x[5] + x[6] / (KB * T))
            m = z_model(f, math.exp(x[0]), r1, math.exp(x[7 + i]), x[1], r2, math.exp(x[7 + n + i]), x[2])
            d = (z - m) / np.abs(z)
            out.append(d.real)
            out.append(d.imag)
        return np.concatenate(out)

    fit = optimize.least_squares(residuals, x0, jac="2-point", method="lm", xtol=1e-14, ftol=1e-14, gtol=1e-14,
                                 max_nfev=20000)
    S = float(fit.fun @ fit.fun)
    nu = fit.fun.size - fit.x.size
    cov = np.linalg.inv(fit.jac.T @ fit.jac) * (S / nu)
    t = stats.t.ppf(0.975, nu)
    out = {}
    for k, col in enumerate((4, 6)):
        sd = math.sqrt(cov[col, col])
        out[k] = (fit.x[col], sd, fit.x[col] - t * sd, fit.x[col] + t * sd)
    return out, S, fit.success


def two_step(T, R, sR):
    """Weighted line through ln R against 1/(kB T): slope, half width."""
    x = np.array([1.0 / (KB * t) for t in T])
    y = np.log(R)
    w = (np.array(R) / np.array(sR)) ** 2
    sw, sx, sy, sxx, sxy = w.sum(), (w * x).sum(), (w * y).sum(), (w * x * x).sum(), (w * x * y).sum()
    d = sw * sxx - sx * sx
    slope = (sw * sxy - sx * sy) / d
    icpt = (sy - slope * sx) / sw
    chi2 = (w * (y - icpt - slope * x) ** 2).sum()
    half = stats.t.ppf(0.975, len(T) - 2) * math.sqrt(chi2 / (len(T) - 2) * sw / d)
    return slope, half


class Tally:
    def __init__(self):
        self.covered = self.count = 0
        self.widths, self.errors, self.sds = [], [], []

    def add(self, est, truth, low, high, sd):
        self.count += 1
        self.covered += low <= truth <= high
        self.widths.append(high - low)
        self.errors.append(est - truth)
        self.sds.append(sd)

    def line(self):
        if not self.count:
            return "no draws"
        e = np.array(self.errors)
        return "%5.1f %%  width %.4f eV  bias %+.5f  scatter %.5f  mean sd %.5f" % (
            100.0 * self.covered / self.count, np.mean(self.widths), e.mean(), e.std(), np.mean(self.sds))


def find(params, name):
    for p in params:
        if p["name"] == name:
            return p
    raise KeyError(name)


def check_model(noskrun, work):
    """The model here against the engine's on one noiseless spectrum."""
    p = truth_at(300.0)
    z = z_model(FREQS, p[0], p[3], p[4], p[5], p[6], p[7], p[8])
    data = [(rounded(f), rounded(v.real), rounded(v.imag)) for f, v in zip(FREQS, z)]
    path = os.path.join(work, "model.TST")
    with open(path, "w", newline="") as fh:
        fh.write(job_text("model check", p, [0] * 11, data))
    run = subprocess.run([noskrun, "--run", path], cwd=work, capture_output=True, text=True)
    line = [s for s in run.stdout.splitlines() if "S =" in s and "sigmaf" in s]
    if run.returncode != 0 or not line:
        sys.exit("the engine did not evaluate the model: " + run.stdout + run.stderr)
    S = float(line[0].split("S =")[1].split()[0])
    # S is the sum of squared relative deviations: each is at most sqrt(S).
    print("model check, noiseless spectrum at 300 K: the engine's S %.3g, so every relative deviation <= %.2g"
          % (S, math.sqrt(S)))
    return math.sqrt(S) < 1e-9


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("draws", nargs="?", type=int, default=50)
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap.add_argument("--bin", default=os.path.join(here, "build", "bin"), help="folder of noskrun and noskwin")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--verbose", action="store_true", help="a line for each draw whose two fits end apart "
                    "(KEEP_DRAW=FOLDER keeps its files)")
    ap.add_argument("--check", action="store_true", help="only compare the model with the engine's")
    a = ap.parse_args()
    noskrun = os.path.join(os.path.abspath(a.bin), "noskrun")
    if not os.access(noskrun, os.X_OK):
        sys.exit("no %s: build noskrun and noskwin first" % noskrun)
    print("load: " + os.popen("uptime").read().strip())
    with tempfile.TemporaryDirectory(prefix="series-vs-scipy-") as work:
        if not check_model(noskrun, work):
            sys.exit("the model written here differs from the engine's")
        if a.check:
            return
        ours, theirs, two = [Tally(), Tally()], [Tally(), Tally()], [Tally(), Tally()]
        ratio = [[], []]
        gap = [[], []]  # |Ea ours - Ea scipy| in scipy's std devs
        s_gap = []
        failed = 0
        rng = np.random.default_rng(a.seed)
        started = time.time()
        cpu_ours = cpu_scipy = 0.0
        for draw in range(a.draws):
            folder = os.path.join(work, "d%d" % draw)
            os.mkdir(folder)
            spectra = make_draw(rng, folder)
            c0 = os.times()
            run = subprocess.run([noskrun, "--series", "list.csv", "--shared", "P1,P6,P9", "--vary", "P4=arrhenius",
                                  "--vary", "P7=arrhenius", "--json", "r.json", "--out", "r.csv"],
                                 cwd=folder, capture_output=True, text=True)
            c1 = os.times()
            cpu_ours += c1.children_user + c1.children_system - c0.children_user - c0.children_system
            p0 = time.process_time()
            sp, S_scipy, ok = scipy_fit(spectra)
            cpu_scipy += time.process_time() - p0
            if run.returncode != 0 or not ok:
                failed += 1
                print("draw %d: noskrun exit %d %s; scipy %s" % (draw, run.returncode, run.stderr.strip()[-200:],
                                                                 "converged" if ok else "did not converge"))
                continue
            r = json.load(open(os.path.join(folder, "r.json")))
            s_gap.append((r["S"] - S_scipy) / S_scipy)
            if abs(s_gap[-1]) > 1e-6 and a.verbose:  # not the same minimum: which draw, how noskrun's fit ended
                print("draw %d: S %.6g (noskrun, %s) against %.6g (scipy)" % (draw, r["S"], r["fit_end"], S_scipy))
                if os.environ.get("KEEP_DRAW"):
                    import shutil
                    shutil.copytree(folder, os.path.join(os.environ["KEEP_DRAW"], "d%d" % draw))
            for k, (name, P) in enumerate((("P4.Ea", "P4"), ("P7.Ea", "P7"))):
                c = find(r["parameters"], name)
                if c.get("std_dev") is None or c.get("ci95") is None:
                    continue
                ours[k].add(c["value"], EA[k], c["ci95"][0], c["ci95"][1], c["std_dev"])
                v, sd, lo, hi = sp[k]
                theirs[k].add(v, EA[k], lo, hi, sd)
                ratio[k].append((c["ci95"][1] - c["ci95"][0]) / (hi - lo))
                gap[k].append(abs(c["value"] - v) / sd)
                R, sR = [], []
                for s in r["spectra"]:
                    ind = s.get("independent", {}).get("parameters", {}).get(P, {})
                    R.append(ind.get("value"))
                    sR.append(ind.get("std_dev"))
                if all(x is not None and x > 0 for x in R + sR):
                    slope, half = two_step(TEMPS, R, sR)
                    two[k].add(slope, EA[k], slope - half, slope + half, half / stats.t.ppf(0.975, 8))
            shutil_rmtree(folder)
        wall = time.time() - started
    print("%d draws (%d failed), 10 temperatures 250-350 K, 26 frequencies 1 Hz-100 kHz, 1 %% noise, %.0f s wall; "
          "CPU noskrun --series %.1f s, scipy %.1f s" % (a.draws, failed, wall, cpu_ours, cpu_scipy))
    print("load: " + os.popen("uptime").read().strip())
    for k, label in enumerate(("R1, Ea 0.45 eV", "R2, Ea 0.60 eV")):
        print(label)
        print("  noskrun --series: " + ours[k].line())
        print("  scipy joint ML:   " + theirs[k].line())
        print("  two-step:         " + two[k].line())
        if ratio[k]:
            print("  width ours/scipy: mean %.4f, range %.4f-%.4f; |Ea ours - Ea scipy| / scipy's sd: median %.2g, "
                  "max %.2g" % (np.mean(ratio[k]), min(ratio[k]), max(ratio[k]), np.median(gap[k]), max(gap[k])))
    if s_gap:
        g = np.array(s_gap)
        print("S ours against scipy's, relative: median %+.2g, range %+.2g to %+.2g; the same minimum (within 1e-6) "
              "in %d draws, noskrun's higher in %d, scipy's higher in %d"
              % (np.median(g), g.min(), g.max(), (abs(g) <= 1e-6).sum(), (g > 1e-6).sum(), (g < -1e-6).sum()))


def shutil_rmtree(folder):
    import shutil
    shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
