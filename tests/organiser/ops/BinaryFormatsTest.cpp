// The binary instrument files (.mpr, .ism, .fra) through the one loader, and
// their readers against damaged and hostile files.

#include "ops/InstrumentImport.h"
#include "ops/Spectrum.h"

#include "core/Exception.h"
#include "job/FitJob.h"
#include "results/SolartronFile.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "support/Tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace nosk;
using nosk::test::readAll;
using nosk::test::writeAll;

namespace {

const std::string kData = std::string(NOSK_SOURCE_DIR) + "/tests/data/";
const std::string kMpr = kData + "instruments/exampleDataBioLogic.mpr";

std::string refusal(const std::string& bytes, const std::string& name)
{
    try {
        parseInstrumentFile(bytes, name);
    } catch (const exception& e) {
        return e.what();
    }
    return "(read)";
}

void putLe(std::string& bytes, std::size_t at, std::uint64_t v, int n)
{
    for (int i = 0; i < n; ++i)
        bytes[at + size_t(i)] = char((v >> (8 * i)) & 0xff);
}

// Where the sample's data module and its records are.
struct MprLayout {
    std::size_t module, payload, records;
    static constexpr std::size_t kRecord = 62;  // the sample's 14 columns
    explicit MprLayout(const std::string& bytes)
    {
        module = bytes.find("MODULEVMP data");
        payload = module + 57;  // the older header: 6 + 10 + 25 + 4 + 4 + 8
        records = payload + 0x195;
    }
};

} // namespace

// The binary file and its text export hold the same 43 points: they agree
// to the eight digits the text carries, the technique and date come from
// the file, and the loader gives every consumer the same spectrum.
TEST(EcLabMpr, AgreesWithItsTextTwinAndCarriesTechniqueAndDate)
{
    const InstrumentFile binary = readInstrumentFile(kMpr);
    const InstrumentFile text = readInstrumentFile(kData + "instruments/exampleDataBioLogic.mpt");
    EXPECT_EQ(binary.format, "EC-Lab MPR");
    ASSERT_EQ(binary.spectra.size(), 1u);
    ASSERT_EQ(text.spectra.size(), 1u);
    const ImportedSpectrum &b = binary.spectra[0], &t = text.spectra[0];
    ASSERT_EQ(b.freq.size(), 43u);
    ASSERT_EQ(t.freq.size(), 43u);
    for (size_t i = 0; i < 43; ++i) {
        EXPECT_REL_NEAR(b.freq[i], t.freq[i], 1e-7) << i;
        EXPECT_REL_NEAR(b.re[i], t.re[i], 1e-7) << i;
        EXPECT_REL_NEAR(b.im[i], t.im[i], 1e-7) << i;
    }
    EXPECT_EQ(binary.metadata, (Metadata{{"technique", "PEIS"}, {"date", "02/04/18"}}));

    std::string summary;
    const Spectrum s = loadSpectrum(kMpr, 0, &summary);
    EXPECT_EQ(s.meta("technique"), "PEIS");
    EXPECT_EQ(s.z.size(), 43u);
    EXPECT_EQ(summary.substr(0, summary.find('\n')),
              "EC-Lab MPR: 43 rows read, 0 skipped, 0.0168955 Hz to 1000.32 Hz");
    EXPECT_NE(summary.find("\ntechnique PEIS; date 02/04/18"), std::string::npos) << summary;
    FitJob job;
    selectSpectrum(binary, kMpr, 0).fill(job, true);
    EXPECT_EQ(job.description, "Imported from exampleDataBioLogic.mpr: PEIS; 02/04/18");
}

// A new cycle number in the records starts a spectrum of its own, as it does
// in the text export; the loop module's indexes do the same.
TEST(EcLabMpr, EachCycleOrLoopIsASpectrum)
{
    std::string bytes = readAll(kMpr);
    const MprLayout at(bytes);
    for (size_t i = 20; i < 43; ++i) {
        const double two = 2.0;
        std::memcpy(&bytes[at.records + i * MprLayout::kRecord + 44], &two, 8);
    }
    const InstrumentFile cycles = parseInstrumentFile(bytes, "two.mpr");
    ASSERT_EQ(cycles.spectra.size(), 2u);
    EXPECT_EQ(cycles.spectra[0].freq.size(), 20u);
    EXPECT_EQ(cycles.spectra[1].label, "points 21-43, cycle 2");

    // A loop module after the others (the older header: length, version,
    // date): loops from points 0, 10 and 30.
    std::string loops = readAll(kMpr);
    std::string module = "MODULE" + std::string("VMP loop  ") + std::string(25, ' ') + std::string(8, '\0') + "02/04/18";
    putLe(module, 41, 16, 4);
    std::string payload(16, '\0');
    putLe(payload, 0, 3, 4);
    putLe(payload, 8, 10, 4);
    putLe(payload, 12, 30, 4);
    loops += module + payload;
    const InstrumentFile looped = parseInstrumentFile(loops, "loops.mpr");
    ASSERT_EQ(looped.spectra.size(), 3u);
    EXPECT_EQ(looped.spectra[1].freq.size(), 20u);
    EXPECT_EQ(looped.spectra[2].label, "points 31-43, loop 3");
}

// Every cut of the file, at each module boundary and inside each header, is
// refused naming the file and a byte offset, or (cut after the data) read
// with the same points; never a crash or a read past the end.
TEST(EcLabMpr, TruncatedCopiesAreRefusedOrReadWhole)
{
    const std::string bytes = readAll(kMpr);
    const InstrumentFile whole = parseInstrumentFile(bytes, "cell.mpr");
    std::vector<size_t> cuts = {0x17, 0x34};
    for (size_t at = bytes.find("MODULE"); at != std::string::npos; at = bytes.find("MODULE", at + 1))
        for (size_t d : {size_t(0), size_t(3), size_t(20), size_t(45), size_t(56), size_t(57), size_t(62)})
            cuts.push_back(at + d);
    const MprLayout layout(bytes);
    cuts.push_back(layout.records + 10 * MprLayout::kRecord + 5);  // inside a record
    cuts.push_back(bytes.size() - 1);
    for (size_t cut : cuts) {
        const std::string text = refusal(bytes.substr(0, cut), "cell.mpr");
        if (text == "(read)") {
            EXPECT_GE(cut, layout.records + 43 * MprLayout::kRecord) << cut;
            EXPECT_EQ(parseInstrumentFile(bytes.substr(0, cut), "cell.mpr").spectra[0].re, whole.spectra[0].re);
        } else {
            EXPECT_EQ(text.rfind("cell.mpr, byte ", 0), 0u) << cut << ": " << text;
        }
    }
}

// Headers that claim more than the file holds, column lists of no or too many
// columns, columns, versions and techniques the reader does not know: each a
// refusal that names what and where.
TEST(EcLabMpr, HostileHeadersAreRefusedByName)
{
    const std::string bytes = readAll(kMpr);
    const MprLayout at(bytes);
    auto patched = [&](size_t where, std::uint64_t v, int n) {
        std::string b = bytes;
        putLe(b, where, v, n);
        return refusal(b, "x.mpr");
    };
    const size_t dataFields = at.module + 41;
    EXPECT_EQ(patched(at.payload, 0x80000000u, 4),
              "x.mpr, byte " + std::to_string(at.payload) + ": 2147483648 points of 62 bytes claimed, the module holds 43");
    EXPECT_NE(patched(dataFields, 0xffffffffu, 4).find("claims 4294967295 bytes, past the end of the file"),
              std::string::npos);
    EXPECT_NE(patched(at.payload + 4, 0, 1).find("a data module of no columns"), std::string::npos);
    EXPECT_NE(patched(at.payload + 4, 255, 1).find("255 columns do not fit"), std::string::npos);
    EXPECT_NE(patched(at.payload + 5 + 2 * 5, 999, 2).find("column id 999 of unknown size"), std::string::npos);
    EXPECT_NE(patched(dataFields + 4, 7, 4).find("data module version 7, a layout this reader does not know"),
              std::string::npos);
    EXPECT_NE(patched(0x34 + 57, 0x04, 1).find("technique id 4 (0x04), not an impedance technique (PEIS or GEIS)"),
              std::string::npos);
    // A record whose frequency is not a number.
    const float nan = std::nanf("");
    std::string b = bytes;
    std::memcpy(&b[at.records + 5 * MprLayout::kRecord], &nan, 4);
    EXPECT_EQ(refusal(b, "x.mpr"), "x.mpr, byte " + std::to_string(at.records + 5 * MprLayout::kRecord) +
                                       ": point 6: a value that is not a measured number");
}

// The two ends of the bias series against values decoded once, independently
// of this reader, by a short Python struct script written from the layout
// (big-endian f8 arrays of frequency, |Z| and phase in radians after a
// 12-byte header; Z = |Z| (cos phase + j sin phase)).
TEST(ZahnerIsm, SamplesMatchAnIndependentDecodeAndCarryTheirMetadata)
{
    struct Point {
        double f, re, im;
    };
    const struct {
        const char* file;
        Point first, middle, last;
        const char* potential;
        const char* current;
        const char* temperature;
    } kSamples[] = {
        {"000_mvdc.ism", {100, 8635.4628128548411, -160.2456224200136},
         {7933.6000000000004, 2700.218457528651, -3971.3225171272247},
         {500000, 0.14010197753133571, -91.676614312170287}, "0.0255V, Ampl: 10mV", "-1.825nA", "-0.2+-0.1C"},
        {"300_mvdc.ism", {100, 0.19816114667704909, 0.00030033100259512147},
         {7933.6000000000004, 0.19480897528227523, 0.0017065733149548828},
         {500000, 0.19817021391580833, 0.10091594211676214}, "0.3250V, Ampl: 10mV", "153.5mA", "-0.2+-0.0C"},
    };
    for (const auto& sample : kSamples) {
        const InstrumentFile file = readSpectrumFile(kData + "zahner/" + sample.file);
        EXPECT_EQ(file.format, "Zahner ISM");
        ASSERT_EQ(file.spectra.size(), 1u);
        const ImportedSpectrum& s = file.spectra[0];
        ASSERT_EQ(s.freq.size(), 38u) << sample.file;
        for (auto [i, p] : {std::pair{size_t(0), sample.first}, {size_t(19), sample.middle}, {size_t(37), sample.last}}) {
            EXPECT_REL_NEAR(s.freq[i], p.f, 1e-14) << sample.file << " " << i;
            EXPECT_REL_NEAR(s.re[i], p.re, 1e-12) << sample.file << " " << i;
            EXPECT_REL_NEAR(s.im[i], p.im, 1e-12) << sample.file << " " << i;
        }
        const Spectrum spectrum = spectrumAt(file, 0);
        EXPECT_EQ(spectrum.meta("date"), "2021-10-15");
        EXPECT_EQ(spectrum.meta("potential"), sample.potential);
        EXPECT_EQ(spectrum.meta("current"), sample.current);
        EXPECT_EQ(spectrum.meta("temperature"), sample.temperature);
        EXPECT_EQ(spectrum.meta("comment"), "");
        FitJob job;
        selectSpectrum(file, sample.file, 0).fill(job, true);
        EXPECT_EQ(job.description, std::string("Imported from ") + sample.file + ": 2021-10-15; " + sample.potential +
                                       "; " + sample.temperature);
    }
}

namespace {

// An .ism file of our own: the points as given, then the strings.
std::string ismFile(const std::vector<double>& f, std::uint64_t claimed = 0)
{
    std::string b(12, '\0');
    const std::uint64_t count = claimed ? claimed : f.size() - 1;
    for (int i = 0; i < 6; ++i)
        b[size_t(6 + i)] = char((count >> (8 * (5 - i))) & 0xff);
    auto f8 = [&](double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, 8);
        for (int i = 7; i >= 0; --i)
            b += char((bits >> (8 * i)) & 0xff);
    };
    for (double v : f)
        f8(v);
    for (double v : f)
        f8(v / 10);  // |Z|
    for (size_t i = 0; i < f.size(); ++i)
        f8(-0.5);  // phase
    for (size_t i = 0; i < f.size(); ++i)
        f8(1.3e9 + double(i));
    b += std::string(2 * f.size(), '\x03');
    for (const char* text : {"010203", "iM6", "0.5v"}) {
        b += char(0);
        b += char(std::strlen(text));
        b += text;
    }
    return b;
}

} // namespace

// A sweep that starts in the middle, goes up, turns and goes down: the
// points before the turn were measured again on the way down and are left
// out; the rest comes from the lowest frequency up, as the vendor's reader
// gives it.
TEST(ZahnerIsm, ThePointsMeasuredTwiceAtTheStartAreDropped)
{
    const InstrumentFile file = parseInstrumentFile(ismFile({100, 200, 400, 800, 400, 200, 100, 50, 25}), "s.ism");
    ASSERT_EQ(file.spectra.size(), 1u);
    EXPECT_EQ(file.spectra[0].freq, (std::vector<double>{25, 50, 100, 200, 400, 800}));
    EXPECT_REL_NEAR(file.spectra[0].re[0], 2.5 * std::cos(-0.5), 1e-15);
    EXPECT_REL_NEAR(file.spectra[0].im[0], 2.5 * std::sin(-0.5), 1e-15);
    EXPECT_EQ(file.metadata, (Metadata{{"date", "2003-02-01"}, {"system", "Im6"}, {"potential", "0.5V"}}));
}

// A count that claims more points than the file holds is refused before
// anything is allocated; a file cut anywhere is refused with its name and
// the offset, or read with the strings it still has.
TEST(ZahnerIsm, HostileAndTruncatedFilesAreRefusedWithNameAndOffset)
{
    EXPECT_EQ(refusal(ismFile({1, 2, 3}, std::uint64_t(1) << 31), "h.ism"),
              "h.ism, byte 6: 2147483649 points claimed, the file has room for 3");
    EXPECT_EQ(refusal(ismFile({1, 2, 3}, (std::uint64_t(1) << 48) - 1), "h.ism"), "h.ism, byte 6: a negative point count");
    const std::string bytes = readAll(kData + "zahner/000_mvdc.ism");
    for (size_t cut = 0; cut < bytes.size(); cut += 7) {
        const std::string text = refusal(bytes.substr(0, cut), "t.ism");
        if (cut <= 12 + 38 * 34 + 2)
            EXPECT_EQ(text.rfind("t.ism, byte ", 0), 0u) << cut << ": " << text;
        else
            EXPECT_TRUE(text == "(read)" || text.rfind("t.ism, byte ", 0) == 0) << cut << ": " << text;
    }
    std::string nan = ismFile({1, 2, 3});
    std::memset(&nan[12 + 8], 0xff, 8);
    EXPECT_EQ(refusal(nan, "n.ism"), "n.ism, byte 20: point 2: not a measured value");
}

// The organiser's own Solartron file goes through the same loader: each
// block a spectrum.
TEST(SpectrumLoader, ReadsSolartronFilesAndJobs)
{
    test::TempWorkDir dir;
    const double f[] = {10, 100, 1000}, re[] = {5, 4, 3}, im[] = {-1, -2, -3};
    writeSolartronPoints("cell.fra", f, re, im, 3);
    const Spectrum fra = loadSpectrum("cell.fra");
    EXPECT_EQ(fra.frequencyHz, (std::vector<double>{10, 100, 1000}));
    EXPECT_EQ(fra.z[2], std::complex<double>(3, -3));
    EXPECT_EQ(readSpectrumFile("cell.fra").format, "Solartron FRA");

    // A job: its data lines as Z in Hz, whatever form they are written in.
    FitJob job;
    ImportResult r;
    r.file = "cell.fra";
    r.freq = {10, 100};
    r.re = {5, 4};
    r.im = {-1, -2};
    r.fill(job, true);
    job.save("cell.tst");
    const InstrumentFile read = readSpectrumFile("cell.tst");
    EXPECT_EQ(read.format, "job");
    EXPECT_EQ(read.spectra[0].label, "Imported from cell.fra");
    const Spectrum s = spectrumAt(read, 0);
    EXPECT_EQ(s.z[1], std::complex<double>(4, -2));
    EXPECT_THROW(spectrumAt(read, 1), exception);
}
