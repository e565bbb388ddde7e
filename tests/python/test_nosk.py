"""The Python module against the engine program, against impedance.py's own
element formulas, and under bad input."""

import glob
import os
import shutil
import subprocess
import threading

import numpy as np
import pytest

import nosk

SOURCE = os.environ.get("NOSK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
BIN = os.environ.get("NOSK_BIN_DIR", os.path.join(SOURCE, "build", "bin"))
BATTERY = os.path.join(SOURCE, "tests", "data", "battery-eis.txt")

EXAMPLES = sorted(glob.glob(os.path.join(SOURCE, "fittests", "CKT.*", "*.TST")))


def _fits(path):
    return nosk.load_job(path).MAXFEV >= 3


def _final_parameters(report):
    """p1 ... pN and S as PNTOUTL prints them (15 and 13 significant digits)."""
    params, S, final = {}, None, False
    for line in open(report):
        if "WEIGHTED SUM OF SQUARES, S" in line:
            S = float(line.split()[-1])
        if "FINAL PARAMETERS" in line:
            final = True
        elif final and line.strip().startswith("P("):
            number = int(line.split("(")[1].split(")")[0])
            params[number] = float(line.split("=")[1].split()[0])
    return params, S


@pytest.mark.parametrize("path", [p for p in EXAMPLES if _fits(p)], ids=os.path.basename)
def test_fit_matches_engine_program(path, tmp_path):
    """Every example job: the module's fit and noskwin's report agree to 1e-12."""
    engine = os.path.join(BIN, "noskwin")
    if not os.path.exists(engine):
        pytest.skip("noskwin is not built")
    job = nosk.load_job(path)
    shutil.copy(path, tmp_path / "INFL")
    run = subprocess.run([engine], cwd=tmp_path, capture_output=True, text=True, timeout=120)
    result = nosk.fit_job(job)
    if run.returncode != 0:
        pytest.fail(f"noskwin refused {path}: {run.stderr}")
    params, S = _final_parameters(tmp_path / "PNTOUTL")
    assert len(params) == job.N
    for i in range(job.N):
        assert result.params[i] == pytest.approx(params[i + 1], rel=1e-12, abs=1e-300), f"p{i + 1}"
    assert result.S == pytest.approx(S, rel=1e-12)


# impedance.py's element formulas, written out from its documentation.
def _ipy_element(kind, p, w):
    jw = 1j * w
    if kind == "R":
        return p[0] * np.ones_like(jw)
    if kind == "C":
        return 1 / (jw * p[0])
    if kind == "L":
        return jw * p[0]
    if kind == "CPE":
        return 1 / (p[0] * jw ** p[1])
    if kind == "W":
        return p[0] * (1 - 1j) / np.sqrt(w)
    if kind == "Wo":
        x = np.sqrt(jw * p[1])
        return p[0] / (x * np.tanh(x))
    if kind == "Ws":
        x = np.sqrt(jw * p[1])
        return p[0] * np.tanh(x) / x
    raise KeyError(kind)


def _par(*zs):
    return 1 / sum(1 / z for z in zs)


CASES = [
    # string of impedance.py's documentation, parameters, its formula
    ("R0-p(R1,C1)", [10, 50, 1e-5],
     lambda p, w: _ipy_element("R", p[0:1], w) + _par(_ipy_element("R", p[1:2], w), _ipy_element("C", p[2:3], w))),
    ("R0-p(R1,CPE1)-Wo1", [0.01, 0.005, 0.1, 0.9, 0.001, 200],
     lambda p, w: _ipy_element("R", p[0:1], w)
     + _par(_ipy_element("R", p[1:2], w), _ipy_element("CPE", p[2:4], w)) + _ipy_element("Wo", p[4:6], w)),
    ("R_0-p(R_1,C_1)-W_1", [.01, .01, 100, 1],
     lambda p, w: p[0] + _par(_ipy_element("R", p[1:2], w), _ipy_element("C", p[2:3], w))
     + _ipy_element("W", p[3:4], w)),
    ("L0-R0-p(R1-Ws1,CPE1)", [1e-7, 0.02, 0.05, 0.03, 30, 2, 0.8],
     lambda p, w: _ipy_element("L", p[0:1], w) + p[1]
     + _par(p[2] + _ipy_element("Ws", p[3:5], w), _ipy_element("CPE", p[5:7], w))),
]


@pytest.mark.parametrize("circuit,params,formula", CASES, ids=[c[0] for c in CASES])
def test_impedance_py_strings(circuit, params, formula):
    f = np.logspace(-3, 6, 40)
    z = nosk.simulate(circuit, params, f)
    expected = formula(np.asarray(params, float), 2 * np.pi * f)
    np.testing.assert_allclose(z, expected, rtol=1e-12)
    t = nosk.circuit_from_impedance_py(circuit)
    assert len(t.names) == len(params)


def test_fit_recovers_synthetic_parameters_and_names():
    truth = [0.01, 0.005, 0.1, 0.9, 0.001, 2]
    f = np.logspace(-2, 5, 60)
    rng = np.random.default_rng(1)
    z = nosk.simulate("R0-p(R1,CPE1)-Wo1", truth, f)
    z = z + 1e-4 * np.abs(z) * (rng.standard_normal(60) + 1j * rng.standard_normal(60))
    r = nosk.fit("R0-p(R1,CPE1)-Wo1", f, z, start=[0.02, 0.01, 0.05, 0.8, 0.002, 1])
    assert r.converged, r.reason
    assert r.names == ["R0", "R1", "CPE1_0", "CPE1_1", "Wo1_0", "Wo1_1"]
    np.testing.assert_allclose(r.params, truth, rtol=3e-3)
    assert np.all(np.abs(r.params - truth) < 5 * r.std_dev)
    assert "CPE1_1" in r.table()


def test_threads_fit_in_parallel_to_the_same_numbers():
    s = nosk.read(BATTERY)
    start = [0.015, 0, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5]
    one = nosk.fit("S", s.frequency, s.Z, start)
    results = [None] * 4

    def work(i):
        results[i] = nosk.fit("S", s.frequency, s.Z, start)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for r in results:
        np.testing.assert_array_equal(r.params, one.params)


def test_job_round_trip_and_instrument_file(tmp_path):
    s = nosk.read(BATTERY)
    assert len(s.frequency) == 66 and s.Z.dtype == complex
    job = nosk.load_job(os.path.join(SOURCE, "fittests", "CKT.S", "SBAT.TST"))
    job.description = "from a notebook"
    nosk.save_job(job, tmp_path / "NB.TST")
    back = nosk.load_job(tmp_path / "NB.TST")
    assert back.description == "from a notebook"
    np.testing.assert_array_equal(back.DATA1, job.DATA1)
    # The same spectrum read from the job and from the instrument file.
    js = nosk.read(tmp_path / "NB.TST")
    np.testing.assert_allclose(js.Z, s.Z, rtol=1e-12)


def test_binary_instrument_files_read_like_their_text_twins():
    # The EC-Lab binary file and its text export: the same points to the
    # text's eight digits, and the file's technique and date as metadata.
    folder = os.path.join(SOURCE, "tests", "data", "instruments")
    mpr = nosk.read(os.path.join(folder, "exampleDataBioLogic.mpr"))
    mpt = nosk.read(os.path.join(folder, "exampleDataBioLogic.mpt"))
    assert mpr.format == "EC-Lab MPR" and len(mpr.Z) == 43
    np.testing.assert_allclose(mpr.Z, mpt.Z, rtol=1e-6)
    assert mpr.metadata == {"technique": "PEIS", "date": "02/04/18"}
    ism = nosk.read(os.path.join(SOURCE, "tests", "data", "zahner", "300_mvdc.ism"))
    assert ism.metadata["potential"] == "0.3250V, Ampl: 10mV" and len(ism.Z) == 38
    with pytest.raises(IndexError):
        nosk.read(os.path.join(folder, "exampleDataBioLogic.mpr"), spectrum=1)


@pytest.mark.parametrize("call,match", [
    (lambda: nosk.fit("R0-p(R1,C1)", [1, 2, 3], [1, 2], [1, 1, 1]), "frequency"),
    (lambda: nosk.fit("R0-p(R1,C1)", [1, 2, 3, 4], [1, np.nan, 2, 3], [1, 1, 1]), "not finite"),
    (lambda: nosk.simulate("R0-p(R1,X1)", [1, 2, 3], [1.0]), "unknown element"),
    (lambda: nosk.simulate("R0-p(R1,G1)", [1, 2, 3], [1.0]), "element G"),
    (lambda: nosk.simulate("R(p1)-par(R(p2), C(p3)", [1, 2, 3], [1.0]), "column"),
    (lambda: nosk.simulate("R0", [1.0], [-1.0]), "not positive"),
    (lambda: nosk.fit("R0-C0", [1.0], [1 - 1j], [1, 1]), "degree of freedom"),
    (lambda: nosk.simulate("Y", [1.0], [1.0]), "not available"),
])
def test_bad_input_raises_with_the_engine_reason(call, match):
    with pytest.raises(ValueError, match=match):
        call()


def test_paths_that_are_not_files(tmp_path):
    with pytest.raises(IsADirectoryError):
        nosk.read(tmp_path)
    with pytest.raises(IsADirectoryError):
        nosk.load_job(tmp_path)
    with pytest.raises(ValueError):
        nosk.read(tmp_path / "missing.csv")


@pytest.mark.parametrize("test,table", [("kk", "KKTEST"), ("zhit", "ZHITTEST")])
def test_validation_matches_the_headless_command(test, table, tmp_path):
    """nosk.kk and nosk.zhit give the verdict that noskrun writes into its table's header."""
    noskrun = os.path.join(BIN, "noskrun")
    if not os.path.exists(noskrun):
        pytest.skip("noskrun is not built")
    s = nosk.read(BATTERY)
    r = getattr(nosk, test)(s.frequency, s.Z)
    run = subprocess.run([noskrun, f"--{test}", BATTERY], cwd=tmp_path, capture_output=True, text=True,
                         timeout=120, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    assert run.returncode == 0, run.stderr
    header = open(tmp_path / table).read()
    assert r.verdict in header, (r.verdict, header[:400])


def test_drt_matches_the_headless_command_and_finds_a_zarc(tmp_path):
    """nosk.drt writes the very table of noskrun --drt, and finds a ZARC's one process at its tau0."""
    noskrun = os.path.join(BIN, "noskrun")
    if os.path.exists(noskrun):
        s = nosk.read(BATTERY)
        r = nosk.drt(s.frequency, s.Z)
        run = subprocess.run([noskrun, "--drt", BATTERY], cwd=tmp_path, capture_output=True, text=True,
                             timeout=120)
        assert run.returncode == 0, run.stderr
        # The work folder's table starts with the line naming the data it was made from.
        written = open(tmp_path / "DRT", newline="").read().replace("\r\n", "\n")
        stamp, _, table = written.partition("\n")
        assert stamp == "# Data: - " + os.path.basename(BATTERY), stamp
        assert table == r.table.replace("\r\n", "\n")
    # R 10 + ZARC (R 100, tau0 1 ms, phi 0.8): gamma integrates to R and peaks at tau0.
    f = np.logspace(6, -2, 80)
    w = 2 * np.pi * f
    z = 10 + 100 / (1 + (1j * w * 1e-3) ** 0.8)
    r = nosk.drt(f, z, band=True)
    assert len(r.peaks) == 1
    assert r.peaks[0].tau == pytest.approx(1e-3, rel=0.05)
    assert r.peaks[0].area == pytest.approx(100, rel=0.05)
    assert r.series_resistance == pytest.approx(10, rel=0.05)
    k = int(np.argmax(r.gamma))
    assert np.all(r.band_low <= r.band_high) and r.band_low[k] <= r.gamma[k] <= r.band_high[k]
    with pytest.raises(ValueError):
        nosk.drt(f[:3], z[:3])
    with pytest.raises(ValueError):
        nosk.drt(f, z, capacitance="sometimes")


def test_limits_hold_and_the_held_parameter_has_no_std_dev():
    """An exponent that the unbounded fit takes above 0.75 stays at the limit, named as such."""
    f = np.logspace(-2, 5, 50)
    z = nosk.simulate("R0-p(R1,CPE1)", [10, 100, 1e-5, 0.9], f)
    free = nosk.fit("R0-p(R1,CPE1)", f, z, [10, 80, 2e-5, 0.7])
    assert free.params[3] == pytest.approx(0.9, rel=1e-6)
    held = nosk.fit("R0-p(R1,CPE1)", f, z, [10, 80, 2e-5, 0.7], limits=[None, None, None, (0.5, 0.75)])
    assert held.params[3] <= 0.75 and held.params[3] == pytest.approx(0.75, abs=1e-6)
    assert held.at_limit[3] and np.isnan(held.std_dev[3])
    assert held.S > free.S
    assert "at limit" in held.table()
    with pytest.raises(ValueError, match="limit"):
        nosk.fit("R0-p(R1,CPE1)", f, z, [10, 80, 2e-5, 0.7], limits=[None, None, None, (0.8, 0.75)])


def test_the_module_refuses_what_the_programs_refuse():
    """NaN limits, sizes beyond the programs', explicit values that would silently mean
    "automatic", complex frequencies and a subnormal spectrum raise ValueError, at once."""
    f = np.logspace(-2, 5, 50)
    z = nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], f)
    with pytest.raises(ValueError, match="P2: a limit is not a number"):
        nosk.fit("R0-p(R1,C1)", f, z, [10, 80, 2e-5], limits=[None, (np.nan, 1e3), None])
    many = np.logspace(-2, 5, 100000)
    for call in (lambda: nosk.simulate("R0", [1.0], many), lambda: nosk.kk(many, np.ones(100000)),
                 lambda: nosk.zhit(many, np.ones(100000)), lambda: nosk.drt(many, np.ones(100000))):
        with pytest.raises(ValueError, match="at most 99999 points"):
            call()
    with pytest.raises(ValueError, match="RC elements asked for"):
        nosk.kk(f, z, elements=10**6)
    for bad in (0, -3):
        with pytest.raises(ValueError, match="elements"):
            nosk.kk(f, z, elements=bad)
    for bad in (0.0, -1.0, np.nan):
        with pytest.raises(ValueError, match="lam"):
            nosk.drt(f, z, lam=bad)
    with pytest.raises(ValueError, match="not complex"):
        nosk.simulate("R0", [1.0], f + 1j)
    with pytest.raises(ValueError, match="at most 4096"):
        nosk.simulate("-".join(["R(p1)"] * 1000), [1.0], f)
    tiny = z * 1e-312
    for call in (lambda: nosk.fit("R0-p(R1,C1)", f, tiny, [10, 80, 2e-5]), lambda: nosk.kk(f, tiny),
                 lambda: nosk.zhit(f, tiny), lambda: nosk.drt(f, tiny)):
        with pytest.raises(ValueError, match="subnormal|smallest normal"):
            call()
