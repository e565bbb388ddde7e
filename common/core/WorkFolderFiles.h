#pragma once

#include <array>
#include <string_view>

// The files the three programs share in the work folder (the current folder),
// and the texts in the engine's report that its readers look for. Every
// program names them through these constants, so that a writer and its
// readers never disagree; the README's table of the work folder says who
// writes and who reads each one.
namespace nosk::workfiles {

// The engine's input: the job as the organiser saved it.
inline constexpr char kInput[] = "INFL";
// The job's side file (the X axis type, long descriptions), beside INFL.
inline constexpr char kSideFile[] = "ADD.BIN";
// The engine's report, with its reason line.
inline constexpr char kReport[] = "PNTOUTL";
// The engine's numbers: data, model and residuals per point.
inline constexpr char kTable[] = "AUXPNTL";
// The job with the fitted values, written last by the engine.
inline constexpr char kNextInput[] = "OUTIN";
// The organiser's copy of an OUTIN it replaces when asked to keep it.
inline constexpr char kOldNextInput[] = "OUTIN.OLD";
// The model curve the organiser writes after every run.
inline constexpr char kModelCurve[] = "solartron.fra";
// The engine's console output when no terminal shows it.
inline constexpr char kEngineLog[] = "NOSKWIN.LOG";
// Another engine build of the user's, run instead of the bundled one.
inline constexpr char kLocalEngine[] = "NOSKWIN.EXE";
// The user's circuit definitions that replace built-in letters.
inline constexpr char kCircuits[] = "CIRCUITS";
// The lock that lets one run at a time work in the folder.
inline constexpr char kLock[] = "NOSK.LOCK";
// Each window's options.
inline constexpr char kOrganiserOptions[] = "NOSKRUN.OPT";
inline constexpr char kViewerOptions[] = "NOSKVIEW.OPT";
// The organiser's scratch files: the text editor's copy and the two steps
// of the output summary, removed after use.
inline constexpr char kEditorScratch[] = "__X_EDIT.TMP";
inline constexpr char kRawSummary[] = "__TMP_9_.TXT";
inline constexpr char kTidySummary[] = "__TMP_8_.TXT";
// The analyses' tables (see kAnalyses).
inline constexpr char kKkTable[] = "KKTEST";
inline constexpr char kZhitTable[] = "ZHITTEST";
inline constexpr char kDrtTable[] = "DRT";
// A series fitted as one from the organiser's Run menu: the result as
// `noskrun --series --json` writes it, shown by the viewer's "Series" page
// whenever it is there.
inline constexpr char kSeriesResult[] = "SERIES";

// The analyses of a measured spectrum that are no fit: each is run by the
// organiser (its Run menu and a command-line flag), writes one table into
// the work folder and has a page in the viewer whenever that table is there,
// with or without a run.
enum class Analysis { Kk, Zhit, Drt };

struct AnalysisOutput {
    Analysis id;
    const char* name;       // as the organiser's commands name it
    const char* flag;       // noskrun's command-line flag
    const char* file;       // the table it writes
    const char* pageTitle;  // the viewer's page
    int pageHelpId;         // the page's help topic
};

// In the order of the viewer's pages.
inline constexpr std::array<AnalysisOutput, 3> kAnalyses{{
    {Analysis::Kk, "Kramers-Kronig test", "--kk", kKkTable, "Kramers-Kronig", 10300},
    {Analysis::Zhit, "Z-HIT test", "--zhit", kZhitTable, "Z-HIT", 10301},
    {Analysis::Drt, "DRT", "--drt", kDrtTable, "DRT", 10046},
}};

constexpr const AnalysisOutput& analysis(Analysis id)
{
    for (const AnalysisOutput& a : kAnalyses)
        if (a.id == id)
            return a;
    return kAnalyses[0];
}

} // namespace nosk::workfiles

// The texts of the engine's report (PNTOUTL) that its readers search for.
// The engine writes each on a line of its own and keeps every other text of
// the report from holding one (a run description that does is written in
// lower case).
namespace nosk::report {

// The reason line's tag (core/Reason.h has its form).
inline constexpr char kReasonTag[] = "@REASON ";
// The count of the free parameters, after which the fit's statistics follow.
inline constexpr char kFreeCountMarker[] = "# OF FREE PARAMETERS =";
// The first line of the statistics.
inline constexpr char kFinalNormMarker[] = "FINAL L2 NORM OF THE RESIDUALS";
// The heading of the parameter table.
inline constexpr char kParameterTableMarker[] = "ORIGINAL PARAMETER NUMBERS";
// The line after the table that names the parameters the data do not
// determine: "P<n>=<status>" per parameter.
inline constexpr char kParameterStatusMarker[] = "PARAMETER STATUS:";
// The line after the status line when some parameter is at a bound or a
// limit: the others' std devs are given those values, "P<n>=<value>" per
// such parameter.
inline constexpr char kStdDevsGivenMarker[] = "STD DEVS GIVEN:";
// The heading of the correlation matrix, the last block of a fit's report.
inline constexpr char kCorrelationMarker[] = "ESTIMATED PARAMETER CORRELATION MATRIX";
// The line of a search from several starts that says how it ended, after
// the parameter lists: "end=<agreed|budget|time|complete> runs=<n>
// reached=<n> needed=<n> budget=<n> degenerate=<n> best=<run>", and
// "runaway=P<n>" when the best point is degenerate. Readers skip keys they
// do not know (and older readers the whole line).
inline constexpr char kSearchMarker[] = "SEARCH:";
// A free parameter's interval, one line each between the parameter table
// and the correlation matrix:
//   " @INTERVAL P3 low=1.2E-03 high=none method=profile level=0.95"
// ("none": that side is not bounded, "nan": no interval). Older readers skip it.
inline constexpr char kIntervalTag[] = "@INTERVAL ";
// A point of a parameter's profile after the correlation matrix:
//   " @PROFILE P3 <held value> <S of the others' refit>"
inline constexpr char kProfileTag[] = "@PROFILE ";
// The texts no other line of the report may contain.
inline constexpr std::array<std::string_view, 7> kSectionMarkers{kFreeCountMarker, kFinalNormMarker,
    kParameterTableMarker, kCorrelationMarker, kParameterStatusMarker, kStdDevsGivenMarker, kSearchMarker};
// The start of the banner lines of older engines, which the printed
// summary leaves out.
inline constexpr char kBannerMarker[] = "            **";

} // namespace nosk::report
