#pragma once

#include <exception>

/**
 * The network library's exception. Its text is formatted printf-style into a
 * fixed buffer of 4096 bytes, so longer texts are cut at 4095 characters.
 * Text that comes from outside (a name, a peer's string) is always passed as
 * an argument, never as the format.
 */
class Exception : public std::exception
{
public:
    explicit Exception(const char *format, ...) __attribute__((format(printf, 2, 3)));

    const char *what() const noexcept override { return m_text; }

    static constexpr int TextSize = 4096;

private:
    char m_text[TextSize];
};
