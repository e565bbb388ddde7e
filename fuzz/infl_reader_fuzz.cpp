// Feeds arbitrary bytes as an input file (INFL, test file, template) to the
// full reader and to the header-only reader. A bad file must end in a
// nosk::exception; the job must come out whole either way: every array absent
// or holding exactly M values, N within the 50 parameters.
#include "core/Exception.h"
#include "job/FitJob.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// The input file of every run, in memory where the system offers it; removed
// when the fuzzer ends.
struct ScratchFile {
    ScratchFile()
    {
        std::error_code ec;
        std::filesystem::path dir = std::filesystem::is_directory("/dev/shm", ec)
            ? std::filesystem::path("/dev/shm")
            : std::filesystem::temp_directory_path();
        path = (dir / ("infl_reader_fuzz." + std::to_string(::getpid()))).string();
    }
    ~ScratchFile() { std::remove(path.c_str()); }
    std::string path;
};

void checkWhole(const nosk::FitJob& job)
{
    const auto m = static_cast<std::size_t>(job.M);
    for (const auto* column : {&job.FREQ, &job.DATA1, &job.DATA2, &job.WEIGHT1, &job.WEIGHT2})
        if (job.M < 0 || (column->has_value() && (*column)->size() != m))
            std::abort();
    if (job.N < 0 || job.N > nosk::FitJob::kMaxParams)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScratchFile scratch;
    const std::string& path = scratch.path;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }

    nosk::FitJob job;
    try {
        job.load(path);
    } catch (const nosk::exception&) {
    }
    checkWhole(job);

    nosk::FitJob header;
    header.allocateData(2, true);
    try {
        header.loadHeader(path);
    } catch (const nosk::exception&) {
    }
    checkWhole(header);
    return 0;
}
