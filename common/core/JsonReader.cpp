#include "core/JsonReader.h"

#include "core/Exception.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace nosk::json {

const Value* Value::find(std::string_view key) const
{
    if (type != Type::Object)
        return nullptr;
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (keys[k] == key)
            return &members[k];
    return nullptr;
}

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    Value document()
    {
        Value v = value(0);
        skipSpace();
        if (m_pos != m_text.size())
            fail("text after the value");
        return v;
    }

private:
    [[noreturn]] void fail(const char* what) const
    {
        int line = 1, column = 1;
        for (std::size_t i = 0; i < m_pos && i < m_text.size(); ++i) {
            if (m_text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        throw exception("JSON: %s at line %d, column %d", what, line, column);
    }

    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }

    void skipSpace()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++m_pos;
    }

    void expectWord(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            fail("an unknown word");
        m_pos += word.size();
    }

    Value value(int depth)
    {
        if (depth >= kMaxDepth)
            fail("nesting too deep");
        skipSpace();
        if (atEnd())
            fail("the text ends where a value should be");
        Value v;
        switch (peek()) {
        case '{': object(v, depth); break;
        case '[': array(v, depth); break;
        case '"':
            v.type = Value::Type::String;
            v.string = string();
            break;
        case 't':
            expectWord("true");
            v.type = Value::Type::Boolean;
            v.boolean = true;
            break;
        case 'f':
            expectWord("false");
            v.type = Value::Type::Boolean;
            break;
        case 'n': expectWord("null"); break;
        default:
            v.type = Value::Type::Number;
            v.number = number();
        }
        return v;
    }

    void object(Value& v, int depth)
    {
        v.type = Value::Type::Object;
        ++m_pos;
        skipSpace();
        if (peek() == '}') {
            ++m_pos;
            return;
        }
        for (;;) {
            skipSpace();
            if (peek() != '"')
                fail("a member's name should be a string");
            std::string key = string();
            skipSpace();
            if (peek() != ':')
                fail("':' expected after a member's name");
            ++m_pos;
            v.members.push_back(value(depth + 1));
            v.keys.push_back(std::move(key));
            skipSpace();
            if (peek() == ',') {
                ++m_pos;
                continue;
            }
            if (peek() == '}') {
                ++m_pos;
                return;
            }
            fail(atEnd() ? "the text ends inside an object" : "',' or '}' expected");
        }
    }

    void array(Value& v, int depth)
    {
        v.type = Value::Type::Array;
        ++m_pos;
        skipSpace();
        if (peek() == ']') {
            ++m_pos;
            return;
        }
        for (;;) {
            v.array.push_back(value(depth + 1));
            skipSpace();
            if (peek() == ',') {
                ++m_pos;
                continue;
            }
            if (peek() == ']') {
                ++m_pos;
                return;
            }
            fail(atEnd() ? "the text ends inside an array" : "',' or ']' expected");
        }
    }

    unsigned hex4()
    {
        if (m_text.size() - m_pos < 4)
            fail("a \\u escape needs four hex digits");
        unsigned u = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = m_text[m_pos++];
            u <<= 4;
            if (c >= '0' && c <= '9')
                u |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                u |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                u |= unsigned(c - 'A' + 10);
            else
                fail("a \\u escape needs four hex digits");
        }
        return u;
    }

    static void appendUtf8(std::string& out, std::uint32_t cp)
    {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }

    std::string string()
    {
        ++m_pos;  // the opening quote
        std::string out;
        for (;;) {
            if (atEnd())
                fail("the text ends inside a string");
            const char c = m_text[m_pos++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20) {
                --m_pos;
                fail("a control character inside a string");
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (atEnd())
                fail("the text ends inside a string");
            const char e = m_text[m_pos++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::uint32_t cp = hex4();
                if (cp >= 0xD800 && cp < 0xDC00) {
                    if (m_text.substr(m_pos, 2) != "\\u")
                        fail("a lone surrogate in a \\u escape");
                    m_pos += 2;
                    const std::uint32_t low = hex4();
                    if (low < 0xDC00 || low > 0xDFFF)
                        fail("a lone surrogate in a \\u escape");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp < 0xE000) {
                    fail("a lone surrogate in a \\u escape");
                }
                appendUtf8(out, cp);
                break;
            }
            default:
                --m_pos;
                fail("an unknown escape in a string");
            }
        }
    }

    double number()
    {
        // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
        const std::size_t start = m_pos;
        auto digits = [this] {
            const std::size_t from = m_pos;
            while (!atEnd() && peek() >= '0' && peek() <= '9')
                ++m_pos;
            return m_pos - from;
        };
        if (peek() == '-')
            ++m_pos;
        if (peek() == '0')
            ++m_pos;
        else if (digits() == 0)
            fail("a value expected");
        if (peek() == '.') {
            ++m_pos;
            if (digits() == 0)
                fail("digits expected after the decimal point");
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_pos;
            if (peek() == '+' || peek() == '-')
                ++m_pos;
            if (digits() == 0)
                fail("digits expected in the exponent");
        }
        double v = 0;
        const auto [end, ec] = std::from_chars(m_text.data() + start, m_text.data() + m_pos, v);
        if (ec == std::errc::result_out_of_range || !std::isfinite(v)) {
            m_pos = start;
            fail("a number out of range");
        }
        if (ec != std::errc() || end != m_text.data() + m_pos) {
            m_pos = start;
            fail("a number that cannot be read");
        }
        return v;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace

Value parse(std::string_view text)
{
    return Parser(text).document();
}

} // namespace nosk::json
