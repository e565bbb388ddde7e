#include "DisplayArrays.h"
#include "GraphSettings.h"
#include "ViewerTexts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

using namespace nosk;

namespace {
struct Source {
    std::vector<double> obs1{3, 1}, obs2{4, -2}, model1{3.5, 1.5}, model2{4.5, -2.5};
    std::vector<double> e1a{0.1, 0.2}, e2a{0.3, 0.4}, e1b{0.5, 0.6}, e2b{0.7, 0.8};
    DisplaySource full(bool fit)
    {
        DisplaySource s{&obs1, &obs2, &model1, &model2, &e1a, &e2a, &e1b, &e2b, fit};
        return s;
    }
};
} // namespace

TEST(DisplayArrays, SignRuleForImpedanceAndEpsilonOnly)
{
    Source src;
    DisplayArrays a;
    EXPECT_TRUE(BuildDisplayArrays(src.full(true), 'Z', 'R', 'C', a));
    EXPECT_EQ(*a.get(DisplayArrays::Data2), (std::vector<double>{-4, 2}));
    EXPECT_EQ(*a.get(DisplayArrays::Model2), (std::vector<double>{-4.5, 2.5}));
    EXPECT_EQ(*a.get(DisplayArrays::Residual2), (std::vector<double>{-0.3, -0.4}));
    EXPECT_EQ(*a.get(DisplayArrays::Relative2), (std::vector<double>{-0.7, -0.8}));
    EXPECT_EQ(*a.get(DisplayArrays::Data1), src.obs1);       // first components untouched
    EXPECT_EQ(*a.get(DisplayArrays::Residual1), src.e1a);
    EXPECT_EQ(*a.get(DisplayArrays::Relative1), src.e1b);
    // rectangular forms of the negated pairs
    EXPECT_EQ(*a.get(DisplayArrays::DataIm), (std::vector<double>{-4, 2}));

    EXPECT_TRUE(BuildDisplayArrays(src.full(false), 'E', 'P', 'C', a));
    EXPECT_FALSE(a.has(DisplayArrays::Residual1));  // no residuals without a fit
    EXPECT_FALSE(BuildDisplayArrays(src.full(true), 'Y', 'R', 'C', a));
    EXPECT_EQ(*a.get(DisplayArrays::Data2), src.obs2);
    EXPECT_FALSE(BuildDisplayArrays(src.full(true), 'M', 'R', 'C', a));
}

TEST(DisplayArrays, RealAndImaginaryOnlyData)
{
    Source src;
    DisplaySource r{&src.obs1, nullptr, &src.model1, nullptr, &src.e1a, nullptr, &src.e1b, nullptr, true};
    DisplayArrays a;
    EXPECT_FALSE(BuildDisplayArrays(r, 'Z', 'R', 'R', a));
    EXPECT_TRUE(a.has(DisplayArrays::Data1));
    EXPECT_FALSE(a.has(DisplayArrays::Data2));
    EXPECT_FALSE(a.has(DisplayArrays::DataRe));  // no complex-plane arrays

    DisplaySource i{nullptr, &src.obs2, nullptr, &src.model2, nullptr, &src.e2a, nullptr, &src.e2b, true};
    EXPECT_TRUE(BuildDisplayArrays(i, 'Z', 'R', 'I', a));
    EXPECT_EQ(*a.get(DisplayArrays::Data2), (std::vector<double>{-4, 2}));
    EXPECT_FALSE(a.has(DisplayArrays::DataIm));
}

TEST(DisplayArrays, PolarFormatGivesRectangularPlaneArrays)
{
    std::vector<double> mag{2, 1}, ang{0.5, -1.0};
    DisplaySource s{&mag, &ang, &mag, &ang, nullptr, nullptr, nullptr, nullptr, false};
    DisplayArrays a;
    EXPECT_TRUE(BuildDisplayArrays(s, 'Z', 'P', 'C', a));
    // the angle is negated first, then converted
    EXPECT_NEAR((*a.get(DisplayArrays::DataRe))[0], 2 * std::cos(-0.5), 1e-12);
    EXPECT_NEAR((*a.get(DisplayArrays::DataIm))[0], 2 * std::sin(-0.5), 1e-12);
    EXPECT_NEAR((*a.get(DisplayArrays::ModelIm))[1], std::sin(1.0), 1e-12);
}

TEST(DisplayArrays, LoadScaleFlags)
{
    std::vector<double> pos{1, 2}, neg{1, -2};
    DisplaySource p{&pos, &pos, &pos, &pos, nullptr, nullptr, nullptr, nullptr, false};
    DisplayArrays a;
    BuildDisplayArrays(p, 'Y', 'R', 'C', a);
    GraphSettings s;
    s.axes[2].vertical.logScale = 1;  // the user's choice for graph 3 stays
    setLoadScaleFlags(s, kXFrequency, a, 2);
    EXPECT_EQ(s.axes[0].vertical.logScale, 1);
    EXPECT_EQ(s.axes[3].horizontal.logScale, 1);
    EXPECT_EQ(s.axes[2].vertical.logScale, 1);
    // only the first M values count
    DisplaySource n{&pos, &neg, &pos, &pos, nullptr, nullptr, nullptr, nullptr, false};
    BuildDisplayArrays(n, 'Y', 'R', 'C', a);
    setLoadScaleFlags(s, kXFrequency, a, 1);
    EXPECT_EQ(s.axes[1].vertical.logScale, 1);
    setLoadScaleFlags(s, kXFrequency, a, 2);
    EXPECT_EQ(s.axes[0].vertical.logScale, 0);
    EXPECT_EQ(s.axes[1].vertical.logScale, 0);
    setLoadScaleFlags(s, kXTime, a, 0);
    EXPECT_EQ(s.axes[0].horizontal.logScale, 0);
    EXPECT_EQ(s.axes[4].horizontal.logScale, 0);
}

// The residuals relative to |Z| of the model against complex arithmetic:
// an impedance whose model's imaginary part crosses zero (where the
// engine's residual/model column spikes), in rectangular and in polar form.
TEST(DisplayArrays, ResidualsRelativeToTheModelsModulusStayBoundedWhereAComponentCrossesZero)
{
    const std::complex<double> model[] = {{10, -5}, {8, -0.01}, {7, 1e-9}, {6, 0.5}};
    const std::complex<double> obs[] = {{10.1, -5.2}, {8.05, 0.04}, {6.9, -0.03}, {6.02, 0.49}};
    for (char pfit : {'R', 'D'}) {
        std::vector<double> o1, o2, m1, m2, r1, r2, q1, q2;
        for (int i = 0; i < 4; ++i) {
            const auto put = [pfit](std::complex<double> z, std::vector<double>& a, std::vector<double>& b) {
                a.push_back(pfit == 'R' ? z.real() : std::abs(z));
                b.push_back(pfit == 'R' ? z.imag() : std::arg(z) * 180 / M_PI);
            };
            put(obs[i], o1, o2);
            put(model[i], m1, m2);
            r1.push_back(o1.back() - m1.back());
            r2.push_back(o2.back() - m2.back());
            q1.push_back(r1.back() / m1.back());
            q2.push_back(r2.back() / m2.back());
        }
        DisplaySource s{&o1, &o2, &m1, &m2, &r1, &r2, &q1, &q2, true};
        DisplayArrays a;
        const bool negated = BuildDisplayArrays(s, 'Z', pfit, 'C', a);
        const RelativeResiduals r = residualsRelativeToModulus(a, negated);
        ASSERT_EQ(r.re.size(), 4u) << pfit;
        for (int i = 0; i < 4; ++i) {
            const std::complex<double> want = 100.0 * (obs[i] - model[i]) / std::abs(model[i]);
            EXPECT_NEAR(r.re[size_t(i)], want.real(), 1e-9) << pfit << i;
            EXPECT_NEAR(r.im[size_t(i)], want.imag(), 1e-9) << pfit << i;
            // Never beyond the whole misfit relative to |Z|.
            EXPECT_LE(std::hypot(r.re[size_t(i)], r.im[size_t(i)]), 100 * std::abs(obs[i] - model[i]) / std::abs(model[i]) + 1e-9);
        }
        if (pfit == 'R') {  // the engine's own column: a spike at the crossing
            EXPECT_GT(std::abs(q2[2]), 1e6);
        }
    }
    // A simulation (no residuals) gives nothing to show.
    std::vector<double> v{1, 2};
    DisplaySource sim{&v, &v, &v, &v, nullptr, nullptr, nullptr, nullptr, false};
    DisplayArrays a;
    BuildDisplayArrays(sim, 'Z', 'R', 'C', a);
    EXPECT_TRUE(residualsRelativeToModulus(a, true).re.empty());
}
