#pragma once

#include <string>

namespace nosk {

struct CommandLine;

namespace suggest {
struct Result;
}

// noskrun --suggest FILE [--json RESULT.json] [--top N]: the circuits that
// describe FILE's spectrum, ranked (engine/suggest), printed as a table;
// --json writes them as well. Run without Qt. Returns the exit status: 0,
// or 1 with the message on standard error.
int runSuggestCommand(const CommandLine& cl);

// noskrun --batch --suggest FILES_OR_FOLDERS... [--out TABLE.csv] [--top N]:
// one row per spectrum with its best N circuits. A spectrum that cannot be
// read or ranked gets its reason in the row. Exit status 0 when every
// spectrum was ranked, 1 otherwise.
int runBatchSuggestCommand(const CommandLine& cl);

// The ranking as JSON: the spectrum's file, points, the noise level, the
// processes the DRT counts, and `candidates`, the best `top` in rank order,
// each with circuit (the definition), label, S, sigma_f, bic, aic,
// undetermined, tie_with (the rank it ties with, from 1, or null),
// parameters (name, value, std_dev, status) and reason.
std::string suggestionJson(const suggest::Result& result, const std::string& file, int top);

// The ranking as the terminal shows it.
std::string suggestionText(const suggest::Result& result, int top);

} // namespace nosk
