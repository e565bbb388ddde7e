#include "ops/DataSheetImport.h"

#include "TextUtil.h"
#include "core/Exception.h"
#include "core/LineReader.h"
#include "core/NumberText.h"
#include "core/Prompt.h"
#include "job/FitJob.h"
#include "core/RegularFile.h"

#include <sstream>
#include <string>

namespace nosk {

using lines::nextLine;
using opsdetail::splitFields;

namespace {

const char* const kWrongSheet = "Wrong data sheet file!";

bool blankOnly(const std::string& line)
{
    return line.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Takes the first `count` fields of a line as numbers.
void takeNumbers(const std::string& line, int count, double* out)
{
    auto fields = splitFields(line);
    if (static_cast<int>(fields.size()) < count)
        throw exception("%s", kWrongSheet);
    for (int i = 0; i < count; ++i) {
        auto value = readNumber(fields[static_cast<size_t>(i)], kSheetField);
        if (!value)
            throw exception("%s", kWrongSheet);
        out[i] = *value;
    }
}

// A sheet is read whole before anything is taken from it; a data sheet of
// the largest job is a few megabytes.
constexpr std::size_t kMaxSheet = 256u << 20;

std::istringstream openSheet(const std::string& path)
{
    auto bytes = readRegularFile(path, kMaxSheet);
    if (!bytes)
        throw exception("Cannot open file '%s'!", path.c_str());
    return std::istringstream(std::move(*bytes));
}

FileRequest asciiFileRequest()
{
    FileRequest request;
    request.filters = {{"All files (*.*)", "*.*"}};
    return request;
}

} // namespace

SheetRows readDataSheet(std::istream& in)
{
    // Lines are read whole: instrument exports often carry lines far longer
    // than a hundred characters.
    std::optional<std::string> line;
    do {
        line = nextLine(in);
        if (!line)
            throw exception("Wrong data sheet file!\nNo data lines found.");
    } while (line->empty());

    // The block: the first non-empty line (even one of blanks, which then
    // fails as a line without numbers) and every line up to a blank one.
    SheetRows rows;
    for (;;) {
        double values[3];
        takeNumbers(*line, 3, values);
        rows.freq.push_back(values[0]);
        rows.data1.push_back(values[1]);
        rows.data2.push_back(values[2]);
        line = nextLine(in);
        if (!line || blankOnly(*line))
            break;
    }
    return rows;
}

WeightRows readWeights(std::istream& in, int rows)
{
    std::vector<std::string> lines;
    while (auto line = nextLine(in)) {
        lines.push_back(std::move(*line));
        if (static_cast<long long>(lines.size()) > rows)
            break;
    }
    if (rows < 0 || static_cast<long long>(lines.size()) != rows)
        throw exception("File has wrong number of strings!");

    WeightRows weights;
    weights.weight1.reserve(lines.size());
    weights.weight2.reserve(lines.size());
    for (const auto& line : lines) {
        double values[2];
        takeNumbers(line, 2, values);
        weights.weight1.push_back(values[0]);
        weights.weight2.push_back(values[1]);
    }
    return weights;
}

bool importDataSheet(FitJob& job, Prompt& prompt, const RefreshPages& refresh)
{
    auto path = prompt.openFile(asciiFileRequest());
    if (!path)
        return false;

    // The sheet is read in full before the job is touched, so a bad line
    // never costs the user the data he had.
    std::istringstream in = openSheet(*path);
    SheetRows rows = readDataSheet(in);

    const int count = static_cast<int>(rows.freq.size());
    job.releaseData();
    job.allocateData(count, job.IRCH == 0);
    *job.FREQ = std::move(rows.freq);
    *job.DATA1 = std::move(rows.data1);
    *job.DATA2 = std::move(rows.data2);
    if (refresh)
        refresh();
    return true;
}

bool importWeights(FitJob& job, Prompt& prompt, const RefreshPages& refresh)
{
    if (job.IRCH != 0) {
        Answer a = prompt.message("IRCH parameter must be zero.\nSet IRCH to zero and continue?", "NOSKRUN",
                                  Buttons::YesNo, Icon::Question);
        if (a != Answer::Yes)
            return false;
    }

    auto path = prompt.openFile(asciiFileRequest());
    if (!path)
        return false;

    std::istringstream in = openSheet(*path);
    WeightRows weights = readWeights(in, job.M);

    job.releaseWeights();
    job.WEIGHT1 = std::move(weights.weight1);
    job.WEIGHT2 = std::move(weights.weight2);
    job.IRCH = 0;
    if (refresh)
        refresh();
    return true;
}

} // namespace nosk
