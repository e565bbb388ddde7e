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

// The print and view steps for a finished text file. The organiser implements
// them by copying the file to the temporary folder and handing the copy to the
// desktop's print or open action; the caller may delete the file afterwards.
class TextFileHandler {
public:
    virtual ~TextFileHandler() = default;
    virtual void print(const std::string& path) = 0;
    virtual void view(const std::string& path) = 0;
};

} // namespace nosk
