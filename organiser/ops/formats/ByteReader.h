#pragma once

#include "core/Exception.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace nosk::formats {

// Reads numbers and bytes of a binary file held in memory, never past its
// end: every read that would is refused with the file's name and the byte
// offset where the missing part starts.
class ByteReader {
public:
    ByteReader(std::string_view bytes, std::string fileName) : m_bytes(bytes), m_name(std::move(fileName)) {}

    std::size_t offset() const { return m_at; }
    std::size_t size() const { return m_bytes.size(); }
    std::size_t left() const { return m_bytes.size() - m_at; }
    const std::string& fileName() const { return m_name; }

    // "NAME, byte N: why", for refusals of what was read.
    [[noreturn]] void fail(std::size_t at, const std::string& why) const
    {
        throw exception("%s, byte %zu: %s", m_name.c_str(), at, why.c_str());
    }

    void seek(std::size_t at, const char* what)
    {
        if (at > m_bytes.size())
            fail(m_at, std::string(what) + " at byte " + std::to_string(at) + ", past the end of the file (" +
                           std::to_string(m_bytes.size()) + " bytes)");
        m_at = at;
    }

    std::string_view take(std::size_t n, const char* what)
    {
        if (n > left())
            fail(m_at, std::string("the file ends inside ") + what + " (" + std::to_string(n) + " bytes needed, " +
                           std::to_string(left()) + " left)");
        const std::string_view out = m_bytes.substr(m_at, n);
        m_at += n;
        return out;
    }

    // Little-endian unsigned integers of 1 to 8 bytes.
    std::uint64_t le(std::size_t n, const char* what)
    {
        const std::string_view b = take(n, what);
        std::uint64_t v = 0;
        for (std::size_t i = n; i-- > 0;)
            v = (v << 8) | static_cast<unsigned char>(b[i]);
        return v;
    }

    // Big-endian unsigned integers of 1 to 8 bytes.
    std::uint64_t be(std::size_t n, const char* what)
    {
        const std::string_view b = take(n, what);
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v = (v << 8) | static_cast<unsigned char>(b[i]);
        return v;
    }

    float f4le(const char* what) { return bitsAs<float>(static_cast<std::uint32_t>(le(4, what))); }
    double f8le(const char* what) { return bitsAs<double>(le(8, what)); }
    double f8be(const char* what) { return bitsAs<double>(be(8, what)); }

private:
    template <typename T, typename Bits>
    static T bitsAs(Bits bits)
    {
        static_assert(sizeof(T) == sizeof(Bits));
        T v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    std::string_view m_bytes;
    std::string m_name;
    std::size_t m_at = 0;
};

} // namespace nosk::formats
