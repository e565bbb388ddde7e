#include "CZuGridCells.h"

#include "CZuGrid.h"
#include "CZuGridHeads.h"
#include "CZuGridModel.h"
#include "core/Prompt.h"

#include <QClipboard>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace nosk {

int arrowDirection(int key)
{
    switch (key) {
    case Qt::Key_Right: return 1;
    case Qt::Key_Left: return 2;
    case Qt::Key_Up: return 3;
    case Qt::Key_Down: return 4;
    default: return 0;
    }
}

CZuCellEdit::CZuCellEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setFrame(false);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setTextMargins(0, 0, 0, 0);
    setContentsMargins(0, 0, 0, 0);
}

void CZuCellEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // The editor's own context menu takes the focus only for a moment.
    if (m_committing == 0 && event->reason() != Qt::PopupFocusReason)
        emit lostFocus(this);
}

bool CZuCellEdit::event(QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QLineEdit::event(event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Backtab) {
        emit backtabRequested();
        return true;
    }
    // Text selected in the editor is copied as in any edit box.
    if (key->matches(QKeySequence::Copy) && !hasSelectedText()) {
        emit copyRequested();
        return true;
    }
    const Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        if (const int direction = arrowDirection(key->key())) {
            emit extendRequested(direction);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CZuCellEdit::keyPressEvent(QKeyEvent* event)
{
    // Enter commits the cell and stays in it; the key goes no further, so it
    // never reaches the window's default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && !(event->modifiers() & ~Qt::KeypadModifier)) {
        emit commitRequested();
        event->accept();
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        if (const int direction = arrowDirection(event->key()))
            emit moveRequested(direction);
    }
    QLineEdit::keyPressEvent(event);
}

CZuGridCells::CZuGridCells(CZuGrid* grid, CZuGridModel* model)
    : QWidget(grid)
    , m_grid(grid)
    , m_visibleRows(grid->visibleRows)
    , m_visibleColumns(grid->visibleCols)
    , m_texts(static_cast<std::size_t>(grid->visibleRows * grid->visibleCols))
    , m_model(model)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

bool CZuGridCells::inTable(int row, int column) const
{
    return row >= 0 && column >= 0 && row < m_grid->rowCount && column < m_grid->colCount;
}

QRect CZuGridCells::cellRect(int i, int j) const
{
    return QRect(j * (m_grid->cellWidth + 1) + 1, i * (m_grid->cellHeight + 1) + 1, m_grid->cellWidth,
                 m_grid->cellHeight);
}

QString CZuGridCells::cellText(int i, int j) const
{
    if (i < 0 || j < 0 || i >= m_visibleRows || j >= m_visibleColumns)
        return {};
    return m_texts[static_cast<std::size_t>(i * m_visibleColumns + j)];
}

void CZuGridCells::refreshTexts()
{
    for (int i = 0; i < m_visibleRows; ++i)
        for (int j = 0; j < m_visibleColumns; ++j) {
            int row = m_topRow + i, column = m_leftColumn + j;
            // A block larger than the table shows empty cells past its end.
            m_texts[static_cast<std::size_t>(i * m_visibleColumns + j)] = inTable(row, column)
                ? QString::fromStdString(m_model->GetText(column, row)) + QLatin1Char(' ')
                : QString();
        }
    update();
}

void CZuGridCells::SetTopLeft(int row, int column)
{
    m_topRow = row;
    m_leftColumn = column;
    refreshTexts();
    placeEditor(true);
}

void CZuGridCells::deleteEditor()
{
    if (!m_editor)
        return;
    CZuCellEdit* e = m_editor;
    m_editor = nullptr;
    e->m_committing = 1;
    bool hadFocus = e->hasFocus();
    e->hide();
    e->deleteLater();
    // Keep the keyboard in the grid, not with whatever control comes next.
    if (hadFocus) {
        m_handingFocusBack = true;
        m_grid->setFocus(Qt::OtherFocusReason);
        m_handingFocusBack = false;
    }
}

void CZuGridCells::placeEditor(bool focus)
{
    if (m_readOnly)
        return;
    deleteEditor();
    int i = m_currentRow - m_topRow;
    int j = m_currentColumn - m_leftColumn;
    if (i < 0 || i >= m_visibleRows || j < 0 || j >= m_visibleColumns || !inTable(m_currentRow, m_currentColumn))
        return;
    auto* e = new CZuCellEdit(this);
    e->setGeometry(cellRect(i, j));
    e->setFont(m_grid->font());
    e->setText(QString::fromStdString(m_model->GetText(m_currentColumn, m_currentRow)));
    e->setModified(false);
    e->setCursorPosition(0);
    connect(e, &CZuCellEdit::lostFocus, this, &CZuGridCells::onLostFocus);
    connect(e, &CZuCellEdit::moveRequested, this, [this](int d) {
        // Posted: the move runs after the key has been handled.
        QMetaObject::invokeMethod(this, [this, d] { cellMove(d); }, Qt::QueuedConnection);
    });
    connect(e, &CZuCellEdit::commitRequested, this, [this, e] {
        if (m_editor != e || m_readOnly)
            return;
        Commit();
        // The cell shows the value as the table keeps it.
        if (m_editor == e) {
            e->setText(QString::fromStdString(m_model->GetText(m_currentColumn, m_currentRow)));
            e->setModified(false);
            e->selectAll();
        }
    });
    connect(e, &CZuCellEdit::extendRequested, this, [this](int d) {
        QMetaObject::invokeMethod(this, [this, d] { cellMove(d, true); }, Qt::QueuedConnection);
    });
    connect(e, &CZuCellEdit::copyRequested, this, &CZuGridCells::copySelection);
    connect(e, &CZuCellEdit::backtabRequested, this, [this] { m_grid->setFocus(Qt::BacktabFocusReason); });
    m_editor = e;
    e->show();
    if (focus)
        e->setFocus(Qt::OtherFocusReason);
}

void CZuGridCells::onLostFocus(CZuCellEdit* editor)
{
    // Posted, so that the commit runs after the focus change has finished.
    QPointer<CZuCellEdit> e(editor);
    QMetaObject::invokeMethod(this, [this, e] { postedCommit(e); }, Qt::QueuedConnection);
}

void CZuGridCells::postedCommit(QPointer<CZuCellEdit> editor)
{
    // Only for the editor that lost the focus, and only when it did not get
    // the focus back in the meantime.
    if (!editor || editor != m_editor || editor->hasFocus() || editor->m_committing || m_readOnly)
        return;
    Commit();
    deleteEditor();
}

void CZuGridCells::Commit()
{
    if (!m_editor)
        return;
    CZuCellEdit* e = m_editor;
    if (e->m_committing)
        return;  // already being committed further up
    // A text the user did not touch is not read back: the shown text is
    // rounded and would overwrite the full value.
    if (!e->isModified())
        return;
    e->m_committing = 1;
    std::string text = e->text().toStdString();
    if (m_model->Validate(text)) {
        m_model->SetText(m_currentColumn, m_currentRow, text);
        int i = m_currentRow - m_topRow, j = m_currentColumn - m_leftColumn;
        if (i >= 0 && i < m_visibleRows && j >= 0 && j < m_visibleColumns)
            m_texts[static_cast<std::size_t>(i * m_visibleColumns + j)] =
                QString::fromStdString(m_model->GetText(m_currentColumn, m_currentRow)) + QLatin1Char(' ');
        update();
        if (m_editor == e) {
            e->setModified(false);
            e->m_committing = 0;
        }
    } else {
        m_grid->prompt().message("Wrong value!", "", Buttons::Ok);
        // The caller removes the editor; the refused text goes with it.
        if (m_editor == e) {
            e->setText(QString::fromStdString(m_model->GetText(m_currentColumn, m_currentRow)));
            e->setModified(false);
            e->m_committing = 0;
        }
    }
}

void CZuGridCells::cellMove(int direction, bool extend)
{
    int row = m_currentRow, column = m_currentColumn;
    switch (direction) {
    case 1: ++column; break;
    case 2: --column; break;
    case 3: --row; break;
    case 4: ++row; break;
    default: return;
    }
    if (!inTable(row, column))
        return;
    Commit();
    deleteEditor();
    setCurrent(row, column, extend);
    if (row - m_topRow >= 0 && row - m_topRow < m_visibleRows && column - m_leftColumn >= 0
        && column - m_leftColumn < m_visibleColumns) {
        placeEditor(true);
        return;
    }
    if (column < m_leftColumn)
        m_grid->scrollLine(Qt::Horizontal, -1);
    else if (column >= m_leftColumn + m_visibleColumns)
        m_grid->scrollLine(Qt::Horizontal, +1);
    else if (row < m_topRow)
        m_grid->scrollLine(Qt::Vertical, -1);
    else
        m_grid->scrollLine(Qt::Vertical, +1);
}

bool CZuGridCells::cellAt(const QPoint& point, int& i, int& j) const
{
    int x = point.x() - 1, y = point.y() - 1;
    if (x < 0 || y < 0)
        return false;
    int stepX = m_grid->cellWidth + 1, stepY = m_grid->cellHeight + 1;
    j = x / stepX;
    i = y / stepY;
    if (x % stepX >= m_grid->cellWidth || y % stepY >= m_grid->cellHeight)
        return false;  // a grid line
    return i < m_visibleRows && j < m_visibleColumns;
}

void CZuGridCells::clickAt(const QPoint& point, bool extend)
{
    int i = 0, j = 0;
    if (!cellAt(point, i, j))
        return;
    // Cells past the end of a small table hold nothing to edit.
    if (!inTable(m_topRow + i, m_leftColumn + j))
        return;
    Commit();
    deleteEditor();
    setCurrent(m_topRow + i, m_leftColumn + j, extend);
    if (!m_readOnly)
        placeEditor(true);
}

void CZuGridCells::setCurrent(int row, int column, bool extend)
{
    m_currentRow = row;
    m_currentColumn = column;
    if (!extend) {
        m_anchorRow = row;
        m_anchorColumn = column;
    }
    update();
}

QRect CZuGridCells::selection() const
{
    return QRect(QPoint(std::min(m_anchorColumn, m_currentColumn), std::min(m_anchorRow, m_currentRow)),
                 QPoint(std::max(m_anchorColumn, m_currentColumn), std::max(m_anchorRow, m_currentRow)));
}

void CZuGridCells::selectAll()
{
    if (m_grid->rowCount <= 0 || m_grid->colCount <= 0)
        return;
    // From the first cell to the last one, which becomes the current cell.
    Commit();
    deleteEditor();
    m_anchorRow = 0;
    m_anchorColumn = 0;
    m_currentRow = m_grid->rowCount - 1;
    m_currentColumn = m_grid->colCount - 1;
    update();
}

QString CZuGridCells::selectedText() const
{
    const QRect sel = selection();
    QString text;
    const bool block = sel.width() * sel.height() > 1;
    // A block of a grid whose rows have titles of their own (the statistics'
    // "Std dev of parameters", the parameters' names), not the numbers every
    // row header starts with: each row starts with its title, so that the
    // pasted table says what its rows are.
    bool rowTitles = false;
    if (block && m_grid->rowHeader())
        for (int row = sel.top(); row <= sel.bottom() && !rowTitles; ++row) {
            const QString title = m_grid->rowHeader()->title(row).trimmed();
            rowTitles = !title.isEmpty() && title != QString::number(row);
        }
    // More than one cell: the column titles first, so that the pasted table
    // says what its columns are.
    if (block && m_grid->columnHeader()) {
        if (rowTitles)
            text += QLatin1Char('\t');
        for (int column = sel.left(); column <= sel.right(); ++column) {
            if (column > sel.left())
                text += QLatin1Char('\t');
            text += m_grid->columnHeader()->title(column).trimmed();
        }
        text += QLatin1Char('\n');
    }
    for (int row = sel.top(); row <= sel.bottom(); ++row) {
        if (rowTitles)
            text += m_grid->rowHeader()->title(row).trimmed() + QLatin1Char('\t');
        for (int column = sel.left(); column <= sel.right(); ++column) {
            if (column > sel.left())
                text += QLatin1Char('\t');
            if (inTable(row, column))
                text += QString::fromStdString(m_model->GetText(column, row)).trimmed();
        }
        text += QLatin1Char('\n');
    }
    return text;
}

void CZuGridCells::copySelection() const
{
    if (m_grid->rowCount <= 0 || m_grid->colCount <= 0)
        return;
    // What was typed into the current cell is copied as the model holds it.
    const_cast<CZuGridCells*>(this)->Commit();
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(selectedText());
}

void CZuGridCells::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (readOnly)
        deleteEditor();
}

void CZuGridCells::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        // A read-only grid has no editor to take the keys: the grid does.
        if (m_readOnly)
            m_grid->setFocus(Qt::MouseFocusReason);
        clickAt(event->position().toPoint(), (event->modifiers() & Qt::ShiftModifier) != 0);
    }
    event->accept();
}

void CZuGridCells::mouseMoveEvent(QMouseEvent* event)
{
    // Dragging with the left button selects a block of the visible cells.
    int i = 0, j = 0;
    if ((event->buttons() & Qt::LeftButton) && cellAt(event->position().toPoint(), i, j)
        && inTable(m_topRow + i, m_leftColumn + j)
        && (m_topRow + i != m_currentRow || m_leftColumn + j != m_currentColumn))
        clickAt(event->position().toPoint(), true);
    event->accept();
}

void CZuGridCells::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    // The black background between the cells draws the grid lines.
    p.fillRect(event->rect(), Qt::black);
    p.setFont(m_grid->font());
    p.setPen(Qt::black);
    const QRect sel = selection();
    const bool block = sel.width() > 1 || sel.height() > 1;
    const QColor selected(204, 228, 247);
    for (int i = 0; i < m_visibleRows; ++i)
        for (int j = 0; j < m_visibleColumns; ++j) {
            QRect r = cellRect(i, j);
            if (!r.intersects(event->rect()))
                continue;
            const int row = m_topRow + i, column = m_leftColumn + j;
            const bool current = row == m_currentRow && column == m_currentColumn;
            p.fillRect(r, block && sel.contains(column, row) && inTable(row, column) ? selected : m_grid->cellColor);
            p.drawText(r, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, cellText(i, j));
            if (current && !m_editor && inTable(row, column)) {
                // Where the editor would be: a frame around the current cell.
                p.save();
                p.setPen(QPen(QColor(0, 90, 170), 1));
                p.drawRect(r.adjusted(0, 0, -1, -1));
                p.restore();
            }
        }
}

} // namespace nosk
