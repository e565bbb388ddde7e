"""NOSK in Python: fit impedance spectra with the NOSK engine in-process.

The functions here run the same code as the engine program ``noskwin`` (the
circuit language, the fifteen built-in circuits, the distributed elements
with their exact Jacobian, MINPACK's Levenberg-Marquardt and the statistics),
read every instrument file the organiser imports and the ``.TST`` job format.

>>> import nosk, numpy as np
>>> f = np.logspace(-2, 5, 50)                       # Hz
>>> Z = nosk.simulate("R0-p(R1,CPE1)", [10, 100, 1e-5, 0.9], f)   # ohm
>>> r = nosk.fit("R0-p(R1,CPE1)", f, Z, start=[5, 50, 1e-6, 0.8])
>>> r.ok, r.names
(True, ['R0', 'R1', 'CPE1_0', 'CPE1_1'])

With a measured file: ``s = nosk.read("battery-eis.txt")`` and
``nosk.fit("S", s.frequency, s.Z, start)``.

A circuit is a letter A-T (the built-in circuits), a definition in the
engine's circuit language (``"R(p1)-par(R(p2), Q(p3, p4))"``) or an
impedance.py circuit string (``"R0-p(R1,CPE1)"``; see
:func:`circuit_from_impedance_py` for the element mapping).

Results print their table, show it in a notebook, plot themselves
(``r.plot()``), evaluate the fitted circuit (``r.predict(f)``) and save to
JSON that :func:`load` reads back. :func:`fit_many` fits many spectra on all
cores. The GIL is released while the engine works, so threads fit spectra in
parallel.
"""

from __future__ import annotations

import os
import warnings
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field
from typing import Any, Dict, Iterable, List, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

from . import _nosk
from ._circuits import Translation, circuit_from_impedance_py, looks_like_impedance_py
from ._job import Job
from ._job import _as_job
from ._job import save as _save_job
from ._results import DrtPeak, DrtResult, FitResult, KKResult, NoskWarning, ZhitResult, load

__all__ = [
    "Job",
    "Spectrum",
    "FitResult",
    "FitTable",
    "KKResult",
    "NoskWarning",
    "Translation",
    "read",
    "simulate",
    "fit",
    "fit_many",
    "fit_job",
    "kk",
    "zhit",
    "ZhitResult",
    "drt",
    "DrtResult",
    "DrtPeak",
    "load",
    "load_job",
    "save_job",
    "circuit_from_impedance_py",
    "circuit_definition",
    "parameter_roles",
    "suggest",
]

# Weighting names and the engine's IRCH codes.
_WEIGHTINGS = {"unit": 1, "proportional": 2, "modulus": 3, "model": -2}


@dataclass
class Spectrum:
    """One impedance spectrum: frequency in Hz, Z = Z' + jZ'' in ohm."""

    frequency: np.ndarray
    Z: np.ndarray
    name: str
    format: str
    label: str = ""
    skipped: int = 0
    spectrum: int = 0
    spectra: int = 1
    warnings: List[str] = field(default_factory=list)
    metadata: Dict[str, str] = field(default_factory=dict)


def _path(path: Union[str, os.PathLike]) -> str:
    p = os.fspath(path)
    if os.path.isdir(p):
        raise IsADirectoryError(f"{p} is a folder, not a file")
    if not os.path.exists(p):
        raise FileNotFoundError(f"no such file: {p}")
    return p


def read(path: Union[str, os.PathLike], spectrum: Optional[int] = None) -> Spectrum:
    """Reads one impedance spectrum from an instrument file or a ``.TST`` job.

    Instrument files are every format the organiser imports (plain CSV/TSV,
    Gamry DTA, EC-Lab text and .mpr, ZPlot, Autolab, CH Instruments, Parstat,
    PowerSuite, VersaStudio, Zahner .ism, Solartron .fra). ``frequency`` is
    in Hz and ``Z`` = Z' + jZ'' in ohm; ``metadata`` holds what the file says
    about the measurement (technique, date, potential, temperature, ...).
    ``spectrum`` picks one of several spectra in a file (from 0; the first
    by default). A job's data lines are converted to Z in Hz whatever level
    and format they are written in. A missing file raises FileNotFoundError.

    >>> import nosk, os, tempfile
    >>> path = os.path.join(tempfile.mkdtemp(), "cell.csv")
    >>> _ = open(path, "w").write("freq,zre,zim\\n1000,10.5,-1.2\\n100,12,-8\\n10,30,-20\\n")
    >>> s = nosk.read(path)
    >>> s.frequency, s.Z
    (array([1000.,  100.,   10.]), array([10.5 -1.2j, 12.  -8.j , 30. -20.j ]))
    """
    p = _path(path)
    d = _nosk.read_spectrum(p, 0 if spectrum is None else int(spectrum))
    warnings_ = []
    if d["skipped"]:
        warnings_.append(f"{d['skipped']} rows skipped (frequency 0 or a value missing)")
    return Spectrum(frequency=d["frequency"], Z=d["Z"], name=os.path.basename(p), format=d["format"],
                    label=d["label"], skipped=d["skipped"], spectrum=d["spectrum"], spectra=d["spectra"],
                    warnings=warnings_, metadata=d["metadata"])


# The longest circuit text the engine's parser takes (kMaxDefinitionLength in model/Circuit.cpp).
_MAX_CIRCUIT_LENGTH = 4096


def _engine_circuit(circuit: str) -> Tuple[str, Optional[Translation]]:
    """The circuit in the engine's terms, with impedance.py names when it came from there."""
    if not isinstance(circuit, str) or not circuit.strip():
        raise ValueError("a circuit (a letter, a definition or an impedance.py string) is expected")
    c = circuit.strip()
    if len(c) > _MAX_CIRCUIT_LENGTH:
        raise ValueError(f"the circuit is {len(c)} characters long; a circuit takes at most {_MAX_CIRCUIT_LENGTH}")
    if looks_like_impedance_py(c):
        t = circuit_from_impedance_py(c)
        return t.text, t
    return c, None


def _roles(text: str, t: Optional[Translation]) -> List[str]:
    if t is not None:
        return [f"{n}" for n in t.names]
    roles = _nosk.parameter_roles(text)
    n = max((number for number, _ in roles), default=0)
    out = [""] * n
    for number, role in roles:
        out[number - 1] = role
    return out


def _accepts_count(count: int, text: str, t: Optional[Translation]) -> bool:
    """Whether the circuit takes `count` parameters: all it uses, or fewer when those left out
    are only whole distributed elements, parameters and selector (a DE whose selector is
    beyond the count is absent, as in a job with a smaller N)."""
    roles = _roles(text, t)
    if count == len(roles):
        return True
    if t is not None or not 0 < count < len(roles):
        return False
    last = roles[count - 1]
    return (all(r == "" or r.startswith("DE") for r in roles[count:])
            and (last == "DE selector" or not last.startswith("DE")))


def parameter_roles(circuit: str) -> List[str]:
    """What each parameter p1, p2, ... of a circuit means ("" where the circuit does not use it).

    >>> import nosk
    >>> nosk.parameter_roles("R(p1)-par(R(p2), Q(p3, p4))")
    ['R', 'R', 'Q (Q)', 'Q (alpha)']
    """
    return _roles(*_engine_circuit(circuit))


def circuit_definition(circuit: str) -> str:
    """The circuit in the circuit language: a letter's definition, or the translation of an
    impedance.py string.

    >>> import nosk
    >>> nosk.circuit_definition("R0-p(R1,CPE1)")
    'R(p1)-par(R(p2), Q(p3, p4))'
    """
    text, _ = _engine_circuit(circuit)
    return _nosk.circuit_definition(text)


# The unit of each role; the same names as the impedance.py translation gives.
_UNITS = {"R": "Ohm", "C": "F", "L": "H", "Q (Q)": "Ohm^-1 s^alpha", "Q (alpha)": "",
          "W": "Ohm s^-1/2", "Ws (R)": "Ohm", "Ws (tau)": "s", "Wo (R)": "Ohm", "Wo (tau)": "s",
          "G (Z0)": "Ohm s^-1/2", "G (k)": "1/s", "E": ""}


def _unit_of(role: str) -> str:
    return _UNITS.get(role.split(";")[0].strip(), "")


def _names_units(text: str, t: Optional[Translation], n: int) -> Tuple[List[str], List[str], List[str]]:
    """Names, units and roles of p1 ... pn ("" role: the circuit does not use it)."""
    if t is not None:
        return list(t.names), list(t.units), list(t.names)
    roles = _roles(text, None)
    roles += [""] * (n - len(roles))
    return [f"p{i + 1}" for i in range(n)], [_unit_of(r) for r in roles[:n]], roles[:n]


def _array(values, name: str, dtype=float) -> np.ndarray:
    if dtype is float and np.iscomplexobj(np.asarray(values)):
        raise ValueError(f"{name} must be real numbers, not complex")
    a = np.asarray(values, dtype=dtype)
    if a.ndim != 1:
        raise ValueError(f"{name} must be one-dimensional")
    return a


def _impedance(Z, name: str = "Z") -> np.ndarray:
    """Z as complex numbers; a real array is refused, since it has lost the phase."""
    a = np.asarray(Z)
    if not np.iscomplexobj(a):
        raise ValueError(f"{name} holds real numbers ({a.dtype}); the complex impedance Z' + 1j*Z'' is needed "
                         f"(np.abs(Z) or Z.real have lost the phase, which the fit and the tests use)")
    return _array(a, name, complex)


def _check_count(what: str, count: int, circuit: str, text: str, t: Optional[Translation]) -> None:
    if not _accepts_count(count, text, t):
        roles = _roles(text, t)
        names, _, _ = _names_units(text, t, len(roles))
        listed = ", ".join(n if r else f"{n} (not used)" for n, r in zip(names, roles))
        raise ValueError(f"{count} {what} for circuit {circuit!r}, which takes {len(roles)} parameters: {listed}")


def simulate(circuit: str, params: Sequence[float], frequency: Sequence[float]) -> np.ndarray:
    """The circuit's impedance (complex, ohm) at the frequencies (Hz) for the parameters p1, p2, ...

    The number of parameters must be the circuit's (a ValueError names them).

    >>> import nosk
    >>> nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], [1e-3, 1e6]).round(3)   # R0 + R1, then R0
    array([110.-0.001j,  10.-0.016j])
    """
    text, t = _engine_circuit(circuit)
    p = _array(params, "params")
    _check_count("parameters", len(p), circuit, text, t)
    return _nosk.simulate(text, p, _array(frequency, "frequency"))


# Weighting names and the engine's IRCH codes.
_WEIGHTINGS = {"unit": 1, "proportional": 2, "modulus": 3, "model": -2}

# Where a fit counts its parameters as poorly determined, as the viewer marks them.
_REL_STD_DEV_LIMIT = 1.0
_CORRELATION_LIMIT = 0.99


@dataclass
class _FitRequest:
    """A checked fit: everything the engine needs, and what the result keeps."""

    circuit: str
    text: str
    t: Optional[Translation]
    start: np.ndarray
    codes: List[int]
    irch: int
    sigma: Optional[np.ndarray]
    max_evaluations: int
    mode: int
    lower: Optional[np.ndarray]
    upper: Optional[np.ndarray]
    weighting: str
    intervals: str = ""      # "", "profile" or "bootstrap"
    level: float = 0.95

    def run(self, f: np.ndarray, z: np.ndarray, start: Optional[np.ndarray] = None) -> FitResult:
        p0 = self.start if start is None else start
        d = _nosk.fit(self.text, f, z, p0, self.codes, self.irch, self.sigma, self.max_evaluations, self.mode,
                      self.lower, self.upper, self.intervals, self.level)
        r = _result(self.circuit, self.t, self.text, d, f, len(p0))
        r.Z = z
        r.weighting, r.sigma, r.max_evaluations = self.weighting, self.sigma, self.max_evaluations
        r.lower, r.upper = self.lower, self.upper
        return r


def _prepare(circuit, start, free, weighting, max_evaluations, scaling, limits, fixed) -> _FitRequest:
    text, t = _engine_circuit(circuit)
    p0 = _array(start, "start").copy()
    _check_count("start values", len(p0), circuit, text, t)
    n = len(p0)
    names, _, _ = _names_units(text, t, n)
    if free is None:
        codes = [0 if v == 0 else (1 if v > 0 else 2) for v in p0]
    else:
        free = list(free)
        if len(free) != n:
            _check_count("free codes", len(free), circuit, text, t)
        codes = [int(c) if not isinstance(c, (bool, np.bool_)) else (0 if not c else (1 if v > 0 else 2))
                 for c, v in zip(free, p0)]
    if fixed:
        for name, value in dict(fixed).items():
            key = name if name in names else (f"p{name}" if isinstance(name, int) else name)
            if key not in names:
                raise ValueError(f"fixed: no parameter {name!r} in circuit {circuit!r} (its parameters: "
                                 f"{', '.join(names)})")
            i = names.index(key)
            p0[i] = float(value)
            codes[i] = 0
    sigma = None
    if isinstance(weighting, str):
        if weighting not in _WEIGHTINGS:
            raise ValueError(f"weighting {weighting!r}: one of {', '.join(_WEIGHTINGS)} or an array of sigmas")
        irch = _WEIGHTINGS[weighting]
    else:
        irch = 0
        sigma = _impedance(weighting, "weighting")
        weighting = "sigma"
    if scaling not in ("auto", "unit"):
        raise ValueError("scaling is 'auto' or 'unit'")
    if int(max_evaluations) < 3:
        raise ValueError("max_evaluations must be at least 3 for a fit")
    lower = upper = None
    if limits is not None:
        limits = list(limits)
        if len(limits) != n:
            _check_count("limits", len(limits), circuit, text, t)
        # None is no limit (infinite); a NaN the engine refuses, as in a job file.
        lower = np.full(n, -np.inf)
        upper = np.full(n, np.inf)
        for i, lim in enumerate(limits):
            if lim is None:
                continue
            lo, hi = lim
            lower[i] = -np.inf if lo is None else float(lo)
            upper[i] = np.inf if hi is None else float(hi)
    return _FitRequest(circuit, text, t, p0, codes, irch, sigma, int(max_evaluations),
                       2 if scaling == "unit" else 0, lower, upper, weighting)


def _warning_text(r: FitResult) -> str:
    """What a loop should notice about a fit, or "" for a fit that is ok."""
    parts = []
    if not r.converged:
        parts.append(f"the fit ended early ({r.reason}); the values are those of the last accepted step")
    free, determined, at_limit = r.free.tolist(), r.determined.tolist(), r.at_limit.tolist()
    poor = [f"{r.names[i]} ({r.undetermined[i]})" for i in range(len(free))
            if free[i] and not determined[i] and not at_limit[i]]
    if poor:
        parts.append("not determined by the data: " + "; ".join(poor))
    return "; ".join(parts)


def fit(circuit: str, frequency: Sequence[float], Z: Sequence[complex], start: Sequence[float],
        free: Optional[Iterable[Union[int, bool]]] = None, weighting: Union[str, Sequence[complex]] = "modulus",
        max_evaluations: int = 500, scaling: str = "auto",
        limits: Optional[Sequence[Optional[Sequence[Optional[float]]]]] = None,
        fixed: Optional[Mapping[str, float]] = None, intervals: Optional[str] = None,
        level: float = 0.95) -> FitResult:
    """Fits a circuit to an impedance spectrum by complex nonlinear least squares.

    circuit: a letter A-T, a definition in the engine's circuit language or an
        impedance.py string.
    frequency, Z: the data, Hz and complex ohm (Z'' negative for a capacitive
        cell); a real Z is refused.
    start: start values of p1, p2, ..., exactly as many as the circuit has
        parameters (a ValueError names them).
    free: the engine's free codes per parameter (0 fixed, 1 free and positive,
        2 free of any sign) or booleans; by default every parameter with a
        non-zero start is free, positive ones kept positive.
    fixed: parameters held at a value, by name: ``{"R0": 0.01}`` (names as
        ``FitResult.names`` gives them: impedance.py's, or p1, p2, ...).
    weighting: "modulus" (sigma = |Z| for both parts, for measured data),
        "proportional", "unit", "model", or an array of complex sigmas
        (sigma of Z' + 1j * sigma of Z'').
    max_evaluations: MAXFEV, at least 3.
    scaling: "auto" (MINPACK's scaling of the parameters) or "unit".
    limits: per parameter None or (lower, upper), either of them None for no
        limit, e.g. ``[None, (0.5, 1.0), (None, 1e-3)]``. The engine keeps a
        free parameter within them; one that ends held by a limit has
        ``at_limit`` True and no standard deviation.
    intervals: "profile" (profile likelihood) or "bootstrap" (500 refits to
        resampled residuals) gives ``r.intervals`` at ``level``.

    A fit that ends early, or leaves a free parameter the data do not
    determine, issues a :class:`NoskWarning` saying which; ``r.ok`` is False
    then. Raises ValueError with the reason for anything refused.

    >>> import nosk, numpy as np
    >>> f = np.logspace(-2, 5, 50)
    >>> Z = nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], f)
    >>> r = nosk.fit("R0-p(R1,C1)", f, Z, [5, 50, 1e-6], fixed={"R0": 10})
    >>> print(f"{r.params[1]:.4g} {r.units[1]}, R0 free: {bool(r.free[0])}")
    100 Ohm, R0 free: False
    >>> nosk.fit("R0-p(R1,C1)", f, Z, [5, 50])
    Traceback (most recent call last):
    ValueError: 2 start values for circuit 'R0-p(R1,C1)', which takes 3 parameters: R0, R1, C1
    """
    request = _prepare(circuit, start, free, weighting, max_evaluations, scaling, limits, fixed)
    f = _array(frequency, "frequency")
    request.intervals, request.level = intervals or "", float(level)
    r = request.run(f, _impedance(Z))
    text = _warning_text(r)
    if text:
        warnings.warn(f"{r.circuit}: {text}", NoskWarning, stacklevel=2)
    return r


def _result(circuit: str, t: Optional[Translation], text: str, d: dict, f: np.ndarray, n: int) -> FitResult:
    params = np.asarray(d["params"], dtype=float)
    free = np.zeros(n, dtype=bool)
    std = np.full(n, np.nan)
    resolved = np.zeros(n, dtype=bool)
    at_limit = np.zeros(n, dtype=bool)
    for j, i in enumerate(d["free_index"]):
        free[i] = True
        at_limit[i] = j < len(d["at_limit"]) and d["at_limit"][j] != 0
        if d["resolved"][j] and not at_limit[i]:
            resolved[i] = True
            std[i] = d["std_dev"][j]
    rel = np.full(n, np.nan)
    nonzero = params != 0
    rel[nonzero] = std[nonzero] / np.abs(params[nonzero])
    if t is not None:
        names, units, roles = _names_units(text, t, n)
    else:
        # The roles of the circuit the engine fitted (a CIRCUITS file may
        # have replaced a letter's).
        by_number = dict(d["roles"])
        roles = [by_number.get(i + 1, "") for i in range(n)]
        names, units = [f"p{i + 1}" for i in range(n)], [_unit_of(r) for r in roles]
    F = len(d["free_index"])
    corr = np.full((n, n), np.nan)
    c = np.asarray(d["correlation"]).reshape(F, F) if F else np.zeros((0, 0))
    for a, i in enumerate(d["free_index"]):
        for b, k in enumerate(d["free_index"]):
            if resolved[i] and resolved[k]:
                corr[i, k] = c[a, b]
    # A free parameter is determined when the engine resolved it, its
    # relative std dev stays below 1 and no other one follows it to within a
    # correlation of 0.99; the reason is kept for each that is not.
    determined = resolved | ~free
    why = [""] * n
    for i in range(n):
        if not free[i]:
            continue
        if at_limit[i]:
            why[i] = "held at a limit"
        elif not resolved[i]:
            why[i] = "the data do not resolve it"
        elif not rel[i] < _REL_STD_DEV_LIMIT:
            why[i] = f"relative std dev {rel[i]:.3g} reaches {_REL_STD_DEV_LIMIT:g}"
    for i in range(n):
        for k in range(n):
            if i != k and resolved[i] and resolved[k] and abs(corr[i, k]) > _CORRELATION_LIMIT:
                note = f"correlation {corr[i, k]:.4f} with {names[k]}"
                why[i] = f"{why[i]}; {note}" if why[i] else note
    for i in range(n):
        if free[i] and why[i] and not at_limit[i]:
            determined[i] = False
    # The engine's status words as the report, the viewer and the CSV show
    # them; for one at a bound, the value the others' std devs take it at.
    labels = {"determined": "determined", "undetermined": "undetermined", "ln-bound": "at bound", "limit": "at bound"}
    status = ["fixed"] * n
    given = []
    for j, i in enumerate(d["free_index"]):
        word = d["status"][j] if j < len(d.get("status", [])) else ("determined" if d["resolved"][j] else "undetermined")
        status[i] = "at bound" if at_limit[i] else labels.get(word, "undetermined")
        if status[i] == "at bound" and not at_limit[i]:
            why[i] = "at the bound of ln p: the fit holds it there, not the data"
        if status[i] == "at bound" and j < len(d.get("given", [])) and np.isfinite(d["given"][j]):
            given.append(f"P{i + 1} = {d['given'][j]:.6g}")
    return FitResult(circuit=circuit, names=names, units=units, params=params, free=free, std_dev=std,
                     rel_std_dev=rel, determined=determined, at_limit=at_limit, correlation=corr, S=d["S"],
                     sigma_f=d["sigma_f"], nu=d["nu"], quality=d["quality"], converged=d["converged"],
                     end=d["end"], reason=d["reason"], function_evaluations=d["function_evaluations"],
                     jacobian_evaluations=d["jacobian_evaluations"], frequency=f, model=d["model"],
                     undetermined=why, roles=roles, intervals=_intervals(d, n), status=status,
                     given=("given " + ", ".join(given)) if given else "")


def _intervals(d: dict, n: int) -> Optional[List[tuple]]:
    if "interval_low" not in d:
        return None
    out = [(float("nan"), float("nan"))] * n
    for j, i in enumerate(d["free_index"]):
        low, high = d["interval_low"][j], d["interval_high"][j]
        out[i] = (None if np.isinf(low) else low, None if np.isinf(high) else high)
    return out


class FitTable:
    """The fits of :func:`fit_many` without pandas: one row (a dict) per spectrum and the results.

    ``rows`` hold the spectrum's index and name, ``end``, ``ok``, ``status``
    (the warning, the error or "ok"), ``S``, and each parameter's value and
    ``<name> std dev``; ``results`` the :class:`FitResult` of each (None where
    the fit was refused). ``to_dataframe()`` makes the DataFrame that
    :func:`fit_many` returns when pandas is installed.
    """

    def __init__(self, rows: List[Dict[str, Any]], results: List[Optional[FitResult]]):
        self.rows = rows
        self.results = results
        self.attrs = {"results": results}   # where a DataFrame keeps them

    def __len__(self) -> int:
        return len(self.rows)

    def __getitem__(self, key: Union[int, str]):
        """A row by position, or a column by name (as a DataFrame gives it)."""
        if isinstance(key, str):
            if not any(key in row for row in self.rows):
                raise KeyError(key)
            return self.column(key)
        return self.rows[key]

    def column(self, name: str) -> np.ndarray:
        """One column over the spectra (NaN where a row lacks it)."""
        return np.array([row.get(name, np.nan) for row in self.rows], dtype=object if name in (
            "name", "end", "status") else None)

    def to_dataframe(self):
        """The table as a pandas DataFrame, indexed by spectrum; ``df.attrs["results"]`` the results."""
        import pandas as pd
        df = pd.DataFrame(self.rows).set_index("spectrum")
        df.attrs["results"] = self.results
        return df

    def table(self) -> str:
        keys = [k for k in self.rows[0] if k not in ("spectrum",)] if self.rows else []
        lines = ["\t".join(["spectrum"] + keys)]
        for row in self.rows:
            cells = [str(row["spectrum"])] + [f"{row[k]:.6g}" if isinstance(row.get(k), float) else str(row.get(k, ""))
                                              for k in keys]
            lines.append("\t".join(cells))
        return "\n".join(lines)

    def __str__(self) -> str:
        return self.table()

    def __repr__(self) -> str:
        ok = sum(1 for row in self.rows if row["ok"])
        return f"<FitTable: {len(self.rows)} spectra, {ok} ok>"


def _spectra(frequency, Zs) -> List[Tuple[str, Optional[np.ndarray], Optional[np.ndarray], str]]:
    """Each spectrum's name, frequencies and Z, or the reason it is refused."""
    if isinstance(Zs, np.ndarray):
        if Zs.ndim != 2:
            raise ValueError("Zs: a list of spectra, a 2-D array (one spectrum a row) or a list of nosk.Spectrum")
        items = [Zs[i] for i in range(Zs.shape[0])]
    else:
        items = list(Zs)
    per_spectrum = (frequency is not None and not isinstance(frequency, np.ndarray)
                    and len(frequency) == len(items) and len(items) > 0 and np.ndim(frequency[0]) == 1)
    out = []
    for k, item in enumerate(items):
        name = item.name if isinstance(item, Spectrum) and item.name else str(k)
        try:
            if isinstance(item, Spectrum):
                f, z = (item.frequency if frequency is None else frequency), item.Z
            else:
                if frequency is None:
                    raise ValueError("frequency is needed unless Zs are nosk.Spectrum objects")
                f, z = (frequency[k] if per_spectrum else frequency), item
            out.append((name, _array(f, "frequency"), _impedance(z, f"Zs[{k}]"), ""))
        except ValueError as e:
            out.append((name, None, None, str(e)))
    return out


def fit_many(circuit: str, frequency, Zs, start: Sequence[float], chain: bool = False,
             threads: Optional[int] = None, **options):
    """Fits one circuit to many spectra; returns a table with a row per spectrum.

    frequency: Hz, one array for all spectra or one per spectrum (None when
        ``Zs`` are :class:`Spectrum` objects, which bring their own).
    Zs: the spectra: a list of complex arrays, a 2-D array with one spectrum
        a row, or a list of :class:`Spectrum`.
    start: the start values; with ``chain=True`` each spectrum after the
        first starts from the last converged fit's values (a series that
        changes gradually), and the fits run one after the other.
    threads: how many fits run at once (all cores by default; the engine
        releases the GIL).
    options: as for :func:`fit` (free, fixed, weighting, limits, ...).

    The table is a pandas DataFrame when pandas is installed (indexed by
    spectrum; ``df.attrs["results"]`` holds each :class:`FitResult`), else a
    :class:`FitTable`. Its columns: ``name``, ``end`` (the engine's reason
    kind), ``ok``, ``status`` ("ok", the warning a fit would issue, or the
    error of a spectrum refused), ``S``, each parameter's value and
    ``<name> std dev``. A spectrum that is refused does not stop the others;
    one :class:`NoskWarning` counts the spectra that are not ok.

    >>> import nosk, numpy as np
    >>> f = np.logspace(-2, 5, 40)
    >>> Zs = [nosk.simulate("R0-p(R1,C1)", [10, R, 1e-5], f) for R in (50, 100, 200)]
    >>> t = nosk.fit_many("R0-p(R1,C1)", f, Zs, [5, 80, 1e-6])
    >>> [round(x) for x in t["R1"]]
    [50, 100, 200]
    """
    request = _prepare(circuit, start, options.pop("free", None), options.pop("weighting", "modulus"),
                       options.pop("max_evaluations", 500), options.pop("scaling", "auto"),
                       options.pop("limits", None), options.pop("fixed", None))
    if options:
        raise TypeError(f"fit_many: unexpected options {', '.join(sorted(options))}")
    spectra = _spectra(frequency, Zs)
    results: List[Optional[FitResult]] = [None] * len(spectra)
    errors: List[str] = [""] * len(spectra)

    def one(k: int, p0: Optional[np.ndarray] = None) -> None:
        _, f, z, refused = spectra[k]
        if refused:
            errors[k] = refused
            return
        try:
            results[k] = request.run(f, z, p0)
        except ValueError as e:
            errors[k] = str(e)

    if chain:
        p0 = None
        for k in range(len(spectra)):
            one(k, p0)
            r = results[k]
            if r is not None and r.converged:
                p0 = r.params.copy()
    else:
        workers = max(1, int(threads) if threads else (os.cpu_count() or 1))
        if workers == 1 or len(spectra) < 2:
            for k in range(len(spectra)):
                one(k)
        else:
            with ThreadPoolExecutor(max_workers=min(workers, len(spectra))) as pool:
                list(pool.map(one, range(len(spectra))))

    rows = []
    for k, (name, _, _, _) in enumerate(spectra):
        r = results[k]
        row: Dict[str, Any] = {"spectrum": k, "name": name}
        if r is None:
            row.update(end="error", ok=False, status=f"error: {errors[k]}", S=np.nan)
        else:
            row.update(end=r.end, ok=r.ok, status=_warning_text(r) or "ok", S=r.S)
            for i in r._shown():
                row[r.names[i]] = float(r.params[i])
            for i in r._shown():
                row[f"{r.names[i]} std dev"] = float(r.std_dev[i])
        rows.append(row)
    table = FitTable(rows, results)
    bad = sum(1 for row in rows if not row["ok"])
    if bad:
        warnings.warn(f"{circuit}: {bad} of {len(rows)} fits are not ok (see the status column)", NoskWarning,
                      stacklevel=2)
    try:
        import pandas  # noqa: F401
    except ImportError:
        return table
    return table.to_dataframe()


# nosk.fit_series (a joint fit of a series with shared parameters and
# parameters that follow a covariate) belongs here, beside fit_many, with its
# engine part in python/src.


def fit_job(job: Job, circuits_file: Optional[Union[str, os.PathLike]] = None) -> FitResult:
    """Fits a job as the engine program would (its data, weighting, codes and MAXFEV).

    ``circuits_file`` names a CIRCUITS file whose letters replace the built-in
    ones; a job whose FUN is a circuit string is fitted with that circuit.
    Issues a :class:`NoskWarning` as :func:`fit` does.

    >>> import nosk, numpy as np
    >>> f = np.logspace(-1, 4, 30)
    >>> job = nosk.Job()
    >>> job.FUN, job.N, job.MAXFEV, job.IRCH, job.FREEQ = "R0-p(R1,C1)", 3, 500, 3, "F"
    >>> job.P[:3], job.NFREE[:3] = [5, 50, 1e-6], [1, 1, 1]
    >>> job.M, job.FREQ = 30, f
    >>> Z = nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], f)
    >>> job.DATA1, job.DATA2 = Z.real, Z.imag
    >>> nosk.fit_job(job).params.round(6)
    array([1.e+01, 1.e+02, 1.e-05])
    """
    cf = "" if circuits_file is None else _path(circuits_file)
    definition = job.definition if isinstance(job, Job) and job.definition else ""
    d = _nosk.fit_job(job, cf, definition)
    f = np.asarray(job.FREQ, dtype=float)
    if job.FREEQ != "F":
        f = f / (2 * np.pi)
    try:
        z = _nosk.job_spectrum(job)[1]
    except ValueError:
        z = None  # a job that fits one component only: no complex data to keep
    if isinstance(job, Job) and job.definition:
        text, t = _engine_circuit(job.FUN)
    else:
        text, t = _nosk.Job.FUN.__get__(job), None
    r = _result(job.FUN, t, text, d, f, job.N)
    r.Z = None if z is None else np.asarray(z)
    r.max_evaluations = job.MAXFEV
    r.definition = d.get("definition", "")
    message = _warning_text(r)
    if message:
        warnings.warn(f"{r.circuit}: {message}", NoskWarning, stacklevel=2)
    return r


# The fewest points the Kramers-Kronig test judges: below them its RC
# elements, series resistance, inductance and capacitance follow any data.
_KK_MIN_POINTS = 5


def kk(frequency: Sequence[float], Z: Sequence[complex], cutoff: Optional[float] = None,
       elements: Optional[int] = None) -> KKResult:
    """The linear Kramers-Kronig test, as ``noskrun --kk`` runs it.

    By default the number of RC elements is chosen automatically (never at an
    underfit); ``cutoff`` asks for the classic rule (stop when ``mu`` falls
    below it), ``elements`` for a fixed number. ``verdict`` says valid, or
    where the data are suspicious; residuals are in % of |Z| (see
    :class:`KKResult`). A spectrum of fewer than 5 points is never "valid".

    >>> import nosk, numpy as np
    >>> f = np.logspace(-2, 5, 40)
    >>> k = nosk.kk(f, nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], f))
    >>> k.valid, bool(np.max(np.abs(k.residual_real)) < 0.1)
    (True, True)
    """
    if elements is not None and int(elements) < 1:
        raise ValueError(f"elements = {elements}: at least 1 (None chooses the number automatically)")
    if cutoff is not None and not float(cutoff) > 0:
        raise ValueError(f"cutoff = {cutoff}: above 0 (None chooses the number automatically)")
    f = _array(frequency, "frequency")
    d = _nosk.kk(f, _impedance(Z), float(cutoff or 0.0), int(elements or 0))
    r = KKResult(**d, frequency=f)
    if len(f) < _KK_MIN_POINTS and r.valid:
        r.valid = False
        r.verdict = f"too few points to judge ({len(f)}; the test needs at least {_KK_MIN_POINTS})"
    return r


def zhit(frequency: Sequence[float], Z: Sequence[complex]) -> ZhitResult:
    """The Z-HIT test (|Z| from the phase), as ``noskrun --zhit`` runs it; see :class:`ZhitResult`.

    >>> import nosk, numpy as np
    >>> f = np.logspace(-2, 5, 40)
    >>> nosk.zhit(f, nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], f)).valid
    True
    """
    return ZhitResult(**_nosk.zhit(_array(frequency, "frequency"), _impedance(Z)))


def drt(frequency: Sequence[float], Z: Sequence[complex], band: bool = False, lam: Optional[float] = None,
        derivative: int = 2, capacitance: str = "auto", seed: int = 1) -> DrtResult:
    """The distribution of relaxation times, as ``noskrun --drt`` computes it; see :class:`DrtResult`.

    Gaussians in ln tau, a penalty on the ``derivative``-th derivative, gamma >= 0,
    free R_inf and L; lambda chosen by the modified generalised cross-validation
    unless ``lam`` is given. ``band`` adds the 95 % credible band (1000 samples,
    about a quarter of a second). ``capacitance``: "auto" adds a series
    capacitance for a blocking electrode's capacitive low-frequency branch,
    "always" or "never" decide it.

    >>> import nosk, numpy as np
    >>> f = np.logspace(-2, 6, 80)
    >>> d = nosk.drt(f, 10 + 100 / (1 + (2j * np.pi * f * 1e-3) ** 0.8))
    >>> len(d.peaks), f"{d.peaks[0].tau:.1e} s"
    (1, '1.0e-03 s')
    """
    if lam is not None and not (np.isfinite(float(lam)) and float(lam) > 0):
        raise ValueError(f"lam = {lam}: a finite number above 0 (None chooses lambda automatically)")
    f = _array(frequency, "frequency")
    d = _nosk.drt(f, _impedance(Z), 1000 if band else 0, float(lam or 0.0), int(derivative), str(capacitance),
                  int(seed))
    d["peaks"] = [DrtPeak(**p) for p in d["peaks"]]
    return DrtResult(**d, frequency=f)


def suggest(frequency: Sequence[float], Z: Sequence[complex], top: int = 5) -> dict:
    """Ranked equivalent circuits for a spectrum, as ``noskrun --suggest`` ranks them.

    Returns a dict with ``points``, ``noise`` (a fraction of |Z|, from the
    Kramers-Kronig test), ``processes`` (counted by the DRT), ``tried`` and
    ``candidates``: the best ``top`` in rank order, each a dict with ``rank``,
    ``circuit`` (the definition in the circuit language), ``label``, ``S``,
    ``sigma_f``, ``bic``, ``aic``, ``undetermined``, ``tie_with`` (a rank or
    None), ``parameters`` (dicts of ``name``, ``value``, ``std_dev``, ``status``)
    and ``reason``.

    >>> import nosk, numpy as np
    >>> f = np.logspace(-1, 5, 40)
    >>> s = nosk.suggest(f, nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], f), top=3)
    >>> s["candidates"][0]["circuit"]
    'R(p1)-par(R(p2),C(p3))'
    """
    return _nosk.suggest(_array(frequency, "frequency"), _array(Z, "Z", complex), int(top))


def load_job(path: Union[str, os.PathLike]) -> Job:
    """Reads a ``.TST`` job (or INFL/OUTIN) into a :class:`Job`; see :func:`save_job` for an example."""
    return _as_job(_nosk.load_job(_path(path)))


def save_job(job: Job, path: Union[str, os.PathLike],
             circuits_file: Optional[Union[str, os.PathLike]] = None) -> None:
    """Writes a job in the ``.TST`` format that NOSKRUN opens.

    The job is checked first (:meth:`Job.validate`) and written beside its
    name, read back, and only then renamed over it: a job that would not read
    back raises ValueError and an old file stays as it was. A job whose FUN is
    a circuit string needs ``circuits_file``, into which its definition is
    written under the job's letter (a CIRCUITS file beside the job makes the
    programs fit that circuit).

    >>> import nosk, numpy as np, os, tempfile
    >>> f = np.logspace(-1, 4, 30)
    >>> r = nosk.fit("R0-p(R1,C1)", f, nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], f), [5, 50, 1e-6])
    >>> job = nosk.Job.from_fit(r)
    >>> folder = tempfile.mkdtemp()
    >>> circuits = os.path.join(folder, "CIRCUITS")
    >>> nosk.save_job(job, os.path.join(folder, "RC.TST"), circuits_file=circuits)
    >>> open(circuits).read()
    '... = R(p1)-par(R(p2), C(p3))\\n'
    >>> back = nosk.load_job(os.path.join(folder, "RC.TST"))
    >>> bool(np.allclose(nosk.fit_job(back, circuits_file=circuits).params, r.params))
    True
    >>> job.M = 31         # a column of 30 values no longer fits
    >>> nosk.save_job(job, os.path.join(folder, "RC.TST"))
    Traceback (most recent call last):
    ValueError: the job cannot be saved: FREQ holds 30 values and M is 31; DATA1 holds 30 values and M is 31; DATA2 holds 30 values and M is 31
    """
    _save_job(job, path, circuits_file)


# A series of spectra fitted as one (python/nosk/_series.py).
from ._series import SeriesResult, fit_series  # noqa: E402

__all__ += ["fit_series", "SeriesResult"]
