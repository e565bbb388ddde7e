#include "COrganiserApp.h"

#include "Analyses.h"
#include "BatchCommand.h"
#include "SeriesCommand.h"
#include "HeadlessCommands.h"
#include "DrtCommand.h"
#include "COrganiserDlg.h"
#include "CommandLine.h"
#include "EngineLaunch.h"
#include "EngineRunner.h"
#include "RunSequence.h"
#include "Locations.h"
#include "core/Exception.h"
#include "core/Prompt.h"
#include "core/WorkFolderFiles.h"
#include "core/WorkFolderLock.h"
#include "core/AtomicFileWriter.h"
#include "job/FitJob.h"
#include "ops/InstrumentImport.h"
#include "platform/DialogRunner.h"
#include "platform/Notification.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "platform/Signals.h"
#include "platform/ProgramIdentity.h"
#include "platform/QtPrompt.h"
#include "platform/Timer.h"
#include "platform/WorkFolder.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>

namespace nosk {

int COrganiserApp::run(int argc, char** argv)
{
    CommandLine cl;
    try {
        cl = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "noskrun: %s\n\n%s", e.what(), CommandLine::usage());
        return 2;
    }
    if (cl.mode == CommandLine::Mode::Help) {
        std::fputs(CommandLine::usage(), stdout);
        return 0;
    }
    Platform::instance().setProgramName("NOSKRUN");
    ignoreFileSizeSignal();
    // What killed runs of ours left behind.
    sweepStaleTemporaries(".");
    options.read();
    // --intervals for this run only; the options file keeps its own.
    if (!cl.intervals.empty())
        options.intervals = cl.intervals == "profile" ? 1 : cl.intervals == "bootstrap" ? 2 : 0;

    if (cl.mode == CommandLine::Mode::Import)
        return importHeadless(cl.file, cl.target.empty() ? CommandLine::defaultImportTarget(cl.file) : cl.target,
                              cl.spectrum, !cl.target.empty());
    if (cl.mode == CommandLine::Mode::Guess)
        return guessHeadless(cl.file, cl.starts > 0 ? cl.starts : run::kGuessStarts);
    if (const analyses::Analysis* analysis = analyses::ofMode(cl.mode))
        return runAnalysisCommand(*analysis, cl.file, analyses::settingsOf(cl));
    if (cl.mode == CommandLine::Mode::Series) {
        if (cl.plotFile.empty()) {
            QCoreApplication app(argc, argv);
            keepCNumbers();
            return runSeriesCommand(cl);
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        keepCNumbers();
        return runSeriesCommand(cl);
    }
    if (cl.mode == CommandLine::Mode::Batch) {
        if (cl.plotFile.empty() && !cl.drt) {
            QCoreApplication app(argc, argv);
            keepCNumbers();
            return runBatchCommand(cl, 1);
        }
        // The plot draws text: that needs a GUI application, without a display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        keepCNumbers();
        return runBatchCommand(cl, 1);
    }
    if (cl.mode == CommandLine::Mode::Run) {
        QCoreApplication app(argc, argv);
        keepCNumbers();
        return runHeadless(cl.file, options, cl.engine, cl.starts > 0 ? cl.starts : options.starts);
    }

    QApplication app(argc, argv);
    keepCNumbers();
    QApplication::setApplicationName(QStringLiteral("NOSKRUN"));
    setProgramIcon(QStringLiteral("noskrun"));
    std::string file = cl.file;
    if (!workfolder::settle(Platform::instance().prompt(), file))
        return 0;
    // The options of the work folder the window works in.
    options = RunOptions{};
    options.read();
    // The example jobs are one click away in every file dialog, also in a
    // fresh work folder.
    const std::string examples = locations::bundledExamplesDir();
    if (!examples.empty())
        QtPrompt::setPlaces({QString::fromStdString(examples)});
    int status = 0;
    {
        COrganiserDlg dlg(Platform::instance().prompt(), options);
        if (!file.empty()) {
            dlg.setCurrentFile(QString::fromStdString(file), std::string());
            bool loaded = true;
            try {
                dlg.job().load(file);
            } catch (const std::exception& e) {
                loaded = false;
                Platform::instance().prompt().message(e.what(), "ERROR", Buttons::Ok, Icon::Error);
            }
            dlg.loadFromJob();
            dlg.jobOpened(loaded);
        }
        runModal(dlg);
    }
    // A failure to write the options is not reported.
    options.write();
    return status;
}

int importHeadless(const std::string& file, const std::string& target, int spectrum, bool targetNamed)
{
    auto fail = [](const std::string& message) {
        std::cerr << "noskrun: " << message << '\n';
        return 1;
    };
    ImportResult result;
    try {
        const InstrumentFile read = readInstrumentFile(file);
        result = selectSpectrum(read, file, spectrum > 0 ? spectrum - 1 : 0);
    } catch (const std::exception& e) {
        return fail(file + ": " + e.what());
    }
    FitJob job;
    std::error_code error;
    const bool plantedLink = !targetNamed && std::filesystem::is_symlink(target, error);
    const bool newJob = plantedLink || !std::filesystem::exists(target, error);
    if (!newJob) {
        // Never replace a job we cannot read: its model would be lost.
        try {
            job.load(target);
        } catch (const std::exception& e) {
            return fail(target + ": " + e.what());
        }
    }
    result.fill(job, newJob);
    try {
        // A name the user did not type: a link planted under it is replaced,
        // never written through.
        job.save(target, targetNamed ? AtomicFileWriter::Links::Follow : AtomicFileWriter::Links::Replace);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    std::cout << result.summary() << '\n';
    if (result.spectrumCount > 1 && spectrum == 0)
        std::cout << "The file holds " << result.spectrumCount
                  << " spectra; the first was taken (choose another with --spectrum N).\n";
    std::cout << "Written to " << target << '\n';
    if (newJob)
        std::cout << readyToFitText() << '\n';
    return 0;
}

int guessHeadless(const std::string& file, int starts)
{
    FitJob job;
    std::string summary;
    try {
        job.load(file);
        if (!run::runnable(job))
            throw exception("Can not run this TEST configuration!");
        summary = run::guessIntoJob(job, starts);
        job.save(file);
    } catch (const std::exception& e) {
        std::cerr << "noskrun: " << e.what() << '\n';
        return 1;
    }
    std::cout << summary << '\n' << "Written to " << file << '\n';
    return 0;
}

// The terminal's part of the run sequence: waiting for the work folder,
// the engine the command line names, and the signals passed on to it.
class TerminalRunFront : public run::RunFront {
public:
    TerminalRunFront(const std::string& file, const RunOptions& options, const std::string& engine, int starts,
                     const SignalCatcher& caught)
        : m_file(file), m_options(options), m_engine(engine), m_starts(starts), m_caught(caught)
    {
    }

    void beforeInput(EngineRunner& runner) override
    {
        runner.lockFolder("noskrun --run " + m_file, [](const std::string& why) {
            std::cerr << "noskrun: " << why << " Waiting for it to finish...\n";
        }, &m_caught.received());
        // A signal before the input is written: the last run's files stay.
        if (m_caught.received())
            throw exception("Interrupted before the run started");
    }

    EngineRunner::Settings beforeStart() override
    {
        EngineRunner::Settings settings;
        settings.foreground = true;
        settings.pollIntervalMs = 50;  // nothing to show meanwhile: end as soon as the engine does
        settings.starts = m_starts;
        settings.engineOptions = run::intervalArguments(m_options.intervals, m_options.intervalLevel);
        settings.loadOutinAfterRun = m_options.loadOutinAfterRun == 1;
        settings.notifyViewer = m_options.notifyViewer == 1;
        std::string note;
        settings.program = m_engine.empty() ? locations::headlessEngine(note) : m_engine;
        if (!note.empty())
            std::cerr << "noskrun: " << note << '\n';
        return settings;
    }

private:
    const std::string& m_file;
    const RunOptions& m_options;
    const std::string& m_engine;
    int m_starts;
    const SignalCatcher& m_caught;
};

int runHeadless(const std::string& file, const RunOptions& options, const std::string& engine, int starts)
{
    // From the start to the end of the run, SIGINT, SIGTERM and SIGHUP are
    // caught (main.cpp held them back until now): before the engine runs
    // they end the run cleanly, while it runs they are passed on to it (it
    // runs in a session of its own, out of reach of the terminal's Ctrl+C
    // and hang-up), and we wait for the engine to end before we do.
    const SignalCatcher caught{SIGINT, SIGTERM, SIGHUP};
    auto interrupted = [&caught] {
        const int sig = caught.first();
        std::cerr << "noskrun: interrupted (" << ::sigabbrev_np(sig) << ") before the engine started\n";
        return 128 + sig;  // as a shell reports an interrupted program
    };

    auto fail = [](const std::string& message) {
        std::cerr << "noskrun: " << message << '\n';
        return 1;
    };
    FitJob job;
    try {
        job.load(file);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    if (caught.first())
        return interrupted();

    // The engine in the foreground: never waiting for Enter, its output on
    // our terminal. One run at a time in the folder: a second one waits.
    EngineRunner runner(std::make_unique<QtTimer>());
    TerminalRunFront front(file, options, engine, starts, caught);
    const run::StartOutcome outcome = run::startRun(runner, job, front);
    if (!outcome.started())
        return caught.first() ? interrupted() : fail(outcome.message);

    int status = 0;
    QEventLoop loop;
    runner.onEnd = [&](const RunEnd& end) {
        if (end.kind != RunEnd::Kind::Finished) {
            status = fail(end.message.empty() ? end.status : end.message);
        } else {
            std::cout << end.status << '\n';
            // Parameters the data do not determine, or that a bound holds.
            if (!end.parameters.empty())
                std::cout << "Parameters: " << end.parameters << '\n';
            // Results were written, but the fit did not converge: said on
            // its own line and in the exit status.
            if (end.endedEarly()) {
                std::cerr << "noskrun: the fit ended before it converged: " << end.reason.text << '\n';
                const std::string hint = EngineRunner::hintFor(end.reason, job);
                if (!hint.empty())
                    std::cerr << "noskrun: " << hint << '\n';
                status = 3;
            }
            // The fit stands and its results are written: what went wrong
            // after it (solartron.fra) is a warning, not a failed fit.
            if (!end.message.empty())
                std::cerr << "noskrun: warning: " << end.message << '\n';
            if (end.reloadOutin) {
                try {
                    job.load(workfiles::kNextInput);
                } catch (const std::exception& e) {
                    status = fail(e.what());
                }
            }
        }
        loop.quit();
    };
    QTimer forward;
    QObject::connect(&forward, &QTimer::timeout, &loop, [&runner, &caught] {
        if (const int sig = caught.take())
            runner.forward(sig);
    });
    forward.start(20);
    // The first look at once: a run that ends before the loop starts still
    // ends it.
    QTimer::singleShot(0, &loop, [&runner] { runner.poll(); });
    loop.exec();
    if (const int sig = caught.first()) {
        std::cerr << "noskrun: interrupted (" << ::sigabbrev_np(sig) << "); the engine was stopped\n";
        return 128 + sig;  // as a shell reports an interrupted program
    }
    return status;
}

} // namespace nosk
