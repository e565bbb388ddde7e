#include "job/DataStamp.h"

#include "core/RegularFile.h"
#include "job/FieldCodec.h"
#include "job/FitJob.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace nosk {

namespace {

class Fnv1a {
public:
    void add(std::string_view text)
    {
        for (const unsigned char c : text) {
            m_hash ^= c;
            m_hash *= 0x100000001b3ull;
        }
    }
    std::string hex() const
    {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(m_hash));
        return text;
    }

private:
    std::uint64_t m_hash = 0xcbf29ce484222325ull;
};

// A data line's values as the input file writes them (D20.13).
constexpr int kValueWidth = 20;
constexpr int kValueDigits = 13;

bool isHex(std::string_view text)
{
    if (text.size() != 16)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

} // namespace

std::string dataChecksum(const FitJob& job)
{
    Fnv1a hash;
    const char fields[] = {job.DINP, job.DATTYP, job.FREEQ, job.NEG, static_cast<char>('0' + job.xVariable)};
    hash.add(std::string_view(fields, sizeof fields));
    const std::size_t rows = job.FREQ ? job.FREQ->size() : 0;
    std::string line;
    for (std::size_t i = 0; i < rows; ++i) {
        line.clear();
        writeD(line, valueAt(job.FREQ, i), kValueWidth, kValueDigits);
        writeD(line, valueAt(job.DATA1, i), kValueWidth, kValueDigits);
        writeD(line, valueAt(job.DATA2, i), kValueWidth, kValueDigits);
        line += '\n';
        hash.add(line);
    }
    return hash.hex();
}

std::string spectrumName(const FitJob& job, const std::string& path)
{
    const std::string& d = job.description;
    const std::size_t first = d.find_first_not_of(' ');
    std::string name = first == std::string::npos ? std::string() : d.substr(first, d.find_last_not_of(' ') - first + 1);
    if (name.empty())
        name = path.substr(path.find_last_of('/') + 1);
    return name.empty() ? std::string("the job's data lines") : name;
}

std::string stampLine(const DataStamp& stamp)
{
    std::string source = stamp.source;
    for (char& c : source)
        if (c == '\r' || c == '\n')
            c = ' ';
    return kDataStampTag + stamp.checksum + (source.empty() ? "" : " " + source) + "\r\n";
}

std::optional<DataStamp> readStampLine(std::string_view line)
{
    const std::string_view tag = kDataStampTag;
    if (line.substr(0, tag.size()) != tag)
        return std::nullopt;
    line.remove_prefix(tag.size());
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    const std::size_t blank = line.find(' ');
    DataStamp stamp;
    stamp.checksum = std::string(line.substr(0, blank));
    if (stamp.checksum != kNoJobChecksum && !isHex(stamp.checksum))
        return std::nullopt;
    if (blank != std::string_view::npos)
        stamp.source = std::string(line.substr(blank + 1));
    return stamp;
}

std::optional<DataStamp> readStamp(const std::string& path)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openRegularStream(path), &std::fclose);
    if (!file)
        return std::nullopt;
    // The stamp is among the comment lines at the head of the table.
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, file.get())) {
        const std::string_view line(buffer);
        if (line.empty() || line[0] != '#')
            return std::nullopt;
        if (auto stamp = readStampLine(line))
            return stamp;
    }
    return std::nullopt;
}

} // namespace nosk
