#include "SeriesPlot.h"

#include "core/AtomicFileWriter.h"

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

// A tick label: the value with the digits its axis' step needs.
std::string tickLabel(double v, double step)
{
    if (v == 0)
        return "0";
    char text[40];
    const double size = std::max(std::abs(v), step);
    const int stepExponent = int(std::floor(std::log10(step) + 1e-9));
    if (size >= 1e5 || size < 1e-3) {
        const int digits = std::clamp(int(std::floor(std::log10(size) + 1e-9)) - stepExponent, 0, 6);
        std::snprintf(text, sizeof text, "%.*e", digits, v);
        // "5.0e-07" keeps its one digit; the exponent needs no leading zero.
        std::string s = text;
        const std::size_t e = s.find('e');
        std::string mantissa = s.substr(0, e), exponent = s.substr(e + 1);
        const bool negative = exponent[0] == '-';
        exponent.erase(0, 1);
        exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
        return mantissa + "e" + (negative ? "-" : "") + exponent;
    }
    std::snprintf(text, sizeof text, "%.*f", std::clamp(-stepExponent, 0, 9), v);
    return text;
}

// 1, 2 or 5 times a power of ten, the nearest above `rough`.
double niceStep(double rough)
{
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= rough * (1 - 1e-9))
            return m * power;
    return 10 * power;
}

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

    p.setPen(QPen(QColor(220, 220, 220), 1));
    for (double y : ya.ticks)
        p.drawLine(QPointF(plot.left(), py(y)), QPointF(plot.right(), py(y)));
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    for (std::size_t k = 0; k < ya.ticks.size(); ++k)
        p.drawText(QRect(box.left(), int(py(ya.ticks[k])) - th / 2, plot.left() - box.left() - 4, th),
                   Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(ya.labels[k]));
    for (std::size_t k = 0; k < xa.ticks.size(); ++k)
        p.drawText(QRect(int(px(xa.ticks[k])) - 40, plot.bottom() + 2, 80, th), Qt::AlignCenter,
                   QString::fromStdString(xa.labels[k]));
    p.drawText(QRect(plot.left(), plot.bottom() + th + 2, plot.width(), th), Qt::AlignCenter,
               ya.log ? xTitle + QStringLiteral("; log axis") : xTitle);

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

PlotAxis valueAxis(const std::vector<double>& values, const std::vector<double>& err)
{
    PlotAxis axis;
    double lowest = HUGE_VAL, highest = -HUGE_VAL, smallest = HUGE_VAL;
    bool positive = true;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = values[i];
        if (!std::isfinite(v))
            continue;
        const double e = i < err.size() && std::isfinite(err[i]) ? std::abs(err[i]) : 0;
        lowest = std::min(lowest, v - e);
        highest = std::max(highest, v + e);
        smallest = std::min(smallest, v);
        positive = positive && v > 0;
    }
    if (!(lowest <= highest)) {  // nothing finite
        lowest = 0;
        highest = 1;
        positive = false;
    }
    double largest = -HUGE_VAL;
    for (const double v : values)
        if (std::isfinite(v))
            largest = std::max(largest, v);
    if (positive && largest / smallest >= 1000) {
        // Decades: the values' own range, error bars below 0 cut at the edge.
        axis.log = true;
        const double low = std::floor(std::log10(std::min(smallest, lowest > 0 ? lowest : smallest)) + 1e-9);
        const double high = std::ceil(std::log10(std::max(largest, highest)) - 1e-9);
        const int every = int(std::ceil((high - low) / 6));
        axis.low = std::pow(10.0, low);
        axis.high = std::pow(10.0, high);
        for (double d = low; d <= high + 1e-9; d += every) {
            axis.ticks.push_back(std::pow(10.0, d));
            axis.labels.push_back(tickLabel(std::pow(10.0, d), std::pow(10.0, d)));
        }
        return axis;
    }
    if (positive)
        lowest = std::max(lowest, 0.0);
    if (highest - lowest <= std::abs(highest) * 1e-12) {
        const double d = highest == 0 ? 1 : std::abs(highest) * 0.1;
        lowest = positive ? std::max(lowest - d, 0.0) : lowest - d;
        highest += d;
    }
    const double step = niceStep((highest - lowest) / 4);
    const long first = long(std::floor(lowest / step + 1e-9)), last = long(std::ceil(highest / step - 1e-9));
    axis.low = first * step;
    axis.high = last * step;
    for (long k = first; k <= last; ++k) {
        axis.ticks.push_back(k * step);
        axis.labels.push_back(tickLabel(k * step, step));
    }
    return axis;
}

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
