#include "Analyses.h"

#include "core/WorkFolderFiles.h"
#include "ops/DrtRun.h"
#include "ops/KramersKronigRun.h"
#include "ops/ZhitRun.h"

#include <array>

namespace nosk::analyses {

namespace {

std::string runKk(const Spectrum& spectrum, const Settings& settings)
{
    kk::Options options;
    if (settings.kkCutoff != 0) {
        options.rule = kk::Rule::Cutoff;
        options.cutoff = settings.kkCutoff;
    }
    const kk::Result result = kkrun::runAndWrite(spectrum, options, kkrun::kTableFile, stampLine(settings.stamp));
    return kkrun::summary(spectrum, result, options);
}

std::string kkVerdict(const Spectrum& spectrum)
{
    return kk::test(spectrum.frequencyHz, spectrum.z).verdict.text();
}

std::string runZhit(const Spectrum& spectrum, const Settings& settings)
{
    const zhit::Result result = zhitrun::runAndWrite(spectrum, zhitrun::kTableFile, stampLine(settings.stamp));
    return zhitrun::summary(spectrum, result);
}

std::string zhitVerdict(const Spectrum& spectrum)
{
    return zhit::test(spectrum.frequencyHz, spectrum.z).verdict.text();
}

std::string runDrt(const Spectrum& spectrum, const Settings& settings)
{
    drt::Options options;
    if (settings.band)
        options.bandSamples = 1000;
    const drt::Result result = drtrun::runAndWrite(spectrum, options, drtrun::kTableFile, stampLine(settings.stamp));
    return drtrun::summary(spectrum, result);
}

using Mode = CommandLine::Mode;

// The flag, the table written and the viewer's page of each analysis are the
// work folder's (core/WorkFolderFiles.h, which the viewer walks too); this
// table hangs the organiser's texts, runs and verdicts on them.
constexpr const workfiles::AnalysisOutput& kKk = workfiles::analysis(workfiles::Analysis::Kk);
constexpr const workfiles::AnalysisOutput& kZhit = workfiles::analysis(workfiles::Analysis::Zhit);
constexpr const workfiles::AnalysisOutput& kDrt = workfiles::analysis(workfiles::Analysis::Drt);

const std::array<Analysis, workfiles::kAnalyses.size()> kAnalyses = {{
    {Mode::Kk, kKk.flag, "kk", "KK verdict", kKk.file, "Kramers-Kronig test", "&Kramers-Kronig test...",
     "Kramers-Kronig test", kKk.pageTitle, "Residuals written to", "The residuals are in", "them", runKk,
     kkVerdict},
    {Mode::Zhit, kZhit.flag, "zhit", "Z-HIT verdict", kZhit.file, "Z-HIT test", "&Z-HIT test...", "Z-HIT test",
     kZhit.pageTitle, "Deviations written to", "The deviations are in", "them", runZhit, zhitVerdict},
    {Mode::Drt, kDrt.flag, nullptr, nullptr, kDrt.file, "Distribution of relaxation times", "&DRT...", "DRT",
     kDrt.pageTitle, "Written to", "The DRT is in the file", "it", runDrt, nullptr},
}};

} // namespace

std::span<const Analysis> all()
{
    return kAnalyses;
}

const Analysis* ofMode(CommandLine::Mode mode)
{
    for (const Analysis& a : kAnalyses)
        if (a.mode == mode)
            return &a;
    return nullptr;
}

const Analysis* ofCheck(const std::string& word)
{
    for (const Analysis& a : kAnalyses)
        if (a.checkName && word == a.checkName)
            return &a;
    return nullptr;
}

Settings settingsOf(const CommandLine& commandLine)
{
    Settings settings;
    settings.kkCutoff = commandLine.kkCutoff;
    settings.band = commandLine.band;
    return settings;
}

std::string checkWords()
{
    std::string words;
    for (const Analysis& a : kAnalyses) {
        if (!a.checkName)
            continue;
        if (!words.empty())
            words += " or ";
        words += a.checkName;
    }
    return words;
}

std::string terminalReport(const Analysis& analysis, const std::string& file, const std::string& summary)
{
    return std::string(analysis.name) + " of " + file + '\n' + summary + analysis.writtenTo + ' ' +
           analysis.outputFile + ".\n";
}

std::string windowReport(const Analysis& analysis, const std::string& summary)
{
    return std::string(analysis.name) + " of the job's data lines\n\n" + summary + '\n' + analysis.heldIn + ' ' +
           analysis.outputFile + ": NOSKVIEW shows " + analysis.pronoun + " on its \"" + analysis.viewerPage +
           "\" page.";
}

} // namespace nosk::analyses
