#include "HeadlessCommands.h"

#include "Analyses.h"
#include "ops/KramersKronigRun.h"
#include "job/DataStamp.h"
#include "job/FitJob.h"
#include "ops/Spectrum.h"

#include <exception>
#include <iostream>

namespace nosk {

int runAnalysisCommand(const analyses::Analysis& analysis, const std::string& file,
                       const analyses::Settings& settings)
{
    // A failure anywhere is the program's message and exit status 1.
    try {
        std::string imported;
        const Spectrum spectrum = loadSpectrum(file, 0, &imported);
        if (!imported.empty())
            std::cout << imported << '\n';
        // The table names the file; a job file's data lines give the
        // checksum the viewer compares with its INFL and the name the
        // window gives them.
        analyses::Settings stamped = settings;
        stamped.stamp.source = file.substr(file.find_last_of('/') + 1);
        if (isJobFile(file)) {
            FitJob job;
            job.load(file);
            stamped.stamp.checksum = dataChecksum(job);
            stamped.stamp.source = spectrumName(job, file);
        }
        const std::string summary = analysis.run(spectrum, stamped);
        std::cout << analyses::terminalReport(analysis, file, summary);
    } catch (const std::exception& e) {
        // The message names the file when the reader did not.
        const std::string what = e.what();
        const std::string name = file.substr(file.find_last_of('/') + 1);
        std::cerr << "noskrun: ";
        if (what.find(name) == std::string::npos)
            std::cerr << file << ": ";
        std::cerr << what << '\n';
        return 1;
    }
    return 0;
}

} // namespace nosk
