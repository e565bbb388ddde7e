#pragma once

#include <string>
#include <vector>

namespace nosk {

// The engine's output files of a run, deleted before the next one. INFL,
// OUTIN and solartron.fra are kept.
const std::vector<std::string>& engineOutputFiles();

// Deletes the engine's output files from the work folder; a file that is
// missing or cannot be deleted is skipped silently.
void ClearDirectory();

} // namespace nosk
