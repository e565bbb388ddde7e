#include "DrtCommand.h"
#include "SeriesPlot.h"

#include "core/Exception.h"
#include "job/FitJob.h"
#include "ops/DrtRun.h"
#include "ops/InstrumentImport.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace nosk {

std::vector<BatchDrt> batchDrts(const std::vector<batch::Row>& rows, const std::string& templateFile)
{
    std::vector<BatchDrt> out(rows.size());
    FitJob templ;
    bool haveTemplate = false;
    if (!templateFile.empty()) {
        try {
            templ.load(templateFile);
            haveTemplate = true;
        } catch (const std::exception&) {
        }
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        try {
            const FitJob job = batch::makeJob(rows[i].file, haveTemplate ? &templ : nullptr);
            const kkrun::Spectrum s = kkrun::spectrumOf(job);
            out[i].result = drt::compute(s.frequencyHz, s.z);
            out[i].ok = true;
        } catch (const std::exception& e) {
            out[i].reason = e.what();
        }
    }
    return out;
}

namespace {
std::string number(double v)
{
    char s[32];
    std::snprintf(s, sizeof s, "%.6E", v);
    return s;
}
} // namespace

std::string appendDrtColumns(const std::string& table, const std::vector<BatchDrt>& drts)
{
    std::size_t most = 0;
    for (const BatchDrt& d : drts)
        most = std::max(most, d.ok ? d.result.peaks.size() : 0);
    std::string out;
    std::size_t start = 0, line = 0;
    while (start < table.size()) {
        std::size_t end = table.find('\n', start);
        if (end == std::string::npos)
            end = table.size();
        out += table.substr(start, end - start);
        if (line == 0) {
            out += ",DRT peaks";
            for (std::size_t k = 1; k <= most; ++k) {
                const std::string n = std::to_string(k);
                out += ",peak " + n + " tau (s),peak " + n + " f (Hz),peak " + n + " area (Ohm)";
            }
        } else if (line - 1 < drts.size()) {
            const BatchDrt& d = drts[line - 1];
            out += "," + (d.ok ? std::to_string(d.result.peaks.size()) : std::string());
            for (std::size_t k = 0; k < most; ++k) {
                if (d.ok && k < d.result.peaks.size()) {
                    const drt::Peak& p = d.result.peaks[k];
                    out += "," + number(p.tau) + "," + number(p.frequencyHz) + "," + number(p.area);
                } else {
                    out += ",,,";
                }
            }
        }
        out += '\n';
        start = end + 1;
        ++line;
    }
    return out;
}

std::string drtPlotName(const std::string& plotFile)
{
    if (plotFile.empty())
        return "drt.png";
    const std::size_t slash = plotFile.find_last_of('/');
    const std::size_t dot = plotFile.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return plotFile + "-drt";
    return plotFile.substr(0, dot) + "-drt" + plotFile.substr(dot);
}

std::string writeDrtSeriesPlot(const std::vector<batch::Row>& rows, const std::vector<BatchDrt>& drts,
                               const std::string& path)
{
    double t0 = HUGE_VAL, t1 = 0, g1 = 0;
    int count = 0;
    for (const BatchDrt& d : drts) {
        if (!d.ok || d.result.tau.empty())
            continue;
        ++count;
        t0 = std::min(t0, d.result.tau.front());
        t1 = std::max(t1, d.result.tau.back());
        for (double g : d.result.gamma)
            g1 = std::max(g1, g);
    }
    if (count == 0)
        return "no spectrum has a DRT";
    if (!(g1 > 0))
        g1 = 1;
    QImage image(1000, 650, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    const QFontMetrics fm(font);
    const int th = fm.height();
    const QRect plot(90, 20 + th, 880 - 160, 650 - 60 - 3 * th);
    p.drawText(QRect(0, 4, 1000, th), Qt::AlignCenter,
               QStringLiteral("Distribution of relaxation times along the series"));
    const double l0 = std::log10(t0), l1 = std::log10(t1);
    auto px = [&](double t) { return plot.left() + (std::log10(t) - l0) / (l1 - l0) * plot.width(); };
    const PlotAxis gammaAxis = valueAxis({0.0, g1});
    auto py = [&](double g) { return plot.bottom() - g / gammaAxis.high * plot.height(); };
    p.setPen(QPen(QColor(220, 220, 220), 1));
    for (int d = static_cast<int>(std::ceil(l0)); d <= static_cast<int>(std::floor(l1)); ++d) {
        const double x = plot.left() + (d - l0) / (l1 - l0) * plot.width();
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    p.setPen(Qt::black);
    p.drawRect(plot);
    char text[40];
    for (int d = static_cast<int>(std::ceil(l0)); d <= static_cast<int>(std::floor(l1)); ++d) {
        const double x = plot.left() + (d - l0) / (l1 - l0) * plot.width();
        std::snprintf(text, sizeof text, "1e%d", d);
        p.drawText(QRect(int(x) - 30, plot.bottom() + 2, 60, th), Qt::AlignCenter, QString::fromLatin1(text));
    }
    for (std::size_t k = 0; k < gammaAxis.ticks.size(); ++k)
        p.drawText(QRect(0, int(py(gammaAxis.ticks[k])) - th / 2, plot.left() - 6, th),
                   Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(gammaAxis.labels[k]));
    p.drawText(QRect(plot.left(), plot.bottom() + th + 4, plot.width(), th), Qt::AlignCenter,
               QStringLiteral("tau, s"));
    p.save();
    p.translate(14, plot.center().y());
    p.rotate(-90);
    p.drawText(QRect(-150, -th / 2, 300, th), Qt::AlignCenter, QStringLiteral("gamma, Ohm"));
    p.restore();

    int index = 0;
    for (std::size_t i = 0; i < drts.size(); ++i) {
        const BatchDrt& d = drts[i];
        if (!d.ok || d.result.tau.empty())
            continue;
        const double a = count > 1 ? double(index) / (count - 1) : 0;
        const QColor colour(int(30 + 200 * a), 40, int(230 - 200 * a));
        p.setPen(QPen(colour, 1.5));
        QPolygonF line;
        for (std::size_t k = 0; k < d.result.tau.size(); ++k)
            line << QPointF(px(d.result.tau[k]), py(d.result.gamma[k]));
        p.drawPolyline(line);
        for (const drt::Peak& pk : d.result.peaks)
            p.drawEllipse(QPointF(px(pk.tau), py(pk.gamma)), 3, 3);
        // The legend: each spectrum's file in its colour (the end of a long
        // name shown, where the names differ).
        if (index < (plot.height() / th)) {
            p.drawLine(QPointF(plot.right() + 12, plot.top() + index * th + th / 2),
                       QPointF(plot.right() + 32, plot.top() + index * th + th / 2));
            p.setPen(Qt::black);
            const int width = image.width() - (plot.right() + 36) - 4;
            p.drawText(QRect(plot.right() + 36, plot.top() + index * th, width, th), Qt::AlignLeft | Qt::AlignVCenter,
                       fm.elidedText(QString::fromStdString(drtLegendText(rows[i])), Qt::ElideLeft, width));
        }
        ++index;
    }
    p.end();
    // A name the user did not type as such (drt.png, P-drt.png beside the
    // --plot name): a link planted there is replaced, never written through.
    return saveImageSafely(image, path, AtomicFileWriter::Links::Replace);
}

} // namespace nosk
