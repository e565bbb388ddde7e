// Reading and writing a large input file: M = 100 000 data lines with their
// weight lines (about 16 MB). Bytes per second are those of the file.
#include "job/FieldCodec.h"
#include "job/FitJob.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace {

// The count field holds five digits: 99 999 is the largest M a file can carry.
constexpr int kRows = 99999;

nosk::FitJob bigJob()
{
    nosk::FitJob job;
    job.description = "benchmark: 100 000 points with weights";
    job.N = 12;
    for (int i = 0; i < job.N; ++i) {
        job.P[i] = 1.0 / (i + 3);
        job.NFREE[i] = i % 2;
    }
    job.IRCH = 0;
    job.allocateData(kRows, true);
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    for (int i = 0; i < kRows; ++i) {
        (*job.FREQ)[i] = 1e-3 * std::pow(10.0, 9.0 * i / kRows);
        (*job.DATA1)[i] = value(random);
        (*job.DATA2)[i] = value(random) * 1e-6;
        (*job.WEIGHT1)[i] = value(random);
        (*job.WEIGHT2)[i] = value(random);
    }
    return job;
}

// A file in a folder of its own, removed at the end.
struct BenchFile {
    BenchFile()
    {
        dir = std::filesystem::temp_directory_path() / ("nosk-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        path = (dir / "INFL").string();
    }
    ~BenchFile() { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    std::string path;
};

void BM_SaveInputFile(benchmark::State& state)
{
    const nosk::FitJob job = bigJob();
    BenchFile file;
    for (auto _ : state)
        job.save(file.path);
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(file.path));
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}
// Wall-clock figures suffer when other programs share the processors; the
// CPU-time figures (the second line of each) show the codec alone.
BENCHMARK(BM_SaveInputFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveInputFile)->Unit(benchmark::kMillisecond);

void BM_LoadInputFile(benchmark::State& state)
{
    BenchFile file;
    bigJob().save(file.path);
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(file.path));
    nosk::FitJob job;
    for (auto _ : state) {
        job.load(file.path);
        benchmark::DoNotOptimize(job.WEIGHT2->back());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_LoadInputFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadInputFile)->Unit(benchmark::kMillisecond);

void BM_WriteD(benchmark::State& state)
{
    std::string line;
    double v = 0.1234567890123;
    for (auto _ : state) {
        line.clear();
        nosk::writeD(line, v, 20, 13);
        v *= 1.0000001;
        benchmark::DoNotOptimize(line.data());
    }
}
BENCHMARK(BM_WriteD);

void BM_ReadDataField(benchmark::State& state)
{
    const std::string field = " -.5123456789012D-03";
    double v = 0;
    for (auto _ : state) {
        nosk::readDoubleOr(field, 20, v, "DATA1", 0.0);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_ReadDataField);

} // namespace
