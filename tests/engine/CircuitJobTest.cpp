// Whole jobs through the circuit language: the exact Jacobian of every
// built-in letter against central differences in every fit representation, a
// work folder's CIRCUITS, the statistics of the exact Jacobian against a
// closed-form covariance, and the mends of parameters near 0 (ln p bound,
// simulations, free-sign values).
#include "EngineTestSupport.h"
#include "model/CircuitLetters.h"

#include "engine/Fitter.h"
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"
#include "model/ModelFunction.h"

#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <random>

using namespace nosk;
using namespace nosk::test;

namespace {

using Complex = std::complex<double>;

// A job of `fun` with the given data (Hz) and parameters, unit weighting.
FitJob jobWithData(char fun, int n, const std::vector<double>& hz, const std::vector<Complex>& z)
{
    FitJob job = makeTestJob(fun, n, {}, 2);
    job.releaseData();
    job.allocateData(static_cast<int>(hz.size()), false);
    for (std::size_t i = 0; i < hz.size(); ++i) {
        (*job.FREQ)[i] = hz[i];
        (*job.DATA1)[i] = z[i].real();
        (*job.DATA2)[i] = z[i].imag();
    }
    return job;
}

} // namespace

TEST(Circuit, ExactJacobianAgreesWithCentralDifferencesInEveryRepresentation)
{
    struct Representation {
        char level, format;
        int irch;
    };
    const Representation representations[] = {
        {'Z', 'R', 1}, {'Y', 'P', 3}, {'M', 'D', 2}, {'E', 'L', -2}, {'Z', 'L', 1}};
    const std::vector<double> hz = nosk::test::logSpaced(1e-2, 1e5, 16);
    for (const circuits::Letter& l : circuits::letters()) {
        for (const Representation& rep : representations) {
            SCOPED_TRACE(std::string("circuit ") + l.letter + ", " + rep.level + rep.format);
            nosk::FitJob job;
            job.FUN = l.letter;
            job.N = 50;
            job.DINP = job.DFIT = rep.level;
            job.PINP = job.PFIT = rep.format;
            job.FREEQ = 'F';
            job.DATTYP = 'C';
            job.CELCAP = circuits::kCelcap;
            job.MAXFEV = 100;
            job.IRCH = rep.irch;
            for (int k = 1; k <= 50; ++k)
                job.P[k - 1] = l.p[k];
            nosk::test::fillSyntheticData(job, job.P, hz, 0.0, 1);
            // Every parameter that is no selector is free; the start lies off
            // the data so that the residuals are not all 0.
            {
                double p[50];
                int none[50] = {};
                std::copy(job.P, job.P + 50, p);
                const model::ModelFunction m(l.letter, p, none, {circuits::kCelcap});
                for (int k = 0; k < 50; ++k)
                    if (job.P[k] != 0 && !m.isSelector(k)) {
                        job.NFREE[k] = 2;
                        job.P[k] *= 1.0 + 0.05 * ((k % 3) - 1);
                    }
            }
            const nosk::engine::PreparedJob prepared(job);
            nosk::engine::JobProblem problem(prepared);
            const int K = prepared.valueCount(), F = prepared.freeCount();
            std::vector<double> J(static_cast<std::size_t>(K) * F), rp(K), rm(K), rp2(K), rm2(K);
            // The start as the fit takes it (an exponent's within (0, 1]).
            double p[50];
            std::copy(prepared.startParams(), prepared.startParams() + 50, p);
            prepared.variablesToParams(prepared.startVariables().data(), p);
            problem.parameterJacobian(p, J.data(), K);
            std::vector<double> x(F);
            for (int j = 0; j < F; ++j) {
                const int index = prepared.freeParam(j);
                // Steps that stay within the parameter's range.
                const nosk::engine::ParameterMap& map = prepared.parameterMap(j);
                const double h = std::min({1e-3 * std::abs(p[index]), 0.25 * (p[index] - map.lower()),
                    0.25 * (map.upper() - p[index])});
                // Richardson: (4 D(h/2) - D(h)) / 3 removes the h^2 term.
                auto residualsAt = [&](double value, std::vector<double>& r) {
                    double q[50];
                    std::copy(p, p + 50, q);
                    q[index] = value;
                    const std::vector<double> xs = prepared.paramsToVariables(q);
                    problem.residuals(xs.data(), r.data());
                };
                residualsAt(p[index] + h, rp);
                residualsAt(p[index] - h, rm);
                residualsAt(p[index] + h / 2, rp2);
                residualsAt(p[index] - h / 2, rm2);
                // The differences are accurate to the rounding of r over h:
                // a parameter that moves the model little is compared on that
                // scale, every other one to 1e-6 of its largest entry.
                double scale = 0, rounding = 0;
                std::vector<double> reference(K);
                for (int k = 0; k < K; ++k) {
                    reference[k] = (4 * (rp2[k] - rm2[k]) / h - (rp[k] - rm[k]) / (2 * h)) / 3;
                    scale = std::max(scale, std::abs(reference[k]));
                    rounding = std::max(rounding, 1e-13 * std::abs(rp[k]) / h);
                }
                ASSERT_GT(scale, 0) << "P" << index + 1 << " moves nothing";
                for (int k = 0; k < K; ++k)
                    ASSERT_NEAR(J[static_cast<std::size_t>(j) * K + k], reference[k], 1e-6 * scale + rounding)
                        << "d r" << k << " / d P" << index + 1;
            }
        }
    }
}

TEST(CircuitJob, WorkFolderDefinitionReplacesTheLetter)
{
    TempWorkDir dir;
    // "A" becomes a series R with a parallel RC; the data are made from it here.
    writeAll("CIRCUITS", "# my cell\r\nA = R(p1)-par(R(p2), C(p3))\r\n");
    const std::vector<double> hz = nosk::test::logSpaced(1e-1, 1e5, 30);
    std::vector<Complex> z;
    for (double f : hz) {
        const double w = 2 * 3.14159265358979 * f;
        z.push_back(15.0 + 1.0 / (1.0 / 300.0 + Complex(0, w * 2e-6)));
    }
    FitJob job = jobWithData('A', 3, hz, z);
    const double start[3] = {20.0, 200.0, 3e-6};
    for (int i = 0; i < 3; ++i) {
        job.P[i] = start[i];
        job.NFREE[i] = 1;
    }
    job.save("INFL");
    const EngineResult r = runEngineHere();
    ASSERT_EQ(r.status, 0) << r.err;
    FitJob fitted;
    fitted.load("OUTIN");
    EXPECT_NEAR(fitted.P[0], 15.0, 1e-7);
    EXPECT_NEAR(fitted.P[1], 300.0, 1e-6);
    EXPECT_NEAR(fitted.P[2], 2e-6, 1e-14);

    // A definition that does not parse refuses the job, naming the place.
    writeAll("CIRCUITS", "A = R(p1)-par(R(p2), C(p3))\nB = R(p1)-\n");
    const EngineResult refused = runEngineHere();
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("CIRCUITS, line 2, column 11: expected an element, found the end of the line"),
        std::string::npos)
        << refused.err;
    EXPECT_FALSE(fileExists("AUXPNTL"));
}

TEST(CircuitJob, StatisticsOfANearZeroFreeParameterMatchTheClosedForm)
{
    // B with no double layer and empty DE slots is Z = p1 + i w p3, linear in
    // both: the covariance is XS diag(1/M, 1/sum w^2) exactly. L ends near
    // 1e-11 H and is fitted with a free sign.
    const std::vector<double> hz = nosk::test::logSpaced(1e1, 1e6, 40);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 1e-4);
    std::vector<Complex> z;
    double sumW2 = 0, sumWIm = 0, sumRe = 0;
    std::vector<double> omega;
    for (double f : hz) {
        const double w = (3.14159265358979 * f) * 2;
        omega.push_back(w);
        z.emplace_back(10.0 + noise(rng), w * 1e-11 + noise(rng));
        sumW2 += w * w;
        sumWIm += w * z.back().imag();
        sumRe += z.back().real();
    }
    FitJob job = jobWithData('B', 25, hz, z);
    job.P[0] = 13.0;
    job.NFREE[0] = 1;
    job.P[2] = 1.3e-11;
    job.NFREE[2] = 2;
    const engine::PreparedJob prepared(job);
    engine::JobProblem problem(prepared);
    const engine::FitRun run = engine::fitPreparedJob(prepared, problem, engine::settingsFor(job));

    const int M = static_cast<int>(hz.size());
    const double r = sumRe / M, l = sumWIm / sumW2;
    double S = 0;
    for (int i = 0; i < M; ++i)
        S += std::pow(z[i].real() - r, 2) + std::pow(z[i].imag() - omega[i] * l, 2);
    const double XS = S / (2 * M - 2);
    const std::vector<double>& p = run.record.finalParams;
    EXPECT_REL_NEAR(p[0], r, 1e-12);
    EXPECT_REL_NEAR(p[2], l, 1e-9);
    EXPECT_LT(std::abs(p[2]), 2e-11);
    const engine::FitStatisticsResult& s = run.record.statistics;
    EXPECT_REL_NEAR(s.S, S, 1e-9);
    EXPECT_REL_NEAR(s.stdDev[0], std::sqrt(XS / M), 1e-6);
    EXPECT_REL_NEAR(s.stdDev[1], std::sqrt(XS / sumW2), 1e-6);
    EXPECT_NEAR(s.correlation[1], 0.0, 1e-9);
    EXPECT_FALSE(s.singular);
}

TEST(CircuitJob, PositiveParametersNeverUnderflowToZero)
{
    // ln p is bounded so that p stays a normal double at both ends.
    FitJob job = makeTestJob('A', 10, {{1, 10.0, 1}, {6, 100.0, 1}, {7, 1e-4, 1}, {10, 1, 0}}, 20);
    const engine::PreparedJob prepared(job);
    double p[50];
    for (double x : {-1e4, -745.2, -709.0, 1e4, 710.0}) {
        const std::vector<double> xs(prepared.freeCount(), x);
        prepared.variablesToParams(xs.data(), p);
        for (int j = 0; j < prepared.freeCount(); ++j) {
            const double v = p[prepared.freeParam(j)];
            EXPECT_TRUE(std::isnormal(v) && v > 0) << x << " gives " << v;
        }
    }

    // A parallel capacitor the data do not have is driven towards 0; the
    // engine must still be able to run its own OUTIN.
    TempWorkDir dir;
    FitJob fit = makeTestJob('A', 10, {{1, 10.0, 1}, {4, 0.0, 0}, {6, 100.0, 1}, {7, 1e-4, 1}, {10, 1, 0}}, 30);
    fit.P[3] = 1e-9;
    fit.NFREE[3] = 1;
    fit.MAXFEV = 2000;
    fit.save("INFL");
    ASSERT_EQ(runEngineHere().status, 0);
    FitJob next;
    next.load("OUTIN");
    EXPECT_GT(next.P[3], 0.0);
    EXPECT_LT(next.P[3], 1e-12);
    std::filesystem::rename("OUTIN", "INFL");
    const EngineResult again = runEngineHere();
    EXPECT_EQ(again.status, 0) << again.err;
}

TEST(CircuitJob, SimulationAcceptsCodeOneAtZero)
{
    // p2 = 0 drops the capacitor; in a simulation nothing is fitted, so its
    // code 1 asks nothing of the value.
    TempWorkDir dir;
    FitJob job = makeTestJob('B', 10, {{1, 10.0, 1}, {2, 1e-5, 1}, {3, 1e-6, 1}, {4, 100.0, 1}}, 10);
    job.P[1] = 0;
    job.P[2] = -1e-6;
    job.MAXFEV = 0;
    const engine::PreparedJob prepared(job);
    EXPECT_EQ(prepared.freeCount(), 0);
    job.save("INFL");
    const EngineResult r = runEngineHere();
    ASSERT_EQ(r.status, 0) << r.err;
    engine::JobProblem problem(prepared);
    std::vector<double> m0(prepared.pointCount()), m1(prepared.pointCount());
    problem.modelAt(prepared.startParams(), m0.data(), m1.data());
    for (int i = 0; i < prepared.pointCount(); ++i) {
        EXPECT_DOUBLE_EQ(m0[i], 110.0);
        EXPECT_DOUBLE_EQ(m1[i], -prepared.omega()[i] * 1e-6);
    }
    // A fit still refuses it.
    job.MAXFEV = 100;
    job.save("INFL");
    EXPECT_EQ(runEngineHere().status, 1);
}

namespace {

// y = a exp(b t) whose evaluation reports a range failure once b passes a
// limit: the fit must stop at the last accepted point with that reason.
class GuardedProblem : public engine::LeastSquaresProblem {
public:
    int valueCount() const override { return 20; }
    int variableCount() const override { return 2; }
    void residuals(const double* x, double* r) override
    {
        m_reason.clear();
        if (x[1] > 0.45)
            m_reason = "parameter P[2] of DE 8 left its valid range (0.5)";
        for (int i = 0; i < 20; ++i) {
            const double t = 0.1 * i;
            r[i] = 3.0 * std::exp(0.5 * t) - x[0] * std::exp(x[1] * t);
        }
        if (!m_reason.empty())
            lastRefused = x[1];
        else
            accepted.push_back(x[1]);
    }
    std::string stopReason() const override { return m_reason; }
    std::vector<double> accepted;
    double lastRefused = 0;

private:
    std::string m_reason;
};

} // namespace

TEST(CircuitJob, ARangeFailureEndsTheFitAtTheLastAcceptedPoint)
{
    GuardedProblem problem;
    engine::FitSettings settings;
    settings.maxFunctionEvaluations = 200;
    const engine::FitOutcome out = engine::fitLevenbergMarquardt(problem, {1.0, 0.1}, settings);
    ASSERT_LT(out.info, 0);
    EXPECT_EQ(engine::exitReason(out), "parameter P[2] of DE 8 left its valid range (0.5)");
    EXPECT_GT(problem.lastRefused, 0.45);
    EXPECT_LE(out.x[1], 0.45);
    // The point returned is one the problem accepted.
    EXPECT_NE(std::find(problem.accepted.begin(), problem.accepted.end(), out.x[1]), problem.accepted.end());
}

TEST(CircuitJob, EveryExampleJobFits)
{
    // The synthetic examples carry 0.2 % noise, so a fit that found the
    // parameters they were made from ends with sigma_f near 0.002 (near 1
    // where the weight lines hold that noise); a wrong minimum or a stalled
    // fit ends far above it. The measured battery spectrum fits to about 1 mOhm.
    namespace fs = std::filesystem;
    int jobs = 0;
    std::string letters;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(NOSK_SOURCE_DIR) / "fittests")) {
        if (entry.path().extension() != ".TST")
            continue;
        SCOPED_TRACE(entry.path().string());
        TempWorkDir dir;
        fs::copy_file(entry.path(), "INFL");
        const EngineResult r = runEngineHere();
        ASSERT_EQ(r.status, 0) << r.err;
        FitJob job;
        job.load("INFL");
        if (letters.find(job.FUN) == std::string::npos)
            letters += job.FUN;
        const std::size_t at = r.out.find("sigmaf = ");
        ASSERT_NE(at, std::string::npos) << r.out;
        const double sigma = std::stod(r.out.substr(at + 9));
        EXPECT_EQ(r.out.find("MAXIMUM NUMBER OF FUNCTION EVALUATIONS"), std::string::npos) << r.out;
        if (job.description.find("measured") != std::string::npos)
            EXPECT_LT(sigma, 1.5e-3) << r.out;
        else if (job.IRCH == 0)  // the weight lines hold the noise itself
            EXPECT_LT(sigma, 1.3) << r.out;
        else
            EXPECT_LT(sigma, 2.6e-3) << r.out;
        ++jobs;
    }
    std::sort(letters.begin(), letters.end());
    EXPECT_EQ(letters, "ABCDEFGHIJKORST");
    EXPECT_GE(jobs, 30);
}
