"""Many spectra at once: one circuit fitted to each spectrum of a series.

    python3 examples/python/many_spectra.py [FOLDER CIRCUIT START...]

Without arguments it makes a series of its own: twelve spectra of a cell
whose charge-transfer resistance falls with temperature (R1 thermally
activated, 0.5 eV, 1 % noise). With a folder it reads every instrument file
there instead, e.g. ``many_spectra.py data/ "R0-p(R1,C1)" 1 100 1e-6``.

fit_many fits each spectrum on all cores; with chain=True each fit starts
from the one before, which suits a series that changes gradually. The table
has a row per spectrum: the end of its fit, its status ("ok" or what is
wrong), S and each parameter with its std dev. With pandas it is a
DataFrame (written to many_spectra.csv), else a nosk.FitTable.
"""

import os
import sys

import numpy as np

import nosk

if len(sys.argv) > 3:
    folder, circuit, start = sys.argv[1], sys.argv[2], [float(x) for x in sys.argv[3:]]
    spectra = [nosk.read(os.path.join(folder, name)) for name in sorted(os.listdir(folder))
               if os.path.isfile(os.path.join(folder, name))]
    table = nosk.fit_many(circuit, None, spectra, start, chain=True)
else:
    circuit = "R0-p(R1,CPE1)"
    f = np.logspace(-1, 5, 40)                         # Hz
    T = np.linspace(280, 335, 12)                      # K
    R1 = 50 * np.exp(0.5 / 8.617e-5 * (1 / T - 1 / 298.15))   # Ohm
    rng = np.random.default_rng(7)
    Zs = []
    for r1 in R1:
        z = nosk.simulate(circuit, [5, r1, 2e-5, 0.88], f)
        Zs.append(z + 0.01 * np.abs(z) * (rng.standard_normal(40) + 1j * rng.standard_normal(40)) / np.sqrt(2))
    table = nosk.fit_many(circuit, f, Zs, start=[1, 100, 1e-5, 0.9])
    fitted = np.asarray(table["R1"] if hasattr(table, "iloc") else table.column("R1"))
    print("R1 fitted / true:", np.round(fitted / R1, 3))
    # ln R1 against 1/T: the slope is Ea/k.
    slope = np.polyfit(1 / T, np.log(fitted), 1)[0]
    print(f"activation energy from the fits: {slope * 8.617e-5:.3f} eV (0.5 eV simulated)")

print(table)
if hasattr(table, "to_csv"):
    table.to_csv("many_spectra.csv")
    print("table written to many_spectra.csv")
    print(table.attrs["results"][0].table())   # each spectrum's full result is kept with the table
