#pragma once

#include "Prompt.h"

#include <deque>
#include <stdexcept>

namespace nosk {

// A Prompt for tests and headless runs: answers come from queues filled by the
// test, in order; every question is recorded. An unscripted message box gets
// its default answer (Ok, or Yes for a question, settable); an unscripted file
// or colour dialog counts as cancelled; an unscripted Save / Discard / Cancel
// box is answered Discard.
class ScriptedPrompt : public Prompt {
public:
    struct Shown {
        std::string text;
        std::string caption;
        Buttons buttons;
        Icon icon;
    };
    struct Asked {
        bool save;
        FileRequest request;
    };

    Answer showMessage(const std::string& text, const std::string& caption,
                       Buttons buttons, Icon icon) override
    {
        messages.push_back({text, caption, buttons, icon});
        if (!answers.empty()) {
            Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        if (buttons == Buttons::OkCancel)
            return Answer::Ok;
        if (buttons == Buttons::SaveDiscardCancel)
            return Answer::No;  // Discard: nothing is written unasked
        return defaultQuestionAnswer;
    }

    std::optional<std::string> openFile(const FileRequest& request) override
    {
        fileDialogs.push_back({false, request});
        return nextFile();
    }

    std::optional<std::string> saveFile(const FileRequest& request) override
    {
        fileDialogs.push_back({true, request});
        return nextFile();
    }

    // Recorded among the file dialogs, answered from the same queue.
    std::optional<std::string> chooseFolder(const FileRequest& request) override
    {
        fileDialogs.push_back({false, request});
        return nextFile();
    }

    std::optional<std::uint32_t> chooseColor(std::uint32_t initial) override
    {
        colorRequests.push_back(initial);
        if (colors.empty())
            return std::nullopt;
        auto c = colors.front();
        colors.pop_front();
        return c;
    }

    // Convenience for tests.
    const Shown& lastMessage() const
    {
        if (messages.empty())
            throw std::logic_error("no message was shown");
        return messages.back();
    }

    std::deque<Answer> answers;                        // for message boxes
    std::deque<std::optional<std::string>> files;      // for file dialogs; nullopt = Cancel
    std::deque<std::optional<std::uint32_t>> colors;   // for the colour chooser
    Answer defaultQuestionAnswer = Answer::Yes;

    std::vector<Shown> messages;
    std::vector<Asked> fileDialogs;
    std::vector<std::uint32_t> colorRequests;

private:
    std::optional<std::string> nextFile()
    {
        if (files.empty())
            return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }
};

} // namespace nosk
