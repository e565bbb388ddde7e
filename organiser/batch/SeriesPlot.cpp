#include "SeriesPlot.h"

#include "core/AtomicFileWriter.h"
#include "ui/SeriesChart.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nosk {
namespace {

struct Series {
    std::string name;
    std::vector<double> x, y, err;
};

void drawPanel(QPainter& p, const QRect& box, const Series& s, const QString& xTitle)
{
    const QFontMetrics fm(p.font());
    const int th = fm.height();
    p.setPen(Qt::black);
    p.drawText(QRect(box.left(), box.top(), box.width(), th), Qt::AlignCenter, QString::fromStdString(s.name));
    const PlotAxis ya = valueAxis(s.y, s.err);
    const PlotAxis xa = valueAxis(s.x);
    int labelWidth = 0;
    for (const std::string& l : ya.labels)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(QString::fromStdString(l)));
    const QRect plot = box.adjusted(labelWidth + 8, th + 6, -10, -2 * th - 6);

    auto scaled = [](const PlotAxis& a, double v) { return a.log ? std::log10(v) : v; };
    const double y0 = scaled(ya, ya.low), y1 = scaled(ya, ya.high);
    const double x0 = xa.low, x1 = xa.high;
    auto px = [&](double x) { return plot.left() + (x - x0) / (x1 - x0) * plot.width(); };
    auto py = [&](double y) {
        // On a log axis a bar's end at or below 0 goes to the bottom edge.
        const double v = ya.log ? (y > 0 ? std::log10(y) : y0) : y;
        return plot.bottom() - (std::clamp(v, y0, y1) - y0) / (y1 - y0) * plot.height();
    };

    drawPlotFrame(p, plot, xa, ya, px, py, ya.log ? xTitle + QStringLiteral("; log axis") : xTitle);

    const QColor blue(0, 0, 192);
    p.setPen(QPen(blue, 1.5));
    for (std::size_t i = 1; i < s.x.size(); ++i)
        p.drawLine(QPointF(px(s.x[i - 1]), py(s.y[i - 1])), QPointF(px(s.x[i]), py(s.y[i])));
    p.setPen(QPen(QColor(192, 0, 0), 1.2));
    for (std::size_t i = 0; i < s.x.size(); ++i) {
        const QPointF c(px(s.x[i]), py(s.y[i]));
        if (!std::isnan(s.err[i]) && s.err[i] > 0) {
            const double top = py(s.y[i] + s.err[i]), bottom = py(s.y[i] - s.err[i]);
            p.drawLine(QPointF(c.x(), top), QPointF(c.x(), bottom));
            p.drawLine(QPointF(c.x() - 3, top), QPointF(c.x() + 3, top));
            p.drawLine(QPointF(c.x() - 3, bottom), QPointF(c.x() + 3, bottom));
        }
        p.setBrush(blue);
        p.drawEllipse(c, 2.5, 2.5);
    }
}

} // namespace

std::string drtLegendText(const batch::Row& row)
{
    return row.file.substr(row.file.find_last_of('/') + 1);
}

std::string writeSeriesPlot(const std::vector<batch::Row>& rows, const std::vector<std::string>& names,
                            const std::string& path, const std::string& axis)
{
    // A parameter is drawn when some spectrum fitted it (it has a std dev).
    std::size_t count = 0;
    for (const batch::Row& r : rows)
        if (r.ok)
            count = std::max(count, r.value.size());
    std::vector<Series> series;
    for (std::size_t k = 0; k < count; ++k) {
        Series s;
        s.name = k < names.size() && !names[k].empty() ? names[k] : "P" + std::to_string(k + 1);
        bool fitted = false;
        for (const batch::Row& r : rows) {
            if (!r.ok || k >= r.value.size() || !std::isfinite(r.value[k]))
                continue;
            s.x.push_back(r.series);
            s.y.push_back(r.value[k]);
            s.err.push_back(r.stdDev[k]);
            fitted = fitted || !std::isnan(r.stdDev[k]);
        }
        if (fitted)
            series.push_back(std::move(s));
    }
    if (series.empty())
        return "no fitted parameter to draw";

    const int columns = series.size() <= 2 ? int(series.size()) : series.size() <= 6 ? 3 : 4;
    const int lines = int((series.size() + columns - 1) / columns);
    const int w = 420, h = 300;
    QImage image(columns * w, lines * h, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        p.setFont(font);
        for (std::size_t i = 0; i < series.size(); ++i) {
            const int c = int(i) % columns, l = int(i) / columns;
            drawPanel(p, QRect(c * w + 6, l * h + 6, w - 12, h - 12), series[i],
                      axis.empty() ? QStringLiteral("series (number in the file name, else position)")
                                   : QString::fromStdString(axis));
        }
    }
    return saveImageSafely(image, path, AtomicFileWriter::Links::Follow);
}

std::string saveImageSafely(const QImage& image, const std::string& path, AtomicFileWriter::Links links)
{
    // Encoded in memory, then written beside the name and renamed over it:
    // a failed write leaves the old image, and a pipe or device is refused.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QByteArray format = QFileInfo(QString::fromStdString(path)).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        format = "png";
    if (!image.save(&buffer, format.constData()))
        return "cannot encode the image for " + path;
    try {
        replaceFile(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), links);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

} // namespace nosk
