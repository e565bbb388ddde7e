#include "SuggestCommand.h"

#include "CommandLine.h"
#include "Suggest.h"
#include "core/AtomicFileWriter.h"
#include "core/JsonText.h"
#include "ops/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

namespace nosk {

namespace {

constexpr int kDefaultTop = 5;

int topOf(const CommandLine& cl)
{
    return cl.top > 0 ? cl.top : kDefaultTop;
}

// Ten significant digits, as the suggestion's table and JSON give them.
std::string numberText(double v)
{
    return json::number(v, 10);
}

const char* statusWord(ParameterStatus s)
{
    return parameterStatusName(s);
}

suggest::Result rankFile(const std::string& file, std::string* imported)
{
    const Spectrum spectrum = loadSpectrum(file, 0, imported);
    return suggest::suggestCircuits(spectrum.frequencyHz, spectrum.z);
}

} // namespace

std::string suggestionJson(const suggest::Result& r, const std::string& file, int top)
{
    std::ostringstream o;
    o << "{\n  \"file\": " << json::text(file) << ",\n  \"points\": " << r.points
      << ",\n  \"noise\": " << numberText(r.noise) << ",\n  \"processes\": " << r.peaks
      << ",\n  \"tried\": " << r.tried << ",\n  \"candidates\": [";
    const std::size_t n = std::min<std::size_t>(r.ranked.size(), static_cast<std::size_t>(std::max(top, 0)));
    for (std::size_t k = 0; k < n; ++k) {
        const suggest::Ranked& c = r.ranked[k];
        o << (k ? "," : "") << "\n    {\"rank\": " << k + 1 << ", \"circuit\": " << json::text(c.candidate.circuit)
          << ", \"label\": " << json::text(c.candidate.label) << ",\n     \"S\": " << numberText(c.S)
          << ", \"sigma_f\": " << numberText(c.sigmaF) << ", \"bic\": " << numberText(c.bic) << ", \"aic\": " << numberText(c.aic)
          << ", \"undetermined\": " << c.undetermined << ", \"tie_with\": "
          << (c.tieWith >= 0 ? std::to_string(c.tieWith + 1) : std::string("null")) << ",\n     \"parameters\": [";
        for (std::size_t j = 0; j < c.parameters.size(); ++j) {
            const suggest::FittedParameter& p = c.parameters[j];
            o << (j ? ", " : "") << "{\"name\": " << json::text(p.name) << ", \"value\": " << numberText(p.value)
              << ", \"std_dev\": " << numberText(p.stdDev) << ", \"status\": " << json::text(statusWord(p.status)) << "}";
        }
        o << "],\n     \"reason\": " << json::text(c.reason) << "}";
    }
    o << "\n  ]\n}\n";
    return o.str();
}

std::string suggestionText(const suggest::Result& r, int top)
{
    std::ostringstream o;
    char b[512];
    std::snprintf(b, sizeof b, "Noise %.3g %% of |Z| (Kramers-Kronig test); %d process%s in the DRT; %d circuits fitted\n",
        100 * r.noise, r.peaks, r.peaks == 1 ? "" : "es", r.tried);
    o << b;
    const std::size_t n = std::min<std::size_t>(r.ranked.size(), static_cast<std::size_t>(std::max(top, 0)));
    for (std::size_t k = 0; k < n; ++k) {
        const suggest::Ranked& c = r.ranked[k];
        std::snprintf(b, sizeof b, "%2d  %-22s BIC %10.1f  AIC %10.1f  S %.4E  sigma_f %.4E\n", static_cast<int>(k + 1),
            c.candidate.label.c_str(), c.bic, c.aic, c.S, c.sigmaF);
        o << b << "    " << c.candidate.circuit << "\n    " << c.reason << "\n";
        std::string values;
        for (const suggest::FittedParameter& p : c.parameters) {
            std::snprintf(b, sizeof b, "%s%s=%.4g", values.empty() ? "" : " ", p.name.c_str(), p.value);
            values += b;
            if (p.status != ParameterStatus::Determined)
                values += std::string(" (") + parameterStatusLabel(p.status) + ")";
        }
        o << "    " << values << "\n";
    }
    return o.str();
}

int runSuggestCommand(const CommandLine& cl)
{
    try {
        std::string imported;
        const suggest::Result r = rankFile(cl.file, &imported);
        if (!imported.empty())
            std::cout << imported << '\n';
        std::cout << suggestionText(r, topOf(cl));
        if (!cl.jsonFile.empty()) {
            replaceFile(cl.jsonFile, suggestionJson(r, cl.file, topOf(cl)));
            std::cout << "Written: " << cl.jsonFile << '\n';
        }
    } catch (const std::exception& e) {
        std::cerr << "noskrun: " << e.what() << '\n';
        return 1;
    }
    return 0;
}

int runBatchSuggestCommand(const CommandLine& cl)
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    for (const std::string& input : cl.inputs) {
        std::error_code ec;
        if (!fs::is_directory(input, ec)) {
            files.push_back(input);
            continue;
        }
        std::vector<std::string> found;
        for (const fs::directory_entry& e : fs::directory_iterator(input, ec))
            if (e.is_regular_file(ec))
                found.push_back(e.path().string());
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    const int top = topOf(cl);
    std::ostringstream table;
    table << "file,points,noise,processes";
    for (int k = 1; k <= top; ++k)
        table << ",circuit" << k << ",label" << k << ",bic" << k << ",reason" << k;
    table << "\n";
    auto csv = [](const std::string& s) {
        std::string out = "\"";
        for (char c : s)
            out += c == '"' ? std::string("\"\"") : std::string(1, c);
        return out + "\"";
    };
    int failed = 0;
    for (const std::string& file : files) {
        try {
            const suggest::Result r = rankFile(file, nullptr);
            table << csv(file) << ',' << r.points << ',' << numberText(r.noise) << ',' << r.peaks;
            for (int k = 0; k < top; ++k) {
                if (static_cast<std::size_t>(k) < r.ranked.size()) {
                    const suggest::Ranked& c = r.ranked[static_cast<std::size_t>(k)];
                    table << ',' << csv(c.candidate.circuit) << ',' << csv(c.candidate.label) << ',' << numberText(c.bic)
                          << ',' << csv(c.reason);
                } else {
                    table << ",,,,";
                }
            }
            table << '\n';
            std::cerr << file << ": " << (r.ranked.empty() ? std::string("no circuit") : r.ranked.front().candidate.label)
                      << '\n';
        } catch (const std::exception& e) {
            ++failed;
            // The reason in the first candidate's reason column.
            table << csv(file) << ",,,,,,," << csv(e.what()) << '\n';
            std::cerr << file << ": " << e.what() << '\n';
        }
    }
    try {
        if (cl.outFile.empty())
            std::cout << table.str();
        else
            replaceFile(cl.outFile, table.str());
    } catch (const std::exception& e) {
        std::cerr << "noskrun: " << e.what() << '\n';
        return 1;
    }
    return failed == 0 ? 0 : 1;
}

} // namespace nosk
