#pragma once

#include "core/ScriptedPrompt.h"
#include "platform/Help.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace nosk::test {

// Asks for help through `ask` while the help viewer fails with error 2: the
// program says so in one box captioned with its own name.
inline void expectFailedHelpReported(RecordingHelp& help, ScriptedPrompt& prompt, const std::string& program,
                                     const std::function<void()>& ask)
{
    help.errorCode = 2;
    const std::size_t before = prompt.messages.size();
    ask();
    ASSERT_EQ(prompt.messages.size(), before + 1);
    EXPECT_EQ(prompt.lastMessage().text, "Cannot run help! Error 2");
    EXPECT_EQ(prompt.lastMessage().caption, program);
}

} // namespace nosk::test
