#pragma once

#include <string>

namespace nosk::locations {

// The engine to run: NOSKWIN.EXE in the work folder when that file exists (a
// user's own build), else the bundled noskwin beside the organiser, else
// noskwin on the PATH.
std::string engineProgram();
// The viewer to launch: NOSKVIEW.EXE in the work folder, else the bundled
// noskview beside the organiser.
std::string viewerProgram();
// The folder holding the bundled example jobs (fittests/CKT.<letter>/);
// empty when none is found.
std::string bundledExamplesDir();
// The path of an example job: <work folder>/fittests/CKT.<letter>/<name>,
// or the bundled example of that name when the work folder has none.
std::string examplePath(const std::string& name);

} // namespace nosk::locations
