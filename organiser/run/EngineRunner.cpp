#include "EngineRunner.h"

#include "EngineLaunch.h"
#include "Locations.h"
#include "core/Exception.h"
#include "core/WorkFolderFiles.h"
#include "model/EngineError.h"
#include "core/WorkFolderLock.h"
#include "engine/PreparedJob.h"
#include "job/FitJob.h"
#include "platform/Notification.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "results/PntoutlReader.h"
#include "results/ReportText.h"
#include "results/ResultHolder.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <stdexcept>
#include <sstream>
#include <unistd.h>

namespace nosk {
namespace {

namespace fs = std::filesystem;

std::string readFrom(const std::string& path, std::uintmax_t offset)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in)
        return {};
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::uintmax_t sizeOf(const std::string& path)
{
    std::error_code ec;
    std::uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

bool allWeightsZero(const FitJob& job)
{
    if (!job.hasWeights())
        return true;
    auto zero = [](double w) { return w == 0.0; };
    return std::all_of(job.WEIGHT1->begin(), job.WEIGHT1->end(), zero)
        && std::all_of(job.WEIGHT2->begin(), job.WEIGHT2->end(), zero);
}

// Whether the file can be run on this system: a program (ELF) or a script.
// A Windows build of the engine starts with "MZ".
bool looksRunnable(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    in.read(head, sizeof head);
    if (in.gcount() < 2)
        return false;
    return (head[0] == '#' && head[1] == '!') || std::memcmp(head, "\x7f" "ELF", 4) == 0;
}

std::string bundledEngine()
{
    fs::path p = fs::path(QCoreApplication::applicationDirPath().toStdString()) / "noskwin";
    std::error_code ec;
    if (fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0)
        return p.string();
    return {};
}

std::string shortNumber(double v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.6E", v);
    return b;
}

} // namespace

EngineRunner::EngineRunner(std::unique_ptr<Timer> timer)
{
    setTimer(std::move(timer));
}

EngineRunner::~EngineRunner()
{
    // A running engine is left to finish on its own.
    if (m_timer)
        m_timer->stop();
}

void EngineRunner::setTimer(std::unique_ptr<Timer> timer)
{
    const bool wasActive = m_timer && m_timer->isActive();
    if (m_timer)
        m_timer->stop();
    m_timer = std::move(timer);
    m_timer->setCallback([this] { poll(); });
    if (wasActive)
        m_timer->start(m_settings.pollIntervalMs);
}

std::string EngineRunner::hintFor(const Reason& reason, const FitJob& job)
{
    const std::string param = std::to_string(reason.param);
    switch (reason.kind) {
    case Reason::Kind::Freedom:
        if (job.IRCH == 0 && allWeightsZero(job))
            return "With IRCH 0 every value is weighted by its weight line, and all weights are 0, so every "
                   "value drops out. Set IRCH on the \"Fitting options\" page (1: unit weights), or load "
                   "weights with Data \xE2\x86\x92 \"Load weights from ASCII\".";
        return "Free fewer parameters (the codes in the parameter list of the \"Fitting options\" page), "
               "or fit more values (DATTYP, data lines).";
    case Reason::Kind::Parameter:
    case Reason::Kind::ParameterRange:
        if (reason.param > 0 && reason.text.find(" limit") != std::string::npos)
            return "Change p(" + param + "), its code or its limits in the parameter list of the "
                   "\"Fitting options\" page (tick \"Limits\" beside \"Set\" to see them).";
        if (reason.param > 0)
            return "Change p(" + param + ") or its code in the parameter list of the \"Fitting options\" page.";
        return {};
    case Reason::Kind::DataRow:
    case Reason::Kind::WeightRow:
    case Reason::Kind::StartModel:
        if (reason.row >= 0)
            return "See the row labelled " + std::to_string(reason.row) + " on the \"Data lines\" page.";
        return {};
    case Reason::Kind::De:
        return "Choose another DE in the parameter list of the \"Fitting options\" page (the link beside "
               "the DE's number opens \"Select DE\"), or change the DE's parameters"
            + (reason.param > 0 ? " after its selector p(" + param + ")" : std::string()) + ".";
    case Reason::Kind::DeRange:
        return "Start the DE's parameters nearer the data"
            + (reason.param > 0 ? " (p(" + param + ") left the DE's range)" : std::string())
            + ", or fix that parameter in the parameter list of the \"Fitting options\" page.";
    case Reason::Kind::MaxFev:
        return "Raise MAXFEV on the \"Fitting options\" page, or start nearer the solution.";
    case Reason::Kind::Circuit:
        if (reason.line > 0)
            return "Correct line " + std::to_string(reason.line) + ", column " + std::to_string(reason.column)
                + " of CIRCUITS in the work folder, or remove the file to use the built-in circuits.";
        return "Correct CIRCUITS in the work folder, or remove it to use the built-in circuits.";
    case Reason::Kind::Field:
        if (reason.field == "IRCH" && job.IRCH == 0 && !job.hasWeights())
            return "Load weights with Data \xE2\x86\x92 \"Load weights from ASCII\", or set IRCH to 1 on the "
                   "\"Fitting options\" page.";
        if (reason.field == "M")
            return "Load data with the Data menu, or set M on the \"Data lines\" page.";
        if (reason.field == "FUN")
            return "Choose another model circuit (FUN) on the \"Fitting options\" page.";
        if (!reason.field.empty())
            return "Change " + reason.field + " on the \"Fitting options\" page.";
        return {};
    default:
        return {};
    }
}

std::string EngineRunner::checkJob(const FitJob& job)
{
    Reason reason;
    try {
        // The circuits the engine will use: the work folder's CIRCUITS
        // replaces built-in letters.
        const model::CircuitLibrary circuits = model::CircuitLibrary::withOverrides(workfiles::kCircuits);
        engine::PreparedJob prepared(job, &circuits);
        return {};
    } catch (const exception& e) {
        reason = model::reasonOf(e, Reason::Kind::Internal);
    } catch (const std::bad_alloc&) {
        reason.kind = Reason::Kind::Memory;
        reason.text = "The job needs more memory than there is";
    }
    std::string text = "The fitting engine would refuse this job:\n" + reason.text;
    const std::string hint = hintFor(reason, job);
    if (!hint.empty())
        text += "\n\n" + hint;
    return text;
}

void EngineRunner::lockFolder(const std::string& purpose, const std::function<void(const std::string&)>& waiting,
                              const std::atomic<bool>* stop)
{
    if (m_lock && m_lock->held())
        return;
    auto lock = std::make_unique<WorkFolderLock>();
    // An unusable lock file throws its reason from the lock itself.
    if (waiting)
        lock->lock(purpose, waiting, stop);
    else if (!lock->tryLock(purpose))
        throw exception("%s\nTry again when it has finished.", lock->busyMessage().c_str());
    m_lock = std::move(lock);
}

void EngineRunner::releaseFolder()
{
    if (!m_engine)
        m_lock.reset();
}

void EngineRunner::writeInput(const FitJob& job)
{
    lockFolder("noskrun");
    try {
        run::writeInput(job);
    } catch (...) {
        releaseFolder();
        throw;
    }
}

void EngineRunner::start(const FitJob& job, const Settings& settings)
{
    const std::string tried = settings.program.empty() ? locations::engineProgram() : settings.program;
    int error = 0;
    std::string engine = run::resolveProgram(tried, error);
    const bool local = fs::path(tried).filename() == workfiles::kLocalEngine;
    std::string why;
    if (engine.empty()) {
        char text[80];
        std::snprintf(text, sizeof text, "Last error #%i (%s)", error, std::strerror(error));
        why = text;
    } else if (!looksRunnable(engine)) {
        error = ENOEXEC;
        why = "The file is not a program for this system.";
    }
    if (!engine.empty() && error == 0) {
        try {
            lockFolder("noskrun");
        } catch (const std::exception& e) {
            throw StartFailure(e.what());
        }
        // An OUTIN left from an earlier run must never pass for this run's.
        std::remove(workfiles::kNextInput);
        ProcessSpec spec;
        if (settings.foreground) {
            spec.program = engine;
            spec.arguments = run::startsArguments(settings.starts);
            spec.arguments.insert(spec.arguments.end(), settings.engineOptions.begin(), settings.engineOptions.end());
        } else {
            spec = run::engineSpec(engine, settings.closeEngineWindow, settings.terminal, settings.starts,
                settings.engineOptions);
        }
        // The engine shares the folder's lock and holds it to its end.
        spec.keepDescriptor = m_lock->inheritableDescriptor();
        if (!m_lock->environmentValue().empty())
            spec.environment = {std::string(WorkFolderLock::kEnvironment) + "=" + m_lock->environmentValue()};
        m_logOffset = sizeOf(run::kLogFile);
        if (error == 0)
            m_engine = Platform::instance().processes().start(spec, error);
        if (!m_engine) {
            char text[80];
            std::snprintf(text, sizeof text, "Last error #%i (%s)", error, std::strerror(error));
            why = text;
        }
    }
    if (!m_engine) {
        const std::string message = "Cannot run NOSK!\n" + why + "\nEngine tried: " + tried;
        if (local)
            throw StartFailure(message + "\nA NOSKWIN.EXE in the work folder is used before the bundled engine.",
                               bundledEngine());
        throw StartFailure(message);
    }
    m_job = &job;
    m_settings = settings;
    m_started = std::chrono::steady_clock::now();
    m_progress.clear();
    m_stopRequested = false;
    m_timer->start(settings.pollIntervalMs);
}

void EngineRunner::stop()
{
    forward(SIGTERM);
}

void EngineRunner::forward(int sig)
{
    if (!m_engine)
        return;
    m_stopRequested = true;
    m_engine->signal(sig);
}

double EngineRunner::elapsedSeconds() const
{
    if (!m_engine)
        return 0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
}

std::string EngineRunner::runningStatus() const
{
    char text[64];
    std::snprintf(text, sizeof text, "Fitting... %.0f s", std::floor(elapsedSeconds()));
    std::string status = text;
    if (!m_progress.empty())
        status += ": " + m_progress;
    return status;
}

void EngineRunner::readProgress()
{
    if (m_settings.foreground)
        return;
    std::string line = report::lastLine(readFrom(run::kLogFile, m_logOffset));
    if (!line.empty())
        m_progress = line;
}

void EngineRunner::poll()
{
    if (!m_engine)
        return;
    readProgress();
    if (m_engine->running()) {
        if (onProgress)
            onProgress();
        return;
    }
    m_timer->stop();
    const int exitCode = m_engine->exitCode();
    m_engine.reset();
    finish(exitCode);
}

void EngineRunner::finish(int exitCode)
{
    const FitJob& job = *m_job;
    RunEnd end;
    // A stop that came after the engine had finished its work changes
    // nothing: the results are read as after any run.
    if (m_stopRequested && exitCode != 0) {
        m_lock.reset();
        end.kind = RunEnd::Kind::Stopped;
        end.reason.kind = Reason::Kind::Stopped;
        end.reason.text = "stopped by the user";
        end.status = "Fit stopped.";
        if (onEnd)
            onEnd(end);
        return;
    }
    std::string readError;
    std::unique_ptr<ResultHolder> holder;
    if (exitCode > 128) {
        // Killed: whatever files are there are not this run's whole result.
        const char* name = ::sigabbrev_np(exitCode - 128);
        readError = "The engine was ended by signal " + std::to_string(exitCode - 128)
            + (name ? std::string(" (SIG") + name + ")" : std::string()) + " before it finished.";
    } else {
        try {
            holder = std::make_unique<ResultHolder>(job);
            holder->read();
            // A fit's parameters are in OUTIN, which the engine writes last;
            // the one of an earlier run was deleted before the start.
            std::error_code ec;
            if (job.MAXFEV >= 3 && !fs::exists(workfiles::kNextInput, ec))
                readError = "The engine wrote no OUTIN.";
        } catch (const exception& e) {
            readError = e.what();
        } catch (const std::exception& e) {
            readError = e.what();
        }
    }
    // The engine's reason line: in PNTOUTL, or on its console when it
    // could not write the report.
    const EngineAccount account = readEngineAccount(workfiles::kReport, readFrom(run::kLogFile, m_logOffset));
    if (account.reason && exitCode <= 128)
        end.reason = *account.reason;
    // The engine ends a refused run's report with the reason, and exits
    // with a status other than 0: that run failed, whatever files it left.
    if (readError.empty() && exitCode > 0)
        readError = "The engine ended with status " + std::to_string(exitCode) + ".";
    if (!readError.empty()) {
        std::string reason;
        if (exitCode > 128) {
            reason = readError;
        } else if (end.reason.refused()) {
            reason = end.reason.text;
        } else {
            // An engine without reason lines ends the report of a job it
            // refuses with the reason and leaves no AUXPNTL; an engine that
            // wrote no report may have said why on its console.
            std::error_code ec;
            if (!fs::exists(workfiles::kTable, ec))
                reason = account.reportLastLine;
            if (reason.empty() && (exitCode > 0 || !fs::exists(workfiles::kTable, ec)))
                reason = account.consoleLastLine;
            if (reason.empty())
                reason = exitCode > 0 ? "The engine ended with status " + std::to_string(exitCode) + "." : readError;
        }
        m_lock.reset();
        end.kind = RunEnd::Kind::Failed;
        end.message = "Fitting process failed!\n" + reason;
        const std::string hint = hintFor(end.reason, job);
        if (!hint.empty())
            end.message += "\n\n" + hint;
        end.status = "Fit failed: " + reason;
        if (onEnd)
            onEnd(end);
        return;
    }
    // The fit is good; a model curve that cannot be written does not make
    // it a failure, but is said.
    try {
        holder->writeSolartron(workfiles::kModelCurve);
    } catch (const std::exception& e) {
        end.message = std::string("The model curve could not be written: ") + e.what();
    }
    m_lock.reset();
    end.reloadOutin = m_settings.loadOutinAfterRun && job.IRE < 0;
    if (FitResultSet* fit = holder->fitResults()) {
        const std::string figures = "S = " + shortNumber(fit->statistics.sumOfSquares) + ", "
            + std::to_string(fit->statistics.functionEvaluations) + " function evaluations";
        if (end.endedEarly()) {
            end.status = "Fit ended early (" + reasonSummary(end.reason) + "): " + figures;
        } else {
            end.status = "Fit finished: " + figures;
            if (end.reason.kind == Reason::Kind::Converged)
                end.status += " (" + reasonSummary(end.reason) + ")";
        }
        // How a search from several starts ended.
        if (const std::string search = searchNote(fit->statistics.search); !search.empty())
            end.status += "; " + search;
        end.parameters = parameterNote(fit->statistics);
    } else if (holder->modelResults()) {
        end.status = "Model computed at " + std::to_string(job.M) + " points";
    } else {
        end.status = "Run finished";
    }
    if (job.MAXFEV >= 3 && !end.reloadOutin) {
        end.status += ". Fitted parameters are in OUTIN (File \xE2\x86\x92 Load OUTIN)";
        // The option is on but does nothing for this job: say why.
        if (m_settings.loadOutinAfterRun)
            end.status += kOutinNotLoaded;
    }
    if (onEnd)
        onEnd(end);
    if (m_settings.notifyViewer)
        Platform::instance().notifier().notifyViewers();
}

} // namespace nosk
