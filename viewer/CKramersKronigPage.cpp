#include "CKramersKronigPage.h"

#include "AnalysisPages.h"
#include "GraphPageSupport.h"
#include "PointMarks.h"
#include "CZuAxis.h"
#include "CZuGraph.h"
#include "ChartMath.h"
#include "analysis/kk/KramersKronig.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace nosk {

namespace {
constexpr std::uint32_t kRed = 0x0000C0;    // colour refs: red in the low byte
constexpr std::uint32_t kBlue = 0xC00000;
}

CKramersKronigPage::CKramersKronigPage(int textHeight, const ViewerRun* run, QWidget* parent)
    : CSingleGraphPage(QString::fromLatin1(kTitle), kHelpId, textHeight, parent), m_run(run)
{
}

void CKramersKronigPage::build()
{
    std::istringstream in(readTableFile(kTableFile));
    const kk::Table table = kk::readTable(in);
    m_f = table.frequencyHz;
    m_re = table.residualReal;
    m_im = table.residualImag;

    char caption[120];
    if (table.elements > 0 && std::isfinite(table.mu))
        std::snprintf(caption, sizeof caption, "Kramers-Kronig residuals: M = %d, mu = %.4f", table.elements,
                      table.mu);
    else if (table.elements > 0)
        std::snprintf(caption, sizeof caption, "Kramers-Kronig residuals: M = %d, mu undefined", table.elements);
    else
        std::snprintf(caption, sizeof caption, "Kramers-Kronig residuals");
    QString title = QString::fromLatin1(caption);
    if (!table.verdict.empty())
        title += QStringLiteral(". Verdict: ") + QString::fromStdString(table.verdict);
    createGraph(title, 13, false);
    const TableSpectrum spectrum = tableSpectrum(kTableFile, m_run, m_f);
    showOrigin(spectrum.which, spectrum.same);
    CZuGraph* g = graph();
    g->axisX()->logScale() = 1;
    if (!m_f.empty()) {
        const auto [lo, hi] = std::minmax_element(m_f.begin(), m_f.end());
        const int n = static_cast<int>(m_f.size());
        g->AddTrace(m_f.data(), m_re.data(), n, StyleLine | StyleDot, kRed);
        g->AddTrace(m_f.data(), m_im.data(), n, StyleLine | StyleCross, kBlue);
        addBand(*lo, *hi, 1.0, false);
        pointMarkPlaces(table.points, m_f, {&m_re, &m_im}, m_markX, m_markY);
        addPointMarks(*g, m_markX, m_markY);
    }
    finishGraph(QStringLiteral("Frequency, Hz"), QStringLiteral("Residual, % of |Z| (red: real, blue: imaginary)"));
}

} // namespace nosk
