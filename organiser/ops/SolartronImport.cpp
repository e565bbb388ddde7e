#include "ops/SolartronImport.h"

#include "core/Exception.h"
#include "core/Prompt.h"
#include "job/FitJob.h"
#include "results/SolartronFile.h"

namespace nosk {

std::string blockListEntry(int index)
{
    return "Block #" + std::to_string(index + 1);
}

std::string fileDescriptionText(const SolartronFile& file)
{
    std::string text = file.header.description.substr(0, 32);
    if (auto zero = text.find('\0'); zero != std::string::npos)
        text.resize(zero);
    return text;
}

bool importSolartron(FitJob& job, Prompt& prompt, ImpedanceBlockChooser& chooser, const RefreshPages& refresh)
{
    FileRequest request;
    request.filters = {{"Solartron files (*.fra)", "*.fra"}};
    request.defaultExtension = "fra";
    auto path = prompt.openFile(request);
    if (!path)
        return false;

    const SolartronFile file = SolartronFile::read(*path);

    auto chosen = chooser.chooseBlock(file);
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(file.blocks.size()))
        return false;
    const SolartronBlock& block = file.blocks[static_cast<size_t>(*chosen)];

    job.releaseData();
    job.allocateData(block.pointCount(), job.IRCH == 0);
    for (size_t i = 0; i < block.points.size(); ++i) {
        (*job.FREQ)[i] = block.points[i].frequency;
        (*job.DATA1)[i] = block.points[i].impedanceRe;
        (*job.DATA2)[i] = block.points[i].impedanceIm;
    }
    job.DINP = job.DFIT = 'Z';
    job.PINP = job.PFIT = 'R';
    job.FREEQ = 'F';
    if (refresh)
        refresh();
    return true;
}

} // namespace nosk
