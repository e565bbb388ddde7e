#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <vector>

namespace nosk {

// A header strip: one label per column (or row) of the whole table, of
// which the strip shows those from the first visible one on. Scrolling moves
// the labels; only the visible ones are drawn.
class CZuGridHead : public QWidget {
    Q_OBJECT
public:
    CZuGridHead(Qt::Orientation orientation, QWidget* parent);

    // count labels; each is `length` pixels along the strip plus the
    // one-pixel grid line, `thickness` pixels across.
    void setup(int count, int length, int thickness, const QColor& color);
    void setTitle(int index, const QString& title);
    QString title(int index) const;
    // The first visible label (the header scrolls with the cells).
    void setFirst(int first);
    int first() const { return m_first; }
    int count() const { return static_cast<int>(m_titles.size()); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Orientation m_orientation;
    std::vector<QString> m_titles;
    int m_length = 0;
    int m_thickness = 0;
    int m_first = 0;
    QColor m_color;
};

// The column header above the cells ("col %i ") and the row header left of
// them ("%i ").
class CZuGridHeadCol : public CZuGridHead {
    Q_OBJECT
public:
    explicit CZuGridHeadCol(QWidget* parent)
        : CZuGridHead(Qt::Horizontal, parent)
    {
    }
};

class CZuGridHeadRow : public CZuGridHead {
    Q_OBJECT
public:
    explicit CZuGridHeadRow(QWidget* parent)
        : CZuGridHead(Qt::Vertical, parent)
    {
    }
};

} // namespace nosk
