#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

namespace qvctl {

/**
 * Where results and errors go: whole lines, flushed at once, so a program
 * reading a pipe sees each line as it happens.
 */
class Output
{
public:
    explicit Output(std::FILE *out = stdout, std::FILE *err = stderr)
        : m_out(out)
        , m_err(err)
    {
    }

    void line(const QString &text);
    void lines(const QStringList &lines);
    /** "qvctl: " and @p text on the error stream. */
    void error(const QString &text);

private:
    std::FILE *m_out;
    std::FILE *m_err;
};

/**
 * Routes Qt's message log (and with it the network library's log) to
 * standard error: everything with @p trace, only critical lines without.
 */
void installMessageHandler(bool trace);

} // namespace qvctl
