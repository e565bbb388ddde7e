#pragma once

#include "CommandLine.h"
#include "job/DataStamp.h"

#include <span>
#include <string>

namespace nosk {

struct Spectrum;

// The analyses of a measured spectrum that the organiser runs without the
// engine (the Kramers-Kronig test, Z-HIT, the DRT), one row each. The
// command line, noskrun's headless front, the window's Run menu and
// --batch --check all walk this table, so that a new analysis is one row.
namespace analyses {

// What the caller asks of an analysis beyond the data.
struct Settings {
    double kkCutoff = 0;  // --kk-cutoff: the classic rule with this cutoff; 0 the automatic choice
    bool band = false;    // the DRT's credible band as well
    // The data the table is made from, written as its first line.
    DataStamp stamp{kNoJobChecksum, {}};
};

struct Analysis {
    CommandLine::Mode mode;  // the command-line mode that runs it
    const char* flag;        // "--kk FILE"
    // The word of --batch --check ("kk") and the heading of the batch
    // table's verdict column; nullptr for an analysis without a verdict.
    const char* checkName;
    const char* verdictColumn;
    const char* outputFile;  // written in the work folder: KKTEST, ZHITTEST, DRT
    const char* name;        // "Kramers-Kronig test": the heading of what is printed and shown
    const char* menuText;    // the window's Run menu entry
    const char* boxTitle;    // the title of the window's message box
    const char* viewerPage;  // NOSKVIEW's page that shows the output file
    // How the terminal and the window name what the output file holds.
    const char* writtenTo;   // "Residuals written to"
    const char* heldIn;      // "The residuals are in"
    const char* pronoun;     // "them": NOSKVIEW shows them
    // Runs the analysis on the spectrum and writes the output file (safely,
    // a planted link replaced); returns the summary printed and shown.
    // Throws nosk::exception for data the analysis refuses or a file that
    // cannot be written.
    std::string (*run)(const Spectrum& spectrum, const Settings& settings);
    // The verdict of --check ("valid: ...", "suspicious ..."); nullptr
    // when the analysis gives none. Throws for data it refuses.
    std::string (*verdict)(const Spectrum& spectrum);
};

// The rows in the order of the Run menu and of the batch table's columns.
std::span<const Analysis> all();

// The row of a command-line mode, of a --check word; nullptr when none.
const Analysis* ofMode(CommandLine::Mode mode);
const Analysis* ofCheck(const std::string& word);

// What the command line asks of its analysis (--kk-cutoff, --band).
Settings settingsOf(const CommandLine& commandLine);

// "kk or zhit": the words --check takes.
std::string checkWords();

// The text the terminal prints after `run` on FILE's data.
std::string terminalReport(const Analysis& analysis, const std::string& file, const std::string& summary);
// The text of the window's box after `run` on the job's data lines.
std::string windowReport(const Analysis& analysis, const std::string& summary);

} // namespace analyses
} // namespace nosk
