"""A series of spectra fitted as one: nosk.fit_series."""

import os
from typing import Dict, List, Mapping, Optional, Sequence, Union

from . import _nosk

_Path = Union[str, os.PathLike]


class SeriesResult:
    """The joint fit of a series.

    ``parameters``: the shared values and the functions' coefficients (``P4.Ea``), each a dict
    with ``name``, ``role``, ``value``, ``std_dev``, ``ci95`` and ``status``. ``table``: a column
    per field (``covariate``, ``S``, ``P4``, ``P4 std dev``, ``P4 status``, ...), a row per
    spectrum, so ``pandas.DataFrame(result.table)`` is the table. ``tests``: the test of the roles
    (``f_statistic``, ``p_value``, ``aic_joint``, ``aic_independent``, ``bic_joint``,
    ``bic_independent``, ``verdict`` and ``parameters``, the test of freeing each alone).
    """

    def __init__(self, d: dict):
        self.parameters: List[dict] = d["parameters"]
        self.table: Dict[str, list] = d["table"]
        self.tests: dict = d["tests"]
        self.S: float = d["S"]
        self.converged: bool = d["converged"]
        self.fit_end: str = d["fit_end"]
        self.single_fit: bool = d["single_fit"]
        self.notes: List[str] = d["notes"]

    def parameter(self, name: str) -> dict:
        """The shared value or coefficient named ``name`` ("P1", "P4.Ea")."""
        for p in self.parameters:
            if p["name"] == name:
                return p
        raise KeyError(name)

    def __repr__(self) -> str:
        return "SeriesResult(%d spectra, S=%g, %s)" % (len(self.table["S"]), self.S, self.tests.get("verdict", ""))


def fit_series(jobs: Sequence, covariate: Sequence[float], shared: Sequence[Union[int, str]] = (),
               vary: Optional[Mapping[Union[int, str], str]] = None, unit: str = "", starts: int = 4,
               test_each: bool = True, circuits_file: Optional[_Path] = None) -> SeriesResult:
    """Fits a series of jobs (nosk.Job or job files, one model) as one, as ``noskrun --series``.

    ``covariate``: a value per job (a temperature in K for ``arrhenius`` and ``vft``).
    ``shared``: the parameters with one value for the series (``[1, 3]`` or ``["P1", "P3"]``).
    ``vary``: the parameters that follow a function of the covariate, ``{4: "arrhenius"}``
    (``arrhenius``, ``vft``, ``linear``, ``quadratic``, ``exponential``). Every other free
    parameter is local. Raises ValueError naming the job or the parameter it cannot fit.
    """
    def number(p):
        s = str(p)
        return int(s[1:] if s[:1] in "pP" else s)

    loaded = [_nosk.load_job(os.fspath(j)) if isinstance(j, (str, os.PathLike)) else j for j in jobs]
    labels = [os.fspath(j) if isinstance(j, (str, os.PathLike)) else "job %d" % (i + 1)
              for i, j in enumerate(jobs)]
    roles = {number(p): "shared" for p in shared}
    for p, f in (vary or {}).items():
        roles[number(p)] = f
    cf = "" if circuits_file is None else os.fspath(circuits_file)
    return SeriesResult(_nosk.fit_series(loaded, [float(x) for x in covariate], roles, labels, unit, starts,
                                         test_each, cf))
