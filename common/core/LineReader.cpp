#include "LineReader.h"

#include <sstream>
#include <typeinfo>

namespace nosk::lines {

namespace {

// The rule for what follows a CR: an LF after it, or CR LF after it, belongs
// to the same line end. A Source gives peek(), take() and giveBack() (of the
// one character just taken). nextLineOfText below applies the same rule to
// what getline took; LineReaderTest holds every path to one reference.
template <class Source>
void finishCrEnd(Source& s)
{
    const int c = s.peek();
    if (c == '\n') {
        s.take();
    } else if (c == '\r') {
        s.take();
        if (s.peek() == '\n')
            s.take();
        else
            s.giveBack();  // a second bare CR: a line end of its own
    }
}

class StreamSource {
public:
    explicit StreamSource(std::streambuf* buf) : m_buf(buf) {}
    int peek() { return m_buf->sgetc(); }
    void take() { m_buf->sbumpc(); }
    void giveBack() { m_buf->sungetc(); }

private:
    std::streambuf* m_buf;
};

class TextSource {
public:
    TextSource(std::string_view text, std::size_t& pos) : m_text(text), m_pos(pos) {}
    int peek() { return m_pos < m_text.size() ? static_cast<unsigned char>(m_text[m_pos]) : -1; }
    void take() { ++m_pos; }
    void giveBack() { --m_pos; }

private:
    std::string_view m_text;
    std::size_t& m_pos;
};

} // namespace

namespace {

// A stream over text in memory: whole lines through getline, and a line
// end inside what it took (a bare CR) gives the rest back by a seek. The
// report of a large fit is megabytes; this is several times faster than
// reading character by character.
bool nextLineOfText(std::istream& in, std::string& line)
{
    if (!std::getline(in, line)) {
        line.clear();
        return false;
    }
    const std::size_t cr = line.find('\r');
    if (cr == std::string::npos)
        return true;
    const bool tookLf = !in.eof();
    std::size_t next = cr + 1;  // where the following line starts
    if (next + 1 == line.size() && line[next] == '\r' && tookLf)
        next = line.size();  // CR CR LF
    if (next < line.size()) {
        // A bare CR: what follows it, and the LF getline took, go back.
        const auto back = static_cast<std::streamoff>(line.size() - next + (tookLf ? 1 : 0));
        in.seekg(-back, std::ios::cur);
    }
    line.resize(cr);
    return true;
}

} // namespace

bool nextLine(std::istream& in, std::string& line)
{
    if (std::streambuf* buf = in.rdbuf(); buf && typeid(*buf) == typeid(std::stringbuf))
        return nextLineOfText(in, line);
    line.clear();
    std::istream::sentry ok(in, true);
    if (!ok)
        return false;
    using Traits = std::char_traits<char>;
    std::streambuf* buf = in.rdbuf();
    StreamSource source(buf);
    // Characters gathered in a small buffer and appended in pieces: a
    // report of a large fit is several megabytes.
    char piece[256];
    std::size_t n = 0;
    bool any = false;
    for (;;) {
        const int c = buf->sbumpc();
        if (c == Traits::eof()) {
            line.append(piece, n);
            in.setstate(any ? std::ios::eofbit : std::ios::eofbit | std::ios::failbit);
            return any;
        }
        any = true;
        if (c == '\n')
            break;
        if (c == '\r') {
            finishCrEnd(source);
            break;
        }
        piece[n++] = static_cast<char>(c);
        if (n == sizeof piece) {
            line.append(piece, n);
            n = 0;
        }
    }
    line.append(piece, n);
    return true;
}

std::optional<std::string> nextLine(std::istream& in)
{
    std::string line;
    if (!nextLine(in, line))
        return std::nullopt;
    return line;
}

std::optional<std::string_view> LineSplitter::next()
{
    if (m_pos >= m_text.size())
        return std::nullopt;
    const std::size_t start = m_pos;
    std::size_t end = start;
    while (end < m_text.size() && m_text[end] != '\n' && m_text[end] != '\r')
        ++end;
    m_pos = end;
    if (m_pos < m_text.size()) {
        const char c = m_text[m_pos++];
        if (c == '\r') {
            TextSource source(m_text, m_pos);
            finishCrEnd(source);
        }
    }
    return m_text.substr(start, end - start);
}

} // namespace nosk::lines
