#include "ViewerTexts.h"

#include <gtest/gtest.h>

using namespace nosk;

TEST(ViewerTexts, GraphTitlesWithMinusSign)
{
    auto g2 = graphTitles(2, 'Z', 'R', kXFrequency, true, true, 0);
    EXPECT_EQ(g2.vertical, "Impedance,  -imag");
    EXPECT_EQ(g2.horizontal, "Angular frequency, rad/s");
    EXPECT_EQ(g2.group, "Impedance vs. Angular frequency, rad/s");
    auto g5 = graphTitles(5, 'Z', 'R', kXFrequency, true, true, 0);
    EXPECT_EQ(g5.vertical, "-imag");
    EXPECT_EQ(g5.horizontal, "real");
    EXPECT_EQ(g5.group, "Impedance, Complex-plane plot");
    EXPECT_EQ(graphTitles(2, 'Y', 'D', kXFrequency, false, false, 0).vertical, "Admittance, angle, degree");
    EXPECT_EQ(graphTitles(1, 'M', 'L', kXTemperature, true, false, 0).vertical, "Modulus, log magnitude");
    EXPECT_EQ(graphTitles(1, 'E', 'P', kXTemperature, true, false, 0).horizontal, "Temperature, K");
    EXPECT_EQ(graphTitles(3, 'Z', 'R', kXTime, true, false, 0).group, "Residuals vs. Time, sec");
}

TEST(ViewerTexts, RelativeResidualTitlesFollowIpar)
{
    auto unc = graphTitles(4, 'Z', 'R', kXFrequency, true, false, 1);
    EXPECT_EQ(unc.vertical, "Res/Unc");
    EXPECT_EQ(unc.group, "Residuals/Uncertanties vs. Angular frequency, rad/s");
    auto model = graphTitles(4, 'Z', 'R', kXInverseTemperature, false, false, 0);
    EXPECT_EQ(model.vertical, "Res/Model");
    EXPECT_EQ(model.group, "Residuals/Model vs. Inv. Temp. 10**3/T, 1/K");
    EXPECT_EQ(xAxisTitle(kXFrequency, false), "Ordinary frequency, Hz");
}

TEST(ViewerTexts, TransformationWarningsTable)
{
    const char* tail = "In this case transformation is not recomended!\n\n\tContinue anyway?";
    for (char d : {'C', 'R', 'I'})
        EXPECT_EQ(*transformationWarning(kXTime, d),
                  "Data transformation is not recomended for time type of X axis!\n\n\t\tContinue anyway?");
    EXPECT_FALSE(transformationWarning(kXFrequency, 'C'));
    EXPECT_EQ(*transformationWarning(kXFrequency, 'I'),
              std::string("Type of X axis is frequency.\nSet of data has only imaginary part.\n") + tail);
    EXPECT_EQ(*transformationWarning(kXFrequency, 'R'),
              std::string("Type of X axis is frequency.\nSet of data has only real part.\n") + tail);
    EXPECT_EQ(*transformationWarning(kXTemperature, 'C'),
              std::string("Type of X axis is temperature.\nSet of data is complex.\n") + tail);
    EXPECT_EQ(*transformationWarning(kXTemperature, 'I'),
              std::string("Type of X axis is temperature.\nSet of data has only imaginary part.\n") + tail);
    EXPECT_FALSE(transformationWarning(kXTemperature, 'R'));
    EXPECT_EQ(*transformationWarning(kXInverseTemperature, 'C'),
              std::string("Type of X axis is inverse temperature.\nSet of data is complex.\n") + tail);
    EXPECT_EQ(*transformationWarning(kXInverseTemperature, 'I'),
              std::string("Type of X axis is inverse temperature.\nSet of data has only imaginary part.\n") + tail);
    EXPECT_FALSE(transformationWarning(kXInverseTemperature, 'R'));
}

TEST(ViewerTexts, XAxisChangeQuestion)
{
    EXPECT_EQ(*xAxisChangeQuestion(kXFrequency, kXTime),
              "Invalid transformation from Frequency to Time.\n\n\t\tContinue anyway?");
    EXPECT_EQ(*xAxisChangeQuestion(kXInverseTemperature, kXTime),
              "Invalid transformation from Inv. Temperature to Time.\n\n\t\tContinue anyway?");
    EXPECT_FALSE(xAxisChangeQuestion(kXTemperature, kXInverseTemperature));
    EXPECT_FALSE(xAxisChangeQuestion(kXInverseTemperature, kXTemperature));
    EXPECT_FALSE(xAxisChangeQuestion(kXTime, kXTime));
}

TEST(ViewerTexts, FrequencyRepresentationAtLoad)
{
    // the representation chosen in "Data transformation" wins over the data's
    for (char freeq : {' ', 'F'}) {
        EXPECT_TRUE(angularForLoad(0, -10, freeq));
        EXPECT_FALSE(angularForLoad(0, -11, freeq));
        EXPECT_FALSE(angularForLoad(0, -40, freeq));
        EXPECT_TRUE(angularForLoad(1, -11, freeq));
        EXPECT_FALSE(angularForLoad(2, 0, freeq));
    }
    // an IRE of the engine's weighting chooses none: data in Hz stay in Hz
    for (int ire : {-9, -1, 0, 1}) {
        EXPECT_TRUE(angularForLoad(0, ire, ' '));
        EXPECT_FALSE(angularForLoad(0, ire, 'F'));
    }
}
