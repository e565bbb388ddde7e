#include "ParameterNames.h"

#include "Circuit.h"

namespace nosk::engine {

std::vector<std::string> parameterNames(char fun, const std::string& circuitsFile)
{
    std::vector<std::string> names;
    const CircuitLibrary* library = &CircuitLibrary::builtIn();
    CircuitLibrary own;
    try {
        own = CircuitLibrary::withOverrides(circuitsFile);
        library = &own;
    } catch (const std::exception&) {
        // The engine refuses such a run and says why; tables keep P1, P2, ...
    }
    const CircuitLibrary::Definition* d = library->find(fun);
    if (!d)
        return names;
    for (const ParameterRole& r : parameterRoles(d->circuit)) {
        if (r.number < 1)
            continue;
        if (names.size() < static_cast<std::size_t>(r.number))
            names.resize(static_cast<std::size_t>(r.number));
        names[static_cast<std::size_t>(r.number - 1)] = r.label();
    }
    return names;
}

} // namespace nosk::engine
