"""Circuit strings of impedance.py translated into the engine's circuit language.

impedance.py writes a circuit as elements joined by '-' (series) and
``p(a, b, ...)`` (parallel), each element a name followed by a number or a
label: ``'R0-p(R1,CPE1)-Wo1'``. Its parameters are numbered in the order the
elements appear, each element's parameters in its own order. The
translation keeps that order, so a start vector written for impedance.py is
the start vector here.

Element mapping (impedance.py formula = engine element):

======  ==========================  ===============================  =================
name    parameters                  impedance                         engine element
======  ==========================  ===============================  =================
R       R [Ohm]                     R                                 R(p)
C       C [F]                       1/(jwC)                           C(p)
L       L [H]                       jwL                               L(p)
CPE     Q [Ohm^-1 s^a], alpha       1/(Q (jw)^alpha)                  Q(p, p)
W       A_W [Ohm s^-1/2]            A_W (1 - j)/sqrt(w)               W(p)
Wo      Z0 [Ohm], tau [s]           Z0 coth(sqrt(jw tau))/sqrt(jw tau)  Wo(p, p)
Ws      Z0 [Ohm], tau [s]           Z0 tanh(sqrt(jw tau))/sqrt(jw tau)  Ws(p, p)
======  ==========================  ===============================  =================

Elements whose parameters the engine writes differently (G, Gs, K, Zarc,
La, TLM variants) are refused with a message naming them.
"""

from __future__ import annotations

import re
from dataclasses import dataclass, field
from typing import List

# name: (engine element, parameter suffixes as impedance.py names them, units)
_ELEMENTS = {
    "R": ("R", 1, ["Ohm"]),
    "C": ("C", 1, ["F"]),
    "L": ("L", 1, ["H"]),
    "CPE": ("Q", 2, ["Ohm^-1 s^alpha", ""]),
    "W": ("W", 1, ["Ohm s^-1/2"]),
    "Wo": ("Wo", 2, ["Ohm", "s"]),
    "Ws": ("Ws", 2, ["Ohm", "s"]),
}

_NOT_TRANSLATED = ("Gs", "G", "K", "Zarc", "La", "TLMQ", "T", "TLM")

_TOKEN = re.compile(r"\s*(?:(p\()|(\()|(\))|(,)|(-)|([A-Za-z]+)([0-9A-Za-z_]*))")


@dataclass
class Translation:
    """An impedance.py circuit in the engine's language."""

    source: str
    text: str
    names: List[str] = field(default_factory=list)
    units: List[str] = field(default_factory=list)


class _Parser:
    def __init__(self, source: str):
        self.source = source
        self.pos = 0
        self.names: List[str] = []
        self.units: List[str] = []

    def fail(self, what: str) -> None:
        raise ValueError(f"impedance.py circuit {self.source!r}, column {self.pos + 1}: {what}")

    def peek(self):
        m = _TOKEN.match(self.source, self.pos)
        if not m or m.end() == self.pos:
            if self.source[self.pos:].strip():
                self.fail("unexpected character")
            return None
        return m

    def series(self) -> str:
        parts = [self.part()]
        while True:
            m = self.peek()
            if m is None or not m.group(5):
                break
            self.pos = m.end()
            parts.append(self.part())
        return "-".join(parts)

    def part(self) -> str:
        m = self.peek()
        if m is None:
            self.fail("an element or p( expected")
        if m.group(1):
            self.pos = m.end()
            branches = [self.series()]
            while True:
                m = self.peek()
                if m is None:
                    self.fail("')' expected")
                if m.group(4):
                    self.pos = m.end()
                    branches.append(self.series())
                    continue
                if m.group(3):
                    self.pos = m.end()
                    break
                self.fail("',' or ')' expected")
            if len(branches) < 2:
                self.fail("p( needs at least two branches")
            return "par(" + ", ".join(branches) + ")"
        if m.group(6):
            return self.element(m)
        self.fail("an element or p( expected")
        return ""

    def element(self, m) -> str:
        kind, label = m.group(6), m.group(7)
        # A name such as "CPE1" or "Wo1": the longest known element name that
        # starts it, the rest its label.
        word = kind + label
        for name in sorted(_ELEMENTS, key=len, reverse=True):
            if word.startswith(name) and (len(word) == len(name) or not word[len(name)].isalpha()):
                kind, label = name, word[len(name):]
                break
        else:
            for name in _NOT_TRANSLATED:
                if word.startswith(name):
                    self.fail(f"element {name} has no counterpart with the same parameters in the "
                              f"engine's language; write the circuit in that language instead")
            self.fail(f"unknown element {word!r} (known: {', '.join(_ELEMENTS)})")
        self.pos = m.end()
        engine, count, units = _ELEMENTS[kind]
        refs = []
        for k in range(count):
            if len(self.names) >= 50:
                self.fail("more than 50 parameters")
            self.names.append(word if count == 1 else f"{word}_{k}")
            self.units.append(units[k])
            refs.append(f"p{len(self.names)}")
        return f"{engine}({', '.join(refs)})"


def circuit_from_impedance_py(source: str) -> Translation:
    """Translates an impedance.py circuit string, e.g. ``'R0-p(R1,CPE1)-Wo1'``.

    Returns the text in the engine's circuit language with the parameter names
    and units impedance.py gives them (``R0``, ``CPE1_0``, ``CPE1_1``, ...).
    Raises ValueError for an element the engine writes with other parameters
    or a string that does not parse, naming the column.

    >>> t = circuit_from_impedance_py("R0-p(R1,CPE1)-Wo1")
    >>> t.text
    'R(p1)-par(R(p2), Q(p3, p4))-Wo(p5, p6)'
    >>> t.names
    ['R0', 'R1', 'CPE1_0', 'CPE1_1', 'Wo1_0', 'Wo1_1']
    """
    if not isinstance(source, str) or not source.strip():
        raise ValueError("an impedance.py circuit string is expected")
    p = _Parser(source)
    text = p.series()
    if p.source[p.pos:].strip():
        p.fail("unexpected text after the circuit")
    return Translation(source=source, text=text, names=p.names, units=p.units)


def looks_like_impedance_py(source: str) -> bool:
    """True for a string written as impedance.py writes circuits (no engine refs such as R(p1))."""
    s = source.strip()
    if len(s) == 1 and s.isupper():
        return False
    return re.search(r"\(\s*p\d", s) is None
