#pragma once

#include "COrganiserDlg.h"
#include "Locations.h"
#include "core/ScriptedPrompt.h"
#include "support/SyntheticData.h"
#include "job/FitJob.h"
#include "platform/Help.h"
#include "platform/Notification.h"
#include "platform/Platform.h"
#include "platform/Shell.h"
#include "platform/Timer.h"
#include "support/ScriptedDialogRunner.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QtGlobal>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace nosk::test {

class CountingNotifier : public Notifier {
public:
    int notifyViewers() override { return ++count; }
    int count = 0;
};

// A window in a fresh work folder with every platform service recorded.
struct OrganiserFixture {
    TempWorkDir dir;
    ScriptedPrompt prompt;
    RecordingHelp help;
    RecordingShell shell;
    CountingNotifier notifier;
    RunOptions options;
    ManualTimer* timer = nullptr;
    ScriptedDialogRunner dialogRunner;
    std::unique_ptr<COrganiserDlg> dlg;
    std::vector<std::string> dialogs;  // titles of the modal dialogs run
    std::function<int(QDialog&)> answerDialog;

    OrganiserFixture()
    {
        // The engine never gets a terminal window of its own in a test.
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        Platform& p = Platform::instance();
        p.setProgramName("NOSKRUN");
        p.setPrompt(&prompt);
        p.setHelp(&help);
        p.setShell(&shell);
        p.setNotifier(&notifier);
        shell.temp = dir.path().string() + "/tmp/";
        dlg = std::make_unique<COrganiserDlg>(prompt, options);
        auto t = std::make_unique<ManualTimer>();
        timer = t.get();
        dlg->setTimer(std::move(t));
        dialogRunner.otherwise = [this](QDialog& d) {
            dialogs.push_back(d.windowTitle().toStdString());
            return answerDialog ? answerDialog(d) : int(QDialog::Rejected);
        };
    }
    ~OrganiserFixture()
    {
        dlg.reset();
        Platform& p = Platform::instance();
        p.setPrompt(nullptr);
        p.setHelp(nullptr);
        p.setShell(nullptr);
        p.setNotifier(nullptr);
    }

    // Saves `job` as A.TST in the work folder and loads it into the window.
    void openJob(const FitJob& job)
    {
        job.save("A.TST");
        dlg->LoadJobFile("A.TST");
    }

    // Ticks the watch timer until `done` holds, for at most `ms`; whether it holds.
    bool tickUntil(const std::function<bool()>& done, int ms = 20000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < ms) {
            QThread::msleep(10);
            QCoreApplication::processEvents();
            timer->tick();
        }
        return done();
    }

    // Ticks until the run has ended; whether it has.
    bool waitForEngine(int ms = 20000)
    {
        return tickUntil([this] { return !dlg->engineRunning(); }, ms);
    }
};

// A stand-in engine in the work folder, NOSKWIN.EXE: a shell script, which
// the user has chosen to run (as when answering the window's question).
inline void writeFakeEngine(const std::string& script, bool chosen = true)
{
    std::ofstream("NOSKWIN.EXE", std::ios::binary | std::ios::trunc) << "#!/bin/sh\n" << script;
    std::filesystem::permissions("NOSKWIN.EXE", std::filesystem::perms::owner_all);
    if (chosen)
        locations::rememberLocalEngineChoice(true);
}

// The engine built beside the tests.
inline std::string bundledEngine()
{
    return (std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "noskwin").string();
}

// A small job of circuit A: an R in series with an RC (DE 1), ten points.
inline FitJob sampleJob(int points = 10)
{
    FitJob job = engine::impedanceFitJob('A', 10, "Sample run");
    job.CELCAP = FitJob::kDefaultCelcap;
    job.MAXFEV = 0;  // a simulation
    job.P[0] = 10;       // series R
    job.P[5] = 100;      // DE R
    job.P[6] = 1e-6;     // DE T
    job.P[9] = 1;        // DE 1
    job.NFREE[0] = 1;
    job.allocateData(points, false);
    for (int i = 0; i < points; ++i) {
        (*job.FREQ)[std::size_t(i)] = std::pow(10.0, i * 0.5);
        (*job.DATA1)[std::size_t(i)] = 100 + i;
        (*job.DATA2)[std::size_t(i)] = -i;
    }
    return job;
}

} // namespace nosk::test
