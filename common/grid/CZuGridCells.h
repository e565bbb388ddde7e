#pragma once

#include <QColor>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace nosk {

class CZuGrid;
class CZuGridModel;

// The cell step of an arrow key: Right 1, Left 2, Up 3, Down 4; 0 for any
// other key.
int arrowDirection(int key);

// The in-place editor of the current cell.
class CZuCellEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CZuCellEdit(QWidget* parent);

    // Set while a commit runs, so that the focus the refusal box takes does
    // not commit a second time.
    int m_committing = 0;

signals:
    void lostFocus(CZuCellEdit* editor);
    // Ctrl+Right 1, Ctrl+Left 2, Ctrl+Up 3, Ctrl+Down 4.
    void moveRequested(int direction);
    // Ctrl+Shift+arrows: the same steps, widening the selection.
    void extendRequested(int direction);
    // Ctrl+C with no text selected in the editor: copy the selected cells.
    void copyRequested();
    void backtabRequested();
    // Enter or Return: take the text into the table now.
    void commitRequested();

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
};

// The cells: the visible block of the table, drawn from the texts the model
// gives, with the editor over the current cell. Coordinates named row and
// column are those of the whole table; the visible block starts at the top
// row and the left column.
class CZuGridCells : public QWidget {
    Q_OBJECT
public:
    CZuGridCells(CZuGrid* grid, CZuGridModel* model);

    // Shows the block from this table row and column on and re-places the
    // editor.
    void SetTopLeft(int row, int column);
    // Reads the texts of the visible block from the model again.
    void refreshTexts();
    // Takes the editor's text into the model when the model accepts it;
    // otherwise "Wrong value!" and nothing is stored.
    void Commit();
    // Puts an editor on the current cell when that is visible.
    void placeEditor(bool focus);
    void deleteEditor();
    // One step of the current cell (directions as CZuCellEdit), scrolling
    // the block when the new cell is outside it.
    // With extend the selection grows from its anchor to the new cell;
    // otherwise it is the new cell alone.
    void cellMove(int direction, bool extend = false);
    // What a click on a point of the cell area does (Shift: extend).
    void clickAt(const QPoint& point, bool extend = false);

    // The selection: the rectangle between the anchor cell and the current
    // cell, in table coordinates (x column, y row).
    QRect selection() const;
    void selectAll();
    // The selected cells as tab-separated text: the model's texts, cells
    // split by tabs, rows ended by line breaks.
    QString selectedText() const;
    // Puts selectedText() on the clipboard.
    void copySelection() const;

    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }
    int topRow() const { return m_topRow; }
    int leftColumn() const { return m_leftColumn; }
    int currentRow() const { return m_currentRow; }
    int currentColumn() const { return m_currentColumn; }
    CZuCellEdit* editor() const { return m_editor; }
    CZuGridModel* model() const { return m_model; }
    // True while the editor hands the focus back to the grid on its removal.
    bool handingFocusBack() const { return m_handingFocusBack; }
    // The text shown in a cell of the visible block (with its trailing blank).
    QString cellText(int visibleRow, int visibleColumn) const;
    // The visible cell under a point, or false for a grid line or outside.
    bool cellAt(const QPoint& point, int& visibleRow, int& visibleColumn) const;
    QRect cellRect(int visibleRow, int visibleColumn) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // Makes (row, column) the current cell; the anchor follows unless extend.
    void setCurrent(int row, int column, bool extend);
    void onLostFocus(CZuCellEdit* editor);
    void postedCommit(QPointer<CZuCellEdit> editor);
    bool inTable(int row, int column) const;

    CZuGrid* m_grid;
    bool m_readOnly = false;
    int m_visibleRows;
    int m_visibleColumns;
    int m_topRow = 0;
    int m_leftColumn = 0;
    int m_currentRow = 0;
    int m_currentColumn = 0;
    int m_anchorRow = 0;
    int m_anchorColumn = 0;
    std::vector<QString> m_texts;  // visible rows x visible columns
    CZuGridModel* m_model;
    QPointer<CZuCellEdit> m_editor;
    bool m_handingFocusBack = false;
};

} // namespace nosk
