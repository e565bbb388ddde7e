#pragma once

#include "core/WorkFolderFiles.h"

#include <string>

namespace nosk {

// ADD.BIN, two bytes beside the input file: the X-variable code the viewer
// shows the first data column as (1 frequency, 2 time, 3 temperature,
// 4 inverse temperature), and the code the data came with (1-3).
inline constexpr const char* kSideFileName = workfiles::kSideFile;

// Creates or replaces the file; a file that cannot be written is passed over
// in silence.
void writeSideFile(unsigned char first, unsigned char second, const std::string& path = kSideFileName);

// Reads the two codes. A missing file gives 1 and 1; so does a missing byte or
// a code outside the known ones (1-4 first, 1-3 second), so that callers can
// index their name tables with what they get.
void readSideFile(unsigned char& first, unsigned char& second, const std::string& path = kSideFileName);

// The viewer's names of the codes 1-4; "" for anything else.
const char* xVariableName(int code);

} // namespace nosk
