"""NOSK in Python: fit impedance spectra with the NOSK engine in-process.

The functions here run the same code as the engine program ``noskwin`` (the
circuit language, the fifteen built-in circuits, the distributed elements
with their exact Jacobian, MINPACK's Levenberg-Marquardt and the statistics),
read every instrument file the organiser imports and the ``.TST`` job format.

>>> import nosk
>>> s = nosk.read("battery-eis.txt")
>>> r = nosk.fit("S", s.frequency, s.Z, start=[0.015, 0, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5])
>>> print(r)

A circuit is a letter A-T (the built-in circuits), a definition in the
engine's circuit language (``"R(p1)-par(R(p2), Q(p3, p4))"``) or an
impedance.py circuit string (``"R0-p(R1,CPE1)"``; see
:func:`circuit_from_impedance_py` for the element mapping).

The GIL is released while the engine works, so threads fit spectra in
parallel.
"""

from __future__ import annotations

import os
from dataclasses import dataclass, field
from typing import Dict, Iterable, List, Optional, Sequence, Union

import numpy as np

from . import _nosk
from ._circuits import Translation, circuit_from_impedance_py, looks_like_impedance_py

Job = _nosk.Job

__all__ = [
    "Job",
    "Spectrum",
    "FitResult",
    "KKResult",
    "Translation",
    "read",
    "simulate",
    "fit",
    "fit_job",
    "kk",
    "zhit",
    "ZhitResult",
    "drt",
    "DrtResult",
    "DrtPeak",
    "load_job",
    "save_job",
    "circuit_from_impedance_py",
    "parameter_roles",
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


@dataclass
class FitResult:
    """What a fit produced.

    ``converged`` is True only when the fit ended by one of its convergence
    tests; ``end`` names the way it ended as the engine's reason line does
    ("converged", "maxfev", "no-progress", "de-range", ...), ``reason`` says
    it in words.

    ``std_dev`` and ``rel_std_dev`` are NaN for a fixed parameter and for a
    free one the data do not determine (``determined`` False): no number is
    known there, so none is shown.

    ``status`` names each parameter's state as the engine's report, the
    viewer and the CSV export do: "fixed", "determined", "undetermined" (the
    data do not fix it), or "at bound" (it ended at its limit, an exponent's
    range (0, 1], or the bound of ln p near 0 or 1e308: the fit holds it
    there, not the data). The others' std devs then hold only given those
    values, which ``given`` says ("given P4 = 0.75"; empty when none is at
    a bound).
    """

    circuit: str
    names: List[str]
    units: List[str]
    params: np.ndarray
    free: np.ndarray
    std_dev: np.ndarray
    rel_std_dev: np.ndarray
    determined: np.ndarray
    at_limit: np.ndarray
    correlation: np.ndarray
    S: float
    sigma_f: float
    nu: int
    quality: float
    converged: bool
    end: str
    reason: str
    function_evaluations: int
    jacobian_evaluations: int
    frequency: np.ndarray
    model: np.ndarray
    status: List[str] = field(default_factory=list)
    given: str = ""

    def table(self) -> str:
        """The parameters as a text table: name, estimate, std dev, relative std dev, unit."""
        lines = [f"{'parameter':<12}{'estimate':>14}{'std dev':>14}{'rel':>10}  unit"]
        for i, name in enumerate(self.names):
            if not name:
                continue
            est = f"{self.params[i]:14.6g}"
            status = self.status[i] if i < len(self.status) else ("determined" if self.free[i] else "fixed")
            if status == "determined":
                sd, rel = f"{self.std_dev[i]:14.4g}", f"{self.rel_std_dev[i]:10.3g}"
            else:
                sd, rel = f"{status:>14}", ""
            lines.append(f"{name:<12}{est}{sd}{rel:>10}  {self.units[i]}")
        if self.given:
            lines.append(f"the other std devs hold only {self.given}")
        lines.append(f"S = {self.S:.6g}, sigma_f = {self.sigma_f:.6g}, nu = {self.nu}, "
                     f"{self.function_evaluations} function evaluations")
        lines.append(f"ended: {self.reason}")
        return "\n".join(lines)

    def __str__(self) -> str:
        return self.table()


@dataclass
class KKResult:
    """The linear Kramers-Kronig test of a spectrum (residuals in percent of |Z|)."""

    elements: int
    mu: float
    tau: np.ndarray
    resistance: np.ndarray
    series_resistance: float
    series_inductance: float
    inverse_capacitance: float
    model: np.ndarray
    residual_real: np.ndarray
    residual_imag: np.ndarray
    representation: str
    valid: bool
    verdict: str
    summary: str


@dataclass
class ZhitResult:
    """Z-HIT: |Z| reconstructed from the phase; deviation of the measured |Z| in percent."""

    frequency: np.ndarray
    modulus: np.ndarray
    reconstructed: np.ndarray
    deviation: np.ndarray
    smoothed_phase: np.ndarray
    valid: bool
    verdict: str
    summary: str


@dataclass
class DrtPeak:
    """A peak of the DRT: its time constant (s), frequency 1/(2 pi tau) (Hz), height and area (ohm)."""

    tau: float
    frequency: float
    gamma: float
    area: float


@dataclass
class DrtResult:
    """The distribution of relaxation times gamma(tau), in ohm per unit of ln tau.

    Z = series_resistance + i w series_inductance [+ 1/(i w series_capacitance)]
    + integral of gamma / (1 + i w tau) d ln tau. ``band_low``/``band_high`` hold
    the credible band when it was asked for, else None; ``table`` is the text
    of the ``DRT`` file that ``noskrun --drt`` writes.
    """

    tau: np.ndarray
    gamma: np.ndarray
    band_low: Optional[np.ndarray]
    band_high: Optional[np.ndarray]
    peaks: List[DrtPeak]
    lam: float
    series_resistance: float
    series_inductance: float
    series_capacitance: float
    residual_rms: float
    model: np.ndarray
    summary: str
    table: str


def _path(path: Union[str, os.PathLike]) -> str:
    p = os.fspath(path)
    if os.path.isdir(p):
        raise IsADirectoryError(f"{p} is a folder, not a file")
    return p


def read(path: Union[str, os.PathLike], spectrum: Optional[int] = None) -> Spectrum:
    """Reads one impedance spectrum from an instrument file or a ``.TST`` job.

    Instrument files are every format the organiser imports (plain CSV/TSV,
    Gamry DTA, EC-Lab text and .mpr, ZPlot, Autolab, CH Instruments, Parstat,
    PowerSuite, VersaStudio, Zahner .ism, Solartron .fra). ``metadata`` holds
    what the file says about the measurement (technique, date, potential,
    temperature, ...). ``spectrum`` picks one of several spectra in a file (from 0;
    the first by default). A job's data lines are converted to Z in Hz
    whatever level and format they are written in.
    """
    p = _path(path)
    d = _nosk.read_spectrum(p, 0 if spectrum is None else int(spectrum))
    warnings = []
    if d["skipped"]:
        warnings.append(f"{d['skipped']} rows skipped (frequency 0 or a value missing)")
    return Spectrum(frequency=d["frequency"], Z=d["Z"], name=os.path.basename(p), format=d["format"],
                    label=d["label"], skipped=d["skipped"], spectrum=d["spectrum"], spectra=d["spectra"],
                    warnings=warnings, metadata=d["metadata"])


# The longest circuit text the engine's parser takes (kMaxDefinitionLength in model/Circuit.cpp).
_MAX_CIRCUIT_LENGTH = 4096


def _engine_circuit(circuit: str):
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


def parameter_roles(circuit: str) -> List[str]:
    """What each parameter p1, p2, ... of a circuit means ("" where unused)."""
    text, t = _engine_circuit(circuit)
    if t is not None:
        return list(t.names)
    roles = _nosk.parameter_roles(text)
    n = max((number for number, _ in roles), default=0)
    out = [""] * n
    for number, role in roles:
        out[number - 1] = role
    return out


def _unit_of(role: str) -> str:
    base = role.split(";")[0].strip()
    table = {"R": "Ohm", "C": "F", "L": "H", "Q (Q)": "F s^(alpha-1)", "Q (alpha)": "",
             "W": "Ohm s^-1/2", "Ws (R)": "Ohm", "Ws (tau)": "s", "Wo (R)": "Ohm", "Wo (tau)": "s",
             "G (Z0)": "Ohm s^-1/2", "G (k)": "1/s", "E": ""}
    return table.get(base, "")


def _array(values, name: str, dtype=float) -> np.ndarray:
    if dtype is float and np.iscomplexobj(np.asarray(values)):
        raise ValueError(f"{name} must be real numbers, not complex")
    a = np.asarray(values, dtype=dtype)
    if a.ndim != 1:
        raise ValueError(f"{name} must be one-dimensional")
    return a


def simulate(circuit: str, params: Sequence[float], frequency: Sequence[float]) -> np.ndarray:
    """The circuit's impedance (complex, ohm) at the frequencies (Hz) for the parameters p1, p2, ..."""
    text, _ = _engine_circuit(circuit)
    return _nosk.simulate(text, _array(params, "params"), _array(frequency, "frequency"))


def fit(circuit: str, frequency: Sequence[float], Z: Sequence[complex], start: Sequence[float],
        free: Optional[Iterable[Union[int, bool]]] = None, weighting: Union[str, Sequence[complex]] = "modulus",
        max_evaluations: int = 500, scaling: str = "auto",
        limits: Optional[Sequence[Optional[Sequence[Optional[float]]]]] = None) -> FitResult:
    """Fits a circuit to an impedance spectrum by complex nonlinear least squares.

    circuit: a letter A-T, a definition in the engine's circuit language or an
        impedance.py string.
    frequency, Z: the data, Hz and complex ohm (Z'' negative for a capacitive cell).
    start: start values of p1, p2, ...
    free: the engine's free codes per parameter (0 fixed, 1 free and positive,
        2 free of any sign) or booleans; by default every parameter with a
        non-zero start is free, positive ones kept positive.
    weighting: "modulus" (sigma = |Z| for both parts, for measured data),
        "proportional", "unit", "model", or an array of complex sigmas
        (sigma of Z' + 1j * sigma of Z'').
    max_evaluations: MAXFEV, at least 3.
    scaling: "auto" (MINPACK's scaling of the parameters) or "unit".
    limits: per parameter None or (lower, upper), either of them None for no
        limit, e.g. ``[None, (0.5, 1.0), (None, 1e-3)]``. The engine keeps a
        free parameter within them; one that ends held by a limit has
        ``at_limit`` True and no standard deviation.

    Raises ValueError with the engine's reason for anything it refuses.
    """
    text, t = _engine_circuit(circuit)
    f = _array(frequency, "frequency")
    z = _array(Z, "Z", complex)
    p0 = _array(start, "start")
    if free is None:
        codes = [0 if v == 0 else (1 if v > 0 else 2) for v in p0]
    else:
        free = list(free)
        if len(free) != len(p0):
            raise ValueError(f"{len(free)} free codes for {len(p0)} parameters")
        codes = [int(c) if not isinstance(c, (bool, np.bool_)) else (0 if not c else (1 if v > 0 else 2))
                 for c, v in zip(free, p0)]
    sigma = None
    if isinstance(weighting, str):
        if weighting not in _WEIGHTINGS:
            raise ValueError(f"weighting {weighting!r}: one of {', '.join(_WEIGHTINGS)} or an array of sigmas")
        irch = _WEIGHTINGS[weighting]
    else:
        irch = 0
        sigma = _array(weighting, "weighting", complex)
    if scaling not in ("auto", "unit"):
        raise ValueError("scaling is 'auto' or 'unit'")
    if int(max_evaluations) < 3:
        raise ValueError("max_evaluations must be at least 3 for a fit")
    lower = upper = None
    if limits is not None:
        limits = list(limits)
        if len(limits) != len(p0):
            raise ValueError(f"{len(limits)} limits for {len(p0)} parameters")
        # None is no limit (infinite); a NaN the engine refuses, as in a job file.
        lower = np.full(len(p0), -np.inf)
        upper = np.full(len(p0), np.inf)
        for i, lim in enumerate(limits):
            if lim is None:
                continue
            lo, hi = lim
            lower[i] = -np.inf if lo is None else float(lo)
            upper[i] = np.inf if hi is None else float(hi)
    d = _nosk.fit(text, f, z, p0, codes, irch, sigma, int(max_evaluations), 2 if scaling == "unit" else 0,
                  lower, upper)
    return _result(circuit, t, text, d, f, len(p0))


def _result(circuit: str, t: Optional[Translation], text: str, d: dict, f: np.ndarray, n: int) -> FitResult:
    params = np.asarray(d["params"], dtype=float)
    free = np.zeros(n, dtype=bool)
    std = np.full(n, np.nan)
    determined = np.zeros(n, dtype=bool)
    at_limit = np.zeros(n, dtype=bool)
    # The engine's status words as the tables show them.
    labels = {"determined": "determined", "undetermined": "undetermined", "ln-bound": "at bound", "limit": "at bound"}
    status = ["fixed"] * n
    given = []
    for j, i in enumerate(d["free_index"]):
        free[i] = True
        at_limit[i] = j < len(d["at_limit"]) and d["at_limit"][j] != 0
        word = d["status"][j] if j < len(d.get("status", [])) else ("determined" if d["resolved"][j] else "undetermined")
        status[i] = "at bound" if at_limit[i] else labels.get(word, "undetermined")
        if status[i] == "at bound" and j < len(d.get("given", [])) and np.isfinite(d["given"][j]):
            given.append(f"P{i + 1} = {d['given'][j]:.6g}")
        if d["resolved"][j] and status[i] == "determined":
            determined[i] = True
            std[i] = d["std_dev"][j]
    with np.errstate(divide="ignore", invalid="ignore"):
        rel = np.where(params != 0, std / np.abs(params), np.nan)
    if t is not None:
        names, units = list(t.names), list(t.units)
    else:
        roles = dict(d["roles"])
        names = [f"p{i + 1}" if roles.get(i + 1) else "" for i in range(n)]
        units = [_unit_of(roles.get(i + 1, "")) for i in range(n)]
        # A free or non-zero parameter the definition does not use still gets its row.
        for i in range(n):
            if not names[i] and (free[i] or params[i] != 0):
                names[i] = f"p{i + 1}"
    F = len(d["free_index"])
    corr = np.full((n, n), np.nan)
    c = np.asarray(d["correlation"]).reshape(F, F) if F else np.zeros((0, 0))
    for a, i in enumerate(d["free_index"]):
        for b, k in enumerate(d["free_index"]):
            if determined[i] and determined[k]:
                corr[i, k] = c[a, b]
    return FitResult(circuit=circuit, names=names, units=units, params=params, free=free, std_dev=std,
                     rel_std_dev=rel, determined=determined | ~free, at_limit=at_limit, correlation=corr, S=d["S"],
                     sigma_f=d["sigma_f"], nu=d["nu"], quality=d["quality"], converged=d["converged"],
                     end=d["end"], reason=d["reason"], function_evaluations=d["function_evaluations"],
                     jacobian_evaluations=d["jacobian_evaluations"], frequency=f, model=d["model"],
                     status=status, given=("given " + ", ".join(given)) if given else "")


def fit_job(job: Job, circuits_file: Optional[Union[str, os.PathLike]] = None) -> FitResult:
    """Fits a job as the engine program would (its data, weighting, codes and MAXFEV).

    ``circuits_file`` names a CIRCUITS file whose letters replace the built-in ones.
    """
    cf = "" if circuits_file is None else _path(circuits_file)
    d = _nosk.fit_job(job, cf)
    f = np.asarray(job.FREQ, dtype=float)
    if job.FREEQ != "F":
        f = f / (2 * np.pi)
    return _result(job.FUN, None, job.FUN, d, f, job.N)


def kk(frequency: Sequence[float], Z: Sequence[complex], cutoff: Optional[float] = None,
       elements: Optional[int] = None) -> KKResult:
    """The linear Kramers-Kronig test, as ``noskrun --kk`` runs it.

    By default the number of RC elements is chosen automatically (never at an
    underfit); ``cutoff`` asks for the classic rule (stop when mu falls below
    it), ``elements`` for a fixed number. ``verdict`` says valid, or where the
    data are suspicious.
    """
    if elements is not None and int(elements) < 1:
        raise ValueError(f"elements = {elements}: at least 1 (None chooses the number automatically)")
    if cutoff is not None and not float(cutoff) > 0:
        raise ValueError(f"cutoff = {cutoff}: above 0 (None chooses the number automatically)")
    d = _nosk.kk(_array(frequency, "frequency"), _array(Z, "Z", complex), float(cutoff or 0.0),
                 int(elements or 0))
    return KKResult(**d)


def zhit(frequency: Sequence[float], Z: Sequence[complex]) -> ZhitResult:
    """The Z-HIT test (|Z| from the phase), as ``noskrun --zhit`` runs it."""
    return ZhitResult(**_nosk.zhit(_array(frequency, "frequency"), _array(Z, "Z", complex)))


def drt(frequency: Sequence[float], Z: Sequence[complex], band: bool = False, lam: Optional[float] = None,
        derivative: int = 2, capacitance: str = "auto", seed: int = 1) -> DrtResult:
    """The distribution of relaxation times, as ``noskrun --drt`` computes it.

    Gaussians in ln tau, a penalty on the ``derivative``-th derivative, gamma >= 0,
    free R_inf and L; lambda chosen by the modified generalised cross-validation
    unless ``lam`` is given. ``band`` adds the 95 % credible band (1000 samples,
    about a quarter of a second). ``capacitance``: "auto" adds a series
    capacitance for a blocking electrode's capacitive low-frequency branch,
    "always" or "never" decide it.
    """
    if lam is not None and not (np.isfinite(float(lam)) and float(lam) > 0):
        raise ValueError(f"lam = {lam}: a finite number above 0 (None chooses lambda automatically)")
    d = _nosk.drt(_array(frequency, "frequency"), _array(Z, "Z", complex), 1000 if band else 0,
                  float(lam or 0.0), int(derivative), str(capacitance), int(seed))
    d["peaks"] = [DrtPeak(**p) for p in d["peaks"]]
    return DrtResult(**d)


def load_job(path: Union[str, os.PathLike]) -> Job:
    """Reads a ``.TST`` job (or INFL/OUTIN) into a :class:`Job`."""
    return _nosk.load_job(_path(path))


def save_job(job: Job, path: Union[str, os.PathLike]) -> None:
    """Writes a job in the ``.TST`` format that NOSKRUN opens (atomically: a failed save keeps the old file)."""
    _nosk.save_job(job, os.fspath(path))
