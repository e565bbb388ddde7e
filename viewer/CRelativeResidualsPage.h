#pragma once

#include "CSingleGraphPage.h"

#include <vector>

namespace nosk {

class ViewerRun;

// "Residuals/|Z|": the residuals of the real and the imaginary part of a
// fit of complex data in percent of the model's modulus, against X, with
// the +-1 % band. The graph to judge a fit by: the engine's Residuals/Model
// divides by each component of the model, which passes through zero.
class CRelativeResidualsPage : public CSingleGraphPage {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Residuals/|Z|";
    static constexpr int kHelpContext = 10029;  // described with "Graphics"

    CRelativeResidualsPage(const ViewerRun& run, int textHeight, QWidget* parent = nullptr);

    const std::vector<double>& realPercent() const { return m_re; }
    const std::vector<double>& imagPercent() const { return m_im; }

protected:
    void build() override;

private:
    const ViewerRun& m_run;
    // The graph's traces point into these.
    std::vector<double> m_x, m_re, m_im;
};

} // namespace nosk
