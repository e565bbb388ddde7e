#pragma once

#include "core/Exception.h"
#include "core/Prompt.h"
#include "ops/OpsCallbacks.h"
#include "ops/Spectrum.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nosk {

class FitJob;

// A refusal whose text is longer than nosk::exception holds (it lists the
// columns a file names).
class ImportRefusal : public exception {
public:
    explicit ImportRefusal(std::string text) : exception("%s", ""), m_text(std::move(text)) {}
    const char* what() const noexcept override { return m_text.c_str(); }

private:
    std::string m_text;
};

// One impedance spectrum found in an instrument file: frequency in Hz and the
// impedance Z' + j Z'' in ohm (Z'' is negative for a capacitive cell, whatever
// sign the file wrote it with).
struct ImportedSpectrum {
    std::string label;  // what the chooser shows: "ZCURVE table, lines 449-520"
    std::vector<double> freq, re, im;
    int rowsSkipped = 0;  // frequency 0 or a value missing
};

// What a file holds: its format's name and every spectrum, in file order.
struct InstrumentFile {
    std::string format;  // "Gamry DTA", "EC-Lab text", "CSV", ...
    std::vector<ImportedSpectrum> spectra;  // never empty
    bool decimalCommas = false;  // the numbers were written with decimal commas
    std::string note;            // what the file says about its run ("aborted")
    Metadata metadata;           // what the file says about the measurement
};

// One spectrum chosen from a file, ready to become a job's data.
struct ImportResult {
    std::string file;    // the path as given
    std::string format;
    std::vector<double> freq, re, im;
    int rowsRead = 0;
    int rowsSkipped = 0;
    int spectrumIndex = 0;  // from 0
    int spectrumCount = 1;
    bool decimalCommas = false;
    std::string note;
    Metadata metadata;

    // Makes these rows the job's data: FREQ (Hz), DATA1 = Z', DATA2 = Z'',
    // FREEQ F, DINP Z, PINP R, NEG blank, M the row count, weight lines
    // proportional to the data when IRCH is 0, and a description naming the
    // file and what it says about the measurement (technique, date,
    // potential, temperature). Everything else (model, parameters, fit settings) stays, except
    // for a new job (`newJob`), which is made ready to fit: MAXFEV
    // kImportedMaxfev and IRCH kImportedIrch.
    void fill(FitJob& job, bool newJob = false) const;

    // "Gamry DTA: 72 rows read, 0 skipped, 0.0158898 Hz to 200016 Hz"; with
    // ", spectrum 2 of 3" when the file holds several, and a line of what
    // the file says about the measurement when it says anything
    // ("technique PEIS; date 02/04/18").
    std::string summary() const;
};

// What a new job gets from an import: at most this many function
// evaluations, and weighting by the modulus of the measured value.
constexpr int kImportedMaxfev = 1000;
constexpr int kImportedIrch = 3;

// Files larger than this are refused before a byte is read.
constexpr std::uintmax_t kMaxInstrumentFileSize = std::uintmax_t(256) << 20;

// The most data rows a job file can carry (its count field has five digits).
constexpr int kMaxJobRows = 99999;

// Reads an instrument file: plain CSV/TSV/semicolon/blank-separated tables
// with or without a header line, Gamry .DTA, EC-Lab .mpt/.txt, ZPlot .z,
// Autolab, CH Instruments, Parstat and PowerSuite text, VersaStudio .par,
// and the binary EC-Lab .mpr, Zahner .ism and Solartron .fra (the formats'
// table: ops/formats/InstrumentFormats.h). Refuses what is not a regular
// file or is larger than the limit. Failures throw nosk::exception with the
// reason, naming the line of a text file or the file and byte offset of a
// binary one.
InstrumentFile readInstrumentFile(const std::string& path);

// The same on the file's bytes already in memory: a binary format when its
// detector knows the bytes, a text table otherwise.
InstrumentFile parseInstrumentFile(std::string_view bytes, const std::string& fileName);

// The same on text already in memory; `fileName` only picks a layout by its
// extension (a headerless ".z" table) and never names a file to open.
InstrumentFile parseInstrumentText(std::string_view text, const std::string& fileName);

// Spectrum `index` (from 0) of a file read before. Throws nosk::exception
// when there is no such spectrum or it has more rows than a job can carry.
ImportResult selectSpectrum(const InstrumentFile& file, const std::string& path, int index);

// readInstrumentFile and selectSpectrum in one step.
ImportResult importInstrumentFile(const std::string& path, int spectrumIndex = 0);

// The file dialog's filters: every supported format, then "All files".
std::vector<FileFilter> instrumentFileFilters();

// The choice of one spectrum of a file that holds several. The organiser
// shows its "Select spectrum" dialog; tests script it.
class SpectrumChooser {
public:
    virtual ~SpectrumChooser() = default;
    // The index (from 0) chosen with "Select"; nothing for "Cancel".
    virtual std::optional<int> chooseSpectrum(const InstrumentFile& file, const std::string& path) = 0;
};

// "Ready to fit: at most 1000 evaluations (MAXFEV) and weighting by |Z|
// (IRCH 3), both on "Fitting options"." for the message of a new job.
std::string readyToFitText();

// Data -> "Import instrument file...": asks for the file, lets the user pick
// a spectrum when there are several, makes it the job's data and says what
// was read. Returns true when the job changed (the pages have then been
// refreshed), false when the user cancelled. Throws nosk::exception ("Cannot
// import <file name>:\n" and why) when the file cannot be imported; the job
// stays as it was. A new job (`newJob`: nothing loaded into it yet) is made
// ready to fit, and the message says so.
bool importInstrument(FitJob& job, Prompt& prompt, SpectrumChooser& chooser, const RefreshPages& refresh,
                      bool newJob = false);

} // namespace nosk
