// Painting cost of a graph: two traces of 100 000 points each (the viewer's
// default styles: red dots for the data, a blue line for the model) on
// logarithmic axes, into a 1000 x 700 image.
#include "CZuAxis.h"
#include "CZuGraph.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

struct Data {
    std::vector<double> f, data, model;
    explicit Data(int n) : f(n), data(n), model(n)
    {
        for (int i = 0; i < n; ++i) {
            f[i] = std::pow(10.0, -2 + 7.0 * i / (n - 1));
            const double w = f[i];
            model[i] = 10 + 1000 / (1 + w * w * 1e-4);
            data[i] = model[i] * (1 + 0.02 * std::sin(i * 0.7));
        }
    }
};

void paintGraph(benchmark::State& state, bool logAxes)
{
    const int n = 100000;
    static Data d(n);
    nosk::CZuGraph graph;
    graph.axisX()->logScale() = logAxes;
    graph.axisY()->logScale() = logAxes;
    graph.Create(QRect(0, 0, 1004, 704), nullptr, 12, 0, 1);
    graph.AddTrace(d.f.data(), d.data.data(), n, 2, 255);
    graph.AddTrace(d.f.data(), d.model.data(), n, 1, 0xFF0000);
    graph.UpdateRanges();
    QImage img(graph.clientSize(), QImage::Format_RGB32);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        graph.paint(p, true);
        p.end();
        benchmark::DoNotOptimize(img.constBits());
    }
}

void BM_PaintTwoTraces100kLog(benchmark::State& state)
{
    paintGraph(state, true);
}
void BM_PaintTwoTraces100kLinear(benchmark::State& state)
{
    paintGraph(state, false);
}

BENCHMARK(BM_PaintTwoTraces100kLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintTwoTraces100kLinear)->Unit(benchmark::kMillisecond);

} // namespace
