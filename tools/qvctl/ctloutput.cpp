#include "ctloutput.h"

#include <QtGlobal>

#include <atomic>

namespace qvctl {

namespace {

std::atomic<bool> g_trace{false};

void writeLine(std::FILE *file, const QByteArray &text)
{
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), file);
    std::fputc('\n', file);
    std::fflush(file);
}

void handleMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // Library chatter (missing callbacks, connection details) is noise on a
    // console unless asked for; trace lines only exist when asked for.
    const bool wanted = g_trace.load(std::memory_order_relaxed) || type == QtCriticalMsg || type == QtFatalMsg;
    if (wanted)
        writeLine(stderr, message.toUtf8());
}

} // namespace

void Output::line(const QString &text)
{
    writeLine(m_out, text.toUtf8());
}

void Output::lines(const QStringList &lines)
{
    for (const QString &l : lines)
        line(l);
}

void Output::error(const QString &text)
{
    writeLine(m_err, QByteArrayLiteral("qvctl: ") + text.toUtf8());
}

void installMessageHandler(bool trace)
{
    g_trace.store(trace, std::memory_order_relaxed);
    qInstallMessageHandler(handleMessage);
}

} // namespace qvctl
