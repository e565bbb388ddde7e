#pragma once

#include <QFrame>

#include <cstdint>

namespace nosk {

class Prompt;

// A colour swatch: filled with its colour; a click opens the colour chooser
// of the prompt with that colour and takes the chosen one.
class CZuColorBox : public QFrame {
    Q_OBJECT
public:
    // colour with red in the low byte, like the traces.
    CZuColorBox(std::uint32_t color, Prompt* prompt, QWidget* parent);

    std::uint32_t color() const { return m_color; }
    void setColor(std::uint32_t color);
    // Opens the chooser as a click does.
    void chooseColor();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::uint32_t m_color;
    Prompt* m_prompt;
};

} // namespace nosk
