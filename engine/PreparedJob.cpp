#include "PreparedJob.h"

#include "model/CircuitEvaluator.h"
#include "model/EngineError.h"
#include "model/ParameterNames.h"
#include "core/Exception.h"
#include "job/Immittance.h"
#include "job/JobFields.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstring>

namespace nosk::engine {

using model::Circuit;
using model::CircuitLibrary;
using model::Complex;
using model::DeContext;
using model::DeParams;
using model::EngineError;
using model::ParameterKind;
using model::Place;
using model::deEvaluate;
using model::deValidate;
using model::parameterKinds;

namespace {

bool isOneOf(char c, std::string_view codes)
{
    return codes.find(c) != std::string_view::npos;
}

// Copies p1 ... pN and their codes; entries at and beyond N stay 0, as the
// model functions count them. Returns the circuit letter.
char copyParameters(const FitJob& job, double* p, int* nfree)
{
    if (job.N < 0 || job.N > FitJob::kMaxParams)
        throw EngineError(Reason::Kind::Field, Place().withField("N"),
            "N %i is out of range (0 to %i)", job.N, FitJob::kMaxParams);
    for (int i = 0; i < job.N; ++i) {
        p[i] = job.P[i];
        nfree[i] = job.NFREE[i];
    }
    return job.FUN;
}

const Circuit& circuitOf(const FitJob& job, const CircuitLibrary* circuits)
{
    const CircuitLibrary::Definition* d = (circuits ? *circuits : CircuitLibrary::builtIn()).find(job.FUN);
    if (!d)
        throw EngineError(Reason::Kind::Field, Place().withField("FUN"),
            "Model function '%c' is not available in this engine", job.FUN);
    return d->circuit;
}

} // namespace

PreparedJob::PreparedJob(const FitJob& job, const CircuitLibrary* circuits)
    : m_job(job), m_model(copyParameters(job, m_start, m_nfree), circuitOf(job, circuits), m_start, m_nfree,
                      DeContext{job.CELCAP})
{
    checkCodes();
    prepareParameters();
    checkDes();
    checkRealOutputDes();
    prepareData();
    prepareWeights();
    if (!isSimulation()) {
        const int nu = valueCount() - freeCount();
        if (nu <= 0)
            throw EngineError(Reason::Kind::Freedom, Place(),
                "%i fitted values and %i free parameters leave no degree of freedom",
                valueCount(), freeCount());
    }
    checkStartModel();
}

void PreparedJob::checkCodes() const
{
    const FitJob& j = m_job;
    const int irch = j.IRCH;
    if (irch != 0 && irch != 1 && irch != 2 && irch != 3 && irch != -2)
        throw EngineError(Reason::Kind::Field, Place().withField("IRCH"),
            "IRCH %i is not supported by this engine", irch);
    if (j.MAXFEV < 0)
        throw EngineError(Reason::Kind::Field, Place().withField("MAXFEV"), "MAXFEV %i is negative", j.MAXFEV);
    if (!isOneOf(j.DINP, kLevels.codes))
        throw EngineError(Reason::Kind::Field, Place().withField("DINP"),
            "DINP '%c' is not an immittance level (Z, Y, M, E)", j.DINP);
    if (!isOneOf(j.DFIT, kLevels.codes))
        throw EngineError(Reason::Kind::Field, Place().withField("DFIT"),
            "DFIT '%c' is not an immittance level (Z, Y, M, E)", j.DFIT);
    if (!isOneOf(j.PINP, kFormats.codes))
        throw EngineError(Reason::Kind::Field, Place().withField("PINP"),
            "PINP '%c' is not a complex format (P, D, L, R)", j.PINP);
    if (!isOneOf(j.PFIT, kFormats.codes))
        throw EngineError(Reason::Kind::Field, Place().withField("PFIT"),
            "PFIT '%c' is not a complex format (P, D, L, R)", j.PFIT);
    if (!isOneOf(j.DATTYP, kDataTypes.codes))
        throw EngineError(Reason::Kind::Field, Place().withField("DATTYP"),
            "DATTYP '%c' is not a data type (C, R, I)", j.DATTYP);
    if (!isOneOf(j.FREEQ, kFrequencies.codes))
        throw EngineError(Reason::Kind::Field, Place().withField("FREEQ"),
            "FREEQ '%c' is neither blank nor F", j.FREEQ);
    if (!isOneOf(j.NEG, kSigns.codes))
        throw EngineError(Reason::Kind::Field, Place().withField("NEG"), "NEG '%c' is neither blank nor N", j.NEG);
    if (!std::isfinite(j.CELCAP))
        throw EngineError(Reason::Kind::Field, Place().withField("CELCAP"), "CELCAP is not a number");
    const bool needsCell = isOneOf(j.DINP, "ME") || isOneOf(j.DFIT, "ME");
    if (needsCell && j.CELCAP == 0)
        throw EngineError(Reason::Kind::Field, Place().withField("CELCAP"),
            "CELCAP is 0, but modulus or epsilon data need it");
}

void PreparedJob::prepareParameters()
{
    const std::vector<ParameterKind> kinds = parameterKinds(m_model.definition(), m_start, m_job.N);
    for (int i = 0; i < m_job.N; ++i) {
        if (!std::isfinite(m_start[i]))
            throw EngineError(Reason::Kind::Parameter, Place().withParam(i + 1), "P%i is not a number", i + 1);
        const int code = m_nfree[i];
        if (code < 0 || code > 3)
            throw EngineError(Reason::Kind::Parameter, Place().withParam(i + 1),
                "NFREE of P%i is %i; this engine knows the codes 0 to 3", i + 1, code);
        // Selectors name DEs and are never fitted; code 3 elsewhere is fixed.
        // A simulation fits nothing, so its codes ask nothing of the values
        // (p2 = 0 with code 1 drops a capacitor there too).
        if (m_model.isSelector(i) || (code != 1 && code != 2) || isSimulation())
            continue;
        if (code == 1 && m_start[i] <= 0)
            throw EngineError(Reason::Kind::Parameter, Place().withParam(i + 1),
                "P%i = %g must be positive to be fitted with NFREE 1", i + 1, m_start[i]);
        // An exponent stays within (0, 1] unless the user set limits of
        // his own.
        const bool exponent = kinds[i] == ParameterKind::Exponent && !m_job.hasLimit(i);
        m_free.push_back(i);
        m_maps.push_back(mapOf(i, code == 1, exponent));
        m_exponentRange.push_back(exponent);
    }
}

// The limits of a free parameter must suit its code and its start value.
// An exponent's range (0, 1] is the engine's own: a start outside it is
// taken inside, as a start on a limit is.
ParameterMap PreparedJob::mapOf(int i, bool positive, bool exponent) const
{
    if (exponent)
        return ParameterMap(positive, 0.0, 1.0, m_start[i]);
    const double lower = m_job.LOWER[i], upper = m_job.UPPER[i], start = m_start[i];
    const int n = i + 1;
    if (std::isnan(lower) || std::isnan(upper))
        throw EngineError(Reason::Kind::Parameter, Place().withParam(n), "P%i: a limit is not a number", n);
    if (lower == FitJob::kNoLower && upper == FitJob::kNoUpper)
        return ParameterMap(positive, lower, upper, start);
    if (!(lower < upper))
        throw EngineError(Reason::Kind::Parameter, Place().withParam(n), "P%i: the lower limit %g is not below the upper limit %g", n, lower, upper);
    if (positive && lower != FitJob::kNoLower && lower < 0)
        throw EngineError(Reason::Kind::Parameter, Place().withParam(n), "NFREE 1 keeps P%i positive: its lower limit %g must be 0 or more", n, lower);
    if (positive && upper <= 0)
        throw EngineError(Reason::Kind::Parameter, Place().withParam(n), "NFREE 1 keeps P%i positive: its upper limit %g must be above 0", n, upper);
    // A start within rounding of a limit is on it: a fit that ended on a
    // limit writes its value with eight digits.
    const double roundingBelow = 1e-7 * std::max(std::abs(lower), std::abs(start));
    const double roundingAbove = 1e-7 * std::max(std::abs(upper), std::abs(start));
    if (start < lower - roundingBelow)
        throw EngineError(Reason::Kind::Parameter, Place().withParam(n), "P%i = %g lies below its lower limit %g", n, start, lower);
    if (start > upper + roundingAbove)
        throw EngineError(Reason::Kind::Parameter, Place().withParam(n), "P%i = %g lies above its upper limit %g", n, start, upper);
    const bool oneSided = lower == FitJob::kNoLower || upper == FitJob::kNoUpper;
    const double limit = lower == FitJob::kNoLower ? upper : lower;
    if (!positive && oneSided && limit == 0 && start == 0)
        throw EngineError(Reason::Kind::Parameter, Place().withParam(n), "P%i = 0 is on its limit 0: start it inside, at a value of its expected size", n);
    return ParameterMap(positive, lower, upper, start);
}

void PreparedJob::prepareData()
{
    const FitJob& j = m_job;
    m_points = j.M;
    if (m_points <= 0 || !j.FREQ || !j.DATA1 || !j.DATA2 || static_cast<int>(j.FREQ->size()) < m_points
        || static_cast<int>(j.DATA1->size()) < m_points || static_cast<int>(j.DATA2->size()) < m_points)
        throw EngineError(Reason::Kind::Field, Place().withField("M"), "The job has no data lines (M = %i)", j.M);

    m_omega.assign(j.FREQ->begin(), j.FREQ->begin() + m_points);
    for (int i = 0; i < m_points; ++i)
        if (!std::isfinite(m_omega[i]) || m_omega[i] <= 0)
            throw EngineError(Reason::Kind::DataRow, Place().withRow(i),
                "Data row %i: the frequency %g is not positive", i, m_omega[i]);
    if (j.FREEQ == 'F')
        ToAngular(m_omega.data(), m_points);
    m_lnOmega.resize(m_points);
    for (int i = 0; i < m_points; ++i) {
        if (!std::isfinite(m_omega[i]) || m_omega[i] <= 0)
            throw EngineError(Reason::Kind::DataRow, Place().withRow(i),
                "Data row %i: the frequency %g is not positive", i, m_omega[i]);
        m_lnOmega[i] = std::log(m_omega[i]);
    }

    m_obs[0].assign(j.DATA1->begin(), j.DATA1->begin() + m_points);
    m_obs[1].assign(j.DATA2->begin(), j.DATA2->begin() + m_points);
    for (int i = 0; i < m_points; ++i)
        if (!std::isfinite(m_obs[0][i]) || !std::isfinite(m_obs[1][i]))
            throw EngineError(Reason::Kind::DataRow, Place().withRow(i),
                "Data row %i holds a value that is not a number", i);
    if (j.NEG == 'N')
        for (double& v : m_obs[1])
            v = -v;
    TransformArrays(m_omega.data(), m_obs[0].data(), m_obs[1].data(), m_points, j.DINP, j.PINP, j.DFIT, j.PFIT,
        j.CELCAP);

    m_fitted[0] = j.DATTYP != 'I';
    m_fitted[1] = j.DATTYP != 'R';
    for (int i = 0; i < m_points; ++i)
        for (int c = 0; c < 2; ++c)
            if (m_fitted[c] && !std::isfinite(m_obs[c][i]))
                throw EngineError(Reason::Kind::DataRow, Place().withRow(i),
                    "Data row %i cannot be brought to the fit representation %c%c", i, j.DFIT,
                    j.PFIT);
    m_angle = j.PFIT != 'R';
    m_fullTurn = j.PFIT == 'D' ? 360.0 : 2 * kPi;
}

void PreparedJob::prepareWeights()
{
    const FitJob& j = m_job;
    for (int c = 0; c < 2; ++c)
        m_sigma[c].assign(m_points, 0.0);
    for (int i = 0; i < m_points; ++i) {
        double s[2] = {0.0, 0.0};
        switch (j.IRCH) {
        case 0: {
            if (!j.WEIGHT1 || !j.WEIGHT2 || static_cast<int>(j.WEIGHT1->size()) < m_points
                || static_cast<int>(j.WEIGHT2->size()) < m_points)
                throw EngineError(Reason::Kind::Field, Place().withField("IRCH"),
                    "IRCH 0 needs weight lines, and the job has none");
            s[0] = std::abs((*j.WEIGHT1)[i]);
            s[1] = std::abs((*j.WEIGHT2)[i]);
            if (!std::isfinite(s[0]) || !std::isfinite(s[1]))
                throw EngineError(Reason::Kind::WeightRow, Place().withRow(i),
                    "Weight row %i holds a value that is not a number", i);
            break;
        }
        case 1:
            s[0] = s[1] = 1.0;
            break;
        case 2:
            s[0] = std::abs(m_obs[0][i]);
            s[1] = std::abs(m_obs[1][i]);
            break;
        case 3: {
            double x = m_obs[0][i], y = m_obs[1][i];
            ToRectangular(j.PFIT, x, y);
            s[0] = s[1] = std::hypot(x, y);
            if (!std::isfinite(s[0]))
                throw EngineError(Reason::Kind::DataRow, Place().withRow(i),
                    "Data row %i has no finite modulus for IRCH 3", i);
            break;
        }
        default:  // -2: sigma follows the model; every value takes part
            s[0] = s[1] = 1.0;
            break;
        }
        for (int c = 0; c < 2; ++c) {
            if (!m_fitted[c] || s[c] == 0)
                continue;
            // Dividing by a subnormal sigma overflows: S would be infinite and
            // the fit would stop at its start as if it had converged.
            if (!std::isnormal(s[c]))
                throw EngineError(j.IRCH == 0 ? Reason::Kind::WeightRow : Reason::Kind::DataRow,
                    Place().withRow(i), "%s row %i: sigma %g is below the smallest normal number %g",
                    j.IRCH == 0 ? "Weight" : "Data", i, s[c], std::numeric_limits<double>::min());
            if (j.IRCH != -2)
                m_sigma[c][i] = s[c];
            m_valuePoint.push_back(i);
            m_valueComponent.push_back(c);
        }
    }
}

void PreparedJob::checkDes() const
{
    for (int s = 0; s < m_model.slotCount(); ++s) {
        int codes[4];
        double v[4];
        for (int k = 0; k < 4; ++k) {
            const int index = m_model.slotParam(s, k);
            codes[k] = index < m_job.N ? m_nfree[index] : 0;
            v[k] = m_start[index];
        }
        deValidate(m_model.slotDe(s), DeParams{v[0], v[1], v[2], v[3]}, codes, m_model.slotSelector(s),
            m_model.deContext());
    }
}

// DE 14 with U = 1, DE 33 and DE 37 return a real function of the first
// data column (a time, a temperature, a relaxation time), not an impedance.
// They only make sense alone, on the column as given, fitted as real values.
void PreparedJob::checkRealOutputDes() const
{
    const FitJob& j = m_job;
    for (int s = 0; s < m_model.slotCount(); ++s) {
        const int de = m_model.slotDe(s);
        double v[4];
        for (int k = 0; k < 4; ++k)
            v[k] = m_start[m_model.slotParam(s, k)];
        const bool transient = de == 14 && v[2] == 1;
        if (!(transient || de == 33 || de == 37))
            continue;
        const DeParams params{v[0], v[1], v[2], v[3]};
        if (j.M > 0 && j.FREQ && static_cast<int>(j.FREQ->size()) >= j.M) {
            // The circuit must give exactly the DE's value: every other
            // element is 0 (or left out) and every other selector is DE 0.
            std::vector<double> x, lnx;
            for (int i = 0; i < j.M; ++i)
                if ((*j.FREQ)[i] > 0 && std::isfinite((*j.FREQ)[i])) {
                    x.push_back((*j.FREQ)[i]);
                    lnx.push_back(std::log((*j.FREQ)[i]));
                }
            const int n = static_cast<int>(x.size());
            std::vector<Complex> whole(n), alone(n);
            bool sameEverywhere = true;
            for (int t = 0; t < m_model.slotCount() && sameEverywhere; ++t)
                sameEverywhere = t == s || m_model.slotDe(t) == 0;
            if (sameEverywhere && n > 0) {
                nosk::model::impedances(m_model, m_start, x.data(), lnx.data(), n, whole.data());
                if (deEvaluate(de, params, m_model.deContext(), x.data(), lnx.data(), n, m_model.slotSign(s),
                        alone.data(), nullptr))
                    for (int i = 0; i < n && sameEverywhere; ++i)
                        sameEverywhere = !std::isfinite(std::abs(alone[i]))
                            || std::abs(whole[i] - alone[i]) <= 1e-12 * std::abs(alone[i]);
            }
            if (!sameEverywhere)
                throw EngineError(Reason::Kind::De, Place().withParam(m_model.slotSelector(s) + 1).withDe(de),
                    "DE %i gives a real function of the first column: it must be the only element", de);
        }
        if (j.FREEQ != ' ')
            throw EngineError(Reason::Kind::Field, Place().withField("FREEQ").withDe(de),
                "DE %i reads the first data column as given: FREEQ must be blank", de);
        if (j.DATTYP != 'R')
            throw EngineError(Reason::Kind::Field, Place().withField("DATTYP").withDe(de),
                "DE %i has no imaginary part: DATTYP must be R", de);
        if (j.DFIT != 'Z' && j.DFIT != 'Y')
            throw EngineError(Reason::Kind::Field, Place().withField("DFIT").withDe(de),
                "DE %i: DFIT must be Z or Y", de);
        if ((transient || de == 37) && j.IRCH == -2)
            throw EngineError(Reason::Kind::Field, Place().withField("IRCH").withDe(de),
                "DE %i: function-proportional weighting (IRCH -2) is not possible here", de);
        if (de == 33 && j.FREQ)
            for (int i = 0; i < j.M && i < static_cast<int>(j.FREQ->size()); ++i)
                if (!((*j.FREQ)[i] > v[1]))
                    throw EngineError(Reason::Kind::DataRow, Place().withRow(i).withDe(33),
                        "DE 33: data row %i: %g K is not above T = %g K", i, (*j.FREQ)[i], v[1]);
    }
}

void PreparedJob::checkStartModel() const
{
    // A simulation prints both components; a fit needs those it fits.
    const bool need0 = m_fitted[0] || isSimulation(), need1 = m_fitted[1] || isSimulation();
    std::vector<Complex> z(m_points);
    nosk::model::impedances(m_model, m_start, m_omega.data(), m_lnOmega.data(), m_points, z.data());
    for (int i = 0; i < m_points; ++i) {
        double a, b;
        toFitRepresentation(z[i], m_omega[i], a, b);
        if ((need0 && !std::isfinite(a)) || (need1 && !std::isfinite(b)))
            throw EngineError(Reason::Kind::StartModel, Place().withRow(i),
                "The model is not finite at data row %i with the start parameters", i);
    }
}

void PreparedJob::toFitRepresentation(Complex z, double omega, double& first, double& second, Complex* a0,
    Complex* a1) const
{
    first = z.real();
    second = z.imag();
    ChangeLevel('Z', m_job.DFIT, first, second, omega, m_job.CELCAP);
    if (a0 && a1) {
        // The level change W(Z) is analytic: dW = g dZ. Then the format:
        // rectangular takes Re and Im of dW; polar takes d|W| = Re(conj(W) dW)/|W|
        // and d arg W = Im(dW/W); log polar d ln|W| = Re(dW/W).
        const Complex w(first, second);
        const Complex iwc(0.0, omega * m_job.CELCAP);
        Complex g = 1.0;
        switch (m_job.DFIT) {
        case 'Y': g = -w * w; break;
        case 'M': g = iwc; break;
        case 'E': g = -w * w * iwc; break;
        default: break;
        }
        const Complex minusI(0.0, -1.0);
        switch (m_job.PFIT) {
        case 'P':
        case 'D': {
            const double angleScale = m_job.PFIT == 'D' ? 180.0 / kPi : 1.0;
            *a0 = std::conj(w) / std::abs(w) * g;
            *a1 = angleScale * minusI / w * g;
            break;
        }
        case 'L':
            *a0 = g / w;
            *a1 = minusI / w * g;
            break;
        default:
            *a0 = g;
            *a1 = minusI * g;
            break;
        }
    }
    FromRectangular(m_job.PFIT, first, second);
}

std::vector<double> PreparedJob::startVariables() const
{
    return paramsToVariables(m_start);
}

std::vector<double> PreparedJob::paramsToVariables(const double* p) const
{
    std::vector<double> x(m_free.size());
    for (std::size_t j = 0; j < m_free.size(); ++j)
        x[j] = m_maps[j].variable(p[m_free[j]]);
    return x;
}

void PreparedJob::variablesToParams(const double* x, double* p) const
{
    std::memcpy(p, m_start, sizeof m_start);
    for (std::size_t j = 0; j < m_free.size(); ++j)
        p[m_free[j]] = m_maps[j].param(x[j]);
}

} // namespace nosk::engine
