#include "simtestclient.h"

#include "platform/clock.h"
#include "platform/syserror.h"

#include <QCryptographicHash>

using namespace IpcPlatform;

SimTestClient::SimTestClient()
    : m_protocol(this)
{
    std::string error;
    netStartup(error);
    m_poller = Poller::create(error);
}

SimTestClient::~SimTestClient()
{
    close();
}

bool SimTestClient::connectTo(uint16_t port, int timeoutMs)
{
    close();
    SocketAddress address;
    parseNumericHost("127.0.0.1", FamilyIPv4, address);
    address.port = port;
    int error = 0;
    m_fd = openTcpSocket(FamilyIPv4, error);
    if (m_fd == InvalidSocket)
        return false;
    IoStatus st = startConnect(m_fd, address, error);
    if (st == IoStatus::Failed) {
        close();
        return false;
    }
    m_poller->add(m_fd, Poller::WantRead | Poller::WantWrite, this, error);
    if (st == IoStatus::WouldBlock) {
        Poller::Event ev;
        if (m_poller->wait(&ev, 1, timeoutMs, error) != 1 || pendingError(m_fd) != 0) {
            close();
            return false;
        }
    }
    m_poller->modify(m_fd, Poller::WantRead, this, error);
    m_closed = false;
    m_failure.clear();
    m_protocol.state_changed(4);
    return true;
}

void SimTestClient::close()
{
    if (m_fd != InvalidSocket) {
        m_poller->remove(m_fd);
        closeSocket(m_fd);
        m_fd = InvalidSocket;
    }
    m_protocol.state_changed(0);
    m_closed = true;
}

void SimTestClient::send(const Message &message)
{
    std::string wire;
    IPCProtocolXMLS::encode_wire(message, wire);
    sendRaw(wire);
}

void SimTestClient::sendRaw(const std::string &bytes, bool readWhileBlocked)
{
    size_t done = 0;
    const uint64_t deadline = monotonicMicros() + 5000000;
    while (done < bytes.size() && m_fd != InvalidSocket && monotonicMicros() < deadline) {
        size_t count = 0;
        int error = 0;
        IoStatus st = sendSome(m_fd, bytes.data() + done, bytes.size() - done, count, error);
        if (st == IoStatus::Done)
            done += count;
        else if (st == IoStatus::WouldBlock && readWhileBlocked)
            pump(10); // keep reading so a codec that answers while we write cannot block us
        else if (st == IoStatus::WouldBlock)
            sleepMillis(5);
        else
            return;
    }
}

void SimTestClient::fail(const std::string &reason)
{
    if (m_failure.empty())
        m_failure = reason;
    m_closed = true;
}

void SimTestClient::deliver(const Message &message)
{
    m_inbox.push_back(message);
}

void SimTestClient::pump(int timeoutMs)
{
    if (m_fd == InvalidSocket || m_closed)
        return;
    Poller::Event ev;
    int error = 0;
    if (m_poller->wait(&ev, 1, timeoutMs, error) <= 0)
        return;
    char buffer[65536];
    for (int i = 0; i < 64 && !m_closed; ++i) {
        size_t count = 0;
        IoStatus st = recvSome(m_fd, buffer, sizeof buffer, count, error);
        if (st == IoStatus::WouldBlock)
            return;
        if (st != IoStatus::Done) {
            fail(st == IoStatus::Closed ? "closed by the codec" : errorText(error));
            return;
        }
        m_protocol.receive_data(buffer, count);
    }
}

bool SimTestClient::next(Message &out, int timeoutMs)
{
    const uint64_t deadline = monotonicMicros() + static_cast<uint64_t>(timeoutMs) * 1000;
    while (m_inbox.empty()) {
        if (m_closed)
            return false;
        const uint64_t now = monotonicMicros();
        if (now >= deadline)
            return false;
        pump(static_cast<int>((deadline - now + 999) / 1000));
    }
    out = std::move(m_inbox.front());
    m_inbox.pop_front();
    return true;
}

bool SimTestClient::waitFor(const std::function<bool(const Message &)> &match, Message &out, int timeoutMs)
{
    const uint64_t deadline = monotonicMicros() + static_cast<uint64_t>(timeoutMs) * 1000;
    for (;;) {
        const uint64_t now = monotonicMicros();
        if (now >= deadline)
            return false;
        Message m;
        if (!next(m, static_cast<int>((deadline - now + 999) / 1000)))
            return false;
        if (match(m)) {
            out = std::move(m);
            return true;
        }
        ++m_skipped;
    }
}

bool SimTestClient::waitResp(const std::string &seq, Message &out, int timeoutMs)
{
    return waitFor([&](const Message &m) { return m.name() == "resp" && m.get_string("seq") == seq; }, out,
                   timeoutMs);
}

bool SimTestClient::waitUnso(const std::string &id, Message &out, int timeoutMs)
{
    return waitFor([&](const Message &m) { return m.name() == "unso" && m.get_string("id") == id; }, out, timeoutMs);
}

bool SimTestClient::waitPushed(const std::string &name, Message &out, int timeoutMs)
{
    Message wrapper;
    if (!waitFor(
            [&](const Message &m) {
                return m.name() == "unso" && m.get_string("id") == "unso" && m.child_count() > 0 &&
                       m.get_child(0).name() == name;
            },
            wrapper, timeoutMs))
        return false;
    out = wrapper.get_child(0);
    return true;
}

bool SimTestClient::waitClosed(int timeoutMs)
{
    const uint64_t deadline = monotonicMicros() + static_cast<uint64_t>(timeoutMs) * 1000;
    while (!m_closed) {
        const uint64_t now = monotonicMicros();
        if (now >= deadline)
            return false;
        pump(static_cast<int>((deadline - now + 999) / 1000));
        m_inbox.clear();
    }
    return true;
}

bool SimTestClient::loginVersioned(const std::string &password)
{
    Message hello("hello");
    hello.set_string("seq", "hello");
    hello.set_uint("version", 1);
    send(hello);
    send(request("ping", "ping"));
    Message m;
    if (!waitFor([](const Message &x) { return x.name() == "resp" && x.get_string("seq") == "hello"; }, m))
        return false;
    if (!m.has_attribute("fail"))
        return true; // let in without a login
    if (m.get_int("error_code") != 401)
        return false;
    Message login("login");
    login.set_string("seq", "login");
    login.set_string("username", "");
    login.set_string("response", md5Hex(m.get_string("challenge") + password));
    send(login);
    if (!waitResp("login", m))
        return false;
    return m.get_bool("success", true) && !m.has_attribute("fail");
}

bool SimTestClient::loginUnversioned(const std::string &password)
{
    send(Message("login"));
    Message m;
    if (!waitFor([](const Message &x) { return x.name() == "login"; }, m))
        return false;
    if (m.has_attribute("success"))
        return m.get_bool("success") && !m.has_attribute("fail");
    Message login("login");
    login.set_string("seq", "login");
    login.set_string("username", "");
    login.set_string("response", md5Hex(m.get_string("challenge") + password));
    send(login);
    if (!waitFor([](const Message &x) { return x.name() == "login"; }, m))
        return false;
    return m.get_bool("success", true) && !m.has_attribute("fail");
}

std::string SimTestClient::md5Hex(const std::string &text)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5).toHex().toStdString();
}

Message SimTestClient::request(const std::string &name, const std::string &seq)
{
    Message m(name);
    if (!seq.empty())
        m.set_string("seq", seq);
    return m;
}
