#include "scriptpeer.h"

#include "platform/syserror.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <sys/socket.h>

using namespace IpcPlatform;

ScriptPeer::ScriptPeer() = default;

ScriptPeer::~ScriptPeer()
{
    stop();
}

void ScriptPeer::setHandler(Handler handler)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_handler = std::move(handler);
}

void ScriptPeer::setAcceptHandler(AcceptHandler handler)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_acceptHandler = std::move(handler);
}

void ScriptPeer::setReading(bool on)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_reading = on;
}

bool ScriptPeer::start(bool ipv6)
{
    std::string error;
    m_poller = Poller::create(error);
    if (!m_poller)
        return false;
    m_ipv6 = ipv6;
    SocketAddress address;
    if (ipv6)
        parseNumericHost("::1", FamilyIPv6, address);
    else
        parseNumericHost("127.0.0.1", FamilyIPv4, address);
    int err = 0;
    m_listener = listenTcp(address, 128, err);
    if (m_listener == InvalidSocket)
        return false;
    SocketAddress bound;
    localAddress(m_listener, bound);
    m_port = bound.port;
    if (!m_poller->add(m_listener, Poller::WantRead, &m_listenTag, err))
        return false;
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

void ScriptPeer::stop()
{
    if (!m_running.exchange(false))
        return;
    m_poller->wake();
    m_thread.join();
    for (auto &c : m_conns)
        closeSocket(c.second->fd);
    m_conns.clear();
    closeSocket(m_listener);
    m_listener = InvalidSocket;
}

void ScriptPeer::post(std::function<void()> fn)
{
    if (onPeerThread()) {
        fn();
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_posted.push_back(std::move(fn));
    }
    m_poller->wake();
}

void ScriptPeer::send(int conn, const Message &message)
{
    std::string bytes;
    message.serialize(bytes, Message::Xml);
    // serialize() writes a document: drop the declaration for the wire.
    size_t start = bytes.find("?>");
    if (start != std::string::npos)
        bytes.erase(0, bytes.find('<', start));
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.pop_back();
    bytes.push_back('\0');
    sendRaw(conn, std::move(bytes));
}

void ScriptPeer::sendRaw(int conn, std::string bytes)
{
    post([this, conn, bytes = std::move(bytes)] { doSend(conn, bytes); });
}

void ScriptPeer::closeConn(int conn)
{
    post([this, conn] {
        if (Conn *c = find(conn)) {
            c->closing = true;
            flush(c);
        }
    });
}

void ScriptPeer::pauseReading(int conn)
{
    // Applied before this returns, so the caller knows nothing more is read.
    auto applied = std::make_shared<std::promise<void>>();
    std::future<void> done = applied->get_future();
    post([this, conn, applied] {
        if (Conn *c = find(conn)) {
            c->reading = false;
            updateInterest(c);
        }
        applied->set_value();
    });
    done.wait();
}

int ScriptPeer::accepted() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_accepted;
}

int ScriptPeer::openConnections() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_open;
}

std::vector<std::string> ScriptPeer::names(int conn) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<std::string> out;
    for (const auto &r : m_received) {
        if (conn < 0 || r.first == conn)
            out.push_back(r.second.name());
    }
    return out;
}

std::vector<Message> ScriptPeer::messages(int conn) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<Message> out;
    for (const auto &r : m_received) {
        if (conn < 0 || r.first == conn)
            out.push_back(r.second);
    }
    return out;
}

int ScriptPeer::count(const std::string &name, int conn) const
{
    int n = 0;
    for (const std::string &s : names(conn))
        n += s == name;
    return n;
}

int ScriptPeer::lastConn() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_accepted;
}

ScriptPeer::Conn *ScriptPeer::find(int conn)
{
    auto it = m_conns.find(conn);
    return it == m_conns.end() ? nullptr : it->second.get();
}

void ScriptPeer::doSend(int conn, const std::string &bytes)
{
    Conn *c = find(conn);
    if (!c || c->closing)
        return;
    c->tx += bytes;
    flush(c);
}

void ScriptPeer::flush(Conn *c)
{
    while (!c->tx.empty()) {
        size_t count = 0;
        int error = 0;
        IoStatus status = sendSome(c->fd, c->tx.data(), c->tx.size(), count, error);
        if (status != IoStatus::Done)
            break;
        c->tx.erase(0, count);
    }
    if (c->closing && c->tx.empty()) {
        doClose(c);
        return;
    }
    updateInterest(c);
}

void ScriptPeer::updateInterest(Conn *c)
{
    int error = 0;
    unsigned want = (c->reading ? Poller::WantRead : 0u) | (c->tx.empty() ? 0u : Poller::WantWrite);
    m_poller->modify(c->fd, want, c, error);
}

void ScriptPeer::doClose(Conn *c)
{
    m_poller->remove(c->fd);
    closeSocket(c->fd);
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        --m_open;
    }
    m_conns.erase(c->id);
}

void ScriptPeer::readFrom(Conn *c)
{
    char buffer[65536];
    size_t count = 0;
    int error = 0;
    IoStatus status = recvSome(c->fd, buffer, sizeof buffer, count, error);
    if (status == IoStatus::WouldBlock)
        return;
    if (status != IoStatus::Done) {
        if (getenv("QV_TEST_VERBOSE"))
            fprintf(stderr, "peer: conn %d read ends (%d, %s)\n", c->id, int(status), errorText(error).c_str());
        doClose(c);
        return;
    }
    c->rx.append(buffer, count);
    const int id = c->id;
    size_t start = 0;
    for (;;) {
        size_t end = c->rx.find('\0', start);
        if (end == std::string::npos)
            break;
        Message message;
        message.parse(c->rx.data() + start, end - start);
        start = end + 1;
        Handler handler;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_received.emplace_back(id, message);
            handler = m_handler;
        }
        if (handler)
            handler(*this, id, message);
        c = find(id);
        if (!c)
            return; // the handler closed it
    }
    c->rx.erase(0, start);
}

void ScriptPeer::run()
{
    m_threadId = std::this_thread::get_id();
    Poller::Event events[64];
    while (m_running) {
        std::deque<std::function<void()>> posted;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            posted.swap(m_posted);
        }
        for (auto &fn : posted)
            fn();
        int error = 0;
        int n = m_poller->wait(events, 64, 50, error);
        for (int i = 0; i < n; ++i) {
            if (events[i].tag == &m_listenTag) {
                for (;;) {
                    int err = 0;
                    SocketHandle fd = acceptConnection(m_listener, nullptr, err);
                    if (fd == InvalidSocket)
                        break;
                    auto conn = std::make_unique<Conn>();
                    conn->fd = fd;
                    conn->id = m_nextId++;
                    AcceptHandler onAccept;
                    {
                        std::lock_guard<std::mutex> guard(m_mutex);
                        conn->reading = m_reading;
                        ++m_accepted;
                        ++m_open;
                        onAccept = m_acceptHandler;
                    }
                    Conn *c = conn.get();
                    m_conns[c->id] = std::move(conn);
                    m_poller->add(fd, c->reading ? Poller::WantRead : 0u, c, err);
                    if (onAccept)
                        onAccept(*this, c->id);
                }
                continue;
            }
            Conn *c = static_cast<Conn *>(events[i].tag);
            // A connection closed earlier in this batch is gone from the map.
            bool alive = false;
            for (auto &entry : m_conns)
                alive = alive || entry.second.get() == c;
            if (!alive)
                continue;
            if (events[i].ready & Poller::Writable)
                flush(c);
            if (!find(c->id))
                continue;
            if (c->reading && (events[i].ready & (Poller::Readable | Poller::Hangup | Poller::Error)))
                readFrom(c);
            else if (!c->reading && (events[i].ready & (Poller::Hangup | Poller::Error))) {
                // Not reading: a lone hang-up report on a live socket happens
                // here; one that keeps coming is a real close.
                char b;
                if (::recv(c->fd, &b, 1, MSG_PEEK | MSG_DONTWAIT) == 0 || ++c->hangups >= 3)
                    doClose(c);
            }
        }
    }
}

// --- scripted codec ---------------------------------------------------------------

std::string md5Hex(const std::string &text)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5).toHex().toStdString();
}

ScriptPeer::Handler codecHandler(CodecScript script)
{
    return [script](ScriptPeer &peer, int conn, const Message &m) {
        const std::string &name = m.name();
        const std::string seq = m.get_string("seq");
        if (script.versioned) {
            if (name == "hello") {
                Message r("resp");
                r.set_string("seq", "hello");
                if (!script.letInOnHello) {
                    r.set_bool("fail", true);
                    r.set_int("error_code", 401);
                    r.set_string("challenge", script.challenge);
                }
                peer.send(conn, r);
            } else if (name == "ping") {
                if (script.answerPing) {
                    Message r("pong");
                    r.set_string("seq", seq);
                    peer.send(conn, r);
                }
            } else if (name == "login") {
                Message r("resp");
                r.set_string("seq", "login");
                const bool ok = m.get_string("response") == md5Hex(script.challenge + script.password);
                r.set_bool("success", ok);
                if (!ok || script.lieSuccessWithFail)
                    r.set_bool("fail", true);
                peer.send(conn, r);
            } else if (name == "subscribe") {
                Message r("resp");
                r.set_string("seq", "internal");
                peer.send(conn, r);
            } else if (script.answerRequests && !seq.empty()) {
                Message r("resp");
                r.set_string("seq", seq);
                r.set_string("request", name);
                peer.send(conn, r);
            }
            return;
        }
        // Older firmware: no hello, a bare login, answers as bare elements.
        if (name == "ping") {
            if (script.answerPing) {
                Message r("pong");
                r.set_string("seq", "0");
                peer.send(conn, r);
            }
        } else if (name == "login" && !m.has_attribute("response")) {
            Message r("login");
            r.set_string("challenge", script.challenge);
            peer.send(conn, r);
        } else if (name == "login") {
            Message r("login");
            const bool ok = m.get_string("response") == md5Hex(script.challenge + script.password);
            r.set_bool("success", ok);
            if (!ok)
                r.set_bool("fail", true);
            peer.send(conn, r);
        } else if (script.answerRequests && !seq.empty() && name != "hello" && name != "subscribe") {
            Message r(seq);
            r.set_string("request", name);
            peer.send(conn, r);
        }
    };
}
