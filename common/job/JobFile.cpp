// The engine's input file (INFL, test files, templates, OUTIN): reader and
// writer of FitJob.
//
// Parameter limits follow the last data (or weight) line as a section of
// their own, which readers without limits never reach (they stop after the
// rows and ignore whatever follows):
//
//   LIMITS    2
//       3     5.0000000000000D-01     1.0000000000000D+00
//       7                             1.0000000000000D-03
//
// "LIMITS" with the number of limit lines in the next five columns, then one
// line per limited parameter: its number (1-N) in five columns, five blanks,
// the lower limit as D20.13, five blanks, the upper limit as D20.13. A blank
// field (or the end of the line) means no limit on that side. A job without
// limits writes no section, so its file is the same as before limits existed.

#include "job/FitJob.h"

#include "core/Exception.h"
#include "core/AtomicFileWriter.h"
#include "job/FieldCodec.h"
#include "job/JobFields.h"

#include <algorithm>
#include <cctype>

namespace nosk {

namespace {

constexpr char kCorrupted[] = "Corrupted NUSK input file!";
constexpr char kNoDataLines[] = "Corrupted NUSK input file! Data lines not found!";
constexpr char kNoWeightLines[] = "Corrupted NUSK input file! Weight lines not found!";
constexpr char kWrongParameterCount[] = "Corrupted NUSK input file! Wrong number of parameters.";
constexpr char kNoLimitLines[] = "Corrupted NUSK input file! Limit lines not found!";
constexpr char kLimitsMarker[] = "LIMITS";

constexpr std::size_t kDescriptionKept = 80;
constexpr std::size_t kParameterBlock = 750;  // 50 values of 15 columns
// Arrays grow as data lines arrive; a count in the file reserves no more than this.
constexpr std::size_t kReserveLimit = 1 << 16;

// The next line; `endMessage` when an earlier read already met the end of the
// file (a last line without terminator).
std::string_view nextLine(LineFile& file, const char* endMessage)
{
    if (file.metEnd())
        throw exception("%s", endMessage);
    return *readLine(file, true);
}

// The fields of header line `lineNumber` before its optional ones, in the
// table's order. N goes into `count` and is taken only once known to fit the
// 50 parameters, so that a bad count never leaves the job pointing past its
// parameter arrays.
std::string_view readFields(FitJob& job, std::string_view line, int lineNumber, int& count)
{
    for (const JobField& f : kJobFields) {
        if (f.line != lineNumber || f.optional)
            continue;
        line = skipColumns(line, f.gap);
        switch (f.kind) {
        case FieldKind::Int:
            line = readInt(line, f.width, f.intMember == &FitJob::N ? count : f.intIn(job), f.messageName());
            break;
        case FieldKind::Double:
            line = readDoubleOr(line, f.width, f.doubleIn(job), f.messageName(), f.blankValue);
            break;
        case FieldKind::Code:
            line = readChars(line, f.width, &f.codeIn(job));
            break;
        }
    }
    return line;
}

// The optional doubles at the end of a header line: 0 unless the line goes
// on; a bad value is ignored and leaves those after it at 0.
void readOptionalFields(FitJob& job, std::string_view rest, int lineNumber)
{
    for (const JobField& f : kJobFields)
        if (f.line == lineNumber && f.optional)
            f.doubleIn(job) = 0;
    if (rest.empty())
        return;
    try {
        for (const JobField& f : kJobFields)
            if (f.line == lineNumber && f.optional)
                rest = readDouble(skipColumns(rest, f.gap), f.width, f.doubleIn(job), f.messageName());
    } catch (const exception&) {
    }
}

// Lines 1-3, the parameter lines and the free-code line.
void readHeader(FitJob& job, LineFile& file)
{
    std::string_view line = nextLine(file, kCorrupted);
    job.description.assign(line.substr(0, kDescriptionKept));

    int count = 0;
    line = nextLine(file, kCorrupted);
    readOptionalFields(job, readFields(job, line, 2, count), 2);

    line = nextLine(file, kCorrupted);
    line = readFields(job, line, 3, count);
    job.mNegative = 0;
    if (job.M < 0) {
        job.M = -job.M;
        job.CELCAP = FitJob::kDefaultCelcap;
        job.mNegative = 1;
    }
    readOptionalFields(job, line, 3);
    if (count < 0 || count > FitJob::kMaxParams)
        throw exception("%s", kWrongParameterCount);
    job.N = count;

    // The values run on from line to line, 15 columns each.
    std::string block;
    for (int i = 0; i < (job.N + 4) / 5; ++i) {
        line = nextLine(file, kCorrupted);
        auto end = line.find_last_not_of(' ');
        line = line.substr(0, end == std::string_view::npos ? 0 : end + 1);
        block.append(line.substr(0, kParameterBlock - std::min(block.size(), kParameterBlock)));
    }
    std::string_view values = block;
    for (int i = 0; i < job.N; ++i)
        values = readDouble(values, 15, job.P[i], FieldName("P", i));
    // Limits come only from this file's own section.
    std::fill(std::begin(job.LOWER), std::end(job.LOWER), FitJob::kNoLower);
    std::fill(std::begin(job.UPPER), std::end(job.UPPER), FitJob::kNoUpper);

    line = nextLine(file, kCorrupted);
    for (int i = 0; i < job.N; ++i)
        line = readInt(line, 1, job.NFREE[i], FieldName("NFREE", i));
}

// A data or weight line: the row number in five columns, then D20.13
// values, each after its blank columns.
struct RowValue {
    FitJob::Column FitJob::*column;
    int gap;
    const char* name;
};
const RowValue kDataRow[] = {{&FitJob::FREQ, 5, "FREEQ"}, {&FitJob::DATA1, 5, "DATA1"}, {&FitJob::DATA2, 5, "DATA2"}};
const RowValue kWeightRow[] = {{&FitJob::WEIGHT1, 30, "WEIGHT1"}, {&FitJob::WEIGHT2, 5, "WEIGHT2"}};
constexpr int kRowNumberWidth = 5;

template <std::size_t n>
void readRows(FitJob& job, LineFile& file, const RowValue (&row)[n], const char* endMessage)
{
    const auto reserve = std::min(static_cast<std::size_t>(job.M), kReserveLimit);
    for (const RowValue& v : row)
        (job.*v.column).emplace().reserve(reserve);
    for (int i = 0; i < job.M; ++i) {
        std::string_view line = skipColumns(nextLine(file, endMessage), kRowNumberWidth);
        double values[n] = {};
        for (std::size_t k = 0; k < n; ++k)
            line = readDouble(skipColumns(line, row[k].gap), 20, values[k], FieldName(row[k].name, i));
        for (std::size_t k = 0; k < n; ++k)
            (job.*row[k].column)->push_back(values[k]);
    }
}

void readDataLines(FitJob& job, LineFile& file)
{
    const int count = job.M;
    job.releaseData();
    job.M = count;
    if (count <= 0)
        return;
    readRows(job, file, kDataRow, kNoDataLines);
    if (job.IRCH == 0)
        readRows(job, file, kWeightRow, kNoWeightLines);
}

// The limits section after the rows, when the file has one. Anything else
// after the rows is ignored, as readers without limits ignore the section.
void readLimits(FitJob& job, LineFile& file)
{
    if (file.metEnd())
        return;
    const std::optional<std::string_view> first = readLine(file, false);
    // The marker in any case: "limits" typed by hand is the section too,
    // never text passed over while the fit runs without its limits.
    const std::size_t marker = std::size(kLimitsMarker) - 1;
    if (!first || first->size() < marker
        || !std::equal(kLimitsMarker, kLimitsMarker + marker, first->begin(),
               [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); }))
        return;
    int count = 0;
    readInt(first->substr(std::size(kLimitsMarker) - 1), 5, count, "LIMITS");
    if (count < 0 || count > FitJob::kMaxParams)
        throw exception("Corrupted NUSK input file! %i limit lines.", count);
    bool seen[FitJob::kMaxParams] = {};
    for (int k = 0; k < count; ++k) {
        const std::optional<std::string_view> next = file.metEnd() ? std::nullopt : readLine(file, false);
        if (!next)
            throw exception("%s", kNoLimitLines);
        std::string_view line = *next;
        int number = 0;
        line = readInt(line, kRowNumberWidth, number, "LIMITS");
        if (number < 1 || number > job.N)
            throw exception("Corrupted NUSK input file! Limits of P%i, but the job has %i parameters.", number,
                job.N);
        const int i = number - 1;
        if (seen[i])
            throw exception("Corrupted NUSK input file! Two limit lines for P%i.", number);
        seen[i] = true;
        double lower = FitJob::kNoLower, upper = FitJob::kNoUpper;
        line = readDoubleOr(skipColumns(line, 5), 20, lower, FieldName("LOWER", number), FitJob::kNoLower);
        readDoubleOr(skipColumns(line, 5), 20, upper, FieldName("UPPER", number), FitJob::kNoUpper);
        job.LOWER[i] = lower;
        job.UPPER[i] = upper;
    }
}

// Passes over the data and weight lines without reading them; false when the
// file ends first (a template may stop after its free-code line).
bool skipRows(const FitJob& job, LineFile& file)
{
    const long long rows = job.M <= 0 ? 0 : static_cast<long long>(job.M) * (job.IRCH == 0 ? 2 : 1);
    for (long long r = 0; r < rows; ++r)
        if (file.metEnd() || !readLine(file, false))
            return false;
    return true;
}

// After a failed read the header fields keep what was read, but the data rows
// are kept only when complete: an array always holds exactly M values.
void keepArraysWhole(FitJob& job)
{
    const auto size = static_cast<std::size_t>(std::max(job.M, 0));
    auto whole = [size](const FitJob::Column& c) { return c && c->size() == size; };
    auto fits = [size](const FitJob::Column& c) { return !c || c->size() == size; };
    bool dataWhole = job.M == 0 ? (fits(job.FREQ) && fits(job.DATA1) && fits(job.DATA2))
                                : (whole(job.FREQ) && whole(job.DATA1) && whole(job.DATA2));
    if (!dataWhole)
        job.releaseData();
    else if (!fits(job.WEIGHT1) || !fits(job.WEIGHT2) || job.WEIGHT1.has_value() != job.WEIGHT2.has_value())
        job.releaseWeights();
}

// The engine's fields are fixed columns: a value printed wider than its field
// would shift every field after it and the reader would take wrong numbers
// without a word. A count with as many digits as its field gives up the blank
// kept for its sign; one that still does not fit stops the save.
void putInt(std::string& s, int value, int width, FieldName name)
{
    const std::size_t start = s.size();
    const auto columns = static_cast<std::size_t>(std::max(width, 1));
    writeInt(s, value, width);
    if (s.size() - start > columns && s[start] == ' ')
        s.erase(start, 1);
    if (s.size() - start > columns) {
        s.resize(start);
        // The field holds `columns` digits, a negative value one fewer.
        long long largest = 1;
        for (std::size_t k = 0; k < columns && largest < 1000000000LL; ++k)
            largest *= 10;
        --largest;
        const long long smallest = -(largest / 10);
        if (value > 0)
            throw exception("%s does not fit its field in the input file: %d is above %lld!", name.text().c_str(),
                value, largest);
        throw exception("%s does not fit its field in the input file: %d is below %lld!", name.text().c_str(), value,
            smallest);
    }
}

// A three-digit exponent (beyond 1e+99 or below 1e-99) makes a D field one
// column wider: it gives up the blank of its sign, or a negative value one
// digit of its mantissa.
void putD(std::string& s, double value, int width, int digits)
{
    const std::size_t start = s.size();
    const auto columns = static_cast<std::size_t>(width);
    for (int p = digits;; --p) {
        s.resize(start);
        writeD(s, value, width, p);
        if (s.size() - start > columns && s[start] == ' ')
            s.erase(start, 1);
        if (s.size() - start <= columns || p <= 1)
            return;
    }
}

// Header line `lineNumber` in the table's order; its optional fields only
// when one of them is not 0.
void writeFields(std::string& s, const FitJob& job, int lineNumber)
{
    bool optional = false;
    for (const JobField& f : kJobFields)
        optional = optional || (f.line == lineNumber && f.optional && f.doubleIn(job) != 0);
    for (const JobField& f : kJobFields) {
        if (f.line != lineNumber || (f.optional && !optional))
            continue;
        writeChars(s, ' ', f.gap);
        switch (f.kind) {
        case FieldKind::Int: {
            const bool negativeCount = f.intMember == &FitJob::M && job.mNegative == 1;
            putInt(s, negativeCount ? -job.M : f.intIn(job), f.width, f.messageName());
            break;
        }
        case FieldKind::Double:
            putD(s, f.doubleIn(job), f.width, f.digits);
            break;
        case FieldKind::Code:
            s.push_back(f.codeIn(job));
            break;
        }
    }
}

void endLine(AtomicFileWriter& out)
{
    out.buffer().append("\r\n");
    if (out.buffer().size() >= (1u << 20))
        out.flush();
}

template <std::size_t n>
void writeRows(AtomicFileWriter& out, const FitJob& job, const RowValue (&row)[n])
{
    std::string& s = out.buffer();
    for (int i = 0; i < job.M; ++i) {
        putInt(s, i + 1, kRowNumberWidth, "M");
        for (const RowValue& v : row) {
            writeChars(s, ' ', v.gap);
            putD(s, valueAt(job.*v.column, i), 20, 13);
        }
        endLine(out);
    }
}

void writeLimits(AtomicFileWriter& out, const FitJob& job)
{
    int count = 0;
    for (int i = 0; i < job.N; ++i)
        count += job.hasLimit(i) ? 1 : 0;
    if (count == 0)
        return;
    std::string& s = out.buffer();
    s += kLimitsMarker;
    putInt(s, count, 5, "LIMITS");
    endLine(out);
    for (int i = 0; i < job.N; ++i) {
        if (!job.hasLimit(i))
            continue;
        putInt(s, i + 1, kRowNumberWidth, "LIMITS");
        const bool lower = job.LOWER[i] != FitJob::kNoLower, upper = job.UPPER[i] != FitJob::kNoUpper;
        writeChars(s, ' ', 5);
        if (lower)
            putD(s, job.LOWER[i], 20, 13);
        else if (upper)
            writeChars(s, ' ', 20);
        if (upper) {
            writeChars(s, ' ', 5);
            putD(s, job.UPPER[i], 20, 13);
        }
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        endLine(out);
    }
}

} // namespace

void FitJob::load(const std::string& path)
{
    LineFile file(path);
    try {
        readHeader(*this, file);
        readDataLines(*this, file);
        readLimits(*this, file);
    } catch (...) {
        keepArraysWhole(*this);
        throw;
    }
}

void FitJob::loadHeader(const std::string& path)
{
    LineFile file(path);
    try {
        readHeader(*this, file);
        if (skipRows(*this, file))
            readLimits(*this, file);
    } catch (...) {
        keepArraysWhole(*this);
        throw;
    }
    // A template carries no data rows.
    releaseData();
}

void FitJob::save(const std::string& path, AtomicFileWriter::Links links,
    AtomicFileWriter::Durability durability) const
{
    if (N < 0 || N > kMaxParams)
        throw exception("Wrong parameters number!");
    AtomicFileWriter out(path, links, durability);
    std::string& s = out.buffer();
    // About a line of 100 characters per data and weight row; the buffer is
    // written out at 1 MB (endLine), so it never needs more than 2 MB.
    s.reserve(std::min<std::size_t>(1024 + 200 * static_cast<std::size_t>(std::max(M, 0)), 1u << 21));

    // A line break inside the description would shift every following line.
    std::string text = description;
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    s += text;
    endLine(out);

    writeFields(s, *this, 2);
    endLine(out);
    writeFields(s, *this, 3);
    endLine(out);

    for (int i = 0; i < N; ++i) {
        if (i > 0 && i % 5 == 0)
            endLine(out);
        putD(s, P[i], 15, 8);
    }
    if (N > 0)
        endLine(out);

    for (int i = 0; i < N; ++i)
        putInt(s, NFREE[i], 1, FieldName("NFREE", i));
    endLine(out);

    writeRows(out, *this, kDataRow);
    if (IRCH == 0 && WEIGHT1 && WEIGHT2)
        writeRows(out, *this, kWeightRow);
    writeLimits(out, *this);
    out.commit();
}

} // namespace nosk
