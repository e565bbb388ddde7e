#include "SeriesList.h"

#include "core/Exception.h"
#include "core/LineReader.h"
#include "core/NumberText.h"
#include "core/RegularFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace nosk::serieslist {

namespace fs = std::filesystem;

namespace {

// A list of a series is small: a line per spectrum.
constexpr std::size_t kMaxListBytes = 16u << 20;

std::string trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return std::string(s);
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> fields(std::string_view line)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        out.push_back(trimmed(line.substr(start, comma == std::string_view::npos ? line.npos : comma - start)));
        if (comma == std::string_view::npos)
            return out;
        start = comma + 1;
    }
}

bool isCelsius(const std::string& unit)
{
    const std::string u = lower(unit);
    return u == "degc" || u == "c" || u == "\xc2\xb0" "c" || u == "celsius";
}

// The factor of a unit to its family's base (V, A, s), 0 for one we do not know.
double scaleOf(const std::string& unit)
{
    static const std::pair<const char*, double> table[] = {{"V", 1}, {"mV", 1e-3}, {"A", 1}, {"mA", 1e-3},
        {"uA", 1e-6}, {"\xc2\xb5" "A", 1e-6}, {"s", 1}, {"min", 60}, {"h", 3600}};
    for (const auto& [name, factor] : table)
        if (unit == name)
            return factor;
    return 0;
}

const char* metadataName(const std::string& quantity)
{
    const std::string q = lower(quantity);
    if (q == "t" && quantity == "T")
        return "temperature";
    if (q == "temperature")
        return "temperature";
    if (q == "e" || q == "u" || q == "v" || q == "potential")
        return "potential";
    if (q == "i" || q == "current")
        return "current";
    if (quantity == "t" || q == "time")
        return "time";
    return nullptr;
}

// What follows a metadata value: its unit, after an uncertainty where the
// instrument writes one ("-0.2+-0.1C", "25 +/- 0.5 K"). The uncertainty
// must be a number; the text is returned whole otherwise, and then names
// no unit we know.
std::string unitAfterUncertainty(std::string_view rest)
{
    const std::string whole = trimmed(rest);
    std::string_view s = whole;
    bool plusMinus = false;
    for (const std::string_view sign : {std::string_view("+/-"), std::string_view("+-"), std::string_view("\xc2\xb1")})
        if (s.substr(0, sign.size()) == sign) {
            s.remove_prefix(sign.size());
            plusMinus = true;
            break;
        }
    if (!plusMinus)
        return whole;
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    double uncertainty = 0;
    const std::size_t used = scanNumber(s, kTypedNumber, uncertainty);
    if (used == 0 || !(uncertainty >= 0))
        return whole;
    return trimmed(s.substr(used));
}

} // namespace

Quantity parseQuantity(std::string_view header)
{
    const std::string h = trimmed(header);
    const std::size_t slash = h.find('/');
    if (slash == std::string::npos)
        return {h, ""};
    return {trimmed(std::string_view(h).substr(0, slash)), trimmed(std::string_view(h).substr(slash + 1))};
}

std::string quantityText(const Quantity& q)
{
    return q.unit.empty() ? q.name : q.name + "/" + q.unit;
}

bool isListFile(const std::string& path)
{
    if (lower(fs::path(path).extension().string()) != ".csv")
        return false;
    std::ifstream in(path);
    std::string first;
    if (!in || !std::getline(in, first))
        return false;
    return lower(fields(first).front()) == "file";
}

std::vector<Entry> readListFile(const std::string& path, const std::string& wanted, Quantity& quantity)
{
    const std::optional<std::string> text = readRegularFile(path, kMaxListBytes);
    if (!text)
        throw exception("Cannot open file %s", path.c_str());
    lines::LineSplitter lines(*text);
    const std::optional<std::string_view> head = lines.next();
    if (!head)
        throw exception("%s: the list is empty", path.c_str());
    const std::vector<std::string> header = fields(*head);
    if (lower(header.front()) != "file")
        throw exception("%s: the first column must be headed \"file\"", path.c_str());
    std::size_t column = 0;
    if (!wanted.empty()) {
        const Quantity w = parseQuantity(wanted);
        for (std::size_t c = 1; c < header.size() && column == 0; ++c) {
            const Quantity h = parseQuantity(header[c]);
            if (header[c] == wanted || (w.unit.empty() && h.name == w.name))
                column = c;
        }
        if (column == 0)
            throw exception("%s: no column %s", path.c_str(), wanted.c_str());
    } else if (header.size() >= 2) {
        column = 1;
    } else {
        throw exception("%s: no covariate column after \"file\"", path.c_str());
    }
    quantity = parseQuantity(header[column]);
    const fs::path folder = fs::path(path).parent_path();
    std::vector<Entry> entries;
    int lineNumber = 1;
    while (const std::optional<std::string_view> line = lines.next()) {
        ++lineNumber;
        if (trimmed(*line).empty())
            continue;
        const std::vector<std::string> f = fields(*line);
        if (f.front().empty())
            throw exception("%s line %d: no file", path.c_str(), lineNumber);
        const fs::path file(f.front());
        Entry e;
        e.file = file.is_absolute() || folder.empty() ? file.string() : (folder / file).string();
        const std::optional<double> v =
            column < f.size() ? readNumber(f[column], kSheetField) : std::optional<double>();
        if (!v || !std::isfinite(*v))
            throw exception("%s line %d: no value of %s for %s", path.c_str(), lineNumber, header[column].c_str(),
                f.front().c_str());
        e.value = *v;
        entries.push_back(std::move(e));
    }
    if (entries.empty())
        throw exception("%s: the list names no spectrum", path.c_str());
    return entries;
}

std::optional<double> fromMetadata(const Metadata& metadata, const Quantity& quantity)
{
    const char* name = metadataName(quantity.name);
    if (!name)
        return std::nullopt;
    for (const auto& [key, text] : metadata) {
        if (lower(key) != name)
            continue;
        double v = 0;
        const std::size_t used = scanNumber(text, kTypedNumber, v);
        if (used == 0 || !std::isfinite(v))
            return std::nullopt;
        const std::string unit = unitAfterUncertainty(std::string_view(text).substr(used));
        if (unit.empty() || unit == quantity.unit)
            return v;
        if (std::string(name) == "temperature") {
            const std::optional<double> k = kelvin(v, unit);
            if (!k)
                return std::nullopt;
            if (quantity.unit == "K")
                return *k;
            if (isCelsius(quantity.unit))
                return *k - 273.15;
            return std::nullopt;
        }
        const double from = scaleOf(unit), to = scaleOf(quantity.unit);
        if (from == 0 || to == 0)
            return std::nullopt;
        return v * from / to;
    }
    return std::nullopt;
}

std::optional<double> kelvin(double value, const std::string& unit)
{
    if (unit == "K")
        return value;
    if (isCelsius(unit))
        return value + 273.15;
    return std::nullopt;
}

} // namespace nosk::serieslist
