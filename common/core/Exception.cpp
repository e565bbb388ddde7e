#include "Exception.h"

#include "FormatText.h"

namespace nosk {

exception::exception(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    m_message = formatTextV(format, args);
    va_end(args);
}

} // namespace nosk
