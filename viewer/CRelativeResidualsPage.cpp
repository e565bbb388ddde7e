#include "CRelativeResidualsPage.h"

#include "GraphPageSupport.h"
#include "ViewerRun.h"
#include "ViewerTexts.h"
#include "CZuAxis.h"
#include "CZuGraph.h"
#include "ChartMath.h"

#include <algorithm>
#include <cmath>

namespace nosk {

namespace {
constexpr std::uint32_t kRed = 0x0000C0;  // colour refs: red in the low byte
constexpr std::uint32_t kBlue = 0xC00000;
}

CRelativeResidualsPage::CRelativeResidualsPage(const ViewerRun& run, int textHeight, QWidget* parent)
    : CSingleGraphPage(QString::fromLatin1(kTitle), kHelpContext, textHeight, parent), m_run(run)
{
}

void CRelativeResidualsPage::build()
{
    const RelativeResiduals r = residualsRelativeToModulus(m_run.arrays(), m_run.imagNegated());
    const std::vector<double>* x = m_run.xValues();
    const std::size_t n = x ? std::min({x->size(), r.re.size(), std::size_t(std::max(m_run.count(), 0))}) : 0;
    m_x.clear();
    if (x)
        m_x.assign(x->begin(), x->begin() + std::ptrdiff_t(n));
    m_re.assign(r.re.begin(), r.re.begin() + std::ptrdiff_t(n));
    m_im.assign(r.im.begin(), r.im.begin() + std::ptrdiff_t(n));

    const std::string level = levelName(m_run.job().DFIT);
    createGraph(QString::fromStdString("Residuals in % of the model's |" + level + "|"), 14, true);
    CZuGraph* g = graph();
    g->axisX()->logScale() = m_run.job().xVariable == kXFrequency ? 1 : 0;
    double lo = 0, hi = 0;
    bool any = false;
    for (double v : m_x)
        if (std::isfinite(v) && (!g->axisX()->logScale() || v > 0)) {
            lo = any ? std::min(lo, v) : v;
            hi = any ? std::max(hi, v) : v;
            any = true;
        }
    if (any) {
        const int count = static_cast<int>(m_x.size());
        g->AddTrace(m_x.data(), m_re.data(), count, StyleLine | StyleDot, kRed);
        g->nameLastTrace(QStringLiteral("Real part"));
        g->AddTrace(m_x.data(), m_im.data(), count, StyleLine | StyleCross, kBlue);
        g->nameLastTrace(QStringLiteral("Imaginary part"));
        addBand(lo, hi, 1.0, true);
    }
    g->setHelpContexts(10021, 10025);
    finishGraph(QString::fromStdString(xAxisTitle(m_run.job().xVariable, m_run.angular())),
                QString::fromStdString("Residual, % of |" + level + "| (red: real, blue: imaginary)"));
}

} // namespace nosk
