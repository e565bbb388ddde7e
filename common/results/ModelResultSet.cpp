#include "results/ModelResultSet.h"

#include "core/Exception.h"
#include "core/RegularFile.h"
#include "core/WorkFolderFiles.h"
#include "job/Immittance.h"
#include "results/AuxpntlReader.h"
#include "results/ResultHolder.h"

#include <sstream>

namespace nosk {

ModelResultSet::ModelResultSet(ResultHolder& holder)
    : ResultSet(holder)
{
    const FitJob& j = holder.job();
    levelCodes = {j.DINP, j.DFIT};
    formatCodes = {j.PINP, j.PFIT};
    xValues = copyOf(j.FREQ);
    const std::vector<double> zeros(static_cast<std::size_t>(count), 0.0);
    if (DATTYP == 'C' || DATTYP == 'R') {
        obs1 = copyOf(j.DATA1);
        model1 = zeros;
    }
    if (DATTYP == 'C' || DATTYP == 'I') {
        obs2 = copyOf(j.DATA2);
        model2 = zeros;
    }
}

void ModelResultSet::read()
{
    auto bytes = readRegularFile(workfiles::kTable, kMaxResultFile);
    if (!bytes)
        throw exception("File AUXPNTL not found!");
    std::istringstream in(std::move(*bytes));
    readModel(in);
}

void ModelResultSet::readModel(std::istream& in)
{
    // The engine prints both model components, whatever the data type.
    const std::vector<double> zeros(static_cast<std::size_t>(count), 0.0);
    if (!model1)
        model1 = zeros;
    if (!model2)
        model2 = zeros;
    readAuxpntlModel(in, static_cast<std::size_t>(count), data(model1), data(model2));

    // The model is in the fit representation; bring the data there too.
    const FitJob& j = job();
    if (j.xVariable == 1) {
        std::vector<double> omega = xValues;
        if (j.FREEQ != ' ')
            ToAngular(omega.data(), count);
        TransformArrays(omega.data(), data(obs1), data(obs2), count, j.DINP, j.PINP, j.DFIT, j.PFIT, j.CELCAP);
    }
}

} // namespace nosk
