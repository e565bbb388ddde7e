#pragma once

#include "model/DeTable.h"

#include <string>
#include <vector>

namespace nosk {

// The organiser's catalogue of the engine's 38 distributed elements (DEs),
// numbered 0 to 37: a description text per DE (title line, then formula or
// remark lines, separated by "\r\n"), its help topic and its example jobs.
// The count and the titles are those of the engine's DE table.
namespace de {

constexpr int kCount = engine::kDeCount;

// The whole description text of a DE; empty for a number outside 0 to 37.
const std::string& description(int de);
// The title: the text up to the first carriage return.
std::string title(int de);
// Help topic of the DE in "NOSK.HLP"; 0 for a number outside 0 to 37.
int helpTopic(int de);
// The example list as stored: "*" (no example) or comma-separated file names.
const std::string& exampleList(int de);
// The example names of a DE, in order; empty for "*".
std::vector<std::string> examples(int de);
// The DE number a selector's value box names: the text read as a real by
// the typed-number rule (core/NumberText.h) and truncated; 0 when it does
// not read as a number, -1 when it is far outside the catalogue.
int numberFromText(const std::string& text);
// The tooltip of a DE link: the title cut to 79 characters, empty outside 0 to 37.
std::string tooltip(int de);

} // namespace de
} // namespace nosk
