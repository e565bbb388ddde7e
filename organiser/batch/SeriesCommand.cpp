#include "SeriesCommand.h"

#include "BatchRun.h"
#include "CommandLine.h"
#include "SeriesPlot.h"
#include "ops/Spectrum.h"
#include "core/AtomicFileWriter.h"
#include "core/CsvText.h"
#include "core/Exception.h"
#include "core/JsonText.h"
#include "core/WorkFolderFiles.h"
#include "job/FitJob.h"
#include "model/Circuit.h"
#include "results/SeriesResultReader.h"
#include "ui/SeriesChart.h"

#include <QImage>

#include <cmath>
#include <filesystem>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

namespace nosk {

namespace seriescmd {

namespace {

using series::Role;

std::string num(double v)
{
    if (!std::isfinite(v))
        return "";
    char b[40];
    std::snprintf(b, sizeof b, "%.10g", v);
    return b;
}

int parameterNumber(const std::string& name, int count)
{
    std::string digits = name;
    if (!digits.empty() && (digits[0] == 'P' || digits[0] == 'p'))
        digits.erase(0, 1);
    int n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9' || n > 1000)
            return 0;
        n = n * 10 + (c - '0');
    }
    return !digits.empty() && n >= 1 && n <= count ? n : 0;
}

std::string pName(int param)
{
    return "P" + std::to_string(param + 1);
}

} // namespace

std::vector<Role> rolesOf(const std::vector<std::string>& shared, const std::vector<std::string>& vary,
    int parameterCount)
{
    std::vector<Role> roles(static_cast<std::size_t>(parameterCount), Role::Local);
    std::vector<bool> named(static_cast<std::size_t>(parameterCount), false);
    auto place = [&](const std::string& name, Role role) {
        const int n = parameterNumber(name, parameterCount);
        if (n == 0)
            throw exception("--series: there is no parameter %s (the template has P1 to P%d)", name.c_str(),
                parameterCount);
        if (named[static_cast<std::size_t>(n - 1)])
            throw exception("--series: P%d is given a role twice", n);
        named[static_cast<std::size_t>(n - 1)] = true;
        roles[static_cast<std::size_t>(n - 1)] = role;
    };
    for (const std::string& s : shared)
        place(s, Role::Shared);
    for (const std::string& v : vary) {
        const std::size_t eq = v.find('=');
        const std::string function = v.substr(eq + 1);
        const std::optional<Role> role = series::roleOfName(function);
        if (!role || !series::isFunction(*role))
            throw exception("--vary %s: no function \"%s\" (arrhenius, vft, linear, quadratic or exponential)",
                v.c_str(), function.c_str());
        place(v.substr(0, eq), *role);
    }
    return roles;
}

std::string formatTable(const SeriesReport& report)
{
    const series::SeriesResult& r = report.result;
    std::string out = "file," + csvText(serieslist::quantityText(report.quantity)) + ",S";
    for (std::size_t j = 0; j < r.freeParams.size(); ++j) {
        const std::string p = pName(r.freeParams[j]);
        out += "," + p + "," + p + " std dev," + p + " status";
    }
    out += "\n";
    for (std::size_t i = 0; i < r.statistics.spectra.size(); ++i) {
        const series::SpectrumValues& sv = r.statistics.spectra[i];
        out += csvTextCell(report.files[i]) + "," + num(report.covariate[i]) + "," + num(sv.S);
        for (std::size_t j = 0; j < r.freeParams.size(); ++j)
            out += "," + num(sv.value[j]) + "," + num(sv.stdDev[j]) + "," + parameterStatusName(sv.status[j]);
        out += "\n";
    }
    return out;
}

std::string formatJson(const SeriesReport& report)
{
    const series::SeriesResult& r = report.result;
    const series::JointStatistics& st = r.statistics;
    std::ostringstream o;
    o << "{\n  \"covariate\": {\"name\": " << json::text(report.quantity.name)
      << ", \"unit\": " << json::text(report.quantity.unit) << "},\n";
    o << "  \"single_fit\": " << (r.single ? "true" : "false") << ",\n";
    o << "  \"fit_end\": " << json::text(r.fit.end) << ",\n  \"converged\": " << (r.fit.converged ? "true" : "false")
      << ",\n";
    o << "  \"S\": " << json::number(st.S) << ", \"K\": " << st.K << ", \"variables\": " << st.variables
      << ", \"nu\": " << st.nu << ", \"sigma\": " << json::number(st.sigma) << ",\n";
    o << "  \"parameters\": [";
    bool first = true;
    for (std::size_t j = 0; j < r.freeParams.size(); ++j) {
        if (r.roles[j] != Role::Local)
            continue;
        o << (first ? "\n" : ",\n") << "    {\"name\": " << json::text(pName(r.freeParams[j]))
          << ", \"role\": \"local\"}";
        first = false;
    }
    for (const series::Coefficient& c : st.coefficients) {
        o << (first ? "\n" : ",\n") << "    {\"name\": " << json::text(c.name) << ", \"role\": "
          << json::text(series::roleName(c.role)) << ", \"value\": " << json::number(c.value)
          << ", \"std_dev\": " << json::number(c.stdDev) << ", \"ci95\": [" << json::number(c.low) << ", "
          << json::number(c.high) << "], \"status\": " << json::text(parameterStatusName(c.status)) << "}";
        first = false;
    }
    o << "\n  ],\n  \"correlations\": {\"names\": [";
    for (std::size_t a = 0; a < st.coefficients.size(); ++a)
        o << (a ? ", " : "") << json::text(st.coefficients[a].name);
    o << "], \"matrix\": [";
    for (Eigen::Index a = 0; a < st.correlation.rows(); ++a) {
        o << (a ? ", " : "") << "[";
        for (Eigen::Index b = 0; b < st.correlation.cols(); ++b)
            o << (b ? ", " : "") << json::number(st.correlation(a, b));
        o << "]";
    }
    o << "]},\n  \"spectra\": [";
    for (std::size_t i = 0; i < st.spectra.size(); ++i) {
        const series::SpectrumValues& sv = st.spectra[i];
        o << (i ? ",\n" : "\n") << "    {\"file\": " << json::text(report.files[i])
          << ", \"covariate\": " << json::number(report.covariate[i]) << ", \"S\": " << json::number(sv.S)
          << ", \"parameters\": {";
        for (std::size_t j = 0; j < r.freeParams.size(); ++j)
            o << (j ? ", " : "") << json::text(pName(r.freeParams[j])) << ": {\"value\": " << json::number(sv.value[j])
              << ", \"std_dev\": " << json::number(sv.stdDev[j]) << ", \"status\": "
              << json::text(parameterStatusName(sv.status[j])) << "}";
        o << "}";
        if (i < r.independent.size()) {
            const series::IndependentFit& f = r.independent[i];
            o << ", \"independent\": {\"S\": " << json::number(f.S) << ", \"end\": " << json::text(f.end)
              << ", \"parameters\": {";
            for (std::size_t j = 0; j < r.freeParams.size() && j < f.value.size(); ++j)
                o << (j ? ", " : "") << json::text(pName(r.freeParams[j])) << ": {\"value\": "
                  << json::number(f.value[j]) << ", \"std_dev\": " << json::number(f.stdDev[j]) << ", \"status\": "
                  << json::text(parameterStatusName(f.status[j])) << "}";
            o << "}}";
        }
        o << "}";
    }
    const series::RolesTest& t = r.tests;
    o << "\n  ],\n  \"tests\": {\"available\": " << (t.available ? "true" : "false");
    if (!t.available) {
        o << ", \"why\": " << json::text(t.why) << "}";
    } else {
        o << ", \"S_joint\": " << json::number(t.Sjoint) << ", \"S_independent\": " << json::number(t.Sindependent)
          << ", \"variables_joint\": " << t.Pjoint << ", \"variables_independent\": " << t.Pindependent
          << ", \"f_statistic\": " << json::number(t.F) << ", \"p_value\": " << json::number(t.pValue)
          << ", \"aic_joint\": " << json::number(t.aicJoint) << ", \"aic_independent\": "
          << json::number(t.aicIndependent) << ", \"bic_joint\": " << json::number(t.bicJoint)
          << ", \"bic_independent\": " << json::number(t.bicIndependent) << ", \"verdict\": " << json::text(t.verdict)
          << ",\n    \"parameters\": [";
        for (std::size_t k = 0; k < t.parameters.size(); ++k) {
            const series::ParameterTest& p = t.parameters[k];
            o << (k ? ",\n" : "\n") << "      {\"name\": " << json::text(p.name) << ", \"role\": "
              << json::text(series::roleName(p.role)) << ", \"S_freed\": " << json::number(p.S)
              << ", \"f_statistic\": " << json::number(p.F) << ", \"p_value\": " << json::number(p.pValue)
              << ", \"disagree\": [";
            for (std::size_t d = 0; d < p.disagree.size(); ++d)
                o << (d ? ", " : "") << json::text(report.files[static_cast<std::size_t>(p.disagree[d])]);
            o << "], \"verdict\": " << json::text(p.verdict) << "}";
        }
        o << "\n    ]}";
    }
    o << ",\n  \"notes\": [";
    for (std::size_t k = 0; k < r.notes.size(); ++k)
        o << (k ? ", " : "") << json::text(r.notes[k]);
    o << "]\n}\n";
    return o.str();
}

} // namespace seriescmd

namespace {

using series::Role;

// The spectra of the inputs: the entries of a list with their covariate,
// or the files named and those of the folders named (NaN: the covariate
// is still to be found); `fromFolder` marks the latter.
void collectSeries(const seriescmd::SeriesInput& in, std::vector<std::string>& files, std::vector<double>& values,
    std::vector<bool>& fromFolder, serieslist::Quantity& quantity)
{
    if (in.inputs.size() == 1 && serieslist::isListFile(in.inputs.front())) {
        for (const serieslist::Entry& e : serieslist::readListFile(in.inputs.front(), in.covariate, quantity)) {
            files.push_back(e.file);
            values.push_back(e.value);
            fromFolder.push_back(false);
        }
        return;
    }
    quantity = in.covariate.empty() ? serieslist::Quantity{"x", ""} : serieslist::parseQuantity(in.covariate);
    for (const std::string& input : in.inputs) {
        std::error_code ec;
        const bool folder = std::filesystem::is_directory(input, ec);
        for (const std::string& f : batch::collectInputs({input}, in.templ != nullptr)) {
            files.push_back(f);
            values.push_back(std::nan(""));
            fromFolder.push_back(folder);
        }
    }
}

// The covariate of a spectrum not in a list: the file's own value where
// it says one, else the number in its name; nothing when neither has one.
std::optional<double> covariateOf(const std::string& file, const serieslist::Quantity& quantity, bool named)
{
    std::optional<double> v;
    if (named && !isJobFile(file)) {
        try {
            v = serieslist::fromMetadata(loadSpectrum(file).metadata, quantity);
        } catch (const std::exception&) {
            // Loaded before: it loads.
        }
    }
    if (!v) {
        const double n = batch::seriesNumber(file);
        if (std::isfinite(n))
            v = n;
    }
    return v;
}

} // namespace

namespace seriescmd {

SeriesReport fitSeriesInput(const SeriesInput& in, std::vector<std::string>& passedOver)
{
    SeriesReport report;
    std::vector<std::string> files;
    std::vector<double> values;
    std::vector<bool> fromFolder;
    collectSeries(in, files, values, fromFolder, report.quantity);
    series::SeriesSetup setup;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& f = files[i];
        if (!in.templ && !isJobFile(f)) {
            if (fromFolder[i])
                continue;  // a folder's other files are not spectra without a model
            throw exception("%s: a data file needs --template JOB.TST (the model to fit)", f.c_str());
        }
        try {
            setup.jobs.push_back(batch::makeJob(f, in.templ));
        } catch (const std::exception& e) {
            // A folder may hold other files (notes, licences): those that
            // are no spectrum are passed over, and said so.
            if (fromFolder[i]) {
                passedOver.push_back(f + ": " + e.what());
                continue;
            }
            throw exception("%s: %s", f.c_str(), e.what());
        }
        report.files.push_back(f);
        report.covariate.push_back(values[i]);
    }
    if (report.files.empty())
        throw exception("--series: no spectra found");
    setup.labels = report.files;
    report.model = setup.jobs.front().FUN;
    setup.roles = rolesOf(in.shared, in.vary, setup.jobs.front().N);
    bool function = false, temperature = false;
    for (Role role : setup.roles) {
        function = function || series::isFunction(role);
        temperature = temperature || series::needsTemperature(role);
    }
    // The values a list did not give: from each file. Without a value for
    // every spectrum, a series whose roles need none is numbered instead.
    std::size_t missing = report.files.size();
    for (std::size_t i = 0; i < report.files.size(); ++i) {
        if (std::isfinite(report.covariate[i]))
            continue;
        const std::optional<double> v = covariateOf(report.files[i], report.quantity, !in.covariate.empty());
        if (v)
            report.covariate[i] = *v;
        else if (missing == report.files.size())
            missing = i;
    }
    std::vector<std::string> notes;
    if (missing < report.files.size()) {
        if (function)
            throw exception("%s: no value of %s: the file does not say one and its name holds no number",
                report.files[missing].c_str(), serieslist::quantityText(report.quantity).c_str());
        for (std::size_t i = 0; i < report.covariate.size(); ++i)
            report.covariate[i] = static_cast<double>(i + 1);
        notes.push_back("no value of " + serieslist::quantityText(report.quantity) + " for " + report.files[missing]
            + ": the spectra are numbered 1 to " + std::to_string(report.files.size())
            + " in their order instead (no parameter follows a function of the covariate)");
        report.quantity = {"index", ""};
    }
    setup.unit = report.quantity.unit;
    setup.covariate = report.covariate;
    if (temperature) {
        // The temperature functions take T in K.
        for (std::size_t i = 0; i < setup.covariate.size(); ++i) {
            const std::optional<double> k = serieslist::kelvin(setup.covariate[i], report.quantity.unit);
            if (!k)
                throw exception("--vary: the Arrhenius and VFT functions need the covariate as a "
                    "temperature in K or degC, and %s is not", serieslist::quantityText(report.quantity).c_str());
            setup.covariate[i] = *k;
        }
    }
    const model::CircuitLibrary circuits = model::CircuitLibrary::withOverrides(workfiles::kCircuits);
    setup.circuits = &circuits;
    setup.starts = in.starts > 0 ? in.starts : 4;
    report.result = series::fitSeries(setup);
    report.result.notes.insert(report.result.notes.begin(), notes.begin(), notes.end());
    return report;
}

void writeSeriesFiles(const SeriesReport& report, const std::string& tablePath, const std::string& jsonPath,
    AtomicFileWriter::Links tableLinks, AtomicFileWriter::Links jsonLinks)
{
    // Both written out before either is renamed over its file.
    AtomicFileWriter table(tablePath, tableLinks);
    table.buffer() = formatTable(report);
    table.flush();
    std::unique_ptr<AtomicFileWriter> json;
    if (!jsonPath.empty()) {
        json = std::make_unique<AtomicFileWriter>(jsonPath, jsonLinks);
        json->buffer() = formatJson(report);
        json->flush();
    }
    table.commit();
    if (json)
        json->commit();
}

} // namespace seriescmd

namespace {

void printResult(const seriescmd::SeriesReport& report)
{
    const series::SeriesResult& r = report.result;
    const series::JointStatistics& st = r.statistics;
    std::printf("%zu spectra, %d values, %d variables: %s\n", report.files.size(), st.K, st.variables,
        r.fit.end.c_str());
    std::printf("  S = %.10E  sigmaf = %.10E  nu = %d\n", st.S, st.sigma, st.nu);
    for (const series::Coefficient& c : st.coefficients) {
        if (c.status == ParameterStatus::Determined)
            std::printf("  %-8s %-11s %.6g +- %.3g  (95 %%: %.6g to %.6g)\n", c.name.c_str(), series::roleName(c.role),
                c.value, c.stdDev, c.low, c.high);
        else
            std::printf("  %-8s %-11s %.6g  %s\n", c.name.c_str(), series::roleName(c.role), c.value,
                parameterStatusLabel(c.status));
    }
    for (const std::string& note : r.notes)
        std::printf("Note: %s\n", note.c_str());
    if (!r.tests.available) {
        std::printf("Roles not tested: %s\n", r.tests.why.c_str());
        return;
    }
    const series::RolesTest& t = r.tests;
    std::printf("Joint against independent fits: S %.6g against %.6g, F = %.4g, %s\n", t.Sjoint, t.Sindependent,
        t.F, series::pValueText(t.pValue).c_str());
    std::printf("  AIC %.6g against %.6g, BIC %.6g against %.6g\n", t.aicJoint, t.aicIndependent, t.bicJoint,
        t.bicIndependent);
    std::printf("Verdict: %s\n", t.verdict.c_str());
    for (const series::ParameterTest& p : t.parameters)
        std::printf("  %s\n", p.verdict.c_str());
}

// The picture of every parameter along the covariate, drawn from the
// record the JSON holds, read back as the viewer's page reads it: both
// draw the same numbers.
std::string writePlot(const seriescmd::SeriesReport& report, const std::string& path)
{
    try {
        const QImage image = seriesImage(parseSeriesResult(seriescmd::formatJson(report)));
        return saveImageSafely(image, path, AtomicFileWriter::Links::Follow);
    } catch (const std::exception& e) {
        return e.what();
    }
}

} // namespace

int runSeriesCommand(const CommandLine& cl)
{
    seriescmd::SeriesReport report;
    try {
        std::unique_ptr<FitJob> templ;
        if (!cl.templateFile.empty()) {
            templ = std::make_unique<FitJob>();
            try {
                templ->load(cl.templateFile);
            } catch (const std::exception& e) {
                throw exception("%s: %s", cl.templateFile.c_str(), e.what());
            }
        }
        seriescmd::SeriesInput in;
        in.inputs = cl.inputs;
        in.covariate = cl.covariate;
        in.templ = templ.get();
        in.shared = cl.shared;
        in.vary = cl.vary;
        in.starts = cl.starts > 0 ? cl.starts : 4;
        std::vector<std::string> passedOver;
        try {
            report = seriescmd::fitSeriesInput(in, passedOver);
        } catch (...) {
            for (const std::string& p : passedOver)
                std::cerr << "noskrun: passed over " << p << '\n';
            throw;
        }
        for (const std::string& p : passedOver)
            std::cerr << "noskrun: passed over " << p << '\n';
    } catch (const std::exception& e) {
        std::cerr << "noskrun: " << e.what() << '\n';
        return 1;
    }
    printResult(report);
    // Each file whole or not at all; a name the user did not type is ours.
    const std::string out = cl.outFile.empty() ? "series.csv" : cl.outFile;
    try {
        seriescmd::writeSeriesFiles(report, out, cl.jsonFile,
            cl.outFile.empty() ? AtomicFileWriter::Links::Replace : AtomicFileWriter::Links::Follow);
        std::printf("Table written to %s\n", out.c_str());
        if (!cl.jsonFile.empty())
            std::printf("Result written to %s\n", cl.jsonFile.c_str());
    } catch (const std::exception& e) {
        std::cerr << "noskrun: " << e.what() << '\n';
        return 1;
    }
    if (!cl.plotFile.empty()) {
        const std::string error = writePlot(report, cl.plotFile);
        if (!error.empty()) {
            std::cerr << "noskrun: plot: " << error << '\n';
            return 1;
        }
        std::printf("Parameters drawn in %s\n", cl.plotFile.c_str());
    }
    return report.result.fit.converged ? 0 : 3;
}

} // namespace nosk
