#include "BatchCommand.h"

#include "BatchRun.h"
#include "CommandLine.h"
#include "DrtCommand.h"
#include "EngineLaunch.h"
#include "Locations.h"
#include "SeriesPlot.h"
#include "core/Exception.h"
#include "core/WorkFolderFiles.h"
#include "core/WorkFolderLock.h"
#include "model/ParameterNames.h"
#include "core/AtomicFileWriter.h"
#include "job/FitJob.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "platform/Signals.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <thread>
#include <unistd.h>

namespace nosk {

int runBatchCommand(const CommandLine& cl, int defaultStarts)
{
    batch::Settings settings;
    settings.starts = cl.starts > 0 ? cl.starts : defaultStarts;
    settings.inputs = cl.inputs;
    settings.templateFile = cl.templateFile;
    settings.chain = cl.chain;
    if (!cl.intervals.empty() && cl.intervals != "none")
        settings.engineOptions = {"--intervals", cl.intervals};
    settings.checks = cl.checks;
    settings.jobs = cl.jobs > 0 ? cl.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    int error = 0;
    std::string note;
    const std::string chosen = cl.engine.empty() ? locations::headlessEngine(note) : cl.engine;
    if (!note.empty())
        std::cerr << "noskrun: " << note << '\n';
    const std::string engine = run::resolveProgram(chosen, error);
    if (engine.empty()) {
        std::cerr << "noskrun: cannot find the engine " << chosen << '\n';
        return 1;
    }
    // Every spectrum runs in a folder of its own: the engine's path must not
    // depend on the current folder.
    std::error_code ec;
    settings.engine = std::filesystem::absolute(engine, ec).string();
    // The engine reads the circuit definitions of its work folder.
    if (std::filesystem::is_regular_file(workfiles::kCircuits, ec))
        settings.circuitsFile = std::filesystem::absolute(workfiles::kCircuits, ec).string();

    if (batch::collectInputs(settings.inputs, !settings.templateFile.empty()).empty()) {
        std::cerr << "noskrun: no spectra found\n";
        return 1;
    }
    // The work folder's files (CIRCUITS, the table) are read and written by
    // one run at a time.
    WorkFolderLock folderLock;
    try {
        folderLock.lock("noskrun --batch", [](const std::string& why) {
            std::cerr << "noskrun: " << why << " Waiting for it to finish...\n";
        });
    } catch (const nosk::exception& e) {  // NOSK.LOCK cannot be used
        std::cerr << "noskrun: " << e.what() << '\n';
        return 1;
    }
    // Folders of batches that were killed.
    sweepStaleTemporaries(std::filesystem::temp_directory_path(ec).string());
    // Ctrl+C, kill and a closed terminal (an ssh connection lost) end the
    // batch cleanly: the spectra running are finished, their folders
    // removed, and the table names the ones left out.
    std::vector<batch::Row> rows;
    int interruptedBy = 0;
    {
        const SignalCatcher caught({SIGINT, SIGTERM, SIGHUP});
        struct sigaction ignore {}, oldPipe {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &oldPipe);  // a progress reader gone is no reason to stop
        settings.stop = &caught.received();
        rows = batch::run(settings, Platform::instance().processes(), std::cerr, ::isatty(STDERR_FILENO) == 1);
        interruptedBy = caught.first();
        ::sigaction(SIGPIPE, &oldPipe, nullptr);
    }
    if (interruptedBy != 0)
        std::cerr << "noskrun: interrupted\n";

    // A table name the user did not type is ours: a link planted under it
    // is replaced, never written through.
    const std::string out = cl.outFile.empty() ? "batch.csv" : cl.outFile;
    try {
        AtomicFileWriter writer(out, cl.outFile.empty() ? AtomicFileWriter::Links::Replace
                                                         : AtomicFileWriter::Links::Follow);
        // The columns are named after the circuit of the first fitted spectrum.
        std::vector<std::string> names;
        for (const batch::Row& r : rows) {
            if (r.ok) {
                names = model::parameterNames(r.model);
                break;
            }
        }
        writer.buffer() = batch::formatTable(rows, names, cl.checks);
        if (cl.drt) {
            const std::vector<BatchDrt> drts = batchDrts(rows, settings.templateFile);
            writer.buffer() = appendDrtColumns(writer.buffer(), drts);
            const std::string picture = drtPlotName(cl.plotFile);
            const std::string error = writeDrtSeriesPlot(rows, drts, picture);
            if (!error.empty())
                std::cerr << "noskrun: DRT picture: " << error << '\n';
            else
                std::cout << "DRTs drawn in " << picture << '\n';
        }
        writer.commit();
    } catch (const std::exception& e) {
        std::cerr << "noskrun: " << e.what() << '\n';
        return 1;
    }
    int status = 0;
    if (!cl.plotFile.empty()) {
        std::vector<std::string> names;
        for (const batch::Row& r : rows) {
            if (r.ok) {
                names = model::parameterNames(r.model);
                break;
            }
        }
        const std::string error = writeSeriesPlot(rows, names, cl.plotFile);
        if (!error.empty()) {
            std::cerr << "noskrun: plot: " << error << '\n';
            status = 1;
        }
    }
    std::size_t failed = 0, interrupted = 0;
    for (const batch::Row& r : rows) {
        if (r.reason == batch::kInterrupted)
            ++interrupted;
        else if (!r.ok)
            ++failed;
    }
    std::cout << rows.size() << " spectra, " << rows.size() - failed - interrupted << " fitted, " << failed
              << " failed";
    if (interrupted > 0)
        std::cout << ", " << interrupted << " interrupted";
    std::cout << "; table written to " << out << '\n';
    if (interruptedBy != 0)
        return 128 + interruptedBy;  // as a shell reports an interrupted program
    return failed == 0 ? status : 1;
}

} // namespace nosk
