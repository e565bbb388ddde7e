"""A single fit, step by step as in a notebook: read, fit, look, plot, save, load.

    python3 examples/python/quickstart.py [SPECTRUM]

Reads the spectrum (any instrument file NOSKRUN imports; the battery
spectrum of the source tree by default), fits circuit S (series R and L, two
ZARCs and a diffusion CPE), prints the parameter table, saves the result as
JSON and reads it back, and, when matplotlib is installed, writes the
Nyquist plot and the residuals to quickstart.png.
"""

import os
import sys
import tempfile
import warnings

import nosk

here = os.path.dirname(os.path.abspath(__file__))
path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "tests", "data", "battery-eis.txt")

spectrum = nosk.read(path)
print(f"{spectrum.name}: {spectrum.format}, {len(spectrum.frequency)} points, "
      f"{spectrum.frequency.min():g} Hz to {spectrum.frequency.max():g} Hz")

# Circuit S: p1 Rs, p3 L, p4/p5/p6 first ZARC (R, Q, alpha), p7/p8/p9 second
# ZARC, p10/p11 the diffusion CPE (Q, alpha); p2 is not used.
print("circuit S =", nosk.circuit_definition("S"))
start = [0.015, 0, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5]
with warnings.catch_warnings(record=True) as caught:
    warnings.simplefilter("always", nosk.NoskWarning)
    result = nosk.fit("S", spectrum.frequency, spectrum.Z, start)
print(result)                   # the table; a notebook shows it as HTML
print(repr(result))             # one line
for w in caught:
    print("warning:", w.message)

# The same model as an impedance.py string: the same fit, named its way, and
# one parameter held by name.
same = nosk.fit("R0-L0-p(R1,CPE1)-p(R2,CPE2)-CPE3", spectrum.frequency, spectrum.Z,
                [0.015, 1.5e-7, 5e-3, 5, 0.8, 0.01, 20, 0.7, 300, 0.5], fixed={"CPE3_1": 0.5})
print(f"\nwith CPE3_1 held at 0.5: S = {same.S:.6g} (circuit S, all free: {result.S:.6g})")

# The fitted model anywhere, the result saved and read back.
print("Z at 1 kHz:", result.predict([1e3])[0], "Ohm")
saved = os.path.join(tempfile.mkdtemp(), "battery-fit.json")
result.save(saved)
back = nosk.load(saved)
print(f"saved to {saved} and read back: S = {back.S:.6g}")

try:
    import matplotlib
except ImportError:
    print("matplotlib is not installed: no plot")
    sys.exit(0)
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

fig, (ax1, ax2) = plt.subplots(1, 2, figsize=(11, 4.5))
result.plot("nyquist", ax=ax1)
result.plot("residuals", ax=ax2)
fig.tight_layout()
fig.savefig("quickstart.png", dpi=100)
print("plot written to quickstart.png")
