#include "platform/Shell.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace nosk;

TEST(Shell, CopyReplacesOlderCopy)
{
    test::TempWorkDir work;
    test::writeAll("AUXPNTL", "new contents\r\n");
    test::writeAll("copy.txt", "an older and longer copy\r\n");
    EXPECT_TRUE(copyFileReplacing("AUXPNTL", "copy.txt"));
    EXPECT_EQ(test::readAll("copy.txt"), "new contents\r\n");
    EXPECT_FALSE(copyFileReplacing("PNTOUTL", "copy2.txt"));
    EXPECT_FALSE(std::filesystem::exists("copy2.txt"));
}

TEST(Shell, TempFolderEndsWithSeparator)
{
    DesktopShell shell;
    std::string t = shell.tempFolder();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back(), '/');
    EXPECT_TRUE(std::filesystem::is_directory(t));
}

TEST(Shell, PrintMissingFileDoesNothing)
{
    test::TempWorkDir work;
    DesktopShell shell;
    EXPECT_FALSE(shell.print(work.file("PNTOUTL")));
}

TEST(Shell, TextFilePrintsToPdf)
{
    QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    test::TempWorkDir work;
    test::writeAll("PNTOUTL", "  PARAMETER ESTIMATES\r\n  P(1) = 0.1234D+03\r\n");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QStringLiteral("out.pdf"));
    ASSERT_TRUE(printTextFile("PNTOUTL", printer));
    QProcess run;
    run.start(pdftotext, {QStringLiteral("out.pdf"), QStringLiteral("-")});
    ASSERT_TRUE(run.waitForFinished(10000));
    QString out = QString::fromUtf8(run.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("PARAMETER ESTIMATES"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("0.1234D+03")));
}
