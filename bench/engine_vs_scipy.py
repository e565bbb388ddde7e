#!/usr/bin/python3
"""Fit time of noskwin against scipy.optimize.least_squares(method='lm').

Both fit the same job (an example of fittests/): the same model written here
with vectorised numpy, the same data, weighting and start values, and the
same variables (ln p for NFREE 1, p for NFREE 2) and tolerances. Printed per
job: noskwin's own fit time (the FIT TIME line of its PNTOUTL), noskwin timed
as a whole process (start-up, reading INFL, fit, writing the three files) in
wall-clock and in CPU time, scipy's fit time (wall-clock and CPU), both S
values and the ratios. On a busy machine the CPU times are the steadier
comparison of the whole process. The last column says whether the whole
noskwin process (wall-clock) took at most half of scipy's fit alone, the aim
on every job; the exit status is 1 when S differs.

Each process is started two ways: with subprocess.run (as the organiser's
Python users would, with a pipe for standard error) and with os.posix_spawn
and os.wait4 (no pipe, the child's own CPU time from wait4), the fairer
measure of the process itself. Before the table, the same two ways time
/bin/true: the floor of any process started from here.

    bench/engine_vs_scipy.py [--noskwin build/bin/noskwin] [--runs 20] [--work-dir DIR] [JOB.TST ...]

Only the Z/R fit representation and IRCH 1, 2 and 3 are written out here,
which is what the default jobs use.
"""
import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy.optimize import least_squares

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The battery Randles fit, the 13-parameter mixture and two small jobs of the
# kind scipy finishes in a few milliseconds (5 free parameters from a rough
# start; 3 free parameters and 40 points).
DEFAULT_JOBS = ["fittests/CKT.B/BDE16BAT.TST", "fittests/CKT.A/AMIX3.TST", "bench/jobs/RANDLES5.TST",
                "fittests/CKT.A/ADE2.TST"]
PI = 3.14159265358979  # the conversions' value of pi (Hz to rad/s)


def d_float(text):
    text = text.strip()
    if not text:
        return 0.0
    text = text.replace("D", "E").replace("d", "e")
    if "E " in text:
        text = text.replace("E ", "E+")
    return float(text)


def read_job(path):
    with open(path, "r", newline=None) as f:
        lines = [line.rstrip("\r\n") for line in f]
    job = {"description": lines[0]}
    l2 = lines[1]
    job["DINP"], job["DFIT"], job["PINP"], job["PFIT"], job["FREEQ"], job["NEG"], job["FUN"] = l2[6:13]
    job["DATTYP"] = l2[23]
    l3 = lines[2]
    ints = [int(l3[i:i + 5]) for i in range(0, 45, 5)]
    job["M"], job["N"], job["MAXFEV"], job["NPRINT"], job["IRCH"], job["MODE"] = ints[:6]
    n = job["N"]
    plines = (n + 4) // 5
    block = "".join(lines[3:3 + plines])
    job["P"] = [d_float(block[15 * i:15 * i + 15]) for i in range(n)]
    job["NFREE"] = [int(c) for c in lines[3 + plines][:n]]
    data = lines[4 + plines:4 + plines + job["M"]]
    job["FREQ"] = np.array([d_float(x[10:30]) for x in data])
    job["DATA1"] = np.array([d_float(x[35:55]) for x in data])
    job["DATA2"] = np.array([d_float(x[60:80]) for x in data])
    if job["DINP"] + job["DFIT"] + job["PINP"] + job["PFIT"] != "ZZRR" or job["NEG"] != " ":
        sys.exit("%s: only Z/R jobs without NEG are written out here" % path)
    if job["IRCH"] not in (1, 2, 3):
        sys.exit("%s: only IRCH 1, 2 and 3 are written out here" % path)
    return job


def ipow(w, t, phi):
    """(i w t)^phi on the principal branch, for arrays w."""
    return (1j * w * t) ** phi


def de(number, R, T, U, PHI, w):
    iw = 1j * w
    if number == 0:
        return np.zeros_like(w, dtype=complex)
    if number == 1:
        return R / (1 + iw * R * T)
    if number == 2:
        return 1 / (T * iw ** PHI)
    if number == 3:
        return R / (1 + R * T * iw ** PHI)
    if number == 4:
        return R / (1 + R ** U * T * iw ** PHI)
    if number == 5:
        return R / (1 + ipow(w, T, PHI))
    if number == 6:
        return R / (1 + ipow(w, T, U)) ** PHI
    if number == 7:
        return R / (1 + iw * T) ** PHI
    if number == 9:
        x = ipow(w, T, PHI)
        return R * np.tanh(x) / x
    if number == 16:
        x = ipow(w, T, PHI)
        return R / (x * np.tanh(x))
    if number == 17:
        y = iw * T + (1 / R if R != 0 else 0)
        if not (U == 0 and PHI == 0):
            y = y + 1 / (U + iw * PHI)
        return 1 / y
    raise ValueError("DE %d" % number)


class Model:
    def __init__(self, job):
        self.job = job
        self.fun = job["FUN"]
        self.p0 = np.zeros(50)
        self.p0[:job["N"]] = job["P"]
        self.slots = 3 if self.fun == "A" else 4
        selectors = [9 + 5 * s for s in range(self.slots)]
        self.de = [int(self.p0[i]) for i in selectors]
        self.sign = [(-1.0 if i < job["N"] and job["NFREE"][i] == 3 else 1.0) for i in selectors]
        self.free = [i for i in range(job["N"])
                     if job["NFREE"][i] in (1, 2) and i not in selectors]
        self.positive = np.array([job["NFREE"][i] == 1 for i in self.free])
        w = job["FREQ"].copy()
        if job["FREEQ"] == "F":
            w = PI * w * 2
        self.w = w
        self.obs = np.concatenate([job["DATA1"], job["DATA2"]])
        irch = job["IRCH"]
        if irch == 1:
            sigma = np.ones_like(self.obs)
        elif irch == 2:
            sigma = np.abs(self.obs)
        else:
            m = np.hypot(job["DATA1"], job["DATA2"])
            sigma = np.concatenate([m, m])
        keep = sigma != 0
        if job["DATTYP"] == "R":
            keep[len(w):] = False
        elif job["DATTYP"] == "I":
            keep[:len(w)] = False
        self.keep = keep
        self.sigma = sigma[keep]
        self.obs_kept = self.obs[keep]

    def x0(self):
        p = self.p0[self.free]
        return np.where(self.positive, np.log(np.where(self.positive, p, 1.0)), p)

    def params(self, x):
        p = self.p0.copy()
        p[self.free] = np.where(self.positive, np.exp(x), x)
        return p

    def impedance(self, p):
        w = self.w
        iw = 1j * w
        slot = [self.sign[s] * de(self.de[s], *p[5 + 5 * s:9 + 5 * s], w) for s in range(self.slots)]
        if self.fun == "A":
            zs = p[0] + iw * p[2] + slot[0] + slot[1] + slot[2]
            if p[1] != 0:
                zs = zs + 1 / (iw * p[1])
            return zs if p[3] == 0 else 1 / (iw * p[3] + 1 / zs)
        inner = p[3] + slot[0] + slot[1]
        if p[1] != 0:
            inner = 1 / (iw * p[1] + 1 / inner)
        return p[0] + iw * p[2] + inner + slot[2] + slot[3]

    def residuals(self, x):
        z = self.impedance(self.params(x))
        model = np.concatenate([z.real, z.imag])[self.keep]
        return (self.obs_kept - model) / self.sigma


def scipy_fit(model, maxfev):
    x0 = model.x0()
    diag = "jac" if model.job["MODE"] != 2 else 1.0
    return least_squares(model.residuals, x0, method="lm", ftol=1e-12, xtol=1e-12, gtol=1e-15,
                         x_scale=diag, max_nfev=maxfev * (len(x0) + 1))


def report_number(text, label):
    for line in text.splitlines():
        if label in line:
            return line
    return ""


def by_subprocess(program, work):
    """One run through subprocess.run: (wall, CPU, exit status, standard error)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    result = subprocess.run([program], cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return elapsed, cpu, result.returncode, result.stderr.decode()


def by_posix_spawn(program, work):
    """One run through os.posix_spawn and os.wait4, standard output to /dev/null."""
    errors = os.path.join(work, ".bench-stderr")
    actions = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
               (os.POSIX_SPAWN_OPEN, 2, errors, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)]
    old = os.getcwd()
    os.chdir(work)  # posix_spawn has no working folder of its own before Python 3.13
    try:
        start = time.perf_counter()
        pid = os.posix_spawn(program, [program], os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        elapsed = time.perf_counter() - start
    finally:
        os.chdir(old)
    with open(errors) as f:
        text = f.read()
    os.unlink(errors)
    return elapsed, usage.ru_utime + usage.ru_stime, os.waitstatus_to_exitcode(status), text


def best_of(method, program, work, runs):
    """Best wall and best CPU time of `runs` runs; exits when one fails."""
    best, best_cpu = float("inf"), float("inf")
    for _ in range(runs):
        elapsed, cpu, code, errors = method(program, work)
        if code != 0:
            sys.exit("%s failed: %s" % (program, errors))
        best, best_cpu = min(best, elapsed), min(best_cpu, cpu)
    return best, best_cpu


def run_noskwin(noskwin, job_path, runs, where=None):
    work = tempfile.mkdtemp(prefix="nosk-bench-", dir=where)
    try:
        shutil.copy(job_path, os.path.join(work, "INFL"))
        fit_times = []
        best = {}
        for name, method in (("subprocess", by_subprocess), ("posix_spawn", by_posix_spawn)):
            wall, cpu = float("inf"), float("inf")
            for _ in range(runs):
                w, c = best_of(method, noskwin, work, 1)
                wall, cpu = min(wall, w), min(cpu, c)
                with open(os.path.join(work, "PNTOUTL")) as f:
                    report = f.read()
                fit_times.append(float(report_number(report, "FIT TIME").split()[2]))
            best[name] = (wall, cpu)
        s = float(report_number(report, "WEIGHTED SUM OF SQUARES, S")[42:62])
        return min(fit_times), best, s
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--noskwin", default=os.path.join(ROOT, "build", "bin", "noskwin"))
    parser.add_argument("--runs", type=int, default=20, help="repetitions; the best time counts")
    parser.add_argument("--work-dir", default=None,
                        help="where noskwin's work folders go (default: the system's temporary folder)")
    parser.add_argument("jobs", nargs="*", default=[os.path.join(ROOT, j) for j in DEFAULT_JOBS])
    args = parser.parse_args()
    args.noskwin = os.path.abspath(args.noskwin)  # it runs in a folder of its own
    if not os.access(args.noskwin, os.X_OK):
        sys.exit("no noskwin at %s (build it first)" % args.noskwin)

    work = tempfile.mkdtemp(prefix="nosk-bench-", dir=args.work_dir)
    try:
        floor = {name: best_of(method, "/bin/true", work, args.runs * 2)
                 for name, method in (("subprocess", by_subprocess), ("posix_spawn", by_posix_spawn))}
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("/bin/true (the floor of any process): subprocess %.3f ms wall, %.3f ms CPU; posix_spawn %.3f ms wall, "
          "%.3f ms CPU" % (floor["subprocess"][0] * 1e3, floor["subprocess"][1] * 1e3, floor["posix_spawn"][0] * 1e3,
                           floor["posix_spawn"][1] * 1e3))
    print("%-14s %5s %4s %9s %9s %9s %9s %9s %9s %9s %7s %7s %7s %7s %20s %20s %8s %5s %5s" % (
        "job", "M", "F", "noskwin", "subproc", "subproc", "spawn", "spawn", "scipy lm", "scipy lm", "ratio",
        "ratio", "ratio", "ratio", "S noskwin", "S scipy", "S rel", "2x", "2x"))
    print("%-14s %5s %4s %9s %9s %9s %9s %9s %9s %9s %7s %7s %7s %7s %20s %20s %8s %5s %5s" % (
        "", "", "", "fit [ms]", "[ms]", "cpu [ms]", "[ms]", "cpu [ms]", "[ms]", "cpu [ms]", "fit", "subproc",
        "spawn", "cpu", "", "", "", "sub", "spawn"))
    ok = True
    for path in args.jobs:
        job = read_job(path)
        model = Model(job)
        fit_time, best, s_nosk = run_noskwin(args.noskwin, path, args.runs, args.work_dir)
        process_time, process_cpu = best["subprocess"]
        spawn_time, spawn_cpu = best["posix_spawn"]
        scipy_best = scipy_cpu = float("inf")
        for _ in range(max(3, args.runs // 4)):
            start, cpu = time.perf_counter(), time.process_time()
            result = scipy_fit(model, job["MAXFEV"])
            scipy_best = min(scipy_best, time.perf_counter() - start)
            scipy_cpu = min(scipy_cpu, time.process_time() - cpu)
        s_scipy = float(np.sum(result.fun ** 2))
        rel = abs(s_nosk - s_scipy) / max(abs(s_scipy), 1e-300)
        print("%-14s %5d %4d %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %7.1f %7.1f %7.1f %7.1f %20.12E %20.12E %8.1E "
              "%5s %5s" % (
                  os.path.basename(path), job["M"], len(model.free), fit_time * 1e3, process_time * 1e3,
                  process_cpu * 1e3, spawn_time * 1e3, spawn_cpu * 1e3, scipy_best * 1e3, scipy_cpu * 1e3,
                  scipy_best / fit_time, scipy_best / process_time, scipy_best / spawn_time,
                  scipy_cpu / max(spawn_cpu, 1e-6), s_nosk, s_scipy, rel,
                  "yes" if process_time * 2 <= scipy_best else "no",
                  "yes" if spawn_time * 2 <= scipy_best else "no"))
        ok = ok and rel <= 1e-6
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
