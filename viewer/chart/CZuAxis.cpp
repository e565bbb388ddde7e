#include "CZuAxis.h"

#include "CZuAxisLabel.h"
#include "CZuGraph.h"
#include "CZuPlot.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace nosk {

namespace {
// The placeholder every new number label carries until its value is set.
const QString kPlaceholder = QStringLiteral("+8.8e-008");
} // namespace

CZuAxis::CZuAxis(AxisOrientation orientation, CZuGraph* graph, QWidget* parent)
    : QWidget(parent), m_graph(graph)
{
    m_metrics.orientation = orientation;
    m_scale.orientation = orientation;
    hide();
}

CZuAxis::~CZuAxis() = default;

AxisMetrics CZuAxis::measure() const
{
    AxisMetrics m;
    m.orientation = m_metrics.orientation;
    const QFontMetrics fm(m_graph->graphFont());
    const QString sample = m.orientation == AxisOrientation::Vertical
        ? QStringLiteral("-8.8+0010")
        : QStringLiteral("-8.8+0080");
    m.labelWidth = fm.horizontalAdvance(sample);
    m.labelHeight = fm.height();
    return m;
}

AxisPlacement CZuAxis::PlaceRect(int a, int from, int to) const
{
    return placeAxis(measure(), a, from, to);
}

QRect CZuAxis::toQRect(const ChartRect& r) const
{
    return QRect(r.left, r.top, r.width(), r.height());
}

void CZuAxis::Create(int a, int from, int to)
{
    m_metrics = measure();
    const AxisPlacement p = placeAxis(m_metrics, a, from, to);
    m_scale.maxEnd = p.maxEnd;
    m_scale.minEnd = p.minEnd;
    setGeometry(toQRect(p.rect));
    show();
    layoutLabels();
}

void CZuAxis::layoutLabels()
{
    delete m_title;
    delete m_maxLabel;
    delete m_minLabel;
    const QFont& font = m_graph->graphFont();
    const int R = width();
    const int B = height();
    const bool vertical = m_metrics.orientation == AxisOrientation::Vertical;
    if (vertical)
        m_title = new CZuVertLabel(QStringLiteral("Axis Y"), font, this);
    else
        m_title = new CZuAxisLabel(QStringLiteral("Axis X"), Qt::AlignHCenter, font, this);
    m_title->setGeometry(toQRect(axisTitleRect(m_metrics, R, B)));
    const Qt::Alignment numbers = vertical ? Qt::AlignRight : Qt::AlignHCenter;
    m_maxLabel = new CZuAxisLabel(kPlaceholder, numbers, font, this);
    m_maxLabel->setGeometry(toQRect(axisMaxLabelRect(m_metrics, R)));
    m_minLabel = new CZuAxisLabel(kPlaceholder, numbers, font, this);
    m_minLabel->setGeometry(toQRect(axisMinLabelRect(m_metrics, R, m_scale.minEnd)));
    m_title->show();
    m_maxLabel->show();
    m_minLabel->show();
}

void CZuAxis::deleteTickLabels()
{
    for (CZuAxisLabel* label : m_tickLabels)
        delete label;
    m_tickLabels.clear();
}

void CZuAxis::Clear()
{
    delete m_maxLabel;
    m_maxLabel = nullptr;
    delete m_minLabel;
    m_minLabel = nullptr;
    delete m_title;
    m_title = nullptr;
    deleteTickLabels();
}

void CZuAxis::SetRange(double min, double max)
{
    Clear();
    layoutLabels();
    Rebuild(min, max);
    update();
}

double CZuAxis::GetDataMin() const
{
    return 0;
}

double CZuAxis::GetDataMax() const
{
    return 0;
}

void CZuAxis::FormatAxisNumber(CZuAxisLabel* label, double v) const
{
    if (label)
        label->setText(QString::fromStdString(nosk::FormatAxisNumber(v)));
}

void CZuAxis::Rebuild(double min, double max)
{
    const TickResult r = rebuildRange(min, max, m_autoScale != 0, m_logScale != 0);
    m_rangeMin = r.min;
    m_rangeMax = r.max;
    m_ticks = r.ticks;
    m_scale.logScale = m_logScale != 0;
    m_scale.min = r.min;
    m_scale.max = r.max;

    if (!m_minLabel || !m_maxLabel)
        layoutLabels();
    FormatAxisNumber(m_maxLabel, m_rangeMax);
    FormatAxisNumber(m_minLabel, m_rangeMin);

    deleteTickLabels();
    const bool vertical = m_metrics.orientation == AxisOrientation::Vertical;
    const Qt::Alignment numbers = vertical ? Qt::AlignRight : Qt::AlignHCenter;
    const int R = width();
    for (double v : m_ticks) {
        auto* label = new CZuAxisLabel(kPlaceholder, numbers, m_graph->graphFont(), this);
        label->setGeometry(toQRect(axisTickLabelRect(m_metrics, m_scale, R, v)));
        FormatAxisNumber(label, v);
        label->show();
        m_tickLabels.push_back(label);
    }

    // Hide labels that would overwrite their neighbours. A vertical axis
    // without ticks keeps both end labels.
    m_minLabel->show();
    m_maxLabel->show();
    if (vertical && m_ticks.empty())
        return;
    std::vector<ChartRect> rects;
    std::vector<CZuAxisLabel*> labels;
    auto add = [&](CZuAxisLabel* l) {
        const QRect g = l->geometry();
        rects.push_back({g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
        labels.push_back(l);
    };
    add(m_minLabel);
    for (CZuAxisLabel* l : m_tickLabels)
        add(l);
    add(m_maxLabel);
    const std::vector<bool> visible = suppressOverlaps(rects);
    for (size_t i = 0; i < labels.size(); ++i)
        labels[i]->setVisible(visible[i]);
}

void CZuAxis::Draw(QPainter& painter, bool printing) const
{
    if (printing) {
        if (m_maxLabel)
            m_maxLabel->paintLabel(painter);
        if (m_minLabel)
            m_minLabel->paintLabel(painter);
        for (const CZuAxisLabel* l : m_tickLabels)
            l->paintLabel(painter);
        if (m_title)
            m_title->paintLabel(painter);
    }
    painter.save();
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    if (m_metrics.orientation == AxisOrientation::Vertical) {
        const int R = width();
        const int top = m_scale.maxEnd;
        const int bottom = m_scale.minEnd;
        const QPoint frame[] = {{R - 4, top}, {R - 1, top}, {R - 1, bottom}, {R - 5, bottom}};
        painter.drawPolyline(frame, 4);
        for (double v : m_ticks) {
            const int y = top + m_scale.MapValue(v);
            painter.drawLine(R - 4, y, R - 1, y);
        }
    } else {
        const int left = m_scale.minEnd;
        const int right = m_scale.maxEnd;
        const QPoint frame[] = {{right, 4}, {right, 0}, {left, 0}, {left, 4}};
        painter.drawPolyline(frame, 4);
        for (double v : m_ticks) {
            const int x = left + m_scale.MapValue(v);
            painter.drawLine(x, 4, x, 0);
        }
    }
    painter.restore();
}

void CZuAxis::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Draw(painter, false);
}

void CZuAxis::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        m_graph->openAxisDialog(this);
        return;
    }
    QWidget::mousePressEvent(event);
}

CZuAxisX::CZuAxisX(CZuGraph* graph, QWidget* parent)
    : CZuAxis(AxisOrientation::Horizontal, graph, parent)
{
}

double CZuAxisX::GetDataMin() const
{
    return graph()->plot()->extremes().minX;
}

double CZuAxisX::GetDataMax() const
{
    return TruncateSignificant(graph()->plot()->extremes().maxX, 2);
}

CZuAxisY::CZuAxisY(CZuGraph* graph, QWidget* parent)
    : CZuAxis(AxisOrientation::Vertical, graph, parent)
{
}

double CZuAxisY::GetDataMin() const
{
    return graph()->plot()->extremes().minY;
}

double CZuAxisY::GetDataMax() const
{
    return graph()->plot()->extremes().maxY;
}

} // namespace nosk
