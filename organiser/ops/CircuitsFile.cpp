#include "CircuitsFile.h"

#include "core/AtomicFileWriter.h"
#include "core/Exception.h"
#include "core/RegularFile.h"
#include "job/JobFields.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>

namespace nosk::circuitsfile {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

// A line of the text: where it starts and its length without the '\n'.
struct Line {
    std::size_t begin, length;
};

std::vector<Line> linesOf(const std::string& text)
{
    std::vector<Line> lines;
    std::size_t begin = text.compare(0, 3, kBom) == 0 ? 3 : 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back({begin, end - begin});
        begin = end + 1;
    }
    return lines;
}

// The letter a line defines (as the parser finds it: the first character
// that is not blank, then '=' after blanks), 0 for a comment, a blank line or
// a line that is no definition. `rhs` receives what follows the '='.
char letterOf(std::string line, std::string* rhs = nullptr)
{
    const std::size_t hash = line.find('#');
    if (hash != std::string::npos)
        line.erase(hash);
    const std::size_t pos = line.find_first_not_of(" \t\r");
    if (pos == std::string::npos || line[pos] < 'A' || line[pos] > 'Z')
        return 0;
    const std::size_t eq = line.find_first_not_of(" \t", pos + 1);
    if (eq == std::string::npos || line[eq] != '=')
        return 0;
    if (rhs) {
        *rhs = line.substr(eq + 1);
        const std::size_t first = rhs->find_first_not_of(" \t\r"), last = rhs->find_last_not_of(" \t\r");
        *rhs = first == std::string::npos ? std::string() : rhs->substr(first, last - first + 1);
    }
    return line[pos];
}

} // namespace

std::string readText(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return {};
    // A definitions file is a few lines; the parser refuses anything huge.
    std::optional<std::string> text = readRegularFile(path, 1 << 20);
    if (!text)
        throw exception("Cannot read file '%s'!", path.c_str());
    return std::move(*text);
}

std::string definitionOf(const std::string& text, char letter)
{
    std::string rhs;
    for (const Line& l : linesOf(text))
        if (letterOf(text.substr(l.begin, l.length), &rhs) == letter)
            return rhs;
    return {};
}

char freeLetter(const std::string& text, char except)
{
    std::string taken;
    for (const Line& l : linesOf(text))
        if (const char c = letterOf(text.substr(l.begin, l.length)))
            taken += c;
    for (const char c : std::string_view(kCircuits.codes))
        if (c != except && taken.find(c) == std::string::npos)
            return c;
    return 0;
}

std::string withDefinition(const std::string& text, char letter, const std::string& definition,
                           const std::string& comment)
{
    std::string line = std::string(1, letter) + " = " + definition;
    if (!comment.empty())
        line += "  # " + comment;
    // A file written with CR LF gets its new line so too.
    const bool crlf = text.find("\r\n") != std::string::npos;
    for (const Line& l : linesOf(text)) {
        if (letterOf(text.substr(l.begin, l.length)) != letter)
            continue;
        const bool cr = l.length > 0 && text[l.begin + l.length - 1] == '\r';
        return text.substr(0, l.begin) + line + (cr ? "\r" : "") + text.substr(l.begin + l.length);
    }
    std::string out = text;
    if (!out.empty() && out.back() != '\n')
        out += crlf ? "\r\n" : "\n";
    return out + line + (crlf ? "\r\n" : "\n");
}

void writeDefinition(const std::string& path, char letter, const std::string& definition,
                     const std::string& comment)
{
    // The user's own file: a link under its name is followed.
    replaceFile(path, withDefinition(readText(path), letter, definition, comment));
}

void setCircuit(FitJob& job, char letter, const std::vector<double>& values)
{
    job.FUN = letter;
    job.N = static_cast<int>(std::min<std::size_t>(values.size(), FitJob::kMaxParams));
    for (int i = 0; i < FitJob::kMaxParams; ++i) {
        const bool used = i < job.N;
        job.P[i] = used ? values[std::size_t(i)] : 0.0;
        // Free and fitted as ln p; a value that is not positive (an element
        // the fit took to 0) is free of any sign, since code 1 refuses it.
        job.NFREE[i] = !used ? 0 : job.P[i] > 0 ? 1 : 2;
        job.LOWER[i] = FitJob::kNoLower;
        job.UPPER[i] = FitJob::kNoUpper;
    }
}

} // namespace nosk::circuitsfile
