"""Is the spectrum fit to be fitted? The Kramers-Kronig test and Z-HIT.

    python3 examples/python/validation.py [SPECTRUM]

Runs both tests on the spectrum (the battery spectrum of the source tree by
default), prints their verdicts and summaries, and, when matplotlib is
installed, writes the KK residuals and the Z-HIT reconstruction to
validation.png.
"""

import os
import sys

import nosk

here = os.path.dirname(os.path.abspath(__file__))
path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "tests", "data", "battery-eis.txt")
s = nosk.read(path)

k = nosk.kk(s.frequency, s.Z)
print(repr(k))
print(k)        # the summary noskrun --kk writes
print(f"mu = {k.mu:.3f}: 1 - (negative R)/(positive R) of its {k.elements} RC elements; "
      "near 1 none of them fits noise")

z = nosk.zhit(s.frequency, s.Z)
print(repr(z))
print(z)

# The residuals as a table, when pandas is there.
try:
    print(k.to_dataframe().head())
except ImportError:
    pass

try:
    import matplotlib
except ImportError:
    print("matplotlib is not installed: no plot")
    sys.exit(0)
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

fig = plt.figure(figsize=(11, 6))
k.plot(ax=fig.add_subplot(1, 2, 1))
z.plot(ax=(fig.add_subplot(2, 2, 2), fig.add_subplot(2, 2, 4)))
fig.tight_layout()
fig.savefig("validation.png", dpi=100)
print("plot written to validation.png")
