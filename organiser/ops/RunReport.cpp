#include "ops/RunReport.h"

#include "TextUtil.h"
#include "core/Exception.h"
#include "core/Prompt.h"
#include "core/AtomicFileWriter.h"
#include "job/FitJob.h"
#include "job/JobFields.h"

#include <cstdlib>

namespace nosk {

using opsdetail::appendf;

namespace {

// The names of the data lines' columns, in the order of the code lists.
const char* const kFrequencyNames[] = {"Angular frequency (rad/s)", "Ordinary frequency (Hz)"};
const char* const kFirstColumnNames[] = {"Magnitude", "Magnitude", "Log Mag", "Real"};
const char* const kSecondColumnNames[] = {"Radii", "Degrees", "Radii", "Imag"};

// One line a field of header line `lineNumber`: its label, then the value.
void appendFields(std::string& out, const FitJob& job, int lineNumber)
{
    for (const JobField& f : kJobFields) {
        if (f.line != lineNumber)
            continue;
        appendf(out, "%-45s", f.report);
        switch (f.kind) {
        case FieldKind::Int:
            // M is a count whatever sign the file gives it.
            appendf(out, "%i\n", f.intMember == &FitJob::M ? std::abs(job.M) : f.intIn(job));
            break;
        case FieldKind::Double:
            appendf(out, "%.8e\n", f.doubleIn(job));
            break;
        case FieldKind::Code:
            if (f.codes->reportTexts.empty())
                appendf(out, "%c\n", f.codeIn(job));
            else
                appendf(out, "%s\n", codeReportText(*f.codes, f.codeIn(job)));
            break;
        }
    }
}

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
    appendFields(out, job, 2);
    out += "\nDATA, WEIGHTING, AND FITTING SPECIFICATIONS\n";
    appendFields(out, job, 3);

    // Two parameters to a line.
    out += "\nMODEL PARAMETERS\n\tParameter\tType\t\tParameter\tType";
    const int params = job.N < 0 ? 0 : (job.N > FitJob::kMaxParams ? FitJob::kMaxParams : job.N);
    for (int i = 0; i < params; ++i) {
        out += (i % 2 == 0) ? '\n' : '\t';
        appendf(out, "P(%02i) % .8e %1i", i + 1, job.P[i], job.NFREE[i]);
    }

    const char* xName = textOf(kFrequencies, kFrequencyNames, job.FREEQ);
    const char* firstName = textOf(kFormats, kFirstColumnNames, job.PINP);
    const char* secondName = textOf(kFormats, kSecondColumnNames, job.PINP);
    const size_t rows = job.FREQ ? job.FREQ->size() : 0;

    out += "\n\nDATA LINES\n";
    appendf(out, "\n%s vs. %s\n\n", textOf(kLevels, kLevelNames, job.DINP), xName);
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
    replaceFile(*path, formatRunReport(job, now));
    return true;
}

} // namespace nosk
