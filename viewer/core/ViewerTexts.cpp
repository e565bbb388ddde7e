#include "ViewerTexts.h"

#include "job/JobFields.h"

namespace nosk {

std::string xAxisTypeName(int type)
{
    switch (type) {
    case kXFrequency: return "Frequency";
    case kXTime: return "Time";
    case kXTemperature: return "Temperature";
    case kXInverseTemperature: return "Inv. Temperature";
    default: return "Unknown";
    }
}

std::string levelName(char dfit)
{
    return textOf(kLevels, kLevelNames, dfit);
}

std::string firstComponentName(char pfit)
{
    switch (pfit) {
    case 'P':
    case 'D': return "magnitude";
    case 'L': return "log magnitude";
    case 'R': return "real";
    default: return "";
    }
}

std::string secondComponentName(char pfit)
{
    switch (pfit) {
    case 'P':
    case 'L': return "angle, radii";
    case 'D': return "angle, degree";
    case 'R': return "imag";
    default: return "";
    }
}

std::string xAxisTitle(int xType, bool angular)
{
    switch (xType) {
    case kXTime: return "Time, sec";
    case kXTemperature: return "Temperature, K";
    case kXInverseTemperature: return "Inv. Temp. 10**3/T, 1/K";
    default: return angular ? "Angular frequency, rad/s" : "Ordinary frequency, Hz";
    }
}

GraphTitles graphTitles(int graph, char dfit, char pfit, int xType, bool angular,
                        bool imagNegated, int ipar)
{
    const std::string level = levelName(dfit);
    const std::string x = xAxisTitle(xType, angular);
    switch (graph) {
    case 1: return {x, level + ", " + firstComponentName(pfit), level + " vs. " + x};
    case 2:
        return {x, level + ", " + (imagNegated ? " -" : "") + secondComponentName(pfit),
                level + " vs. " + x};
    case 3: return {x, "Residuals", "Residuals vs. " + x};
    case 4:
        if (ipar > 0)
            return {x, "Res/Unc", "Residuals/Uncertanties vs. " + x};
        return {x, "Res/Model", "Residuals/Model vs. " + x};
    default:
        return {"real", imagNegated ? "-imag" : "imag", level + ", Complex-plane plot"};
    }
}

GraphTitles modulusResidualTitles(int xType, bool angular)
{
    const std::string x = xAxisTitle(xType, angular);
    return {x, "Res/|Model|, %", "Residuals/|Model| vs. " + x};
}

std::optional<std::string> transformationWarning(int xType, char dattyp)
{
    const char* tail = "In this case transformation is not recomended!\n\n\tContinue anyway?";
    auto body = [&](const char* axis, const char* data) {
        return std::string("Type of X axis is ") + axis + ".\n" + data + "\n" + tail;
    };
    const char* onlyImag = "Set of data has only imaginary part.";
    const char* onlyReal = "Set of data has only real part.";
    const char* complexSet = "Set of data is complex.";
    switch (xType) {
    case kXTime:
        return std::string("Data transformation is not recomended for time type of X axis!\n\n\t\tContinue anyway?");
    case kXFrequency:
        if (dattyp == 'I') return body("frequency", onlyImag);
        if (dattyp == 'R') return body("frequency", onlyReal);
        return std::nullopt;
    case kXTemperature:
        if (dattyp == 'C') return body("temperature", complexSet);
        if (dattyp == 'I') return body("temperature", onlyImag);
        return std::nullopt;
    case kXInverseTemperature:
        if (dattyp == 'C') return body("inverse temperature", complexSet);
        if (dattyp == 'I') return body("inverse temperature", onlyImag);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<std::string> xAxisChangeQuestion(int current, int chosen)
{
    if (current == chosen)
        return std::nullopt;
    bool freqOrTime = current == kXFrequency || current == kXTime || chosen == kXFrequency
                      || chosen == kXTime;
    if (!freqOrTime)
        return std::nullopt;
    return "Invalid transformation from " + xAxisTypeName(current) + " to " + xAxisTypeName(chosen)
           + ".\n\n\t\tContinue anyway?";
}

bool angularForLoad(int mode, int ire, char freeq)
{
    if (mode == 1)
        return true;
    if (mode == 2)
        return false;
    if (ire == -10)
        return true;
    if (ire <= -11)
        return false;
    return freeq == ' ';
}

} // namespace nosk
