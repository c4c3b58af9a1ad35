#include "ctlsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qvctl {

namespace {

volatile sig_atomic_t g_writeFd = -1;

void onSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (g_writeFd >= 0) {
        // A full pipe already holds a wake-up: dropping this byte loses nothing.
        [[maybe_unused]] ssize_t n = ::write(g_writeFd, &byte, 1);
    }
    errno = saved;
}

const int kSignals[] = {SIGINT, SIGTERM};

} // namespace

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
}

SignalWatcher::~SignalWatcher()
{
    if (m_installed) {
        for (int s : kSignals)
            std::signal(s, SIG_DFL);
        g_writeFd = -1;
    }
    for (int fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool SignalWatcher::install(QString &error)
{
    if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = QStringLiteral("cannot create a pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_notifier = new QSocketNotifier(m_fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);
    g_writeFd = m_fds[1];

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals) {
        if (::sigaction(s, &action, nullptr) != 0) {
            error = QStringLiteral("cannot handle signal %1: %2").arg(s).arg(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    m_installed = true;
    return true;
}

void SignalWatcher::readPipe()
{
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(m_fds[0], bytes, sizeof bytes);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            emit interrupted(bytes[i]);
    }
}

} // namespace qvctl
