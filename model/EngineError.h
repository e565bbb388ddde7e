#pragma once

#include "core/Exception.h"
#include "core/Reason.h"

namespace nosk::engine {

// Where a refusal is about, for EngineError.
struct Place {
    std::string field;  // a field of the job
    int param = 0;      // p<n>, counted from 1
    int row = -1;       // a data or weight line, counted from 0 as the "Data lines" page labels it
    int de = 0;         // a distributed element
    int line = 0;       // a line of a file, counted from 1
    int column = 0;     // its column, counted from 1

    Place& withField(std::string name) { field = std::move(name); return *this; }
    Place& withParam(int number) { param = number; return *this; }
    Place& withRow(int index) { row = index; return *this; }
    Place& withDe(int number) { de = number; return *this; }
    Place& withLine(int number) { line = number; return *this; }
    Place& withColumn(int number) { column = number; return *this; }
};

// The engine's error: every refusal carries its kind and its place besides
// the text, so that the reason line (core/Reason.h) names them for the
// programs that read the report. It is a nosk::exception, so every handler
// of the file readers' errors catches it too; the text is never cut.
class EngineError : public nosk::exception {
public:
    // printf-style; the format is always a literal of ours.
    EngineError(Reason::Kind kind, const Place& place, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    explicit EngineError(Reason reason);

    const Reason& reason() const { return m_reason; }

private:
    Reason m_reason;
};

// The reason of any error the engine meets: an EngineError's own, otherwise
// `kind` with the error's text and no place.
Reason reasonOf(const std::exception& error, Reason::Kind kind);

} // namespace nosk::engine
