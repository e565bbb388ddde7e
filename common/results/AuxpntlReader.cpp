#include "results/AuxpntlReader.h"

#include "core/Exception.h"
#include "core/LineReader.h"
#include "results/ReportText.h"

#include <string>

namespace nosk {

namespace {

// One table row: a point number, then observed value, model value, sigma and
// the two further numbers. Values a short row lacks stay as they are.
void takeRow(const std::string& line, std::size_t k, double* obs, double* model, double* extraA, double* extraB)
{
    double v[6];
    const int n = report::scanNumbers(line, true, v, 6);
    if (n >= 2 && obs)
        obs[k] = v[1];
    if (n >= 3 && model)
        model[k] = v[2];
    if (n >= 5 && extraA)
        extraA[k] = v[4];
    if (n >= 6 && extraB)
        extraB[k] = v[5];
}

} // namespace

void readAuxpntlFit(std::istream& in, char dattyp, std::size_t count, const AuxpntlFitColumns& c)
{
    // The engine may print the table more than once; the last one is final.
    std::string line;
    std::streampos tablePosition = -1;
    while (lines::nextLine(in, line))
        if (line.find("OBSERVED VARIABLES") != std::string::npos)
            tablePosition = in.tellg();
    // A marker on a last line without terminator gives no position: there is
    // no table after it either.
    if (tablePosition == std::streampos(-1))
        throw exception("File AUXPNTL has an error! Can't find results.");
    in.clear();
    in.seekg(tablePosition);

    auto row = [&](std::string& out) {
        if (!lines::nextLine(in, out))
            throw exception("File AUXPNTL has an error! Too few result rows.");
    };
    row(line);  // the column heading
    for (std::size_t k = 0; k < count; ++k) {
        if (dattyp == 'C') {
            row(line);
            takeRow(line, k, c.obs1, c.model1, c.extra1a, c.extra1b);
            row(line);
            takeRow(line, k, c.obs2, c.model2, c.extra2a, c.extra2b);
        } else if (dattyp == 'R') {
            row(line);
            takeRow(line, k, c.obs1, c.model1, c.extra1a, c.extra1b);
        } else if (dattyp == 'I') {
            row(line);
            takeRow(line, k, c.obs2, c.model2, c.extra2a, c.extra2b);
        }
    }
}

void readAuxpntlModel(std::istream& in, std::size_t count, double* model1, double* model2)
{
    std::string line;
    bool found = false;
    while (!found && lines::nextLine(in, line))
        found = line == "MODEL DATA -- FREQUENCY, REAL, IMAGINARY";
    if (!found)
        throw exception("File AUXPNTL error! Can't find results!");
    for (std::size_t k = 0; k < count; ++k) {
        if (!lines::nextLine(in, line))
            throw exception("File AUXPNTL error! Too few model data lines!");
        double v[3];
        const int n = report::scanNumbers(line, false, v, 3);
        if (n >= 2 && model1)
            model1[k] = v[1];
        if (n >= 3 && model2)
            model2[k] = v[2];
    }
}

} // namespace nosk
