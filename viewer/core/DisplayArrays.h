#pragma once

#include <array>
#include <optional>
#include <vector>

namespace nosk {

struct GraphSettings;

// The twelve arrays the viewer's pages draw and tabulate, each absent or of the
// run's point count: data and model in both components, residuals and relative
// residuals (fits only), and the rectangular forms of data and model (complex
// data only) for the complex-plane plot.
struct DisplayArrays {
    enum Index {
        Data1, Data2, Model1, Model2,
        Residual1, Residual2, Relative1, Relative2,
        DataRe, DataIm, ModelRe, ModelIm,
        Count
    };

    std::array<std::optional<std::vector<double>>, Count> arrays;

    const std::vector<double>* get(int i) const { return arrays[i] ? &*arrays[i] : nullptr; }
    bool has(int i) const { return arrays[i].has_value(); }
    void release();
};

// What BuildDisplayArrays copies: the value arrays of the run's result set as
// far as they exist (null when absent).
struct DisplaySource {
    const std::vector<double>* obs1 = nullptr;
    const std::vector<double>* obs2 = nullptr;
    const std::vector<double>* model1 = nullptr;
    const std::vector<double>* model2 = nullptr;
    const std::vector<double>* extra1a = nullptr;  // residuals, first component
    const std::vector<double>* extra2a = nullptr;  // residuals, second component
    const std::vector<double>* extra1b = nullptr;  // relative residuals, first component
    const std::vector<double>* extra2b = nullptr;  // relative residuals, second component
    bool fit = false;
};

// Fills the display arrays from the result set's arrays. Impedance and epsilon
// are shown with the sign of their second component reversed; the return value
// says whether that happened (the holder's imagNegated flag).
bool BuildDisplayArrays(const DisplaySource& source, char dfit, char pfit, char dattyp,
                        DisplayArrays& out);

// The residuals of both components relative to the modulus of the model, in
// percent: 100 (obs - model) / |model| in the rectangular form of the fit's
// level (Z for an impedance fit), the imaginary part with its own sign even
// where the display reverses it (`imagNegated`). Unlike the engine's
// residual/model columns it never divides by a component that passes through
// zero. A point whose model is 0 gives NaN (not drawn). Empty unless the
// arrays hold the rectangular data and model of a complex fit.
struct RelativeResiduals {
    std::vector<double> re, im;
};
RelativeResiduals residualsRelativeToModulus(const DisplayArrays& arrays, bool imagNegated);

// At every load the horizontal axes of graphs 1 to 4 are logarithmic on a
// frequency axis, and the vertical axes of graphs 1 and 2 too when no shown
// data or model value is negative.
void setLoadScaleFlags(GraphSettings& settings, int xType, const DisplayArrays& arrays, int count);

} // namespace nosk
