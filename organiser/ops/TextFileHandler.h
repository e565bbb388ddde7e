#pragma once

#include <string>

namespace nosk {

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
