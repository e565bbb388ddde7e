#pragma once

#include "core/AtomicFileWriter.h"

#include <string>

namespace nosk::engine {

// A text file built line by line and written in one go with CR LF line ends,
// the convention of the files the engine exchanges with the programs.
class TextFile {
public:
    // Appends one line, formatted printf-style (no line end in the format).
    void line(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void text(const std::string& line);
    void blank() { text(std::string()); }

    const std::string& contents() const { return m_contents; }

    // Replaces the file (a link under its name included) as a whole, synced
    // to the disk as outputDurability() says; throws nosk::exception when it
    // cannot be written.
    void save(const std::string& path) const;

private:
    std::string m_contents;
};

// Whether the engine's output files are synced to the disk before they replace
// the old ones (runEngine decides per run; Sync until then).
AtomicFileWriter::Durability outputDurability();
void setOutputDurability(AtomicFileWriter::Durability durability);

// printf's "%*.*E" of (width, digits, value), byte for byte, without printf's
// multi-precision arithmetic (a tenth of a short run's time went there).
std::string eFormat(double value, int width, int digits);

// A number in E form, right-aligned in `width` columns with `digits` digits
// after the point. A three-digit exponent costs a digit of the mantissa, so
// the field never grows; with `separate` one blank always stays in front, so
// that free-format readers see two numbers. A value that is not finite is
// written as 0 (the readers take numbers only).
std::string eField(double value, int width, int digits, bool separate);

} // namespace nosk::engine
