#pragma once

#include <pybind11/pybind11.h>

namespace nosk::python {

// Adds fit_series to the extension module.
void bindSeries(pybind11::module_& m);

} // namespace nosk::python
