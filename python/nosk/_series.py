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
    parameter is local. A job whose FUN is a circuit string (``nosk.Job.from_fit``) is fitted with
    that circuit; every job of a series must then have the same one. Raises ValueError naming the
    job or the parameter it cannot fit.

    >>> import nosk, numpy as np
    >>> f, T = np.logspace(-1, 5, 40), [280.0, 300.0, 320.0]
    >>> jobs = []
    >>> for t in T:   # R1 falls as the temperature rises: Arrhenius with Ea 0.5 eV
    ...     z = nosk.simulate("R0-p(R1,C1)", [10, 100 * np.exp(0.5 / 8.617333e-5 * (1 / t - 1 / 300)), 1e-5], f)
    ...     jobs.append(nosk.Job.from_fit(nosk.fit("R0-p(R1,C1)", f, z, [8, 90, 2e-5])))
    >>> r = nosk.fit_series(jobs, T, shared=["P1", "P3"], vary={2: "arrhenius"}, unit="K")
    >>> round(r.parameter("P2.Ea")["value"], 3)
    0.5
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
    definitions = {getattr(j, "definition", None) for j in loaded}
    if definitions != {None}:
        # A circuit string goes to the engine as a CIRCUITS file that defines
        # the job's letter, as save_job writes it.
        if len(definitions) > 1:
            raise ValueError("the jobs of a series must have one circuit: " +
                             ", ".join(sorted(repr(getattr(j, "FUN", "")) for j in loaded)))
        if cf:
            raise ValueError("circuits_file= and a circuit string in FUN: give one of them")
        import tempfile
        definition = next(iter(definitions))
        letters = {_nosk.Job.FUN.__get__(j) for j in loaded}
        with tempfile.TemporaryDirectory() as folder:
            cf = os.path.join(folder, "CIRCUITS")
            with open(cf, "w", encoding="utf-8") as out:
                for letter in letters:
                    out.write(f"{letter} = {definition}\n")
            return SeriesResult(_nosk.fit_series(loaded, [float(x) for x in covariate], roles, labels, unit, starts,
                                                 test_each, cf))
    return SeriesResult(_nosk.fit_series(loaded, [float(x) for x in covariate], roles, labels, unit, starts,
                                         test_each, cf))
