#pragma once

#include <string>

namespace nosk::datafiles {

// The programs' shared read-only files (the help pages in "help", the example
// jobs in "fittests", the circuit definitions in "circuits.txt") are found by
// name, in this order:
//   1. $NOSK_DATA_DIR/<name> when NOSK_DATA_DIR is set (and nothing else then);
//   2. <program folder>/../share/nosk/<name>, where an installed program has them;
//   3. the line "<name>=<path>" of the file nosk-data-dir beside the program,
//      which the build writes so that programs run from the build tree find
//      the files of their source tree.
// The result is an absolute path, empty when the file or folder is nowhere.
std::string find(const std::string& name);

// The same search from a given program folder, with the value of NOSK_DATA_DIR
// passed in (nullptr: not set). find() calls it with the running program's
// folder and the environment.
std::string findFrom(const std::string& programDir, const char* dataDirVariable,
                     const std::string& name);

// The folder of the running program (from /proc/self/exe), empty when unknown.
std::string programDir();

} // namespace nosk::datafiles
