#pragma once

#include <string>

class QPainter;
class QPrinter;

namespace nosk {

// The failures of printing, the same words in both programs.
constexpr const char* kCannotRunPrinter = "Cannot run printer!";          // no usable printer
constexpr const char* kPrinterWouldNotStart = "Printer wouldn't initalize";  // painting cannot begin

// Begins `painter` on the printer the user chose. Returns why it could not,
// one of the texts above, for the caller to show; empty when printing began.
std::string beginPrinting(QPainter& painter, QPrinter& printer);

} // namespace nosk
