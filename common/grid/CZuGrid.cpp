#include "CZuGrid.h"

#include "CZuGridCells.h"
#include "CZuGridHeads.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

namespace nosk {

CZuGrid::CZuGrid(QWidget* parent)
    : QWidget(parent)
{
}

CZuGrid::~CZuGrid()
{
    // The editor gives the focus up before it goes, without committing.
    if (m_cells)
        m_cells->deleteEditor();
}

Prompt& CZuGrid::prompt() const
{
    return m_prompt ? *m_prompt : Platform::instance().prompt();
}

bool CZuGrid::Create(int x, int y, QWidget* parent, int id, CZuGridModel* model)
{
    if (m_cells || !model || rowCount < 0 || colCount < 0 || visibleRows <= 0 || visibleCols <= 0)
        return false;
    m_id = id;
    const int SX = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int SY = SX;
    const int RW = rowHeaderWidth, CH = colHeaderHeight, CW = cellWidth, RH = cellHeight;
    const int VR = visibleRows, VC = visibleCols, NR = rowCount, NC = colCount;

    const int width = SX + (CW + 1) * VC + RW + 4;
    const int height = CH + (RH + 1) * VR + SY + 4;
    if (parent)
        setParent(parent);
    setFont(QApplication::font());
    setFocusPolicy(Qt::TabFocus);
    setGeometry(x, y, width, height);

    auto rect = [](int left, int top, int right, int bottom) {
        return QRect(left, top, right - left, bottom - top);
    };

    m_vBar = new QScrollBar(Qt::Vertical, this);
    m_vBar->setGeometry(rect(width - SX - 1, CH + 2, width - 1, height - SY - 1));
    m_hBar = new QScrollBar(Qt::Horizontal, this);
    m_hBar->setGeometry(rect(RW + 2, height - SY - 1, width - SX - 1, height - 1));
    // The block's corner can go as far as the last full block: rows 0 to
    // NR - 1 with a page of VR leave the top row at most NR - VR.
    m_vBar->setRange(0, std::max(0, NR - VR));
    m_vBar->setPageStep(VR);
    m_vBar->setSingleStep(1);
    m_hBar->setRange(0, std::max(0, NC - VC));
    m_hBar->setPageStep(VC);
    m_hBar->setSingleStep(1);
    for (QScrollBar* bar : {m_vBar, m_hBar}) {
        bar->setFocusPolicy(Qt::NoFocus);
        bar->setValue(0);
    }
    m_vBar->setEnabled(NR > VR);
    m_hBar->setEnabled(NC > VC);

    m_headCol = new CZuGridHeadCol(this);
    m_headCol->setGeometry(rect(RW + 2, 1, RW + (CW + 1) * VC + 3, CH + 2));
    m_headCol->setup(NC, CW, CH, headerColor);

    m_headRow = new CZuGridHeadRow(this);
    m_headRow->setGeometry(rect(1, CH + 2, RW + 2, CH + (RH + 1) * VR + 3));
    m_headRow->setup(NR, RH, RW, headerColor);

    m_cells = new CZuGridCells(this, model);
    m_cells->setGeometry(rect(RW + 2, CH + 2, (CW + 1) * VC + RW + 3, CH + (RH + 1) * VR + 3));
    m_cells->refreshTexts();

    if (VC >= NC)
        m_hBar->hide();
    if (VR >= NR)
        m_vBar->hide();

    connect(m_vBar, &QScrollBar::valueChanged, this, &CZuGrid::onVerticalScroll);
    connect(m_hBar, &QScrollBar::valueChanged, this, &CZuGrid::onHorizontalScroll);
    show();
    return true;
}

void CZuGrid::SetColumnTitle(const QString& text, int column)
{
    if (m_headCol)
        m_headCol->setTitle(column, text);
}

void CZuGrid::SetRowTitle(const QString& text, int row)
{
    if (m_headRow)
        m_headRow->setTitle(row, text);
}

void CZuGrid::SetReadOnly(bool readOnly)
{
    if (m_cells)
        m_cells->setReadOnly(readOnly);
}

void CZuGrid::scrollToRow(int row)
{
    if (m_vBar)
        m_vBar->setValue(row);
}

void CZuGrid::scrollToColumn(int column)
{
    if (m_hBar)
        m_hBar->setValue(column);
}

void CZuGrid::scrollLine(Qt::Orientation orientation, int step)
{
    QScrollBar* bar = orientation == Qt::Vertical ? m_vBar : m_hBar;
    if (!bar)
        return;
    bar->triggerAction(step < 0 ? QAbstractSlider::SliderSingleStepSub : QAbstractSlider::SliderSingleStepAdd);
}

void CZuGrid::onVerticalScroll(int value)
{
    if (!m_cells || value == m_cells->topRow())
        return;
    // What was typed goes into the model before the editor moves.
    m_cells->Commit();
    m_cells->SetTopLeft(value, m_cells->leftColumn());
    m_headRow->setFirst(value);
}

void CZuGrid::onHorizontalScroll(int value)
{
    if (!m_cells || value == m_cells->leftColumn())
        return;
    m_cells->Commit();
    m_cells->SetTopLeft(m_cells->topRow(), value);
    m_headCol->setFirst(value);
}

void CZuGrid::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    if (!m_cells || m_cells->handingFocusBack())
        return;
    if (event->reason() == Qt::BacktabFocusReason && m_cells->editor()) {
        // Shift+Tab out of the editor: on to the control before the grid.
        focusPreviousChild();
        return;
    }
    if (m_cells->editor())
        m_cells->editor()->setFocus(Qt::OtherFocusReason);
    else
        m_cells->placeEditor(true);
}

void CZuGrid::keyPressEvent(QKeyEvent* event)
{
    if (m_cells && event->matches(QKeySequence::Copy)) {
        m_cells->copySelection();
        return;
    }
    if (m_cells && event->matches(QKeySequence::SelectAll)) {
        m_cells->selectAll();
        return;
    }
    // Without an editor (read-only, or the current cell scrolled away) the
    // grid itself takes the cell moves: Ctrl+arrows, and in a read-only grid
    // the plain arrows too; with Shift the selection grows.
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (m_cells && (ctrl || m_cells->isReadOnly())) {
        if (const int direction = arrowDirection(event->key())) {
            m_cells->cellMove(direction, (event->modifiers() & Qt::ShiftModifier) != 0);
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void CZuGrid::wheelEvent(QWheelEvent* event)
{
    QScrollBar* bar = (event->modifiers() & Qt::ShiftModifier) ? m_hBar : m_vBar;
    if (bar && bar->isVisible() && bar->isEnabled()) {
        int steps = event->angleDelta().y() / 120;
        if (steps != 0)
            bar->setValue(bar->value() - steps);
        event->accept();
        return;
    }
    QWidget::wheelEvent(event);
}

void CZuGrid::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace nosk
