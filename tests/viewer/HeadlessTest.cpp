#include "RunFiles.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <QImage>
#include <QString>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace {

int runViewer(const std::string& args)
{
    const std::string cmd = "QT_QPA_PLATFORM=offscreen " + std::string(NOSKVIEW_PATH) + " " + args
                            + " >out.txt 2>err.txt";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(Headless, HelpDescribesTheExport)
{
    nosk::test::TempWorkDir dir;
    EXPECT_EQ(runViewer("--help"), 0);
    const std::string out = nosk::test::readAll("out.txt");
    EXPECT_NE(out.find("--save-image FILE"), std::string::npos);
    EXPECT_NE(out.find("--page TITLE"), std::string::npos);
    // Each kind of file the export writes, as saveImage tells them apart.
    EXPECT_NE(out.find(".png gives a PNG"), std::string::npos) << out;
    EXPECT_NE(out.find("in .pdf a PDF"), std::string::npos) << out;
    EXPECT_NE(out.find("any other name a 32-bit Windows\n                     bitmap"), std::string::npos) << out;
}

TEST(Headless, LoadErrorGoesToStandardError)
{
    nosk::test::TempWorkDir dir;
    EXPECT_EQ(runViewer("--save-image x.bmp"), 1);
    EXPECT_EQ(nosk::test::readAll("err.txt"), "Cannot open file 'INFL'!\n");  // nothing else
    EXPECT_FALSE(std::ifstream("x.bmp").good());
}

TEST(Headless, SavesTheFirstGraphPageOrTheNamedOne)
{
    nosk::test::TempWorkDir dir;
    nosk::test::RunSpec s;
    nosk::test::writeRun(s);
    ASSERT_EQ(runViewer("--save-image page.bmp"), 0) << nosk::test::readAll("err.txt");
    const std::string bmp = nosk::test::readAll("page.bmp");
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");

    ASSERT_EQ(runViewer("--save-image plane.png --page \"Complex-plane plot\""), 0) << nosk::test::readAll("err.txt");
    QImage png(QStringLiteral("plane.png"));
    ASSERT_FALSE(png.isNull());
    // one graph: drawn at twice its size, not white all over
    EXPECT_GT(png.width(), 200);
    bool ink = false;
    for (int y = 0; y < png.height() && !ink; y += 3)
        for (int x = 0; x < png.width() && !ink; x += 3)
            ink = png.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_TRUE(ink);

    EXPECT_EQ(runViewer("--save-image n.bmp --page PNTOUTL"), 1);
    EXPECT_EQ(nosk::test::readAll("err.txt"), "This page has no graphs!\n");
}

TEST(Headless, UnknownOptionIsRefusedWithUsage)
{
    nosk::test::TempWorkDir dir;
    // Without the refusal the window would open and a script would wait.
    EXPECT_EQ(runViewer("--import x.csv"), 2);
    const std::string err = nosk::test::readAll("err.txt");
    EXPECT_NE(err.find("'--import'"), std::string::npos) << err;
    EXPECT_NE(err.find("Usage: noskview"), std::string::npos) << err;
    EXPECT_EQ(nosk::test::readAll("out.txt"), "");
    EXPECT_EQ(runViewer("--save-image"), 2);  // its operand missing
}

TEST(Headless, KramersKronigPageNeedsNoRun)
{
    nosk::test::TempWorkDir dir;
    // A folder with the test of its data (noskrun --kk) and no run yet.
    {
        std::ofstream kk("KKTEST", std::ios::binary);
        kk << "# Kramers-Kronig test: M = 5, mu = 0.5000; frequency (Hz), residual of Re Z and of Im Z in % of |Z|\r\n";
        for (double f = 0.1; f < 2e4; f *= 3)
            kk << f << " 0.2 -0.1\r\n";
    }
    ASSERT_EQ(runViewer("--save-image kk.png --page Kramers-Kronig"), 0) << nosk::test::readAll("err.txt");
    EXPECT_FALSE(QImage(QStringLiteral("kk.png")).isNull());
    EXPECT_EQ(nosk::test::readAll("err.txt"), "");
    // every other page still needs the run
    EXPECT_EQ(runViewer("--save-image x.bmp --page Graphics"), 1);
    EXPECT_EQ(nosk::test::readAll("err.txt"), "Cannot open file 'INFL'!\n");
}

// The series' page needs no run either; a damaged result says why.
TEST(Headless, SeriesPageNeedsNoRunAndSaysWhyItCannotBeDrawn)
{
    nosk::test::TempWorkDir dir;
    std::ifstream in(NOSK_SOURCE_DIR "/tests/data/series/SERIES.json", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream("SERIES", std::ios::binary) << text;
    ASSERT_EQ(runViewer("--save-image s.png --page Series"), 0) << nosk::test::readAll("err.txt");
    EXPECT_FALSE(QImage(QStringLiteral("s.png")).isNull());
    std::ofstream("SERIES", std::ios::binary) << text.substr(0, 100);
    EXPECT_EQ(runViewer("--save-image t.png --page Series"), 1);
    EXPECT_THAT(nosk::test::readAll("err.txt"), ::testing::HasSubstr("SERIES: JSON: the text ends"));
    EXPECT_FALSE(std::ifstream("t.png").good());
}
