// A codec's answers: dispatch of requests, the records it answers with, and
// how it pushes changes to every logged-in client.

#include "simcodec.h"

#include "simclient.h"
#include "simlog.h"
#include "simrecords.h"
#include "simxml.h"

#include <algorithm>
#include <cmath>

namespace codecsim {

namespace {

// what makes a current-encoder record worth pushing again
std::string encoderKey(const Message &enc)
{
    return enc.get_string("id") + (enc.get_bool("active") ? "+" : "-");
}

} // namespace

const Codec::Command Codec::kCommands[] = {
    {"getChannelList", &Codec::getChannelList, false},
    {"getChannelOpts", &Codec::getChannelOpts, false},
    {"getProfileList", &Codec::getProfileList, false},
    {"getCodecList", &Codec::getCodecList, false},
    {"getPeerList", &Codec::getPeerList, false},
    {"getDirectoryServer", &Codec::getDirectoryServer, false},
    {"getSysOptions", &Codec::getSysOptions, false},
    {"getVersion", &Codec::getVersion, false},
    {"cfgDescribe", &Codec::cfgDescribe, true},
    {"cfgGetStatus", &Codec::cfgGetStatus, true},
    {"cfgSetOption", &Codec::cfgSetOption, true},
    {"setMaxDelay", &Codec::setMaxDelay, true},
    {"subscribe", &Codec::subscribe, false},
    {"monitor", &Codec::monitor, false},
    {"connect", &Codec::connect, false},
    {"disconnect", &Codec::disconnect, false},
    {"addPeer", &Codec::addPeer, false},
    {"setPeerSettings", &Codec::setPeerSettings, false},
    {"removePeer", &Codec::removePeer, false},
    {"setProfile", &Codec::setProfile, false},
    {"addProfile", &Codec::addProfile, false},
    {"copyProfile", &Codec::copyProfile, false},
    {"deleteProfile", &Codec::deleteProfile, false},
    {"setSysOptions", &Codec::setSysOptions, false},
    {"setDirectoryServer", &Codec::setDirectoryServer, false},
    {"setChannelSettings", &Codec::setChannelSettings, false},
};

Codec::Codec(Server &server, int index)
    : m_server(server)
    , m_desc(server.descriptions())
    , m_index(index)
    , m_state(CodecState::generate(server.descriptions(), server.options().seed, index, server.options().unversioned))
    , m_random(Random::mix(server.options().seed ^ 0xC0DEC, static_cast<uint64_t>(index)))
{
    for (double &p : m_phase)
        p = m_random.unit() * 6.283185307179586;
    // "Café" in ISO-8859-1: the writer passes the bytes through as they are.
    if (server.options().latin1UnitName)
        m_state.sys["unit_name"] = "Caf\xe9 " + m_state.sys["unit_name"];
    m_lastEncoder = encoderKey(records::currentEncoder(m_state, m_desc));
}

void Codec::attach(Client &client)
{
    m_clients.push_back(&client);
}

void Codec::detach(Client &client)
{
    m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), &client), m_clients.end());
}

void Codec::dropClients()
{
    // closing detaches, so walk a copy
    const std::vector<Client *> clients = m_clients;
    for (Client *c : clients)
        m_server.closeClient(*c, "codec restarted");
}

void Codec::loggedIn(Client &client)
{
    const bool versioned = client.versioned();
    if (!m_server.options().noSystemOpts)
        client.send(versioned ? records::pushed(m_desc.systemOpts) : m_desc.systemOpts);
    const Message sip = records::sipProxy(m_state);
    const Message enc = records::currentEncoder(m_state, m_desc);
    client.send(versioned ? records::flatNotice("sipProxy", sip) : sip);
    client.send(versioned ? records::flatNotice("currentEncoder", enc) : enc);

    if (!m_firmwareScheduled && m_server.options().firmwareChangeAfter >= 0) {
        m_firmwareScheduled = true;
        const uint64_t delay = static_cast<uint64_t>(m_server.options().firmwareChangeAfter * 1e6);
        m_server.timers().addOnce(m_server.now() + delay, [this] { changeFirmware(); });
    }
}

void Codec::handle(Client &client, const Message &request)
{
    const std::string &name = request.name();
    for (const Command &cmd : kCommands) {
        if (name != cmd.name)
            continue;
        if (cmd.versionedOnly && !client.versioned())
            break; // old firmware has no tunnel
        (this->*cmd.handler)(client, request);
        return;
    }
    error(client, request, 501, "unknown command " + name);
}

// ---- answers ----

void Codec::answer(Client &client, const Message &request, Message record)
{
    if (!client.versioned()) {
        client.send(record);
        return;
    }
    if (request.has_attribute("seq")) {
        record.setName("resp");
        record.set_string("seq", request.get_string("seq"));
        client.send(record);
        return;
    }
    // without a seq the answer is keyed by its first child's name
    Message r("resp");
    r.append_move(std::move(record));
    client.send(r);
}

void Codec::ack(Client &client, const Message &request, Message reply)
{
    if (!client.versioned() || !request.has_attribute("seq"))
        return;
    reply.setName("resp");
    reply.set_string("seq", request.get_string("seq"));
    client.send(reply);
}

void Codec::error(Client &client, const Message &request, int code, const std::string &text)
{
    SIM_LOG(LOG_DETAIL, "codec %d: client %d: %s refused: %s", m_index, client.id(), request.name().c_str(),
            text.c_str());
    // old firmware has no error answer; its client makes up its own responses
    if (!client.versioned())
        return;
    Message r("resp");
    if (request.has_attribute("seq"))
        r.set_string("seq", request.get_string("seq"));
    r.set_bool("fail", true);
    r.set_int("error_code", code);
    r.set_string("error_text", text);
    client.send(r);
}

void Codec::pushRecord(const Message &record)
{
    std::string wrapped, bare;
    const Message wrapper = records::pushed(record);
    // a send may drop a client (and detach it): walk a copy
    const std::vector<Client *> clients = m_clients;
    for (Client *c : clients) {
        if (!c->authenticated() || c->closing())
            continue;
        std::string &wire = c->versioned() ? wrapped : bare;
        if (wire.empty())
            appendWire(c->versioned() ? wrapper : record, wire);
        c->sendWire(wire, c->versioned() ? &wrapper : &record);
    }
}

void Codec::pushNotice(const Message &notice, const std::string &subscription, const Message *bare,
                       bool (Client::*bareWanted)() const)
{
    std::string noticeWire, bareWire;
    const std::vector<Client *> clients = m_clients;
    for (Client *c : clients) {
        if (!c->authenticated() || c->closing())
            continue;
        if (c->versioned()) {
            if (!subscription.empty() && !c->subscribed(subscription))
                continue;
            if (noticeWire.empty())
                appendWire(notice, noticeWire);
            c->sendWire(noticeWire, &notice);
        } else if (bare && (!bareWanted || (c->*bareWanted)())) {
            if (bareWire.empty())
                appendWire(*bare, bareWire);
            c->sendWire(bareWire, bare);
        }
    }
}

void Codec::pushPeerList()
{
    pushRecord(records::peerList(m_state, m_desc, m_server.now(), m_server.options().shortPeerKeys));
}

void Codec::pushProfileList()
{
    pushRecord(records::profileList(m_state));
}

void Codec::pushSipProxy()
{
    const Message sip = records::sipProxy(m_state);
    pushNotice(records::flatNotice("sipProxy", sip), std::string(), &sip);
}

void Codec::pushCurrentEncoder(bool force)
{
    const Message enc = records::currentEncoder(m_state, m_desc);
    const std::string key = encoderKey(enc);
    if (!force && key == m_lastEncoder)
        return;
    m_lastEncoder = key;
    pushNotice(records::flatNotice("currentEncoder", enc), std::string(), &enc);
}

// ---- requests for data ----

void Codec::getChannelList(Client &c, const Message &r)
{
    answer(c, r, records::channelList(m_state));
}

void Codec::getChannelOpts(Client &c, const Message &r)
{
    answer(c, r, m_desc.channelOpts);
}

void Codec::getProfileList(Client &c, const Message &r)
{
    answer(c, r, records::profileList(m_state));
}

void Codec::getCodecList(Client &c, const Message &r)
{
    answer(c, r, m_desc.codecList);
}

void Codec::getPeerList(Client &c, const Message &r)
{
    answer(c, r, records::peerList(m_state, m_desc, m_server.now(), m_server.options().shortPeerKeys));
}

void Codec::getDirectoryServer(Client &c, const Message &r)
{
    answer(c, r, records::directoryServer(m_state));
}

void Codec::getSysOptions(Client &c, const Message &r)
{
    answer(c, r, records::sysOptions(m_state));
}

void Codec::getVersion(Client &c, const Message &r)
{
    answer(c, r, records::version(m_state));
}

void Codec::cfgDescribe(Client &c, const Message &r)
{
    if (r.get_string("path") != "netmgr.tunnel") {
        error(c, r, 404, "unknown configuration path " + r.get_string("path"));
        return;
    }
    answer(c, r, records::weftlineSettings(m_state, m_desc));
}

void Codec::cfgGetStatus(Client &c, const Message &r)
{
    if (r.get_string("path") != "netmgr.tunnel") {
        error(c, r, 404, "unknown configuration path " + r.get_string("path"));
        return;
    }
    answer(c, r, records::tunnelStatus(m_state));
}

void Codec::subscribe(Client &c, const Message &r)
{
    c.subscribe(r);
    if (c.versioned()) {
        Message resp("resp");
        resp.set_string("seq", r.get_string("seq", "internal"));
        c.send(resp);
    }
}

void Codec::monitor(Client &c, const Message &r)
{
    c.monitor(r);
}

// ---- levels ----

Message &Codec::levels(uint64_t now)
{
    if (m_levels.name().empty()) {
        m_levels.setName("unso");
        m_levels.set_string("id", "metering");
        m_levels.add_child("levels");
    }
    const double t = static_cast<double>(now) * 1e-6;
    const double tau = 6.283185307179586;
    auto wave = [&](double hz, int phase) { return std::sin(tau * hz * t + m_phase[phase]); };
    auto clamp = [](double v) { return std::max(-96.0, std::min(-0.5, v)); };

    // the local input is programme audio: always moving, peaks now and then
    const double tx = -19 + 7 * wave(0.21, 0) + 4 * wave(1.3, 1) + 2 * wave(3.1, 2);
    const double txFast = tx + 3 * wave(7.7, 3);
    const double txSkew = 1.2 * wave(0.4, 4);
    // what comes back from the peers; near silence without a call
    double rx, rxFast, rxSkew;
    if (m_state.activeCount() > 0) {
        rx = -22 + 6 * wave(0.17, 5) + 4 * wave(1.1, 6) + 2 * wave(2.9, 7);
        rxFast = rx + 3 * wave(6.3, 8);
        rxSkew = 1.5 * wave(0.3, 9);
    } else {
        rx = -88 + 1.5 * wave(0.9, 10);
        rxFast = rx + 2 * wave(5.1, 11);
        rxSkew = 0.5;
    }
    AttrMap &a = m_levels.get_child(0).attributes();
    auto set = [&](const char *key, double v) { a.slot(key).setFloat(static_cast<float>(clamp(v))); };
    set("rmlf", rxFast);
    set("rmrf", rxFast - rxSkew);
    set("tmlf", txFast);
    set("tmrf", txFast - txSkew);
    set("rmls", rx - 3);
    set("rmrs", rx - 3 - rxSkew);
    set("tmls", tx - 3);
    set("tmrs", tx - 3 - txSkew);
    return m_levels;
}

void Codec::changeFirmware()
{
    // bump the minor version, as an update to the next release would
    std::string &fw = m_state.firmware;
    const size_t a = fw.find('.');
    const size_t b = fw.find('.', a + 1);
    int minor = 0;
    if (a != std::string::npos && b != std::string::npos && parseInt(fw.substr(a + 1, b - a - 1), minor))
        fw = fw.substr(0, a + 1) + std::to_string(minor + 1) + ".0";
    else
        fw += ".1";
    SIM_LOG(LOG_INFO, "codec %d: firmware changed to %s (fault)", m_index, fw.c_str());
    const Message v = records::version(m_state);
    pushNotice(records::notice("version", v), "version", &v);
}

} // namespace codecsim
