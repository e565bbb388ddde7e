// Feeds arbitrary CIRCUITS texts to the circuit language: the parser, then
// every definition it accepts evaluated with derivatives at a few points.
// A text the engine refuses ends in nosk::exception; anything else must
// neither crash, hang nor recurse without bound.
#include "model/Circuit.h"
#include "model/CircuitEvaluator.h"
#include "model/ModelFunction.h"

#include "core/Exception.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const nosk::engine::CircuitLibrary library = nosk::engine::CircuitLibrary::parse(text, "CIRCUITS");
        const double omega[3] = {1e-3, 1.0, 1e5};
        double lnOmega[3];
        for (int i = 0; i < 3; ++i)
            lnOmega[i] = std::log(omega[i]);
        for (const auto& d : library.definitions()) {
            // Values from the text's bytes; selectors pick DEs 0-7, 9, 16, 17.
            double p[50];
            int nfree[50] = {};
            for (int k = 0; k < 50; ++k)
                p[k] = size > 0 ? 0.1 + static_cast<double>(data[k % size]) / 16.0 : 1.0;
            const int des[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 16, 17};
            for (int node : d.circuit.deNodes()) {
                const int selector = d.circuit.node(node).ref[0];
                p[selector] = des[static_cast<int>(p[selector] * 16) % 11];
            }
            const nosk::engine::ModelFunction model(d.letter, d.circuit, p, nfree, {1e-12});
            std::vector<int> active;
            for (int k = 0; k < 50; ++k)
                if (!model.isSelector(k))
                    active.push_back(k);
            nosk::engine::CircuitEvaluator evaluator(model, 3, active);
            evaluator.evaluate(p, omega, lnOmega, true);
        }
    } catch (const nosk::exception&) {
    }
    return 0;
}
