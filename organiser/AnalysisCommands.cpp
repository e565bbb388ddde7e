#include "AnalysisCommands.h"

#include "BatchRun.h"
#include "CommandLine.h"
#include "DrtCommand.h"
#include "EngineLaunch.h"
#include "Locations.h"
#include "SeriesPlot.h"
#include "core/Exception.h"
#include "engine/ParameterNames.h"
#include "job/AtomicFileWriter.h"
#include "job/FitJob.h"
#include "ops/InstrumentImport.h"
#include "ops/KramersKronigRun.h"
#include "platform/Platform.h"
#include "platform/Process.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <thread>
#include <unistd.h>

namespace nosk {

namespace {
std::atomic<bool> g_stopBatch{false};
extern "C" void stopBatch(int)
{
    g_stopBatch = true;
}
} // namespace

int runKkCommand(const std::string& file)
{
    try {
        kkrun::Spectrum spectrum;
        if (kkrun::isJobFile(file)) {
            FitJob job;
            job.load(file);
            spectrum = kkrun::spectrumOf(job);
        } else {
            const ImportResult data = importInstrumentFile(file);
            std::cout << data.summary() << '\n';
            spectrum.frequencyHz = data.freq;
            for (std::size_t i = 0; i < data.re.size(); ++i)
                spectrum.z.emplace_back(data.re[i], data.im[i]);
        }
        const kk::Options options;
        const kk::Result result = kkrun::runAndWrite(spectrum, options, kkrun::kTableFile);
        std::cout << "Kramers-Kronig test of " << file << '\n'
                  << kkrun::summary(spectrum, result, options) << "Residuals written to " << kkrun::kTableFile
                  << ".\n";
    } catch (const std::exception& e) {
        std::cerr << "noskrun: " << e.what() << '\n';
        return 1;
    }
    return 0;
}

int runBatchCommand(const CommandLine& cl)
{
    batch::Settings settings;
    settings.inputs = cl.inputs;
    settings.templateFile = cl.templateFile;
    settings.chain = cl.chain;
    settings.jobs = cl.jobs > 0 ? cl.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    int error = 0;
    const std::string engine = run::resolveProgram(locations::engineProgram(), error);
    if (engine.empty()) {
        std::cerr << "noskrun: cannot find the engine " << locations::engineProgram() << '\n';
        return 1;
    }
    // Every spectrum runs in a folder of its own: the engine's path must not
    // depend on the current folder.
    std::error_code ec;
    settings.engine = std::filesystem::absolute(engine, ec).string();
    // The engine reads the circuit definitions of its work folder.
    if (std::filesystem::is_regular_file("CIRCUITS", ec))
        settings.circuitsFile = std::filesystem::absolute("CIRCUITS", ec).string();

    if (batch::collectInputs(settings.inputs, !settings.templateFile.empty()).empty()) {
        std::cerr << "noskrun: no spectra found\n";
        return 1;
    }
    // Ctrl+C ends the batch cleanly: the spectra running are finished, their
    // folders removed, and the table names the ones left out.
    settings.stop = &g_stopBatch;
    struct sigaction stop {}, oldInt {}, oldTerm {};
    stop.sa_handler = stopBatch;
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGINT, &stop, &oldInt);
    ::sigaction(SIGTERM, &stop, &oldTerm);
    const std::vector<batch::Row> rows =
        batch::run(settings, Platform::instance().processes(), std::cerr, ::isatty(STDERR_FILENO) == 1);
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    if (g_stopBatch)
        std::cerr << "noskrun: interrupted\n";

    const std::string out = cl.outFile.empty() ? "batch.csv" : cl.outFile;
    try {
        AtomicFileWriter writer(out);
        // The columns are named after the circuit of the first fitted spectrum.
        std::vector<std::string> names;
        for (const batch::Row& r : rows) {
            if (r.ok) {
                names = engine::parameterNames(r.model);
                break;
            }
        }
        writer.buffer() = batch::formatTable(rows, names);
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
                names = engine::parameterNames(r.model);
                break;
            }
        }
        const std::string error = writeSeriesPlot(rows, names, cl.plotFile);
        if (!error.empty()) {
            std::cerr << "noskrun: plot: " << error << '\n';
            status = 1;
        }
    }
    std::size_t failed = 0;
    for (const batch::Row& r : rows)
        failed += r.ok ? 0 : 1;
    std::cout << rows.size() << " spectra, " << rows.size() - failed << " fitted, " << failed
              << " failed; table written to " << out << '\n';
    if (g_stopBatch)
        return 130;  // as a shell reports an interrupted program
    return failed == 0 ? status : 1;
}

} // namespace nosk
