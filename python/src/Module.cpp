// The extension module nosk._nosk: the engine, the job format and the
// importers as plain functions on numpy arrays. The Python package nosk
// (python/nosk/__init__.py) gives them their documented signatures; this
// layer converts arrays and errors and releases the GIL while the engine
// works.

#include "FitCore.h"

#include "core/Exception.h"
#include "job/FitJob.h"
#include "ops/InstrumentImport.h"
#include "ops/Spectrum.h"
#include "ops/DrtRun.h"
#include "ops/KramersKronigRun.h"
#include "ops/ZhitRun.h"

#include <pybind11/complex.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

using nosk::FitJob;
using RealArray = py::array_t<double, py::array::c_style | py::array::forcecast>;
using ComplexArray = py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>;

std::vector<double> toVector(const RealArray& a, const char* what)
{
    if (a.ndim() != 1)
        throw py::value_error(std::string(what) + " must be a one-dimensional array");
    return std::vector<double>(a.data(), a.data() + a.shape(0));
}

// The frequencies and impedances of an analysis: as long as each other and
// no longer than the programs take.
void checkSpectrum(const std::vector<double>& f, const std::vector<std::complex<double>>& z)
{
    if (f.size() != z.size())
        throw py::value_error("frequency and Z differ in length");
    nosk::python::checkPointCount(f.size(), "frequency");
}

std::vector<std::complex<double>> toComplexVector(const ComplexArray& a, const char* what)
{
    if (a.ndim() != 1)
        throw py::value_error(std::string(what) + " must be a one-dimensional array");
    return std::vector<std::complex<double>>(a.data(), a.data() + a.shape(0));
}

py::array_t<double> toArray(const std::vector<double>& v)
{
    py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

py::array_t<std::complex<double>> toComplexArray(const std::vector<std::complex<double>>& v)
{
    py::array_t<std::complex<double>> a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

py::array_t<double> toMatrix(const std::vector<double>& rowMajor, int n)
{
    py::array_t<double> a({n, n});
    std::copy(rowMajor.begin(), rowMajor.end(), a.mutable_data());
    return a;
}

py::object column(const FitJob::Column& c)
{
    if (!c)
        return py::none();
    return toArray(*c);
}

void setColumn(FitJob& job, FitJob::Column FitJob::*member, const py::object& value)
{
    if (value.is_none()) {
        (job.*member).reset();
        return;
    }
    job.*member = toVector(value.cast<RealArray>(), "a data column");
}

py::dict fitResultDict(const nosk::python::FitOutput& out)
{
    py::dict d;
    d["params"] = toArray(out.params);
    d["free_index"] = out.freeIndex;
    d["std_dev"] = toArray(out.stdDev);
    d["resolved"] = out.resolved;
    d["at_limit"] = out.atLimit;
    d["status"] = out.status;
    d["given"] = toArray(out.given);
    d["correlation"] = toMatrix(out.correlation, static_cast<int>(out.freeIndex.size()));
    d["S"] = out.S;
    d["sigma_f"] = out.sigma;
    d["nu"] = out.nu;
    d["quality"] = out.quality;
    d["function_evaluations"] = out.functionEvaluations;
    d["jacobian_evaluations"] = out.jacobianEvaluations;
    d["converged"] = out.converged;
    d["reason"] = out.reason;
    d["end"] = out.endKind;
    d["model"] = toComplexArray(out.model);
    d["roles"] = out.roles;
    return d;
}

} // namespace

PYBIND11_MODULE(_nosk, m)
{
    m.doc() = "The NOSK engine: circuits, fits, the job format and the instrument importers.";

    // Every refusal of the engine and the readers is a nosk::exception with
    // the reason; Python sees a ValueError with that text.
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const nosk::exception& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const std::invalid_argument& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });

    py::class_<FitJob>(m, "Job", "A fit job as the .TST and INFL files hold it (the engine's field names).")
        .def(py::init<>())
        .def_readwrite("description", &FitJob::description)
        .def_readwrite("IOPT", &FitJob::IOPT)
        .def_readwrite("DINP", &FitJob::DINP)
        .def_readwrite("DFIT", &FitJob::DFIT)
        .def_readwrite("PINP", &FitJob::PINP)
        .def_readwrite("PFIT", &FitJob::PFIT)
        .def_readwrite("FREEQ", &FitJob::FREEQ)
        .def_readwrite("NEG", &FitJob::NEG)
        .def_readwrite("FUN", &FitJob::FUN)
        .def_readwrite("CELCAP", &FitJob::CELCAP)
        .def_readwrite("DATTYP", &FitJob::DATTYP)
        .def_readwrite("IPAR", &FitJob::IPAR)
        .def_readwrite("ROE", &FitJob::ROE)
        .def_readwrite("IFP", &FitJob::IFP)
        .def_readwrite("IRE", &FitJob::IRE)
        .def_readwrite("ECINF", &FitJob::ECINF)
        .def_readwrite("EC0", &FitJob::EC0)
        .def_readwrite("M", &FitJob::M)
        .def_readwrite("N", &FitJob::N)
        .def_readwrite("MAXFEV", &FitJob::MAXFEV)
        .def_readwrite("NPRINT", &FitJob::NPRINT)
        .def_readwrite("IRCH", &FitJob::IRCH)
        .def_readwrite("MODE", &FitJob::MODE)
        .def_readwrite("ICP", &FitJob::ICP)
        .def_readwrite("IPRINT", &FitJob::IPRINT)
        .def_readwrite("IGACC", &FitJob::IGACC)
        .def_readwrite("ATEMP", &FitJob::ATEMP)
        .def_readwrite("SDWC", &FitJob::SDWC)
        .def_readwrite("SDRC", &FitJob::SDRC)
        .def_property(
            "P", [](const FitJob& j) { return toArray(std::vector<double>(j.P, j.P + FitJob::kMaxParams)); },
            [](FitJob& j, const RealArray& a) {
                const std::vector<double> v = toVector(a, "P");
                if (v.size() > static_cast<std::size_t>(FitJob::kMaxParams))
                    throw py::value_error("P holds at most 50 parameters");
                std::fill(j.P, j.P + FitJob::kMaxParams, 0.0);
                std::copy(v.begin(), v.end(), j.P);
            },
            "p1 ... p50 (50 values; entries at and beyond N are not used)")
        .def_property(
            "NFREE", [](const FitJob& j) { return std::vector<int>(j.NFREE, j.NFREE + FitJob::kMaxParams); },
            [](FitJob& j, const std::vector<int>& v) {
                if (v.size() > static_cast<std::size_t>(FitJob::kMaxParams))
                    throw py::value_error("NFREE holds at most 50 codes");
                std::fill(j.NFREE, j.NFREE + FitJob::kMaxParams, 0);
                std::copy(v.begin(), v.end(), j.NFREE);
            },
            "the free codes: 0 fixed, 1 free and positive, 2 free of any sign")
        .def_property(
            "LOWER", [](const FitJob& j) { return toArray(std::vector<double>(j.LOWER, j.LOWER + FitJob::kMaxParams)); },
            [](FitJob& j, const RealArray& a) {
                const std::vector<double> v = toVector(a, "LOWER");
                if (v.size() > static_cast<std::size_t>(FitJob::kMaxParams))
                    throw py::value_error("LOWER holds at most 50 limits");
                std::fill(j.LOWER, j.LOWER + FitJob::kMaxParams, FitJob::kNoLower);
                std::copy(v.begin(), v.end(), j.LOWER);
            },
            "lower limits of p1 ... p50 (-inf: none)")
        .def_property(
            "UPPER", [](const FitJob& j) { return toArray(std::vector<double>(j.UPPER, j.UPPER + FitJob::kMaxParams)); },
            [](FitJob& j, const RealArray& a) {
                const std::vector<double> v = toVector(a, "UPPER");
                if (v.size() > static_cast<std::size_t>(FitJob::kMaxParams))
                    throw py::value_error("UPPER holds at most 50 limits");
                std::fill(j.UPPER, j.UPPER + FitJob::kMaxParams, FitJob::kNoUpper);
                std::copy(v.begin(), v.end(), j.UPPER);
            },
            "upper limits of p1 ... p50 (+inf: none)")
        .def_property(
            "FREQ", [](const FitJob& j) { return column(j.FREQ); },
            [](FitJob& j, const py::object& v) { setColumn(j, &FitJob::FREQ, v); })
        .def_property(
            "DATA1", [](const FitJob& j) { return column(j.DATA1); },
            [](FitJob& j, const py::object& v) { setColumn(j, &FitJob::DATA1, v); })
        .def_property(
            "DATA2", [](const FitJob& j) { return column(j.DATA2); },
            [](FitJob& j, const py::object& v) { setColumn(j, &FitJob::DATA2, v); })
        .def_property(
            "WEIGHT1", [](const FitJob& j) { return column(j.WEIGHT1); },
            [](FitJob& j, const py::object& v) { setColumn(j, &FitJob::WEIGHT1, v); })
        .def_property(
            "WEIGHT2", [](const FitJob& j) { return column(j.WEIGHT2); },
            [](FitJob& j, const py::object& v) { setColumn(j, &FitJob::WEIGHT2, v); });

    m.def(
        "load_job",
        [](const std::string& path) {
            FitJob job;
            {
                py::gil_scoped_release release;
                job.load(path);
            }
            return job;
        },
        py::arg("path"));
    m.def(
        "save_job",
        [](const FitJob& job, const std::string& path) {
            nosk::python::checkColumns(job);
            py::gil_scoped_release release;
            job.save(path, nosk::AtomicFileWriter::Links::Replace);
        },
        py::arg("job"), py::arg("path"));

    m.def(
        "job_spectrum",
        [](const FitJob& job) {
            const nosk::kkrun::Spectrum s = nosk::kkrun::spectrumOf(job);
            return py::make_tuple(toArray(s.frequencyHz), toComplexArray(s.z));
        },
        py::arg("job"));

    m.def(
        "read_spectrum",
        [](const std::string& path, int index) {
            nosk::InstrumentFile file;
            {
                py::gil_scoped_release release;
                file = nosk::readSpectrumFile(path);
            }
            if (file.format == "job" && index != 0)
                throw py::index_error("a job holds one spectrum");
            if (index < 0 || index >= static_cast<int>(file.spectra.size()))
                throw py::index_error("the file holds " + std::to_string(file.spectra.size()) +
                                      " spectra; there is no spectrum " + std::to_string(index));
            const nosk::ImportedSpectrum& s = file.spectra[index];
            std::vector<std::complex<double>> z(s.freq.size());
            for (std::size_t i = 0; i < z.size(); ++i)
                z[i] = {s.re[i], s.im[i]};
            py::dict d;
            d["frequency"] = toArray(s.freq);
            d["Z"] = toComplexArray(z);
            d["format"] = file.format;
            d["label"] = s.label;
            d["skipped"] = s.rowsSkipped;
            d["spectrum"] = index;
            d["spectra"] = static_cast<int>(file.spectra.size());
            py::dict metadata;
            for (const auto& [key, value] : file.metadata)
                metadata[py::str(key)] = value;
            d["metadata"] = metadata;
            return d;
        },
        py::arg("path"), py::arg("index") = 0);

    m.def(
        "simulate",
        [](const std::string& circuit, const RealArray& params, const RealArray& frequency) {
            const std::vector<double> p = toVector(params, "params");
            const std::vector<double> f = toVector(frequency, "frequency");
            std::vector<std::complex<double>> z;
            {
                py::gil_scoped_release release;
                z = nosk::python::simulate(circuit, p, f);
            }
            return toComplexArray(z);
        },
        py::arg("circuit"), py::arg("params"), py::arg("frequency"));

    m.def(
        "fit",
        [](const std::string& circuit, const RealArray& frequency, const ComplexArray& z, const RealArray& start,
            const std::vector<int>& codes, int weighting, const py::object& sigma, int maxEvaluations,
            int mode, const py::object& lower, const py::object& upper) {
            nosk::python::FitInput in;
            in.circuit = circuit;
            in.frequency = toVector(frequency, "frequency");
            in.z = toComplexVector(z, "Z");
            in.start = toVector(start, "start");
            in.codes = codes;
            in.weighting = weighting;
            if (!sigma.is_none())
                in.sigma = toComplexVector(sigma.cast<ComplexArray>(), "sigma");
            if (!lower.is_none())
                in.lower = toVector(lower.cast<RealArray>(), "lower limits");
            if (!upper.is_none())
                in.upper = toVector(upper.cast<RealArray>(), "upper limits");
            in.maxEvaluations = maxEvaluations;
            in.mode = mode;
            nosk::python::FitOutput out;
            {
                py::gil_scoped_release release;
                out = nosk::python::fit(in);
            }
            return fitResultDict(out);
        },
        py::arg("circuit"), py::arg("frequency"), py::arg("Z"), py::arg("start"), py::arg("codes"),
        py::arg("weighting"), py::arg("sigma"), py::arg("max_evaluations"), py::arg("mode"),
        py::arg("lower") = py::none(), py::arg("upper") = py::none());

    m.def(
        "fit_job",
        [](const FitJob& job, const std::string& circuitsFile) {
            nosk::python::FitOutput out;
            {
                py::gil_scoped_release release;
                out = nosk::python::fitJob(job, circuitsFile);
            }
            return fitResultDict(out);
        },
        py::arg("job"), py::arg("circuits_file") = "");

    m.def(
        "parameter_roles", [](const std::string& circuit) { return nosk::python::roles(circuit); },
        py::arg("circuit"));
    m.def("circuit_definition", &nosk::python::definitionText, py::arg("circuit"));

    m.def(
        "kk",
        [](const RealArray& frequency, const ComplexArray& z, double cutoff, int elements) {
            const std::vector<double> f = toVector(frequency, "frequency");
            const std::vector<std::complex<double>> zv = toComplexVector(z, "Z");
            checkSpectrum(f, zv);
            nosk::kk::Options options;
            if (cutoff > 0) {
                options.rule = nosk::kk::Rule::Cutoff;
                options.cutoff = cutoff;
            }
            options.elements = elements;
            nosk::kk::Result r;
            {
                py::gil_scoped_release release;
                r = nosk::kk::test(f, zv, options);
            }
            py::dict d;
            d["elements"] = r.elements;
            d["mu"] = r.mu;
            d["tau"] = toArray(r.tau);
            d["resistance"] = toArray(r.resistance);
            d["series_resistance"] = r.seriesResistance;
            d["series_inductance"] = r.seriesInductance;
            d["inverse_capacitance"] = r.inverseCapacitance;
            d["model"] = toComplexArray(r.model);
            d["residual_real"] = toArray(r.residualReal);
            d["residual_imag"] = toArray(r.residualImag);
            d["representation"] = r.representationText();
            d["valid"] = r.verdict.valid;
            d["verdict"] = r.verdict.text();
            d["summary"] = nosk::kkrun::summary(nosk::Spectrum{f, zv, {}}, r, options);
            return d;
        },
        py::arg("frequency"), py::arg("Z"), py::arg("cutoff") = 0.0, py::arg("elements") = 0);

    m.def(
        "zhit",
        [](const RealArray& frequency, const ComplexArray& z) {
            const std::vector<double> f = toVector(frequency, "frequency");
            const std::vector<std::complex<double>> zv = toComplexVector(z, "Z");
            checkSpectrum(f, zv);
            nosk::zhit::Result r;
            {
                py::gil_scoped_release release;
                r = nosk::zhit::test(f, zv);
            }
            py::dict d;
            d["frequency"] = toArray(r.frequencyHz);
            d["modulus"] = toArray(r.modulus);
            d["reconstructed"] = toArray(r.reconstructed);
            d["deviation"] = toArray(r.deviation);
            d["smoothed_phase"] = toArray(r.smoothedPhaseDeg);
            d["valid"] = r.verdict.valid;
            d["verdict"] = r.verdict.text();
            d["summary"] = nosk::zhitrun::summary(nosk::Spectrum{f, zv, {}}, r);
            return d;
        },
        py::arg("frequency"), py::arg("Z"));

    m.def(
        "drt",
        [](const RealArray& frequency, const ComplexArray& z, int bandSamples, double lambda, int derivative,
           const std::string& capacitance, unsigned seed) {
            const std::vector<double> f = toVector(frequency, "frequency");
            const std::vector<std::complex<double>> zv = toComplexVector(z, "Z");
            checkSpectrum(f, zv);
            if (derivative != 1 && derivative != 2)
                throw py::value_error("derivative must be 1 or 2");
            nosk::drt::Options options;
            options.bandSamples = std::max(0, bandSamples);
            options.lambda = lambda;
            options.derivative = derivative;
            options.seed = seed;
            if (capacitance == "auto")
                options.capacitance = nosk::drt::Capacitance::Automatic;
            else if (capacitance == "always")
                options.capacitance = nosk::drt::Capacitance::Always;
            else if (capacitance == "never")
                options.capacitance = nosk::drt::Capacitance::Never;
            else
                throw py::value_error("capacitance must be 'auto', 'always' or 'never'");
            nosk::drt::Result r;
            {
                py::gil_scoped_release release;
                r = nosk::drt::compute(f, zv, options);
            }
            py::list peaks;
            for (const nosk::drt::Peak& p : r.peaks) {
                py::dict peak;
                peak["tau"] = p.tau;
                peak["frequency"] = p.frequencyHz;
                peak["gamma"] = p.gamma;
                peak["area"] = p.area;
                peaks.append(peak);
            }
            py::dict d;
            d["tau"] = toArray(r.tau);
            d["gamma"] = toArray(r.gamma);
            d["band_low"] = r.bandLow.empty() ? py::object(py::none()) : py::object(toArray(r.bandLow));
            d["band_high"] = r.bandHigh.empty() ? py::object(py::none()) : py::object(toArray(r.bandHigh));
            d["peaks"] = peaks;
            d["lam"] = r.lambda;
            d["series_resistance"] = r.seriesResistance;
            d["series_inductance"] = r.seriesInductance;
            d["series_capacitance"] = r.seriesCapacitance;
            d["residual_rms"] = r.residualRms;
            d["model"] = toComplexArray(r.model);
            d["summary"] = nosk::drtrun::summary(nosk::Spectrum{f, zv, {}}, r);
            d["table"] = nosk::drt::formatTable(r, options);
            return d;
        },
        py::arg("frequency"), py::arg("Z"), py::arg("band_samples") = 0, py::arg("lam") = 0.0,
        py::arg("derivative") = 2, py::arg("capacitance") = "auto", py::arg("seed") = 1u);
}
