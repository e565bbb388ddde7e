#pragma once

#include <string>
#include <string_view>

namespace nosk {

// Text as valid UTF-8. Well-formed UTF-8 sequences stay as they are; any
// other byte is taken as Windows-1252 (Latin-1 with the printable 0x80-0x9F
// of Windows), so that a "µ" or "°" an instrument wrote in one byte becomes
// its UTF-8 form; the five bytes Windows-1252 leaves undefined become
// U+FFFD. Used where text from outside goes into a file of ours that
// readers take as UTF-8 (the CSV tables).
std::string validUtf8(std::string_view text);

} // namespace nosk
