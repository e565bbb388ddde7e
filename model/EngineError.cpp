#include "EngineError.h"

#include "core/FormatText.h"

#include <cstdarg>

namespace nosk::engine {

namespace {

Reason withPlace(Reason::Kind kind, const Place& place, std::string text)
{
    Reason r;
    r.kind = kind;
    r.field = place.field;
    r.param = place.param;
    r.row = place.row;
    r.de = place.de;
    r.line = place.line;
    r.column = place.column;
    r.text = std::move(text);
    return r;
}

} // namespace

EngineError::EngineError(Reason::Kind kind, const Place& place, const char* format, ...)
    : nosk::exception(Text{}, std::string())
{
    va_list args;
    va_start(args, format);
    m_reason = withPlace(kind, place, formatTextV(format, args));
    va_end(args);
    setMessage(m_reason.text);
}

EngineError::EngineError(Reason reason)
    : nosk::exception(Text{}, reason.text), m_reason(std::move(reason))
{
}

Reason reasonOf(const std::exception& error, Reason::Kind kind)
{
    if (const auto* e = dynamic_cast<const EngineError*>(&error))
        return e->reason();
    Reason r;
    r.kind = kind;
    r.text = error.what();
    return r;
}

} // namespace nosk::engine
