#include "ParameterNames.h"

#include "Circuit.h"

#include <algorithm>
#include <cmath>

namespace nosk::model {

namespace {

// The circuit of letter `fun`: the built-in one, or that of `circuitsFile`.
const Circuit* circuitOf(char fun, const std::string& circuitsFile, CircuitLibrary& own)
{
    const CircuitLibrary* library = &CircuitLibrary::builtIn();
    try {
        own = CircuitLibrary::withOverrides(circuitsFile);
        library = &own;
    } catch (const std::exception&) {
        // The engine refuses such a run and says why; tables keep P1, P2, ...
    }
    const CircuitLibrary::Definition* d = library->find(fun);
    return d ? &d->circuit : nullptr;
}

// The DEs whose PHI is the exponent of a power of i omega (CPE, ZARC, Cole-
// Cole, Havriliak-Negami, Cole-Davidson); DE 6 has a second one in U.
bool dePhiIsExponent(int de)
{
    return de >= 2 && de <= 7;
}

} // namespace

std::vector<std::string> parameterNames(char fun, const std::string& circuitsFile)
{
    std::vector<std::string> names;
    CircuitLibrary own;
    const Circuit* circuit = circuitOf(fun, circuitsFile, own);
    if (!circuit)
        return names;
    for (const ParameterRole& r : parameterRoles(*circuit)) {
        if (r.number < 1)
            continue;
        if (names.size() < static_cast<std::size_t>(r.number))
            names.resize(static_cast<std::size_t>(r.number));
        names[static_cast<std::size_t>(r.number - 1)] = r.label();
    }
    return names;
}

std::vector<ParameterKind> parameterKinds(const Circuit& circuit, const double* params, int count)
{
    std::vector<ParameterKind> kinds(static_cast<std::size_t>(std::max(count, 0)), ParameterKind::Other);
    auto mark = [&](int index, ParameterKind kind) {
        if (index < 0 || index >= count)
            return;
        if (kinds[index] != ParameterKind::Exponent)
            kinds[index] = kind;
    };
    for (const CircuitNode& n : circuit.nodes()) {
        switch (n.kind) {
        case ElementKind::R:
        case ElementKind::C:
        case ElementKind::E:
        case ElementKind::L:
        case ElementKind::W:
        case ElementKind::TLM: mark(n.ref[0], ParameterKind::NonNegative); break;
        case ElementKind::Q:
            mark(n.ref[0], ParameterKind::NonNegative);
            mark(n.ref[1], ParameterKind::Exponent);
            break;
        case ElementKind::Ws:
        case ElementKind::Wo:
        case ElementKind::G:
            mark(n.ref[0], ParameterKind::NonNegative);
            mark(n.ref[1], ParameterKind::NonNegative);
            break;
        case ElementKind::DE: {
            if (n.ref[0] < 0 || n.ref[0] >= count)
                break;
            const double selector = params[n.ref[0]];
            const int de = std::isfinite(selector) ? static_cast<int>(std::lround(selector)) : -1;
            if (dePhiIsExponent(de))
                mark(n.ref[4], ParameterKind::Exponent);
            if (de == 6)
                mark(n.ref[3], ParameterKind::Exponent);
            break;
        }
        default: break;
        }
    }
    return kinds;
}

std::vector<ParameterKind> parameterKinds(char fun, const double* params, int count, const std::string& circuitsFile)
{
    CircuitLibrary own;
    const Circuit* circuit = circuitOf(fun, circuitsFile, own);
    if (!circuit)
        return std::vector<ParameterKind>(static_cast<std::size_t>(std::max(count, 0)), ParameterKind::Other);
    return parameterKinds(*circuit, params, count);
}

bool withinPhysicalRange(ParameterKind kind, double value)
{
    switch (kind) {
    case ParameterKind::NonNegative: return value >= 0;
    case ParameterKind::Exponent: return value > 0 && value <= 1;
    default: return true;
    }
}

const char* physicalRangeText(ParameterKind kind)
{
    switch (kind) {
    case ParameterKind::NonNegative: return ">= 0";
    case ParameterKind::Exponent: return "(0, 1]";
    default: return "";
    }
}

} // namespace nosk::model
