#include "CZuLegendDlg.h"

#include "ChartMath.h"
#include "CZuTrace.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace nosk {

CZuLegendSample::CZuLegendSample(QWidget* parent) : QWidget(parent)
{
    setFixedSize(64, 20);
}

void CZuLegendSample::setEntry(const LegendEntry* entry)
{
    m_entry = entry;
    update();
}

void CZuLegendSample::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_entry)
        return;
    const QColor color = ColorFromRef(m_entry->color);
    const int style = m_entry->style;
    const int w = width();
    const int y = height() / 2;
    painter.setPen(QPen(color, 1));
    painter.setBrush(Qt::white);
    for (int x : {9, w / 2, w - 9}) {
        if (style & StyleDot)
            painter.drawRect(x - 1, y - 1, 2, 2);
        if (style & StyleCross) {
            painter.drawLine(x - 2, y - 2, x + 2, y + 2);
            painter.drawLine(x + 2, y - 2, x - 2, y + 2);
        }
    }
    if (style & StyleDash)
        painter.setPen(QPen(color, 1, Qt::DotLine));
    if (style & StyleLine)
        painter.drawLine(9, y, w - 9, y);
}

CZuLegendDlg::CZuLegendDlg(QWidget* parent) : CZuHelpDialog(kLegendHelpContext, parent)
{
    setWindowTitle(QStringLiteral("Graph Legend"));
    auto* grid = new QGridLayout(this);
    for (int i = 0; i < 2; ++i) {
        m_lines[i] = new QLabel(this);
        grid->addWidget(m_lines[i], i, 0, 1, 3);
    }
    for (int i = 0; i < 2; ++i) {
        m_samples[i] = new CZuLegendSample(this);
        m_names[i] = new QLabel(this);
        grid->addWidget(m_samples[i], 2 + i, 0);
        grid->addWidget(m_names[i], 2 + i, 1, 1, 2);
    }
    m_print = new QPushButton(QStringLiteral("Print graph..."), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    grid->addWidget(m_print, 4, 0);
    grid->addWidget(cancel, 4, 2);
    cancel->setDefault(true);
    connect(m_print, &QPushButton::clicked, this, [this] { done(kLegendPrintResult); });
    connect(cancel, &QPushButton::clicked, this, &CZuLegendDlg::reject);
}

void CZuLegendDlg::setLines(const QString& first, const QString& second)
{
    m_first = first;
    m_second = second;
}

void CZuLegendDlg::AddEntry(const QString& name, std::uint32_t color, int style)
{
    if (m_count >= 2)
        return;
    m_entries[m_count] = {name, color, style};
    ++m_count;
}

void CZuLegendDlg::showEvent(QShowEvent* event)
{
    m_lines[0]->setText(m_first);
    m_lines[1]->setText(m_second);
    for (int i = 0; i < 2; ++i) {
        m_names[i]->setText(i < m_count ? m_entries[i].name : QString());
        m_samples[i]->setEntry(&m_entries[i]);
    }
    m_samples[1]->setVisible(m_count >= 2);
    CZuHelpDialog::showEvent(event);
}

} // namespace nosk
