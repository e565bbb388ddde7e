"""Fit the measured lithium-ion battery spectrum with circuit S and show the result.

    python3 examples/python/quickstart.py [SPECTRUM]

Reads the spectrum (any instrument file NOSKRUN imports; the battery
spectrum of the source tree by default), fits circuit S (series R and L, two
ZARCs and a diffusion CPE), prints the parameter table and, when matplotlib
is installed, plots data and model in the complex plane and the residuals
relative to |Z|.
"""

import os
import sys

import numpy as np

import nosk

here = os.path.dirname(os.path.abspath(__file__))
path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "tests", "data", "battery-eis.txt")

spectrum = nosk.read(path)
print(f"{spectrum.name}: {spectrum.format}, {len(spectrum.frequency)} points, "
      f"{spectrum.frequency.min():g} Hz to {spectrum.frequency.max():g} Hz")

# Circuit S: p1 Rs, p3 L, p4/p5/p6 first ZARC (R, Q, alpha), p7/p8/p9 second
# ZARC, p10/p11 the diffusion CPE (Q, alpha); p2 is not used.
start = [0.015, 0, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5]
print("circuit S =", nosk.circuit_definition("S"))
result = nosk.fit("S", spectrum.frequency, spectrum.Z, start)
print(result)

# The same model as an impedance.py string: the same fit, named its way.
same = nosk.fit("R0-L0-p(R1,CPE1)-p(R2,CPE2)-CPE3", spectrum.frequency, spectrum.Z,
                [0.015, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5])
print(f"\nas 'R0-L0-p(R1,CPE1)-p(R2,CPE2)-CPE3': S = {same.S:.6g} (circuit S: {result.S:.6g})")

try:
    import matplotlib.pyplot as plt
except ImportError:
    print("matplotlib is not installed: no plot")
    sys.exit(0)

fig, (ax1, ax2) = plt.subplots(1, 2, figsize=(11, 4.5))
ax1.plot(spectrum.Z.real, -spectrum.Z.imag, "o", ms=4, label="data")
ax1.plot(result.model.real, -result.model.imag, "-", label="model S")
ax1.set_xlabel("Z' / ohm")
ax1.set_ylabel("-Z'' / ohm")
ax1.set_aspect("equal", "datalim")
ax1.legend()
relative = (spectrum.Z - result.model) / np.abs(result.model) * 100
ax2.semilogx(spectrum.frequency, relative.real, "o-", ms=3, label="real")
ax2.semilogx(spectrum.frequency, relative.imag, "s-", ms=3, label="imaginary")
ax2.set_xlabel("frequency / Hz")
ax2.set_ylabel("residual / % of |Z model|")
ax2.legend()
fig.tight_layout()
out = "quickstart.png"
fig.savefig(out, dpi=100)
print(f"plot written to {out}")
