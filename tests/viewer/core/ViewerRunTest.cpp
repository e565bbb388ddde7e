#include "DisplayArrays.h"
#include "GraphSettings.h"
#include "RunFiles.h"
#include "ViewerRun.h"
#include "core/Exception.h"
#include "results/FitStatistics.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

using namespace nosk;
using nosk::test::RunSpec;

namespace {
const double kTwoPi = 2 * 3.14159265358979;
}

TEST(ViewerRun, EmptyFolderFailsWithTheReadersText)
{
    test::TempWorkDir dir;
    ViewerRun run;
    GraphSettings settings;
    try {
        run.load(0, settings);
        FAIL() << "no error";
    } catch (const exception& e) {
        EXPECT_STREQ(e.what(), "Cannot open file 'INFL'!");
    }
    EXPECT_FALSE(run.hasResults());
}

TEST(ViewerRun, ComplexImpedanceFitIsShownWithNegatedImaginaryParts)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.count = 5;
    test::writeRun(s);
    ViewerRun run;
    GraphSettings settings;
    run.load(0, settings);
    ASSERT_TRUE(run.isFit());
    EXPECT_EQ(run.count(), 5);
    EXPECT_TRUE(run.imagNegated());
    // IRE 0 chooses no representation: the file's Hz are shown as Hz.
    EXPECT_FALSE(run.angular());
    EXPECT_NEAR((*run.xValues())[0], test::specX(s, 0), 1e-9);
    const DisplayArrays& a = run.arrays();
    double re, im;
    test::specZ(s, 2, re, im);
    EXPECT_REL_NEAR((*a.get(DisplayArrays::Data1))[2], re, 1e-4);
    EXPECT_REL_NEAR((*a.get(DisplayArrays::Data2))[2], -im, 1e-4);
    EXPECT_REL_NEAR((*a.get(DisplayArrays::Model2))[2], -im * 1.01, 0.99e-4);
    // residuals of the second component are negated too, relative ones as well
    EXPECT_REL_NEAR((*a.get(DisplayArrays::Residual2))[2], -(im - 1.01 * im), 0.99e-2);
    // rectangular arrays of the negated pairs for the complex-plane plot
    EXPECT_REL_NEAR((*a.get(DisplayArrays::DataIm))[2], -im, 1e-4);
    ASSERT_NE(run.statistics(), nullptr);
    EXPECT_EQ(run.statistics()->freeCount, 3);
    // all shown values positive on a frequency axis: log scales for graphs 1 and 2
    EXPECT_EQ(settings.axes[0].horizontal.logScale, 1);
    EXPECT_EQ(settings.axes[0].vertical.logScale, 1);
    EXPECT_EQ(settings.axes[1].vertical.logScale, 1);
}

TEST(ViewerRun, NegativeValuesAndOtherXAxesGiveLinearScales)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.negativeImag = false;  // after the sign rule the second component is negative
    test::writeRun(s);
    ViewerRun run;
    GraphSettings settings;
    run.load(0, settings);
    EXPECT_EQ(settings.axes[0].horizontal.logScale, 1);
    EXPECT_EQ(settings.axes[0].vertical.logScale, 0);
    EXPECT_EQ(settings.axes[1].vertical.logScale, 0);

    s.negativeImag = true;
    s.xVariable = 3;
    test::writeRun(s);
    run.load(0, settings);
    for (int g = 0; g < 4; ++g)
        EXPECT_EQ(settings.axes[g].horizontal.logScale, 0);
    EXPECT_EQ(settings.axes[0].vertical.logScale, 0);
}

TEST(ViewerRun, InverseTemperatureShows1000OverX)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.xVariable = 4;
    s.firstX = 250;
    s.freeq = ' ';
    test::writeRun(s);
    ViewerRun run;
    GraphSettings settings;
    run.load(0, settings);
    EXPECT_DOUBLE_EQ((*run.xValues())[0], 4.0);
}

TEST(ViewerRun, MaxfevOneIsASimulationAndTwoHasNoResults)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.maxfev = 1;
    s.dattyp = 'R';
    test::writeRun(s);
    ViewerRun run;
    GraphSettings settings;
    run.load(0, settings);
    EXPECT_EQ(run.job().MAXFEV, 0);
    ASSERT_TRUE(run.hasResults());
    EXPECT_FALSE(run.isFit());
    EXPECT_FALSE(run.imagNegated());  // real-only data keep their sign
    EXPECT_TRUE(run.arrays().has(DisplayArrays::Model1));
    EXPECT_FALSE(run.arrays().has(DisplayArrays::Residual1));
    EXPECT_FALSE(run.arrays().has(DisplayArrays::DataRe));

    s.maxfev = 2;
    test::writeInfl(s);
    run.load(0, settings);
    EXPECT_FALSE(run.hasResults());
}

TEST(ViewerRun, FrequencyRepresentationFollowsModeAndIre)
{
    test::TempWorkDir dir;
    RunSpec s;
    s.ire = -11;
    test::writeRun(s);
    ViewerRun run;
    GraphSettings settings;
    run.load(0, settings);
    EXPECT_FALSE(run.angular());
    EXPECT_DOUBLE_EQ((*run.xValues())[0], test::specX(s, 0));
    run.load(1, settings);
    EXPECT_TRUE(run.angular());
    EXPECT_EQ(run.job().IRE, -10);
    EXPECT_NEAR((*run.xValues())[0], kTwoPi * test::specX(s, 0), 1e-9);
}

TEST(ViewerRun, TransformationConvertsFromTheFitSystemOnce)
{
    test::TempWorkDir dir;
    RunSpec s;
    test::writeRun(s);
    ViewerRun run;
    GraphSettings settings;
    run.load(0, settings);
    TransformChoice c{'Y', 'R', -10, run.job().CELCAP};
    run.transform(c);
    ASSERT_TRUE(run.transformed());
    EXPECT_FALSE(run.imagNegated());  // admittance keeps its sign
    double re, im;
    test::specZ(s, 3, re, im);
    const double m2 = re * re + im * im;
    EXPECT_REL_NEAR((*run.arrays().get(DisplayArrays::Data1))[3], re / m2, 1e-4);
    EXPECT_REL_NEAR((*run.arrays().get(DisplayArrays::Data2))[3], -im / m2, 1e-4);
    // a second transformation starts again from the files
    run.transform(c);
    EXPECT_REL_NEAR((*run.arrays().get(DisplayArrays::Data1))[3], re / m2, 1e-4);
    // residual arrays are carried, not converted
    EXPECT_TRUE(run.arrays().has(DisplayArrays::Residual1));
}

TEST(ViewerRun, OnlyFrequenciesBecomeAngularTimesAndTemperaturesStayAsTheyAre)
{
    // IRE 0 keeps the job's own representation; modes 1 and 2 force one.
    test::TempWorkDir dir;
    RunSpec s;
    s.firstX = 250;
    GraphSettings settings;
    struct Case {
        unsigned char type;
        char freeq;
        int mode;
        double expected;
    };
    const Case cases[] = {
        {1, 'F', 0, 250},           // Hz shown as Hz
        {1, ' ', 0, 250},           // rad/s shown as rad/s
        {1, 'F', 1, kTwoPi * 250},  // Hz shown as rad/s
        {1, ' ', 2, 250 / kTwoPi},  // rad/s shown as Hz
        {2, 'F', 0, 250},
        {2, ' ', 2, 250},
        {3, 'F', 0, 250},
        {3, ' ', 2, 250},
        {4, 'F', 0, 4},             // 1000 / 250 K
        {4, ' ', 2, 4},
    };
    for (const Case& c : cases) {
        s.xVariable = c.type;
        s.freeq = c.freeq;
        test::writeRun(s);
        ViewerRun run;
        run.load(c.mode, settings);
        ASSERT_TRUE(run.hasResults());
        EXPECT_REL_NEAR((*run.xValues())[0], c.expected, 1e-9)
            << "type " << int(c.type) << " FREEQ '" << c.freeq << "' mode " << c.mode;
        // A level transformation starts again from the file and keeps them too.
        TransformChoice choice{'Y', 'R', run.angular() ? -10 : -11, 1e-12};
        run.transform(choice);
        EXPECT_REL_NEAR((*run.xValues())[0], c.expected, 1e-9) << "transformed, type " << int(c.type);
    }
}
