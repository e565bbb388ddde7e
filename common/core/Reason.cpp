#include "Reason.h"

#include "LineReader.h"
#include "RegularFile.h"
#include "WorkFolderFiles.h"

#include <cctype>
#include <algorithm>
#include <charconv>
#include <sstream>
#include <iterator>

namespace nosk {

namespace {

struct KindName {
    Reason::Kind kind;
    const char* name;
};

constexpr KindName kKindNames[] = {
    {Reason::Kind::Input, "input"},
    {Reason::Kind::Field, "field"},
    {Reason::Kind::Parameter, "parameter"},
    {Reason::Kind::DataRow, "data-row"},
    {Reason::Kind::WeightRow, "weight-row"},
    {Reason::Kind::De, "de"},
    {Reason::Kind::Circuit, "circuit"},
    {Reason::Kind::Freedom, "freedom"},
    {Reason::Kind::StartModel, "start-model"},
    {Reason::Kind::Memory, "memory"},
    {Reason::Kind::File, "file"},
    {Reason::Kind::Internal, "internal"},
    {Reason::Kind::Converged, "converged"},
    {Reason::Kind::MaxFev, "maxfev"},
    {Reason::Kind::NoProgress, "no-progress"},
    {Reason::Kind::DeRange, "de-range"},
    {Reason::Kind::ParameterRange, "parameter-range"},
    {Reason::Kind::Stopped, "stopped"},
    {Reason::Kind::NotFitted, "not-fitted"},
    {Reason::Kind::Improper, "improper"},
};

constexpr std::string_view kTag = report::kReasonTag;

std::string printableWord(std::string_view s)
{
    std::string out;
    for (char c : s)
        out += std::isgraph(static_cast<unsigned char>(c)) ? c : '?';
    return out;
}

bool toInt(std::string_view s, int& value)
{
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size();
}

} // namespace

bool Reason::refused() const
{
    return kind >= Kind::Input && kind <= Kind::Internal;
}

const char* reasonKindName(Reason::Kind kind)
{
    for (const KindName& k : kKindNames)
        if (k.kind == kind)
            return k.name;
    return "none";
}

Reason::Kind reasonKindFromName(std::string_view name)
{
    for (const KindName& k : kKindNames)
        if (name == k.name)
            return k.kind;
    return Reason::Kind::Internal;
}

std::string reasonLine(const Reason& r)
{
    std::string s = " ";
    s += kTag;
    s += "kind=";
    s += reasonKindName(r.kind);
    if (!r.field.empty())
        s += " field=" + printableWord(r.field);
    if (r.param > 0)
        s += " param=" + std::to_string(r.param);
    if (r.row >= 0)
        s += " row=" + std::to_string(r.row);
    if (r.de > 0)
        s += " de=" + std::to_string(r.de);
    if (r.line > 0)
        s += " line=" + std::to_string(r.line);
    if (r.column > 0)
        s += " column=" + std::to_string(r.column);
    if (!r.test.empty())
        s += " test=" + printableWord(r.test);
    s += " text=";
    for (char c : r.text)
        s += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    return s;
}

std::optional<Reason> parseReasonLine(std::string_view line)
{
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    if (line.substr(0, kTag.size()) != kTag)
        return std::nullopt;
    line.remove_prefix(kTag.size());
    Reason r;
    bool haveKind = false;
    while (!line.empty()) {
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            break;
        const std::string_view key = line.substr(0, eq);
        if (key == "text") {
            r.text = std::string(line.substr(eq + 1));
            break;
        }
        const std::size_t end = std::min(line.find(' ', eq), line.size());
        const std::string_view value = line.substr(eq + 1, end - eq - 1);
        line.remove_prefix(end);
        int n = 0;
        if (key == "kind") {
            r.kind = reasonKindFromName(value);
            haveKind = true;
        } else if (key == "field") {
            r.field = std::string(value);
        } else if (key == "test") {
            r.test = std::string(value);
        } else if (toInt(value, n)) {
            if (key == "param")
                r.param = n;
            else if (key == "row")
                r.row = n;
            else if (key == "de")
                r.de = n;
            else if (key == "line")
                r.line = n;
            else if (key == "column")
                r.column = n;
        }
    }
    if (!haveKind)
        return std::nullopt;
    return r;
}

std::optional<Reason> findReason(std::istream& in)
{
    std::string line;
    while (lines::nextLine(in, line))
        if (auto r = parseReasonLine(line))
            return r;
    return std::nullopt;
}

std::optional<Reason> readReasonFile(const std::string& path)
{
    // A FIFO or a device under the name is no report: never waited on.
    auto bytes = readRegularFile(path, kMaxResultFile);
    if (!bytes)
        return std::nullopt;
    std::istringstream in(std::move(*bytes));
    return findReason(in);
}

std::string reasonSummary(const Reason& r)
{
    switch (r.kind) {
    case Reason::Kind::None: return "finished";
    case Reason::Kind::Converged: {
        std::string test;
        for (char c : r.test)
            test += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return test.empty() ? "converged" : "converged (" + test + ")";
    }
    case Reason::Kind::MaxFev: return "stopped at MAXFEV";
    case Reason::Kind::NoProgress: return "stopped: no progress possible";
    case Reason::Kind::DeRange:
        return "stopped: " + (r.de > 0 ? "DE " + std::to_string(r.de) : std::string("a DE"))
            + (r.param > 0 ? " (P" + std::to_string(r.param) + ")" : std::string()) + " left its range";
    case Reason::Kind::ParameterRange:
        return "stopped: " + (r.param > 0 ? "P" + std::to_string(r.param) : std::string("a parameter"))
            + " left its range";
    case Reason::Kind::Stopped: return "stopped by the user";
    case Reason::Kind::NotFitted: return "model computed without a fit";
    case Reason::Kind::Improper: return "the fitter refused its input";
    default: return "refused: " + r.text;
    }
}

} // namespace nosk
