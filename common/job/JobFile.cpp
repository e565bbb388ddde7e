// The engine's input file (INFL, test files, templates, OUTIN): reader and
// writer of FitJob.

#include "job/FitJob.h"

#include "core/Exception.h"
#include "job/AtomicFileWriter.h"
#include "job/FieldCodec.h"

#include <algorithm>

namespace nosk {

namespace {

constexpr char kCorrupted[] = "Corrupted NUSK input file!";
constexpr char kNoDataLines[] = "Corrupted NUSK input file! Data lines not found!";
constexpr char kNoWeightLines[] = "Corrupted NUSK input file! Weight lines not found!";
constexpr char kWrongParameterCount[] = "Corrupted NUSK input file! Wrong number of parameters.";

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

// The optional fields at the end of lines 2 and 3: a bad value is ignored and
// leaves the rest of the pair at 0.
void readOptionalPair(std::string_view rest, int gap, double& first, const char* firstName,
                      double& second, const char* secondName)
{
    try {
        rest = readField(rest, 'x', gap, nullptr);
        rest = readField(rest, 'd', 10, &first, firstName);
        rest = readField(rest, 'x', 2, nullptr);
        readField(rest, 'd', 10, &second, secondName);
    } catch (const exception&) {
    }
}

// Lines 1-3, the parameter lines and the free-code line.
void readHeader(FitJob& job, LineFile& file)
{
    std::string_view line = nextLine(file, kCorrupted);
    job.description.assign(line.substr(0, kDescriptionKept));

    line = nextLine(file, kCorrupted);
    line = readField(line, 'i', 4, &job.IOPT, "IOPT");
    line = readField(line, 'x', 2, nullptr);
    line = readField(line, 'a', 1, &job.DINP, "DINP");
    line = readField(line, 'a', 1, &job.DFIT, "DFIT");
    line = readField(line, 'a', 1, &job.PINP, "PINP");
    line = readField(line, 'a', 1, &job.PFIT, "PFIT");
    line = readField(line, 'a', 1, &job.FREEQ, "FREEQ");
    line = readField(line, 'a', 1, &job.NEG, "NEG");
    line = readField(line, 'a', 1, &job.FUN, "FUN");
    line = readDoubleOr(line, 10, job.CELCAP, "CELCAP", 1.0);
    line = readField(line, 'a', 1, &job.DATTYP, "DATTYP");
    line = readField(line, 'i', 10, &job.IPAR, "IPAR");
    line = readField(line, 'd', 10, &job.ROE, "ROE");
    line = readField(line, 'i', 6, &job.IFP, "IFP");
    line = readField(line, 'i', 6, &job.IRE, "IRE");
    job.ECINF = 0;
    job.EC0 = 0;
    // The writer's columns: one blank after IRE, ECINF in 58-67, EC0 in 70-79.
    if (!line.empty())
        readOptionalPair(line, 1, job.ECINF, "ECINF", job.EC0, "EC0");

    // N is taken only once known to fit the 50 parameters, so that a bad
    // count never leaves the job pointing past its parameter arrays.
    int count = 0;
    line = nextLine(file, kCorrupted);
    line = readField(line, 'i', 5, &job.M, "M");
    line = readField(line, 'i', 5, &count, "N");
    line = readField(line, 'i', 5, &job.MAXFEV, "MAXFEV");
    line = readField(line, 'i', 5, &job.NPRINT, "NPRINT");
    line = readField(line, 'i', 5, &job.IRCH, "IRCH");
    line = readField(line, 'i', 5, &job.MODE, "MODE");
    line = readField(line, 'i', 5, &job.ICP, "ICP");
    line = readField(line, 'i', 5, &job.IPRINT, "IPRINT");
    line = readField(line, 'i', 5, &job.IGACC, "GACC");
    line = readField(line, 'd', 10, &job.ATEMP, "ATEMP");
    job.mNegative = 0;
    if (job.M < 0) {
        job.M = -job.M;
        job.CELCAP = FitJob::kDefaultCelcap;
        job.mNegative = 1;
    }
    job.SDWC = 0;
    job.SDRC = 0;
    if (!line.empty())
        readOptionalPair(line, 2, job.SDWC, "SDWC", job.SDRC, "SDRC");
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
        values = readField(values, 'd', 15, &job.P[i], FieldName("P", i));

    line = nextLine(file, kCorrupted);
    for (int i = 0; i < job.N; ++i)
        line = readField(line, 'i', 1, &job.NFREE[i], FieldName("NFREE", i));
}

void readDataLines(FitJob& job, LineFile& file)
{
    const int count = job.M;
    job.releaseData();
    job.M = count;
    if (count <= 0)
        return;

    const auto reserve = std::min(static_cast<std::size_t>(count), kReserveLimit);
    auto& freq = job.FREQ.emplace();
    auto& data1 = job.DATA1.emplace();
    auto& data2 = job.DATA2.emplace();
    freq.reserve(reserve);
    data1.reserve(reserve);
    data2.reserve(reserve);
    for (int i = 0; i < count; ++i) {
        std::string_view line = nextLine(file, kNoDataLines);
        double f = 0, d1 = 0, d2 = 0;
        line = readField(line, 'x', 10, nullptr);
        line = readDoubleOr(line, 20, f, FieldName("FREEQ", i), 0.0);
        line = readField(line, 'x', 5, nullptr);
        line = readDoubleOr(line, 20, d1, FieldName("DATA1", i), 0.0);
        line = readField(line, 'x', 5, nullptr);
        readDoubleOr(line, 20, d2, FieldName("DATA2", i), 0.0);
        freq.push_back(f);
        data1.push_back(d1);
        data2.push_back(d2);
    }

    if (job.IRCH != 0)
        return;
    auto& weight1 = job.WEIGHT1.emplace();
    auto& weight2 = job.WEIGHT2.emplace();
    weight1.reserve(reserve);
    weight2.reserve(reserve);
    for (int i = 0; i < count; ++i) {
        std::string_view line = nextLine(file, kNoWeightLines);
        double w1 = 0, w2 = 0;
        line = readField(line, 'x', 35, nullptr);
        line = readDoubleOr(line, 20, w1, FieldName("WEIGHT1", i), 0.0);
        line = readField(line, 'x', 5, nullptr);
        readDoubleOr(line, 20, w2, FieldName("WEIGHT2", i), 0.0);
        weight1.push_back(w1);
        weight2.push_back(w2);
    }
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
        throw exception("%s does not fit its field in the input file!", name.text().c_str());
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

void endLine(AtomicFileWriter& out)
{
    out.buffer().append("\r\n");
    if (out.buffer().size() >= (1u << 20))
        out.flush();
}

} // namespace

void FitJob::load(const std::string& path)
{
    LineFile file(path);
    try {
        readHeader(*this, file);
        readDataLines(*this, file);
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
    } catch (...) {
        keepArraysWhole(*this);
        throw;
    }
    // A template carries no data rows.
    releaseData();
}

void FitJob::save(const std::string& path, AtomicFileWriter::Links links) const
{
    if (N < 0 || N > kMaxParams)
        throw exception("Wrong parameters number!");
    AtomicFileWriter out(path, links);
    std::string& s = out.buffer();
    s.reserve(1u << 21);

    // A line break inside the description would shift every following line.
    std::string text = description;
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    s += text;
    endLine(out);

    putInt(s, IOPT, 4, "IOPT");
    writeChars(s, ' ', 2);
    for (char code : {DINP, DFIT, PINP, PFIT, FREEQ, NEG, FUN})
        s.push_back(code);
    putD(s, CELCAP, 10, 4);
    s.push_back(DATTYP);
    putInt(s, IPAR, 10, "IPAR");
    putD(s, ROE, 10, 4);
    putInt(s, IFP, 6, "IFP");
    putInt(s, IRE, 6, "IRE");
    if (ECINF != 0 || EC0 != 0) {
        writeChars(s, ' ', 1);
        putD(s, ECINF, 10, 4);
        writeChars(s, ' ', 2);
        putD(s, EC0, 10, 4);
    }
    endLine(out);

    putInt(s, mNegative == 1 ? -M : M, 5, "M");
    putInt(s, N, 5, "N");
    putInt(s, MAXFEV, 5, "MAXFEV");
    putInt(s, NPRINT, 5, "NPRINT");
    putInt(s, IRCH, 5, "IRCH");
    putInt(s, MODE, 5, "MODE");
    putInt(s, ICP, 5, "ICP");
    putInt(s, IPRINT, 5, "IPRINT");
    putInt(s, IGACC, 5, "GACC");
    putD(s, ATEMP, 10, 4);
    if (SDWC != 0 || SDRC != 0) {
        writeChars(s, ' ', 2);
        putD(s, SDWC, 10, 4);
        writeChars(s, ' ', 2);
        putD(s, SDRC, 10, 4);
    }
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

    for (int i = 0; i < M; ++i) {
        putInt(s, i + 1, 5, "M");
        writeChars(s, ' ', 5);
        putD(s, valueAt(FREQ, i), 20, 13);
        writeChars(s, ' ', 5);
        putD(s, valueAt(DATA1, i), 20, 13);
        writeChars(s, ' ', 5);
        putD(s, valueAt(DATA2, i), 20, 13);
        endLine(out);
    }

    if (IRCH == 0 && WEIGHT1 && WEIGHT2) {
        for (int i = 0; i < M; ++i) {
            putInt(s, i + 1, 5, "M");
            writeChars(s, ' ', 30);
            putD(s, valueAt(WEIGHT1, i), 20, 13);
            writeChars(s, ' ', 5);
            putD(s, valueAt(WEIGHT2, i), 20, 13);
            endLine(out);
        }
    }
    out.commit();
}

} // namespace nosk
