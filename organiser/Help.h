#pragma once

#include <functional>
#include <string>

namespace nosk {
class Prompt;

// Help of the organiser: topics of "NOSK.HLP" by context id, the model
// circuit window "circ", the finder and the contents. Every window that
// answers F1 goes through here.
namespace help {

constexpr const char* kFile = "NOSK.HLP";
constexpr const char* kCircuitWindow = "NOSK.HLP>circ";

enum class Command { Topic, Finder, Index };

// Shows the help; a failure is reported as "Cannot run help! Error %i"
// through the prompt set by the main window.
void topic(int id, bool circuitWindow = false);
void finder();
void index();

// The program's prompt for the failure message (the main window sets it).
void setPrompt(Prompt* prompt);
// Who shows the help: returns 0 on success, else an error number. The main
// window installs the platform's help window; tests record the calls.
using Handler = std::function<int(Command command, const std::string& file, int id)>;
void setHandler(Handler handler);

} // namespace help
} // namespace nosk
