#include "CDrtPage.h"

#include "GraphPageSupport.h"
#include "CZuAxis.h"
#include "CZuGraph.h"
#include "analysis/drt/Drt.h"

#include <QGroupBox>

#include <cstdio>
#include <fstream>

namespace nosk {

namespace {
constexpr std::uint32_t kRed = 0x0000C0;    // colour refs: red in the low byte
constexpr std::uint32_t kBlue = 0xC00000;
constexpr std::uint32_t kGrey = 0xA0A0A0;
}

CDrtPage::CDrtPage(int textHeight, QWidget* parent)
    : CViewerPage(QString::fromLatin1(kTitle), kHelpId, parent), m_textHeight(textHeight)
{
}

void CDrtPage::showEvent(QShowEvent* event)
{
    ensureBuilt();
    CViewerPage::showEvent(event);
}

void CDrtPage::resizeEvent(QResizeEvent* event)
{
    CViewerPage::resizeEvent(event);
    if (m_built)
        layoutGraph();
}

void CDrtPage::ensureBuilt()
{
    if (m_built)
        return;
    m_built = true;
    std::ifstream in(kTableFile, std::ios::binary);
    const drt::Table table = drt::readTable(in);
    m_tau = table.tau;
    m_gamma = table.gamma;
    m_low = table.bandLow;
    m_high = table.bandHigh;
    for (const drt::Peak& p : table.peaks) {
        m_peakTau.push_back(p.tau);
        m_peakGamma.push_back(p.gamma);
    }

    char caption[160];
    std::snprintf(caption, sizeof caption, "Distribution of relaxation times: lambda = %.3g, R_inf = %.4g Ohm, %zu peak%s",
                  table.lambda, table.seriesResistance, table.peaks.size(), table.peaks.size() == 1 ? "" : "s");
    m_group = makeGraphGroup(this, QString::fromLatin1(caption));

    m_graph = new CZuGraph(this);
    m_graph->showLegendButton() = 0;
    QSize size = this->size();
    if (size.width() < 200 || size.height() < 150)
        size = QSize(960, 600);
    m_graph->Create(QRect(20, 20 + m_textHeight, size.width() - 40, size.height() - 40 - m_textHeight), this, 13,
                    CZuGraph::kStyleVisible, 0);
    m_graph->axisX()->logScale() = 1;
    const int n = static_cast<int>(m_tau.size());
    if (n > 0) {
        if (!m_low.empty()) {
            m_graph->AddTrace(m_tau.data(), m_low.data(), n, StyleLine, kGrey);
            m_graph->AddTrace(m_tau.data(), m_high.data(), n, StyleLine, kGrey);
        }
        m_graph->AddTrace(m_tau.data(), m_gamma.data(), n, StyleLine, kBlue);
        if (!m_peakTau.empty())
            m_graph->AddTrace(m_peakTau.data(), m_peakGamma.data(), static_cast<int>(m_peakTau.size()), StyleCross,
                              kRed);
    }
    m_graph->show();
    m_graph->UpdateRanges();
    setAxisTitles(*m_graph, QStringLiteral("tau, s"),
                  m_low.empty() ? QStringLiteral("gamma, Ohm (red: peaks)")
                                : QStringLiteral("gamma, Ohm (grey: 95 % credible band, red: peaks)"));
    routeGraphHelp(*m_graph);
    layoutGraph();
}

void CDrtPage::layoutGraph()
{
    if (!m_graph)
        return;
    const QRect area = rect().adjusted(10, m_textHeight + 10, -10, -10);
    if (area.width() < 100 || area.height() < 100)
        return;
    const QRect graphRect = area.adjusted(10, m_textHeight, -10, -10);
    m_graph->MoveGraph(graphRect);
    m_group->setGeometry(area);
    m_group->lower();
}

void CDrtPage::GetPageGraphs(PageGraphs& list) const
{
    const_cast<CDrtPage*>(this)->ensureBuilt();
    list.graphs[0] = m_graph;
    list.titles[0] = m_group ? m_group->title() : QString();
}

} // namespace nosk
