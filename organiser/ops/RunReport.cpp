#include "ops/RunReport.h"

#include "TextUtil.h"
#include "core/Exception.h"
#include "core/Prompt.h"
#include "job/AtomicFileWriter.h"
#include "job/FitJob.h"

#include <cstdlib>
#include <cstring>

namespace nosk {

using opsdetail::appendf;

namespace {

// A code is looked up by its position in its code list; an unknown code
// gives an empty text.
const char* codeText(const char* codes, const char* const* texts, char code)
{
    if (code == '\0')
        return "";
    const char* at = std::strchr(codes, code);
    return at ? texts[at - codes] : "";
}

const char kLevels[] = "ZYME";
const char kFormats[] = "PDLR";
const char kFrequency[] = " F";
const char kSign[] = " N";
const char kDataTypes[] = "CRI";

const char* const kLevelCodes[] = {"Z, Impedance", "Y, Admittance", "M, Modulus", "E, Epsilon"};
const char* const kFormatCodes[] = {"P, polar (radian)", "D, polar (degree)", "L, log polar", "R, rectangular"};
const char* const kFrequencyCodes[] = {"A, Angular", "SPACE, Ordinary"};
const char* const kSignCodes[] = {"SPACE, No action taken", "N, multiply by -1"};
const char* const kDataTypeCodes[] = {"C, Complex", "R, Real (2nd col)", "I, Real (3rd col)"};
const char* const kLevelNames[] = {"Impedance", "Admittance", "Modulus", "Epsilon"};
const char* const kFrequencyNames[] = {"Angular frequency (rad/s)", "Ordinary frequency (Hz)"};
const char* const kFirstColumnNames[] = {"Magnitude", "Magnitude", "Log Mag", "Real"};
const char* const kSecondColumnNames[] = {"Radii", "Degrees", "Radii", "Imag"};

} // namespace

std::string formatRunReport(const FitJob& job, const std::tm& when)
{
    std::string out;
    out += "*******************************************\n";
    out += "** REPORT *********************************\n";
    out += "*******************************************\n\n";

    // "%Y %b %d, %a, %H:%M:%S" with the English names whatever the user's
    // locale: the report reads the same on every desktop.
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const char* month = when.tm_mon >= 0 && when.tm_mon < 12 ? months[when.tm_mon] : "?";
    const char* day = when.tm_wday >= 0 && when.tm_wday < 7 ? days[when.tm_wday] : "?";
    appendf(out, "%i %s %02i, %s, %02i:%02i:%02i\n\n", when.tm_year + 1900, month, when.tm_mday, day,
            when.tm_hour, when.tm_min, when.tm_sec);

    appendf(out, "DESCRIPTION OF RUN:\n%s\n\n", job.description.c_str());

    out += "DATA AND FIT TYPES:\n";
    appendf(out, "%-45s%i\n", "Optimization iterations (IOPT)", job.IOPT);
    appendf(out, "%-45s%s\n", "Input data system (DINP)", codeText(kLevels, kLevelCodes, job.DINP));
    appendf(out, "%-45s%s\n", "Fitting system (DFIT)", codeText(kLevels, kLevelCodes, job.DFIT));
    appendf(out, "%-45s%s\n", "Complex input format (PINP)", codeText(kFormats, kFormatCodes, job.PINP));
    appendf(out, "%-45s%s\n", "Fit input format (PFIT)", codeText(kFormats, kFormatCodes, job.PFIT));
    appendf(out, "%-45s%s\n", "Input frequency format (FREEQ)", codeText(kFrequency, kFrequencyCodes, job.FREEQ));
    appendf(out, "%-45s%s\n", "Selects sign (NEG)", codeText(kSign, kSignCodes, job.NEG));
    appendf(out, "%-45s%c\n", "Selects function (FUN)", job.FUN);
    appendf(out, "%-45s%.8e\n", "Capacitance of measuring cell (CAPCEL)", job.CELCAP);
    appendf(out, "%-45s%s\n", "Type of data fit desired (DATTYP)", codeText(kDataTypes, kDataTypeCodes, job.DATTYP));
    appendf(out, "%-45s%i\n", "IPAR", job.IPAR);
    appendf(out, "%-45s%.8e\n", "ROE", job.ROE);
    appendf(out, "%-45s%i\n", "IFP", job.IFP);
    appendf(out, "%-45s%i\n", "IRE", job.IRE);
    appendf(out, "%-45s%.8e\n", "ECINF", job.ECINF);
    appendf(out, "%-45s%.8e\n", "EC0", job.EC0);

    out += "\nDATA, WEIGHTING, AND FITTING SPECIFICATIONS\n";
    appendf(out, "%-45s%i\n", "Number of data points (frequencies) (M)", std::abs(job.M));
    appendf(out, "%-45s%i\n", "Total number of model parameters (N)", job.N);
    appendf(out, "%-45s%i\n", "Evaluations (MAXFEV)", job.MAXFEV);
    appendf(out, "%-45s%i\n", "NPRINT", job.NPRINT);
    appendf(out, "%-45s%i\n", "Data weighting (IRCH)", job.IRCH);
    appendf(out, "%-45s%i\n", "MODE", job.MODE);
    appendf(out, "%-45s%i\n", "ICP", job.ICP);
    appendf(out, "%-45s%i\n", "Output level(IPRINT)", job.IPRINT);
    appendf(out, "%-45s%i\n", "IGACC", job.IGACC);
    appendf(out, "%-45s%.8e\n", "ATEMP", job.ATEMP);
    appendf(out, "%-45s%.8e\n", "SDWC", job.SDWC);
    appendf(out, "%-45s%.8e\n", "SDRC", job.SDRC);

    // Two parameters to a line.
    out += "\nMODEL PARAMETERS\n\tParameter\tType\t\tParameter\tType";
    const int params = job.N < 0 ? 0 : (job.N > FitJob::kMaxParams ? FitJob::kMaxParams : job.N);
    for (int i = 0; i < params; ++i) {
        out += (i % 2 == 0) ? '\n' : '\t';
        appendf(out, "P(%02i) % .8e %1i", i + 1, job.P[i], job.NFREE[i]);
    }

    const char* xName = codeText(kFrequency, kFrequencyNames, job.FREEQ);
    const char* firstName = codeText(kFormats, kFirstColumnNames, job.PINP);
    const char* secondName = codeText(kFormats, kSecondColumnNames, job.PINP);
    const size_t rows = job.FREQ ? job.FREQ->size() : 0;

    out += "\n\nDATA LINES\n";
    appendf(out, "\n%s vs. %s\n\n", codeText(kLevels, kLevelNames, job.DINP), xName);
    appendf(out, "%s\t%s\t%s\n", xName, firstName, secondName);
    for (size_t i = 0; i < rows; ++i)
        appendf(out, "%.8e\t%.8e\t%.8e\n", valueAt(job.FREQ, i), valueAt(job.DATA1, i), valueAt(job.DATA2, i));

    if (job.IRCH == 0) {
        out += "\n\nDATA WEIGHTS\n";
        appendf(out, "%s\t%s weights\t%s weights\n", xName, firstName, secondName);
        for (size_t i = 0; i < rows; ++i)
            appendf(out, "%.8e\t%.8e\t%.8e\n", valueAt(job.FREQ, i), valueAt(job.WEIGHT1, i),
                    valueAt(job.WEIGHT2, i));
    }
    return out;
}

bool writeRunReport(const FitJob& job, Prompt& prompt, const LocalClock& clock)
{
    FileRequest request;
    request.title = "Save report file";
    request.initialName = "Report.txt";
    request.filters = {{"All files (*.*)", "*.*"}};
    auto path = prompt.saveFile(request);
    if (!path)
        return false;

    const std::tm now = clock ? clock() : localNow();
    // The writer's own text tells an open that failed from a write that
    // failed (a full disk); the old report stays either way.
    try {
        replaceFile(*path, formatRunReport(job, now));
    } catch (const exception& e) {
        prompt.message(e.what(), "ERROR", Buttons::Ok, Icon::Error);
        return false;
    }
    return true;
}

} // namespace nosk
