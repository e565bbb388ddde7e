#include "ops/InstrumentImport.h"

#include "core/Exception.h"
#include "AtTheEdge.h"
#include "core/ScriptedPrompt.h"
#include "job/FitJob.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>

using namespace nosk;
using nosk::test::writeAll;

namespace {

const std::string kSamples = std::string(NOSK_SOURCE_DIR) + "/tests/data/instruments/";

struct Triple {
    double f, re, im;
};

// Rows, first and last (f, Z', Z'') as they stand in each sample file, read
// off by eye; Z'' from the file's -Im(Z) column with its sign turned.
struct Sample {
    const char* file;
    const char* format;
    int rows, skipped;
    Triple first, last;
};

const Sample kSampleFiles[] = {
    {"exampleData.csv", "CSV", 66, 0, {3.1623e-03, 4.949989776405060160e-02, -2.043869854441892481e-02},
     {1e4, 1.577148266048593317e-02, 1.015747456493823649e-02}},
    {"exampleDataAutolab.txt", "Autolab text", 41, 0, {10000, 0.013785863964281, 0.007191946305823},
     {0.1, 0.0345697771923854, -0.00390292888845954}},
    {"exampleDataBioLogic.mpt", "EC-Lab text", 43, 0, {1.0003201E+003, 6.5470886E+001, -3.8998979E-001},
     {1.6895540E-002, 1.1097003E+002, -2.3458567E+000}},
    {"exampleDataCHInstruments.txt", "CH Instruments text", 73, 0, {9.961e+4, 9.891e+1, -2.748e+0},
     {1.000e-1, 5.685e+3, -1.586e+4}},
    {"exampleDataGamry.DTA", "Gamry DTA", 72, 0, {200015.6, 825.8584, -1367.239}, {0.0158898, 17007.49, -6635.557}},
    {"exampleDataParstat.txt", "Parstat text", 31, 781, {10000, -0.00049816280376104, 0.0175143479976367},
     {10, 0.0270946491457229, -0.00399791080333837}},
    {"exampleDataPowersuite.txt", "PowerSuite text", 30, 0, {0.1, 423929.46, -49014.063}, {2000000, -470.54113, -1397.7358}},
    {"exampleDataVersaStudio.par", "VersaStudio PAR", 61, 0, {100000, 55.31571, 4.575431}, {0.02154435, 1516.313, -122.8279}},
    {"exampleDataZPlot.z", "ZPlot", 21, 0, {3.000000E+05, 1.4777E+02, -1.1335E+01}, {3.000000E+03, 6.1368E+02, -1.3713E+02}},
};

void expectTriple(const ImportResult& r, size_t i, const Triple& t, const char* file)
{
    EXPECT_REL_NEAR(r.freq[i], t.f, 1e-12) << file << " row " << i << " f " << r.freq[i];
    EXPECT_REL_NEAR(r.re[i], t.re, 1e-12) << file << " row " << i << " Z' " << r.re[i];
    EXPECT_REL_NEAR(r.im[i], t.im, 1e-12) << file << " row " << i << " Z'' " << r.im[i];
}

std::string messageOf(const std::string& text, const std::string& name = "x.csv")
{
    try {
        parseInstrumentText(text, name);
    } catch (const exception& e) {
        return e.what();
    }
    return "(no failure)";
}

// The impedance of R0 + (R1 || C) at f Hz: the reference the written tables
// are checked against.
std::complex<double> rc(double f)
{
    const double w = 2 * M_PI * f;
    return 10.0 + 100.0 / std::complex<double>(1.0, w * 100.0 * 1e-5);
}

struct ScriptedChooser : SpectrumChooser {
    std::optional<int> answer = 0;
    int calls = 0;
    std::optional<int> chooseSpectrum(const InstrumentFile&, const std::string&) override
    {
        ++calls;
        return answer;
    }
};

FitJob jobWithModel()
{
    FitJob job;
    job.description = "my model";
    job.N = 3;
    job.IRCH = 2;
    job.DINP = 'Y';
    job.PINP = 'P';
    job.FREEQ = ' ';
    job.NEG = 'N';
    job.allocateData(2, false);
    *job.FREQ = {1, 2};
    *job.DATA1 = {3, 4};
    *job.DATA2 = {5, 6};
    return job;
}

} // namespace

TEST(InstrumentImport, EverySampleGivesItsRowsAndEndTriples)
{
    for (const Sample& s : kSampleFiles) {
        ImportResult r;
        try {
            r = importInstrumentFile(kSamples + s.file);
        } catch (const exception& e) {
            ADD_FAILURE() << s.file << ": " << e.what();
            continue;
        }
        EXPECT_EQ(r.format, s.format) << s.file;
        ASSERT_EQ(r.rowsRead, s.rows) << s.file;
        EXPECT_EQ(r.rowsSkipped, s.skipped) << s.file;
        EXPECT_EQ(r.spectrumCount, 1) << s.file;
        expectTriple(r, 0, s.first, s.file);
        expectTriple(r, size_t(s.rows - 1), s.last, s.file);
    }
}

// One RC spectrum written as different instruments write it: header names
// in other words and orders, -Z'' columns, |Z| and phase in degrees or
// radians, angular frequency, quoted names, CR line ends. Every dialect must
// give back the model's own values.
TEST(InstrumentImport, HeaderDialectsAgreeWithTheModel)
{
    const double freqs[] = {0.1, 3.7, 120, 5e4};
    struct Dialect {
        const char* header;
        const char* rowFormat;  // f, then Z', Z'', |Z|, phase (deg), phase (rad), omega
        std::vector<int> order; // 0 f, 1 Z', 2 Z'', 3 -Z'', 4 |Z|, 5 deg, 6 rad, 7 omega
        const char* lineEnd;
    };
    const Dialect dialects[] = {
        {"Frequency (Hz),Z' (Ohm),-Z'' (Ohm)", "%.17g,%.17g,%.17g", {0, 1, 3}, "\n"},
        {"\"Z''\";\"Freq/Hz\";\"Z'\"", "%.17g;%.17g;%.17g", {2, 0, 1}, "\r\n"},
        {"freq/Hz\t|Z|/Ohm\tPhase(Z)/deg\tI/mA", "%.17g\t%.17g\t%.17g\t0.5", {0, 4, 5}, "\r"},
        {"  Zmod   Freq   Zphz (rad)  ", "%.17g %.17g %.17g", {4, 0, 6}, "\n"},
        {"omega, Re(Z), -Im(Z)", "%.17g, %.17g, %.17g", {7, 1, 3}, "\n"},
        {"Index;Frequency [Hz];Z' [\xce\xa9];\xe2\x88\x92Z'' [\xce\xa9]", "1;%.17g;%.17g;%.17g", {0, 1, 3}, "\r\n"},
        {"Impedance (Ohm)\tPhase (\xc2\xb0)\tFrequency", "%.17g\t%.17g\t%.17g", {4, 5, 0}, "\n"},
        {"Im (A), Freq, Zreal, Zimag", "1e-6, %.17g, %.17g, %.17g", {0, 1, 2}, "\n"},  // Im: a current
        {"Freq, Re, -Im", "%.17g, %.17g, %.17g", {0, 1, 3}, "\n"},
    };
    for (const Dialect& d : dialects) {
        std::string text = "Exported by some potentiostat\n\n" + std::string(d.header) + d.lineEnd;
        for (double f : freqs) {
            const std::complex<double> z = rc(f);
            const double v[] = {f, z.real(), z.imag(), -z.imag(), std::abs(z), std::arg(z) * 180 / M_PI, std::arg(z), 2 * M_PI * f};
            char row[256];
            std::snprintf(row, sizeof row, d.rowFormat, v[d.order[0]], v[d.order[1]], v[d.order[2]]);
            text += row;
            text += d.lineEnd;
        }
        InstrumentFile file;
        try {
            file = parseInstrumentText(text, "x.txt");
        } catch (const exception& e) {
            ADD_FAILURE() << d.header << ": " << e.what();
            continue;
        }
        ASSERT_EQ(file.spectra.size(), 1u) << d.header;
        const ImportedSpectrum& s = file.spectra[0];
        ASSERT_EQ(s.freq.size(), 4u) << d.header;
        for (size_t i = 0; i < 4; ++i) {
            const std::complex<double> z = rc(freqs[i]);
            EXPECT_REL_NEAR(s.freq[i], freqs[i], 1e-12) << d.header;
            EXPECT_REL_NEAR(s.re[i], z.real(), 1e-9) << d.header << " Z' " << s.re[i] << " vs " << z.real();
            EXPECT_REL_NEAR(s.im[i], z.imag(), 1e-9) << d.header << " Z'' " << s.im[i] << " vs " << z.imag();
        }
    }
}

TEST(InstrumentImport, SkipsZeroFrequencyAndMissingValuesAndCountsThem)
{
    const InstrumentFile f = parseInstrumentText("f,Zre,Zim\n0,1,2\n10,1,-2\n20,,-3\n30,4,-5\n", "x.csv");
    ASSERT_EQ(f.spectra.size(), 1u);
    EXPECT_EQ(f.spectra[0].freq, (std::vector<double>{10, 30}));
    EXPECT_EQ(f.spectra[0].rowsSkipped, 2);
    // Without a header: exactly frequency, Z', Z''; a ".z" table that lost
    // its header is read in its own layout (Z' and Z'' in columns 5 and 6).
    const std::string zrow = "1000\t0.01\t0\t2.5\t150\t-12\t0\t0\t3\n";
    EXPECT_EQ(messageOf(zrow, "cut.csv"), "line 1: 3 numbers expected, found 9");
    const InstrumentFile z = parseInstrumentText(zrow + zrow, "cut.z");
    EXPECT_EQ(z.spectra[0].re, (std::vector<double>{150, 150}));
    EXPECT_EQ(z.spectra[0].im, (std::vector<double>{-12, -12}));
}

TEST(InstrumentImport, SeveralSpectraAreOfferedAndTheChoiceIsTaken)
{
    // Two ZCURVE tables (a second sweep) and an EC-Lab file with two cycles.
    const std::string table = "ZCURVE\tTABLE\n\tPt\tFreq\tZreal\tZimag\n\t#\tHz\tohm\tohm\n";
    const std::string gamry = "EXPLAIN\n" + table + "\t0\t100\t1\t-1\n\t1\t10\t2\t-2\n" + table + "\t0\t100\t3\t-3\n";
    const InstrumentFile g = parseInstrumentText(gamry, "two.DTA");
    ASSERT_EQ(g.spectra.size(), 2u);
    EXPECT_EQ(g.spectra[1].re, (std::vector<double>{3}));
    EXPECT_EQ(g.spectra[0].label, "lines 5-6");
    const InstrumentFile ec = parseInstrumentText(
        "freq/Hz\tRe(Z)/Ohm\t-Im(Z)/Ohm\tcycle number\n100\t1\t1\t1\n10\t2\t2\t1\n100\t5\t5\t2\n", "c.mpt");
    ASSERT_EQ(ec.spectra.size(), 2u);
    EXPECT_EQ(ec.spectra[1].im, (std::vector<double>{-5}));

    test::TempWorkDir dir;
    writeAll("two.DTA", gamry);
    ScriptedPrompt prompt;
    ScriptedChooser chooser;
    FitJob job = jobWithModel();
    const FitJob before = job;
    // Cancel in the chooser: nothing changes, nothing is said.
    prompt.files = {"two.DTA", "two.DTA"};
    chooser.answer = std::nullopt;
    EXPECT_FALSE(test::atTheEdge(prompt, [&] { return importInstrument(job, prompt, chooser, {}); }));
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(job.DATA1, before.DATA1);
    chooser.answer = 1;
    int refreshed = 0;
    EXPECT_TRUE(test::atTheEdge(prompt, [&] { return importInstrument(job, prompt, chooser, [&] { ++refreshed; }); }));
    EXPECT_EQ(refreshed, 1);
    EXPECT_EQ(job.M, 1);
    EXPECT_EQ(*job.DATA1, (std::vector<double>{3}));
    EXPECT_EQ(*job.DATA2, (std::vector<double>{-3}));
    EXPECT_EQ(prompt.lastMessage().text, "Gamry DTA: 1 rows read, 0 skipped, 100 Hz to 100 Hz, spectrum 2 of 2");
    EXPECT_EQ(importInstrumentFile("two.DTA", 1).re, (std::vector<double>{3}));
    EXPECT_THROW(importInstrumentFile("two.DTA", 2), exception);
}

TEST(InstrumentImport, FillSetsTheDataFieldsAndKeepsTheModel)
{
    FitJob job = jobWithModel();
    job.IRCH = 0;
    ImportResult r = importInstrumentFile(kSamples + "exampleDataZPlot.z");
    r.fill(job);
    EXPECT_EQ(job.M, 21);
    EXPECT_EQ(job.FREQ->size(), 21u);
    // IRCH 0: weight lines proportional to the data (zeros would leave
    // every value out of the fit); the job's own settings stay.
    EXPECT_EQ(*job.WEIGHT1, *job.DATA1);
    EXPECT_EQ(*job.WEIGHT2, *job.DATA2);
    EXPECT_EQ(job.IRCH, 0);
    EXPECT_EQ(job.MAXFEV, 0);
    EXPECT_EQ(job.FREEQ, 'F');
    EXPECT_EQ(job.DINP, 'Z');
    EXPECT_EQ(job.PINP, 'R');
    EXPECT_EQ(job.NEG, ' ');
    EXPECT_EQ(job.N, 3);
    EXPECT_EQ(job.description, "Imported from exampleDataZPlot.z");
    // The job with its new data survives its own file.
    test::TempWorkDir dir;
    job.save("j.tst");
    FitJob back;
    back.load("j.tst");
    EXPECT_EQ(back.M, 21);
    EXPECT_REL_NEAR((*back.DATA2)[20], -1.3713E+02, 1e-9);
}

// Bad input: a clear reason (naming the line where there is one), the job
// as it was, and never a read without bounds.
TEST(InstrumentImport, BadInputIsRefusedWithItsReasonAndTheJobStays)
{
    struct Case {
        std::string text, message;
    };
    const Case cases[] = {
        {"", "The file is empty."},
        {" \r\n\n", "The file is empty."},
        {"f,Z',Z''\n", "No data rows: text only, up to line 1."},
        {"f,Z',Z''\n1,2,3\n2,3\n", "line 3: 3 numbers expected, found 2"},
        {"1,2,3\n4,5,6\n7,8,6.", "(no failure)"},
        {"1,2,3\n4,5,6\n7,8,6.1e", "line 3: '6.1e' is not a number"},
        {"1,2,3\nx,5,6\n7,8,9\n", "line 2: 'x' is not a number"},
        // A frequency that does not parse: refused on every line, the last one too.
        {"1,2,3\n1e400,8,9\n4,5,6\n", "line 2: '1e400' is not a number"},
        {"1,2,3\n4,5,6\n1e400,8,9\n", "line 3: '1e400' is not a number"},
        {"f,Zre,Zim\n1,2,3\n0x1p3,5,6", "line 3: '0x1p3' is not a number"},
        {"f,Zre,Zim\n1,2,3\n4,5e,6\n7,8,9\n", "line 3: '5e' is not a number"},
        {"f,Zre,Zim\n1,2,3\n-,5,6\n7,8,9\n", "line 3: '-' is not a number"},
        {"f;Z';Z''\n1,5;2,5;-3,5\n", "(no failure)"},  // decimal commas, semicolons between
        {"1,5\t2,5\t-3,5\n", "(no failure)"},
        {"1,5 2,5 -3,5\n2,5 3,5 -4,5\n", "(no failure)"},  // blanks between, commas inside numbers
        {"1,5 2,5 -3,5\n4, 5, 6\n", "line 2: decimal commas with commas between the columns too: ambiguous"},
        {"freq,Zre,Zim\n1,nan,2\n", "line 2: 'nan' is not a measured value"},
        {"1,inf,2\n", "line 1: 'inf' is not a measured value"},
        {"Potential/V, Current/A, Charge/C\n0.1, 2e-6, 1e-7\n",
         "line 1: no frequency and no Z' and Z'' (or |Z| and phase) column; the header names 3: Potential/V, Current/A, "
         "Charge/C (another experiment?)"},
        {"f,Zre,Zim\n0,1,2\n", "No rows with a frequency above 0 (1 rows skipped)."},
        // Line numbers count lines as every reader ends them: CR CR is an
        // empty line (old Mac files), CR CR LF one line end.
        {"f,Z',Z''\r\r1,2,3\r2,3\r", "line 4: 3 numbers expected, found 2"},
        {"f,Z',Z''\r\r\n1,2,3\r\n2,3\r\n", "line 3: 3 numbers expected, found 2"},
        {"1,5 2,5 -3,5\r2,5 3,5 -4,5\r4, 5, 6\r", "line 3: decimal commas with commas between the columns too: ambiguous"},
        // Beyond the doubles: an overflow is no number, an underflow is zero.
        {"f,Zre,Zim\n1,1e-400,2\n", "(no failure)"},
        {"f,Zre,Zim\n1,+-1,2\n", "line 2: '+-1' is not a number"},
        {"f,Zre,Zim\n-5,1,2\n", "line 2: negative frequency"},
        {"f;Zre;Zim\n1;2;3;\n2;3;4;\n", "(no failure)"},  // a separator ending every row
        // Endless lines: never split into millions of fields.
        {"1,2,3\n1" + std::string(3000000, ','), "line 2: more than 1000 columns"},
        {"1,2,3\n" + std::string(400, '1') + std::string(3000000, ' '), "(no failure)"},  // text: too large a number
        {"\n\n1" + std::string(3000000, '\t'), "line 3: 3 numbers expected, found 1"},
        {"\n\n" + [] { std::string s; for (int i = 0; i < 100000; ++i) s += "7 "; return s; }(), "line 3: more than 1000 columns"},
        {std::string("1,2,3\n\0\0\0", 9), "Not a text file (a zero byte at offset 6)."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(messageOf(c.text), c.message) << c.text.substr(0, 60);

    test::TempWorkDir dir;
    writeAll("bad.csv", "f,Zre,Zim\n1,2,3\n2,3\n");
    ::mkfifo("pipe.csv", 0600);
    {
        // 300 MB without writing them: refused from its size alone.
        std::ofstream("huge.csv").put('1');
        std::filesystem::resize_file("huge.csv", std::uintmax_t(300) << 20);
    }
    ScriptedPrompt prompt;
    ScriptedChooser chooser;
    FitJob job = jobWithModel();
    const std::pair<std::string, std::string> files[] = {
        {"bad.csv", "Cannot import bad.csv:\nline 3: 3 numbers expected, found 2"},
        {"pipe.csv", "Cannot import pipe.csv:\nNot a regular file (a folder, device or pipe)."},
        {"/dev/zero", "Cannot import zero:\nNot a regular file (a folder, device or pipe)."},
        {".", "Cannot import .:\nNot a regular file (a folder, device or pipe)."},
        {"huge.csv", "Cannot import huge.csv:\nFile is too large (over 256 MB)."},
        {"missing.csv", "Cannot import missing.csv:\nCannot open file 'missing.csv'!"},
    };
    for (const auto& [file, message] : files) {
        prompt.files = {file};
        EXPECT_FALSE(test::atTheEdge(prompt, [&] {
            return importInstrument(job, prompt, chooser, [] { FAIL() << "refreshed after a failure"; });
        }));
        EXPECT_EQ(prompt.lastMessage().text, message) << file;
        EXPECT_EQ(prompt.lastMessage().caption, "ERROR");
    }
    const FitJob fresh = jobWithModel();
    EXPECT_EQ(job.M, 2);
    EXPECT_EQ(job.FREQ, fresh.FREQ);
    EXPECT_EQ(job.DATA1, fresh.DATA1);
    EXPECT_EQ(job.DATA2, fresh.DATA2);
    EXPECT_EQ(job.description, "my model");
    EXPECT_EQ(job.DINP, 'Y');
    EXPECT_EQ(job.FREEQ, ' ');
    EXPECT_EQ(chooser.calls, 0);
}

TEST(InstrumentImport, TheFileDialogListsEveryFormatAndAllFiles)
{
    test::TempWorkDir dir;
    ScriptedPrompt prompt;
    ScriptedChooser chooser;
    FitJob job;
    prompt.files = {std::nullopt};
    EXPECT_FALSE(test::atTheEdge(prompt, [&] { return importInstrument(job, prompt, chooser, {}); }));
    ASSERT_EQ(prompt.fileDialogs.size(), 1u);
    std::string patterns;
    for (const FileFilter& f : prompt.fileDialogs[0].request.filters)
        patterns += f.pattern + ";";
    for (const char* p : {"*.csv;", "*.txt;", "*.dta;", "*.DTA;", "*.mpt;", "*.z;", "*.Z;", "*.par;"})
        EXPECT_NE(patterns.find(p), std::string::npos) << p;
    EXPECT_EQ(prompt.fileDialogs[0].request.filters.back().description, "All files (*.*)");
}

// A table with decimal commas and semicolons (or tabs) between the columns
// gives the very numbers of the same table written with decimal points.
TEST(InstrumentImport, DecimalCommasAreReadWhereTheSeparatorLeavesNoDoubt)
{
    std::string points = "Freq/Hz;Re(Z)/Ohm;-Im(Z)/Ohm\n", commas = "Freq, Hz;Re(Z)/Ohm;-Im(Z)/Ohm\n",
                tabs = "Freq, Hz\tRe(Z)/Ohm\t-Im(Z)/Ohm\n";
    for (double f : {0.01, 2.5, 1234.5, 1e5}) {
        const std::complex<double> z = rc(f);
        char row[160];
        std::snprintf(row, sizeof row, "%.10g;%.10g;%.10g\n", f, z.real(), -z.imag());
        points += row;
        std::string c = row;
        std::replace(c.begin(), c.end(), '.', ',');
        commas += c;
        std::replace(c.begin(), c.end(), ';', '\t');
        tabs += c;
    }
    const InstrumentFile reference = parseInstrumentText(points, "p.csv");
    for (const std::string& text : {commas, tabs}) {
        const InstrumentFile file = parseInstrumentText(text, "c.csv");
        ASSERT_EQ(file.spectra.size(), 1u);
        EXPECT_TRUE(file.decimalCommas);
        EXPECT_EQ(file.spectra[0].freq, reference.spectra[0].freq);
        EXPECT_EQ(file.spectra[0].re, reference.spectra[0].re);
        EXPECT_EQ(file.spectra[0].im, reference.spectra[0].im);
    }
    EXPECT_FALSE(reference.decimalCommas);
    test::TempWorkDir dir;
    writeAll("c.csv", commas);
    EXPECT_NE(importInstrumentFile("c.csv").summary().find("(decimal commas)"), std::string::npos);
}

// A table whose header lacks a column says which is missing and names the
// columns it found, at the header's line; the window's message names the
// file.
TEST(InstrumentImport, AMissingColumnIsNamedWithTheColumnsFound)
{
    // The EC-Lab sample without its frequency column.
    std::string text = test::readAll(kSamples + "exampleDataBioLogic.mpt");
    std::string cut;
    size_t start = 0;
    int header = 0, number = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        ++number;
        if (line.rfind("freq/Hz\t", 0) == 0)
            header = number;
        if (header && number >= header)
            line = line.substr(line.find('\t') + 1);
        cut += line;
        start = end;
    }
    ASSERT_GT(header, 0);
    const std::string message = messageOf(cut, "nofreq.mpt");
    EXPECT_EQ(message.rfind("line " + std::to_string(header) + ": no frequency column; the header names 17: Re(Z)/Ohm, -Im(Z)/Ohm, |Z|/Ohm,", 0), 0u)
        << message;
    EXPECT_NE(message.find("cycle number"), std::string::npos) << message;
    // Neither frequency nor impedance, in a headerless-looking table.
    EXPECT_EQ(messageOf("time/s,Ewe/V,I/mA,Q/C\n1,2,3,4\n"),
              "line 1: no frequency and no Z' and Z'' (or |Z| and phase) column; the header names 4: time/s, Ewe/V, I/mA, Q/C "
              "(another experiment?)");

    test::TempWorkDir dir;
    writeAll("nofreq.mpt", cut);
    ScriptedPrompt prompt;
    ScriptedChooser chooser;
    FitJob job = jobWithModel();
    prompt.files = {"nofreq.mpt"};
    EXPECT_FALSE(test::atTheEdge(prompt, [&] { return importInstrument(job, prompt, chooser, {}); }));
    EXPECT_EQ(prompt.lastMessage().text.rfind("Cannot import nofreq.mpt:\nline " + std::to_string(header) + ": no frequency column", 0), 0u)
        << prompt.lastMessage().text;
}

// A run stopped before its end is imported, and the summary says the file
// says so.
TEST(InstrumentImport, AnAbortedGamryRunImportsAndSaysSo)
{
    std::string text = test::readAll(kSamples + "exampleDataGamry.DTA");
    const ImportResult whole = selectSpectrum(parseInstrumentText(text, "run.DTA"), "run.DTA", 0);
    EXPECT_EQ(whole.note, "");
    // The table cut after 30 rows, the file's end tag saying why.
    const size_t table = text.find("ZCURVE\tTABLE");
    size_t end = table;
    for (int i = 0; i < 3 + 30; ++i)
        end = text.find('\n', end) + 1;
    text = text.substr(0, end) + "EXPERIMENTABORTED\tTOGGLE\tT\tExperiment Aborted\n";
    const ImportResult cut = selectSpectrum(parseInstrumentText(text, "run.DTA"), "run.DTA", 0);
    EXPECT_EQ(cut.rowsRead, 30);
    EXPECT_EQ(cut.freq, std::vector<double>(whole.freq.begin(), whole.freq.begin() + 30));
    EXPECT_NE(cut.summary().find("\nThe file says the experiment was aborted"), std::string::npos) << cut.summary();
}

// A new job comes out of an import ready to fit, and the message says with
// which settings; a job that was loaded keeps its own.
TEST(InstrumentImport, ANewJobIsReadyToFitAndAnOldOneKeepsItsSettings)
{
    test::TempWorkDir dir;
    ScriptedPrompt prompt;
    ScriptedChooser chooser;
    FitJob fresh;
    prompt.files = {kSamples + "exampleData.csv"};
    ASSERT_TRUE(test::atTheEdge(prompt, [&] { return importInstrument(fresh, prompt, chooser, {}, true); }));
    EXPECT_EQ(fresh.MAXFEV, kImportedMaxfev);
    EXPECT_GE(fresh.MAXFEV, 100);
    EXPECT_EQ(fresh.IRCH, 3);
    EXPECT_FALSE(fresh.hasWeights());
    EXPECT_NE(prompt.lastMessage().text.find("MAXFEV"), std::string::npos);
    EXPECT_NE(prompt.lastMessage().text.find("IRCH 3"), std::string::npos);

    FitJob old = jobWithModel();
    old.MAXFEV = 77;
    prompt.files = {kSamples + "exampleData.csv"};
    ASSERT_TRUE(test::atTheEdge(prompt, [&] { return importInstrument(old, prompt, chooser, {}); }));
    EXPECT_EQ(old.MAXFEV, 77);
    EXPECT_EQ(old.IRCH, 2);
    EXPECT_EQ(prompt.lastMessage().text.find("MAXFEV"), std::string::npos);
}
