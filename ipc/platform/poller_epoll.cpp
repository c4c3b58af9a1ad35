// Linux backend of the readiness wait: one epoll set plus an eventfd for wakes.

#include "poller.h"

#include "syserror.h"

#include <cerrno>
#include <cstdint>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace IpcPlatform {

namespace {

uint32_t toEpoll(unsigned interest)
{
    uint32_t ev = EPOLLRDHUP;
    if (interest & Poller::WantRead)
        ev |= EPOLLIN;
    if (interest & Poller::WantWrite)
        ev |= EPOLLOUT;
    return ev;
}

class EpollPoller final : public Poller
{
public:
    EpollPoller(int epfd, int wakefd)
        : m_epfd(epfd)
        , m_wakefd(wakefd)
    {
    }

    ~EpollPoller() override
    {
        ::close(m_wakefd);
        ::close(m_epfd);
    }

    const char *backendName() const override { return "epoll"; }

    bool add(SocketHandle s, unsigned interest, void *tag, int &error) override
    {
        epoll_event ev{};
        ev.events = toEpoll(interest);
        ev.data.ptr = tag;
        if (epoll_ctl(m_epfd, EPOLL_CTL_ADD, s, &ev) != 0) {
            error = errno;
            return false;
        }
        return true;
    }

    bool modify(SocketHandle s, unsigned interest, void *tag, int &error) override
    {
        epoll_event ev{};
        ev.events = toEpoll(interest);
        ev.data.ptr = tag;
        if (epoll_ctl(m_epfd, EPOLL_CTL_MOD, s, &ev) != 0) {
            error = errno;
            return false;
        }
        return true;
    }

    void remove(SocketHandle s) override
    {
        epoll_event ev{};
        epoll_ctl(m_epfd, EPOLL_CTL_DEL, s, &ev);
    }

    int wait(Event *events, int capacity, int timeoutMs, int &error) override
    {
        constexpr int Max = 256;
        epoll_event raw[Max];
        if (capacity > Max)
            capacity = Max;
        int n = epoll_wait(m_epfd, raw, capacity, timeoutMs < 0 ? -1 : timeoutMs);
        if (n < 0) {
            if (errno == EINTR)
                return 0;
            error = errno;
            return -1;
        }
        int out = 0;
        for (int i = 0; i < n; ++i) {
            if (raw[i].data.ptr == &m_wakefd) {
                uint64_t count;
                while (::read(m_wakefd, &count, sizeof count) > 0) {
                }
                continue;
            }
            unsigned ready = 0;
            if (raw[i].events & EPOLLIN)
                ready |= Readable;
            if (raw[i].events & EPOLLOUT)
                ready |= Writable;
            if (raw[i].events & (EPOLLRDHUP | EPOLLHUP))
                ready |= Hangup;
            if (raw[i].events & EPOLLERR)
                ready |= Error;
            events[out].tag = raw[i].data.ptr;
            events[out].ready = ready;
            ++out;
        }
        return out;
    }

    void wake() override
    {
        uint64_t one = 1;
        // a full counter still wakes the wait, so a failed write changes nothing
        [[maybe_unused]] ssize_t n = ::write(m_wakefd, &one, sizeof one);
    }

    int wakeHandle() const { return m_wakefd; }
    int *wakeTag() { return &m_wakefd; }

private:
    int m_epfd;
    int m_wakefd;
};

} // namespace

std::unique_ptr<Poller> Poller::create(std::string &error)
{
    int epfd = epoll_create1(EPOLL_CLOEXEC);
    if (epfd < 0) {
        error = errorText(errno);
        return nullptr;
    }
    int wakefd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakefd < 0) {
        error = errorText(errno);
        ::close(epfd);
        return nullptr;
    }
    auto poller = std::make_unique<EpollPoller>(epfd, wakefd);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = poller->wakeTag();
    if (epoll_ctl(epfd, EPOLL_CTL_ADD, wakefd, &ev) != 0) {
        error = errorText(errno);
        return nullptr;
    }
    return poller;
}

} // namespace IpcPlatform
