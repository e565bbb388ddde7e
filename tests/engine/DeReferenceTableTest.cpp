// The DEs that rest on numerical quadrature and the digamma function (DE 10
// with its derivatives, DEs 36 and 37), and the example jobs that use them,
// against a stored table of values (tests/data/de-quadrature-reference.txt).
// The table was written before the engine changed its quadrature and digamma
// library; the values must stay within 1e-12 relative, or within the DE's own
// accuracy where that is coarser (the Zolotarev integral is asked for 1e-13).
//
// The same for the DEs whose responses are Gauss's 2F1 (12, 13, 18, 19, 28,
// 29, 34; tests/data/de-hypergeometric-reference.txt): the table holds values
// computed with Arb in ball arithmetic (48 certain bits) over w T = 1e-12 ...
// 1e12, parameters across the valid ranges (whole-number exponents, where the
// series at infinity degenerate, included), and the example jobs of these
// DEs; the engine's values must stay within 1e-10 relative, the DEs' accuracy.
//
// NOSK_WRITE_DE_TABLE=<file> (NOSK_WRITE_DE_2F1_TABLE=<file>) writes the
// table from the current build instead.
#include "model/DeTable.h"
#include "engine/EngineRun.h"
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"

#include "core/AtomicFileWriter.h"
#include "core/FormatText.h"
#include "job/FitJob.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace nosk;
using nosk::engine::Complex;

namespace {

const char* const kTablePath = NOSK_TEST_DATA_DIR "/de-quadrature-reference.txt";
const char* const kJobs[] = {"ADE10", "ADE10M", "ADE36", "ADE37"};
const char* const k2F1TablePath = NOSK_TEST_DATA_DIR "/de-hypergeometric-reference.txt";
const char* const k2F1Jobs[] = {"ADE12", "ADE13", "ADE18", "ADE19", "ADE28", "ADE29", "ADE34"};

// One table line: a key (what was computed) and its numbers.
using Table = std::map<std::string, std::vector<double>>;

using nosk::formatText;

// 4 frequencies per decade over w T = 1e-6 ... 1e6 (DE 37: y = ln(w/T) over
// -14 ... 14 in steps of 1/4; the Zolotarev integral takes over from the
// series at y = 0, and the distribution falls below 1e-300 within y < 14).
std::vector<double> frequencies(int de, double T)
{
    std::vector<double> w;
    if (de == 37) {
        for (int k = -56; k <= 56; ++k)
            w.push_back(T * std::exp(k / 4.0));
    } else {
        for (int k = -24; k <= 24; ++k)
            w.push_back(std::pow(10.0, k / 4.0) / T);
    }
    return w;
}

template <std::size_t N>
void addJobs(Table& t, const char* const (&jobs)[N]);

// Every value of the table, computed by the engine as it is built.
Table compute()
{
    Table t;
    const double R = 1e3, T = 1e-3;
    const engine::DeContext ctx{};
    struct Set {
        int de;
        std::vector<double> us, betas;
        bool derivatives;
    };
    const Set sets[] = {
        {10, {0, 1}, {0.1, 0.23, 0.5, 0.77, 0.95, 1.0}, true},
        {36, {0, 1}, {0.1, 0.3, 0.5, 0.7, 0.9, 0.98}, false},
        {37, {0}, {0.1, 0.3, 0.5, 0.7, 0.9, 0.98}, false},
    };
    for (const Set& s : sets)
        for (double U : s.us)
            for (double beta : s.betas) {
                const std::vector<double> w = frequencies(s.de, T);
                const int n = static_cast<int>(w.size());
                std::vector<double> lw(n);
                for (int i = 0; i < n; ++i)
                    lw[i] = std::log(w[i]);
                std::vector<Complex> z(n), d0(n), d1(n), d2(n), d3(n);
                Complex* d[4] = {d0.data(), d1.data(), d2.data(), d3.data()};
                const engine::DeParams p{R, T, U, beta};
                EXPECT_TRUE(engine::deEvaluate(s.de, p, ctx, w.data(), lw.data(), n, 1.0, z.data(),
                    s.derivatives ? d : nullptr));
                for (int i = 0; i < n; ++i) {
                    std::vector<double> v = {z[i].real(), z[i].imag()};
                    if (s.derivatives)
                        for (int k : {0, 1, 3})
                            v.insert(v.end(), {d[k][i].real(), d[k][i].imag()});
                    t[s.de == 37 ? formatText("DE 37 beta %g y %+.2f", beta, std::log(w[i] / T))
                                 : formatText("DE %d U %g beta %g wT %.2e", s.de, U, beta, w[i] * T)] = v;
                }
            }

    addJobs(t, kJobs);
    return t;
}

// The example jobs: the model at their start values, and the fit.
template <std::size_t N>
void addJobs(Table& t, const char* const (&jobs)[N])
{
    for (const char* name : jobs) {
        FitJob job;
        job.load(std::string(NOSK_SOURCE_DIR) + "/fittests/CKT.A/" + name + ".TST");
        const engine::PreparedJob prepared(job);
        engine::JobProblem problem(prepared);
        const int M = prepared.pointCount();
        std::vector<double> m0(M), m1(M);
        problem.modelAt(prepared.startParams(), m0.data(), m1.data());
        for (int i = 0; i < M; ++i)
            t[formatText("%s start %d", name, i)] = {m0[i], m1[i]};
        const engine::FitRun run = engine::fitPreparedJob(prepared, problem, engine::settingsFor(job));
        std::vector<double> fitted = {run.record.statistics.S};
        for (int j = 0; j < prepared.freeCount(); ++j)
            fitted.push_back(run.record.finalParams[prepared.freeParam(j)]);
        t[formatText("%s fit S and free parameters", name)] = fitted;
    }
}

// The values of the 2F1 DEs (R = 1, T = 1, so w = w T), two frequencies per
// decade over 1e-12 ... 1e12 and the points 0.7 and 1.4 where no series
// converges fast, for parameter sets across the valid ranges.
Table compute2F1()
{
    Table t;
    const engine::DeContext ctx{1e-11};
    struct Set {
        int de;
        double U, PHI;
    };
    const Set sets[] = {
        {12, 6, 0.7}, {12, 6, -0.5}, {12, 3, 2.5}, {12, 40, 0.3}, {12, 10, -1.7}, {12, 7, 1}, {12, 5, 2},
        {12, 2, -3}, {12, 0.01, 5}, {12, 300, 0.6}, {12, 700, 20}, {12, 700, -20}, {12, 1, 1e-6},
        {28, 6, -0.5},
        {13, 0.4, 0.8}, {13, 1, 1}, {13, 2, 3}, {13, 20, 20}, {13, 0.05, 15}, {13, 1.02, 0.97},
        {18, 0.4, 0.6}, {18, 0.8, 0.1}, {18, 0.2, 0.9}, {18, 1, 0.5}, {18, 0.5, 0}, {18, 0.97, 0.3},
        {18, 1, 0}, {18, 0.999, 0.99}, {18, 0.01, 0.5}, {18, 0.96, 0.7},
        {19, 0.4, 0.6},
        {29, -0.5, 0.7}, {29, 0.5, 2}, {29, 0.35, 0.35}, {29, 0, 0.6}, {29, -20, 20}, {29, 0.99, 0.01},
        {29, 0.9, 1}, {29, -3, 1}, {29, 0, 3}, {29, 0.6, 0.05}, {29, -0.2, 7.5},
        {34, 0, 0.6}, {34, 0, -0.6}, {34, 0, 1}, {34, 0, -1}, {34, 0, 2}, {34, 0, -3}, {34, 0, 20},
        {34, 0, -20}, {34, 0, 0.01}, {34, 0, -0.01}, {34, 0, 1.04},
    };
    std::vector<double> w = {0.7, 1.4};
    for (int k = -24; k <= 24; ++k)
        w.push_back(std::pow(10.0, k / 2.0));
    const int n = static_cast<int>(w.size());
    std::vector<double> lw(n);
    for (int i = 0; i < n; ++i)
        lw[i] = std::log(w[i]);
    for (const Set& s : sets) {
        std::vector<Complex> z(n);
        const engine::DeParams p{1, 1, s.U, s.PHI};
        EXPECT_TRUE(engine::deEvaluate(s.de, p, ctx, w.data(), lw.data(), n, 1.0, z.data(), nullptr));
        for (int i = 0; i < n; ++i)
            t[formatText("DE %d U %g PHI %g wT %.2e", s.de, s.U, s.PHI, w[i])] = {z[i].real(), z[i].imag()};
    }
    addJobs(t, k2F1Jobs);
    return t;
}

Table read(const std::string& path)
{
    Table t;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto bar = line.find('|');
        if (line.empty() || line[0] == '#' || bar == std::string::npos)
            continue;
        std::istringstream numbers(line.substr(bar + 1));
        std::vector<double> v;
        for (double x; numbers >> x;)
            v.push_back(x);
        t[line.substr(0, bar)] = v;
    }
    return t;
}

void write(const std::string& path, const Table& t, const char* header)
{
    std::ostringstream out;
    out << header;
    for (const auto& [k, v] : t) {
        out << k << '|';
        for (double x : v) {
            char b[40];
            std::snprintf(b, sizeof b, " %.17g", x);
            out << b;
        }
        out << '\n';
    }
    nosk::replaceFile(path, out.str());
}

// The tolerance of one number, relative to its scale (see below): the DE's
// own accuracy.
double tolerance(const std::string& k, std::size_t index, double valueTolerance)
{
    if (k.find(" fit ") != std::string::npos)
        return index == 0 ? 1e-10 : 1e-6;  // S, then parameters fitted to ftol = xtol = 1e-12
    return valueTolerance;
}

// What a number is judged against: a fit's S or parameter against itself; a
// complex value against its modulus; a derivative of DE 10 against the larger
// of its modulus and the value's, because the derivative in beta is the
// difference of two terms of the value's size (with U = 1 and small w T it is
// 1e-11 of them, and a last-bit change of digamma moves it by 1e-16 of R).
double scale(const std::string& k, const std::vector<double>& ref, std::size_t i)
{
    if (k.find(" fit ") != std::string::npos)
        return std::abs(ref[i]);
    const std::size_t first = i - i % 2;
    double s = std::hypot(ref[first], ref[first + 1]);
    if (first > 0)
        s = std::max(s, std::hypot(ref[0], ref[1]));
    return s;
}

// Compares the values computed now with the stored table; returns the
// largest relative difference of a value (fits not counted).
double compare(const Table& stored, const Table& now, double valueTolerance, std::string* worstKey = nullptr)
{
    EXPECT_EQ(now.size(), stored.size());
    double worst = 0;
    for (const auto& [k, ref] : stored) {
        const auto it = now.find(k);
        if (it == now.end()) {
            ADD_FAILURE() << k << " is not computed";
            continue;
        }
        const std::vector<double>& v = it->second;
        if (v.size() != ref.size()) {
            ADD_FAILURE() << k << ": " << v.size() << " numbers, stored " << ref.size();
            continue;
        }
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double err = std::abs(v[i] - ref[i]) / std::max(scale(k, ref, i), 1e-290);
            EXPECT_LE(err, tolerance(k, i, valueTolerance)) << k << " [" << i << "]: " << v[i] << " stored " << ref[i];
            if (k.find(" fit ") == std::string::npos && err > worst) {
                worst = err;
                if (worstKey)
                    *worstKey = k;
            }
        }
    }
    return worst;
}

} // namespace

TEST(DeReferenceTable, QuadratureAndDigammaValuesStay)
{
    if (const char* out = std::getenv("NOSK_WRITE_DE_TABLE")) {
        write(out, compute(),
            "# Values of the DEs computed by quadrature and digamma (R = 1e3, T = 1e-3):\n"
            "# DE 10 value and d/dR, d/dT, d/dPHI (re im each), DEs 36 and 37 values;\n"
            "# the example jobs' model at their start values and their fits (S, free parameters).\n");
        GTEST_SKIP() << "table written to " << out;
    }
    const Table stored = read(kTablePath);
    ASSERT_GT(stored.size(), 1000u) << kTablePath;
    RecordProperty("worst", std::to_string(compare(stored, compute(), 1e-12)));
}

TEST(DeReferenceTable, HypergeometricValuesStay)
{
    if (const char* out = std::getenv("NOSK_WRITE_DE_2F1_TABLE")) {
        write(out, compute2F1(),
            "# Values of the DEs whose responses are Gauss's 2F1 (R = 1, T = 1): re and im of each value;\n"
            "# the example jobs' model at their start values and their fits (S, free parameters).\n");
        GTEST_SKIP() << "table written to " << out;
    }
    const Table stored = read(k2F1TablePath);
    ASSERT_GT(stored.size(), 2000u) << k2F1TablePath;
    std::string where;
    const double worst = compare(stored, compute2F1(), 1e-10, &where);
    RecordProperty("worst", std::to_string(worst) + " at " + where);
    std::printf("largest relative difference of a 2F1 DE value: %.2e (%s)\n", worst, where.c_str());
}
