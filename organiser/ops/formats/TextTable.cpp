// The text tables every text format is: lines split as every reader ends
// them, fields split by the separator the rows use, the columns found by
// their names, the rows read into spectra (several when a cycle column
// changes), numbers with decimal commas read again with points. The format
// families only name the file (ops/formats/TextFormats.cpp).

#include "ops/InstrumentImport.h"
#include "ops/formats/InstrumentFormats.h"

#include "core/Exception.h"
#include "core/LineReader.h"
#include "core/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

namespace nosk {

namespace {

// ---------------------------------------------------------------- text ---

struct Line {
    std::string_view text;  // without the line end and trailing blanks
    int number;             // from 1
};

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Spectra have thousands of rows at most; the cap keeps the line index of a
// file of nothing but line ends small.
constexpr int kMaxLines = 4000000;

// The lines as every reader ends them (core/LineReader.h: LF, CR LF, CR CR LF
// or a bare CR), without their trailing blanks.
std::vector<Line> splitLines(std::string_view text)
{
    std::vector<Line> lines;
    lines.reserve(std::min(text.size() / 32 + 1, size_t(kMaxLines)));
    int number = 0;
    lines::LineSplitter splitter(text);
    while (auto next = splitter.next()) {
        std::string_view line = *next;
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (number == kMaxLines)
            throw exception("Too many lines (over %d): not an impedance spectrum.", kMaxLines);
        lines.push_back({line, ++number});
    }
    return lines;
}

enum class Sep { Tab, Semicolon, Comma, Blank, WideBlank };

Sep separatorOf(std::string_view line)
{
    if (line.find('\t') != std::string_view::npos)
        return Sep::Tab;
    if (line.find(';') != std::string_view::npos)
        return Sep::Semicolon;
    if (line.find(',') != std::string_view::npos)
        return Sep::Comma;
    return Sep::Blank;
}

std::string_view unquoted(std::string_view f)
{
    f = trimmed(f);
    if (f.size() >= 2 && f.front() == '"' && f.back() == '"')
        f = trimmed(f.substr(1, f.size() - 2));
    return f;
}

// More columns than any instrument writes; a line is never split further, so
// that one endless line cannot fill the memory with fields.
constexpr size_t kMaxFields = 1000;

// The fields of a line, at most `limit` (the rest of the line is dropped).
void splitFields(std::string_view line, Sep sep, std::vector<std::string_view>& out, size_t limit = kMaxFields + 1)
{
    out.clear();
    if (sep == Sep::Blank || sep == Sep::WideBlank) {
        // WideBlank: names with single blanks inside ("Freq (Hz)"), columns
        // apart by two or more blanks or a tab.
        const size_t gap = sep == Sep::Blank ? 1 : 2;
        line = trimmed(line);
        size_t i = 0;
        while (i < line.size()) {
            size_t j = i;
            while (j < line.size() && line[j] != '\t') {
                if (line[j] != ' ') {
                    ++j;
                    continue;
                }
                size_t k = j;
                while (k < line.size() && line[k] == ' ')
                    ++k;
                if (k - j >= gap || k == line.size() || line[k] == '\t')
                    break;
                j = k;
            }
            out.push_back(unquoted(line.substr(i, j - i)));
            if (out.size() == limit)
                return;
            while (j < line.size() && (line[j] == ' ' || line[j] == '\t'))
                ++j;
            i = j;
        }
        return;
    }
    const char c = sep == Sep::Tab ? '\t' : sep == Sep::Semicolon ? ';' : ',';
    // Many exporters end every line with the separator: no field follows it.
    if (line.size() > 1 && line.back() == c)
        line.remove_suffix(1);
    while (out.size() < limit) {
        size_t at = line.find(c);
        out.push_back(unquoted(line.substr(0, at)));
        if (at == std::string_view::npos)
            break;
        line.remove_prefix(at + 1);
    }
}

// A whole field as a number by the instrument-column rule (core/NumberText.h):
// non-finite values parse, so that the caller can name them.
bool parseNumber(std::string_view f, double& v)
{
    auto value = readNumber(f, kInstrumentColumn);
    if (value)
        v = *value;
    return value.has_value();
}

// "1,5;2,3" or "1,5 2,3": numbers written with decimal commas.
bool hasDecimalCommas(std::string_view line)
{
    if (line.find(',') == std::string_view::npos)
        return false;
    std::string s(line);
    std::replace(s.begin(), s.end(), ',', '.');
    std::vector<std::string_view> fields;
    const Sep sep = s.find('\t') != std::string::npos ? Sep::Tab : s.find(';') != std::string::npos ? Sep::Semicolon : Sep::Blank;
    splitFields(s, sep, fields);
    int numbers = 0;
    for (std::string_view f : fields) {
        double v;
        if (!f.empty() && !parseNumber(f, v))
            return false;
        numbers += !f.empty();
    }
    return numbers >= 2;
}

[[noreturn]] void failAtLine(int line, const char* what)
{
    throw exception("line %d: %s", line, what);
}

// Numbers with decimal commas met where decimal points were expected: the
// file is read again with the commas turned into points when its separators
// allow that.
class DecimalCommas : public exception {
public:
    explicit DecimalCommas(int line) : exception("line %d: decimal commas; numbers need a decimal point", line), line(line) {}
    int line;
};

[[noreturn]] void failDecimalCommas(int line)
{
    throw DecimalCommas(line);
}

std::string shortText(std::string_view f)
{
    std::string s(f.substr(0, 16));
    if (f.size() > 16)
        s += "...";
    return s;
}

// -------------------------------------------------------------- columns ---

// A header name reduced to what identifies it: lower case, no blanks, the
// unit ("/Hz", "(ohms)") set apart.
struct Name {
    std::string key;
    std::string unit;
};

Name normalise(std::string_view raw)
{
    std::string s;
    for (char c : raw)
        if (c != ' ' && c != '\t')
            s += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    std::string unit;
    // A typographic minus sign reads as '-'.
    if (s.rfind("\xe2\x88\x92", 0) == 0)
        s.replace(0, 3, "-");
    if (!s.empty() && s.back() == ']') {
        if (size_t open = s.rfind('['); open != std::string::npos && open > 0) {
            unit = s.substr(open + 1, s.size() - open - 2);
            s.resize(open);
        }
    }
    if (!s.empty() && s.back() == ')') {
        size_t open = s.rfind('(');
        if (open != std::string::npos && open > 0) {
            std::string inner = s.substr(open + 1, s.size() - open - 2);
            if (inner != "z" && inner != "y") {
                unit = inner;
                s.resize(open);
            }
        }
    }
    if (size_t slash = s.find('/'); slash != std::string::npos && slash > 0) {
        unit = s.substr(slash + 1);
        s.resize(slash);
    }
    return {s, unit};
}

bool oneOf(const std::string& key, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (key == n)
            return true;
    return false;
}

const std::initializer_list<const char*> kRealNames = {"z'", "z\xe2\x80\xb2", "zre", "zreal", "re(z)", "real(z)", "z_re", "z_real",
                                                       "re", "real", "zr", "rez", "realz", "z'real", "realpart"};
const std::initializer_list<const char*> kImagNames = {"z''", "z\"", "z\xe2\x80\xb3", "zim", "zimg", "zimag", "im(z)", "imag(z)",
                                                       "z_im", "z_imag", "im", "imag", "zi", "imz", "imagz", "zimaginary",
                                                       "imagpart", "imaginarypart"};
const std::initializer_list<const char*> kModulusNames = {"|z|", "z", "zmod", "mod(z)", "modz", "zmag", "abs(z)", "zabs", "magnitude", "mag", "impedance"};
const std::initializer_list<const char*> kPhaseNames = {"phase", "phase(z)", "zphz", "phz", "zphase", "theta", "phi", "phaseangle", "arg(z)"};
const std::initializer_list<const char*> kCycleNames = {"cyclenumber", "cycle", "cycleno", "cycle#", "segment#", "segment", "sweep", "sweep#"};

// Where the columns of one table are. -1: absent.
struct Columns {
    int freq = -1, re = -1, im = -1, modulus = -1, phase = -1, cycle = -1;
    bool imNegated = false, phaseNegated = false, phaseRadians = false, angular = false;

    bool complete() const { return freq >= 0 && ((re >= 0 && im >= 0) || (modulus >= 0 && phase >= 0)); }
    bool rectangular() const { return re >= 0 && im >= 0; }
};

// The bare words "Re", "Im", "Real", "Imag" name the impedance only when no
// Z-named column does ("Im" is the current in some tables).
bool weakName(const std::string& key)
{
    return key == "re" || key == "real" || key == "im" || key == "imag";
}

Columns mapColumns(const std::vector<std::string_view>& names)
{
    Columns c;
    int weakRe = -1, weakIm = -1;
    bool weakImNegated = false;
    for (int i = 0; i < int(names.size()); ++i) {
        const Name n = normalise(names[size_t(i)]);
        const std::string& k = n.key;
        if (k.empty())
            continue;
        const bool negated = k[0] == '-' && k.size() > 1;
        const std::string bare = negated ? k.substr(1) : k;
        if (c.freq < 0 && !negated && (k.rfind("freq", 0) == 0 || k == "f" || k == "omega" || k == "\xcf\x89")) {
            c.freq = i;
            c.angular = k == "omega" || k == "\xcf\x89" || n.unit.find("rad") != std::string::npos;
        } else if (weakName(bare)) {
            if (bare[0] == 'r' && !negated && weakRe < 0)
                weakRe = i;
            else if (bare[0] == 'i' && weakIm < 0) {
                weakIm = i;
                weakImNegated = negated;
            }
        } else if (c.re < 0 && !negated && oneOf(k, kRealNames)) {
            c.re = i;
        } else if (c.im < 0 && oneOf(bare, kImagNames)) {
            c.im = i;
            c.imNegated = negated;
        } else if (c.modulus < 0 && !negated && oneOf(k, kModulusNames)) {
            c.modulus = i;
        } else if (c.phase < 0 && oneOf(bare, kPhaseNames)) {
            c.phase = i;
            c.phaseNegated = negated;
            c.phaseRadians = n.unit.rfind("rad", 0) == 0;
        } else if (c.cycle < 0 && !negated && oneOf(k, kCycleNames)) {
            c.cycle = i;
        }
    }
    if (c.re < 0 && c.im < 0 && weakRe >= 0 && weakIm >= 0) {
        c.re = weakRe;
        c.im = weakIm;
        c.imNegated = weakImNegated;
    }
    return c;
}

// ---------------------------------------------------------------- tables ---

enum class Kind { Empty, Data, Text };

// A run of lines that start with a number.
struct Block {
    size_t first = 0, last = 0;  // indexes into the lines, inclusive
    Sep sep = Sep::Blank;
    int fields = 0;              // of the first line
    bool hasHeader = false;      // a header line names frequency and impedance
    bool headerLike = false;     // a text line above has one name per column
    Columns columns;
};

struct Scan {
    std::vector<Line> lines;
    std::vector<Kind> kinds;
    std::vector<Block> blocks;
};

Kind classify(std::string_view line, std::vector<std::string_view>& fields)
{
    if (trimmed(line).empty())
        return Kind::Empty;
    splitFields(line, separatorOf(line), fields, 4);
    for (std::string_view f : fields) {
        if (f.empty())
            continue;
        double v;
        return parseNumber(f, v) ? Kind::Data : Kind::Text;
    }
    return Kind::Text;
}

// The header candidates split as the block's rows are; extra trailing names
// that are numbers or empty (", 0" after the last name) are dropped.
bool headerFits(std::string_view text, Sep sep, int fields, std::vector<std::string_view>& names)
{
    splitFields(text, sep, names);
    if (int(names.size()) < fields)
        return false;
    for (size_t i = size_t(fields); i < names.size(); ++i) {
        double v;
        if (!names[i].empty() && !parseNumber(names[i], v))
            return false;
    }
    names.resize(size_t(fields));
    return true;
}

void findHeader(const Scan& scan, Block& b)
{
    std::vector<std::string_view> names;
    int textLines = 0;
    for (size_t i = b.first; i-- > 0 && textLines < 3;) {
        if (scan.kinds[i] == Kind::Empty)
            continue;
        if (scan.kinds[i] == Kind::Data)
            break;
        ++textLines;
        // Text right below rows is a damaged row, not the header of a table.
        const bool belowRows = i > 0 && scan.kinds[i - 1] == Kind::Data;
        std::string_view text = scan.lines[i].text;
        if (size_t eq = text.find('='); text.rfind("Definition=", 0) == 0 && eq != std::string_view::npos)
            text.remove_prefix(eq + 1);
        if (std::string_view t = trimmed(text); t.size() >= 2 && t.front() == '"' && t.back() == '"' &&
                                                 t.find('"', 1) == t.size() - 1)
            text = unquoted(t);  // the whole header in one pair of quotes
        for (Sep sep : {b.sep, Sep::Tab, Sep::Semicolon, Sep::Comma, Sep::WideBlank, Sep::Blank}) {
            if (!headerFits(text, sep, b.fields, names) || b.fields < 2)
                continue;
            b.headerLike = b.headerLike || !belowRows;
            Columns c = mapColumns(names);
            if (c.complete()) {
                b.hasHeader = true;
                b.columns = c;
                return;
            }
        }
    }
}

Scan scanText(std::string_view text)
{
    Scan scan;
    scan.lines = splitLines(text);
    scan.kinds.reserve(scan.lines.size());
    std::vector<std::string_view> fields;
    for (const Line& l : scan.lines)
        scan.kinds.push_back(classify(l.text, fields));
    for (size_t i = 0; i < scan.lines.size();) {
        if (scan.kinds[i] != Kind::Data) {
            ++i;
            continue;
        }
        Block b;
        b.first = i;
        b.sep = separatorOf(scan.lines[i].text);
        splitFields(scan.lines[i].text, b.sep, fields);
        if (fields.size() > kMaxFields)
            throw exception("line %d: more than %zu columns", scan.lines[i].number, kMaxFields);
        b.fields = int(fields.size());
        while (i < scan.lines.size() && scan.kinds[i] == Kind::Data)
            ++i;
        b.last = i - 1;
        findHeader(scan, b);
        scan.blocks.push_back(b);
    }
    return scan;
}

// Reads the rows of one table into spectra (several when a cycle column
// changes its value).
void readBlock(const Scan& scan, const Block& b, std::vector<ImportedSpectrum>& out)
{
    const Columns& c = b.columns;
    std::vector<std::string_view> fields;
    ImportedSpectrum* spectrum = nullptr;
    double cycle = 0;
    int firstLine = 0, lastLine = 0;
    auto finish = [&] {
        if (!spectrum)
            return;
        char text[96];
        if (c.cycle >= 0)
            std::snprintf(text, sizeof text, "lines %d-%d, cycle %g", firstLine, lastLine, cycle);
        else
            std::snprintf(text, sizeof text, "lines %d-%d", firstLine, lastLine);
        spectrum->label = text;
    };
    auto value = [&](int column, const Line& line, double& v) {
        std::string_view f = fields[size_t(column)];
        if (f.empty())
            return false;  // missing: the row is skipped
        if (!parseNumber(f, v)) {
            if (hasDecimalCommas(line.text))
                failDecimalCommas(line.number);
            throw exception("line %d: '%s' is not a number", line.number, shortText(f).c_str());
        }
        if (!std::isfinite(v))
            throw exception("line %d: '%s' is not a measured value", line.number, shortText(f).c_str());
        return true;
    };

    for (size_t i = b.first; i <= b.last; ++i) {
        const Line& line = scan.lines[i];
        splitFields(line.text, b.sep, fields);
        if (int(fields.size()) != b.fields) {
            if (hasDecimalCommas(line.text))
                failDecimalCommas(line.number);
            if (fields.size() > kMaxFields)
                throw exception("line %d: more than %zu columns", line.number, kMaxFields);
            throw exception("line %d: %d numbers expected, found %d", line.number, b.fields, int(fields.size()));
        }
        double rowCycle = 0;
        const bool hasCycle = c.cycle >= 0 && value(c.cycle, line, rowCycle);
        if (!spectrum || (hasCycle && rowCycle != cycle)) {
            finish();
            out.emplace_back();
            spectrum = &out.back();
            cycle = rowCycle;
            firstLine = line.number;
        }
        lastLine = line.number;
        double f = 0, a = 0, z = 0;
        bool complete = value(c.freq, line, f);
        if (c.rectangular()) {
            complete = value(c.re, line, a) && complete;
            complete = value(c.im, line, z) && complete;
            if (c.imNegated)
                z = -z;
        } else {
            double modulus = 0, phase = 0;
            complete = value(c.modulus, line, modulus) && complete;
            complete = value(c.phase, line, phase) && complete;
            if (c.phaseNegated)
                phase = -phase;
            if (!c.phaseRadians)
                phase *= 3.14159265358979323846 / 180;
            a = modulus * std::cos(phase);
            z = modulus * std::sin(phase);
            if (!std::isfinite(a) || !std::isfinite(z))
                failAtLine(line.number, "phase out of range");
        }
        if (complete && f < 0)
            failAtLine(line.number, "negative frequency");
        if (!complete || f == 0) {
            ++spectrum->rowsSkipped;
            continue;
        }
        if (c.angular)
            f /= 2 * 3.14159265358979323846;
        spectrum->freq.push_back(f);
        spectrum->re.push_back(a);
        spectrum->im.push_back(z);
    }
    finish();
}

// The text line just above a table that names its columns, when those names
// lack the frequency or the impedance: which are missing and which were
// found, for the refusal. Empty when no such line is there.
std::string missingColumns(const Scan& scan, const Block& b)
{
    for (size_t i = b.first; i-- > 0;) {
        if (scan.kinds[i] == Kind::Empty)
            continue;
        if (scan.kinds[i] != Kind::Text)
            break;
        std::vector<std::string_view> names, tried;
        for (Sep sep : {b.sep, Sep::Tab, Sep::Semicolon, Sep::Comma, Sep::WideBlank}) {
            splitFields(scan.lines[i].text, sep, tried);
            if (tried.size() > names.size())
                names = tried;
        }
        if (names.size() < 2)
            break;
        const Columns c = mapColumns(names);
        std::string missing;
        if (c.freq < 0)
            missing = "frequency";
        if (!c.rectangular() && !(c.modulus >= 0 && c.phase >= 0))
            missing += std::string(missing.empty() ? "" : " and no ") + "Z' and Z'' (or |Z| and phase)";
        if (missing.empty())
            break;
        std::string found;
        int count = 0;
        for (std::string_view n : names) {
            if (n.empty())
                continue;
            ++count;
            if (found.size() < 400)
                found += std::string(found.empty() ? "" : ", ") + std::string(n.substr(0, 40));
            else if (found.back() != '.')
                found += ", ...";
        }
        return "line " + std::to_string(scan.lines[i].number) + ": no " + missing + " column; the header names " +
               std::to_string(count) + ": " + found;
    }
    return {};
}

[[noreturn]] void damagedRow(const Line& bad, Sep sep)
{
    if (hasDecimalCommas(bad.text))
        failDecimalCommas(bad.number);
    std::vector<std::string_view> fields;
    splitFields(bad.text, sep, fields);
    for (std::string_view f : fields)
        if (double v; !f.empty() && !parseNumber(f, v))
            throw exception("line %d: '%s' is not a number", bad.number, shortText(f).c_str());
    failAtLine(bad.number, "not a row of numbers");
}

// A text line right below a table's rows that has the rows' shape: as many
// fields, some of them numbers. It is a row whose number does not parse
// (1e400, 0x1p3), refused as it would be between rows; the last line of the
// file is no exception.
void refuseDamagedRowBelow(const Scan& scan, const Block& b)
{
    const size_t after = b.last + 1;
    if (after >= scan.lines.size() || scan.kinds[after] != Kind::Text)
        return;
    std::vector<std::string_view> fields;
    splitFields(scan.lines[after].text, b.sep, fields);
    if (int(fields.size()) != b.fields || b.fields < 2)
        return;
    for (std::string_view f : fields)
        if (double v; !f.empty() && parseNumber(f, v))
            damagedRow(scan.lines[after], b.sep);
}

bool endsWithNoCase(const std::string& s, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = s[s.size() - n + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

std::string formatName(const Scan& scan, const Block* named, const std::string& fileName)
{
    formats::TextClues clues;
    clues.fileName = fileName;
    for (size_t i = 0; i < 8; ++i)
        clues.firstLines.push_back(i < scan.lines.size() ? scan.lines[i].text : std::string_view());
    if (named) {
        // The header line, looked at again for the name of the format only.
        for (size_t i = named->first; i-- > 0;) {
            if (scan.kinds[i] != Kind::Text)
                continue;
            clues.header = scan.lines[i].text;
            break;
        }
    }
    const auto& table = formats::instrumentFormats();
    for (const formats::InstrumentFormat& f : table)
        if (f.startsLike && f.startsLike(clues))
            return f.name;
    if (!clues.header.empty())
        for (const formats::InstrumentFormat& f : table)
            if (f.headedLike && f.headedLike(clues))
                return f.name;
    switch (scan.blocks.empty() ? Sep::Blank : scan.blocks.front().sep) {
    case Sep::Tab:
        return "tab-separated text";
    case Sep::Semicolon:
        return "semicolon-separated text";
    case Sep::Comma:
        return "CSV";
    default:
        return "blank-separated text";
    }
}

} // namespace

// ---------------------------------------------------------------- public ---

namespace {

InstrumentFile parseText(std::string_view text, const std::string& fileName)
{
    if (text.size() >= 3 && std::memcmp(text.data(), "\xef\xbb\xbf", 3) == 0)
        text.remove_prefix(3);
    if (text.find_first_not_of("\r\n \t") == std::string_view::npos)
        throw exception("The file is empty.");
    if (const void* zero = std::memchr(text.data(), '\0', text.size()))
        throw exception("Not a text file (a zero byte at offset %zu).",
                        size_t(static_cast<const char*>(zero) - text.data()));

    const Scan scan = scanText(text);
    InstrumentFile file;

    const Block* firstNamed = nullptr;
    for (size_t k = 0; k < scan.blocks.size(); ++k) {
        const Block& b = scan.blocks[k];
        if (!b.hasHeader)
            continue;
        if (!firstNamed)
            firstNamed = &b;
        readBlock(scan, b, file.spectra);
        refuseDamagedRowBelow(scan, b);
        // One line of text between rows of the same shape, the rows below
        // without a header of their own: a damaged row, not two tables.
        if (k + 1 < scan.blocks.size()) {
            const Block& next = scan.blocks[k + 1];
            if (next.first == b.last + 2 && !next.hasHeader && next.fields == b.fields)
                damagedRow(scan.lines[b.last + 1], b.sep);
        }
    }

    if (!firstNamed) {
        // No header names the columns: a table of exactly frequency, Z', Z''
        // (or ZPlot's own layout in a ".z" file that lost its header).
        const bool headerLike = std::any_of(scan.blocks.begin(), scan.blocks.end(), [](const Block& b) { return b.headerLike; });
        for (size_t i = 0; i < scan.lines.size() && scan.blocks.empty(); ++i)
            if (scan.kinds[i] == Kind::Text && hasDecimalCommas(scan.lines[i].text))
                failDecimalCommas(scan.lines[i].number);
        if (scan.blocks.empty()) {
            int last = 0;
            for (const Line& l : scan.lines)
                if (!trimmed(l.text).empty())
                    last = l.number;
            throw exception("No data rows: text only, up to line %d.", last);
        }
        if (headerLike) {
            for (const Block& b : scan.blocks)
                if (b.headerLike)
                    if (std::string why = missingColumns(scan, b); !why.empty())
                        throw ImportRefusal(why + " (another experiment?)");
            throw exception("No impedance spectrum: no column of frequencies (another experiment?)");
        }
        const bool zplot = endsWithNoCase(fileName, ".z");
        // Tables after the first one count only when blank lines alone set
        // them apart; text between rows is a fault of the table.
        for (size_t k = 0; k < scan.blocks.size(); ++k) {
            Block b = scan.blocks[k];
            if (k > 0) {
                bool onlyBlank = true;
                for (size_t i = scan.blocks[k - 1].last + 1; i < b.first; ++i)
                    onlyBlank = onlyBlank && scan.kinds[i] == Kind::Empty;
                if (!onlyBlank || b.fields != scan.blocks[0].fields)
                    break;
            }
            if (zplot && b.fields == 9) {
                b.columns.freq = 0;
                b.columns.re = 4;
                b.columns.im = 5;
            } else if (b.fields == 3) {
                b.columns.freq = 0;
                b.columns.re = 1;
                b.columns.im = 2;
            } else {
                if (hasDecimalCommas(scan.lines[b.first].text))
                    failDecimalCommas(scan.lines[b.first].number);
                if (std::string why = missingColumns(scan, b); !why.empty())
                    throw ImportRefusal(why);
                throw exception("line %d: 3 numbers expected, found %d", scan.lines[b.first].number, b.fields);
            }
            readBlock(scan, b, file.spectra);
            refuseDamagedRowBelow(scan, b);
            // A text line right after the rows and more rows after it: a
            // damaged row, not the end of the table.
            const size_t after = b.last + 1;
            if (after < scan.lines.size() && scan.kinds[after] == Kind::Text) {
                for (size_t i = after + 1; i < scan.lines.size(); ++i)
                    if (scan.kinds[i] == Kind::Data)
                        damagedRow(scan.lines[after], b.sep);
            }
        }
    }

    int skipped = 0;
    for (const ImportedSpectrum& s : file.spectra)
        skipped += s.rowsSkipped;
    file.spectra.erase(std::remove_if(file.spectra.begin(), file.spectra.end(),
                                      [](const ImportedSpectrum& s) { return s.freq.empty(); }),
                       file.spectra.end());
    if (file.spectra.empty())
        throw exception("No rows with a frequency above 0 (%d rows skipped).", skipped);
    file.format = formatName(scan, firstNamed, fileName);
    if (file.format == "Gamry DTA")
        for (const Line& l : scan.lines) {
            // The tag of a run stopped before its end ("EXPERIMENTABORTED
            // TOGGLE T ..."), unless its value says it was not.
            const std::string_view tag = l.text.substr(0, l.text.find('\t'));
            if (tag.find("ABORT") != std::string_view::npos && l.text.find("\tTOGGLE\tF") == std::string_view::npos) {
                file.note = "The file says the experiment was aborted: the spectrum may end early.";
                break;
            }
        }
    return file;
}

bool digitAt(std::string_view s, size_t i)
{
    return i < s.size() && s[i] >= '0' && s[i] <= '9';
}

// A row of numbers with decimal commas that cannot be mistaken: columns apart
// by semicolons or tabs, or by blanks with every comma between two digits.
bool unambiguousCommas(std::string_view line)
{
    if (line.find(',') == std::string_view::npos || !hasDecimalCommas(line))
        return false;
    if (line.find(';') != std::string_view::npos || line.find('\t') != std::string_view::npos)
        return true;
    for (size_t i = line.find(','); i != std::string_view::npos; i = line.find(',', i + 1))
        if (i == 0 || !digitAt(line, i - 1) || !digitAt(line, i + 1))
            return false;
    return true;
}

// The text with decimal commas turned into points, line by line where the
// columns are apart by semicolons or tabs, or by blanks with every comma
// between two digits. Nothing when a line of numbers has commas that may be
// separators as well (`ambiguous` is then its number).
std::optional<std::string> withDecimalPoints(std::string_view text, int& ambiguous)
{
    std::string out(text);
    int number = 1;
    // Commas become points in place: the lines keep their places in out.
    lines::LineSplitter splitter(out);
    while (auto next = splitter.next()) {
        const std::string_view line = *next;
        const size_t start = static_cast<size_t>(line.data() - out.data());
        const size_t end = start + line.size();
        if (line.find(',') != std::string_view::npos) {
            bool convert = line.find(';') != std::string_view::npos || line.find('\t') != std::string_view::npos;
            if (!convert) {
                bool betweenDigits = true;
                for (size_t i = line.find(','); i != std::string_view::npos; i = line.find(',', i + 1))
                    betweenDigits = betweenDigits && i > 0 && digitAt(line, i - 1) && digitAt(line, i + 1);
                convert = betweenDigits;
                if (!convert && hasDecimalCommas(line)) {
                    ambiguous = number;
                    return std::nullopt;
                }
            }
            if (convert)
                std::replace(out.begin() + std::ptrdiff_t(start), out.begin() + std::ptrdiff_t(end), ',', '.');
        }
        ++number;
    }
    return out;
}

} // namespace

InstrumentFile parseInstrumentText(std::string_view text, const std::string& fileName)
{
    try {
        return parseText(text, fileName);
    } catch (const exception& e) {
        // European instruments: "1,5;2,5;-3,5". When rows of such numbers
        // are there, the file is read again with points where the
        // separators leave no doubt; the first reason stands otherwise.
        const std::exception_ptr first = std::current_exception();
        const bool commaFailure = dynamic_cast<const DecimalCommas*>(&e) != nullptr;
        bool commaRows = false;
        lines::LineSplitter splitter(text);
        for (auto line = splitter.next(); line && !commaRows; line = splitter.next())
            commaRows = unambiguousCommas(trimmed(*line));
        if (!commaRows && !commaFailure)
            throw;
        int ambiguous = 0;
        const std::optional<std::string> points = withDecimalPoints(text, ambiguous);
        if (!points && commaFailure)
            throw exception("line %d: decimal commas with commas between the columns too: ambiguous", ambiguous);
        if (!points)
            throw;
        InstrumentFile file;
        try {
            file = parseText(*points, fileName);
        } catch (const exception&) {
            std::rethrow_exception(first);
        }
        file.decimalCommas = true;
        return file;
    }
}

} // namespace nosk
