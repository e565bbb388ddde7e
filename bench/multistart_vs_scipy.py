#!/usr/bin/python3
"""How often a fit reaches the best S from rough start values: noskwin with
--starts 1 and --starts N against scipy.optimize.least_squares(method='lm'),
in the same run, and noskrun --guess followed by the fit.

Problems: example jobs of several circuits on measured spectra (the battery
spectrum, the instrument exports of ../shared/data/instruments read through
noskrun --import) and on synthetic data; with --new also circuits with DEs
(A with two, B, C, H, J) on further measured spectra (Autolab, ZPlot, Gamry,
EC-Lab, CH Instruments exports and two of the Zahner series), from start
values set by hand from each spectrum. For each problem the best S is the
lowest S any method found (and a search of noskwin through all of 200 starts,
--agree 0). Each
of --trials starts puts every free parameter a factor 10^u (u uniform in
[-1, 1]) away from the job's fitted values (a CPE exponent: the same factor,
at most 1); the same start goes to every method. A fit reaches the best S when
its S is within a relative --tolerance of it.

    bench/multistart_vs_scipy.py [--build build] [--trials 50] [--starts 16] [--new] [--guess]

Besides the share that reaches the best S and the median times, each row
gives the median number of runs of the search and the share of searches
that ended agreed (the rest ran out of their budget of starts).

scipy fits the same variables (ln p for NFREE 1, p for NFREE 2), weighting and
tolerances through a numpy model of the circuit language written here; the
exponents the engine keeps within (0, 1] (a CPE's alpha, the PHI of DEs 2 to
7) scipy keeps there too, through a map of the same kind, so that both search
the same space.
"""
import argparse
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy.optimize import least_squares

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import engine_vs_scipy as base  # noqa: E402  (job reader, DE formulas)

DATA = os.path.join(os.path.dirname(ROOT), "shared", "data")
if not os.path.isdir(DATA):
    DATA = "/work/shared/data"
PI = base.PI


# ---------------------------------------------------------------- the circuits
def circuit_text(letter):
    with open(os.path.join(ROOT, "model", "circuits.txt")) as f:
        for line in f:
            m = re.match(r"\s*([A-Z])\s*=\s*(.*)$", line)
            if m and m.group(1) == letter:
                return m.group(2).split("#")[0].strip()
    raise SystemExit("no circuit %s" % letter)


class Parser:
    def __init__(self, text):
        self.tokens = re.findall(r"p\d+|[A-Za-z]+|[(),:\-]", text)
        self.i = 0

    def peek(self):
        return self.tokens[self.i] if self.i < len(self.tokens) else None

    def take(self, expected=None):
        t = self.tokens[self.i]
        if expected is not None and t != expected:
            raise SystemExit("circuit: expected %s, found %s" % (expected, t))
        self.i += 1
        return t

    def param(self):
        return int(self.take()[1:]) - 1

    def series(self):
        parts = [self.element()]
        while self.peek() == "-":
            self.take("-")
            parts.append(self.element())
        return ("series", parts)

    def element(self):
        name = self.take()
        self.take("(")
        if name == "par":
            branches = [self.series()]
            while self.peek() == ",":
                self.take(",")
                branches.append(self.series())
            self.take(")")
            return ("par", branches)
        if name == "TLM":
            r = self.param()
            self.take(",")
            z = self.series()
            self.take(")")
            return ("TLM", r, z)
        refs = [self.param()]
        if name == "DE" and self.peek() == ":":
            self.take(":")
            refs += [self.param()]
            while self.peek() == ",":
                self.take(",")
                refs.append(self.param())
        else:
            while self.peek() == ",":
                self.take(",")
                refs.append(self.param())
        self.take(")")
        if name == "DE" and len(refs) == 1:
            refs += [refs[0] - 4, refs[0] - 3, refs[0] - 2, refs[0] - 1]
        return (name, refs)


def evaluate(node, p, w, signs):
    """Z of a node, or None for a capacitive element of value 0 (left out)."""
    iw = 1j * w
    kind = node[0]
    if kind == "series":
        z = None
        for part in node[1]:
            v = evaluate(part, p, w, signs)
            if v is not None:
                z = v if z is None else z + v
        return None if z is None else z + 0 * w
    if kind == "par":
        y = 0
        for branch in node[1]:
            v = evaluate(branch, p, w, signs)
            if v is not None:
                y = y + 1 / v
        return 1 / (y + 0 * w)
    if kind == "TLM":
        r = p[node[1]]
        z = evaluate(node[2], p, w, signs)
        return np.sqrt(r * z) / np.tanh(np.sqrt(r / z))
    refs = node[1]
    a = p[refs[0]]
    if kind == "R":
        return a + 0 * w
    if kind == "C":
        return None if a == 0 else 1 / (iw * a)
    if kind == "L":
        return iw * a
    if kind == "Q":
        return None if a == 0 else 1 / (a * iw ** p[refs[1]])
    if kind == "W":
        return a * np.sqrt(2) / np.sqrt(iw)
    if kind == "Ws":
        x = np.sqrt(iw * p[refs[1]])
        return a * np.tanh(x) / x
    if kind == "Wo":
        x = np.sqrt(iw * p[refs[1]])
        return a / (x * np.tanh(x))
    if kind == "G":
        return a / np.sqrt(p[refs[1]] + iw)
    if kind == "DE":
        number = int(round(a))
        R, T, U, PHI = (p[r] for r in refs[1:5])
        return signs.get(refs[0], 1.0) * base.de(number, R, T, U, PHI, w)
    raise SystemExit("element %s is not written out here" % kind)


class Model(base.Model):
    """The job's model through the circuit language (any letter without E)."""

    def __init__(self, job):
        super().__init__(job)
        self.tree = Parser(circuit_text(job["FUN"])).series()
        selectors = set()
        self._selectors(self.tree, selectors)
        self.signs = {s: -1.0 for s in selectors if s < job["N"] and job["NFREE"][s] == 3}
        self.free = [i for i in range(job["N"]) if job["NFREE"][i] in (1, 2) and i not in selectors]
        self.positive = np.array([job["NFREE"][i] == 1 for i in self.free])
        # The exponents the engine keeps within (0, 1] (a CPE's alpha, the
        # PHI of DEs 2 to 7, the U of DE 6): fitted here through the same
        # kind of map, ln p = c + d tanh((x - c) / d) above the start c
        # (d = -c: ln p stays below 0), ln p = x below it.
        kept = set()
        self._kept(self.tree, job, kept)
        self.bounded = np.array([i in kept and job["NFREE"][i] == 1 for i in self.free])

    def _kept(self, node, job, out):
        if node[0] in ("series", "par"):
            for child in node[1]:
                self._kept(child, job, out)
        elif node[0] == "TLM":
            self._kept(node[2], job, out)
        elif node[0] == "Q":
            out.add(node[1][1])
        elif node[0] == "DE" and node[1][0] < len(job["P"]):
            number = int(round(job["P"][node[1][0]]))
            if 2 <= number <= 7:
                out.add(node[1][4])
            if number == 6:
                out.add(node[1][3])

    def _centre(self):
        p = self.p0[self.free]
        return np.log(np.clip(np.where(self.bounded, p, 0.5), 1e-300, 1 - 1e-9))

    def x0(self):
        x = super().x0()
        return np.where(self.bounded, self._centre(), x)

    def params(self, x):
        c = self._centre()
        d = -c
        t = x - c
        u = np.where(t >= 0, c + d * np.tanh(np.where(t >= 0, t, 0) / d), x)
        return super().params(np.where(self.bounded, u, x))

    def _selectors(self, node, out):
        if node[0] in ("series", "par"):
            for child in node[1]:
                self._selectors(child, out)
        elif node[0] == "TLM":
            self._selectors(node[2], out)
        elif node[0] == "DE":
            out.add(node[1][0])

    def impedance(self, p):
        z = evaluate(self.tree, p, self.w, self.signs)
        return 0 * self.w + 0j if z is None else z

    def residuals(self, x):
        with np.errstate(all="ignore"):
            r = super().residuals(x)
        return np.where(np.isfinite(r), r, 1e100)


# ---------------------------------------------------------------- job files
def d_field(v, width, digits):
    if v == 0:
        text = "." + "0" * digits + "D+00"
    else:
        e = int(np.floor(np.log10(abs(v)))) + 1
        m = abs(v) / 10.0 ** e
        digits_text = "%.*f" % (digits, m)
        if digits_text.startswith("1"):
            e += 1
            digits_text = "%.*f" % (digits, m / 10)
        text = "%s%sD%+03d" % ("-" if v < 0 else "", digits_text[1:], e)
    return text.rjust(width)


def write_job(path, template_lines, params, nfree, freq, d1, d2, description):
    """The template's header lines 2-3 with new parameters, codes and data (IRCH 1 to 3)."""
    n = len(params)
    lines = [description[:80], template_lines[1]]
    l3 = template_lines[2]
    lines.append("%5d%5d" % (len(freq), n) + l3[10:])
    for i in range(0, n, 5):
        lines.append("".join(d_field(v, 15, 8) for v in params[i:i + 5]))
    lines.append("".join(str(c) for c in nfree))
    for k, (f, a, b) in enumerate(zip(freq, d1, d2)):
        lines.append("%5d  %s  %s  %s" % (k + 1, d_field(f, 23, 13), d_field(a, 23, 13), d_field(b, 23, 13)))
    with open(path, "w", newline="\r\n") as out:
        out.write("\n".join(lines) + "\n")


def read_lines(path):
    with open(path, newline=None) as f:
        return [line.rstrip("\r\n") for line in f]


# ---------------------------------------------------------------- runs
def run_engine(build, job_path, x_params, starts, work, agree=None):
    """noskwin on the job with the given start parameters; (S, wall seconds, final parameters)."""
    lines = read_lines(job_path)
    job = base.read_job(job_path)
    write_job(os.path.join(work, "INFL"), lines, x_params, job["NFREE"], job["FREQ"], job["DATA1"], job["DATA2"],
              lines[0])
    args = [os.path.join(build, "bin", "noskwin")]
    if starts > 1:
        args += ["--starts", str(starts)]
    if agree is not None:
        args += ["--agree", str(agree)]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t = time.perf_counter()
    result = subprocess.run(args, cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - t
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    CPU.append((after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime))
    if result.returncode != 0:
        return float("inf"), elapsed, None
    report = open(os.path.join(work, "PNTOUTL")).read()
    s = float(base.report_number(report, "WEIGHTED SUM OF SQUARES, S")[42:62])
    m = re.search(r" SEARCH: end=(\w+) runs=(\d+)", report)
    SEARCH.append((m.group(1), int(m.group(2))) if m else ("single", 1))
    final = base.read_job(os.path.join(work, "OUTIN"))["P"]
    return s, elapsed, final


CPU = []
SEARCH = []  # (how the search ended, runs) of each run of noskwin


def scipy_run(model, params, maxfev):
    m = Model(dict(model.job, P=list(params)))
    t = time.perf_counter()
    c = time.process_time()
    x0 = m.x0()
    try:
        r = least_squares(m.residuals, x0, method="lm", ftol=1e-12, xtol=1e-12, gtol=1e-15,
                          x_scale="jac", max_nfev=maxfev * (len(x0) + 1))
        s = float(np.sum(r.fun ** 2))
    except Exception:  # noqa: BLE001 (a start scipy cannot handle counts as a miss)
        s = float("inf")
    CPU.append(time.process_time() - c)
    return s, time.perf_counter() - t


def perturbed(job, model, best_params, rng):
    p = list(best_params)
    for i in model.free:
        factor = 10.0 ** rng.uniform(-1, 1)
        v = p[i] * factor
        if model.is_exponent(i):
            v = min(v, 1.0)
        p[i] = v
    return p


# ---------------------------------------------------------------- problems
def import_spectrum(build, source, work):
    """The spectrum of an instrument file as (f, Z', Z'') through noskrun --import."""
    target = os.path.join(work, "import.TST")
    if os.path.exists(target):
        os.remove(target)
    subprocess.run([os.path.join(build, "bin", "noskrun"), "--import", source, "--to", target], cwd=work,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    lines = read_lines(target)
    m, n = int(lines[2][0:5]), int(lines[2][5:10])
    data = lines[4 + (n + 4) // 5:4 + (n + 4) // 5 + m]
    cols = [np.array([base.d_float(x[a:b]) for x in data]) for a, b in ((10, 30), (35, 55), (60, 80))]
    return cols[0], cols[1], cols[2]


def synthetic(model_job, params, noise, rng):
    job = dict(model_job, P=list(params))
    m = Model(job)
    z = m.impedance(m.params(m.x0()))
    scale = np.abs(z)
    return model_job["FREQ"], z.real + noise * scale * rng.standard_normal(len(z)), \
        z.imag + noise * scale * rng.standard_normal(len(z))


NEW_PROBLEMS = ("C-autolab", "C-zplot", "B-gamry", "B-biologic", "H-zahner100", "J-zahner300", "A-chinst")


def add_old_synthetic(add):
    fx = os.path.join(ROOT, "fittests")
    for name, template in (("I-synthetic", "CKT.I/IGER.TST"), ("G-synthetic", "CKT.G/GTLM.TST"),
                           ("H-synthetic", "CKT.H/HBRICK.TST"), ("D-synthetic", "CKT.D/DVOIGT5.TST"),
                           ("R-synthetic", "CKT.R/RWARB.TST"), ("T-synthetic", "CKT.T/TWS.TST"),
                           ("S-synthetic", "CKT.S/SZARC.TST"), ("F-synthetic", "CKT.F/FDE2.TST")):
        job = base.read_job(os.path.join(fx, template))
        add(name, template, (job["FREQ"], job["DATA1"], job["DATA2"]))


def problems(build, work, rng, new=False):
    fx = os.path.join(ROOT, "fittests")
    battery = np.loadtxt(os.path.join(DATA, "battery-eis.txt"))
    bat = (battery[:, 0], battery[:, 1], battery[:, 2])
    inst = os.path.join(DATA, "instruments")
    autolab = import_spectrum(build, os.path.join(inst, "exampleDataAutolab.txt"), work)
    gamry = import_spectrum(build, os.path.join(inst, "exampleDataGamry.DTA"), work)
    out = []

    def add(name, template, data, params=None, nfree=None, fun=None):
        lines = read_lines(os.path.join(fx, template))
        job = base.read_job(os.path.join(fx, template))
        if fun:
            lines[1] = lines[1][:12] + fun + lines[1][13:]
        p = params if params is not None else job["P"]
        codes = nfree if nfree is not None else job["NFREE"]
        path = os.path.join(work, name + ".TST")
        write_job(path, lines, p, codes, data[0], data[1], data[2], name)
        out.append((name, path))

    add("T-battery", "CKT.T/TBAT.TST", bat)
    add("S-battery", "CKT.S/SBAT.TST", bat)
    add("C-battery", "CKT.C/CBAT.TST", bat)
    add("B-battery", "CKT.B/BDE16BAT.TST", bat)
    add("R-battery", "CKT.R/RWARB.TST", bat, params=[0.015, 1.0, 1e-7, 0.01, 0.01], nfree=[1, 1, 1, 1, 1])
    add("I-battery", "CKT.I/IGER.TST", bat, params=[0.015, 1.0, 1e-7, 0.01, 0, 0.01, 1.0],
        nfree=[1, 1, 1, 1, 0, 1, 1])
    add("T-autolab", "CKT.T/TBAT.TST", autolab, params=[20, 1e-4, 1e-7, 100, 0.8, 100, 1.0])
    add("S-autolab", "CKT.S/SBAT.TST", autolab,
        params=[20, 1, 1e-7, 50, 1e-4, 0.8, 50, 1e-3, 0.8, 1e-2, 0.8])
    add("T-gamry", "CKT.T/TBAT.TST", gamry, params=[1, 1e-4, 1e-7, 1, 0.8, 1, 1.0])
    add("R-gamry", "CKT.R/RWARB.TST", gamry, params=[1, 1e-4, 1e-7, 1, 1], nfree=[1, 1, 1, 1, 1])
    add_old_synthetic(add)
    if not new:
        return out

    # Problems of circuits with DEs on measured spectra the search was not
    # tuned on: the start values come from noskrun --guess on the template.
    def add_guessed(name, template, data, params=None, nfree=None, zero=(), guess=True):
        job = base.read_job(os.path.join(fx, template))
        p = list(params if params is not None else job["P"])
        for i in zero:
            p[i] = 0.0
        add(name, template, data, params=p, nfree=nfree)
        path = out[-1][1]
        if guess:
            subprocess.run([os.path.join(build, "bin", "noskrun"), "--guess", path], cwd=work, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))

    zahner = os.path.join(DATA, "zahner-series")
    try:
        z100 = import_spectrum(build, os.path.join(zahner, "100_mvdc.ism"), work)
        z300 = import_spectrum(build, os.path.join(zahner, "300_mvdc.ism"), work)
    except subprocess.CalledProcessError:
        print("this noskrun does not read Zahner's .ism files: the Zahner problems are left out")
        z100 = z300 = None
    biologic = import_spectrum(build, os.path.join(inst, "exampleDataBioLogic.mpt"), work)
    chinst = import_spectrum(build, os.path.join(inst, "exampleDataCHInstruments.txt"), work)
    zplot = import_spectrum(build, os.path.join(inst, "exampleDataZPlot.z"), work)
    # Start values by hand from each spectrum's intercepts and peak (the
    # guess leaves some of these at the bottom of ln p); the reference search
    # then finds the lowest S, around which the trials start.
    def cde2(rs, rct, q, rd, td):
        return [rs, 0, 0, rct, 0, 0, q, 0, 0.8, 2, rd, td, 0, 0.5, 16, 0, 0, 0, 0, 0]

    def bde16(rs, c, rct, rd, td):
        return [rs, c, 1e-7, rct, 0, rd, td, 0, 0.5, 16]

    add_guessed("C-autolab", "CKT.C/CDE2.TST", autolab, guess=False, params=cde2(0.013, 0.015, 1.0, 0.01, 1))
    add_guessed("C-zplot", "CKT.C/CDE2.TST", zplot, guess=False, params=cde2(148, 450, 3.7e-8, 100, 1e-4))
    add_guessed("B-gamry", "CKT.B/BDE16BAT.TST", gamry, guess=False, params=bde16(800, 1e-4, 5000, 1e4, 10))
    add_guessed("B-biologic", "CKT.B/BDE16BAT.TST", biologic, guess=False, params=bde16(58, 0.01, 40, 20, 1))
    if z100 is not None:
        add_guessed("H-zahner100", "CKT.H/HBRICK.TST", z100)
        add_guessed("J-zahner300", "CKT.J/JFILM.TST", z300)
    # Circuit A with two DEs (5 and 3): AMIX3 without its third.
    amix = base.read_job(os.path.join(fx, "CKT.A/AMIX3.TST"))
    codes = list(amix["NFREE"])
    for i in range(15, 19):
        codes[i] = 0
    add_guessed("A-chinst", "CKT.A/AMIX3.TST", chinst, nfree=codes, guess=False,
                params=[99, 1e-4, 1e-7, 1e-9, 0, 3000, 1e-3, 0, 0.8, 5, 2000, 1e-5, 0, 0.8, 3, 0, 0, 0, 0, 0])
    return out


# ---------------------------------------------------------------- main
def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--trials", type=int, default=50)
    parser.add_argument("--starts", type=int, default=16)
    parser.add_argument("--tolerance", type=float, default=1e-4)
    parser.add_argument("--seed", type=int, default=27)
    parser.add_argument("--only", default=None, help="comma-separated problem names")
    parser.add_argument("--guess", action="store_true", help="also noskrun --guess, then the fit")
    parser.add_argument("--new", action="store_true",
                        help="also the problems of circuits with DEs on further measured spectra")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    rng = np.random.default_rng(args.seed)
    work = tempfile.mkdtemp(prefix="nosk-ms-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    try:
        todo = problems(args.build, work, rng, new=args.new)
        if args.only:
            keep = set(args.only.split(","))
            todo = [t for t in todo if t[0] in keep]
        print("%-12s %3s %12s | %7s %7s %7s | %8s %8s %8s | %5s %6s" % (
            "problem", "F", "best S", "nosk 1", "nosk %d" % args.starts, "scipy", "t1 [ms]",
            "t%d [ms]" % args.starts, "scipy", "runs", "agreed"))
        groups = {}
        totals = {"one": [], "many": [], "scipy": []}
        times = {"one": [], "many": [], "scipy": []}
        cpu = {"one": [], "many": [], "scipy": []}
        guessed = []
        worst = 1.0
        for name, path in todo:
            job = base.read_job(path)
            model = Model(job)
            model.is_exponent = lambda i, m=model: is_exponent(m, i)
            # The reference: all of 200 starts, without stopping early.
            reference, _, ref_params = run_engine(args.build, path, job["P"], 200, work, agree=0)
            # The numpy model against the engine at the engine's optimum.
            check = float(np.sum(Model(dict(job, P=list(ref_params))).residuals(model.x0() * 0 + Model(
                dict(job, P=list(ref_params))).x0()) ** 2))
            scipy_ok = abs(check - reference) <= 1e-6 * reference
            if not scipy_ok:
                print("%s: the numpy model gives S = %.6E at the engine's optimum, the engine %.6E: "
                      "scipy left out" % (name, check, reference))
            results = {"one": [], "many": [], "scipy": []}
            searches = []
            for _ in range(args.trials):
                start = perturbed(job, model, ref_params, rng)
                s1, t1, _ = run_engine(args.build, path, start, 1, work)
                sn, tn, _ = run_engine(args.build, path, start, args.starts, work)
                searches.append(SEARCH[-1])
                ss, ts = scipy_run(model, start, job["MAXFEV"]) if scipy_ok else (float("nan"), float("nan"))
                if not scipy_ok:
                    CPU.append(float("nan"))
                cpu["one"].append(CPU[-3])
                cpu["many"].append(CPU[-2])
                cpu["scipy"].append(CPU[-1])
                results["one"].append(s1)
                results["many"].append(sn)
                results["scipy"].append(ss)
                times["one"].append(t1)
                times["many"].append(tn)
                times["scipy"].append(ts)
            best = min([reference] + results["one"] + results["many"] + (results["scipy"] if scipy_ok else []))
            rates = {k: np.mean([s <= best * (1 + args.tolerance) for s in v]) for k, v in results.items()}
            if not scipy_ok:
                rates["scipy"] = float("nan")
            for k in totals:
                if not np.isnan(rates[k]):
                    totals[k].append(rates[k])
            group = "new" if name in NEW_PROBLEMS else "suite"
            groups.setdefault(group, []).append(rates["many"])
            worst = min(worst, rates["many"])
            if args.guess:
                guessed.append((name, guess_then_fit(args.build, path, job, model, work) <= best * (
                    1 + args.tolerance)))
            print("%-12s %3d %12.5E | %6.0f%% %6.0f%% %6.0f%% | %8.2f %8.2f %8.2f | %5.0f %5.0f%%" % (
                name, len(model.free), best, 100 * rates["one"], 100 * rates["many"], 100 * rates["scipy"],
                1e3 * statistics.median(times["one"][-args.trials:]),
                1e3 * statistics.median(times["many"][-args.trials:]),
                1e3 * float(np.median(times["scipy"][-args.trials:])),
                statistics.median(r for _, r in searches),
                100 * np.mean([e == "agreed" for e, _ in searches])))
            sys.stdout.flush()
        print("%-29s | %6.1f%% %6.1f%% %6.1f%% | %8.2f %8.2f %8.2f" % (
            "all (median time)", 100 * np.mean(totals["one"]), 100 * np.mean(totals["many"]),
            100 * np.mean(totals["scipy"]), 1e3 * statistics.median(times["one"]),
            1e3 * statistics.median(times["many"]), 1e3 * float(np.nanmedian(times["scipy"]))))
        print("%-29s | %24s | %8.2f %8.2f %8.2f" % (
            "all (median CPU time)", "", 1e3 * statistics.median(cpu["one"]),
            1e3 * statistics.median(cpu["many"]), 1e3 * float(np.nanmedian(cpu["scipy"]))))
        for group, rates in groups.items():
            print("%s (%d problems): --starts %d reaches the best S in %.1f%%" % (
                group, len(rates), args.starts, 100 * np.mean(rates)))
        print("worst problem with --starts %d: %.0f%%; 90th percentile wall time %.2f ms" % (
            args.starts, 100 * worst, 1e3 * float(np.percentile(times["many"], 90))))
        if args.guess:
            print("--guess, then one fit, from no start values (every free parameter 1): best S reached on "
                  "%d of %d problems%s" % (sum(ok for _, ok in guessed), len(guessed),
                                           "".join("; missed " + n for n, ok in guessed if not ok)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def guess_then_fit(build, path, job, model, work):
    """Every free parameter 1 (a DE's U and PHI keep theirs), noskrun --guess, then noskwin once."""
    lines = read_lines(path)
    p = list(job["P"])
    text = circuit_text(job["FUN"])
    for i in model.free:
        if not re.search(r"DE\(p\d+:\s*p\d+,\s*p\d+,\s*p%d\b|DE\(p\d+:\s*p\d+,\s*p\d+,\s*p\d+,\s*p%d\)"
                         % (i + 1, i + 1), text) and not shape_slot(job, i):
            p[i] = 1.0
    target = os.path.join(work, "guess.TST")
    write_job(target, lines, p, job["NFREE"], job["FREQ"], job["DATA1"], job["DATA2"], lines[0])
    subprocess.run([os.path.join(build, "bin", "noskrun"), "--guess", target], cwd=work, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    guessed = base.read_job(target)["P"]
    s, _, _ = run_engine(build, path, guessed, 1, work)
    return s


def shape_slot(job, i):
    """Whether parameter i is the U or PHI of a DE(pN) whose selector is N (four before it)."""
    for selector in range(i + 1, min(i + 4, job["N"])):
        if selector - i in (1, 2) and selector < job["N"] and job["NFREE"][selector] == 0 and \
                float(job["P"][selector]).is_integer() and job["P"][selector] > 0 and (selector + 1) % 5 == 0:
            return True
    return False


def is_exponent(model, i):
    """A CPE's alpha or a DE's PHI (the last of the four before DE(pN), or named in DE(pN: ...))."""
    text = circuit_text(model.fun)
    if re.search(r"Q\(p\d+,\s*p%d\)" % (i + 1), text):
        return True
    if re.search(r"DE\(p%d\)" % (i + 2), text):
        return True
    return re.search(r"DE\(p\d+:\s*p\d+,\s*p\d+,\s*p\d+,\s*p%d\)" % (i + 1), text) is not None


if __name__ == "__main__":
    sys.exit(main())
