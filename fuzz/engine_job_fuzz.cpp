// Feeds arbitrary INFL contents to the engine: the project's input-file
// reader, the engine's job preparation, then one evaluation of the residuals
// and of the model at the start parameters. A job the engine refuses ends in
// nosk::exception; anything else must neither crash nor hang.
#include "engine/JobProblem.h"
#include "engine/PreparedJob.h"

#include "core/Exception.h"
#include "job/FitJob.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The reader takes a path, so every input goes through one file in a
// private folder.
const std::string& inputPath()
{
    static const std::string path = [] {
        char folder[] = "/tmp/engine-job-fuzz-XXXXXX";
        if (!::mkdtemp(folder))
            std::abort();
        return std::string(folder) + "/INFL";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = inputPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    nosk::FitJob job;
    try {
        job.load(path);
        const nosk::engine::PreparedJob prepared(job);
        nosk::engine::JobProblem problem(prepared);
        const std::vector<double> x = prepared.startVariables();
        std::vector<double> r(prepared.valueCount());
        problem.residuals(x.data(), r.data());
        std::vector<double> m0(prepared.pointCount()), m1(prepared.pointCount());
        problem.modelAt(prepared.startParams(), m0.data(), m1.data());
    } catch (const nosk::exception&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
