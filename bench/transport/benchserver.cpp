#include "benchserver.h"

#include "platform/clock.h"

#include <algorithm>
#include <cstring>

using namespace IpcPlatform;

namespace {

std::string makeNotice()
{
    std::string n = "<unso id=\"metering\"><levels ch1=\"-12.500\" ch2=\"-13.250\" ch3=\"-20.000\" ch4=\"-21.125\" "
                    "peak1=\"-3.000\" peak2=\"-4.500\" peak3=\"-9.000\" peak4=\"-9.500\" clip=\"false\" "
                    "seqno=\"123456\"/></unso>";
    n.push_back('\0');
    return n;
}

} // namespace

const std::string &BenchServer::notice()
{
    static const std::string n = makeNotice();
    return n;
}

BenchServer::BenchServer() = default;

BenchServer::~BenchServer()
{
    stop();
}

bool BenchServer::start()
{
    std::string error;
    m_poller = Poller::create(error);
    if (!m_poller)
        return false;
    SocketAddress address;
    parseNumericHost("127.0.0.1", FamilyIPv4, address);
    int err = 0;
    m_listener = listenTcp(address, 4096, err);
    if (m_listener == InvalidSocket)
        return false;
    SocketAddress bound;
    localAddress(m_listener, bound);
    m_port = bound.port;
    m_poller->add(m_listener, Poller::WantRead, &m_listenTag, err);
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

void BenchServer::stop()
{
    if (!m_running.exchange(false))
        return;
    m_poller->wake();
    m_thread.join();
    for (auto &c : m_conns) {
        if (c)
            closeSocket(c->fd);
    }
    m_conns.clear();
    closeSocket(m_listener);
}

void BenchServer::burst(int count)
{
    m_burstRequest = count;
    m_poller->wake();
}

void BenchServer::setPeriodic(int periodMs)
{
    m_periodMs = periodMs;
    m_poller->wake();
}

void BenchServer::queue(Conn *c, const char *data, size_t size)
{
    c->tx.append(data, size);
}

void BenchServer::flush(Conn *c)
{
    while (c->txOffset < c->tx.size()) {
        size_t n = 0;
        int error = 0;
        if (sendSome(c->fd, c->tx.data() + c->txOffset, c->tx.size() - c->txOffset, n, error) != IoStatus::Done)
            break;
        c->txOffset += n;
    }
    if (c->txOffset == c->tx.size()) {
        c->tx.clear();
        c->txOffset = 0;
    }
    const bool want = !c->tx.empty() || c->burstLeft > 0;
    if (want != c->wantWrite) {
        int error = 0;
        m_poller->modify(c->fd, Poller::WantRead | (want ? Poller::WantWrite : 0u), c, error);
        c->wantWrite = want;
    }
}

void BenchServer::fillBurst(Conn *c)
{
    // Keep about 256 KiB queued: enough to keep the socket full.
    const std::string &n = notice();
    while (c->burstLeft > 0 && c->tx.size() - c->txOffset < 262144) {
        c->tx += n;
        --c->burstLeft;
        ++m_sent;
    }
}

void BenchServer::close(Conn *c)
{
    m_poller->remove(c->fd);
    closeSocket(c->fd);
    --m_open;
    m_alive.erase(c);
    for (auto &p : m_conns) {
        if (p.get() == c) {
            p.reset();
            break;
        }
    }
}

void BenchServer::onReadable(Conn *c)
{
    char buffer[65536];
    size_t count = 0;
    int error = 0;
    IoStatus status = recvSome(c->fd, buffer, sizeof buffer, count, error);
    if (status == IoStatus::WouldBlock)
        return;
    if (status != IoStatus::Done) {
        close(c);
        return;
    }
    c->rx.append(buffer, count);
    size_t start = 0;
    for (;;) {
        size_t end = c->rx.find('\0', start);
        if (end == std::string::npos)
            break;
        std::string_view frame(c->rx.data() + start, end - start);
        start = end + 1;
        if (frame.compare(0, 6, "<hello") == 0) {
            static const char r[] = "<resp seq=\"hello\"/>";
            queue(c, r, sizeof r);
        } else if (frame.compare(0, 5, "<ping") == 0) {
            static const char r[] = "<pong seq=\"ping\"/>";
            queue(c, r, sizeof r);
        } else if (frame.compare(0, 10, "<subscribe") == 0) {
            static const char r[] = "<resp seq=\"internal\"/>";
            queue(c, r, sizeof r);
        } else {
            size_t at = frame.find("seq=\"");
            if (at != std::string_view::npos) {
                size_t close = frame.find('"', at + 5);
                std::string r = "<resp seq=\"";
                r.append(frame.substr(at + 5, close - at - 5));
                r.append("\"/>");
                queue(c, r.c_str(), r.size() + 1);
            }
        }
    }
    c->rx.erase(0, start);
    flush(c);
}

void BenchServer::run()
{
    Poller::Event events[256];
    uint64_t lastSliceMs = monotonicMicros() / 1000;
    int nextSlot = 0;
    while (m_running) {
        const int period = m_periodMs.load();
        int error = 0;
        int n = m_poller->wait(events, 256, period ? 1 : 50, error);
        for (int i = 0; i < n; ++i) {
            if (events[i].tag == &m_listenTag) {
                for (;;) {
                    int err = 0;
                    SocketHandle fd = acceptConnection(m_listener, nullptr, err);
                    if (fd == InvalidSocket)
                        break;
                    auto c = std::make_unique<Conn>();
                    c->fd = fd;
                    c->slot = nextSlot++;
                    m_poller->add(fd, Poller::WantRead, c.get(), err);
                    m_alive.insert(c.get());
                    m_conns.push_back(std::move(c));
                    ++m_open;
                }
                continue;
            }
            auto *c = static_cast<Conn *>(events[i].tag);
            if (!m_alive.count(c))
                continue;
            if (events[i].ready & Poller::Writable) {
                fillBurst(c);
                flush(c);
            }
            if (events[i].ready & (Poller::Readable | Poller::Hangup | Poller::Error))
                onReadable(c);
        }
        if (int b = m_burstRequest.exchange(0)) {
            for (auto &c : m_conns) {
                if (c) {
                    c->burstLeft += b;
                    fillBurst(c.get());
                    flush(c.get());
                }
            }
        }
        if (period) {
            // Each millisecond, the connections whose slot falls on it get their notice.
            const uint64_t nowMs = monotonicMicros() / 1000;
            for (uint64_t ms = lastSliceMs + 1; ms <= nowMs; ++ms) {
                const int phase = static_cast<int>(ms % static_cast<uint64_t>(period));
                for (auto &c : m_conns) {
                    if (c && c->slot % period == phase) {
                        queue(c.get(), notice().data(), notice().size());
                        ++m_sent;
                        flush(c.get());
                    }
                }
            }
            lastSliceMs = nowMs;
        } else {
            lastSliceMs = monotonicMicros() / 1000;
        }
    }
}
