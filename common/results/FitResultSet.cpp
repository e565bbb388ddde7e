#include "results/FitResultSet.h"

#include "core/Exception.h"
#include "core/RegularFile.h"
#include "core/WorkFolderFiles.h"
#include "results/AuxpntlReader.h"
#include "results/PntoutlReader.h"
#include "results/ResultHolder.h"

#include <sstream>

namespace nosk {

FitResultSet::FitResultSet(ResultHolder& holder)
    : ResultSet(holder)
{
    const FitJob& j = holder.job();
    residualsBySigma = j.IPAR > 0;
    ireBelowMinus9 = j.IRE < -9;
    iprintNegative = j.IPRINT < 0;

    const std::vector<double> zeros(static_cast<std::size_t>(count), 0.0);
    if (DATTYP == 'C' || DATTYP == 'R') {
        obs1 = zeros;
        model1 = zeros;
        extra1a = zeros;
        extra1b = zeros;
    }
    if (DATTYP == 'C' || DATTYP == 'I') {
        obs2 = zeros;
        model2 = zeros;
        extra2a = zeros;
        extra2b = zeros;
    }
}

void FitResultSet::read()
{
    auto bytes = readRegularFile(workfiles::kTable, kMaxResultFile);
    if (!bytes)
        throw exception("File AUXPNTL not found!");
    std::istringstream in(std::move(*bytes));
    readTable(in);
    readPntoutl(statistics);
}

void FitResultSet::readTable(std::istream& in)
{
    AuxpntlFitColumns columns;
    columns.obs1 = data(obs1);
    columns.model1 = data(model1);
    columns.extra1a = data(extra1a);
    columns.extra1b = data(extra1b);
    columns.obs2 = data(obs2);
    columns.model2 = data(model2);
    columns.extra2a = data(extra2a);
    columns.extra2b = data(extra2b);
    readAuxpntlFit(in, DATTYP, static_cast<std::size_t>(count), columns);
    xValues = copyOf(job().FREQ);
}

} // namespace nosk
