#pragma once

#include "ops/OpsCallbacks.h"

#include <optional>
#include <string>

namespace nosk {

class FitJob;
class Prompt;
class SolartronFile;

// The "Select impedance" choice of one block of a .fra file. The organiser
// shows its dialog ("File description:", "List of impedandce data blocks:",
// "Block description:", buttons "Select" and "Cancel"); tests script it.
class ImpedanceBlockChooser {
public:
    virtual ~ImpedanceBlockChooser() = default;
    // The index (from 0) of the block chosen with "Select"; nothing for
    // "Cancel". The dialog opens with the first block selected.
    virtual std::optional<int> chooseBlock(const SolartronFile& file) = 0;
};

// The entry of the block list for block `index` (from 0): "Block #1", ...
std::string blockListEntry(int index);

// The file description the dialog shows: the header's text, at most 32
// characters, cut at a zero byte.
std::string fileDescriptionText(const SolartronFile& file);

// "Load data from Solartron file": asks for a .fra file, lets the user pick a
// block and makes its points the job's data: FREQ in Hz, DATA1/DATA2 the
// impedance's real and imaginary parts; DINP, DFIT Z, PINP, PFIT R, FREEQ F.
// Returns true when the job changed, false when the user cancelled. Throws
// nosk::exception when the file cannot be read; the job stays as it was.
bool importSolartron(FitJob& job, Prompt& prompt, ImpedanceBlockChooser& chooser, const RefreshPages& refresh);

} // namespace nosk
