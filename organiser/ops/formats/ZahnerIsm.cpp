// Zahner's impedance spectrum file (.ism), big-endian throughout: a 6-byte
// version, the point count less one (6 bytes), then the arrays of the points
// one after another: frequency (Hz), |Z| (ohm), phase (radians) and the
// time of each point (f8), and a significance (i2). Strings follow, each a
// 2-byte length and its ASCII bytes written with the case of every letter
// swapped: the date (DDMMYY), the system, the potential, the current, the
// temperature, the time window, four comment lines and the electrode area.
//
// A sweep starts at a middle frequency, goes to one end, comes back and
// goes to the other end: the points from the start up to the turn are
// measured twice and only the sweep between the two ends is kept, from the
// lowest frequency to the highest.

#include "ops/formats/ByteReader.h"
#include "ops/formats/InstrumentFormats.h"

#include <algorithm>
#include <cmath>

namespace nosk::formats {

namespace {

constexpr std::size_t kHeader = 12;
constexpr std::size_t kBytesPerPoint = 4 * 8 + 2;

std::string swappedCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return out;
}

std::string text(ByteReader& in, const char* what)
{
    const std::size_t at = in.offset();
    const std::uint64_t length = in.be(2, what);
    if (length >= 0x8000)
        in.fail(at, std::string(what) + ": a string of negative length");
    std::string s = swappedCase(in.take(static_cast<std::size_t>(length), what));
    // Only printable text goes into a job's description and the messages.
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
            c = '?';
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

} // namespace

bool isZahnerIsm(std::string_view, const std::string& fileName)
{
    // The file has no signature: its extension names it.
    return extensionOf(fileName) == "ism";
}

InstrumentFile readZahnerIsm(std::string_view bytes, const std::string& fileName)
{
    ByteReader in(bytes, fileName);
    in.take(6, "the header");  // the version
    const std::size_t countAt = in.offset();
    const std::uint64_t raw = in.be(6, "the header");
    if (raw >= (std::uint64_t(1) << 47))
        in.fail(countAt, "a negative point count");
    const std::uint64_t points = raw + 1;
    if (points > in.left() / kBytesPerPoint)
        in.fail(countAt, std::to_string(points) + " points claimed, the file has room for " +
                             std::to_string(in.left() / kBytesPerPoint));
    const std::size_t n = static_cast<std::size_t>(points);
    std::vector<double> freq(n), modulus(n), phase(n);
    const std::size_t arrays = in.offset();
    for (std::vector<double>* v : {&freq, &modulus, &phase})
        for (double& x : *v)
            x = in.f8be("the points");
    in.seek(arrays + n * kBytesPerPoint, "the strings");

    InstrumentFile file;
    file.format = "Zahner ISM";
    const std::string date = text(in, "the date");
    if (date.size() >= 6 && std::all_of(date.begin(), date.begin() + 6, [](char c) { return c >= '0' && c <= '9'; })) {
        const int year = std::stoi(date.substr(4, 2));
        file.metadata.emplace_back("date", std::to_string(year < 70 ? 2000 + year : 1900 + year) + "-" +
                                               date.substr(2, 2) + "-" + date.substr(0, 2));
    } else if (!date.empty()) {
        file.metadata.emplace_back("date", date);
    }
    // The strings after the date; a file that ends before them has none.
    const char* names[] = {"system", "potential", "current", "temperature", "time window",
                           "comment", "comment", "comment", "comment", "electrode area"};
    for (const char* name : names) {
        if (in.left() == 0)
            break;
        std::string value = text(in, name);
        if (!value.empty())
            file.metadata.emplace_back(name, std::move(value));
    }

    for (std::size_t i = 0; i < n; ++i)
        if (!std::isfinite(freq[i]) || !std::isfinite(modulus[i]) || !std::isfinite(phase[i]) || freq[i] <= 0)
            in.fail(arrays + 8 * i, "point " + std::to_string(i + 1) + ": not a measured value");
    // The sweep between the two ends, from the lowest frequency up.
    const std::size_t hi = size_t(std::max_element(freq.begin(), freq.end()) - freq.begin());
    const std::size_t lo = size_t(std::min_element(freq.begin(), freq.end()) - freq.begin());
    const std::size_t from = std::min(hi, lo), to = std::max(hi, lo);
    ImportedSpectrum& s = file.spectra.emplace_back();
    for (std::size_t k = 0; k <= to - from; ++k) {
        const std::size_t i = lo < hi ? from + k : to - k;
        s.freq.push_back(freq[i]);
        s.re.push_back(modulus[i] * std::cos(phase[i]));
        s.im.push_back(modulus[i] * std::sin(phase[i]));
    }
    s.label = "points " + std::to_string(from + 1) + "-" + std::to_string(to + 1);
    return file;
}

} // namespace nosk::formats
