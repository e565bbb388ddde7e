#pragma once

#include <QLabel>

class QPainter;

namespace nosk {

// A number or title label of an axis. On screen it paints itself; when the
// axis is drawn for printing or export it renders its text into the axis's
// painter at its own position.
class CZuAxisLabel : public QLabel {
    Q_OBJECT
public:
    CZuAxisLabel(const QString& text, Qt::Alignment alignment, const QFont& font,
                 QWidget* axis);

    // Renders the text at the label's rectangle in axis coordinates; only a
    // label that is not hidden is rendered.
    void paintLabel(QPainter& painter) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    virtual void renderText(QPainter& painter, const QRect& rect) const;
};

// The vertical axis title: the text rotated by 90 degrees, reading upward,
// centred along the label at column 2, on a transparent background.
class CZuVertLabel : public CZuAxisLabel {
    Q_OBJECT
public:
    CZuVertLabel(const QString& text, const QFont& font, QWidget* axis);

protected:
    void renderText(QPainter& painter, const QRect& rect) const override;
};

} // namespace nosk
