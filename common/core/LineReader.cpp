#include "LineReader.h"

namespace nosk::lines {

namespace {

// The rule for what follows a CR, written once for both sources: an LF after
// it, or CR LF after it, belongs to the same line end. A Source gives
// peek(), take() and giveBack() (of the one character just taken).
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

bool nextLine(std::istream& in, std::string& line)
{
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
