#include "simserver.h"

#include "simclient.h"
#include "simcodec.h"
#include "simlog.h"

#include "platform/clock.h"
#include "platform/syserror.h"

#include <algorithm>
#include <exception>

namespace codecsim {

using namespace IpcPlatform;

/** The listening socket of one codec. */
class Server::Listener final : public Pollable
{
public:
    Listener(Server &server, Codec &codec, SocketHandle fd, uint16_t port)
        : port(port)
        , m_server(server)
        , m_codec(codec)
        , m_fd(fd)
    {
    }
    ~Listener() override { closeSocket(m_fd); }

    SocketHandle fd() const { return m_fd; }

    void onReady(unsigned) override
    {
        // a bounded batch per turn keeps one busy listener from starving the rest
        for (int i = 0; i < 64; ++i) {
            SocketAddress peer;
            int error = 0;
            SocketHandle s = acceptConnection(m_fd, &peer, error);
            if (s == InvalidSocket) {
                if (!isTransientError(error))
                    backOff(error);
                return;
            }
            m_server.adopt(m_codec, s, peer);
        }
    }

    bool paused = false;
    const uint16_t port;

private:
    void backOff(int error)
    {
        // Out of descriptors, most likely: stop accepting for a second rather
        // than spin on a listener that stays readable.
        SIM_LOG(LOG_ERROR, "codec %d: accept failed: %s; pausing this listener for 1 s", m_codec.index(),
                errorText(error).c_str());
        int e = 0;
        m_server.poller().modify(m_fd, 0, this, e);
        paused = true;
        m_server.timers().addOnce(m_server.now() + 1000000, [this] {
            int e2 = 0;
            m_server.poller().modify(m_fd, Poller::WantRead, this, e2);
            paused = false;
        });
    }

    Server &m_server;
    Codec &m_codec;
    SocketHandle m_fd;
};

Server::Server(const Options &options)
    : m_options(options)
    , m_descriptions(Descriptions::build())
    , m_challengeRandom(options.seed ^ monotonicMicros())
{
    m_now = monotonicMicros();
    std::string error;
    m_poller = Poller::create(error);
    if (!m_poller)
        SIM_LOG(LOG_ERROR, "cannot create the poller: %s", error.c_str());
    if (m_options.count < 1)
        m_options.count = 1;
    for (int i = 0; i < m_options.count; ++i)
        m_codecs.push_back(std::make_unique<Codec>(*this, i));
}

Server::~Server()
{
    // clients first: they detach from their codecs and unregister from the poller
    for (auto &c : m_clients) {
        m_poller->remove(c->fd());
        c->shutdown();
    }
    m_clients.clear();
    m_closed.clear();
    for (auto &l : m_listeners)
        m_poller->remove(l->fd());
    m_listeners.clear();
}

bool Server::listen(std::string &error)
{
    if (!m_poller) {
        error = "no poller";
        return false;
    }
    if (!m_listeners.empty())
        return true;
    std::string netError;
    if (!netStartup(netError)) {
        error = netError;
        return false;
    }
    SocketAddress address;
    if (!parseNumericHost(m_options.host, FamilyIPv4, address) &&
        !parseNumericHost(m_options.host, FamilyIPv6, address)) {
        error = "not a numeric address: " + m_options.host;
        return false;
    }
    for (int i = 0; i < m_options.count; ++i) {
        const int wanted = m_options.port == 0 ? 0 : m_options.port + i;
        if (wanted > 65535) {
            error = "port " + std::to_string(wanted) + " is out of range";
            return false;
        }
        address.port = static_cast<uint16_t>(wanted);
        int code = 0;
        SocketHandle fd = listenTcp(address, 128, code);
        if (fd == InvalidSocket) {
            error = m_options.host + ":" + std::to_string(wanted) + ": " + errorText(code);
            m_listeners.clear();
            return false;
        }
        SocketAddress bound;
        localAddress(fd, bound);
        auto listener = std::make_unique<Listener>(*this, *m_codecs[static_cast<size_t>(i)], fd, bound.port);
        if (!m_poller->add(fd, Poller::WantRead, listener.get(), code)) {
            error = "cannot watch the listener: " + errorText(code);
            closeSocket(fd);
            m_listeners.clear();
            return false;
        }
        m_listeners.push_back(std::move(listener));
    }
    return true;
}

std::vector<uint16_t> Server::ports() const
{
    std::vector<uint16_t> out;
    for (const auto &l : m_listeners)
        out.push_back(l->port);
    return out;
}

void Server::wake()
{
    if (m_poller)
        m_poller->wake();
}

void Server::post(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> guard(m_taskMutex);
        m_tasks.push_back(std::move(task));
    }
    wake();
}

void Server::runTasks()
{
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard<std::mutex> guard(m_taskMutex);
        tasks.swap(m_tasks);
    }
    for (auto &t : tasks)
        t();
}

void Server::adopt(Codec &codec, SocketHandle fd, const SocketAddress &peer)
{
    std::string text = formatNumericHost(peer) + ":" + std::to_string(peer.port);
    const int id = m_nextClientId++;
    auto client = std::make_unique<Client>(*this, codec, id, fd, text);
    int error = 0;
    if (!m_poller->add(fd, Poller::WantRead, client.get(), error)) {
        SIM_LOG(LOG_ERROR, "codec %d: cannot watch client %d: %s", codec.index(), id, errorText(error).c_str());
        client->shutdown();
        return;
    }
    SIM_LOG(LOG_DETAIL, "codec %d: client %d connected from %s", codec.index(), id, text.c_str());
    Client *raw = client.get();
    m_clients.push_back(std::move(client));
    clients.fetch_add(1, std::memory_order_relaxed);
    raw->start();
}

void Server::closeClient(Client &client, const std::string &reason)
{
    if (client.closing())
        return;
    SIM_LOG(LOG_DETAIL, "codec %d: client %d (%s) closed: %s", client.codec().index(), client.id(),
            client.peerText().c_str(), reason.c_str());
    m_poller->remove(client.fd());
    client.shutdown();
    auto it = std::find_if(m_clients.begin(), m_clients.end(), [&](const auto &p) { return p.get() == &client; });
    if (it != m_clients.end()) {
        m_closed.push_back(std::move(*it));
        *it = std::move(m_clients.back());
        m_clients.pop_back();
        clients.fetch_sub(1, std::memory_order_relaxed);
    }
}

std::string Server::newChallenge()
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    uint64_t a = m_challengeRandom.next() ^ monotonicMicros();
    uint64_t b = m_challengeRandom.next();
    for (int i = 0; i < 16; ++i) {
        text += digits[a & 15];
        a >>= 4;
    }
    for (int i = 0; i < 16; ++i) {
        text += digits[b & 15];
        b >>= 4;
    }
    return text;
}

void Server::secondTick()
{
    for (auto &c : m_codecs)
        c->secondTick();
}

void Server::run(const std::atomic<bool> &stop)
{
    m_now = monotonicMicros();
    // Real codecs keep their own clocks: each one's statistics second is
    // phased by its index, so a fleet's records do not all leave in one burst.
    const uint64_t n = static_cast<uint64_t>(std::max(1, codecCount()));
    const uint64_t statsUs = static_cast<uint64_t>(m_options.statsMs > 0 ? m_options.statsMs : 1000) * 1000;
    const uint64_t peerListUs = static_cast<uint64_t>(std::max(0, m_options.peerListMs)) * 1000;
    for (int i = 0; i < codecCount(); ++i) {
        Codec *codec = m_codecs[static_cast<size_t>(i)].get();
        const uint64_t phase = static_cast<uint64_t>(i) * 1000000 / n;
        if (statsUs == 1000000) {
            m_timers.addPeriodic(m_now + 1000000 + phase, 1000000, [codec] { codec->secondTick(); });
        } else {
            m_timers.addPeriodic(m_now + statsUs + phase % statsUs, statsUs, [codec] { codec->statsTick(); });
            m_timers.addPeriodic(m_now + 1000000 + phase, 1000000, [codec] { codec->tunnelTick(); });
        }
        if (peerListUs)
            m_timers.addPeriodic(m_now + peerListUs + phase % peerListUs, peerListUs,
                                 [codec] { codec->peerListTick(); });
    }
    for (int i = 0; i < codecCount(); ++i) {
        if (m_options.activePeers > 0)
            m_codecs[static_cast<size_t>(i)]->connectAtStart(m_options.activePeers);
    }

    constexpr int Capacity = 256;
    Poller::Event events[Capacity];
    while (!stop.load(std::memory_order_acquire)) {
        m_now = monotonicMicros();
        int timeout = m_timers.msUntilNext(m_now);
        int error = 0;
        int n = m_poller->wait(events, Capacity, timeout, error);
        if (n < 0) {
            SIM_LOG(LOG_ERROR, "poller wait failed: %s", errorText(error).c_str());
            sleepMillis(10);
            continue;
        }
        m_now = monotonicMicros();
        // Nothing a client sends may end the loop: a handler that throws is
        // logged and the fleet goes on (framing errors already close the client).
        try {
            for (int i = 0; i < n; ++i)
                static_cast<Pollable *>(events[i].tag)->onReady(events[i].ready);
            runTasks();
            m_timers.runDue(m_now);
        } catch (const std::exception &e) {
            SIM_LOG(LOG_ERROR, "loop: %s", e.what());
        }
        m_closed.clear();
    }
}

} // namespace codecsim
