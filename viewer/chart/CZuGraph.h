#pragma once

#include "ChartMath.h"

#include <QFont>
#include <QFrame>
#include <QPicture>

#include <cstdint>

class QPainter;
class QPrinter;
class QToolButton;

namespace nosk {

class CZuAxis;
class CZuAxisX;
class CZuAxisY;
class CZuPlot;
class Prompt;

// Plays a picture made by MakeMetafile / MakeTitledMetafile so that its frame
// (the picture's bounding rectangle) fills target, on any device: the screen,
// an image or a printer of any resolution.
void PlayMetafile(QPainter& painter, const QPicture& picture, const QRect& target);

// A graph: a horizontal and a vertical axis, a plot area with traces and the
// small corner buttons "M" (enlarge), "m" (restore) and "x" (legend). The
// owner creates it, sets flags, ranges and help contexts, adds traces over
// arrays it keeps alive, calls UpdateRanges and then sets the axis titles.
class CZuGraph : public QFrame {
    Q_OBJECT
public:
    // Create() shows the graph at once when the style has this bit.
    static constexpr int kStyleVisible = 0x10000000;

    explicit CZuGraph(QWidget* parent = nullptr);
    ~CZuGraph() override;

    // Places the graph at rect in parent (parent coordinates), lays out the
    // axes (each rebuilt for 0 to 100), the plot area and the buttons.
    virtual bool Create(const QRect& rect, QWidget* parent, int id, int style,
                        int showSizeButtons);
    // Each axis with auto or log scale takes the traces' extremes, a manual
    // axis keeps its range. The titles are reset to "Axis X" / "Axis Y":
    // set them after this call.
    virtual void UpdateRanges();
    virtual bool KeepsFullFrame() const { return false; }

    // Appends a trace over caller-owned arrays; no redraw, no range update.
    void AddTrace(const double* x, const double* y, int count, int style,
                  std::uint32_t color);
    // Names the last trace added (the trace dialog lists it by that name).
    void nameLastTrace(const QString& name);
    // Draws the last trace added with a solid line `width` pixels wide.
    void widenLastTrace(int width);
    // Moves and resizes the graph and lays it out again.
    void MoveGraph(const QRect& rect);
    // The rectangles used by "m" and "M".
    void SetPositions(const QRect& normal, const QRect& enlarged);

    // The graph drawn as for printing: labels as text, the plot's border.
    // The frame (bounding rectangle) is the client area.
    QPicture MakeMetafile(QPaintDevice* reference = nullptr) const;
    // The same below a title band of half the horizontal axis's height
    // (at least the title's line and a margin above and below it), with the
    // title centred over the horizontal axis's width.
    QPicture MakeTitledMetafile(QPaintDevice* reference, const QString& title) const;
    // The frame of the titled picture: the client area with the title band.
    QRect TitledSize() const;
    // The height of that title band, and the margin around the title in it.
    int titleBand() const;
    static constexpr int kTitleMargin = 4;
    // Asks for a printer and prints the graph on one page.
    void PrintGraph();
    // Prints on a printer that is already set up; false after a reported
    // failure.
    bool printGraphOn(QPrinter& printer);
    // Draws the graph for a printer page of the given size (device pixels):
    // the largest whole multiple of its size, left-aligned, centred vertically.
    void renderForPrinter(QPainter& painter, const QSize& page) const;

    // The one paint routine of pictures, printer and images: the axes and
    // the plot area at their places, moved down by yShift.
    void paint(QPainter& painter, bool printing, int yShift = 0) const;

    CZuAxisX* axisX() const { return m_axisX; }
    CZuAxisY* axisY() const { return m_axisY; }
    CZuPlot* plot() const { return m_plot; }
    QWidget* client() const { return m_client; }
    QSize clientSize() const;
    const QFont& graphFont() const { return m_font; }
    int id() const { return m_id; }
    bool isCreated() const { return m_created; }

    int traceHelpContext() const { return m_traceHelpContext; }
    int axisHelpContext() const { return m_axisHelpContext; }
    void setHelpContexts(int axisDialog, int traceDialog)
    {
        m_axisHelpContext = axisDialog;
        m_traceHelpContext = traceDialog;
    }
    int& showLegendButton() { return m_showLegendButton; }

    // Message boxes and the colour chooser of the trace dialog go here.
    void setPrompt(Prompt* prompt) { m_prompt = prompt; }
    Prompt* getPrompt() const { return m_prompt; }

    QToolButton* enlargeButton() const { return m_enlarge; }
    QToolButton* restoreButton() const { return m_restore; }
    QToolButton* legendButton() const { return m_legend; }
    QRect normalRect() const { return m_normalRect; }
    QRect enlargedRect() const { return m_enlargedRect; }

    // Right clicks of the axes and the plot area open these.
    void openAxisDialog(CZuAxis* axis);
    void openTraceDialog();
    // Schedules a paint of the whole graph: axes, plot area and client.
    void repaintAll();

signals:
    // 3024: restored is 0 after "M" (enlarged) and 1 after "m" (restored).
    void graphResized(int restored, nosk::CZuGraph* graph);
    // 3025: the "x" button; the owner shows the legend.
    void graphClose(int zero, nosk::CZuGraph* graph);
    // F1 in the axis or trace dialog, with the graph's help context.
    void helpRequested(int context);

public slots:
    void onEnlarge();
    void onRestore();
    void onLegend();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // The client area for a graph rectangle (the sunken edge taken off).
    static QSize clientSizeFor(const QSize& outer);

private:
    void layoutChildren(bool rebuildWithData);
    void placeButtons();
    void message(const char* text);

    int m_traceHelpContext = 0;
    int m_axisHelpContext = 0;
    QFont m_font;
    QWidget* m_client;
    CZuAxisX* m_axisX;
    CZuAxisY* m_axisY;
    CZuPlot* m_plot;
    QToolButton* m_enlarge;
    QToolButton* m_restore;
    QToolButton* m_legend;
    QRect m_normalRect;
    QRect m_enlargedRect;
    int m_showSizeButtons = 0;
    int m_showLegendButton = 1;
    int m_id = 0;
    bool m_created = false;
    Prompt* m_prompt = nullptr;
};

} // namespace nosk
