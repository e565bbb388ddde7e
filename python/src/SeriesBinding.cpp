// nosk._nosk.fit_series: a series of jobs fitted as one (engine/series),
// its result as plain Python values for nosk.fit_series.
#include "SeriesBinding.h"

#include "engine/series/SeriesRun.h"

#include "core/Exception.h"
#include "job/FitJob.h"
#include "model/Circuit.h"

#include <pybind11/stl.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace py = pybind11;

namespace nosk::python {

namespace {

using series::Role;

py::object number(double v)
{
    return std::isfinite(v) ? py::object(py::float_(v)) : py::object(py::none());
}

std::string pName(int param)
{
    return "P" + std::to_string(param + 1);
}

py::dict fitSeriesDict(const std::vector<FitJob>& jobs, const std::vector<double>& covariate,
    const py::dict& roleNames, const std::vector<std::string>& labels, const std::string& unit, int starts,
    bool testEach, const std::string& circuitsFile)
{
    series::SeriesSetup setup;
    setup.jobs = jobs;
    setup.covariate = covariate;
    setup.labels = labels;
    setup.unit = unit;
    setup.starts = starts;
    setup.testEachParameter = testEach;
    const int N = jobs.empty() ? 0 : jobs.front().N;
    setup.roles.assign(static_cast<std::size_t>(std::max(N, 0)), Role::Local);
    for (const auto& [key, value] : roleNames) {
        const int p = key.cast<int>();
        const std::string name = value.cast<std::string>();
        const std::optional<Role> role = series::roleOfName(name);
        if (p < 1 || p > N)
            throw exception("there is no parameter P%d (the jobs have P1 to P%d)", p, N);
        if (!role)
            throw exception("P%d: no role \"%s\" (local, shared, arrhenius, vft, linear, quadratic, exponential)", p,
                name.c_str());
        setup.roles[static_cast<std::size_t>(p - 1)] = *role;
    }
    const model::CircuitLibrary circuits = circuitsFile.empty() ? model::CircuitLibrary::builtIn()
                                                                : model::CircuitLibrary::withOverrides(circuitsFile);
    setup.circuits = &circuits;
    series::SeriesResult r;
    {
        py::gil_scoped_release release;
        r = series::fitSeries(setup);
    }
    const series::JointStatistics& st = r.statistics;
    py::dict out;
    out["single_fit"] = r.single;
    out["converged"] = r.fit.converged;
    out["fit_end"] = r.fit.end;
    out["S"] = st.S;
    out["K"] = st.K;
    out["nu"] = st.nu;
    py::list parameters;
    for (const series::Coefficient& c : st.coefficients) {
        py::dict d;
        d["name"] = c.name;
        d["role"] = series::roleName(c.role);
        d["value"] = number(c.value);
        d["std_dev"] = number(c.stdDev);
        d["ci95"] = py::make_tuple(number(c.low), number(c.high));
        d["status"] = parameterStatusName(c.status);
        parameters.append(d);
    }
    out["parameters"] = parameters;
    // The table: a column per field, a row per spectrum.
    py::dict table;
    table["covariate"] = covariate;
    std::vector<double> S;
    for (const series::SpectrumValues& sv : st.spectra)
        S.push_back(sv.S);
    table["S"] = S;
    for (std::size_t j = 0; j < r.freeParams.size(); ++j) {
        std::vector<double> value, sd;
        std::vector<std::string> status;
        for (const series::SpectrumValues& sv : st.spectra) {
            value.push_back(sv.value[j]);
            sd.push_back(sv.stdDev[j]);
            status.push_back(parameterStatusName(sv.status[j]));
        }
        const std::string p = pName(r.freeParams[j]);
        table[py::str(p)] = value;
        table[py::str(p + " std dev")] = sd;
        table[py::str(p + " status")] = status;
    }
    out["table"] = table;
    py::dict tests;
    const series::RolesTest& t = r.tests;
    tests["available"] = t.available;
    tests["why"] = t.why;
    if (t.available) {
        tests["f_statistic"] = t.F;
        tests["p_value"] = t.pValue;
        tests["aic_joint"] = t.aicJoint;
        tests["aic_independent"] = t.aicIndependent;
        tests["bic_joint"] = t.bicJoint;
        tests["bic_independent"] = t.bicIndependent;
        tests["verdict"] = t.verdict;
        py::list each;
        for (const series::ParameterTest& pt : t.parameters) {
            py::dict d;
            d["name"] = pt.name;
            d["role"] = series::roleName(pt.role);
            d["f_statistic"] = pt.F;
            d["p_value"] = pt.pValue;
            d["disagree"] = pt.disagree;
            d["verdict"] = pt.verdict;
            each.append(d);
        }
        tests["parameters"] = each;
    }
    out["tests"] = tests;
    out["notes"] = r.notes;
    return out;
}

} // namespace

void bindSeries(py::module_& m)
{
    m.def("fit_series", &fitSeriesDict, py::arg("jobs"), py::arg("covariate"), py::arg("roles"),
        py::arg("labels"), py::arg("unit") = "", py::arg("starts") = 4, py::arg("test_each") = true,
        py::arg("circuits_file") = "");
}

} // namespace nosk::python
