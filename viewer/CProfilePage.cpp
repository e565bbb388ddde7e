#include "CProfilePage.h"

#include "CZuGraph.h"
#include "ChartMath.h"
#include "results/FitStatistics.h"

#include <QComboBox>

#include <algorithm>
#include <cmath>

namespace nosk {

namespace {
constexpr std::uint32_t kBlue = 0xC00000;  // colour refs: red in the low byte
constexpr std::uint32_t kRed = 0x0000C0;
} // namespace

CProfilePage::CProfilePage(const FitStatistics& statistics, int textHeight, QWidget* parent)
    : CSingleGraphPage(QString::fromLatin1(kTitle), kHelpContext, textHeight, parent), m_statistics(statistics)
{
    m_choice = new QComboBox(this);
    for (const ReportedProfile& p : statistics.profiles)
        m_choice->addItem(QStringLiteral("p[%1]").arg(p.number));
    m_choice->move(20, 4);
    m_choice->setToolTip(QStringLiteral("The parameter whose profile the graph shows"));
    connect(m_choice, &QComboBox::currentIndexChanged, this, &CProfilePage::showProfile);
}

void CProfilePage::showProfile(int index)
{
    if (index < 0 || index >= static_cast<int>(m_statistics.profiles.size()) || index == m_index)
        return;
    m_index = index;
    rebuild();
}

void CProfilePage::build()
{
    m_x.clear();
    m_s.clear();
    m_lowX.clear();
    m_highX.clear();
    m_edgeY.clear();
    int number = 0;
    if (m_index < static_cast<int>(m_statistics.profiles.size())) {
        const ReportedProfile& p = m_statistics.profiles[static_cast<std::size_t>(m_index)];
        number = p.number;
        m_x = p.value;
        m_s = p.S;
    }
    createGraph(QStringLiteral("Profile of p[%1]: S with the other parameters refitted").arg(number), 15, true);
    CZuGraph* g = graph();
    const int count = static_cast<int>(std::min(m_x.size(), m_s.size()));
    if (count > 0) {
        g->AddTrace(m_x.data(), m_s.data(), count, StyleLine | StyleDot, kBlue);
        g->nameLastTrace(QStringLiteral("S"));
        const auto [lo, hi] = std::minmax_element(m_s.begin(), m_s.begin() + count);
        m_edgeY = {*lo, *hi};
        for (const ReportedInterval& iv : m_statistics.intervals) {
            if (iv.number != number)
                continue;
            if (std::isfinite(iv.low)) {
                m_lowX = {iv.low, iv.low};
                g->AddTrace(m_lowX.data(), m_edgeY.data(), 2, StyleLine, kRed);
                g->nameLastTrace(QStringLiteral("Interval from"));
            }
            if (std::isfinite(iv.high)) {
                m_highX = {iv.high, iv.high};
                g->AddTrace(m_highX.data(), m_edgeY.data(), 2, StyleLine, kRed);
                g->nameLastTrace(QStringLiteral("Interval to"));
            }
        }
    }
    finishGraph(QStringLiteral("p[%1]").arg(number), QStringLiteral("S"));
}

} // namespace nosk
