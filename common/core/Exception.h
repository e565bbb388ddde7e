#pragma once

#include <cstdarg>
#include <exception>
#include <string>
#include <utility>

namespace nosk {

// The error object of the std-only libraries: a message formatted when the
// object is made, kept whole (a long path in "Cannot write file '%s'!" keeps
// its end; a file format that limits the length of a message cuts it where it
// writes it). Thrown by value, caught by const reference; the command that
// started the operation shows the text (runCommand) and abandons the
// operation. It is an std::exception too, so one handler catches it with the
// library's own failures (an allocation that fails on a huge file).
class exception : public std::exception {
public:
    // printf-style; the format is always a literal of ours, never file
    // contents or user text (those go in as %s arguments).
    explicit exception(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const char* what() const noexcept override { return m_message.c_str(); }

protected:
    struct Text {};
    // A message already formatted.
    exception(Text, std::string message) : m_message(std::move(message)) {}
    void setMessage(std::string message) { m_message = std::move(message); }

private:
    std::string m_message;
};

} // namespace nosk
