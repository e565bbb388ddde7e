#include "ops/DataExport.h"

#include "TextUtil.h"
#include "core/AtomicFileWriter.h"
#include "core/Exception.h"
#include "core/Prompt.h"
#include "job/FitJob.h"

namespace nosk {

std::string formatDataExport(const FitJob& job)
{
    std::string out;
    const size_t rows = job.M > 0 ? static_cast<size_t>(job.M) : 0;
    for (size_t i = 0; i < rows; ++i)
        opsdetail::appendf(out, "%.15E\t%.15E\t%.15E\n", valueAt(job.FREQ, i), valueAt(job.DATA1, i),
                           valueAt(job.DATA2, i));
    return out;
}

bool exportData(const FitJob& job, Prompt& prompt)
{
    if (job.M <= 0 || (!job.DATA1 && !job.DATA2))
        return false;

    FileRequest request;
    request.filters = {{"All files (*.*)", "*.*"}};
    auto path = prompt.saveFile(request);
    if (!path)
        return false;

    // Written beside the file and renamed over it: a failed export keeps the
    // old file. The command has always said this one text for any failure.
    try {
        replaceFile(*path, formatDataExport(job));
    } catch (const exception&) {
        throw exception("Couldn't open file!");
    }
    return true;
}

} // namespace nosk
