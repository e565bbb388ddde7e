#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace nosk {

// What the organiser's window supplies to the data operations besides the
// prompt: a way to show the job again after it changed, and the local clock
// (tests pin it so that dated texts compare byte for byte).
using RefreshPages = std::function<void()>;
using LocalClock = std::function<std::tm()>;

// The current local time; the default clock of the organiser.
std::tm localNow();

} // namespace nosk
