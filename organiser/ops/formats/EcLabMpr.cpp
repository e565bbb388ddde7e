// EC-Lab's binary data file (.mpr) of the impedance techniques PEIS and GEIS.
//
// The file opens with "BIO-LOGIC MODULAR FILE\x1a" padded to 0x34 bytes;
// modules follow, each "MODULE", a 10-byte short name ("VMP Set   ",
// "VMP data  ", "VMP LOG   ", "VMP loop  ", ...), a 25-byte long name, then
// either length and version (u4 each) and an 8-byte date ("02/04/18"), or,
// from EC-Lab 11.50, maximum length, length, old and new version (u4 each)
// and the date. The payload of the given length follows. Little-endian
// throughout.
//
// The data module holds the point count (u4), the column count (u1) and the
// column ids (u2); the records start at a fixed place that depends on the
// module's version, each record the columns in that order with sizes of
// their own.

#include "ops/formats/ByteReader.h"
#include "ops/formats/InstrumentFormats.h"

#include <cmath>
#include <cstdio>
#include <optional>

namespace nosk::formats {

namespace {

constexpr std::string_view kSignature("BIO-LOGIC MODULAR FILE\x1a", 23);
constexpr std::size_t kFirstModule = 0x34;

enum class Type { F4, F8, U2 };

struct Column {
    int id;
    Type type;
    const char* name;  // as EC-Lab's text export heads it
};

// The columns of the impedance techniques' records whose sizes are known.
// A file with any other column is refused by that column's id: its size
// cannot be guessed, and every record after it would be read wrong.
constexpr Column kColumns[] = {
    {4, Type::F8, "time/s"},
    {24, Type::F8, "cycle number"},
    {32, Type::F4, "freq/Hz"},
    {33, Type::F4, "|Ewe|/V"},
    {34, Type::F4, "|I|/A"},
    {35, Type::F4, "Phase(Z)/deg"},
    {36, Type::F4, "|Z|/Ohm"},
    {37, Type::F4, "Re(Z)/Ohm"},
    {38, Type::F4, "-Im(Z)/Ohm"},
    {39, Type::U2, "I Range"},
    {76, Type::F4, "<I>/mA"},
    {77, Type::F4, "<Ewe>/V"},
    {169, Type::F4, "Cs/uF"},
    {172, Type::F4, "Cp/uF"},
};

constexpr int kFrequency = 32, kPhase = 35, kModulus = 36, kReal = 37, kMinusImag = 38, kCycle = 24;

const Column* columnOf(int id)
{
    for (const Column& c : kColumns)
        if (c.id == id)
            return &c;
    return nullptr;
}

std::size_t sizeOf(Type t)
{
    return t == Type::F8 ? 8 : t == Type::F4 ? 4 : 2;
}

// The technique ids of the settings module's first byte.
const char* techniqueName(unsigned id)
{
    switch (id) {
    case 0x1d:
        return "PEIS";
    case 0x1e:
        return "GEIS";
    default:
        return nullptr;
    }
}

// Where the records start in the data module's payload, by its version.
std::optional<std::size_t> recordStart(std::uint64_t version)
{
    switch (version) {
    case 2:
        return 0x195;
    case 3:
        return 0x196;
    case 10:
    case 11:
        return 0x3ef;
    default:
        return std::nullopt;
    }
}

bool isDate(std::string_view s)
{
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return s.size() == 8 && digit(s[0]) && digit(s[1]) && s[2] == '/' && digit(s[3]) && digit(s[4]) && s[5] == '/' &&
           digit(s[6]) && digit(s[7]);
}

struct Module {
    std::string shortName;
    std::size_t at = 0;  // of "MODULE"
    std::uint64_t version = 0;
    std::string date;
    std::size_t payload = 0;  // offset of the payload in the file
    std::size_t length = 0;
};

std::string trimmedName(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return std::string(s);
}

Module readModule(ByteReader& in)
{
    Module m;
    m.at = in.offset();
    if (in.take(6, "a module header") != "MODULE")
        in.fail(m.at, "no module starts here (\"MODULE\" expected)");
    m.shortName = trimmedName(in.take(10, "a module header"));
    in.take(25, "a module header");
    const std::size_t fields = in.offset();
    // The older header puts the date after two numbers, the newer one after
    // four: the place of the date tells them apart.
    const std::string_view rest = in.take(std::min<std::size_t>(in.left(), 24), "a module header");
    std::uint64_t length = 0;
    in.seek(fields, "a module header");
    if (rest.size() >= 16 && isDate(rest.substr(8, 8))) {
        length = in.le(4, "a module header");
        m.version = in.le(4, "a module header");
    } else if (rest.size() >= 24 && isDate(rest.substr(16, 8))) {
        in.le(4, "a module header");  // the most the module may grow to
        length = in.le(4, "a module header");
        const std::uint64_t oldVersion = in.le(4, "a module header");
        const std::uint64_t newVersion = in.le(4, "a module header");
        m.version = newVersion != 0 ? newVersion : oldVersion;
    } else {
        in.fail(fields, "module '" + m.shortName + "': a header of unknown layout (no date where one belongs)");
    }
    m.date = std::string(in.take(8, "a module header"));
    m.payload = in.offset();
    if (length > in.left())
        in.fail(fields, "module '" + m.shortName + "' claims " + std::to_string(length) +
                            " bytes, past the end of the file (" + std::to_string(in.left()) + " left)");
    m.length = static_cast<std::size_t>(length);
    in.seek(m.payload + m.length, "the next module");
    return m;
}

std::string label(std::size_t from, std::size_t to, const char* part, double number)
{
    char text[96];
    if (part)
        std::snprintf(text, sizeof text, "points %zu-%zu, %s %g", from, to, part, number);
    else
        std::snprintf(text, sizeof text, "points %zu-%zu", from, to);
    return text;
}

} // namespace

bool isEcLabMpr(std::string_view bytes, const std::string&)
{
    return bytes.substr(0, kSignature.size()) == kSignature;
}

InstrumentFile readEcLabMpr(std::string_view bytes, const std::string& fileName)
{
    ByteReader in(bytes, fileName);
    if (!isEcLabMpr(bytes, fileName))
        in.fail(0, "not an EC-Lab data file (no \"BIO-LOGIC MODULAR FILE\" signature)");
    in.seek(kFirstModule, "the first module");

    std::optional<Module> settings, data, loops;
    std::string settingsTechnique;
    while (in.left() > 0) {
        const Module m = readModule(in);
        if (m.shortName == "VMP Set" && !settings)
            settings = m;
        else if (m.shortName == "VMP data" && !data)
            data = m;
        else if (m.shortName == "VMP loop" && !loops)
            loops = m;
    }

    InstrumentFile file;
    file.format = "EC-Lab MPR";
    std::string technique;
    if (settings) {
        ByteReader s(bytes.substr(0, settings->payload + settings->length), fileName);
        s.seek(settings->payload, "the settings");
        const unsigned id = static_cast<unsigned>(s.le(1, "the settings"));
        if (const char* name = techniqueName(id))
            technique = name;
        else {
            char text[120];
            std::snprintf(text, sizeof text, "technique id %u (0x%02x), not an impedance technique (PEIS or GEIS)",
                          id, id);
            s.fail(settings->payload, text);
        }
        file.metadata.emplace_back("technique", technique);
    }
    if (!data)
        in.fail(in.size(), "no data module (\"VMP data\") in the file");
    file.metadata.emplace_back("date", data->date);

    // The data module read on its own: nothing past its end is looked at.
    ByteReader d(bytes.substr(0, data->payload + data->length), fileName);
    d.seek(data->payload, "the data module");
    const std::optional<std::size_t> start = recordStart(data->version);
    if (!start)
        d.fail(data->at, "data module version " + std::to_string(data->version) + ", a layout this reader does not know");
    const std::uint64_t points = d.le(4, "the data module's point count");
    const std::size_t countAt = d.offset();
    const unsigned columns = static_cast<unsigned>(d.le(1, "the data module's column count"));
    if (columns == 0)
        d.fail(countAt, "a data module of no columns");
    if (5 + 2 * std::size_t(columns) > *start)
        d.fail(countAt, std::to_string(columns) + " columns do not fit in the data module's column list");
    std::vector<const Column*> layout;
    std::size_t recordSize = 0;
    int freq = -1, re = -1, minusIm = -1, modulus = -1, phase = -1, cycle = -1;
    for (unsigned k = 0; k < columns; ++k) {
        const std::size_t at = d.offset();
        const int id = static_cast<int>(d.le(2, "the column ids"));
        const Column* c = columnOf(id);
        if (!c)
            d.fail(at, "column id " + std::to_string(id) + " of unknown size");
        const int index = int(layout.size());
        for (auto [want, slot] : {std::pair{kFrequency, &freq}, {kReal, &re}, {kMinusImag, &minusIm},
                                  {kModulus, &modulus}, {kPhase, &phase}, {kCycle, &cycle}})
            if (id == want && *slot < 0)
                *slot = index;
        layout.push_back(c);
        recordSize += sizeOf(c->type);
    }
    if (freq < 0 || ((re < 0 || minusIm < 0) && (modulus < 0 || phase < 0)))
        d.fail(data->at, (technique.empty() ? std::string("the data") : technique) +
                             " has no frequency and impedance columns: not an impedance spectrum");
    const std::size_t records = data->payload + *start;
    if (records > d.size())
        d.fail(data->at, "the data module ends before its records start");
    const std::size_t room = d.size() - records;
    if (points > room / recordSize)
        d.fail(countAt - 4, std::to_string(points) + " points of " + std::to_string(recordSize) +
                                " bytes claimed, the module holds " + std::to_string(room / recordSize));
    const std::size_t n = static_cast<std::size_t>(points);

    // Where each loop starts: the loop module's indexes, or a new cycle
    // number in the records.
    std::vector<std::size_t> loopStarts;
    if (loops) {
        ByteReader l(bytes.substr(0, loops->payload + loops->length), fileName);
        l.seek(loops->payload, "the loop module");
        const std::uint64_t count = l.le(4, "the loop count");
        if (count > l.left() / 4)
            l.fail(loops->payload, std::to_string(count) + " loops claimed, the module holds " +
                                       std::to_string(l.left() / 4));
        for (std::uint64_t k = 0; k < count; ++k) {
            const std::size_t at = l.offset();
            const std::uint64_t first = l.le(4, "the loop indexes");
            if (first > n || (!loopStarts.empty() && first < loopStarts.back()))
                l.fail(at, "loop " + std::to_string(k + 1) + " starts at point " + std::to_string(first) +
                               " (of " + std::to_string(n) + ")");
            if (first < n && (loopStarts.empty() || first > loopStarts.back()))
                loopStarts.push_back(static_cast<std::size_t>(first));
        }
    }

    d.seek(records, "the records");
    std::vector<double> row(layout.size());
    ImportedSpectrum* current = nullptr;
    std::size_t firstPoint = 0, nextLoop = 0;
    double cycleNumber = 0;
    int loopNumber = 0;
    auto finish = [&](std::size_t last) {
        if (current)
            current->label = label(firstPoint + 1, last, loops ? "loop" : cycle >= 0 ? "cycle" : nullptr,
                                   loops ? loopNumber : cycleNumber);
    };
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = d.offset();
        for (std::size_t k = 0; k < layout.size(); ++k) {
            switch (layout[k]->type) {
            case Type::F4:
                row[k] = d.f4le("a record");
                break;
            case Type::F8:
                row[k] = d.f8le("a record");
                break;
            case Type::U2:
                row[k] = double(d.le(2, "a record"));
                break;
            }
        }
        bool starts = !current;
        if (loops) {
            while (nextLoop < loopStarts.size() && loopStarts[nextLoop] <= i) {
                starts = starts || loopStarts[nextLoop] == i;
                ++nextLoop;
            }
        } else if (cycle >= 0 && current && row[size_t(cycle)] != cycleNumber) {
            starts = true;
        }
        if (starts) {
            finish(i);
            current = &file.spectra.emplace_back();
            firstPoint = i;
            ++loopNumber;
            if (cycle >= 0)
                cycleNumber = row[size_t(cycle)];
        }
        const double f = row[size_t(freq)];
        double a, b;
        if (re >= 0 && minusIm >= 0) {
            a = row[size_t(re)];
            b = -row[size_t(minusIm)];
        } else {
            const double m = row[size_t(modulus)], p = row[size_t(phase)] * 3.14159265358979323846 / 180;
            a = m * std::cos(p);
            b = m * std::sin(p);
        }
        if (!std::isfinite(f) || !std::isfinite(a) || !std::isfinite(b))
            d.fail(at, "point " + std::to_string(i + 1) + ": a value that is not a measured number");
        if (f < 0)
            d.fail(at, "point " + std::to_string(i + 1) + ": negative frequency");
        if (f == 0) {
            ++current->rowsSkipped;
            continue;
        }
        current->freq.push_back(f);
        current->re.push_back(a);
        current->im.push_back(b);
    }
    finish(n);
    int skipped = 0;
    for (const ImportedSpectrum& s : file.spectra)
        skipped += s.rowsSkipped;
    std::erase_if(file.spectra, [](const ImportedSpectrum& s) { return s.freq.empty(); });
    if (file.spectra.empty())
        throw exception("No points with a frequency above 0 (%zu points, %d skipped).", n, skipped);
    return file;
}

} // namespace nosk::formats
