#include "AuxWriter.h"

#include "ReportWriter.h"
#include "TextFile.h"

#include <cstdio>

namespace nosk::engine {

void writeFitTable(const std::string& path, const PreparedJob& job, const JobProblem& problem,
    const double* model0, const double* model1)
{
    const FitJob& j = job.job();
    TextFile f;
    f.line(" %s %s -- DATA AND MODEL POINT BY POINT, FIT REPRESENTATION %c%c", kEngineName, kEngineVersion,
        j.DFIT, j.PFIT);
    f.line(" OBSERVED VARIABLES, MODEL VALUES AND RESIDUALS (DATTYP %c, IRCH %i)", j.DATTYP, j.IRCH);
    f.line("   PT       OBSERVED          MODEL          SIGMA       RESIDUAL %14s",
        j.IPAR > 0 ? "RES./SIGMA" : "RES./MODEL");
    for (int i = 0; i < job.pointCount(); ++i)
        for (int c = 0; c < 2; ++c) {
            if (!job.componentFitted(c))
                continue;
            const JobProblem::Value v = problem.valueAt(i, c, model0, model1);
            const double divisor = j.IPAR > 0 ? v.sigma : v.model;
            const double relative = divisor != 0 ? v.residual / divisor : 0.0;
            char number[16];
            std::snprintf(number, sizeof number, "%5d", i + 1);
            f.text(number + eField(v.observed, 15, 7, true) + eField(v.model, 15, 7, true)
                + eField(v.sigma, 15, 7, true) + eField(v.residual, 15, 7, true) + eField(relative, 15, 7, true));
        }
    f.save(path);
}

void writeModelTable(const std::string& path, const PreparedJob& job, const double* model0, const double* model1)
{
    const FitJob& j = job.job();
    TextFile f;
    f.line(" %s %s -- MODEL AT THE START PARAMETERS, FIT REPRESENTATION %c%c", kEngineName, kEngineVersion,
        j.DFIT, j.PFIT);
    f.text("MODEL DATA -- FREQUENCY, REAL, IMAGINARY");
    for (int i = 0; i < job.pointCount(); ++i)
        f.text(eField((*j.FREQ)[i], 24, 15, true) + eField(model0[i], 24, 15, true)
            + eField(model1[i], 24, 15, true));
    f.save(path);
}

} // namespace nosk::engine
