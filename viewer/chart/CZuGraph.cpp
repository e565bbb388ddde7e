#include "CZuGraph.h"

#include "CZuAxis.h"
#include "CZuAxisDlg.h"
#include "CZuAxisLabel.h"
#include "CZuPlot.h"
#include "CZuTrace.h"
#include "CZuTraceDlg.h"
#include "core/Prompt.h"
#include "platform/DialogRunner.h"
#include "platform/Drawing.h"
#include "platform/Printing.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QToolButton>

#include <algorithm>

namespace nosk {

namespace {

enum class Glyph { Enlarge, Restore, Legend };

// The small button icons: a large frame to enlarge, a small one to restore,
// a legend sample (marker on a line) for the legend.
QIcon makeIcon(Glyph g)
{
    QPixmap pm(11, 11);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(Qt::black, 1));
    switch (g) {
    case Glyph::Enlarge:
        p.drawRect(0, 0, 10, 10);
        p.drawLine(0, 1, 10, 1);
        break;
    case Glyph::Restore:
        p.drawRect(2, 5, 6, 5);
        p.drawLine(2, 6, 8, 6);
        break;
    case Glyph::Legend:
        p.drawLine(0, 5, 10, 5);
        p.fillRect(4, 3, 3, 5, Qt::red);
        p.drawLine(0, 9, 10, 9);
        p.drawLine(0, 1, 10, 1);
        break;
    }
    return QIcon(pm);
}

QToolButton* makeButton(const QString& text, Glyph g, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setIcon(makeIcon(g));
    b->setIconSize(QSize(11, 11));
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    b->setFocusPolicy(Qt::NoFocus);
    b->hide();
    return b;
}

QRect toQRect(const ChartRect& r)
{
    return QRect(r.left, r.top, r.width(), r.height());
}

} // namespace

void PlayMetafile(QPainter& painter, const QPicture& picture, const QRect& target)
{
    playPicture(painter, picture, target);
}

CZuGraph::CZuGraph(QWidget* parent) : QFrame(parent)
{
    // Arial 14 in the cell height of the label font; the same measure in
    // pixels keeps pictures and printouts in proportion.
    m_font = QFont(QStringLiteral("Arial"));
    m_font.setPixelSize(12);
    m_font.setWeight(QFont::Normal);
    setFont(m_font);

    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);

    m_client = new QWidget(this);
    QPalette pal = m_client->palette();
    pal.setColor(QPalette::Window, Qt::white);
    m_client->setPalette(pal);
    m_client->setAutoFillBackground(true);

    m_axisX = new CZuAxisX(this, m_client);
    m_axisY = new CZuAxisY(this, m_client);
    m_plot = new CZuPlot(this, m_client);
    m_enlarge = makeButton(QStringLiteral("M"), Glyph::Enlarge, m_client);
    m_restore = makeButton(QStringLiteral("m"), Glyph::Restore, m_client);
    m_legend = makeButton(QStringLiteral("x"), Glyph::Legend, m_client);
    connect(m_enlarge, &QToolButton::clicked, this, &CZuGraph::onEnlarge);
    connect(m_restore, &QToolButton::clicked, this, &CZuGraph::onRestore);
    connect(m_legend, &QToolButton::clicked, this, &CZuGraph::onLegend);
    hide();
}

CZuGraph::~CZuGraph() = default;

QSize CZuGraph::clientSizeFor(const QSize& outer)
{
    return QSize(std::max(0, outer.width() - 4), std::max(0, outer.height() - 4));
}

QSize CZuGraph::clientSize() const
{
    return m_client->size();
}

bool CZuGraph::Create(const QRect& rect, QWidget* parent, int id, int style,
                      int showSizeButtons)
{
    if (parent != parentWidget())
        setParent(parent);
    m_id = id;
    setGeometry(rect);
    m_client->setGeometry(contentsRect());
    m_showSizeButtons = showSizeButtons;

    const QSize cs = clientSize();
    const GraphLayout L = computeGraphLayout(cs.width(), cs.height(), m_axisY->measure(),
                                             m_axisX->measure());
    m_axisY->Create(L.d, L.t, L.e);
    m_axisY->Rebuild(0, 100);
    m_axisX->Create(L.e, L.d, L.xr);
    m_axisX->Rebuild(0, 100);
    m_plot->setGeometry(toQRect(L.plot));
    m_plot->show();

    m_enlarge->setEnabled(true);
    m_restore->setEnabled(false);
    placeButtons();
    m_created = true;
    if (style & kStyleVisible)
        show();
    return true;
}

void CZuGraph::placeButtons()
{
    const int CH = clientSize().height();
    int slot = 0;
    if (m_showSizeButtons) {
        m_enlarge->setGeometry(toQRect(buttonSlot(CH, slot++)));
        m_restore->setGeometry(toQRect(buttonSlot(CH, slot++)));
        m_enlarge->show();
        m_restore->show();
    } else {
        m_enlarge->hide();
        m_restore->hide();
    }
    if (m_showLegendButton) {
        m_legend->setGeometry(toQRect(buttonSlot(CH, slot)));
        m_legend->show();
    } else {
        m_legend->hide();
    }
    m_enlarge->raise();
    m_restore->raise();
    m_legend->raise();
}

void CZuGraph::AddTrace(const double* x, const double* y, int count, int style,
                        std::uint32_t color)
{
    m_plot->traces().push_back(std::make_unique<CZuXYTrace>(x, y, count, style, color, this));
}

void CZuGraph::nameLastTrace(const QString& name)
{
    if (!m_plot->traces().empty())
        m_plot->traces().back()->setName(name);
}

void CZuGraph::widenLastTrace(int width)
{
    if (!m_plot->traces().empty())
        m_plot->traces().back()->setLineWidth(width);
}

void CZuGraph::UpdateRanges()
{
    const TraceExtremes e = m_plot->extremes();
    for (CZuAxis* axis : {static_cast<CZuAxis*>(m_axisX), static_cast<CZuAxis*>(m_axisY)}) {
        const bool horizontal = axis == m_axisX;
        double mn = axis->rangeMin();
        double mx = axis->rangeMax();
        if (axis->autoScale()) {
            mn = horizontal ? e.minX : e.minY;
            mx = horizontal ? e.maxX : e.maxY;
        }
        axis->SetRange(mn, mx);
    }
}

void CZuGraph::MoveGraph(const QRect& rect)
{
    setGeometry(rect);
    m_client->setGeometry(contentsRect());
    layoutChildren(true);
    update();
}

void CZuGraph::layoutChildren(bool)
{
    struct Saved {
        double min, max;
        QString title;
    };
    auto save = [](CZuAxis* a) {
        Saved s{a->GetDataMin(), a->GetDataMax(), QString()};
        // A manual range (linear or log) is the user's choice; re-laying
        // out the graph (enlarging, restoring, resizing the page) keeps it.
        if (!a->autoScale()) {
            s.min = a->rangeMin();
            s.max = a->rangeMax();
        }
        if (a->GetTitleWindow())
            s.title = a->GetTitleWindow()->text();
        return s;
    };
    const Saved sx = save(m_axisX);
    const Saved sy = save(m_axisY);
    m_axisX->Clear();
    m_axisY->Clear();

    const QSize cs = clientSize();
    const GraphLayout L = computeGraphLayout(cs.width(), cs.height(), m_axisY->measure(),
                                             m_axisX->measure());
    m_axisY->Create(L.d, L.t, L.e);
    m_axisY->Rebuild(sy.min, sy.max);
    m_axisX->Create(L.e, L.d, L.xr);
    m_axisX->Rebuild(sx.min, sx.max);
    m_plot->setGeometry(toQRect(L.plot));
    UpdateRanges();
    m_axisX->GetTitleWindow()->setText(sx.title);
    m_axisY->GetTitleWindow()->setText(sy.title);
    placeButtons();
}

void CZuGraph::SetPositions(const QRect& normal, const QRect& enlarged)
{
    m_normalRect = normal;
    m_enlargedRect = enlarged;
}

void CZuGraph::onEnlarge()
{
    MoveGraph(m_enlargedRect);
    emit graphResized(0, this);
    m_enlarge->setEnabled(false);
    m_restore->setEnabled(true);
}

void CZuGraph::onRestore()
{
    MoveGraph(m_normalRect);
    emit graphResized(1, this);
    m_enlarge->setEnabled(true);
    m_restore->setEnabled(false);
}

void CZuGraph::onLegend()
{
    emit graphClose(0, this);
}

void CZuGraph::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    m_client->setGeometry(contentsRect());
}

void CZuGraph::mousePressEvent(QMouseEvent* event)
{
    // A click on the graph itself does nothing (and does not reach the page).
    event->accept();
}

void CZuGraph::paint(QPainter& painter, bool printing, int yShift) const
{
    const QWidget* children[] = {m_axisX, m_axisY, m_plot};
    for (const QWidget* child : children) {
        painter.save();
        painter.translate(child->pos() + QPoint(0, yShift));
        if (child == m_plot) {
            // Points outside the range stop at the plot's edge, as on screen.
            painter.setClipRect(QRect(QPoint(0, 0), child->size()), Qt::IntersectClip);
            m_plot->Draw(painter, printing);
        } else {
            static_cast<const CZuAxis*>(child)->Draw(painter, printing);
        }
        painter.restore();
    }
}

QPicture CZuGraph::MakeMetafile(QPaintDevice*) const
{
    QPicture picture;
    const QSize cs = clientSize();
    {
        QPainter painter(&picture);
        paint(painter, true);
        if (KeepsFullFrame()) {
            painter.setPen(QPen(Qt::black, 0));
            painter.drawPoint(cs.width() - 1, cs.height() - 1);
        }
    }
    picture.setBoundingRect(QRect(QPoint(0, 0), cs));
    return picture;
}

int CZuGraph::titleBand() const
{
    // Half the horizontal axis' height, and never less than the title's line
    // with a margin above and below it.
    return std::max(m_axisX->height() / 2, QFontMetrics(m_font).height() + 2 * kTitleMargin);
}

QPicture CZuGraph::MakeTitledMetafile(QPaintDevice*, const QString& title) const
{
    QPicture picture;
    const QSize cs = clientSize();
    const int s = titleBand();
    {
        QPainter painter(&picture);
        paint(painter, true, s);
        painter.setFont(m_font);
        painter.setPen(Qt::black);
        // Clear of the picture's top edge, which is the image's edge.
        painter.drawText(QRect(0, kTitleMargin, m_axisX->width(), s - kTitleMargin),
                         int(Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip), title);
        if (KeepsFullFrame()) {
            painter.setPen(QPen(Qt::black, 0));
            painter.drawPoint(cs.width() - 1, s + cs.height() - 1);
        }
    }
    picture.setBoundingRect(TitledSize());
    return picture;
}

QRect CZuGraph::TitledSize() const
{
    const QSize cs = clientSize();
    return QRect(0, 0, cs.width(), cs.height() + titleBand());
}

void CZuGraph::renderForPrinter(QPainter& painter, const QSize& page) const
{
    const QSize cs = clientSize();
    const ChartRect r = printTargetRect(cs.width(), cs.height(), page.width(), page.height());
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const QPicture picture = MakeMetafile(painter.device());
    PlayMetafile(painter, picture, toQRect(r));
}

void CZuGraph::message(const char* text)
{
    if (m_prompt)
        m_prompt->message(text, QGuiApplication::applicationDisplayName().toStdString());
}

bool CZuGraph::printGraphOn(QPrinter& printer)
{
    printer.setDocName(QStringLiteral("Print test Code Fragment"));
    QPainter painter;
    const std::string failed = beginPrinting(painter, printer);
    if (!failed.empty()) {
        message(failed.c_str());
        return false;
    }
    renderForPrinter(painter, QSize(printer.width(), printer.height()));
    painter.end();
    return true;
}

void CZuGraph::PrintGraph()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    // "Print to File (PDF)" as for all graphs of a page.
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    if (runModal(dialog) != QDialog::Accepted)
        return;
    printGraphOn(printer);
}

void CZuGraph::openAxisDialog(CZuAxis* axis)
{
    // The fields show the data range, or the axis's own range when the user
    // fixed it by hand.
    double mn = axis->GetDataMin();
    double mx = axis->GetDataMax();
    if (!axis->autoScale()) {
        mn = axis->rangeMin();
        mx = axis->rangeMax();
    }
    const QString title = axis->GetTitleWindow() ? axis->GetTitleWindow()->text() : QString();
    CZuAxisDlg dialog(title, axis->autoScale(), axis->logScale(), mx, mn, m_axisHelpContext,
                      m_prompt, this);
    connect(&dialog, &CZuAxisDlg::helpRequested, this, &CZuGraph::helpRequested);
    if (runModal(dialog) != QDialog::Accepted)
        return;
    // With auto scale the axis rounds around the data.
    if (axis->autoScale()) {
        mn = axis->GetDataMin();
        mx = axis->GetDataMax();
    }
    axis->SetRange(mn, mx);
    axis->GetTitleWindow()->setText(dialog.title());
    axis->GetTitleWindow()->hide();
    axis->GetTitleWindow()->show();
    repaintAll();
}

void CZuGraph::openTraceDialog()
{
    CZuTraceDlg dialog(m_plot->traces(), m_traceHelpContext, m_prompt, this);
    connect(&dialog, &CZuTraceDlg::helpRequested, this, &CZuGraph::helpRequested);
    if (runModal(dialog) == QDialog::Accepted)
        repaintAll();
}

void CZuGraph::repaintAll()
{
    // The traces and grid lines are placed by the axes: the plot area must
    // be drawn again whenever an axis changes, not only the labels.
    for (QWidget* w : {static_cast<QWidget*>(m_axisX), static_cast<QWidget*>(m_axisY),
                       static_cast<QWidget*>(m_plot), m_client})
        w->update();
    update();
}

} // namespace nosk
