#include "CFitOptionsPage.h"
#include "OrganiserTestSupport.h"
#include "support/Files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <gtest/gtest.h>

#include <filesystem>

using namespace nosk;
using nosk::test::OrganiserFixture;
using nosk::test::bundledEngine;
using nosk::test::writeFakeEngine;

namespace fs = std::filesystem;

TEST(Run, RefusedWithoutParameters)
{
    OrganiserFixture f;
    FitJob job = test::sampleJob();
    job.N = 0;
    f.openJob(job);
    test::writeAll("PNTOUTL", "last run");
    f.dlg->runButton()->click();
    EXPECT_EQ(f.prompt.lastMessage().text, "Can not run this TEST configuration: the job has no parameters (N = 0; "
                                           "set N on the \"Fitting options\" page)!");
    EXPECT_EQ(f.prompt.lastMessage().caption, "NOSKRUN");
    EXPECT_TRUE(fs::exists("PNTOUTL"));
    EXPECT_FALSE(fs::exists("INFL"));
}

TEST(Run, EngineThatCannotStart)
{
    OrganiserFixture f;
    f.openJob(test::sampleJob());
    test::writeAll("NOSKWIN.EXE", "not a program");  // not executable
    fs::permissions("NOSKWIN.EXE", fs::perms::owner_read | fs::perms::owner_write);
    locations::rememberLocalEngineChoice(true);  // the user chose it
    f.prompt.answers.push_back(Answer::No);  // not the bundled engine instead
    f.dlg->runButton()->click();
    EXPECT_EQ(f.prompt.lastMessage().text.rfind("Cannot run NOSK!\nLast error #13", 0), 0u)
        << f.prompt.lastMessage().text;
    EXPECT_TRUE(fs::exists("INFL"));
    EXPECT_TRUE(fs::exists("ADD.BIN"));
    EXPECT_FALSE(f.dlg->engineRunning());
    EXPECT_FALSE(f.timer->isActive());
}

TEST(Run, FailedFitIsReportedAndNotAnnounced)
{
    OrganiserFixture f;
    FitJob job = test::sampleJob();
    job.MAXFEV = 5;
    f.openJob(job);
    writeFakeEngine("echo \"$@\" > ARGS\nsleep 0.2\nexit 1\n");
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.dlg->engineRunning());
    EXPECT_EQ(f.timer->interval(), 1000);
    // One engine at a time.
    f.dlg->action(QStringLiteral("Save and &Run"))->trigger();
    EXPECT_EQ(f.prompt.lastMessage().text, "The fitting engine is still running!");
    ASSERT_TRUE(f.waitForEngine());
    // "S" keeps the engine's window open; the default search has a budget of 64 starts.
    EXPECT_EQ(test::readAll("ARGS"), "S --starts 64\n");
    EXPECT_EQ(f.prompt.lastMessage().text.rfind("Fitting process failed!", 0), 0u);
    EXPECT_EQ(f.notifier.count, 0);
    EXPECT_FALSE(f.timer->isActive());
}

TEST(Run, OldOutinIsOfferedForKeeping)
{
    OrganiserFixture f;
    f.options.promptStoreOutin = 1;
    f.options.closeEngineWindow = 1;
    f.openJob(test::sampleJob());
    test::writeAll("OUTIN", "old outin");
    writeFakeEngine("echo \"$#\" > ARGS\n");
    f.prompt.files.push_back(f.dir.file("OUTIN.OLD"));
    f.dlg->runButton()->click();
    ASSERT_FALSE(f.prompt.fileDialogs.empty());
    EXPECT_EQ(f.prompt.fileDialogs.back().request.title, "Store OUTIN file");
    EXPECT_EQ(f.prompt.fileDialogs.back().request.initialName, "OUTIN.OLD");
    EXPECT_EQ(test::readAll("OUTIN.OLD"), "old outin");
    ASSERT_TRUE(f.waitForEngine());
    EXPECT_EQ(test::readAll("ARGS"), "2\n");  // --starts 8
}

TEST(Run, FullRunWithTheBundledEngine)
{
    if (!fs::exists(bundledEngine()))
        GTEST_SKIP() << "the bundled engine is not built";
    OrganiserFixture f;
    // A real listener gets the notification.
    const QString folder = QString::fromStdString(f.dir.file("sockets"));
    NotifySender sender(folder);
    Platform::instance().setNotifier(&sender);
    NotifyListener listener(folder);
    ASSERT_TRUE(listener.listen());
    int heard = 0;
    QObject::connect(&listener, &NotifyListener::notified, [&] { ++heard; });

    FitJob job = test::sampleJob(12);
    job.IRE = -1;
    f.openJob(job);
    f.dlg->runButton()->click();
    ASSERT_TRUE(f.dlg->engineRunning()) << (f.prompt.messages.empty() ? "" : f.prompt.lastMessage().text);
    ASSERT_TRUE(f.waitForEngine());
    for (int i = 0; i < 50 && heard == 0; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    Platform::instance().setNotifier(&f.notifier);
    EXPECT_TRUE(f.prompt.messages.empty()) << f.prompt.lastMessage().text;
    for (const char* file : {"INFL", "ADD.BIN", "PNTOUTL", "AUXPNTL", "OUTIN", "NOSKWIN.LOG"})
        EXPECT_TRUE(fs::exists(file)) << file;
    EXPECT_EQ(fs::file_size("solartron.fra"), 700u + 84u * 12u);
    EXPECT_EQ(f.dlg->windowTitle(), QStringLiteral("OUTIN"));
    EXPECT_EQ(heard, 1);
}

TEST(Run, HeadlessRunOfAJob)
{
    const fs::path organiser = fs::path(QCoreApplication::applicationDirPath().toStdString()) / "noskrun";
    if (!fs::exists(bundledEngine()) || !fs::exists(organiser))
        GTEST_SKIP() << "the programs are not built";
    test::TempWorkDir dir;
    test::sampleJob(8).save("job.tst");
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(dir.path().string()));
    p.start(QString::fromStdString(organiser.string()), {QStringLiteral("--run"), QStringLiteral("job.tst")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(fs::file_size("solartron.fra"), 700u + 84u * 8u);
    EXPECT_TRUE(fs::exists("INFL"));
    EXPECT_TRUE(fs::exists("ADD.BIN"));

    // A job that cannot run: status 1 and the reason.
    FitJob bad = test::sampleJob();
    bad.N = 0;
    bad.save("bad.tst");
    p.start(QString::fromStdString(organiser.string()), {QStringLiteral("--run"), QStringLiteral("bad.tst")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_NE(p.readAllStandardError().indexOf("Can not run this TEST configuration: the job has no parameters"), -1);

    p.start(QString::fromStdString(organiser.string()), {QStringLiteral("--help")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_NE(p.readAllStandardOutput().indexOf("--run FILE"), -1);

    // An option it does not know: status 2 and the usage on standard error,
    // never a window that a script would wait for.
    p.start(QString::fromStdString(organiser.string()), {QStringLiteral("--bogus"), QStringLiteral("job.tst")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 2);
    const QByteArray err = p.readAllStandardError();
    EXPECT_NE(err.indexOf("unknown option '--bogus'"), -1) << err.toStdString();
    EXPECT_NE(err.indexOf("Usage: noskrun"), -1);
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
}
