// The rows of the DE table walked one by one: every DE's example jobs lie
// inside its ranges, a value just outside any range is refused by the check
// before the fit and by the evaluation during it, and the refusal names the
// DE, the selector's job index and the parameter.
#include "model/DeTable.h"

#include "core/Exception.h"
#include "job/FitJob.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

using nosk::engine::DeContext;
using nosk::engine::DeParams;
using nosk::engine::DeRange;
using Kind = DeRange::Kind;

constexpr double kCell = 2e-12;
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Example {
    std::string job;
    int selector;  // 0-based job index
    DeParams p;
    int nfree[4];
};

// The DE slots of every example job of circuit A (selectors p10, p15, p20).
std::map<int, std::vector<Example>> examplesByDe()
{
    std::map<int, std::vector<Example>> found;
    namespace fs = std::filesystem;
    for (const auto& entry : fs::directory_iterator(fs::path(NOSK_SOURCE_DIR) / "fittests" / "CKT.A")) {
        nosk::FitJob job;
        job.load(entry.path().string());
        for (int sel : {9, 14, 19}) {
            if (sel >= job.N || job.P[sel] == 0)
                continue;
            Example e{entry.path().filename().string(), sel,
                {job.P[sel - 4], job.P[sel - 3], job.P[sel - 2], job.P[sel - 1]}, {}};
            for (int k = 0; k < 4; ++k)
                e.nfree[k] = job.NFREE[sel - 4 + k];
            found[static_cast<int>(job.P[sel])].push_back(e);
        }
    }
    return found;
}

std::string refusal(int de, const DeParams& p, const int* nfree, int selector, double celcap = kCell)
{
    try {
        nosk::engine::deValidate(de, p, nfree, selector, DeContext{celcap});
    } catch (const nosk::exception& e) {
        return e.what();
    }
    return "";
}

bool evaluates(int de, const DeParams& p, double celcap = kCell)
{
    const double w = 10, lw = std::log(w);
    nosk::engine::Complex z;
    return nosk::engine::deEvaluate(de, p, DeContext{celcap}, &w, &lw, 1, 1.0, &z, nullptr);
}

DeParams with(DeParams p, int slot, double v)
{
    double* s[4] = {&p.R, &p.T, &p.U, &p.PHI};
    *s[slot] = v;
    return p;
}

// Values just outside a range (the bound itself where it is excluded) and
// just inside it (the bound where it is included).
void edges(const DeRange& r, std::vector<double>& outside, std::vector<double>& inside)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    switch (r.kind) {
    case Kind::Any:
        return;
    case Kind::Positive:
        outside = {0.0, -1.0, kInf, nan};
        inside = {std::numeric_limits<double>::denorm_min()};
        return;
    case Kind::NonNegative:
        outside = {-std::numeric_limits<double>::denorm_min(), kInf, nan};
        inside = {0.0};
        return;
    case Kind::Finite:
        outside = {kInf, -kInf, nan};
        inside = {-1e300, 1e300};
        return;
    case Kind::Form:
        outside = {0.5, 2.0, -1.0, nan};
        inside = {0.0, 1.0};
        return;
    case Kind::Within:
        outside = {r.loOpen ? r.lo : std::nextafter(r.lo, -kInf), r.hiOpen ? r.hi : std::nextafter(r.hi, kInf), nan};
        inside = {r.loOpen ? std::nextafter(r.lo, kInf) : r.lo, r.hiOpen ? std::nextafter(r.hi, -kInf) : r.hi};
        return;
    case Kind::Sections:
        outside = {r.lo - 1, r.hi + 1, r.lo + 0.5, nan};
        inside = {r.lo, r.hi};
        return;
    }
}

} // namespace

TEST(DeRows, ExamplesLieInsideAndJustOutsideIsRefusedNamingDeAndParameter)
{
    const auto examples = examplesByDe();
    const int none[4] = {0, 0, 0, 0};
    for (int de = 1; de < nosk::engine::kDeCount; ++de) {
        SCOPED_TRACE("DE " + std::to_string(de));
        const nosk::engine::DeRow& row = nosk::engine::deRow(de);
        EXPECT_NE(row.firstEdition == nullptr, row.point == nullptr) << "one way to compute";
        ASSERT_TRUE(examples.count(de)) << "no example job uses this DE";
        const bool cell = row.level == nosk::engine::de::Level::E || row.level == nosk::engine::de::Level::M;
        for (const Example& e : examples.at(de)) {
            SCOPED_TRACE(e.job);
            EXPECT_EQ(refusal(de, e.p, e.nfree, e.selector), "");
            EXPECT_TRUE(evaluates(de, e.p));
            EXPECT_EQ(refusal(de, e.p, none, e.selector, 0.0),
                cell ? "DE " + std::to_string(de) + " works at the dielectric level and needs CELCAP > 0" : "");
            EXPECT_EQ(evaluates(de, e.p, 0.0), !cell);
            for (int k = 0; k < 4; ++k) {
                SCOPED_TRACE(nosk::engine::deSlotName(k));
                if (k == row.fixedOnly) {
                    for (int code : {1, 2}) {
                        int nfree[4] = {0, 0, 0, 0};
                        nfree[k] = code;
                        EXPECT_EQ(refusal(de, e.p, nfree, e.selector), "DE " + std::to_string(de) + ": "
                                + nosk::engine::deSlotName(k)
                                + " selects the form (or is a reference value) and must be fixed");
                    }
                }
                std::vector<double> outside, inside;
                edges(row.range[k], outside, inside);
                const std::string named = "DE " + std::to_string(de) + " (P[" + std::to_string(e.selector)
                    + "]): " + nosk::engine::deSlotName(k) + " ";
                for (double v : outside) {
                    const DeParams q = with(e.p, k, v);
                    const std::string why = refusal(de, q, none, e.selector);
                    EXPECT_EQ(why.rfind(named, 0), 0u) << v << ": " << why;
                    EXPECT_FALSE(evaluates(de, q)) << v;
                }
                for (double v : inside) {
                    const DeParams q = with(e.p, k, v);
                    EXPECT_EQ(refusal(de, q, none, e.selector), "") << v;
                    EXPECT_TRUE(evaluates(de, q)) << v;
                }
            }
        }
    }
}
