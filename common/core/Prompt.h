#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nosk {

// Every message box, question and file or colour dialog of both programs goes
// through this interface. The programs use the Qt implementation
// (common/platform/QtPrompt.h); tests use ScriptedPrompt, which answers from a
// script and records every text.

// SaveDiscardCancel: "Save" answers Yes, "Discard" No.
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, SaveDiscardCancel };
enum class Icon { None, Information, Warning, Error, Question };
enum class Answer { Ok, Cancel, Yes, No };

struct FileFilter {
    std::string description;  // "All files (*.*)"
    std::string pattern;      // "*.*"; several patterns separated by ';'
};

struct FileRequest {
    std::string title;                 // empty: the platform's default title
    std::vector<FileFilter> filters;   // empty: no filter
    std::string initialName;           // file name filled in, may hold a folder
    std::string defaultExtension;      // without the dot, "bmp"
    bool confirmOverwrite = true;      // save dialogs: ask before replacing a file
};

class Prompt {
public:
    virtual ~Prompt() = default;

    // A message box; returns the button pressed (Ok for a plain OK box).
    Answer message(const std::string& text, const std::string& caption,
                   Buttons buttons = Buttons::Ok, Icon icon = Icon::None)
    {
        return showMessage(text, caption, buttons, icon);
    }

    // File dialogs; nothing when the user cancels. They never change the
    // process's current folder.
    virtual std::optional<std::string> openFile(const FileRequest& request) = 0;
    virtual std::optional<std::string> saveFile(const FileRequest& request) = 0;

    // A folder chooser (request.initialName: the folder offered first);
    // nothing when the user cancels. The current folder is not changed.
    virtual std::optional<std::string> chooseFolder(const FileRequest& request)
    {
        (void)request;
        return std::nullopt;
    }

    // Colour chooser; colours are 0xRRGGBB. Nothing when cancelled.
    virtual std::optional<std::uint32_t> chooseColor(std::uint32_t initial) = 0;

protected:
    virtual Answer showMessage(const std::string& text, const std::string& caption,
                               Buttons buttons, Icon icon) = 0;
};

} // namespace nosk
