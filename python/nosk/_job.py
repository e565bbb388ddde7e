"""The fit job as a Python object: the ``.TST`` record with checks, a circuit
string in place of a letter, pickling and a readable repr."""

from __future__ import annotations

import os
import tempfile
from typing import Optional, Union

import numpy as np

from . import _nosk

# The header fields of the record, in the file's order, and the columns.
_FIELDS = ("description", "IOPT", "DINP", "DFIT", "PINP", "PFIT", "FREEQ", "NEG", "FUN", "CELCAP", "DATTYP",
           "IPAR", "ROE", "IFP", "IRE", "ECINF", "EC0", "M", "N", "MAXFEV", "NPRINT", "IRCH", "MODE", "ICP",
           "IPRINT", "IGACC", "ATEMP", "SDWC", "SDRC")
_ARRAYS = ("P", "NFREE", "LOWER", "UPPER")
_COLUMNS = ("FREQ", "DATA1", "DATA2", "WEIGHT1", "WEIGHT2")
_LETTERS = "ABCDEFGHIJKORST"


class Job(_nosk.Job):
    """A fit job: the record that ``.TST``, ``INFL`` and ``OUTIN`` files hold.

    The fields keep the engine's names (``help(nosk.Job.IRCH)`` says what each
    one means). ``FUN`` takes a circuit letter or any circuit string (a
    definition in the circuit language or an impedance.py string); ``P``,
    ``NFREE``, ``LOWER`` and ``UPPER`` are views of the job, so
    ``job.P[0] = 0.01`` changes it; the data columns are replaced as a whole
    (``job.DATA1 = values``). ``save_job`` checks the job and writes it only
    when it reads back.

    >>> import nosk, numpy as np
    >>> job = nosk.Job()
    >>> job.FUN = "R0-p(R1,C1)"
    >>> job.N = 3
    >>> job.P[:3] = [10, 100, 1e-5]
    >>> job.P[:3]
    array([1.e+01, 1.e+02, 1.e-05])
    >>> job
    <nosk.Job '': circuit 'R0-p(R1,C1)', N=3, 0 free, M=0>
    """

    def __init__(self) -> None:
        super().__init__()
        self._circuit: Optional[str] = None      # a circuit string given for FUN, as given
        self._definition: Optional[str] = None   # its text in the circuit language

    @property
    def FUN(self) -> str:
        """The circuit: a letter A-T of the built-in circuits, or the circuit string set here
        (a definition in the circuit language or an impedance.py string). A ``.TST`` file holds
        a letter; ``save_job(job, path, circuits_file=...)`` writes a string's definition
        under that letter into a CIRCUITS file."""
        return self._circuit if self._circuit is not None else _nosk.Job.FUN.__get__(self)

    @FUN.setter
    def FUN(self, value: str) -> None:
        if not isinstance(value, str):
            raise TypeError(f"FUN takes a circuit letter or a circuit string, not {type(value).__name__}")
        if len(value.strip()) == 1 and value.strip() in _LETTERS:
            _nosk.Job.FUN.__set__(self, value.strip())
            self._circuit = self._definition = None
            return
        from . import _engine_circuit
        text, _ = _engine_circuit(value)
        _nosk.circuit_definition(text)  # refuses a definition that does not parse, naming the column
        self._circuit, self._definition = value, text

    @property
    def definition(self) -> Optional[str]:
        """The circuit string of FUN in the circuit language, or None for a letter."""
        return self._definition

    def __repr__(self) -> str:
        free = int(np.count_nonzero(np.asarray(self.NFREE)[:max(0, min(self.N, 50))]))
        return f"<nosk.Job {self.description!r}: circuit {self.FUN!r}, N={self.N}, {free} free, M={self.M}>"

    def __getstate__(self):
        state = {name: getattr(self, name) for name in _FIELDS if name != "FUN"}
        state["FUN"] = _nosk.Job.FUN.__get__(self)
        state["circuit"] = self._circuit
        for name in _ARRAYS + _COLUMNS:
            value = getattr(self, name)
            state[name] = None if value is None else np.array(value)
        return state

    def __setstate__(self, state) -> None:
        _nosk.Job.__init__(self)
        self._circuit = self._definition = None
        for name in _FIELDS:
            if name != "FUN":
                setattr(self, name, state[name])
        _nosk.Job.FUN.__set__(self, state["FUN"])
        for name in _ARRAYS + _COLUMNS:
            setattr(self, name, state[name])
        if state.get("circuit") is not None:
            self.FUN = state["circuit"]

    def __reduce__(self):
        return (_rebuild, (type(self), self.__getstate__()))

    def copy(self) -> "Job":
        """An independent copy of the job."""
        return _rebuild(type(self), self.__getstate__())

    def validate(self) -> None:
        """Raises ValueError naming the first thing that keeps the job from being saved and read back."""
        problems = []
        if len(self.description) > 81 or "\n" in self.description or "\r" in self.description:
            problems.append("description: one line of at most 81 characters")
        if not 0 <= self.N <= 50:
            problems.append(f"N = {self.N}: 0 to 50 parameters")
        if self.M < 0:
            problems.append(f"M = {self.M}: the number of data lines cannot be negative")
        for name in _COLUMNS:
            c = getattr(self, name)
            weights = name.startswith("WEIGHT")
            if c is None:
                if self.M > 0 and (not weights or self.IRCH == 0):
                    problems.append(f"{name} is missing: M is {self.M}"
                                    + (" and IRCH 0 weights by the lines" if weights else ""))
            elif len(c) != self.M:
                problems.append(f"{name} holds {len(c)} values and M is {self.M}")
        if self.MAXFEV < 0:
            problems.append(f"MAXFEV = {self.MAXFEV}: 0 or more")
        if self.IRCH not in (-2, 0, 1, 2, 3):
            problems.append(f"IRCH = {self.IRCH}: -2, 0, 1, 2 or 3")
        if 0 <= self.N <= 50:
            codes = np.asarray(self.NFREE)[:self.N]
            bad = [i + 1 for i, c in enumerate(codes) if c not in (0, 1, 2, 3)]
            if bad:
                problems.append(f"NFREE of p{bad[0]} is {codes[bad[0] - 1]}: 0 fixed, 1 positive, 2 any sign")
            if self.N > 0:
                from . import _accepts_count, _engine_circuit, _roles
                try:
                    text, t = _engine_circuit(self.FUN)
                    fits = _accepts_count(self.N, text, t) or self.N > len(_roles(text, t))
                    needed = len(_roles(text, t))
                except ValueError:
                    fits = True  # a letter a CIRCUITS file defines: the engine checks it
                if not fits:
                    problems.append(f"N = {self.N}: circuit {self.FUN!r} uses {needed} parameters")
        if problems:
            raise ValueError("the job cannot be saved: " + "; ".join(problems))

    @classmethod
    def from_fit(cls, result, spectrum=None) -> "Job":
        """A job that repeats a fit: its circuit, the fitted values as start values, its free codes,
        limits, weighting and MAXFEV, and the data (``spectrum``: a Spectrum, a pair
        ``(frequency, Z)`` or None for the fit's own points), in Hz and Z' + jZ''.

        >>> import nosk, numpy as np
        >>> f = np.logspace(-1, 4, 30)
        >>> r = nosk.fit("R0-p(R1,C1)", f, nosk.simulate("R0-p(R1,C1)", [10, 100, 1e-5], f), [5, 50, 1e-6])
        >>> job = nosk.Job.from_fit(r)
        >>> job.N, job.M, job.FUN
        (3, 30, 'R0-p(R1,C1)')
        >>> bool(np.allclose(nosk.fit_job(job).params, r.params))
        True
        """
        if spectrum is None:
            f, z = result.frequency, result.Z
        elif hasattr(spectrum, "frequency") and hasattr(spectrum, "Z"):
            f, z = spectrum.frequency, spectrum.Z
        else:
            f, z = spectrum
        if z is None:
            raise ValueError("the result holds no data: give the spectrum")
        f = np.asarray(f, dtype=float)
        z = np.asarray(z, dtype=complex)
        job = cls()
        job.description = f"fit of {result.circuit}"[:81]
        for name, value in (("DINP", "Z"), ("DFIT", "Z"), ("PINP", "R"), ("PFIT", "R"), ("FREEQ", "F"),
                            ("NEG", " "), ("DATTYP", "C")):
            setattr(job, name, value)
        job.CELCAP = 1.0
        job.FUN = result.circuit
        n = len(result.params)
        job.N = n
        job.P = result.params
        job.NFREE = [0 if not result.free[i] else (1 if result.params[i] > 0 else 2) for i in range(n)]
        if result.lower is not None:
            job.LOWER = result.lower
        if result.upper is not None:
            job.UPPER = result.upper
        job.MAXFEV = int(result.max_evaluations)
        job.M = len(f)
        job.FREQ, job.DATA1, job.DATA2 = f, z.real.copy(), z.imag.copy()
        if result.sigma is not None:
            job.IRCH = 0
            job.WEIGHT1, job.WEIGHT2 = result.sigma.real.copy(), result.sigma.imag.copy()
        else:
            from . import _WEIGHTINGS
            job.IRCH = _WEIGHTINGS[result.weighting]
        return job


def _rebuild(cls, state):
    job = cls.__new__(cls)
    job.__setstate__(state)
    return job


def _as_job(base: _nosk.Job) -> Job:
    job = Job()
    job._assign(base)
    return job


def save(job: _nosk.Job, path: Union[str, os.PathLike], circuits_file: Optional[Union[str, os.PathLike]] = None) -> None:
    p = os.fspath(path)
    if isinstance(job, Job):
        job.validate()
        if job.definition is not None and circuits_file is None:
            raise ValueError(f"the job's circuit {job.FUN!r} is not a letter and a .TST file holds a letter: "
                             f"give circuits_file= to write its definition under the letter "
                             f"{_nosk.Job.FUN.__get__(job)!r} into a CIRCUITS file, or set FUN to a letter")
    # Written beside the name and read back before it replaces the file, so a
    # job that would not read back is refused and an old file stays as it was.
    folder = os.path.dirname(os.path.abspath(p))
    fd, tmp = tempfile.mkstemp(dir=folder, prefix=".nosk-", suffix=".TST")
    os.close(fd)
    try:
        _nosk.save_job(job, tmp)
        try:
            _nosk.load_job(tmp)
        except ValueError as e:
            raise ValueError(f"the job would not read back, so it was not saved: {e}") from None
        if isinstance(job, Job) and job.definition is not None:
            letter = _nosk.Job.FUN.__get__(job)
            with open(os.fspath(circuits_file), "w", encoding="utf-8") as out:
                out.write(f"{letter} = {job.definition}\n")
        os.replace(tmp, p)
    finally:
        if os.path.exists(tmp):
            os.remove(tmp)
