#include "EngineOutputs.h"
#include "FrontPage.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <QImage>
#include <QRect>
#include <gtest/gtest.h>

#include <filesystem>

using namespace nosk;

TEST(Housekeeping, ClearDirectoryKeepsInputAndOutin)
{
    test::TempWorkDir dir;
    for (const char* f : {"PNTOUTL", "AUXPNTL", "OUTSUM.TXT", "ADD.BIN", "OUTIN", "INFL", "solartron.fra"})
        test::writeAll(f, "x");
    ClearDirectory();
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator("."))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"INFL", "OUTIN", "solartron.fra"}));
    EXPECT_EQ(engineOutputFiles().size(), 17u);
    EXPECT_EQ(engineOutputFiles().front(), "PNTOUTL");
    EXPECT_EQ(engineOutputFiles().back(), "ADD.BIN");
}

TEST(Housekeeping, FrontPageScaleAndPicture)
{
    EXPECT_EQ(frontPageTarget(4800, 6600, 600, 400), QRect(0, 1700, 4800, 3200));
    EXPECT_EQ(frontPageTarget(100, 100, 0, 10), QRect());
    QImage page(4, 2, QImage::Format_RGB32);
    page.fill(qRgb(240, 240, 240));
    page.setPixel(1, 1, qRgb(0, 0, 128));
    page.setPixel(2, 0, qRgb(255, 255, 255));
    QImage mono = monochromePage(page);
    EXPECT_EQ(mono.format(), QImage::Format_Mono);
    EXPECT_EQ(mono.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(mono.pixel(1, 1), qRgb(0, 0, 0));
    EXPECT_EQ(mono.pixel(2, 0), qRgb(255, 255, 255));
}
