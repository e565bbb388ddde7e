#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

namespace nosk {

// Readers open their files through these: only a regular file (or a link to
// one) is opened. A FIFO, a device such as /dev/zero or a folder is refused
// at once, never waited on or read without end.

// A read-only descriptor, or -1 (errno tells why).
int openRegularFile(const std::string& path);

// The same as a stdio stream opened "rb", or nullptr.
std::FILE* openRegularStream(const std::string& path);

// The largest file the engine writes (PNTOUTL, AUXPNTL of 99999 points) is
// tens of megabytes; readers of its files refuse what is larger.
inline constexpr std::size_t kMaxResultFile = 256u << 20;

// The whole file when it is regular and holds at most maxBytes; nothing
// otherwise.
std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxBytes);

} // namespace nosk
