#include "HeadlessCommands.h"

#include "ops/DrtRun.h"
#include "ops/KramersKronigRun.h"
#include "ops/ZhitRun.h"

#include <exception>
#include <iostream>

namespace nosk {

namespace {

// Runs `analysis` on FILE's spectrum; a failure anywhere is the program's
// message and exit status 1.
template <typename Analysis>
int runOnSpectrum(const std::string& file, Analysis analysis)
{
    try {
        std::string imported;
        const kkrun::Spectrum spectrum = kkrun::spectrumOfFile(file, &imported);
        if (!imported.empty())
            std::cout << imported << '\n';
        analysis(spectrum);
    } catch (const std::exception& e) {
        std::cerr << "noskrun: " << e.what() << '\n';
        return 1;
    }
    return 0;
}

} // namespace

int runKkCommand(const std::string& file, double cutoff)
{
    return runOnSpectrum(file, [&](const kkrun::Spectrum& spectrum) {
        kk::Options options;
        if (cutoff != 0) {
            options.rule = kk::Rule::Cutoff;
            options.cutoff = cutoff;
        }
        const kk::Result result = kkrun::runAndWrite(spectrum, options, kkrun::kTableFile);
        std::cout << "Kramers-Kronig test of " << file << '\n'
                  << kkrun::summary(spectrum, result, options) << "Residuals written to " << kkrun::kTableFile
                  << ".\n";
    });
}

int runZhitCommand(const std::string& file)
{
    return runOnSpectrum(file, [&](const kkrun::Spectrum& spectrum) {
        const zhit::Result result = zhitrun::runAndWrite(spectrum, zhitrun::kTableFile);
        std::cout << "Z-HIT test of " << file << '\n'
                  << zhitrun::summary(spectrum, result) << "Deviations written to " << zhitrun::kTableFile << ".\n";
    });
}

int runDrtCommand(const std::string& file, bool band)
{
    return runOnSpectrum(file, [&](const kkrun::Spectrum& spectrum) {
        drt::Options options;
        if (band)
            options.bandSamples = 1000;
        const drt::Result result = drtrun::runAndWrite(spectrum, options, drtrun::kTableFile);
        std::cout << "Distribution of relaxation times of " << file << '\n'
                  << drtrun::summary(spectrum, result) << "Written to " << drtrun::kTableFile << ".\n";
    });
}

} // namespace nosk
