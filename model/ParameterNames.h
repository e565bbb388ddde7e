#pragma once

#include <string>
#include <vector>

namespace nosk::engine {

// The names of a model's parameters for tables: "p3: Q (alpha)", from the
// circuit of model letter `fun` (the built-in set, with the definitions of
// `circuitsFile` in their place when that file exists). Index i names
// parameter i + 1; an empty string where the circuit does not use it. All
// empty for an unknown letter or a circuits file that cannot be read.
std::vector<std::string> parameterNames(char fun, const std::string& circuitsFile = "CIRCUITS");

} // namespace nosk::engine
