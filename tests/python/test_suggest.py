"""nosk.suggest: the ranked circuits of noskrun --suggest as dictionaries."""

import numpy as np
import pytest

import nosk


def _two_arcs(noise=0.001, seed=3):
    f = np.logspace(5, -1, 50)
    w = 2 * np.pi * f
    z = 5.0 + 40.0 / (1 + 40.0 * 2e-5 * (1j * w) ** 0.85) + 90.0 / (1 + 90.0 * 3e-3 * (1j * w) ** 0.75)
    rng = np.random.default_rng(seed)
    z = z + noise * np.abs(z) * (rng.standard_normal(z.size) + 1j * rng.standard_normal(z.size))
    return f, z


def test_suggest_ranks_the_circuit_that_made_the_data_first():
    f, z = _two_arcs()
    s = nosk.suggest(f, z, top=3)
    assert s["points"] == 50
    assert 0.0005 < s["noise"] < 0.002
    assert len(s["candidates"]) == 3
    best = s["candidates"][0]
    assert best["label"] == "R-(RQ)x2"
    assert best["circuit"] == "R(p1)-par(R(p2),Q(p3,p4))-par(R(p5),Q(p6,p7))"
    values = {p["name"]: p["value"] for p in best["parameters"]}
    assert values["Rs"] == pytest.approx(5.0, rel=0.05)
    assert values["R1"] + values["R2"] == pytest.approx(130.0, rel=0.02)
    assert [c["rank"] for c in s["candidates"]] == [1, 2, 3]
    assert all(c["bic"] >= best["bic"] or c["undetermined"] > 0 for c in s["candidates"][1:])


def test_suggest_refuses_what_cannot_be_ranked():
    with pytest.raises(ValueError):
        nosk.suggest([1.0, 2.0, 3.0], [1 + 0j, 2 + 0j, 3 + 0j])
