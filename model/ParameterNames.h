#pragma once

#include "core/WorkFolderFiles.h"

#include <string>
#include <vector>

namespace nosk::model {

class Circuit;

// The names of a model's parameters for tables: "p3: Q (alpha)", from the
// circuit of model letter `fun` (the built-in set, with the definitions of
// `circuitsFile` in their place when that file exists). Index i names
// parameter i + 1; an empty string where the circuit does not use it. All
// empty for an unknown letter or a circuits file that cannot be read.
std::vector<std::string> parameterNames(char fun, const std::string& circuitsFile = workfiles::kCircuits);

// What a parameter's physical range is, from its role in the circuit.
enum class ParameterKind {
    Other,        // no range known (a DE's R and T have the DE's own ranges)
    NonNegative,  // an element's value: R, C, E, L, Q, W, Ws, Wo, G, TLM; >= 0
    Exponent,     // a power of i omega: Q's alpha, PHI of DEs 2 to 7, U of DE 6; (0, 1]
};

// The kind of every parameter of `circuit`, index i for p(i + 1), `count`
// entries. `params` holds the parameters (the DE selectors name the DEs);
// an element's value that is also an exponent elsewhere is an exponent.
std::vector<ParameterKind> parameterKinds(const Circuit& circuit, const double* params, int count);
// The same for model letter `fun`, as parameterNames finds its circuit; all
// Other when there is none.
std::vector<ParameterKind> parameterKinds(char fun, const double* params, int count,
    const std::string& circuitsFile = workfiles::kCircuits);

// Whether `value` lies in the physical range of its kind.
bool withinPhysicalRange(ParameterKind kind, double value);
// The range in words: "(0, 1]", ">= 0"; empty for Other.
const char* physicalRangeText(ParameterKind kind);

} // namespace nosk::model
