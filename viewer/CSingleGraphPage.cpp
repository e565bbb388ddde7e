#include "CSingleGraphPage.h"

#include "CZuGraph.h"
#include "ChartMath.h"
#include "AnalysisOrigin.h"
#include "GraphPageSupport.h"
#include "core/RegularFile.h"

#include <QGroupBox>
#include <QLabel>

#include <algorithm>

namespace nosk {

CSingleGraphPage::CSingleGraphPage(const QString& title, int helpContext, int textHeight, QWidget* parent)
    : CViewerPage(title, helpContext, parent), m_textHeight(textHeight)
{
}

void CSingleGraphPage::showEvent(QShowEvent* event)
{
    ensureBuilt();
    CViewerPage::showEvent(event);
}

void CSingleGraphPage::resizeEvent(QResizeEvent* event)
{
    CViewerPage::resizeEvent(event);
    if (m_built)
        layoutGraph();
}

void CSingleGraphPage::ensureBuilt()
{
    if (m_built)
        return;
    m_built = true;
    build();
}

void CSingleGraphPage::rebuild()
{
    delete m_graph;
    m_graph = nullptr;
    delete m_group;
    m_group = nullptr;
    m_built = false;
    ensureBuilt();
    if (m_graph)
        m_graph->show();
}

int CSingleGraphPage::layoutBelowGraph(const QRect&)
{
    return 0;
}

void CSingleGraphPage::createGraph(const QString& caption, int id, bool legendButton)
{
    m_group = makeGraphGroup(this, caption);
    m_graph = new CZuGraph(this);
    m_graph->setPrompt(prompt());
    m_graph->showLegendButton() = legendButton ? 1 : 0;
    QSize size = this->size();
    if (size.width() < 200 || size.height() < 150)
        size = QSize(960, 600);
    m_graph->Create(QRect(20, 20 + m_textHeight, size.width() - 40, size.height() - 40 - m_textHeight), this, id,
                    CZuGraph::kStyleVisible, 0);
}

void CSingleGraphPage::finishGraph(const QString& xTitle, const QString& yTitle)
{
    m_graph->show();
    m_graph->UpdateRanges();
    setAxisTitles(*m_graph, xTitle, yTitle);
    routeGraphHelp(*m_graph);
    layoutGraph();
}

std::string CSingleGraphPage::readTableFile(const char* name)
{
    return readRegularFile(name, kMaxResultFile).value_or(std::string());
}

void CSingleGraphPage::addBand(double lo, double hi, double level, bool named)
{
    constexpr std::uint32_t kGreen = 0x008000;  // colour refs: red in the low byte
    constexpr std::uint32_t kGrey = 0x808080;
    m_bandX = {lo, hi};
    m_bandUp = {level, level};
    m_bandDown = {-level, -level};
    m_graph->AddTrace(m_bandX.data(), m_bandUp.data(), 2, StyleLine, kGreen);
    if (named)
        m_graph->nameLastTrace(QStringLiteral("+%1 %").arg(level));
    m_graph->AddTrace(m_bandX.data(), m_bandDown.data(), 2, StyleLine, kGreen);
    if (named)
        m_graph->nameLastTrace(QStringLiteral("-%1 %").arg(level));
    m_pad = {-1.5 * level, 1.5 * level};
    m_graph->AddTrace(m_bandX.data(), m_pad.data(), 2, 0, kGrey);
    if (named)
        m_graph->nameLastTrace(QStringLiteral("(range padding, not drawn)"));
}

void CSingleGraphPage::showOrigin(const std::string& which, std::optional<bool> same)
{
    m_stale = same.has_value() && !*same;
    if (which.empty() && !m_stale)
        return;
    m_origin = new QLabel(this);
    m_origin->setWordWrap(true);
    if (m_stale) {
        m_origin->setText(QString::fromStdString(origin::staleBanner(which.empty() ? "not named" : which)));
        m_origin->setStyleSheet(QStringLiteral("QLabel { color: white; background: #B00000; font-weight: bold; padding: 3px; }"));
        m_group->setTitle(QStringLiteral("OUT OF DATE (another spectrum): ") + m_group->title());
    } else {
        m_origin->setText(QStringLiteral("Spectrum: ") + QString::fromStdString(which) +
                          (same ? QStringLiteral(" (the data of the run shown)") : QString()));
    }
    m_origin->show();
}

QString CSingleGraphPage::originText() const
{
    const_cast<CSingleGraphPage*>(this)->ensureBuilt();
    return m_origin ? m_origin->text() : QString();
}

void CSingleGraphPage::layoutGraph()
{
    if (!m_graph)
        return;
    const QRect area = rect().adjusted(10, m_textHeight + 10, -10, -10);
    if (area.width() < 100 || area.height() < 100)
        return;
    const int below = layoutBelowGraph(area);
    int above = 0;
    if (m_origin) {
        above = std::max(m_origin->heightForWidth(area.width() - 20), m_textHeight + 6);
        m_origin->setGeometry(area.left() + 10, area.top() + m_textHeight + 2, area.width() - 20, above);
        above += 4;
    }
    m_graph->MoveGraph(area.adjusted(10, m_textHeight + above, -10, -10 - below));
    m_group->setGeometry(area);
    m_group->lower();
}

void CSingleGraphPage::GetPageGraphs(PageGraphs& list) const
{
    const_cast<CSingleGraphPage*>(this)->ensureBuilt();
    list.graphs[0] = m_graph;
    list.titles[0] = m_group ? m_group->title() : QString();
}

} // namespace nosk
