#include "SampleJobs.h"
#include "job/FieldCodec.h"
#include "job/FitJob.h"
#include "job/JobFields.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace nosk;
using nosk::test::fullJob;
using nosk::test::readAll;

namespace {

// Where each header field stands in the input file, written out from the
// file layout by hand: line, first column (from 1) and width.
struct Place {
    const char* name;
    int line, first, width;
};
const Place kPlaces[] = {
    {"IOPT", 2, 1, 4},    {"DINP", 2, 7, 1},    {"DFIT", 2, 8, 1},     {"PINP", 2, 9, 1},
    {"PFIT", 2, 10, 1},   {"FREEQ", 2, 11, 1},  {"NEG", 2, 12, 1},     {"FUN", 2, 13, 1},
    {"CELCAP", 2, 14, 10}, {"DATTYP", 2, 24, 1}, {"IPAR", 2, 25, 10},  {"ROE", 2, 35, 10},
    {"IFP", 2, 45, 6},    {"IRE", 2, 51, 6},    {"ECINF", 2, 58, 10},  {"EC0", 2, 70, 10},
    {"M", 3, 1, 5},       {"N", 3, 6, 5},       {"MAXFEV", 3, 11, 5},  {"NPRINT", 3, 16, 5},
    {"IRCH", 3, 21, 5},   {"MODE", 3, 26, 5},   {"ICP", 3, 31, 5},     {"IPRINT", 3, 36, 5},
    {"IGACC", 3, 41, 5},  {"ATEMP", 3, 46, 10}, {"SDWC", 3, 58, 10},   {"SDRC", 3, 70, 10},
};

// Every header member by name, spelled out apart from the table.
std::map<std::string, std::string> headerOf(const FitJob& j)
{
    auto d = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", v);
        return std::string(text);
    };
    auto c = [](char v) { return std::string(1, v); };
    auto i = [](int v) { return std::to_string(v); };
    return {{"IOPT", i(j.IOPT)},     {"DINP", c(j.DINP)},     {"DFIT", c(j.DFIT)},     {"PINP", c(j.PINP)},
            {"PFIT", c(j.PFIT)},     {"FREEQ", c(j.FREEQ)},   {"NEG", c(j.NEG)},       {"FUN", c(j.FUN)},
            {"CELCAP", d(j.CELCAP)}, {"DATTYP", c(j.DATTYP)}, {"IPAR", i(j.IPAR)},     {"ROE", d(j.ROE)},
            {"IFP", i(j.IFP)},       {"IRE", i(j.IRE)},       {"ECINF", d(j.ECINF)},   {"EC0", d(j.EC0)},
            {"M", i(j.M)},           {"N", i(j.N)},           {"MAXFEV", i(j.MAXFEV)}, {"NPRINT", i(j.NPRINT)},
            {"IRCH", i(j.IRCH)},     {"MODE", i(j.MODE)},     {"ICP", i(j.ICP)},       {"IPRINT", i(j.IPRINT)},
            {"IGACC", i(j.IGACC)},   {"ATEMP", d(j.ATEMP)},   {"SDWC", d(j.SDWC)},     {"SDRC", d(j.SDRC)}};
}

// One field of the job changed to another valid value.
void change(FitJob& j, const std::string& name)
{
    for (const auto& [field, member] : std::initializer_list<std::pair<const char*, int FitJob::*>>{
             {"IOPT", &FitJob::IOPT}, {"IPAR", &FitJob::IPAR}, {"IFP", &FitJob::IFP}, {"IRE", &FitJob::IRE},
             {"MAXFEV", &FitJob::MAXFEV}, {"NPRINT", &FitJob::NPRINT}, {"IRCH", &FitJob::IRCH},
             {"MODE", &FitJob::MODE}, {"ICP", &FitJob::ICP}, {"IPRINT", &FitJob::IPRINT},
             {"IGACC", &FitJob::IGACC}})
        if (name == field)
            j.*member += 11;
    for (const auto& [field, member] : std::initializer_list<std::pair<const char*, double FitJob::*>>{
             {"CELCAP", &FitJob::CELCAP}, {"ROE", &FitJob::ROE}, {"ECINF", &FitJob::ECINF},
             {"EC0", &FitJob::EC0}, {"ATEMP", &FitJob::ATEMP}, {"SDWC", &FitJob::SDWC}, {"SDRC", &FitJob::SDRC}})
        if (name == field)
            j.*member *= -3;
    for (const auto& [field, member, code] : std::initializer_list<std::tuple<const char*, char FitJob::*, char>>{
             {"DINP", &FitJob::DINP, 'E'}, {"DFIT", &FitJob::DFIT, 'E'}, {"PINP", &FitJob::PINP, 'R'},
             {"PFIT", &FitJob::PFIT, 'R'}, {"FREEQ", &FitJob::FREEQ, 'F'}, {"NEG", &FitJob::NEG, ' '},
             {"FUN", &FitJob::FUN, 'R'}, {"DATTYP", &FitJob::DATTYP, 'C'}})
        if (name == field)
            j.*member = code;
    if (name == "M")
        j.allocateData(j.M + 1, j.IRCH == 0);
    if (name == "N")
        j.N += 1;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class JobFields : public ::testing::Test {
protected:
    nosk::test::TempWorkDir dir;
};

} // namespace

TEST_F(JobFields, TableNamesEachHeaderFieldOnceWithItsColumns)
{
    std::set<std::string> names;
    for (const JobField& f : kJobFields) {
        EXPECT_TRUE(names.insert(f.name).second) << f.name;
        const auto place = std::find_if(std::begin(kPlaces), std::end(kPlaces),
                                        [&](const Place& p) { return f.name == std::string(p.name); });
        ASSERT_NE(place, std::end(kPlaces)) << f.name;
        EXPECT_EQ(f.line, place->line) << f.name;
        EXPECT_EQ(f.width, place->width) << f.name;
        EXPECT_EQ(findJobField(f.name), &f);
        if (f.codes) {
            EXPECT_EQ(f.codes->entries.size(), f.codes->codes.size()) << f.name;
            EXPECT_TRUE(f.codes->reportTexts.empty() || f.codes->reportTexts.size() == f.codes->codes.size());
        }
    }
    EXPECT_EQ(names.size(), std::size(kPlaces));
    EXPECT_EQ(headerOf(FitJob()).size(), std::size(kPlaces));
    EXPECT_EQ(findJobField("NFREE"), nullptr);
}

// A fault in the table (a wrong member, width or gap) moves a value into the
// wrong columns or back into the wrong member: each field is changed alone,
// and the file must change in its own columns only and read back changed in
// that member only.
TEST_F(JobFields, EachFieldChangesItsOwnColumnsAndMemberOnly)
{
    const FitJob base = fullJob();
    base.save("base.tst");
    const auto baseLines = linesOf(readAll("base.tst"));
    for (const Place& place : kPlaces) {
        SCOPED_TRACE(place.name);
        FitJob changed = base;
        change(changed, place.name);
        changed.save("changed.tst");
        const auto lines = linesOf(readAll("changed.tst"));
        for (int line = 2; line <= 3; ++line) {
            const std::string& before = baseLines[static_cast<std::size_t>(line - 1)];
            const std::string& after = lines[static_cast<std::size_t>(line - 1)];
            ASSERT_EQ(before.size(), after.size());
            for (std::size_t col = 0; col < before.size(); ++col) {
                const bool inside = line == place.line && col + 1 >= static_cast<std::size_t>(place.first)
                                    && col + 1 < static_cast<std::size_t>(place.first + place.width);
                if (!inside) {
                    EXPECT_EQ(before[col], after[col]) << "line " << line << " column " << col + 1;
                }
            }
        }
        EXPECT_NE(baseLines[static_cast<std::size_t>(place.line - 1)],
                  lines[static_cast<std::size_t>(place.line - 1)]);

        FitJob read;
        read.load("changed.tst");
        auto expected = headerOf(base);
        auto got = headerOf(read);
        EXPECT_NE(got[place.name], expected[place.name]);
        got.erase(place.name);
        expected.erase(place.name);
        EXPECT_EQ(got, expected);
    }
}

// Every example job reads and writes back to the same bytes.
TEST_F(JobFields, EveryExampleJobSavesByteIdentical)
{
    int jobs = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(NOSK_SOURCE_DIR "/fittests")) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char ch) { return std::toupper(ch); });
        if (!entry.is_regular_file() || ext != ".TST")
            continue;
        SCOPED_TRACE(entry.path().string());
        FitJob job;
        job.load(entry.path().string());
        job.save("copy.tst");
        EXPECT_EQ(readAll("copy.tst"), readAll(entry.path().string()));
        ++jobs;
    }
    EXPECT_GE(jobs, 50);
}

// The typed readers take only the destination of their kind: a field read
// into the wrong kind of variable no longer compiles.
template <class T>
concept ReadsIntInto = requires(T& t) { readInt(std::string_view{}, 1, t); };
template <class T>
concept ReadsDoubleInto = requires(T& t) { readDouble(std::string_view{}, 1, t); };
static_assert(ReadsIntInto<int> && !ReadsIntInto<double> && !ReadsIntInto<char>);
static_assert(ReadsDoubleInto<double> && !ReadsDoubleInto<int> && !ReadsDoubleInto<float>);
