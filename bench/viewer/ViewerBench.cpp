// LoadRun plus the first paint of the "Graphics" page for a fit of complex
// data with 99 999 points, the most that the five columns of M in INFL hold
// (files written like the engine's).
#include "CGraphPage.h"
#include "CViewerPage.h"
#include "CViewerDlg.h"
#include "GraphSettings.h"
#include "RunFiles.h"
#include "core/ScriptedPrompt.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QPixmap>

#include <exception>
#include <memory>

#include <benchmark/benchmark.h>

namespace {

// A fit of complex data with `points` points in the current folder.
void writeLargeRun(int points, double noise = 0)
{
    nosk::test::RunSpec spec;
    spec.noise = noise;
    spec.count = points;
    spec.decadeStep = 6.0 / points;
    spec.freeCount = 4;
    nosk::test::writeRun(spec);
}

// Shows the first page and paints it into a pixmap.
void paintFirstPage(nosk::CViewerDlg& dlg)
{
    QApplication::processEvents();  // the page is shown and builds its graphs
    QPixmap shot = dlg.page(0)->grab();
    benchmark::DoNotOptimize(shot);
}

struct Viewer {
    nosk::GraphSettings settings;
    nosk::ScriptedPrompt prompt;
    std::unique_ptr<nosk::CViewerDlg> make()
    {
        return std::make_unique<nosk::CViewerDlg>(settings, prompt, nullptr, false);
    }
};

void LoadRunAndFirstPaint(benchmark::State& state)
{
    nosk::test::TempWorkDir dir;
    writeLargeRun(static_cast<int>(state.range(0)));
    Viewer v;
    auto dlg = v.make();
    dlg->show();
    QApplication::processEvents();
    for (auto _ : state) {
        dlg->LoadRun(0);
        paintFirstPage(*dlg);
    }
    state.counters["points"] = static_cast<double>(state.range(0));
}

// The same in a fresh window each time, as when the viewer starts on the run.
void FreshWindowLoadAndFirstPaint(benchmark::State& state)
{
    nosk::test::TempWorkDir dir;
    writeLargeRun(static_cast<int>(state.range(0)));
    Viewer v;
    std::unique_ptr<nosk::CViewerDlg> dlg;
    for (auto _ : state) {
        state.PauseTiming();  // closing the previous window is not part of the figure
        dlg.reset();
        QApplication::processEvents();
        state.ResumeTiming();
        dlg = v.make();
        dlg->show();
        dlg->LoadRun(0);
        paintFirstPage(*dlg);
    }
    state.counters["points"] = static_cast<double>(state.range(0));
}

// "Save all graphs in image..." of the four graphs of the "Graphics" page
// (2 x 100 000 points in each), and of the complex-plane plot drawn at
// twice its size, as noskview --save-image writes them. The observed values
// scatter by 20 %, as noisy measurements do: the residual lines zigzag.
void SaveAllGraphsInImage(benchmark::State& state)
{
    nosk::test::TempWorkDir dir;
    writeLargeRun(static_cast<int>(state.range(0)), 0.2);
    Viewer v;
    auto dlg = v.make();
    dlg->show();
    dlg->LoadRun(0);
    const int pageIndex = static_cast<int>(state.range(1));
    dlg->selectPage(pageIndex);
    QApplication::processEvents();
    nosk::CViewerPage* page = dlg->page(pageIndex);
    for (auto _ : state) {
        try {
            dlg->saveImage(dir.file("graphs.bmp"), *page);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    state.counters["points"] = static_cast<double>(state.range(0));
}

} // namespace

BENCHMARK(SaveAllGraphsInImage)->Args({99999, 0})->Args({99999, 1})->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(LoadRunAndFirstPaint)->Arg(99999)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(FreshWindowLoadAndFirstPaint)->Arg(99999)->Unit(benchmark::kMillisecond)->Iterations(5);
