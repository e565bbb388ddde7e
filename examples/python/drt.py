"""The distribution of relaxation times of a spectrum, with its credible band.

    python3 examples/python/drt.py [SPECTRUM]

Computes the DRT of the spectrum (the battery spectrum of the source tree by
default) with the 95 % band, prints its peaks (time constant, frequency,
resistance), saves it as JSON and, when matplotlib is installed, writes
gamma(tau) to drt.png.
"""

import os
import sys

import nosk

here = os.path.dirname(os.path.abspath(__file__))
path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "tests", "data", "battery-eis.txt")
s = nosk.read(path)

d = nosk.drt(s.frequency, s.Z, band=True)
print(repr(d))
print(f"R_inf = {d.series_resistance:.4g} Ohm, L = {d.series_inductance:.3g} H, lambda = {d.lam:.3g}")
for p in d.peaks:
    print(f"  peak at tau = {p.tau:.3g} s ({p.frequency:.3g} Hz): R = {p.area:.4g} Ohm")
d.save("drt.json")
print("saved to drt.json; nosk.load('drt.json') reads it back")

try:
    import matplotlib
except ImportError:
    print("matplotlib is not installed: no plot")
    sys.exit(0)
matplotlib.use("Agg")
ax = d.plot()
ax.figure.savefig("drt.png", dpi=100)
print("plot written to drt.png")
