#include "Exception.h"

#include <cstdio>

namespace nosk {

exception::exception(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    // vsnprintf cuts a longer text at 79 characters and terminates it.
    std::vsnprintf(m_message, sizeof m_message, format, args);
    va_end(args);
}

} // namespace nosk
