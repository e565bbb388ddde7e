// The extension module nosk._nosk: the engine, the job format and the
// importers as plain functions on numpy arrays. The Python package nosk
// (python/nosk/__init__.py) gives them their documented signatures; this
// layer converts arrays and errors and releases the GIL while the engine
// works.

#include "FitCore.h"
#include "SeriesBinding.h"

#include "core/Exception.h"
#include "job/FitJob.h"
#include "job/JobFields.h"
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
#include <iterator>
#include <string_view>
#include <utility>
#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;

namespace nosk::python {
void bindSuggest(py::module_& m);  // SuggestModule.cpp
}

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
    py::array_t<double> a = toArray(*c);
    a.attr("flags").attr("writeable") = false;
    return a;
}

void setColumn(FitJob& job, FitJob::Column FitJob::*member, const py::object& value)
{
    if (value.is_none()) {
        (job.*member).reset();
        return;
    }
    job.*member = toVector(value.cast<RealArray>(), "a data column");
}

// The docstring of each header field of the job.
const char* fieldDoc(const char* name)
{
    static const std::pair<std::string_view, const char*> docs[] = {
        {"IOPT", "CNLS optimization operation: an integer the engine prints and does not otherwise use"},
        {"DINP", "the immittance level of the data lines: 'Z' impedance, 'Y' admittance, 'M' modulus, "
                 "'E' complex dielectric constant"},
        {"DFIT", "the level the fit is done in ('Z', 'Y', 'M' or 'E'): data and model are brought to it"},
        {"PINP", "how the two data columns hold a complex number: 'R' real and imaginary part, 'P' magnitude "
                 "and phase in radians, 'D' magnitude and phase in degrees, 'L' ln of the magnitude and phase"},
        {"PFIT", "the complex format residuals are formed in ('R', 'P', 'D' or 'L')"},
        {"FREEQ", "'F': FREQ holds ordinary frequencies in Hz; ' ': angular frequencies in rad/s"},
        {"NEG", "'N' multiplies the second data column by -1 as it is read; ' ' leaves it"},
        {"FUN", "the circuit: a letter A-T of the built-in circuits (nosk.Job also takes a definition in the "
                "circuit language or an impedance.py string here)"},
        {"CELCAP", "the empty-cell capacitance C0 in farads, for conversions between Z or Y and M or E"},
        {"DATTYP", "'C' fits both components, 'R' only the first, 'I' only the second"},
        {"IPAR", "above 0: the last column of AUXPNTL holds residual/sigma instead of residual/model"},
        {"ROE", "robust regression (or -A/L): passed to the engine, printed, otherwise unused"},
        {"IFP", "function weighting: passed to the engine, printed, otherwise unused"},
        {"IRE", "residual weighting: printed by the engine; negative asks the organiser to load OUTIN "
                "after the run, -11 or less makes the viewer show ordinary frequency"},
        {"ECINF", "an optional value of line 2, kept as it is"},
        {"EC0", "an optional value of line 2, kept as it is"},
        {"M", "the number of data lines; every data column holds M values"},
        {"N", "the number of model parameters, 0 to 50"},
        {"MAXFEV", "the most function evaluations of the fit; 0, 1 or 2 only evaluate the model at P "
                   "(a simulation)"},
        {"NPRINT", "above 0: the engine prints a progress line every NPRINT iterations"},
        {"IRCH", "the weighting: 0 the WEIGHT columns, 1 unit, 2 proportional to each component, 3 the modulus "
                 "|Z| for both, -2 proportional to the model"},
        {"MODE", "2: the parameters are used as they are (unit scaling); any other value scales them "
                 "automatically"},
        {"ICP", "a value for the engine: printed, otherwise unused"},
        {"IPRINT", "the output level: how much the engine prints in its report"},
        {"IGACC", "a value for the engine (GACC in the file): printed, otherwise unused"},
        {"ATEMP", "a value for the engine: printed, otherwise unused"},
        {"SDWC", "an optional value of line 3, kept as it is"},
        {"SDRC", "an optional value of line 3, kept as it is"},
    };
    for (const auto& [key, doc] : docs)
        if (key == name)
            return doc;
    return name;
}

// A one-dimensional view of one of the job's parameter arrays, kept alive by
// the job object that holds it.
template <typename T>
py::array_t<T> parameterView(py::object self, T (FitJob::*member)[FitJob::kMaxParams])
{
    FitJob& job = self.cast<FitJob&>();
    return py::array_t<T>({static_cast<py::ssize_t>(FitJob::kMaxParams)}, {static_cast<py::ssize_t>(sizeof(T))},
        job.*member, self);
}

void setParameters(double* target, const RealArray& a, const char* what, double fill)
{
    const std::vector<double> v = toVector(a, what);
    if (v.size() > static_cast<std::size_t>(FitJob::kMaxParams))
        throw py::value_error(std::string(what) + " holds at most 50 values");
    std::fill(target, target + FitJob::kMaxParams, fill);
    std::copy(v.begin(), v.end(), target);
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
    if (!out.definition.empty())
        d["definition"] = out.definition;
    if (!out.intervalLow.empty()) {
        d["interval_low"] = out.intervalLow;
        d["interval_high"] = out.intervalHigh;
    }
    return d;
}

} // namespace

PYBIND11_MODULE(_nosk, m)
{
    m.doc() = "The NOSK engine: circuits, fits, the job format and the instrument importers.";
    nosk::python::bindSuggest(m);

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

    // The job's header fields, bound from the one table of them; each has its
    // docstring below, and a code field refuses a letter its list lacks.
    py::class_<FitJob> job(m, "Job", "A fit job as the .TST and INFL files hold it (the engine's field names).");
    job.def(py::init<>())
        .def("_assign", [](FitJob& self, const FitJob& other) { self = other; }, py::arg("other"))
        .def_readwrite("description", &FitJob::description,
            "the description of the run: free text of at most 81 characters, the first line of the file");
    for (const nosk::JobField& f : nosk::kJobFields) {
        const char* doc = fieldDoc(f.name);
        const nosk::JobField* p = &f;
        switch (f.kind) {
        case nosk::FieldKind::Int:
            job.def_property(
                f.name, [p](const FitJob& j) { return p->intIn(j); },
                [p](FitJob& j, int v) { p->intIn(j) = v; }, doc);
            break;
        case nosk::FieldKind::Double:
            job.def_property(
                f.name, [p](const FitJob& j) { return p->doubleIn(j); },
                [p](FitJob& j, double v) { p->doubleIn(j) = v; }, doc);
            break;
        case nosk::FieldKind::Code:
            job.def_property(
                f.name, [p](const FitJob& j) { return std::string(1, p->codeIn(j)); },
                [p](FitJob& j, const std::string& v) {
                    if (v.size() != 1 || p->codes->codes.find(v[0]) == std::string_view::npos) {
                        std::string allowed;
                        for (char c : p->codes->codes)
                            allowed += std::string(allowed.empty() ? "" : ", ") + "'" + c + "'";
                        throw py::value_error(std::string(p->name) + " = '" + v + "': one of " + allowed);
                    }
                    p->codeIn(j) = v[0];
                },
                doc);
            break;
        }
    }
    // The parameter arrays are views of the job's own storage, so that
    // job.P[0] = 1 changes the job; the view keeps the job alive.
    job.def_property(
            "P", [](py::object self) { return parameterView(self, &FitJob::P); },
            [](FitJob& j, const RealArray& a) { setParameters(j.P, a, "P", 0.0); },
            "p1 ... p50, the parameters' values (50 entries; those at and beyond N are not used). "
            "A view of the job: job.P[0] = 1 changes it")
        .def_property(
            "NFREE", [](py::object self) { return parameterView(self, &FitJob::NFREE); },
            [](FitJob& j, const py::array_t<int, py::array::c_style | py::array::forcecast>& a) {
                if (a.ndim() != 1 || a.shape(0) > FitJob::kMaxParams)
                    throw py::value_error("NFREE holds at most 50 codes");
                std::fill(j.NFREE, j.NFREE + FitJob::kMaxParams, 0);
                std::copy(a.data(), a.data() + a.shape(0), j.NFREE);
            },
            "the free codes of p1 ... p50: 0 fixed, 1 free and positive, 2 free of any sign. "
            "A view of the job: job.NFREE[0] = 1 changes it")
        .def_property(
            "LOWER", [](py::object self) { return parameterView(self, &FitJob::LOWER); },
            [](FitJob& j, const RealArray& a) { setParameters(j.LOWER, a, "LOWER", FitJob::kNoLower); },
            "lower limits of p1 ... p50 (-inf: none). A view of the job")
        .def_property(
            "UPPER", [](py::object self) { return parameterView(self, &FitJob::UPPER); },
            [](FitJob& j, const RealArray& a) { setParameters(j.UPPER, a, "UPPER", FitJob::kNoUpper); },
            "upper limits of p1 ... p50 (+inf: none). A view of the job");
    // The data columns are read-only copies: a column is replaced as a whole
    // (job.DATA1 = values), and an item assignment raises instead of changing
    // a copy that nobody sees.
    const std::pair<const char*, const char*> columns[] = {
        {"FREQ", "the frequencies of the data lines (Hz with FREEQ 'F', else rad/s), M values or None"},
        {"DATA1", "the first component of each data line (Z' in rectangular form), M values or None"},
        {"DATA2", "the second component of each data line (Z'' in rectangular form), M values or None"},
        {"WEIGHT1", "the sigma of the first component of each line (only with IRCH 0), M values or None"},
        {"WEIGHT2", "the sigma of the second component of each line (only with IRCH 0), M values or None"},
    };
    FitJob::Column FitJob::*const members[] = {
        &FitJob::FREQ, &FitJob::DATA1, &FitJob::DATA2, &FitJob::WEIGHT1, &FitJob::WEIGHT2};
    for (std::size_t i = 0; i < std::size(members); ++i) {
        FitJob::Column FitJob::*member = members[i];
        job.def_property(
            columns[i].first, [member](const FitJob& j) { return column(j.*member); },
            [member](FitJob& j, const py::object& v) { setColumn(j, member, v); }, columns[i].second);
    }

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
            int mode, const py::object& lower, const py::object& upper, const std::string& intervals, double level) {
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
            in.intervals = intervals;
            in.level = level;
            nosk::python::FitOutput out;
            {
                py::gil_scoped_release release;
                out = nosk::python::fit(in);
            }
            return fitResultDict(out);
        },
        py::arg("circuit"), py::arg("frequency"), py::arg("Z"), py::arg("start"), py::arg("codes"),
        py::arg("weighting"), py::arg("sigma"), py::arg("max_evaluations"), py::arg("mode"),
        py::arg("lower") = py::none(), py::arg("upper") = py::none(), py::arg("intervals") = "",
        py::arg("level") = 0.95);

    m.def(
        "fit_job",
        [](const FitJob& job, const std::string& circuitsFile, const std::string& definition) {
            nosk::python::FitOutput out;
            {
                py::gil_scoped_release release;
                out = nosk::python::fitJob(job, circuitsFile, definition);
            }
            return fitResultDict(out);
        },
        py::arg("job"), py::arg("circuits_file") = "", py::arg("definition") = "");

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

    nosk::python::bindSeries(m);
}
