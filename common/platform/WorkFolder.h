#pragma once

#include <string>

namespace nosk {
class Prompt;
}

namespace nosk::workfolder {

// Both programs work in the current folder. The home folder is not taken as
// a work folder: the desktop menu and file managers start programs there, and
// the programs' files (INFL, the options, the engine's output) do not belong
// in it. A program with a window started in the home folder works in the
// folder of the file it was given or, with no file, asks for a folder.
enum class Choice { Stay, FileFolder, Ask };
Choice decide(const std::string& current, const std::string& home, const std::string& file);

// Applies decide() to the process: changes the current folder and rewrites
// `file` so that it names the same file from there. The question offers the
// folder chosen last (kept in the user's settings, shared by both programs)
// and remembers the answer. False when the user cancelled the question or the
// folder cannot be entered (after saying so): the program then ends.
bool settle(Prompt& prompt, std::string& file);

// Makes `folder` (or, when it is no folder, the folder of that file) the current
// folder and remembers it; `file` becomes that file's name, or empty.
// Throws nosk::exception with the reason when it cannot be entered.
void enter(const std::string& folder, std::string& file);

std::string lastFolder();
void rememberFolder(const std::string& folder);

} // namespace nosk::workfolder
