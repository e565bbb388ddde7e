#include "Exception.h"

#include <cstdio>

namespace nosk {

exception::exception(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n > 0) {
        m_message.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(m_message.data(), m_message.size(), format, args);
        m_message.resize(static_cast<std::size_t>(n));
    }
    va_end(args);
}

} // namespace nosk
