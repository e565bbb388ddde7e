#include "core/ScriptedPrompt.h"

#include <gtest/gtest.h>

using namespace nosk;

TEST(ScriptedPrompt, AnswersInOrderAndRecordsEveryText)
{
    ScriptedPrompt p;
    p.answers = {Answer::No, Answer::Cancel};
    p.files = {std::string("a.txt"), std::nullopt};

    EXPECT_EQ(p.message("Save?", "NOSKRUN", Buttons::YesNo), Answer::No);
    EXPECT_EQ(p.message("Again?", "NOSKRUN", Buttons::YesNoCancel), Answer::Cancel);
    // Unscripted: OK boxes say Ok, questions take the default answer.
    EXPECT_EQ(p.message("Done", "ERROR"), Answer::Ok);
    EXPECT_EQ(p.message("Sure?", "WARNING", Buttons::YesNo), Answer::Yes);

    FileRequest r;
    r.title = "Save report file";
    EXPECT_EQ(p.saveFile(r), std::optional<std::string>("a.txt"));
    EXPECT_EQ(p.openFile({}), std::nullopt);
    EXPECT_EQ(p.openFile({}), std::nullopt);  // nothing scripted: cancelled

    ASSERT_EQ(p.messages.size(), 4u);
    EXPECT_EQ(p.messages[2].caption, "ERROR");
    EXPECT_EQ(p.lastMessage().text, "Sure?");
    ASSERT_EQ(p.fileDialogs.size(), 3u);
    EXPECT_TRUE(p.fileDialogs[0].save);
    EXPECT_EQ(p.fileDialogs[0].request.title, "Save report file");
}
