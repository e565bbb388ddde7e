#include "CZhitPage.h"

#include "AnalysisPages.h"
#include "GraphPageSupport.h"
#include "PointMarks.h"
#include "CZuAxis.h"
#include "CZuGraph.h"
#include "ChartMath.h"
#include "analysis/zhit/Zhit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace nosk {

namespace {
constexpr std::uint32_t kRed = 0x0000C0;    // colour refs: red in the low byte
}

CZhitPage::CZhitPage(int textHeight, const ViewerRun* run, QWidget* parent)
    : CSingleGraphPage(QString::fromLatin1(kTitle), kHelpId, textHeight, parent), m_run(run)
{
}

void CZhitPage::build()
{
    std::istringstream in(readTableFile(kTableFile));
    const zhit::Table table = zhit::readTable(in);
    m_f = table.frequencyHz;
    m_re = table.deviation;

    QString title = QStringLiteral("Z-HIT: deviation of |Z|");
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
        addBand(*lo, *hi, zhit::kVerdictFloor, false);
        pointMarkPlaces(table.points, m_f, {&m_re}, m_markX, m_markY);
        addPointMarks(*g, m_markX, m_markY);
    }
    finishGraph(QStringLiteral("Frequency, Hz"), QStringLiteral("Deviation of |Z|, %"));
}

} // namespace nosk
