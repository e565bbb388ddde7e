#include "DeTable.h"

#include "EngineError.h"
#include "common/core/Exception.h"
#include "core/FormatText.h"
#include "de/DeMath.h"
#include "de/Families.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace nosk::engine {

namespace {

using de::Level;
using Kind = DeRange::Kind;

// The ranges of the rows.
constexpr DeRange kAny{};
constexpr DeRange kPositive{Kind::Positive};
constexpr DeRange kNonNegative{Kind::NonNegative};
constexpr DeRange kFinite{Kind::Finite};
constexpr DeRange kForm{Kind::Form};

constexpr DeRange within(double lo, double hi, bool loOpen = false, bool hiOpen = false, const char* hint = nullptr)
{
    return {Kind::Within, lo, hi, loOpen, hiOpen, hint};
}

constexpr DeRange kSections{Kind::Sections, 1, 100000};
constexpr const char* kNearOne = "use DE 10 for beta near 1";

// The parameters used (bits 0-3: R, T, U, PHI).
constexpr unsigned kUseR = 1, kUseT = 2, kUseU = 4, kUsePhi = 8, kUseAll = 15;

// DE 8: the loss peak exists for U PHI <= 1.
bool peakExists(const DeParams& p, std::string* why)
{
    if (p.U * p.PHI <= 1)
        return true;
    if (why)
        *why = formatText("U*PHI = %g is above 1", p.U * p.PHI);
    return false;
}

// DE 34: PHI = 0 is inside -20 ... 20 but has no distribution.
bool normalisable(const DeParams& p, std::string* why)
{
    if (p.PHI != 0)
        return true;
    if (why)
        *why = "PHI = 0 is not allowed (the distribution cannot be normalised)";
    return false;
}

// DE 30 is the exact form of DE 12 at PHI = 0 and 1 only.
bool phiZeroOrOne(const DeParams& p)
{
    return p.PHI == 0 || p.PHI == 1;
}

// One row per DE. The first-edition DEs (0-7, 9, 16, 17) accept any value;
// the others need R > 0 and T > 0 unless their row says otherwise.
constexpr DeRow kRows[kDeCount] = {
    {.title = "Short circuit", .level = Level::Z, .used = 0, .analytic = true,
        .firstEdition = &de::kEmptySlot},
    {.title = "R and C in parallel", .level = Level::Z, .used = kUseR | kUseT, .analytic = true,
        .firstEdition = &de::kParallelRc},
    {.title = "CPE, etc., #1", .level = Level::Z, .used = kUseT | kUsePhi, .analytic = true,
        .firstEdition = &de::kCpe},
    {.title = "CPE, etc., #2", .level = Level::Z, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .firstEdition = &de::kCpeParallelR},
    {.title = "ZC #1 Cole-Cole (Z-level)", .level = Level::Z, .used = kUseAll, .analytic = true,
        .firstEdition = &de::kColeCole},
    {.title = "ZC #2", .level = Level::Z, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .firstEdition = &de::kZarc},
    {.title = "HN #1  Havriliak-Negami, etc.", .level = Level::Z, .used = kUseAll, .analytic = true,
        .firstEdition = &de::kHavriliakNegami},
    {.title = "CD #2  Use for CD model only.", .level = Level::Z, .used = kUseR | kUseT | kUsePhi,
        .analytic = true, .firstEdition = &de::kColeDavidson},
    {.title = "HN #3", .level = Level::Z, .used = kUseAll, .analytic = true, .point = de::havriliakNegamiPeak,
        .range = {kPositive, kPositive, within(0, 1, true), kPositive}, .joint = peakExists},
    {.title = "Generalized Finite Warburg", .level = Level::Z, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .firstEdition = &de::kTransmissive},
    {.title = "Accurate KWW responses; no cutoff", .level = Level::Z, .used = kUseR | kUseT | kUsePhi,
        .analytic = true, .point = de::kww, .range = {kPositive, kPositive, kForm, within(0.1, 1)},
        .fixedOnly = de::kU},
    {.title = "Jonscher response", .level = Level::Z, .used = kUseAll, .analytic = true, .point = de::jonscher,
        .range = {kPositive, kPositive, kNonNegative, within(0, 1, true)}},
    {.title = "EDAE1: Exponential DRT (See CktO)", .level = Level::Z, .used = kUseAll, .analytic = false,
        .point = de::edaeTwoCutoffs, .range = {kPositive, kPositive, within(0, 700, true), within(-20, 20)}},
    {.title = "EDAE2: Exponential DRT", .level = Level::Z, .used = kUseAll, .analytic = false,
        .point = de::edaeDoubleExponential,
        .range = {kPositive, kPositive, within(0, 20, true), within(0, 20, true)}},
    {.title = "GDAE2: Gaussian DRT; incl. trans. resp.", .level = Level::Z, .used = kUseR | kUseT | kUsePhi,
        .analytic = true, .point = de::gaussianDae, .range = {kPositive, kPositive, kForm, within(1e-3, 50)},
        .fixedOnly = de::kU, .realAtUOne = true},
    {.title = "General Diffusion #1", .level = Level::Z, .used = kUseAll, .analytic = true,
        .point = de::diffusionBoundary, .range = {kPositive, kPositive, kNonNegative, within(0, 0.5, true)}},
    {.title = "General Diffusion #2", .level = Level::Z, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .firstEdition = &de::kReflecting},
    {.title = "Four ideal elements (including L)", .level = Level::Z, .used = kUseAll, .analytic = true,
        .firstEdition = &de::kFourElements},
    {.title = "Dissado-Hill, Z level", .level = Level::Z, .used = kUseAll, .analytic = false,
        .point = de::dissadoHill, .range = {kPositive, kPositive, within(0, 1, true), within(0, 1, false, true)}},
    {.title = "Dissado-Hill, E level", .level = Level::E, .used = kUseAll, .analytic = false,
        .point = de::dissadoHill, .range = {kPositive, kPositive, within(0, 1, true), within(0, 1, false, true)}},
    {.title = "PLE #1 Power-law DCE", .level = Level::Z, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .point = de::powerLawZ, .range = {kPositive, kPositive, kAny, within(-1, 1)}, .fixedOnly = de::kT},
    {.title = "PLE #2  E-level", .level = Level::E, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .point = de::powerLawEps, .range = {kPositive, kPositive, kAny, within(0, 1)}, .fixedOnly = de::kT},
    {.title = "PLE #3", .level = Level::M, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .point = de::powerLawModulus, .range = {kPositive, kPositive, kAny, within(0, 1)}, .fixedOnly = de::kT},
    {.title = "Ladder network #1", .level = Level::Z, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .point = de::ladderOpen, .range = {kPositive, kPositive, kSections, within(0, 1, true)},
        .fixedOnly = de::kU},
    {.title = "Ladder network #2", .level = Level::Z, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .point = de::ladderShorted, .range = {kPositive, kPositive, kSections, within(0, 1, true)},
        .fixedOnly = de::kU},
    {.title = "Effective medium using PCPE", .level = Level::E, .used = kUseAll, .analytic = true,
        .point = de::bruggeman, .range = {kPositive, kPositive, within(0, 1), within(0, 1)}},
    {.title = "Series CPE: SCPE", .level = Level::Z, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .point = de::seriesCpe, .range = {kPositive, kPositive, kAny, within(0, 1)}},
    {.title = "Parallel CPE: PCPE E-level", .level = Level::E, .used = kUseR | kUseT | kUsePhi, .analytic = true,
        .point = de::parallelCpeEps, .range = {kNonNegative, kPositive, kAny, within(0, 1)}},
    {.title = "PLE E-level DSD O-circuit only", .level = Level::E, .used = kUseAll, .analytic = false,
        .point = de::edaeTwoCutoffsEps, .range = {kPositive, kPositive, within(0, 700, true), within(-20, 20)}},
    {.title = "Generalized Davidson-Cole", .level = Level::Z, .used = kUseAll, .analytic = false,
        .point = de::davidsonColeGeneral,
        .range = {kPositive, kPositive, within(-20, 1, false, true), within(0, 20, true)}},
    {.title = "EDAE1 exact model: phi=0 or 1", .level = Level::Z, .used = kUseR | kUseT | kUseU, .analytic = true,
        .point = de::edaeExact, .range = {kPositive, kPositive, within(0, 700, true), kAny},
        .precondition = phiZeroOrOne, .preconditionRefusal = "DE 30: PHI must be 0 or 1; use DE 12"},
    {.title = "Effective-Medium BDM equation", .level = Level::E, .used = kUseAll, .analytic = true,
        .point = de::hanaiBruggeman, .range = {kPositive, kPositive, within(0, 1), within(0, 1)}},
    {.title = "KWW BETA=0.5, exact", .level = Level::Z, .used = kUseR | kUseT, .analytic = false,
        .point = de::kwwHalf, .range = {kPositive, kPositive, kForm, kAny}, .fixedOnly = de::kU},
    {.title = "Arrhenius and other thermal fits", .level = Level::Real, .used = kUseAll, .analytic = true,
        .point = de::thermalLaw, .range = {kPositive, kNonNegative, kFinite, within(-20, 20)}},
    {.title = "Simplified, generalized EDAE", .level = Level::Z, .used = kUseR | kUseT | kUsePhi,
        .analytic = false, .point = de::edaeOneCutoff, .range = {kPositive, kPositive, kAny, within(-20, 20)},
        .joint = normalisable},
    {.title = "KWW BETA=1/3, exact", .level = Level::Z, .used = kUseR | kUseT, .analytic = false,
        .point = de::kwwThird, .range = {kPositive, kPositive, kForm, kAny}, .fixedOnly = de::kU},
    {.title = "KWW arb. BETA, uses DRT", .level = Level::Z, .used = kUseR | kUseT | kUsePhi, .analytic = false,
        .point = de::kwwThroughDrt, .range = {kPositive, kPositive, kForm, within(0.1, 0.98, false, false, kNearOne)},
        .fixedOnly = de::kU},
    {.title = "Calculates KWW DRT, arb. BETA", .level = Level::Real, .used = kUseR | kUseT | kUsePhi,
        .analytic = false, .point = de::kwwDrtValue,
        .range = {kPositive, kPositive, kAny, within(0.1, 0.98, false, false, kNearOne)}},
};

const char* const kSlotNames[4] = {"R", "T", "U", "PHI"};

double slotValue(const DeParams& p, int k)
{
    const double v[4] = {p.R, p.T, p.U, p.PHI};
    return v[k];
}

bool known(int de)
{
    return de >= 0 && de < kDeCount;
}

Level levelOf(const DeRow& row, const DeParams& p)
{
    return row.realAtUOne && p.U == 1 ? Level::Real : row.level;
}

bool needsCell(const DeRow& row)
{
    return row.level == Level::E || row.level == Level::M;
}

bool inRange(int de, const DeParams& p, const DeContext& ctx)
{
    if (!known(de))
        return false;
    const DeRow& row = kRows[de];
    if (needsCell(row) && !(ctx.celcap > 0 && std::isfinite(ctx.celcap)))
        return false;
    if (row.precondition && !row.precondition(p))
        return false;
    return deWithinRanges(row, p, nullptr);
}

// Turns the DE's natural value v (with derivatives dv) into Z.
inline Complex toImpedance(Level level, double omega, const DeContext& ctx, Complex v, Complex* dv)
{
    switch (level) {
    case Level::E: {
        const Complex z = de::inverse(Complex(0.0, omega * ctx.celcap) * v);
        if (dv) {
            const Complex f = -z * de::inverse(v);
            for (int k = 0; k < 4; ++k)
                dv[k] *= f;
        }
        return z;
    }
    case Level::M: {
        const Complex f = de::inverse(Complex(0.0, omega * ctx.celcap));
        if (dv)
            for (int k = 0; k < 4; ++k)
                dv[k] *= f;
        return v * f;
    }
    case Level::Real:
        if (dv)
            for (int k = 0; k < 4; ++k)
                dv[k] = dv[k].real();
        return v.real();
    case Level::Z:
    default:
        return v;
    }
}

// Values (unsigned) of a DE computed by its point function.
void pointValues(const DeRow& row, const DeParams& p, const DeContext& ctx, const double* omega,
    const double* lnOmega, int count, Complex* z)
{
    const Level level = levelOf(row, p);
    for (int i = 0; i < count; ++i)
        z[i] = toImpedance(level, omega[i], ctx, row.point(p, omega[i], lnOmega[i], nullptr), nullptr);
}

} // namespace

const DeRow& deRow(int de)
{
    return kRows[de];
}

const char* deSlotName(int slot)
{
    return kSlotNames[slot];
}

bool deWithinRanges(const DeRow& row, const DeParams& p, std::string* why)
{
    for (int k = 0; k < 4; ++k) {
        const DeRange& r = row.range[k];
        const double v = slotValue(p, k);
        const char* name = kSlotNames[k];
        switch (r.kind) {
        case Kind::Any:
            continue;
        case Kind::Positive:
            if (v > 0 && std::isfinite(v))
                continue;
            if (why)
                *why = formatText("%s = %g must be positive", name, v);
            return false;
        case Kind::NonNegative:
            if (v >= 0 && std::isfinite(v))
                continue;
            if (why)
                *why = formatText("%s = %g must not be negative", name, v);
            return false;
        case Kind::Finite:
            if (std::isfinite(v))
                continue;
            if (why)
                *why = formatText("%s is not a number", name);
            return false;
        case Kind::Form:
            if (v == 0 || v == 1)
                continue;
            if (why)
                *why = formatText("%s = %g must be 0 or 1", name, v);
            return false;
        case Kind::Within: {
            const bool atOpenEnd = (r.loOpen && v == r.lo) || (r.hiOpen && v == r.hi);
            if (std::isfinite(v) && v >= r.lo && v <= r.hi && !atOpenEnd)
                continue;
            if (why) {
                *why = formatText("%s = %g is outside %g ... %g", name, v, r.lo, r.hi);
                if (atOpenEnd)
                    *why += formatText(" (%g excluded)", v);
                if (r.hint)
                    *why += formatText("; %s", r.hint);
            }
            return false;
        }
        case Kind::Sections:
            if (v >= r.lo && v <= r.hi && v == std::floor(v))
                continue;
            if (why)
                *why = formatText("%s = %g is no whole number of sections from %g to %g", name, v, r.lo, r.hi);
            return false;
        }
    }
    return !row.joint || row.joint(p, why);
}

bool deAvailable(int de)
{
    return known(de);
}

void deImpedances(int de, const DeParams& p, const double* omega, const double* lnOmega, int count,
    double sign, Complex* out) noexcept
{
    const de::FirstEdition* f = known(de) && kRows[de].firstEdition ? kRows[de].firstEdition : &de::kEmptySlot;
    f->values(p, omega, lnOmega, count, sign, out);
}

Complex deImpedance(int de, const DeParams& p, double omega) noexcept
{
    const double lnOmega = std::log(omega);
    Complex z;
    deImpedances(de, p, &omega, &lnOmega, 1, 1.0, &z);
    return z;
}

bool deHasAnalyticDerivatives(int de)
{
    return known(de) && kRows[de].analytic;
}

bool deEvaluate(int de, const DeParams& p, const DeContext& ctx, const double* omega, const double* lnOmega,
    int count, double sign, Complex* z, Complex* const* d)
{
    if (!inRange(de, p, ctx))
        return false;
    const DeRow& e = kRows[de];
    bool wanted = false;
    if (d)
        for (int k = 0; k < 4; ++k)
            wanted = wanted || d[k] != nullptr;
    if (const de::FirstEdition* f = e.firstEdition) {
        if (wanted && f->onePass && f->onePass(p, lnOmega, count, sign, z, d))
            return true;
        f->values(p, omega, lnOmega, count, sign, z);
        if (wanted) {
            Complex dd[4];
            for (int i = 0; i < count; ++i) {
                f->derivatives(p, omega[i], lnOmega[i], dd);
                for (int k = 0; k < 4; ++k)
                    if (d[k])
                        d[k][i] = sign * dd[k];
            }
        }
        return true;
    }
    const Level level = levelOf(e, p);
    if (e.analytic) {
        Complex dd[4];
        for (int i = 0; i < count; ++i) {
            const Complex v = e.point(p, omega[i], lnOmega[i], wanted ? dd : nullptr);
            z[i] = sign * toImpedance(level, omega[i], ctx, v, wanted ? dd : nullptr);
            if (wanted)
                for (int k = 0; k < 4; ++k)
                    if (d[k])
                        d[k][i] = (e.used >> k & 1) ? sign * dd[k] : Complex(0.0);
        }
        return true;
    }
    pointValues(e, p, ctx, omega, lnOmega, count, z);
    if (wanted) {
        // Every DE without analytic derivatives is proportional to R (or, at
        // the dielectric level, its Z to 1/R); the others by central
        // differences of this DE alone, one-sided at the end of a range.
        for (int k = 0; k < 4; ++k) {
            if (!d[k])
                continue;
            if (!(e.used >> k & 1)) {
                std::fill(d[k], d[k] + count, Complex(0.0));
                continue;
            }
            if (k == 0) {
                const double f = level == Level::E ? -1.0 / p.R : 1.0 / p.R;
                for (int i = 0; i < count; ++i)
                    d[k][i] = sign * f * z[i];
                continue;
            }
            const double x = slotValue(p, k);
            const double h = 1e-5 * std::max(std::abs(x), k == de::kT ? 1e-300 : 0.01);
            auto shifted = [&](double delta) {
                DeParams q = p;
                double* slots[4] = {&q.R, &q.T, &q.U, &q.PHI};
                *slots[k] = x + delta;
                return q;
            };
            const DeParams plus = shifted(h), minus = shifted(-h);
            std::vector<Complex> a(count), b(count);
            if (inRange(de, plus, ctx) && inRange(de, minus, ctx)) {
                pointValues(e, plus, ctx, omega, lnOmega, count, a.data());
                pointValues(e, minus, ctx, omega, lnOmega, count, b.data());
                for (int i = 0; i < count; ++i) {
                    // A positive real output (a density far in its tail) varies
                    // smoothly in its logarithm, not in its value.
                    const bool logScale = level == Level::Real && z[i].real() > 0 && a[i].real() > 0
                        && b[i].real() > 0;
                    d[k][i] = logScale ? sign * z[i] * (std::log(a[i].real()) - std::log(b[i].real())) / (2 * h)
                                       : sign * (a[i] - b[i]) / (2 * h);
                }
            } else {
                // Second-order one-sided difference into the range.
                const double s = inRange(de, plus, ctx) ? 1.0 : -1.0;
                pointValues(e, shifted(s * h), ctx, omega, lnOmega, count, a.data());
                pointValues(e, shifted(2 * s * h), ctx, omega, lnOmega, count, b.data());
                for (int i = 0; i < count; ++i)
                    d[k][i] = sign * s * (-3.0 * z[i] + 4.0 * a[i] - b[i]) / (2 * h);
            }
        }
    }
    for (int i = 0; i < count; ++i)
        z[i] *= sign;
    return true;
}

void deValidate(int de, const DeParams& p, const int* nfree, int selectorIndex, const DeContext& ctx)
{
    if (!deAvailable(de))
        throw EngineError(Reason::Kind::De, Place().withParam(selectorIndex + 1).withDe(de),
            "DE %i is not available in this engine", de);
    const DeRow& row = kRows[de];
    if (needsCell(row) && !(ctx.celcap > 0 && std::isfinite(ctx.celcap)))
        throw EngineError(Reason::Kind::Field, Place().withField("CELCAP").withDe(de),
            "DE %i works at the dielectric level and needs CELCAP > 0", de);
    if (row.precondition && !row.precondition(p))
        throw EngineError(Reason::Kind::De, Place().withParam(selectorIndex + 1).withDe(de), "%s",
            row.preconditionRefusal);
    std::string why;
    if (!deWithinRanges(row, p, &why))
        throw EngineError(Reason::Kind::De, Place().withParam(selectorIndex + 1).withDe(de),
            "DE %i (P[%i]): %s", de, selectorIndex, why.c_str());
    // Parameters that pick the response form, count sections or set the
    // reference time of a pure power law cannot be fitted.
    const int fixedOnly = row.fixedOnly;
    if (fixedOnly >= 0 && nfree && (nfree[fixedOnly] == 1 || nfree[fixedOnly] == 2))
        throw EngineError(Reason::Kind::De, Place().withParam(selectorIndex + 1).withDe(de),
            "DE %i: %s selects the form (or is a reference value) and must be fixed", de,
            kSlotNames[fixedOnly]);
}

} // namespace nosk::engine
