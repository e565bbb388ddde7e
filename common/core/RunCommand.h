#pragma once

#include "core/Prompt.h"

#include <exception>
#include <new>
#include <string>

namespace nosk {

// The text shown for a failure: ours as it stands, a failed allocation in
// words a user understands.
inline std::string failureText(const std::exception& e)
{
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return "Not enough memory!";
    return e.what();
}

// Runs the body of one command of a program's window. A failure that escapes
// it (our file errors, and anything of the standard library such as an
// allocation that fails on a huge file) ends the command with its text in an
// error box; what the command stored before the failure stays. Returns
// whether the body ran to its end.
template <class Body>
bool runCommand(Prompt& prompt, Body&& body, const std::string& caption = "ERROR")
{
    std::string text;
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        text = failureText(e);
    }
    prompt.message(text, caption, Buttons::Ok, Icon::Error);
    return false;
}

} // namespace nosk
