#include "ui/SeriesChart.h"

#include "ui/PlotAxis.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <algorithm>
#include <cmath>

namespace nosk {

namespace {

const QColor kJoint(0, 0, 192);
const QColor kAlone(120, 120, 120);
const QColor kCurve(200, 0, 0);
const QColor kBand(230, 120, 120, 70);

void appendFinite(std::vector<double>& to, const std::vector<double>& from)
{
    for (double v : from)
        if (std::isfinite(v))
            to.push_back(v);
}

} // namespace

void drawPlotFrame(QPainter& p, const QRect& plot, const PlotAxis& xa, const PlotAxis& ya,
                   const std::function<double(double)>& px, const std::function<double(double)>& py,
                   const QString& xTitle)
{
    const QFontMetrics fm(p.font());
    const int th = fm.height();
    p.setPen(QPen(QColor(225, 225, 225), 1));
    for (double y : ya.ticks)
        p.drawLine(QPointF(plot.left(), py(y)), QPointF(plot.right(), py(y)));
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    for (std::size_t k = 0; k < ya.ticks.size(); ++k) {
        const QString label = QString::fromStdString(ya.labels[k]);
        const int w = fm.horizontalAdvance(label) + 2;
        p.drawText(QRect(plot.left() - 4 - w, int(py(ya.ticks[k])) - th / 2, w, th),
                   Qt::AlignRight | Qt::AlignVCenter, label);
    }
    for (std::size_t k = 0; k < xa.ticks.size(); ++k)
        p.drawText(QRect(int(px(xa.ticks[k])) - 40, plot.bottom() + 2, 80, th), Qt::AlignCenter,
                   QString::fromStdString(xa.labels[k]));
    p.drawText(QRect(plot.left(), plot.bottom() + th + 2, plot.width(), th), Qt::AlignCenter, xTitle);
}

void drawSeriesPanel(QPainter& p, const QRect& box, const SeriesPlotData& d)
{
    p.save();
    // The metrics of the painter's own font on its own device: a picture
    // records texts in the sizes its device measures.
    const QFontMetrics fm = p.fontMetrics();
    const int th = fm.height();
    p.setPen(Qt::black);
    p.drawText(QRect(box.left(), box.top(), box.width(), th), Qt::AlignCenter, QString::fromStdString(d.title));

    // The axes span the points with their bars, the curve and the band.
    std::vector<double> xs = d.x, ys, yerr;
    appendFinite(xs, d.curveX);
    for (std::size_t i = 0; i < d.joint.size(); ++i) {
        ys.push_back(d.joint[i]);
        yerr.push_back(d.jointErr[i]);
        ys.push_back(d.independent[i]);
        yerr.push_back(d.independentErr[i]);
    }
    appendFinite(ys, d.bandLow);
    appendFinite(ys, d.bandHigh);
    appendFinite(ys, d.curve);
    const PlotAxis ya = valueAxis(ys, yerr, false);
    const PlotAxis xa = valueAxis(xs, {}, false);

    int labelWidth = 0;
    for (const std::string& l : ya.labels)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(QString::fromStdString(l)));
    // The last x label is centred on the frame's right edge at most: half
    // of it stands out beyond the frame.
    const int overhang = xa.labels.empty() ? 0 : fm.horizontalAdvance(QString::fromStdString(xa.labels.back())) / 2;
    // Room: the title above, the y title at the left, ticks and the x
    // title below, the key under those.
    const QRect plot = box.adjusted(labelWidth + th + 10, th + 6, -std::max(10, overhang + 4), -3 * th - 10);
    if (plot.width() < 20 || plot.height() < 20) {
        p.restore();
        return;
    }
    auto scaled = [](const PlotAxis& a, double v) { return a.log ? (v > 0 ? std::log10(v) : std::log10(a.low)) : v; };
    const double x0 = scaled(xa, xa.low), x1 = scaled(xa, xa.high);
    const double y0 = scaled(ya, ya.low), y1 = scaled(ya, ya.high);
    auto px = [&](double x) { return plot.left() + (std::clamp(scaled(xa, x), x0, x1) - x0) / (x1 - x0) * plot.width(); };
    auto py = [&](double y) { return plot.bottom() - (std::clamp(scaled(ya, y), y0, y1) - y0) / (y1 - y0) * plot.height(); };

    // Grid, frame, tick labels, axis titles.
    drawPlotFrame(p, plot, xa, ya, px, py, QString::fromStdString(d.xTitle));
    p.save();
    p.translate(box.left() + 2, plot.center().y());
    p.rotate(-90);
    p.drawText(QRect(-plot.height() / 2, 0, plot.height(), th), Qt::AlignCenter,
               QString::fromStdString(ya.log ? d.yTitle + "; log axis" : d.yTitle));
    p.restore();

    // The marks are clipped to the frame; the clip goes with the painter's
    // saved state, not by turning clipping off: a disabled clip stays in
    // the painter, and a picture played back intersects the texts' own
    // clips with it (the key's texts then vanish).
    p.save();
    p.setClipRect(plot.adjusted(-4, -4, 4, 4));
    // The band, then the function.
    if (!d.curveX.empty()) {
        QPainterPath band;
        bool open = false;
        for (std::size_t i = 0; i < d.curveX.size(); ++i) {
            if (!std::isfinite(d.bandHigh[i]))
                continue;
            const QPointF q(px(d.curveX[i]), py(d.bandHigh[i]));
            open ? band.lineTo(q) : band.moveTo(q);
            open = true;
        }
        for (std::size_t i = d.curveX.size(); i-- > 0;)
            if (std::isfinite(d.bandLow[i]))
                band.lineTo(QPointF(px(d.curveX[i]), py(d.bandLow[i])));
        if (open) {
            band.closeSubpath();
            p.fillPath(band, kBand);
        }
        p.setPen(QPen(kCurve, 1.6));
        QPainterPath curve;
        bool started = false;
        for (std::size_t i = 0; i < d.curveX.size(); ++i) {
            if (!std::isfinite(d.curve[i])) {
                started = false;
                continue;
            }
            const QPointF q(px(d.curveX[i]), py(d.curve[i]));
            started ? curve.lineTo(q) : curve.moveTo(q);
            started = true;
        }
        p.drawPath(curve);
    }
    auto bars = [&](double x, double y, double e) {
        if (!(e > 0) || !std::isfinite(e))
            return;
        const double top = py(y + e), bottom = py(y - e), c = px(x);
        p.drawLine(QPointF(c, top), QPointF(c, bottom));
        p.drawLine(QPointF(c - 3, top), QPointF(c + 3, top));
        p.drawLine(QPointF(c - 3, bottom), QPointF(c + 3, bottom));
    };
    // The spectra alone, a little to the right so that both bars show.
    for (std::size_t i = 0; i < d.x.size(); ++i) {
        if (!std::isfinite(d.independent[i]))
            continue;
        p.setPen(QPen(kAlone, 1.1));
        p.setBrush(Qt::NoBrush);
        const double shift = (x1 - x0) * 0.006 * (xa.log ? 0 : 1);
        bars(d.x[i] + shift, d.independent[i], d.independentErr[i]);
        p.drawEllipse(QPointF(px(d.x[i] + shift), py(d.independent[i])), 3.5, 3.5);
    }
    for (std::size_t i = 0; i < d.x.size(); ++i) {
        if (!std::isfinite(d.joint[i]))
            continue;
        p.setPen(QPen(kJoint, 1.2));
        bars(d.x[i], d.joint[i], d.jointErr[i]);
        p.setBrush(kJoint);
        p.drawEllipse(QPointF(px(d.x[i]), py(d.joint[i])), 2.6, 2.6);
    }
    p.restore();

    // The key.
    const int keyTop = plot.bottom() + 2 * th + 6;
    int x = plot.left();
    auto keyEntry = [&](const QString& text, auto&& swatch) {
        swatch(QRectF(x, keyTop + 2, 18, th - 4));
        x += 22;
        p.setPen(Qt::black);
        p.drawText(QRect(x, keyTop, fm.horizontalAdvance(text) + 2, th),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, text);
        x += fm.horizontalAdvance(text) + 14;
    };
    keyEntry(QStringLiteral("joint fit"), [&](const QRectF& r) {
        p.setPen(kJoint);
        p.setBrush(kJoint);
        p.drawEllipse(r.center(), 2.6, 2.6);
    });
    keyEntry(QStringLiteral("alone"), [&](const QRectF& r) {
        p.setPen(QPen(kAlone, 1.1));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(r.center(), 3.5, 3.5);
    });
    if (!d.curveX.empty())
        keyEntry(d.note.empty() ? QStringLiteral("fit, 95 % band") : QStringLiteral("fit (no band)"),
                 [&](const QRectF& r) {
                     p.fillRect(r, kBand);
                     p.setPen(QPen(kCurve, 1.6));
                     p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
                 });
    p.restore();
}

QImage seriesImage(const SeriesResultFile& result, QSize panel)
{
    std::vector<SeriesPlotData> panels;
    for (const std::string& name : result.parameters)
        panels.push_back(seriesPlotData(result, name));
    const int count = static_cast<int>(panels.size());
    const int columns = count <= 2 ? std::max(count, 1) : count <= 6 ? 3 : 4;
    const int lines = (count + columns - 1) / columns;
    QImage image(columns * panel.width(), std::max(lines, 1) * panel.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    p.setFont(font);
    for (int i = 0; i < count; ++i) {
        const int c = i % columns, l = i / columns;
        drawSeriesPanel(p, QRect(c * panel.width() + 6, l * panel.height() + 6, panel.width() - 12, panel.height() - 12),
                        panels[static_cast<std::size_t>(i)]);
    }
    return image;
}

} // namespace nosk
