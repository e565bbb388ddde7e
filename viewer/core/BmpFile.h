#pragma once

#include "core/Exception.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace nosk {

// The Windows bitmap (.bmp) file the viewer saves its graphs in: a 14-byte file
// header, a 40-byte information header, a colour table only for depths below
// 24 bits, then the rows bottom-up, each padded to four bytes.

// Colour depth of planes x bits per pixel, rounded up to 1, 4, 8, 16, 24 or 32.
int bmpColorDepth(int planes, int bitsPerPixel);
// Bytes of the image: rows padded to four bytes.
std::uint32_t bmpImageSize(int width, int height, int depth);
// The 54 header bytes (without colour table) for the given image.
std::vector<unsigned char> bmpHeaders(int width, int height, int depth);

// A failed step of writing an image: its name ("GetObject", "GlobalAlloc",
// "GetDIBits", "CreateFile", "WriteFile", "CloseHandle") and the system's
// error code; the text is "Error of <step>.\nError code <code>."
class BmpError : public exception {
public:
    BmpError(std::string step, int code);

    const std::string& step() const { return m_step; }
    int code() const { return m_code; }

private:
    std::string m_step;
    int m_code = 0;
};

// Writes an image file's bytes, the parts one after the other, beside the
// file and renamed into place: a save that fails leaves the user's old image
// as it was. Throws BmpError naming "CreateFile", "WriteFile" or "CloseHandle".
void writeImageFile(const std::string& path, std::initializer_list<std::string_view> parts);

// Writes a 32-bit image given as top-down rows of 0xAARRGGBB pixels (stride in
// pixels). Throws BmpError; a file that failed part way is removed.
void WriteBmpFile(const std::string& path, int width, int height, const std::uint32_t* pixels, int stride);

} // namespace nosk
