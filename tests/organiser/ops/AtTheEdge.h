#pragma once

#include "core/RunCommand.h"

namespace nosk::test {

// Runs a command of the organiser as its window does, through runCommand: the
// command's answer, or false after a failure, whose text the prompt then
// holds with caption "ERROR".
template <class Command>
bool atTheEdge(Prompt& prompt, Command&& command)
{
    bool answer = false;
    runCommand(prompt, [&] { answer = command(); });
    return answer;
}

} // namespace nosk::test
