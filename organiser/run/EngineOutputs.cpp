#include "EngineOutputs.h"

#include "core/WorkFolderFiles.h"

#include <cstdio>

namespace nosk {

const std::vector<std::string>& engineOutputFiles()
{
    static const std::vector<std::string> files = {
        workfiles::kReport, workfiles::kTable, "AUXPNTL1", "LINOUT", "NKOUT", "LINOTL", "LINOTR", "LINOTRL.DAT",
        "LINOTCON", "OUTPARM", "OUTDRT", "OUTDRPT", "LNL", "LINOTLN", "ZUOUTPUT.TXT", "OUTSUM.TXT",
        workfiles::kSideFile,
    };
    return files;
}

void ClearDirectory()
{
    for (const std::string& f : engineOutputFiles())
        std::remove(f.c_str());
}

} // namespace nosk
