"""The notebook workflow: inputs refused with their reason, honest results,
results that save, load and plot, many spectra at once, the Job object, and
the examples in the docstrings."""

import doctest
import os
import pickle
import subprocess
import sys
import warnings

import numpy as np
import pytest

import nosk
import nosk._circuits
import nosk._job
import nosk._results

SOURCE = os.environ.get("NOSK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
BATTERY = os.path.join(SOURCE, "tests", "data", "battery-eis.txt")
RC = "R0-p(R1,C1)"
F = np.logspace(-2, 5, 50)
Z_RC = nosk.simulate(RC, [10, 100, 1e-5], F)


def _noisy(z, level, seed):
    rng = np.random.default_rng(seed)
    return z + level * np.abs(z) * (rng.standard_normal(len(z)) + 1j * rng.standard_normal(len(z)))


@pytest.mark.parametrize("call,match", [
    (lambda: nosk.fit(RC, F, Z_RC, [10, 100]), r"2 start values for circuit 'R0-p\(R1,C1\)', which takes 3 "
                                               r"parameters: R0, R1, C1"),
    (lambda: nosk.fit(RC, F, Z_RC, [10, 100, 1e-5, 1]), "4 start values .* takes 3"),
    (lambda: nosk.fit("S", F, Z_RC, [1] * 10), r"takes 11 parameters: p1, p2 \(not used\), p3"),
    (lambda: nosk.fit(RC, F, Z_RC, [10, 100, 1e-5], free=[1, 1]), "2 free codes"),
    (lambda: nosk.fit(RC, F, Z_RC, [10, 100, 1e-5], limits=[None] * 4), "4 limits"),
    (lambda: nosk.fit(RC, F, np.abs(Z_RC), [10, 100, 1e-5]), "real numbers .* lost the phase"),
    (lambda: nosk.fit(RC, F, Z_RC, [10, 100, 1e-5], fixed={"R9": 1}), r"no parameter 'R9' .* R0, R1, C1"),
    (lambda: nosk.simulate(RC, [10, 100], F), "2 parameters for circuit .* takes 3"),
    (lambda: nosk.simulate("R(p1)-C(p3)", [1, 1], F), r"takes 3 parameters: p1, p2 \(not used\), p3"),
    (lambda: nosk.simulate("A", [1e3, 0, 0, 1e-9, 0, 1, 1e-3, 0, 0.5, 1, 0], F), "11 parameters .* takes 20"),
    (lambda: nosk.simulate("A", [1e3, 0, 0], F), "3 parameters .* takes 20"),
    (lambda: nosk.kk(F, np.abs(Z_RC)), "real numbers"),
    (lambda: nosk.drt(F, Z_RC.real), "real numbers"),
    (lambda: nosk.fit_many(RC, F, [Z_RC, np.abs(Z_RC)], [10, 100, 1e-5]), None),
])
def test_wrong_inputs_are_refused_with_the_reason(call, match):
    if match is None:
        # In a batch a refused spectrum is a row with its error, not the end of the batch.
        with pytest.warns(nosk.NoskWarning, match="1 of 2"):
            t = call()
        assert list(t["ok"]) == [True, False] and "real numbers" in list(t["status"])[1]
        return
    with pytest.raises(ValueError, match=match):
        call()


def test_a_job_may_leave_out_trailing_distributed_elements():
    # Circuit A with N 10: its second and third DE are absent, as in 39 of the example jobs;
    # the module's fit of the same 10 parameters is the job's fit.
    path = os.path.join(SOURCE, "fittests", "CKT.A", "ADE1.TST")
    job, s = nosk.load_job(path), nosk.read(path)
    assert job.FUN == "A" and job.N == 10 and job.IRCH in nosk._WEIGHTINGS.values()
    job.validate()
    weighting = {v: k for k, v in nosk._WEIGHTINGS.items()}[job.IRCH]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", nosk.NoskWarning)
        r = nosk.fit("A", s.frequency, s.Z, job.P[:10], free=job.NFREE[:10], weighting=weighting,
                     max_evaluations=job.MAXFEV, scaling="unit" if job.MODE == 2 else "auto")
        np.testing.assert_allclose(r.params, nosk.fit_job(job).params, rtol=1e-9)


def test_fixed_by_name_holds_the_value_and_frees_the_rest():
    z = _noisy(Z_RC, 1e-3, 1)
    r = nosk.fit(RC, F, z, [5, 50, 1e-6], fixed={"R0": 9.5})
    assert r.params[0] == 9.5 and not r.free[0] and r.free[1] and r.free[2]
    whole = nosk.fit(RC, F, z, [9.5, 50, 1e-6], free=[0, 1, 1])
    np.testing.assert_array_equal(r.params, whole.params)


def test_an_early_end_and_poorly_determined_parameters_warn_and_say_why():
    with pytest.warns(nosk.NoskWarning, match="ended early"):
        r = nosk.fit(RC, F, _noisy(Z_RC, 1e-2, 2), [1, 1, 1e-3], max_evaluations=3)
    assert not r.converged and not r.ok and r.end == "maxfev"
    # Two RC elements for data of one: the second pair is poorly determined.
    # The rule, checked from the result's own numbers: a free parameter is
    # determined exactly when its relative std dev is below 1 and no other
    # follows it by more than 0.99.
    with pytest.warns(nosk.NoskWarning, match="not determined"):
        r = nosk.fit("R0-p(R1,C1)-p(R2,C2)", F, _noisy(Z_RC, 1e-3, 3), [10, 90, 1e-5, 10, 1.01e-5])
    assert r.converged and not r.ok
    c = np.nan_to_num(r.correlation - np.eye(len(r.params)), nan=0.0)
    for i in range(len(r.params)):
        expected = bool(r.rel_std_dev[i] < 1 and np.all(np.abs(c[i]) <= 0.99))
        assert r.determined[i] == expected, (r.names[i], r.rel_std_dev[i], r.undetermined[i])
        assert (r.undetermined[i] == "") == expected
    assert "*" in r.table() and any("correlation" in w or "relative std dev" in w for w in r.undetermined)
    # A clean fit warns nobody.
    with warnings.catch_warnings():
        warnings.simplefilter("error", nosk.NoskWarning)
        assert nosk.fit(RC, F, _noisy(Z_RC, 1e-3, 4), [5, 50, 1e-6]).ok


def _same(a, b):
    if isinstance(a, np.ndarray):
        np.testing.assert_array_equal(a, b)
    elif isinstance(a, float) and np.isnan(a):
        assert np.isnan(b)
    elif isinstance(a, list) and a and hasattr(a[0], "to_dict"):
        assert [x.to_dict() for x in a] == [x.to_dict() for x in b]
    else:
        assert a == b


def test_results_save_and_load_back_equal(tmp_path):
    s = nosk.read(BATTERY)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", nosk.NoskWarning)
        fitted = nosk.fit("S", s.frequency, s.Z, [0.015, 0, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5],
                          limits=[None] * 10 + [(0, 1)])
    results = [fitted, nosk.kk(s.frequency, s.Z), nosk.zhit(s.frequency, s.Z),
               nosk.drt(s.frequency, s.Z, band=True)]
    for k, r in enumerate(results):
        path = tmp_path / f"r{k}.json"
        r.save(path)
        back = nosk.load(path)
        assert type(back) is type(r)
        for name in r.__dataclass_fields__:
            _same(getattr(r, name), getattr(back, name))
    np.testing.assert_array_equal(nosk.load(tmp_path / "r0.json").predict([1e3, 1e4]), fitted.predict([1e3, 1e4]))
    (tmp_path / "other.json").write_text('{"a": 1}')
    with pytest.raises(ValueError, match="not a saved result"):
        nosk.load(tmp_path / "other.json")
    with pytest.raises(FileNotFoundError):
        nosk.load(tmp_path / "missing.json")


def test_fit_many_gives_what_a_loop_of_fit_gives():
    Zs = [_noisy(nosk.simulate(RC, [10, R, 1e-5], F), 1e-3, k) for k, R in enumerate((30, 60, 120, 240, 480))]
    start = [5, 80, 1e-6]
    loop = [nosk.fit(RC, F, z, start) for z in Zs]
    for threads in (1, 2):
        t = nosk.fit_many(RC, F, Zs, start, threads=threads)
        for k, r in enumerate(loop):
            np.testing.assert_array_equal(t.attrs["results"][k].params, r.params)
            assert list(t["R1"])[k] == r.params[1] and list(t["R1 std dev"])[k] == r.std_dev[1]
            assert list(t["end"])[k] == r.end and list(t["status"])[k] == "ok"
    # A chain starts each fit from the one before: the same as a loop that does so.
    chained = nosk.fit_many(RC, F, Zs, start, chain=True)
    p0 = start
    for k, z in enumerate(Zs):
        r = nosk.fit(RC, F, z, p0)
        np.testing.assert_array_equal(chained.attrs["results"][k].params, r.params)
        p0 = r.params
    # Spectra read from files bring their own frequencies.
    s = nosk.read(BATTERY)
    with pytest.warns(nosk.NoskWarning):
        t = nosk.fit_many("R0-L0-p(R1,CPE1)-p(R2,CPE2)-CPE3", None, [s, s],
                          [0.015, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5])
    assert list(t["name"]) == ["battery-eis.txt"] * 2 and list(t["S"])[0] == list(t["S"])[1]


def test_fit_many_without_pandas_gives_the_same_table(monkeypatch):
    Zs = [nosk.simulate(RC, [10, R, 1e-5], F) for R in (50, 100)]
    with_pandas = nosk.fit_many(RC, F, Zs, [5, 80, 1e-6])
    monkeypatch.setitem(sys.modules, "pandas", None)   # import pandas now fails
    table = nosk.fit_many(RC, F, Zs, [5, 80, 1e-6])
    assert isinstance(table, nosk.FitTable) and repr(table) == "<FitTable: 2 spectra, 2 ok>"
    for name in ("R0", "R1", "C1", "S", "ok", "end"):
        assert list(table[name]) == list(with_pandas[name])
    assert "R1 std dev" in str(table).splitlines()[0]


def test_job_is_a_python_object(tmp_path):
    job = nosk.load_job(os.path.join(SOURCE, "fittests", "CKT.S", "SBAT.TST"))
    assert isinstance(job, nosk.Job) and "circuit 'S'" in repr(job)
    # The parameter arrays write through; the columns refuse item assignment.
    job.P[0] = 123.0
    job.NFREE[1] = 1
    assert job.P[0] == 123.0 and job.NFREE[1] == 1
    with pytest.raises(ValueError, match="read-only"):
        job.DATA1[0] = 1.0
    with pytest.raises(ValueError, match="DINP = 'Q'"):
        job.DINP = "Q"
    # A circuit string in FUN's place, fitted as such; a bad one refused at once.
    f, z = job.FREQ, job.DATA1 + 1j * job.DATA2
    job = nosk.Job.from_fit(nosk.fit("R0-p(R1,C1)", F, _noisy(Z_RC, 1e-3, 5), [5, 50, 1e-6]))
    assert job.FUN == "R0-p(R1,C1)" and job.definition == "R(p1)-par(R(p2), C(p3))"
    with pytest.raises(ValueError, match="column"):
        job.FUN = "R(p1)-par(R(p2)"
    # Pickling keeps everything, the circuit string too.
    back = pickle.loads(pickle.dumps(job))
    assert repr(back) == repr(job)
    for name in nosk._job._FIELDS + nosk._job._ARRAYS + nosk._job._COLUMNS:
        _same(np.asarray(getattr(job, name)) if name in nosk._job._ARRAYS else getattr(job, name),
              np.asarray(getattr(back, name)) if name in nosk._job._ARRAYS else getattr(back, name))
    np.testing.assert_array_equal(nosk.fit_job(back).params, nosk.fit_job(job).params)
    # A .TST holds a letter: the circuit string goes to a CIRCUITS file, and the
    # engine's own reader finds it there.
    with pytest.raises(ValueError, match="circuits_file"):
        nosk.save_job(job, tmp_path / "RC.TST")
    nosk.save_job(job, tmp_path / "RC.TST", circuits_file=tmp_path / "CIRCUITS")
    saved = nosk.load_job(tmp_path / "RC.TST")
    via_file = nosk.fit_job(saved, circuits_file=tmp_path / "CIRCUITS")
    np.testing.assert_allclose(via_file.params, nosk.fit_job(job).params, rtol=1e-9)
    # It predicts the circuit it fitted, not the built-in one of its letter,
    # and still does after a save and a load.
    np.testing.assert_allclose(via_file.predict(), via_file.model, rtol=1e-12)
    via_file.save(tmp_path / "fit.json")
    np.testing.assert_allclose(nosk.load(tmp_path / "fit.json").predict(), via_file.model, rtol=1e-12)
    os.remove(tmp_path / "fit.json")
    # A hand-filled job that would not read back is refused; the old file stays.
    before = (tmp_path / "RC.TST").read_bytes()
    bad = nosk.Job()
    bad.FUN = "S"
    bad.N = 11
    bad.M = 3
    with pytest.raises(ValueError, match="FREQ is missing: M is 3"):
        nosk.save_job(bad, tmp_path / "RC.TST")
    bad.FREQ, bad.DATA1, bad.DATA2 = [1.0, 2.0, 3.0], [1.0, 1.0, 1.0], [0.0, 0.0, 0.0]
    bad.N = 4
    with pytest.raises(ValueError, match="N = 4: circuit 'S' uses 11"):
        nosk.save_job(bad, tmp_path / "RC.TST")
    assert (tmp_path / "RC.TST").read_bytes() == before
    assert sorted(os.listdir(tmp_path)) == ["CIRCUITS", "RC.TST"]
    # Every field says what it is.
    for name in nosk._job._FIELDS + nosk._job._ARRAYS + nosk._job._COLUMNS:
        doc = getattr(nosk.Job, name).__doc__
        assert doc and doc.strip() != name and len(doc) > 20, name


def test_plots_return_their_axes_and_nothing_heavy_loads_with_nosk():
    run = subprocess.run([sys.executable, "-c", "import sys, nosk; print(sorted(m for m in "
                          "('matplotlib', 'pandas') if m in sys.modules))"],
                         capture_output=True, text=True, env=dict(os.environ))
    assert run.returncode == 0 and run.stdout.strip() == "[]", run.stderr
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    r = nosk.fit(RC, F, _noisy(Z_RC, 1e-3, 6), [5, 50, 1e-6])
    assert r.plot().get_xlabel() == "Z' / Ohm"
    assert len(r.plot("bode")) == 2
    assert "residual" in r.plot("residuals").get_ylabel()
    with pytest.raises(ValueError, match="kind"):
        r.plot("polar")
    assert nosk.kk(F, Z_RC).plot().get_xscale() == "log"
    assert len(nosk.zhit(F, Z_RC).plot()) == 2
    assert nosk.drt(F, Z_RC, band=True).plot().get_xlabel() == "tau / s"
    import matplotlib.pyplot as plt
    plt.close("all")


def test_smaller_items():
    with pytest.raises(FileNotFoundError):
        nosk.read("no-such-file.csv")
    # Three points are too few for the Kramers-Kronig test to call anything valid.
    k = nosk.kk(F[::20], Z_RC[::20])
    assert not k.valid and "too few points" in k.verdict
    np.testing.assert_array_equal(nosk.kk(F, Z_RC).frequency, F)
    # The same CPE has the same unit written as a letter circuit, a definition
    # and an impedance.py string; unused parameters still have names.
    f = np.logspace(-1, 4, 30)
    z = nosk.simulate("R0-p(R1,CPE1)", [10, 100, 1e-5, 0.9], f)
    by_string = nosk.fit("R0-p(R1,CPE1)", f, z, [5, 50, 2e-5, 0.8])
    by_definition = nosk.fit("R(p1)-par(R(p2), Q(p3, p4))", f, z, [5, 50, 2e-5, 0.8])
    assert by_string.units == by_definition.units == ["Ohm", "Ohm", "Ohm^-1 s^alpha", ""]
    s = nosk.read(BATTERY)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", nosk.NoskWarning)
        r = nosk.fit("S", s.frequency, s.Z, [0.015, 0, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5])
    assert all(r.names) and r.roles[1] == "" and "p2" not in r.table()
    assert len(repr(r)) < 200 and "<table>" in r._repr_html_()
    assert len(repr(nosk.drt(s.frequency, s.Z))) < 200


def test_the_quickstart_uses_public_names_only():
    for name in ("quickstart.py",) + tuple(sorted(os.listdir(os.path.join(SOURCE, "examples", "python")))):
        text = open(os.path.join(SOURCE, "examples", "python", name)).read()
        assert "nosk._" not in text, name


@pytest.mark.parametrize("module", [nosk, nosk._results, nosk._job, nosk._circuits])
def test_docstring_examples(module):
    result = doctest.testmod(module, optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE)
    assert result.failed == 0 and result.attempted > 0


def test_every_public_function_shows_an_example():
    import inspect
    missing = [name for name in nosk.__all__ if inspect.isfunction(getattr(nosk, name))
               and ">>>" not in (getattr(nosk, name).__doc__ or "")
               and ">>>" not in (nosk.save_job.__doc__ if name == "load_job" else "")]
    assert missing == []


@pytest.mark.parametrize("script", ["quickstart.py", "validation.py", "drt.py", "many_spectra.py"])
def test_example_scripts_run(script, tmp_path):
    run = subprocess.run([sys.executable, os.path.join(SOURCE, "examples", "python", script)], cwd=tmp_path,
                         capture_output=True, text=True, timeout=300,
                         env=dict(os.environ, MPLBACKEND="Agg",
                                  PYTHONPATH=os.path.dirname(os.path.dirname(os.path.abspath(nosk.__file__)))))
    assert run.returncode == 0, run.stderr[-2000:]


def test_the_type_stubs_name_what_the_extension_has():
    import re
    stub = open(os.path.join(os.path.dirname(nosk.__file__), "_nosk.pyi")).read()
    declared = set(re.findall(r"^def (\w+)", stub, re.M))
    compiled = {name for name in dir(nosk._nosk) if not name.startswith("_") and callable(getattr(nosk._nosk, name))}
    assert declared | {"Job"} == compiled
    fields = set(re.findall(r"^    (\w+): ", stub, re.M))
    job_fields = {name for name in dir(nosk._nosk.Job) if not name.startswith("_")}
    assert fields == job_fields
