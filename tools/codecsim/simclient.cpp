// One client connection: socket I/O, the login handshake in both protocol
// generations, subscriptions and the level feed, and per-connection faults.

#include "simclient.h"

#include "simcodec.h"
#include "simlog.h"
#include "simxml.h"

#include "message.h"
#include "platform/clock.h"
#include "platform/syserror.h"

#include <QCryptographicHash>

namespace codecsim {

using namespace IpcPlatform;

namespace {

std::string md5Hex(const std::string &text)
{
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromRawData(text.data(), static_cast<int>(text.size())),
                                                       QCryptographicHash::Md5)
                                  .toHex();
    return std::string(digest.constData(), static_cast<size_t>(digest.size()));
}

uint64_t micros(double seconds)
{
    return static_cast<uint64_t>(seconds * 1e6);
}

} // namespace

void ServerProtocol::handle_message(const Message &message)
{
    m_client.onMessage(message);
}

Client::Client(Server &server, Codec &codec, int id, SocketHandle fd, std::string peerText)
    : m_server(server)
    , m_codec(codec)
    , m_id(id)
    , m_fd(fd)
    , m_peerText(std::move(peerText))
    , m_protocol(this, *this)
    , m_versioned(!server.options().unversioned)
{
}

Client::~Client()
{
    shutdown();
}

void Client::start()
{
    m_codec.attach(*this);
    armFaults();
}

void Client::shutdown()
{
    if (m_fd == InvalidSocket)
        return;
    m_closing = true;
    for (TimerQueue::Id t : m_faultTimers)
        m_server.timers().cancel(t);
    m_faultTimers.clear();
    m_server.timers().cancel(m_meteringTimer);
    m_meteringTimer = 0;
    m_codec.detach(*this);
    closeSocket(m_fd);
    m_fd = InvalidSocket;
}

// ---- socket I/O ----

void Client::onReady(unsigned ready)
{
    if (m_closing)
        return;
    if (ready & Poller::Writable)
        flush();
    if (!m_closing && (ready & Poller::Readable))
        readSome();
    if (!m_closing && (ready & Poller::Error)) {
        int code = pendingError(m_fd);
        m_server.closeClient(*this, code ? errorText(code) : std::string("socket error"));
        return;
    }
    // A hang-up with data still waiting is read first; the read of 0 bytes closes.
    if (!m_closing && (ready & Poller::Hangup) && !(ready & Poller::Readable))
        m_server.closeClient(*this, "closed by the client");
}

void Client::readSome()
{
    char buffer[ReadChunk];
    // a few reads per turn at most, so one busy client cannot starve the others
    for (int i = 0; i < 4 && !m_closing; ++i) {
        size_t count = 0;
        int error = 0;
        IoStatus st = recvSome(m_fd, buffer, sizeof buffer, count, error);
        if (st == IoStatus::WouldBlock)
            return;
        if (st == IoStatus::Closed) {
            m_server.closeClient(*this, "closed by the client");
            return;
        }
        if (st == IoStatus::Failed) {
            m_server.closeClient(*this, errorText(error));
            return;
        }
        if (m_stalled)
            continue; // a stalled codec reads and forgets
        m_protocol.receive_data(buffer, count);
        if (count < sizeof buffer)
            return;
    }
}

bool Client::writeSome()
{
    while (!m_out.empty() && !m_closing) {
        size_t count = 0;
        int error = 0;
        IoStatus st = sendSome(m_fd, m_out.data(), m_out.size(), count, error);
        if (st == IoStatus::WouldBlock)
            break;
        if (st != IoStatus::Done) {
            m_server.closeClient(*this, st == IoStatus::Closed ? std::string("short write") : errorText(error));
            return false;
        }
        m_out.consume(count);
    }
    return !m_closing;
}

void Client::flush()
{
    if (!writeSome())
        return;
    if (m_out.empty() && m_oversizeLeft > 0)
        feedOversize();
    if (!m_closing)
        setWriteInterest(pending() > 0);
}

void Client::setWriteInterest(bool on)
{
    if (on == m_wantWrite || m_closing)
        return;
    int error = 0;
    m_wantWrite = on;
    m_server.poller().modify(m_fd, Poller::WantRead | (on ? Poller::WantWrite : 0u), this, error);
}

void Client::checkBacklog()
{
    if (m_closing)
        return;
    if (m_out.overLimit()) {
        SIM_LOG(LOG_WARNING, "codec %d: client %d does not read; dropping it with %zu bytes unsent", m_codec.index(),
                m_id, pending());
        m_server.closeClient(*this, SendBuffer::OverflowText);
        return;
    }
    setWriteInterest(pending() > 0);
}

void Client::queueBytes(const char *data, size_t size)
{
    if (m_closing)
        return;
    if (m_out.empty()) {
        // the common case: the socket takes it all at once, nothing is copied
        while (size > 0) {
            size_t count = 0;
            int error = 0;
            IoStatus st = sendSome(m_fd, data, size, count, error);
            if (st == IoStatus::WouldBlock)
                break;
            if (st != IoStatus::Done) {
                m_server.closeClient(*this, st == IoStatus::Closed ? std::string("short write") : errorText(error));
                return;
            }
            data += count;
            size -= count;
        }
        if (size == 0)
            return;
    }
    m_out.appendWith([&](std::string &bytes) { bytes.append(data, size); });
    checkBacklog();
}

SendBuffer *Client::send_buffer()
{
    // while the oversize fault streams its frame nothing may slip a 0x00 in
    if (m_closing || m_stalled || m_oversizeLeft > 0)
        return nullptr;
    return &m_out;
}

void Client::send_appended(size_t)
{
    if (writeSome())
        checkBacklog();
}

void Client::fail(const std::string &reason)
{
    SIM_LOG(LOG_WARNING, "codec %d: client %d: %s", m_codec.index(), m_id, reason.c_str());
    m_server.closeClient(*this, reason);
}

void Client::deliver(const Message &message)
{
    onMessage(message);
}

void Client::send(const Message &message)
{
    SendBuffer *out = send_buffer();
    if (!out)
        return;
    if (m_server.options().trace)
        SIM_LOG(LOG_INFO, "codec %d client %d tx: %s", m_codec.index(), m_id, xmlText(message).c_str());
    send_appended(out->appendWith([&message](std::string &bytes) { appendWire(message, bytes); }));
}

void Client::sendWire(const std::string &wire, const Message *message)
{
    if (!send_buffer())
        return;
    if (m_server.options().trace) {
        std::string text = message ? xmlText(*message) : wire.substr(0, wire.empty() ? 0 : wire.size() - 1);
        SIM_LOG(LOG_INFO, "codec %d client %d tx: %s", m_codec.index(), m_id, text.c_str());
    }
    // The same bytes go to many clients: written from the shared copy when the socket takes them.
    queueBytes(wire.data(), wire.size());
}

void Client::reply(Message message)
{
    send(message);
}

// ---- handshake ----

void Client::onMessage(const Message &message)
{
    if (m_closing || m_stalled)
        return;
    if (m_server.options().trace)
        SIM_LOG(LOG_INFO, "codec %d client %d rx: %s", m_codec.index(), m_id, xmlText(message).c_str());
    if (m_server.observer)
        m_server.observer(m_codec.index(), message);

    const std::string &name = message.name();
    if (name.empty()) {
        SIM_LOG(LOG_WARNING, "codec %d: client %d sent a frame that is not a message; ignored", m_codec.index(), m_id);
        return;
    }
    if (name == "ping") {
        handlePing(message);
        return;
    }
    if (name == "hello") {
        handleHello(message);
        return;
    }
    if (name == "login") {
        handleLogin(message);
        return;
    }
    if (!m_authenticated) {
        SIM_LOG(LOG_DETAIL, "codec %d: client %d sent \"%s\" before logging in", m_codec.index(), m_id, name.c_str());
        if (m_versioned && message.has_attribute("seq")) {
            // ask for a login; the client answers the challenge and sends again
            m_challenge = m_server.newChallenge();
            Message r("resp");
            r.set_string("seq", message.get_string("seq"));
            r.set_bool("fail", true);
            r.set_int("error_code", 401);
            r.set_string("error_text", "authentication required");
            r.set_string("challenge", m_challenge);
            reply(r);
        }
        return;
    }
    m_codec.handle(*this, message);
}

void Client::handlePing(const Message &message)
{
    Message pong("pong");
    if (!m_versioned || m_server.options().oldPong) {
        // old firmware: a pong whose seq is not the one asked for
        pong.set_string("seq", "pong");
        m_helloPending = false;
    } else if (message.has_attribute("seq")) {
        pong.set_string("seq", message.get_string("seq"));
    }
    reply(pong);
}

void Client::handleHello(const Message &message)
{
    const std::string seq = message.get_string("seq", "hello");
    if (!m_versioned) {
        SIM_LOG(LOG_DETAIL, "codec %d: client %d sent hello; old firmware does not know it", m_codec.index(), m_id);
        return;
    }
    if (m_server.options().oldPong && !m_authenticated) {
        // Answer only if no ping follows: a client that reads the old pong
        // falls back to the bare login and must not see a hello answer first.
        m_helloPending = true;
        m_helloSeq = seq;
        m_faultTimers.push_back(m_server.timers().addOnce(m_server.now() + 500000, [this] {
            if (m_helloPending) {
                m_helloPending = false;
                answerHello(m_helloSeq);
            }
        }));
        return;
    }
    answerHello(seq);
}

void Client::answerHello(const std::string &seq)
{
    Message r("resp");
    r.set_string("seq", seq);
    if (m_authenticated || m_server.options().open) {
        r.set_uint("version", 1);
        reply(r);
        if (!m_authenticated)
            loggedIn();
        return;
    }
    m_challenge = m_server.newChallenge();
    r.set_bool("fail", true);
    r.set_int("error_code", 401);
    r.set_string("error_text", "authentication required");
    r.set_string("challenge", m_challenge);
    reply(r);
}

void Client::handleLogin(const Message &message)
{
    if (!message.has_attribute("response")) {
        // a bare login: the client speaks the old protocol from now on
        if (m_versioned)
            SIM_LOG(LOG_DETAIL, "codec %d: client %d falls back to the unversioned protocol", m_codec.index(), m_id);
        m_versioned = false;
        m_helloPending = false;
        if (m_authenticated)
            return;
        Message r("login");
        if (m_server.options().open) {
            r.set_bool("success", true);
            reply(r);
            loggedIn();
            return;
        }
        m_challenge = m_server.newChallenge();
        r.set_string("challenge", m_challenge);
        reply(r);
        return;
    }

    const std::string seq = message.get_string("seq", "login");
    const bool ok = !m_challenge.empty() &&
                    message.get_string("response") == md5Hex(m_challenge + m_server.options().password);
    const bool hadChallenge = !m_challenge.empty();
    m_challenge.clear(); // one answer per challenge
    Message r(m_versioned ? "resp" : "login");
    if (m_versioned)
        r.set_string("seq", seq);
    if (ok) {
        r.set_bool("success", true);
        reply(r);
        if (!m_authenticated)
            loggedIn();
        return;
    }
    SIM_LOG(LOG_DETAIL, "codec %d: client %d: login refused (%s)", m_codec.index(), m_id,
            hadChallenge ? "wrong password" : "no challenge was given");
    r.set_bool("success", false);
    r.set_bool("fail", true);
    // not 401: that would ask for another challenge instead of reporting the refusal
    r.set_int("error_code", 403);
    r.set_string("error_text", hadChallenge ? "wrong password" : "login without a challenge");
    reply(r);
}

void Client::loggedIn()
{
    m_authenticated = true;
    SIM_LOG(LOG_DETAIL, "codec %d: client %d logged in (%s)", m_codec.index(), m_id,
            m_versioned ? "versioned" : "unversioned");
    m_codec.loggedIn(*this);
}

// ---- subscriptions and levels ----

void Client::subscribe(const Message &request)
{
    for (int i = 0; i < request.child_count(); ++i) {
        const Message &sub = request.get_child(i);
        if (sub.name() != "sub" || !sub.has_attribute("id"))
            continue;
        m_subscriptions[sub.get_string("id")] = sub.get_uint("interval");
    }
    updateMetering();
}

void Client::monitor(const Message &request)
{
    if (request.has_attribute("metering")) {
        m_monitorMetering = request.get_bool("metering") ? 1 : 0;
        if (request.has_attribute("meterInterval"))
            m_monitorInterval = static_cast<uint32_t>(std::max(0, request.get_int("meterInterval")));
    }
    if (request.has_attribute("peerStats"))
        m_monitorPeerStats = request.get_bool("peerStats");
    if (request.has_attribute("channelStats"))
        m_monitorChannelStats = request.get_bool("channelStats");
    updateMetering();
}

void Client::updateMetering()
{
    auto sub = m_subscriptions.find("metering");
    const bool wanted = m_monitorMetering == 1 || (m_monitorMetering == -1 && sub != m_subscriptions.end());
    uint32_t ms = m_monitorMetering == 1 && m_monitorInterval ? m_monitorInterval
                  : sub != m_subscriptions.end()               ? sub->second
                                                                : 0;
    if (ms == 0)
        ms = m_server.options().meteringMs > 0 ? static_cast<uint32_t>(m_server.options().meteringMs) : 70;
    // a codec set to meter faster than its clients ask (load and latency runs)
    if (m_server.options().levelsMs > 0)
        ms = static_cast<uint32_t>(m_server.options().levelsMs);
    // a client asking for 1 ms would only measure the simulator
    if (ms < 10)
        ms = 10;
    const uint64_t interval = wanted ? ms * 1000ULL : 0;
    if (interval == m_meteringInterval)
        return;
    m_server.timers().cancel(m_meteringTimer);
    m_meteringTimer = 0;
    m_meteringInterval = interval;
    if (interval)
        m_meteringTimer = m_server.timers().addPeriodic(m_server.now() + interval, interval, [this] { sendLevels(); });
}

void Client::sendLevels()
{
    if (m_closing || m_stalled || !m_authenticated)
        return;
    Message &notice = m_codec.levels(m_server.now());
    Message &levels = notice.get_child(0);
    if (m_server.options().stampLevels)
        levels.set_string("sent_us", std::to_string(monotonicMicros()));
    send(m_versioned ? notice : levels);
}

// ---- faults ----

void Client::armFaults()
{
    const Options &o = m_server.options();
    TimerQueue &t = m_server.timers();
    const uint64_t now = m_server.now();
    if (o.stallAfter >= 0) {
        m_faultTimers.push_back(t.addOnce(now + micros(o.stallAfter), [this] {
            SIM_LOG(LOG_INFO, "codec %d: client %d: stalling (fault)", m_codec.index(), m_id);
            m_stalled = true;
            m_server.timers().cancel(m_meteringTimer);
            m_meteringTimer = 0;
        }));
    }
    if (o.closeAfter >= 0) {
        m_faultTimers.push_back(t.addOnce(now + micros(o.closeAfter), [this] {
            m_server.closeClient(*this, "closed on purpose (fault)");
        }));
    }
    if (o.garbageAfter >= 0)
        m_faultTimers.push_back(t.addOnce(now + micros(o.garbageAfter), [this] { sendGarbage(); }));
    if (o.oversizeAfter >= 0) {
        m_faultTimers.push_back(t.addOnce(now + micros(o.oversizeAfter), [this] {
            if (m_stalled || m_closing)
                return;
            SIM_LOG(LOG_INFO, "codec %d: client %d: sending more than 2 MiB without a 0x00 (fault)", m_codec.index(),
                    m_id);
            m_oversizeLeft = SendBuffer::DefaultLimit + 65536;
            if (pending() == 0)
                feedOversize();
        }));
    }
}

void Client::sendGarbage()
{
    if (m_stalled || m_closing || m_oversizeLeft > 0)
        return;
    SIM_LOG(LOG_INFO, "codec %d: client %d: sending a frame that is not XML (fault)", m_codec.index(), m_id);
    static const char garbage[] = "\x7f\xfe garbage: this is not XML \x01\x02\x03 ]]> &&& \xff";
    std::string frame(garbage, sizeof garbage - 1);
    frame.push_back('\0');
    queueBytes(frame.data(), frame.size());
}

void Client::feedOversize()
{
    // Streamed in slices as the socket drains, so the frame never sits in
    // the send buffer whole and the send limit still holds.
    static const std::string slice(65536, 'x');
    while (m_oversizeLeft > 0 && pending() < slice.size() && !m_closing) {
        size_t n = std::min(m_oversizeLeft, slice.size());
        m_oversizeLeft -= n;
        queueBytes(slice.data(), n);
    }
}

} // namespace codecsim
