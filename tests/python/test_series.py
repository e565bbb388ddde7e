"""nosk.fit_series: a synthetic Arrhenius series recovered, its table, and a refusal."""

import os

import numpy as np
import pytest

import nosk

SOURCE = os.environ.get("NOSK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
KB = 8.617333262e-5


def _series():
    base = nosk.load_job(os.path.join(SOURCE, "fittests", "CKT.S", "SBAT.TST"))
    f = np.logspace(0, 6, 31)
    rng = np.random.default_rng(3)
    jobs, temps = [], [280.0, 300.0, 320.0]
    for T in temps:
        r1 = 100 * np.exp(0.5 / KB * (1 / T - 1 / 300))
        z = nosk.simulate("R(p1)-par(R(p2), Q(p3,p4))", [5, r1, 1e-6, 0.8], f)
        z = z + np.abs(z) * 0.005 * (rng.standard_normal(len(f)) + 1j * rng.standard_normal(len(f)))
        job = nosk.load_job(os.path.join(SOURCE, "fittests", "CKT.S", "SBAT.TST"))
        job.FREQ, job.DATA1, job.DATA2, job.M = f, z.real, z.imag, len(f)
        p = np.zeros(50)
        p[[0, 3, 4, 5]] = [7, 150, 1e-6, 0.8]
        job.P = p
        job.NFREE = [1, 0, 0, 1, 1, 1] + [0] * 44
        job.IRCH = 3
        jobs.append(job)
    assert base.FUN == "S"
    return jobs, temps


def test_fit_series_recovers_an_activation_energy():
    jobs, temps = _series()
    r = nosk.fit_series(jobs, temps, shared=["P1", 6], vary={4: "arrhenius"}, unit="K")
    ea = r.parameter("P4.Ea")
    assert ea["status"] == "determined"
    assert abs(ea["value"] - 0.5) < 4 * ea["std_dev"]
    assert ea["ci95"][0] < ea["value"] < ea["ci95"][1]
    assert r.tests["available"] and 0 <= r.tests["p_value"] <= 1
    assert {t["name"] for t in r.tests["parameters"]} == {"P1", "P4", "P6"}
    # The table is a column per field, a row per spectrum.
    assert r.table["covariate"] == temps and len(r.table["P5"]) == 3 and len(r.table["P4 status"]) == 3
    pd = pytest.importorskip("pandas")
    assert pd.DataFrame(r.table).shape[0] == 3


def test_fit_series_refuses_a_function_on_a_fixed_parameter():
    jobs, temps = _series()
    with pytest.raises(ValueError, match="P2 is fixed"):
        nosk.fit_series(jobs, temps, vary={"P2": "arrhenius"})
    with pytest.raises(ValueError, match="no role"):
        nosk.fit_series(jobs, temps, vary={4: "sigmoid"})
