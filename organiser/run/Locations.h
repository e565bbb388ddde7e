#pragma once

#include <string>

namespace nosk::locations {

// The bundled engine: noskwin beside the organiser, else noskwin on the PATH.
std::string engineProgram();

// A work folder may hold an engine of its own, NOSKWIN.EXE (a user's own
// build). A folder received from someone else may hold any program under
// that name, so it runs only when the user chose it: an option naming it,
// or the answer to a question, remembered for this folder and this very
// file (a changed file asks again).
std::string localEngine();  // the work folder's NOSKWIN.EXE, empty when there is none
enum class LocalEngineChoice { Ask, Use, Ignore };
LocalEngineChoice localEngineChoice();
void rememberLocalEngineChoice(bool use);
// The engine a run without a window uses: the work folder's NOSKWIN.EXE
// when the user chose it in the window, else the bundled one. `note` says
// why a NOSKWIN.EXE there is not run.
std::string headlessEngine(std::string& note);

// The viewer to launch: the bundled noskview beside the organiser.
std::string viewerProgram();
// The folder holding the bundled example jobs (fittests/CKT.<letter>/);
// empty when none is found.
std::string bundledExamplesDir();
// The path of an example job: <work folder>/fittests/CKT.<letter>/<name>,
// or the bundled example of that name when the work folder has none.
std::string examplePath(const std::string& name);

} // namespace nosk::locations
