#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QScrollBar;

namespace nosk {

class CZuGridCells;
class CZuGridHeadCol;
class CZuGridHeadRow;
class CZuGridModel;
class Prompt;

// The table control of both programs: a block of cells of fixed size with a
// row header, a column header and two scroll bars; one cell at a time is
// edited in place and its text goes through the owner's model. The grid
// never owns the data or the model.
//
// Set the fields, then Create; a grid of another size is a new grid.
class CZuGrid : public QWidget {
    Q_OBJECT
public:
    explicit CZuGrid(QWidget* parent = nullptr);
    ~CZuGrid() override;

    // Nothing to register with Qt; kept so that both programs' start reads
    // as it always has.
    static void RegisterClasses() {}

    // Builds the parts over the model at (x, y) of parent; the size follows
    // from the fields. False when the grid cannot be made.
    bool Create(int x, int y, QWidget* parent, int id, CZuGridModel* model);
    void SetColumnTitle(const QString& text, int column);
    void SetRowTitle(const QString& text, int row);
    // While set no editor opens; moving and scrolling still work.
    void SetReadOnly(bool readOnly);

    // Who shows "Wrong value!" (the platform's prompt when not set).
    void setPrompt(Prompt* prompt) { m_prompt = prompt; }
    Prompt& prompt() const;

    // --- fields, set before Create ---
    int rowHeaderWidth = 60;
    int colHeaderHeight = 12;
    int cellWidth = 60;
    int cellHeight = 12;
    int rowCount = 0;
    int colCount = 0;
    QColor cellColor = QColor(255, 255, 255);
    QColor headerColor = QColor(0, 255, 255);
    int visibleRows = 5;
    int visibleCols = 3;

    int id() const { return m_id; }
    CZuGridCells* cells() const { return m_cells; }
    CZuGridHeadCol* columnHeader() const { return m_headCol; }
    CZuGridHeadRow* rowHeader() const { return m_headRow; }
    QScrollBar* verticalBar() const { return m_vBar; }
    QScrollBar* horizontalBar() const { return m_hBar; }

    // What the scroll bars do, by table row or column of the block's corner.
    void scrollToRow(int row);
    void scrollToColumn(int column);
    // One line up (-1) or down (+1), left or right; what the cell moves ask.
    void scrollLine(Qt::Orientation orientation, int step);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void onVerticalScroll(int value);
    void onHorizontalScroll(int value);

    int m_id = 0;
    CZuGridHeadCol* m_headCol = nullptr;
    CZuGridHeadRow* m_headRow = nullptr;
    CZuGridCells* m_cells = nullptr;
    QScrollBar* m_vBar = nullptr;
    QScrollBar* m_hBar = nullptr;
    Prompt* m_prompt = nullptr;
};

} // namespace nosk
