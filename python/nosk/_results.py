"""The results of fits and analyses: their tables, plots, dictionaries and files.

Every result is a dataclass of numbers and numpy arrays. Each one shows its
table (``print(r)``, and in a notebook as HTML), has a one-line ``repr``,
turns into a dictionary of plain JSON types (``to_dict``) and back
(``nosk.load``), into a pandas DataFrame (``to_dataframe``, pandas imported
only then) and into a matplotlib plot (``plot``, matplotlib imported only
then; the axes are returned).
"""

from __future__ import annotations

import dataclasses
import html
import json
import math
import os
import tempfile
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Sequence, Union

import numpy as np

__all__ = ["NoskWarning", "FitResult", "KKResult", "ZhitResult", "DrtResult", "DrtPeak", "load"]

# The format of a saved result; load refuses a file of a later version.
_FORMAT = "nosk-result"
_VERSION = 1


class NoskWarning(UserWarning):
    """A fit ended early or left a parameter the data do not determine.

    A ``UserWarning``, so a loop over spectra sees it once per place by
    default; ``warnings.simplefilter("error", nosk.NoskWarning)`` turns it
    into an exception.
    """


def _encode(value: Any) -> Any:
    """A value as plain JSON types: arrays as {"dtype", "shape", "data"}, NaN as None."""
    if isinstance(value, np.ndarray):
        if np.iscomplexobj(value):
            flat = [[_encode(float(z.real)), _encode(float(z.imag))] for z in value.ravel()]
            return {"dtype": "complex", "shape": list(value.shape), "data": flat}
        kind = "bool" if value.dtype == bool else ("int" if np.issubdtype(value.dtype, np.integer) else "float")
        flat = [_encode(x.item()) for x in value.ravel()]
        return {"dtype": kind, "shape": list(value.shape), "data": flat}
    if isinstance(value, (np.floating, float)):
        x = float(value)
        if math.isnan(x):
            return None
        if math.isinf(x):
            return "inf" if x > 0 else "-inf"
        return x
    if isinstance(value, (np.integer,)):
        return int(value)
    if isinstance(value, (np.bool_,)):
        return bool(value)
    if isinstance(value, complex):
        return [_encode(value.real), _encode(value.imag)]
    if dataclasses.is_dataclass(value):
        return value.to_dict()
    if isinstance(value, (list, tuple)):
        return [_encode(v) for v in value]
    if isinstance(value, dict):
        return {str(k): _encode(v) for k, v in value.items()}
    return value


def _number(x: Any) -> float:
    if x is None:
        return math.nan
    if x == "inf":
        return math.inf
    if x == "-inf":
        return -math.inf
    return float(x)


def _decode(value: Any) -> Any:
    if isinstance(value, dict) and set(value) == {"dtype", "shape", "data"}:
        shape = tuple(value["shape"])
        if value["dtype"] == "complex":
            data = [complex(_number(re), _number(im)) for re, im in value["data"]]
            return np.array(data, dtype=complex).reshape(shape)
        if value["dtype"] == "bool":
            return np.array(value["data"], dtype=bool).reshape(shape)
        if value["dtype"] == "int":
            return np.array(value["data"], dtype=int).reshape(shape)
        return np.array([_number(x) for x in value["data"]], dtype=float).reshape(shape)
    if isinstance(value, dict) and "type" in value and value["type"] in _TYPES:
        return _from_dict(value)
    if isinstance(value, list):
        return [_decode(v) for v in value]
    if isinstance(value, dict):
        return {k: _decode(v) for k, v in value.items()}
    return value


def _from_dict(d: Dict[str, Any]):
    cls = _TYPES[d["type"]]
    names = {f.name for f in dataclasses.fields(cls)}
    unknown = set(d) - names - {"type", "format", "version"}
    if unknown:
        raise ValueError(f"{d['type']}: unknown fields {sorted(unknown)}")
    values = {k: _decode(v) for k, v in d.items() if k in names}
    for f in dataclasses.fields(cls):
        if f.name in values and f.type == "float":
            values[f.name] = _number(values[f.name])
    return cls(**values)


def _plt():
    try:
        import matplotlib.pyplot as plt
    except ImportError as e:  # pragma: no cover - depends on the installation
        raise ImportError("plot() needs matplotlib (pip install matplotlib)") from e
    return plt


class _Result:
    """What every result has: dictionary, file, table, notebook display."""

    def to_dict(self) -> Dict[str, Any]:
        """The result as plain JSON types (arrays as {"dtype", "shape", "data"}, NaN as None)."""
        d: Dict[str, Any] = {"type": type(self).__name__}
        for f in dataclasses.fields(self):
            d[f.name] = _encode(getattr(self, f.name))
        return d

    def save(self, path: Union[str, os.PathLike]) -> None:
        """Writes the result as JSON that :func:`nosk.load` reads back to an equal result.

        The file is written beside its name and renamed over it, so a failed
        save leaves an old file as it was.
        """
        p = os.fspath(path)
        d = {"format": _FORMAT, "version": _VERSION, **self.to_dict()}
        text = json.dumps(d, allow_nan=False)
        folder = os.path.dirname(os.path.abspath(p))
        fd, tmp = tempfile.mkstemp(dir=folder, prefix=".nosk-", suffix=".json")
        try:
            with os.fdopen(fd, "w", encoding="utf-8") as out:
                out.write(text)
            os.replace(tmp, p)
        except BaseException:
            if os.path.exists(tmp):
                os.remove(tmp)
            raise

    def table(self) -> str:  # pragma: no cover - each result has its own
        raise NotImplementedError

    def __str__(self) -> str:
        return self.table()

    def _repr_pretty_(self, p, cycle) -> None:
        p.text(repr(self) if cycle else self.table())

    def _repr_html_(self) -> str:
        return "<pre>" + html.escape(self.table()) + "</pre>"


def load(path: Union[str, os.PathLike]):
    """Reads a result that ``save`` wrote (a fit, KK, Z-HIT or DRT result).

    >>> import nosk, numpy as np, tempfile, os
    >>> f = np.logspace(-1, 4, 30)
    >>> r = nosk.fit("R0-p(R1,C1)", f, nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], f), [5, 50, 1e-6])
    >>> path = os.path.join(tempfile.mkdtemp(), "fit.json")
    >>> r.save(path)
    >>> back = nosk.load(path)
    >>> np.allclose(back.params, r.params), back.names
    (True, ['R0', 'R1', 'C1'])
    """
    p = os.fspath(path)
    if not os.path.exists(p):
        raise FileNotFoundError(f"no such file: {p}")
    with open(p, encoding="utf-8") as f:
        try:
            d = json.load(f)
        except json.JSONDecodeError as e:
            raise ValueError(f"{p} is not a saved result: {e}") from None
    if not isinstance(d, dict) or d.get("format") != _FORMAT:
        raise ValueError(f"{p} is not a saved result (no \"format\": \"{_FORMAT}\")")
    if int(d.get("version", 0)) > _VERSION:
        raise ValueError(f"{p} was written by a later version (format {d['version']}; this one reads {_VERSION})")
    if d.get("type") not in _TYPES:
        raise ValueError(f"{p}: unknown result type {d.get('type')!r}")
    return _from_dict(d)


@dataclass
class FitResult(_Result):
    """What a fit produced.

    ``params`` are p1, p2, ... at the end of the fit in the units ``units``
    names; ``std_dev`` their standard deviations (same units) and
    ``rel_std_dev`` the std dev over |value|. ``converged`` is True only when
    the fit ended by one of its convergence tests; ``end`` names the way it
    ended as the engine's reason line does ("converged", "maxfev",
    "no-progress", "de-range", ...), ``reason`` says it in words.

    ``determined`` is False for a free parameter the data do not fix:
    one whose relative std dev reaches 1, one correlated with another by
    more than 0.99 in magnitude, or one the engine could not resolve at all;
    ``undetermined`` says why for each (empty where determined). ``std_dev``
    is NaN for a fixed parameter, one held at a limit and one the engine
    could not resolve. ``ok`` is True for a converged fit whose free
    parameters are all determined.

    ``status`` names each parameter's state as the engine's report, the
    viewer and the CSV export do: "fixed", "determined", "undetermined" (the
    data do not fix it), or "at bound" (it ended at its limit, an exponent's
    range (0, 1], or the bound of ln p near 0 or 1e308: the fit holds it
    there, not the data). The others' std devs then hold only given those
    values, which ``given`` says ("given P4 = 0.75"; empty when none is at
    a bound).

    ``S`` is the weighted sum of squares, ``sigma_f`` the estimated standard
    deviation of the weighted residuals, ``nu`` the degrees of freedom;
    ``frequency`` (Hz), ``Z`` (the data, ohm) and ``model`` (ohm) the points.
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
    Z: Optional[np.ndarray] = None
    undetermined: List[str] = field(default_factory=list)
    roles: List[str] = field(default_factory=list)
    weighting: str = "modulus"
    sigma: Optional[np.ndarray] = None
    lower: Optional[np.ndarray] = None
    upper: Optional[np.ndarray] = None
    max_evaluations: int = 500
    # fit(..., intervals=...): per parameter (low, high), None for a side that
    # is not bounded, (nan, nan) for a fixed parameter; None when not asked for.
    intervals: Optional[List[tuple]] = None
    status: List[str] = field(default_factory=list)
    given: str = ""
    # fit_job with a CIRCUITS file (or a circuit string in FUN): the circuit
    # the engine fitted under the letter, in the circuit language.
    definition: str = ""

    def _at_bound(self, i: int) -> bool:
        return bool(self.at_limit[i]) or (i < len(self.status) and self.status[i] == "at bound")

    @property
    def ok(self) -> bool:
        """Converged, and every free parameter not held at a limit is determined."""
        return bool(self.converged and all(self.determined[i] or self.at_limit[i]
                                           for i in range(len(self.params)) if self.free[i]))

    def _shown(self) -> List[int]:
        return [i for i, name in enumerate(self.names)
                if not self.roles or self.roles[i] or self.free[i] or self.params[i] != 0]

    def table(self) -> str:
        """The parameters as a text table: name, estimate, std dev, relative std dev, unit."""
        lines = [f"{'parameter':<12}{'estimate':>14}{'std dev':>14}{'rel':>10}  unit"]
        notes = []
        for i in self._shown():
            name = self.names[i]
            est = f"{self.params[i]:14.6g}"
            mark = ""
            if self.roles and not self.roles[i]:
                sd, rel = f"{'not used':>14}", ""
            elif not self.free[i]:
                sd, rel = f"{'fixed':>14}", ""
            elif self._at_bound(i):
                sd, rel = f"{'at bound':>14}", ""
            elif np.isnan(self.std_dev[i]):
                sd, rel = f"{'undetermined':>14}", ""
            else:
                sd, rel = f"{self.std_dev[i]:14.4g}", f"{self.rel_std_dev[i]:10.3g}"
            if self.free[i] and not self.determined[i]:
                mark = " *"
                why = self.undetermined[i] if i < len(self.undetermined) else ""
                notes.append(f"* {name}: {why or 'not determined'}")
            lines.append(f"{name:<12}{est}{sd}{rel:>10}  {self.units[i]}{mark}")
        if self.given:
            lines.append(f"the other std devs hold only {self.given}")
        lines.append(f"S = {self.S:.6g}, sigma_f = {self.sigma_f:.6g}, nu = {self.nu}, "
                     f"{self.function_evaluations} function evaluations")
        lines.append(f"ended: {self.reason}")
        lines.extend(notes)
        return "\n".join(lines)

    def __repr__(self) -> str:
        nfree = int(np.count_nonzero(self.free))
        state = "ok" if self.ok else ("converged, not all determined" if self.converged else f"ended: {self.end}")
        return (f"<FitResult {self.circuit!r}: {state}, S={self.S:.4g}, {nfree} free of {len(self.params)}, "
                f"{len(self.frequency)} points>")

    def _repr_html_(self) -> str:
        e = html.escape
        rows = []
        for i in self._shown():
            if self.roles and not self.roles[i]:
                sd, rel = "not used", ""
            elif not self.free[i]:
                sd, rel = "fixed", ""
            elif self._at_bound(i):
                sd, rel = "at bound", ""
            elif np.isnan(self.std_dev[i]):
                sd, rel = "undetermined", ""
            else:
                sd, rel = f"{self.std_dev[i]:.4g}", f"{self.rel_std_dev[i]:.3g}"
            why = self.undetermined[i] if self.free[i] and not self.determined[i] and i < len(self.undetermined) else ""
            style = ' style="color:#b00"' if why else ""
            rows.append(f"<tr{style}><td>{e(self.names[i])}</td><td>{self.params[i]:.6g}</td><td>{e(sd)}</td>"
                        f"<td>{e(rel)}</td><td>{e(self.units[i])}</td><td>{e(why)}</td></tr>")
        head = ("<tr><th>parameter</th><th>estimate</th><th>std dev</th><th>rel</th><th>unit</th>"
                "<th>note</th></tr>")
        foot = (f"<p>S = {self.S:.6g}, &sigma;<sub>f</sub> = {self.sigma_f:.6g}, &nu; = {self.nu}, "
                f"{self.function_evaluations} function evaluations; ended: {e(self.reason)}</p>")
        return f"<p><b>{e(self.circuit)}</b></p><table>{head}{''.join(rows)}</table>{foot}"

    def predict(self, frequency: Optional[Sequence[float]] = None) -> np.ndarray:
        """The fitted circuit's impedance (complex, ohm) at the frequencies (Hz; the fit's own by default).

        >>> import nosk, numpy as np
        >>> f = np.logspace(-1, 4, 30)
        >>> r = nosk.fit("R0-p(R1,C1)", f, nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], f), [5, 50, 1e-6])
        >>> np.abs(r.predict([1e6])).round(3)   # only R0 is left at high frequency
        array([10.])
        """
        from . import simulate, _nosk
        f = self.frequency if frequency is None else frequency
        if self.definition:
            # The letter's own circuit is not the one fitted.
            return _nosk.simulate(self.definition, np.asarray(self.params, dtype=float), np.asarray(f, dtype=float))
        return simulate(self.circuit, self.params, f)

    def to_dataframe(self):
        """The parameter table as a pandas DataFrame, one row per parameter (pandas imported here)."""
        import pandas as pd
        rows = self._shown()
        return pd.DataFrame({
            "value": [self.params[i] for i in rows],
            "std_dev": [self.std_dev[i] for i in rows],
            "rel_std_dev": [self.rel_std_dev[i] for i in rows],
            "unit": [self.units[i] for i in rows],
            "free": [bool(self.free[i]) for i in rows],
            "determined": [bool(self.determined[i]) for i in rows],
            "at_limit": [bool(self.at_limit[i]) for i in rows],
            "status": [self.status[i] if i < len(self.status) else "" for i in rows],
            "note": [self.undetermined[i] if i < len(self.undetermined) else "" for i in rows],
        }, index=pd.Index([self.names[i] for i in rows], name="parameter"))

    def plot(self, kind: str = "nyquist", ax=None):
        """Data and model: ``"nyquist"`` (-Z'' against Z'), ``"bode"`` (|Z| and phase against
        frequency, two axes) or ``"residuals"`` (in % of |Z| of the model against frequency).

        Draws into ``ax`` when given (a pair of axes for "bode"), else into a new
        figure; returns the axes. matplotlib is imported here, not with nosk.
        """
        plt = _plt()
        if kind not in ("nyquist", "bode", "residuals"):
            raise ValueError(f"kind {kind!r}: 'nyquist', 'bode' or 'residuals'")
        f = np.asarray(self.frequency)
        dense = np.logspace(np.log10(f.min()), np.log10(f.max()), max(200, 4 * len(f)))
        zm = self.predict(dense)
        if kind == "bode":
            if ax is None:
                _, ax = plt.subplots(2, 1, sharex=True)
            a1, a2 = ax
            if self.Z is not None:
                a1.loglog(f, np.abs(self.Z), "o", ms=4, label="data")
                a2.semilogx(f, np.degrees(np.angle(self.Z)), "o", ms=4, label="data")
            a1.loglog(dense, np.abs(zm), "-", label="model")
            a2.semilogx(dense, np.degrees(np.angle(zm)), "-", label="model")
            a1.set_ylabel("|Z| / Ohm")
            a2.set_ylabel("phase / degree")
            a2.set_xlabel("frequency / Hz")
            a1.legend()
            return ax
        if ax is None:
            _, ax = plt.subplots()
        if kind == "nyquist":
            if self.Z is not None:
                ax.plot(self.Z.real, -self.Z.imag, "o", ms=4, label="data")
            ax.plot(zm.real, -zm.imag, "-", label="model")
            ax.set_xlabel("Z' / Ohm")
            ax.set_ylabel("-Z'' / Ohm")
            ax.set_aspect("equal", "datalim")
        else:
            if self.Z is None:
                raise ValueError("this result holds no data to form residuals")
            rel = (self.Z - self.model) / np.abs(self.model) * 100
            ax.semilogx(f, rel.real, "o-", ms=3, label="real")
            ax.semilogx(f, rel.imag, "s-", ms=3, label="imaginary")
            ax.axhline(0, color="0.5", lw=0.8)
            ax.set_xlabel("frequency / Hz")
            ax.set_ylabel("residual / % of |Z model|")
        ax.legend()
        return ax


@dataclass
class KKResult(_Result):
    """The linear Kramers-Kronig test of a spectrum.

    The spectrum is fitted by a series resistance, inductance and inverse
    capacitance and ``elements`` RC elements with fixed time constants
    ``tau`` (s) and fitted resistances ``resistance`` (ohm), which obey the
    Kramers-Kronig relations by construction. ``mu`` = 1 - (sum of the
    negative resistances)/(sum of the positive ones) measures overfitting:
    near 1 the elements are all positive; as it falls towards 0 they start
    to fit noise with alternating signs. ``residual_real`` and
    ``residual_imag`` are (data - model)/|Z| in percent at ``frequency`` (Hz);
    ``valid`` and ``verdict`` say whether they stay within the noise.
    """

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
    frequency: Optional[np.ndarray] = None

    def table(self) -> str:
        return self.summary

    def __repr__(self) -> str:
        return f"<KKResult: {self.verdict}; {self.elements} elements, mu={self.mu:.3g}>"

    def to_dataframe(self):
        """One row per frequency (Hz): the model (ohm) and the residuals (% of |Z|)."""
        import pandas as pd
        return pd.DataFrame({"model": self.model, "residual_real": self.residual_real,
                             "residual_imag": self.residual_imag},
                            index=pd.Index(self.frequency, name="frequency"))

    def plot(self, ax=None):
        """The residuals in % of |Z| against frequency; returns the axes."""
        plt = _plt()
        if ax is None:
            _, ax = plt.subplots()
        ax.semilogx(self.frequency, self.residual_real, "o-", ms=3, label="real")
        ax.semilogx(self.frequency, self.residual_imag, "s-", ms=3, label="imaginary")
        ax.axhline(0, color="0.5", lw=0.8)
        ax.set_xlabel("frequency / Hz")
        ax.set_ylabel("KK residual / % of |Z|")
        ax.set_title(self.verdict, fontsize="small")
        ax.legend()
        return ax


@dataclass
class ZhitResult(_Result):
    """Z-HIT: |Z| (ohm) reconstructed from the phase at ``frequency`` (Hz).

    ``modulus`` is the measured |Z|, ``reconstructed`` the one from the
    phase, ``deviation`` their difference in percent of the measured,
    ``smoothed_phase`` the phase used (degrees).
    """

    frequency: np.ndarray
    modulus: np.ndarray
    reconstructed: np.ndarray
    deviation: np.ndarray
    smoothed_phase: np.ndarray
    valid: bool
    verdict: str
    summary: str

    def table(self) -> str:
        return self.summary

    def __repr__(self) -> str:
        return f"<ZhitResult: {self.verdict}; {len(self.frequency)} points>"

    def to_dataframe(self):
        """One row per frequency (Hz): |Z| measured and reconstructed (ohm), deviation (%), phase (degrees)."""
        import pandas as pd
        return pd.DataFrame({"modulus": self.modulus, "reconstructed": self.reconstructed,
                             "deviation": self.deviation, "smoothed_phase": self.smoothed_phase},
                            index=pd.Index(self.frequency, name="frequency"))

    def plot(self, ax=None):
        """|Z| measured and reconstructed against frequency, the deviation on a second axis; returns both axes."""
        plt = _plt()
        if ax is None:
            _, ax = plt.subplots(2, 1, sharex=True)
        a1, a2 = ax
        a1.loglog(self.frequency, self.modulus, "o", ms=4, label="|Z| measured")
        a1.loglog(self.frequency, self.reconstructed, "-", label="|Z| from the phase")
        a1.set_ylabel("|Z| / Ohm")
        a1.legend()
        a2.semilogx(self.frequency, self.deviation, "o-", ms=3)
        a2.axhline(0, color="0.5", lw=0.8)
        a2.set_xlabel("frequency / Hz")
        a2.set_ylabel("deviation / %")
        a1.set_title(self.verdict, fontsize="small")
        return ax


@dataclass
class DrtPeak(_Result):
    """A peak of the DRT: its time constant (s), frequency 1/(2 pi tau) (Hz), height and area (ohm)."""

    tau: float
    frequency: float
    gamma: float
    area: float

    def table(self) -> str:
        return f"tau = {self.tau:.4g} s ({self.frequency:.4g} Hz), gamma = {self.gamma:.4g} Ohm, R = {self.area:.4g} Ohm"

    def __repr__(self) -> str:
        return f"DrtPeak(tau={self.tau:.4g}, frequency={self.frequency:.4g}, gamma={self.gamma:.4g}, area={self.area:.4g})"


@dataclass
class DrtResult(_Result):
    """The distribution of relaxation times gamma(tau), in ohm per unit of ln tau.

    Z = series_resistance + i w series_inductance [+ 1/(i w series_capacitance)]
    + integral of gamma / (1 + i w tau) d ln tau, with resistances in ohm,
    the inductance in henry, the capacitance in farad and tau in s.
    ``band_low``/``band_high`` hold the 95 % credible band when it was asked
    for, else None; ``lam`` is the regularisation parameter used;
    ``residual_rms`` the rms of the residuals in ohm; ``model`` Z at
    ``frequency`` (Hz); ``table`` the text of the ``DRT`` file that
    ``noskrun --drt`` writes.
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
    frequency: Optional[np.ndarray] = None

    def __str__(self) -> str:
        return self.summary

    def _repr_pretty_(self, p, cycle) -> None:
        p.text(repr(self) if cycle else self.summary)

    def _repr_html_(self) -> str:
        return "<pre>" + html.escape(self.summary) + "</pre>"

    def __repr__(self) -> str:
        peaks = ", ".join(f"{p.tau:.3g} s" for p in self.peaks)
        return f"<DrtResult: {len(self.peaks)} peaks ({peaks}), lambda={self.lam:.3g}, {len(self.tau)} tau>"

    def to_dataframe(self):
        """One row per tau (s): gamma and the band (ohm)."""
        import pandas as pd
        d = {"gamma": self.gamma}
        if self.band_low is not None:
            d["band_low"], d["band_high"] = self.band_low, self.band_high
        return pd.DataFrame(d, index=pd.Index(self.tau, name="tau"))

    def plot(self, ax=None):
        """gamma against tau (log axis), the band shaded when present, the peaks marked; returns the axes."""
        plt = _plt()
        if ax is None:
            _, ax = plt.subplots()
        if self.band_low is not None:
            ax.fill_between(self.tau, self.band_low, self.band_high, alpha=0.3, label="95 % band")
        ax.semilogx(self.tau, self.gamma, "-", label="gamma")
        for p in self.peaks:
            ax.axvline(p.tau, color="0.6", lw=0.8, ls="--")
        ax.set_xlabel("tau / s")
        ax.set_ylabel("gamma / Ohm")
        ax.legend()
        return ax


_TYPES = {c.__name__: c for c in (FitResult, KKResult, ZhitResult, DrtResult, DrtPeak)}
