#include "ResultExport.h"

#include "ViewerRun.h"
#include "core/CsvText.h"
#include "job/FitJob.h"
#include "results/FitStatistics.h"

#include <cmath>
#include <cstdio>

namespace nosk::resultexport {
namespace {

std::string number(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

using nosk::csvText;

std::string xTitle(const ViewerRun& run)
{
    switch (run.job().xVariable) {
    case 2: return "time";
    case 3: return "temperature";
    case 4: return "inverse temperature";
    default: return run.angular() ? "angular frequency (rad/s)" : "frequency (Hz)";
    }
}

// The two components as the viewer shows them, e.g. "Z real", "Z -imaginary".
void componentTitles(const ViewerRun& run, std::string& first, std::string& second)
{
    const FitJob& job = run.job();
    const std::string level(1, job.DFIT);
    switch (job.PFIT) {
    case 'P': first = "modulus"; second = "phase (rad)"; break;
    case 'D': first = "modulus"; second = "phase (deg)"; break;
    case 'L': first = "log modulus"; second = "phase"; break;
    default:
        first = "real";
        second = run.imagNegated() ? "-imaginary" : "imaginary";
    }
    first = level + " " + first;
    second = level + " " + second;
}

// "hardly fixed by the data: ..." for a determined parameter whose relative
// std dev is above 1 or whose correlation with another free parameter is
// above 0.99 in size, as the viewer's statistics page cautions; empty
// otherwise.
std::string hardlyFixed(const FitStatistics& stats, const FreeParameter& p)
{
    char text[160];
    if (p.relStdDev > 1) {
        std::snprintf(text, sizeof text, "hardly fixed by the data: relative std dev %.3g is above 1", p.relStdDev);
        return text;
    }
    const auto& free = stats.freeParameters;
    const std::size_t i = std::size_t(&p - free.data());
    if (i >= stats.correlation.size())
        return {};
    for (std::size_t j = 0; j < free.size() && j < stats.correlation[i].size(); ++j) {
        const double c = stats.correlation[i][j];
        if (j != i && free[j].status == ParameterStatus::Determined && std::abs(c) > 0.99) {
            std::snprintf(text, sizeof text,
                          "hardly fixed by the data: correlation %.4f with p%d, the data fix little more than "
                          "a combination of the two",
                          c, int(free[j].number));
            return text;
        }
    }
    return {};
}

} // namespace

std::string parameterTable(const FitJob& job, const FitStatistics* stats, const std::vector<std::string>& names)
{
    std::string out = "number,name,value,std dev,relative std dev,free,status\n";
    const std::string given = stats ? givenText(*stats) : std::string();
    for (int i = 0; i < job.N && i < FitJob::kMaxParams; ++i) {
        // Strings are appended piece by piece here: "x" + std::string draws
        // a false -Wrestrict from GCC 12 at -O3.
        std::string name;
        if (static_cast<std::size_t>(i) < names.size() && !names[i].empty()) {
            name = names[i];
        } else if (!names.empty()) {
            // The circuit is known and leaves this one alone.
            name = "p";
            name += std::to_string(i + 1);
            name += ": not used by circuit ";
            name += job.FUN;
        } else {
            name = "P";
            name += std::to_string(i + 1);
        }
        const FreeParameter* fitted = nullptr;
        if (stats) {
            for (const FreeParameter& p : stats->freeParameters)
                if (p.number == i + 1)
                    fitted = &p;
        }
        out += std::to_string(i + 1) + "," + csvText(name) + ",";
        // A parameter the data do not determine has no std dev: the cells
        // stay empty, and the status says why.
        const bool known = fitted && fitted->status == ParameterStatus::Determined;
        if (fitted)
            out += number(fitted->estimate) + "," + (known ? number(fitted->stdDev) : std::string()) + ","
                + (known ? number(fitted->relStdDev) : std::string());
        else
            out += number(job.P[i]) + ",,";
        // A std dev that holds only given the values of parameters at a
        // bound says so in its status.
        std::string status = fitted ? parameterStatusLabel(fitted->status) : "";
        // A std dev that is known but large, or a value tied to another's,
        // is what the viewer's caution says, not "determined".
        if (known && stats) {
            const std::string hardly = hardlyFixed(*stats, *fitted);
            if (!hardly.empty())
                status = hardly;
        }
        if (known && !given.empty())
            status += " (" + given + ")";
        out += fitted ? ",free," + csvText(status) + "\n" : std::string(",fixed,fixed\n");
    }
    if (stats) {
        out += "\nstatistic,value\n";
        out += "S," + number(stats->sumOfSquares) + "\n";
        out += "XS," + number(stats->sigmaSquared) + "\n";
        out += "sigmaf," + number(stats->sigma) + "\n";
        out += "nu," + std::to_string(stats->degreesOfFreedom) + "\n";
        out += "quality factor," + number(stats->qualityFactor) + "\n";
        if (stats->end)
            out += "end," + csvText(reasonSummary(stats->end)) + "\n";
    }
    return out;
}

std::string dataTable(const ViewerRun& run)
{
    const DisplayArrays& a = run.arrays();
    const std::vector<double>* x = run.xValues();
    std::string c1, c2;
    componentTitles(run, c1, c2);
    struct Column {
        int index;
        std::string title;
    };
    const Column all[] = {{DisplayArrays::Data1, "observed " + c1}, {DisplayArrays::Data2, "observed " + c2},
                          {DisplayArrays::Model1, "model " + c1},    {DisplayArrays::Model2, "model " + c2},
                          {DisplayArrays::Residual1, "residual " + c1}, {DisplayArrays::Residual2, "residual " + c2}};
    std::vector<const Column*> shown;
    for (const Column& c : all)
        if (a.has(c.index))
            shown.push_back(&c);
    std::string out = csvText(xTitle(run));
    for (const Column* c : shown) {
        out += ',';
        out += csvText(c->title);
    }
    out += "\n";
    const int n = run.count();
    for (int i = 0; i < n; ++i) {
        out += x && i < static_cast<int>(x->size()) ? number((*x)[i]) : std::string();
        for (const Column* c : shown) {
            const std::vector<double>& v = *a.get(c->index);
            out += ',';
            if (i < static_cast<int>(v.size()))
                out += number(v[i]);
        }
        out += "\n";
    }
    return out;
}

} // namespace nosk::resultexport
