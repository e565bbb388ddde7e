#include "BmpFile.h"

#include "core/AtomicFileWriter.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <utility>

namespace nosk {

namespace {

void put16(std::vector<unsigned char>& b, std::uint16_t v)
{
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}

void put32(std::vector<unsigned char>& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

} // namespace

int bmpColorDepth(int planes, int bitsPerPixel)
{
    const int c = planes * bitsPerPixel;
    for (int d : {1, 4, 8, 16, 24})
        if (c <= d)
            return d;
    return 32;
}

std::uint32_t bmpImageSize(int width, int height, int depth)
{
    const std::uint32_t row = ((std::uint32_t(width) * std::uint32_t(depth) + 31u) & ~31u) / 8u;
    return row * std::uint32_t(height);
}

std::vector<unsigned char> bmpHeaders(int width, int height, int depth)
{
    const std::uint32_t colours = depth < 24 ? (1u << depth) : 0u;
    const std::uint32_t image = bmpImageSize(width, height, depth);
    const std::uint32_t offset = 14 + 40 + 4 * colours;
    std::vector<unsigned char> b;
    b.reserve(54);
    b.push_back(0x42);
    b.push_back(0x4D);
    put32(b, offset + image);
    put16(b, 0);
    put16(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(width));
    put32(b, static_cast<std::uint32_t>(height));
    put16(b, 1);
    put16(b, static_cast<std::uint16_t>(depth));
    put32(b, 0);  // no compression
    put32(b, image);
    put32(b, 0);  // pixels per metre, not given
    put32(b, 0);
    put32(b, colours);
    put32(b, 0);  // important colours
    return b;
}

BmpError::BmpError(std::string step, int code)
    : exception("Error of %s.\nError code %i.", step.c_str(), code), m_step(std::move(step)), m_code(code)
{
}

void writeImageFile(const std::string& path, std::initializer_list<std::string_view> parts)
{
    const char* step = "CreateFile";
    try {
        AtomicFileWriter file(path);
        step = "WriteFile";
        for (std::string_view part : parts) {
            file.buffer().assign(part);
            file.flush();
        }
        step = "CloseHandle";
        file.commit();
    } catch (const std::exception&) {
        throw BmpError(step, errno);
    }
}

void WriteBmpFile(const std::string& path, int width, int height, const std::uint32_t* pixels, int stride)
{
    if (width <= 0 || height <= 0 || !pixels)
        throw BmpError("GetObject", EINVAL);
    const int depth = 32;
    const std::uint32_t size = bmpImageSize(width, height, depth);
    std::vector<unsigned char> bits;
    try {
        bits.resize(size);
    } catch (const std::bad_alloc&) {
        throw BmpError("GlobalAlloc", ENOMEM);
    }
    // Bottom-up rows of blue, green, red, reserved.
    unsigned char* out = bits.data();
    for (int y = height - 1; y >= 0; --y) {
        const std::uint32_t* row = pixels + std::size_t(y) * std::size_t(stride);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            *out++ = static_cast<unsigned char>(p);
            *out++ = static_cast<unsigned char>(p >> 8);
            *out++ = static_cast<unsigned char>(p >> 16);
            *out++ = 0;
        }
    }
    const auto headers = bmpHeaders(width, height, depth);

    const auto chars = [](const std::vector<unsigned char>& v) {
        return std::string_view(reinterpret_cast<const char*>(v.data()), v.size());
    };
    writeImageFile(path, {chars(headers), chars(bits)});
}


} // namespace nosk
