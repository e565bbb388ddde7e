// nosk._nosk.suggest: the ranked circuit suggestion (engine/suggest) on
// numpy arrays, as plain dictionaries with the fields of `noskrun --suggest
// --json`.

#include "Suggest.h"

#include "results/FitStatistics.h"

#include <pybind11/complex.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <complex>
#include <stdexcept>
#include <vector>

namespace py = pybind11;

namespace nosk::python {

namespace {

using RealArray = py::array_t<double, py::array::c_style | py::array::forcecast>;
using ComplexArray = py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>;

py::object numberOrNone(double v)
{
    return std::isfinite(v) ? py::object(py::float_(v)) : py::object(py::none());
}

} // namespace

void bindSuggest(py::module_& m)
{
    m.def(
        "suggest",
        [](const RealArray& frequency, const ComplexArray& z, int top) {
            if (frequency.ndim() != 1 || z.ndim() != 1)
                throw py::value_error("frequency and Z must be one-dimensional arrays");
            const std::vector<double> f(frequency.data(), frequency.data() + frequency.size());
            const std::vector<std::complex<double>> zv(z.data(), z.data() + z.size());
            suggest::Result r;
            {
                py::gil_scoped_release release;
                r = suggest::suggestCircuits(f, zv);  // std::invalid_argument becomes ValueError
            }
            py::list candidates;
            for (std::size_t k = 0; k < r.ranked.size() && static_cast<int>(k) < top; ++k) {
                const suggest::Ranked& c = r.ranked[k];
                py::list parameters;
                for (const suggest::FittedParameter& p : c.parameters) {
                    py::dict d;
                    d["name"] = p.name;
                    d["value"] = p.value;
                    d["std_dev"] = numberOrNone(p.stdDev);
                    d["status"] = parameterStatusName(p.status);
                    parameters.append(d);
                }
                py::dict d;
                d["rank"] = k + 1;
                d["circuit"] = c.candidate.circuit;
                d["label"] = c.candidate.label;
                d["S"] = c.S;
                d["sigma_f"] = c.sigmaF;
                d["bic"] = c.bic;
                d["aic"] = c.aic;
                d["undetermined"] = c.undetermined;
                d["tie_with"] = c.tieWith >= 0 ? py::object(py::int_(c.tieWith + 1)) : py::object(py::none());
                d["parameters"] = parameters;
                d["reason"] = c.reason;
                candidates.append(d);
            }
            py::dict out;
            out["points"] = r.points;
            out["noise"] = r.noise;
            out["processes"] = r.peaks;
            out["tried"] = r.tried;
            out["candidates"] = candidates;
            return out;
        },
        py::arg("frequency"), py::arg("Z"), py::arg("top") = 5);
}

} // namespace nosk::python
