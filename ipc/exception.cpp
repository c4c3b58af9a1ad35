#include "exception.h"

#include <cstdarg>
#include <cstdio>

Exception::Exception(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(m_text, sizeof m_text, format, args);
    va_end(args);
    if (n < 0)
        m_text[0] = '\0';
}
