#include "FittedCircuitDrt.h"

#include "model/ModelFunction.h"
#include "job/FitJob.h"
#include "results/FitStatistics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nosk {

FittedCircuitDrt fittedCircuitDrt(const FitJob& job, const FitStatistics* statistics, const std::string& circuitsFile)
{
    FittedCircuitDrt out;
    if (job.xVariable != 1 || !job.FREQ || job.FREQ->empty()) {
        out.why = "the data are not a frequency response";
        return out;
    }
    double p[engine::ModelFunction::kMaxParams] = {};
    int nfree[engine::ModelFunction::kMaxParams] = {};
    for (int i = 0; i < job.N && i < engine::ModelFunction::kMaxParams; ++i) {
        p[i] = job.P[i];
        nfree[i] = job.NFREE[i];
    }
    if (statistics)
        for (const FreeParameter& f : statistics->freeParameters)
            if (f.number >= 1 && f.number <= job.N && f.number <= engine::ModelFunction::kMaxParams)
                p[f.number - 1] = f.estimate;
    // The frequency range in Hz (the viewer may hold angular frequencies).
    const double toHz = job.FREEQ == 'F' ? 1.0 : 1 / (2 * std::numbers::pi);
    double fMin = 0, fMax = 0;
    for (double x : *job.FREQ) {
        if (!(x > 0) || !std::isfinite(x))
            continue;
        fMin = fMin > 0 ? std::min(fMin, x * toHz) : x * toHz;
        fMax = std::max(fMax, x * toHz);
    }
    try {
        const engine::CircuitLibrary library = engine::CircuitLibrary::withOverrides(circuitsFile);
        const engine::CircuitLibrary::Definition* d = library.find(job.FUN);
        if (!d) {
            out.why = std::string("no circuit for model ") + job.FUN;
            return out;
        }
        const engine::ModelFunction model(job.FUN, d->circuit, p, nfree, engine::DeContext{job.CELCAP});
        auto z = [&](double omega) { return model.impedance(p, omega); };
        out.drt = drt::circuitDrt(d->circuit, p, nfree, job.CELCAP, z, fMin, fMax);
        out.available = true;
    } catch (const std::exception& e) {
        out.why = e.what();
    }
    return out;
}

} // namespace nosk
