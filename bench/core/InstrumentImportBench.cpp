// Importing a large instrument export: a CSV of 100 000 rows with a header
// line (about 6 MB), read from disk as "Import instrument file..." does.
#include "ops/InstrumentImport.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int kRows = 100000;

std::string bigCsv()
{
    const std::string path = (std::filesystem::temp_directory_path() / ("nosk-import-bench-" + std::to_string(::getpid()) + ".csv")).string();
    std::ofstream out(path, std::ios::binary);
    out << "Frequency (Hz),Z' (Ohm),-Z'' (Ohm)\n";
    char row[96];
    for (int i = 0; i < kRows; ++i) {
        const double f = 1e-3 * std::pow(10.0, 9.0 * i / kRows);
        const double w = 2 * M_PI * f * 1e-3;
        std::snprintf(row, sizeof row, "%.9e,%.9e,%.9e\n", f, 10 + 100 / (1 + w * w), 100 * w / (1 + w * w));
        out << row;
    }
    return path;
}

void BM_ImportCsv100k(benchmark::State& state)
{
    const std::string path = bigCsv();
    for (auto _ : state) {
        // The whole file read and parsed; a job itself carries 99 999 rows
        // at most, so the last row stays in the file's spectrum.
        nosk::InstrumentFile file = nosk::readInstrumentFile(path);
        if (file.spectra.size() != 1 || file.spectra[0].freq.size() != size_t(kRows)) {
            state.SkipWithError("wrong row count");
            break;
        }
        benchmark::DoNotOptimize(file.spectra[0].freq.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}
BENCHMARK(BM_ImportCsv100k)->Unit(benchmark::kMillisecond);

} // namespace
