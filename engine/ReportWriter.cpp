#include "ReportWriter.h"

#include "TextFile.h"
#include "core/WorkFolderFiles.h"


#include <algorithm>
#include <cctype>
#include <cmath>

namespace nosk::engine {

using model::ModelFunction;

namespace {

using namespace report;

char printable(char c)
{
    return std::isprint(static_cast<unsigned char>(c)) ? c : '?';
}

// The run description as the report shows it: printable, and never a marker
// text (a description that holds one is shown in lower case).
std::string safeDescription(const std::string& description)
{
    std::string s;
    for (char c : description)
        s += printable(c);
    // The readers search for these; nothing else the engine prints may hold one.
    for (std::string_view marker : kSectionMarkers)
        if (s.find(marker) != std::string::npos) {
            std::transform(s.begin(), s.end(), s.begin(),
                [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
            break;
        }
    return s;
}

const char* weightingText(int irch)
{
    switch (irch) {
    case 0: return "WEIGHTS FROM THE WEIGHT LINES";
    case 1: return "UNIT WEIGHTING";
    case 2: return "PROPORTIONAL WEIGHTING (SIGMA = |OBSERVED COMPONENT|)";
    case 3: return "MODULUS WEIGHTING (SIGMA = |OBSERVED VALUE|)";
    case -2: return "FUNCTION-PROPORTIONAL WEIGHTING (SIGMA = |MODEL COMPONENT|)";
    default: return "WEIGHTING NOT SUPPORTED BY THIS ENGINE";
    }
}

void banner(TextFile& f, const RunClock& clock)
{
    char when[32] = "";
    std::tm local{};
    if (localtime_r(&clock.started, &local))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    f.line(" %s", std::string(72, '=').c_str());
    f.line(" %s %s -- COMPLEX NONLINEAR LEAST SQUARES FIT OF IMMITTANCE DATA", kEngineName, kEngineVersion);
    f.line(" LEVENBERG-MARQUARDT (MINPACK LMDER) WITH THE EXACT JACOBIAN OF THE CIRCUIT");
    f.line(" RUN OF %s", when);
    f.line(" %s", std::string(72, '=').c_str());
}

// Lines 6 to 10: the description, the type codes and the control integers.
void jobLines(TextFile& f, const FitJob& job)
{
    f.line(" RUN: %s", safeDescription(job.description).c_str());
    f.line(" DINP=%c DFIT=%c PINP=%c PFIT=%c FREEQ=%c NEG=%c FUN=%c DATTYP=%c CELCAP=%s", printable(job.DINP),
        printable(job.DFIT), printable(job.PINP), printable(job.PFIT), printable(job.FREEQ), printable(job.NEG),
        printable(job.FUN), printable(job.DATTYP), eField(job.CELCAP, 15, 8, true).c_str());
    f.line(" M=%6i   N=%4i   FREQUENCIES %s", job.M, job.N,
        job.FREEQ == 'F' ? "IN HZ" : (job.FREEQ == ' ' ? "ANGULAR (RAD/S)" : "OF UNKNOWN KIND"));
    f.line(" MAXFEV=%8i   NPRINT=%6i   MODE=%3i (%s SCALING)", job.MAXFEV, job.NPRINT, job.MODE,
        job.MODE == 2 ? "UNIT" : "AUTOMATIC");
    f.line(" IRCH=%3i   %s", job.IRCH, weightingText(job.IRCH));
}

// A limit as the report shows it; an infinite one is none.
std::string limitText(double limit)
{
    if (std::isinf(limit))
        return "NONE";
    char b[32];
    std::snprintf(b, sizeof b, "%.6G", limit);
    return b;
}

// The free parameter that parameter i is, or -1.
int freeIndex(const PreparedJob& job, int i)
{
    for (int f = 0; f < job.freeCount(); ++f)
        if (job.freeParam(f) == i)
            return f;
    return -1;
}

std::string parameterLine(const PreparedJob& job, int i, double value, int width, int digits)
{
    const FitJob& j = job.job();
    std::string s = "   P(" + std::to_string(i + 1) + ")";
    s.resize(std::max<std::size_t>(s.size(), 9), ' ');
    s += " =" + eField(value, width, digits, true) + "   NFREE = " + std::to_string(j.NFREE[i]);
    const ModelFunction& model = job.model();
    if (model.isSelector(i)) {
        for (int slot = 0; slot < model.slotCount(); ++slot)
            if (model.slotSelector(slot) == i)
                s += "   DE " + std::to_string(model.slotDe(slot)) + (model.slotSign(slot) < 0 ? " SUBTRACTED" : "");
    } else if (j.NFREE[i] == 1 || j.NFREE[i] == 2) {
        s += j.NFREE[i] == 1 ? "   FREE, POSITIVE" : "   FREE";
        if (j.hasLimit(i))
            s += "   LIMITS " + limitText(j.LOWER[i]) + " TO " + limitText(j.UPPER[i]);
        else if (const int f = freeIndex(job, i); f >= 0 && job.exponentRange(f))
            s += "   EXPONENT, WITHIN (0, 1]";
    }
    return s;
}

// Parts 1 to 3: banner, job, start parameters and the empty line after them.
void head(TextFile& f, const PreparedJob& job, const RunClock& clock)
{
    banner(f, clock);
    jobLines(f, job.job());
    f.blank();
    f.line(" START PARAMETERS (NFREE 0 FIXED, 1 FREE AND POSITIVE, 2 FREE, 3 ON A DE SELECTOR: SUBTRACTED)");
    for (int i = 0; i < job.job().N; ++i)
        f.text(parameterLine(job, i, job.startParams()[i], 16, 8));
    f.blank();
}

void echoLines(TextFile& f, const FitJob& j)
{
    f.line(" ECHOED, NOT USED BY THIS ENGINE: IOPT=%i IFP=%i IRE=%i ICP=%i IPRINT=%i IGACC=%i", j.IOPT, j.IFP,
        j.IRE, j.ICP, j.IPRINT, j.IGACC);
    f.line("   ROE=%.6G ATEMP=%.6G SDWC=%.6G SDRC=%.6G ECINF=%.6G EC0=%.6G", j.ROE, j.ATEMP, j.SDWC, j.SDRC,
        j.ECINF, j.EC0);
    f.line(" IPAR=%i: THE LAST COLUMN OF AUXPNTL IS (OBS - MODEL) / %s", j.IPAR, j.IPAR > 0 ? "SIGMA" : "MODEL");
}

void timeLine(TextFile& f, const RunClock& clock)
{
    if (clock.fitSeconds > 0)
        f.line(" FIT TIME %.6f S (FIT AND STATISTICS)", clock.fitSeconds);
    f.line(" RUN TIME %.6f S (FROM THE START TO THE REPORT)", clock.seconds);
}

// A number in E form, or "NaN" right-aligned where no number is known (the
// readers take it as a number that is not one).
std::string numberOrNaN(double value, int width, int digits)
{
    if (std::isfinite(value))
        return eField(value, width, digits, false);
    char b[32];
    std::snprintf(b, sizeof b, "%*s", width, "NaN");
    return b;
}

std::string intField(int value)
{
    char b[32];
    std::snprintf(b, sizeof b, "%12i", value);
    return b;
}

// The value at which free parameter j, at a bound or a limit, is taken as
// fixed: the limit that holds it; 0 at the lower bound of ln p (where the
// model no longer tells p from 0); else its estimate.
std::string givenValueText(const PreparedJob& job, const FitRecord& fit, int j)
{
    const double p = fit.finalParams[job.freeParam(j)];
    double value = p;
    const int side = j < static_cast<int>(fit.atLimit.size()) ? fit.atLimit[j] : 0;
    if (side != 0)
        value = side < 0 ? job.parameterMap(j).lower() : job.parameterMap(j).upper();
    else if (fit.statistics.status[j] == ParameterStatus::AtLogBound && std::abs(p) < 1)
        value = 0;
    char b[32];
    std::snprintf(b, sizeof b, "%.6G", value);
    return b;
}

void parameterTable(TextFile& f, const PreparedJob& job, const FitRecord& fit)
{
    const FitStatisticsResult& s = fit.statistics;
    const int F = job.freeCount();
    f.line(" FREE PARAMETERS BY %s, WITH ESTIMATES AND STANDARD DEVIATIONS", kParameterTableMarker);
    f.line("   LINES OF A BLOCK: ORIGINAL PARAMETER NUMBER, ESTIMATE, STANDARD DEVIATION,");
    f.line("   RELATIVE STANDARD DEVIATION (STD DEV / |ESTIMATE|). STANDARD DEVIATIONS COME FROM");
    f.line("   XS * INVERSE(JT J), J THE JACOBIAN OF THE WEIGHTED RESIDUALS BY THE PARAMETERS.");
    if (F == 0) {
        f.blank();
        f.line(" NO FREE PARAMETERS");
    }
    for (int first = 0; first < F; first += 6) {
        const int last = std::min(F, first + 6);
        f.blank();
        f.line(" PARAMETERS %i TO %i OF %i", first + 1, last, F);
        std::string numbers = "  ", estimates = "  ", stdDevs = "  ", relStdDevs = "  ";
        for (int j = first; j < last; ++j) {
            numbers += intField(job.freeParam(j) + 1);
            // Separated: an estimate with a three-digit exponent never runs
            // into the one before it.
            estimates += eField(fit.finalParams[job.freeParam(j)], 12, 5, true);
            stdDevs += numberOrNaN(s.stdDev[j], 12, 5);
            relStdDevs += numberOrNaN(s.relStdDev[j], 12, 5);
        }
        f.text(numbers);
        f.text(estimates);
        f.text(stdDevs);
        f.text(relStdDevs);
    }
    // The parameters the data do not determine: one status line that the
    // readers take (older ones skip it), and what it means.
    std::string status;
    for (int j = 0; j < F; ++j)
        if (s.status[j] != ParameterStatus::Determined)
            status += " P" + std::to_string(job.freeParam(j) + 1) + "=" + parameterStatusName(s.status[j]);
    if (!status.empty()) {
        f.blank();
        f.text(std::string(" ") + kParameterStatusMarker + status);
        f.line("   NAN: NO NUMBER IS KNOWN. THE DATA DO NOT DETERMINE THESE PARAMETERS (A ZERO OR DEPENDENT");
        f.line("   COLUMN OF J, NO EFFECT ON THE MODEL, LN P AT ITS BOUND, OR A LIMIT). THE OTHERS' STANDARD");
        f.line("   DEVIATIONS COME FROM XS * INVERSE(JR T JR), JR THE JACOBIAN WITHOUT THE COLUMNS OF THESE.");
    }
    // The parameters at a bound or a limit are taken as fixed where they
    // ended: the others' std devs hold only given those values. One line
    // that the readers take (older ones skip it).
    std::string given;
    for (int j = 0; j < F; ++j)
        if (atBound(s.status[j]))
            given += " P" + std::to_string(job.freeParam(j) + 1) + "=" + givenValueText(job, fit, j);
    if (!given.empty()) {
        f.text(std::string(" ") + kStdDevsGivenMarker + given);
        f.line("   THE OTHERS' STANDARD DEVIATIONS AND CORRELATIONS HOLD ONLY GIVEN THESE VALUES: THE FIT HOLDS");
        f.line("   THESE PARAMETERS AT A BOUND OR A LIMIT, NOT THE DATA, AND THEY ARE TAKEN AS FIXED THERE.");
    }
}

bool heldAtLimit(const FitRecord& fit, int j)
{
    return j < static_cast<int>(fit.atLimit.size()) && fit.atLimit[j] != 0;
}

void correlationMatrix(TextFile& f, const FitStatisticsResult& s)
{
    f.line(" %s", kCorrelationMarker);
    const int F = s.F;
    for (int r = 0; r < F; ++r) {
        std::string line = "  ";
        for (int i = 0; i <= r; ++i) {
            if (i > 0 && i % 6 == 0) {
                f.text(line);
                line = "  ";
            }
            const double v = s.correlation[static_cast<std::size_t>(r) * F + i];
            char b[32];
            // No number is known for a parameter the data do not determine.
            if (std::isfinite(v))
                std::snprintf(b, sizeof b, " %11.7f", v);
            else
                std::snprintf(b, sizeof b, " %11s", "NaN");
            line += b;
        }
        f.text(line);
    }
    f.blank();
}

} // namespace

Reason fitEndReason(const FitOutcome& outcome, int freeCount, const Reason& problemStop)
{
    Reason r;
    if (freeCount == 0) {
        r.kind = Reason::Kind::NotFitted;
        r.text = "NO FREE PARAMETERS: THE MODEL WAS ONLY EVALUATED";
        return r;
    }
    if (outcome.info < 0 && problemStop) {
        r = problemStop;
        r.text = exitReason(outcome);
        return r;
    }
    r.text = exitReason(outcome.info);
    switch (outcome.info) {
    case 1: r.kind = Reason::Kind::Converged, r.test = "ftol"; break;
    case 2: r.kind = Reason::Kind::Converged, r.test = "xtol"; break;
    case 3: r.kind = Reason::Kind::Converged, r.test = "ftol+xtol"; break;
    case 4: r.kind = Reason::Kind::Converged, r.test = "gtol"; break;
    case 5: r.kind = Reason::Kind::MaxFev, r.field = "MAXFEV"; break;
    case 8: r.kind = Reason::Kind::Converged, r.test = "gtol-machine"; break;
    case 6:
    case 7: r.kind = Reason::Kind::NoProgress; break;
    default:
        if (outcome.info < 0) {
            r.kind = Reason::Kind::DeRange;
            r.text = exitReason(outcome);
        } else {
            r.kind = Reason::Kind::Improper;
        }
    }
    return r;
}

void writeFitReport(const std::string& path, const PreparedJob& job, const FitRecord& fit, const RunClock& clock)
{
    const FitStatisticsResult& s = fit.statistics;
    const int F = job.freeCount();
    TextFile f;
    head(f, job, clock);
    f.line(" %s %i", kFreeCountMarker, F);
    f.line(" NUMBER OF FITTED VALUES = %i", s.K);
    f.blank();
    const std::string reason = F == 0 ? "NO FREE PARAMETERS: THE MODEL WAS ONLY EVALUATED" : exitReason(fit.outcome);
    f.line(" %-48s%s", kFinalNormMarker, eField(s.l2Norm, 14, 7, true).c_str());
    f.line("%-50s%8i", " NUMBER OF FUNCTION EVALUATIONS", fit.outcome.functionEvaluations);
    f.line("%-50s%8i", " NUMBER OF JACOBIAN EVALUATIONS", fit.outcome.jacobianEvaluations);
    f.line(" EXIT: %s", reason.c_str());
    f.line("%-42s%s", " WEIGHTED SUM OF SQUARES, S", eField(s.S, 20, 12, true).c_str());
    f.line("%-42s%s", " SIGMAF SQUARED ESTIMATE, XS = S / NU", eField(s.XS, 20, 12, true).c_str());
    f.line("%-42s%s", " SIGMAF ESTIMATE, SQRT(XS)", eField(s.sigma, 20, 12, true).c_str());
    f.line("%-47s%s", " FIT QUALITY FACTOR", eField(s.quality, 10, 4, false).c_str());
    f.line("%-42s%12i", " DEGREES OF FREEDOM, NU", s.nu);
    f.blank();
    parameterTable(f, job, fit);
    f.blank();
    correlationMatrix(f, s);

    f.line(" FINAL PARAMETERS");
    for (int i = 0; i < job.job().N; ++i)
        f.text(parameterLine(job, i, fit.finalParams[i], 23, 14));
    f.blank();
    f.line(" EXIT REASON: %s", reason.c_str());
    if (fit.starts > 1) {
        f.line(" STARTS: %i RUNS, %i REACHED THE LOWEST S; THE BEST WAS RUN %i (RUN 1: THE JOB'S START VALUES)",
            fit.starts, fit.startsReached, fit.bestStart + 1);
        f.line("%-42s%s", " S OF RUN 1", eField(fit.firstRunS, 20, 12, true).c_str());
    }
    if (s.singular) {
        f.line(" THE DATA DO NOT DETERMINE THESE FREE PARAMETERS:");
        std::string names = " ";
        for (int j = 0; j < F; ++j) {
            if (s.resolved[j] || heldAtLimit(fit, j))
                continue;
            if (names.size() > 90) {
                f.text(names);
                names = " ";
            }
            names += " P" + std::to_string(job.freeParam(j) + 1);
        }
        f.text(names);
        f.line(" THEIR STANDARD DEVIATIONS AND CORRELATIONS ARE SHOWN AS NAN (NO NUMBER IS KNOWN); THOSE OF THE");
        f.line(" OTHERS COME FROM THE JACOBIAN WITHOUT THEIR COLUMNS.");
    }
    bool anyHeld = false;
    for (int j = 0; j < F; ++j)
        anyHeld = anyHeld || heldAtLimit(fit, j);
    if (anyHeld) {
        f.line(" THESE FREE PARAMETERS END AT A LIMIT, WHICH HOLDS THEM THERE (NOT THE DATA):");
        for (int j = 0; j < F; ++j) {
            if (!heldAtLimit(fit, j))
                continue;
            const int i = job.freeParam(j);
            const bool lower = fit.atLimit[j] < 0;
            const ParameterMap& map = job.parameterMap(j);
            f.line("   P%i AT ITS %s LIMIT %s%s", i + 1, lower ? "LOWER" : "UPPER",
                limitText(lower ? map.lower() : map.upper()).c_str(),
                job.exponentRange(j) ? " (AN EXPONENT'S RANGE (0, 1])" : "");
        }
        f.line(" THE OTHERS' STATISTICS TAKE THEM AS FIXED; THEIR OWN STD DEVS ARE SHOWN AS NAN.");
    }
    // An exponent that started outside (0, 1] was fitted from inside.
    for (int j = 0; j < F; ++j) {
        const double start = job.startParams()[job.freeParam(j)];
        if (job.exponentRange(j) && !(start > 0 && start <= 1))
            f.line(" P%i IS AN EXPONENT: ITS START %.6G LIES OUTSIDE (0, 1]; THE FIT STARTED INSIDE.",
                job.freeParam(j) + 1, start);
    }
    for (int j = 0; j < F; ++j)
        if (fit.finalParams[job.freeParam(j)] == 0 && fit.statistics.relStdDev[j] == 0)
            f.line(" P%i IS 0: ITS RELATIVE STANDARD DEVIATION IS SHOWN AS 0.", job.freeParam(j) + 1);
    // The finite-length diffusion DEs 9 and 16 are passive only for PHI up
    // to 0.5; stored jobs may go beyond, so the fit is kept but flagged.
    const ModelFunction& model = job.model();
    for (int slot = 0; slot < model.slotCount(); ++slot) {
        const int de = model.slotDe(slot);
        const int phi = model.slotParam(slot, 3);
        if ((de == 9 || de == 16) && fit.finalParams[phi] > 0.5)
            f.line(" DE %i (P[%i]): PHI = %g IS ABOVE 0.5, WHERE THIS RESPONSE IS NOT PASSIVE.", de,
                model.slotSelector(slot), fit.finalParams[phi]);
    }
    echoLines(f, job.job());
    timeLine(f, clock);
    f.text(reasonLine(fit.end));
    f.save(path);
}

void writeSimulationReport(const std::string& path, const PreparedJob& job, const RunClock& clock)
{
    TextFile f;
    head(f, job, clock);
    f.line(" THE MODEL WAS EVALUATED AT THE START PARAMETERS WITHOUT A FIT (MAXFEV = %i).", job.job().MAXFEV);
    f.line(" AUXPNTL HOLDS THE MODEL VALUES IN THE FIT REPRESENTATION %c%c.", job.job().DFIT, job.job().PFIT);
    f.blank();
    echoLines(f, job.job());
    timeLine(f, clock);
    Reason end;
    end.kind = Reason::Kind::NotFitted;
    end.field = "MAXFEV";
    end.text = "THE MODEL WAS EVALUATED WITHOUT A FIT (MAXFEV = " + std::to_string(job.job().MAXFEV) + ")";
    f.text(reasonLine(end));
    f.save(path);
}

void writeFailureReport(const std::string& path, const FitJob* job, const Reason& reason, const RunClock& clock)
{
    TextFile f;
    banner(f, clock);
    if (job)
        jobLines(f, *job);
    f.blank();
    f.line(" THE ENGINE CANNOT RUN THIS JOB:");
    f.text(reasonLine(reason));
    // The text stays the last line, where readers of older versions take it.
    std::string last;
    for (char c : reason.text)
        last += printable(c);
    f.text(last);
    f.save(path);
}

} // namespace nosk::engine
