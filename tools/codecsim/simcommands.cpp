// The commands that change a codec: calls, the address book, profiles and
// settings. Each checks everything before it changes anything, answers, and
// pushes the changed records to every logged-in client.

#include "simcodec.h"

#include "simclient.h"
#include "simlog.h"
#include "simrecords.h"

#include <algorithm>

namespace codecsim {

namespace {

std::string badValue(const std::string &name, const std::string &value, const std::string &why)
{
    return "bad value \"" + value + "\" for " + name + ": " + why;
}

} // namespace

std::string Codec::checkValue(const Message &option, const std::string &value, bool remote) const
{
    const std::string type = option.get_string("type");
    const std::string name = option.get_string("name");
    if (type == "int") {
        int v = 0;
        if (!parseInt(value, v))
            return badValue(name, value, "not a whole number");
        if (option.has_attribute("min") && option.has_attribute("max") &&
            (v < option.get_int("min") || v > option.get_int("max")))
            return badValue(name, value,
                            "outside " + option.get_string("min") + " to " + option.get_string("max"));
        return std::string();
    }
    if (type == "bool") {
        if (value != "true" && value != "false")
            return badValue(name, value, "must be true or false");
        return std::string();
    }
    if (type == "select") {
        for (int i = 0; i < option.child_count(); ++i) {
            const Message &s = option.get_child(i);
            if (s.name() == "select" && s.get_string("value") == value)
                return std::string();
        }
        return badValue(name, value, "not one of the choices");
    }
    if (type == "codec") {
        if ((remote && value == "!follow") || m_desc.encoder(value))
            return std::string();
        return badValue(name, value, "no such encoder");
    }
    if (type == "peer") {
        int id = 0;
        if (!parseInt(value, id))
            return badValue(name, value, "not a peer id");
        if (id == 0)
            return std::string();
        for (const PeerEntry &p : m_state.peers) {
            if (p.id == id)
                return std::string();
        }
        return badValue(name, value, "no such peer");
    }
    if (value.size() > 255)
        return badValue(name, value.substr(0, 16) + "...", "longer than 255 characters");
    return std::string();
}

PeerEntry *Codec::requestPeer(Client &c, const Message &r)
{
    int id = 0;
    if (!r.has_attribute("id") || !parseInt(r.get_string("id"), id)) {
        error(c, r, 400, "missing or bad peer id \"" + r.get_string("id") + "\"");
        return nullptr;
    }
    PeerEntry *p = m_state.peer(id);
    if (!p || (p->directory && !m_state.directoryEnabled() && !p->active)) {
        error(c, r, 404, "unknown peer id " + std::to_string(id));
        return nullptr;
    }
    return p;
}

// ---- calls ----

void Codec::connect(Client &c, const Message &r)
{
    PeerEntry *p = requestPeer(c, r);
    if (!p)
        return;
    if (p->active) {
        error(c, r, 409, "peer " + std::to_string(p->id) + " is already connected");
        return;
    }
    if (p->directory && !p->online) {
        error(c, r, 409, "peer " + std::to_string(p->id) + " is offline");
        return;
    }
    startCall(*p);
    SIM_LOG(LOG_DETAIL, "codec %d: connected to peer %d (%s)", m_index, p->id, p->name.c_str());
    ack(c, r);
    pushPeerList();
    pushCurrentEncoder(false);
}

void Codec::disconnect(Client &c, const Message &r)
{
    if (r.has_attribute("id")) {
        PeerEntry *p = requestPeer(c, r);
        if (!p)
            return;
        if (!p->active) {
            error(c, r, 409, "peer " + std::to_string(p->id) + " is not connected");
            return;
        }
        endCall(*p);
    } else {
        for (PeerEntry &p : m_state.peers) {
            if (p.active)
                endCall(p);
        }
    }
    ack(c, r);
    pushPeerList();
    pushCurrentEncoder(false);
}

// ---- address book ----

void Codec::addPeer(Client &c, const Message &r)
{
    const std::string addr = r.get_string("addr");
    const std::string unit = r.get_string("unit");
    const bool weftline = r.get_bool("use_weftline");
    if (addr.empty() || addr[0] == ':') {
        error(c, r, 400, "an address is required");
        return;
    }
    if ((weftline || !unit.empty()) && !isMacAddress(unit)) {
        error(c, r, 400, badValue("unit", unit, "not a MAC address"));
        return;
    }
    PeerEntry e;
    e.id = m_state.nextPeerId++;
    e.name = r.get_string("name");
    e.addr = addr;
    e.password = r.get_string("password");
    e.unit = unit;
    e.weftline = weftline;
    if (e.name.empty())
        e.name = e.host();
    // the address book comes before the directory peers
    auto at = std::find_if(m_state.peers.begin(), m_state.peers.end(), [](const PeerEntry &p) { return p.directory; });
    m_state.peers.insert(at, e);
    Message reply;
    reply.set_int("id", e.id);
    ack(c, r, reply);
    pushPeerList();
}

void Codec::setPeerSettings(Client &c, const Message &r)
{
    PeerEntry *p = requestPeer(c, r);
    if (!p)
        return;
    PeerEntry updated = *p;
    if (r.has_attribute("profile")) {
        int profile = 0;
        if (!parseInt(r.get_string("profile"), profile) || (profile != 0 && !m_state.profile(profile))) {
            error(c, r, 404, "unknown profile id " + r.get_string("profile"));
            return;
        }
        updated.profile = profile;
    }
    // a directory peer's details belong to the directory; only its profile is ours
    if (!p->directory) {
        if (r.has_attribute("name")) {
            if (r.get_string("name").empty()) {
                error(c, r, 400, "a name is required");
                return;
            }
            updated.name = r.get_string("name");
        }
        if (r.has_attribute("addr")) {
            if (r.get_string("addr").empty()) {
                error(c, r, 400, "an address is required");
                return;
            }
            updated.addr = r.get_string("addr");
        }
        if (r.has_attribute("password"))
            updated.password = r.get_string("password");
        if (r.has_attribute("unit"))
            updated.unit = r.get_string("unit");
        if (r.has_attribute("weftline"))
            updated.weftline = r.get_bool("weftline");
        if (r.has_attribute("use_weftline"))
            updated.weftline = r.get_bool("use_weftline");
        if ((updated.weftline || !updated.unit.empty()) && !isMacAddress(updated.unit)) {
            error(c, r, 400, badValue("unit", updated.unit, "not a MAC address"));
            return;
        }
    }
    *p = updated;
    ack(c, r);
    pushPeerList();
}

void Codec::removePeer(Client &c, const Message &r)
{
    PeerEntry *p = requestPeer(c, r);
    if (!p)
        return;
    if (p->directory) {
        error(c, r, 403, "directory peers cannot be removed");
        return;
    }
    const int id = p->id;
    if (p->active)
        endCall(*p);
    m_state.peers.erase(std::remove_if(m_state.peers.begin(), m_state.peers.end(),
                                       [id](const PeerEntry &e) { return e.id == id; }),
                        m_state.peers.end());
    for (PeerEntry &e : m_state.peers) {
        if (e.backupId == id) {
            e.backupId = 0;
            e.retryPrimary = false;
        }
    }
    ack(c, r);
    pushPeerList();
    pushCurrentEncoder(false);
}

// ---- profiles ----

namespace {

/** Reads a side ("local"/"remote") of a profile message into @p out; false with @p why on a bad value. */
template <typename Check>
bool readSide(const Message &side, const std::string &channel, const Descriptions &desc, bool remote, Check check,
              ValueMap &out, std::string &why)
{
    out.clear();
    for (const auto &kv : side.attributes()) {
        const Message *opt = desc.channelOption(channel, kv.first, true);
        if (!opt)
            continue; // not a setting of this channel: dropped, as the firmware would
        const std::string value = kv.second.toString();
        why = check(*opt, value, remote);
        if (!why.empty())
            return false;
        out[kv.first] = value;
    }
    return true;
}

} // namespace

void Codec::setProfile(Client &c, const Message &r)
{
    int id = 0;
    ProfileEntry *p = parseInt(r.get_string("id"), id) ? m_state.profile(id) : nullptr;
    if (!p) {
        error(c, r, 404, "unknown profile id " + r.get_string("id"));
        return;
    }
    ProfileEntry updated = *p;
    if (r.has_attribute("default"))
        updated.isDefault = r.get_bool("default");
    if (const Message *settings = r.find_child("settings")) {
        if (settings->has_attribute("name"))
            updated.name = settings->get_string("name");
        if (settings->has_attribute("channel"))
            updated.channel = settings->get_string("channel");
    }
    if (updated.name.empty()) {
        error(c, r, 400, "a profile name is required");
        return;
    }
    if (!m_state.channel(updated.channel)) {
        error(c, r, 400, badValue("channel", updated.channel, "no such channel"));
        return;
    }
    auto check = [this](const Message &o, const std::string &v, bool remote) { return checkValue(o, v, remote); };
    std::string why;
    if (const Message *local = r.find_child("local")) {
        if (!readSide(*local, updated.channel, m_desc, false, check, updated.local, why)) {
            error(c, r, 400, why);
            return;
        }
    }
    if (const Message *remote = r.find_child("remote")) {
        if (!readSide(*remote, updated.channel, m_desc, true, check, updated.remote, why)) {
            error(c, r, 400, why);
            return;
        }
        updated.hasRemote = true;
    }
    if (p->factory && (updated.name != p->name || updated.channel != p->channel || updated.local != p->local ||
                       updated.remote != p->remote)) {
        error(c, r, 403, "factory profiles cannot be changed");
        return;
    }
    if (updated.isDefault) {
        for (ProfileEntry &other : m_state.profiles)
            other.isDefault = false;
    }
    *p = updated;
    ack(c, r);
    pushProfileList();
    pushCurrentEncoder(false);
}

void Codec::addProfile(Client &c, const Message &r)
{
    ProfileEntry e;
    e.name = "New Profile";
    e.channel = m_state.channels.front().id;
    if (const Message *settings = r.find_child("settings")) {
        if (!settings->get_string("name").empty())
            e.name = settings->get_string("name");
        if (settings->has_attribute("channel")) {
            if (!m_state.channel(settings->get_string("channel"))) {
                error(c, r, 400, badValue("channel", settings->get_string("channel"), "no such channel"));
                return;
            }
            e.channel = settings->get_string("channel");
        }
    }
    e.id = m_state.nextProfileId++;
    m_state.profiles.push_back(e);
    Message reply;
    reply.set_int("id", e.id);
    ack(c, r, reply);
    pushProfileList();
}

void Codec::copyProfile(Client &c, const Message &r)
{
    int id = 0;
    ProfileEntry *p = parseInt(r.get_string("id"), id) ? m_state.profile(id) : nullptr;
    if (!p) {
        error(c, r, 404, "unknown profile id " + r.get_string("id"));
        return;
    }
    ProfileEntry copy = *p;
    copy.id = m_state.nextProfileId++;
    copy.name = r.get_string("name").empty() ? p->name + " (Copy)" : r.get_string("name");
    copy.factory = false;
    copy.isDefault = false;
    m_state.profiles.push_back(copy);
    ack(c, r);
    pushProfileList();
}

void Codec::deleteProfile(Client &c, const Message &r)
{
    int id = 0;
    ProfileEntry *p = parseInt(r.get_string("id"), id) ? m_state.profile(id) : nullptr;
    if (!p) {
        error(c, r, 404, "unknown profile id " + r.get_string("id"));
        return;
    }
    if (p->factory) {
        error(c, r, 403, "factory profiles cannot be removed");
        return;
    }
    m_state.profiles.erase(std::remove_if(m_state.profiles.begin(), m_state.profiles.end(),
                                          [id](const ProfileEntry &e) { return e.id == id; }),
                           m_state.profiles.end());
    bool peersChanged = false;
    for (PeerEntry &e : m_state.peers) {
        if (e.profile == id) {
            e.profile = 0; // back to the default profile
            peersChanged = true;
        }
    }
    ack(c, r);
    pushProfileList();
    if (peersChanged)
        pushPeerList();
    pushCurrentEncoder(false);
}

// ---- settings ----

void Codec::setSysOptions(Client &c, const Message &r)
{
    ValueMap sys = m_state.sys;
    std::map<std::string, ValueMap> sub = m_state.sysSub;
    auto apply = [&](const Message &from, const std::string &subgroup, ValueMap &into) -> bool {
        for (const auto &kv : from.attributes()) {
            const Message *opt = m_desc.systemOption(kv.first);
            if (!opt || opt->get_string("group") == "directoryServer" || opt->get_string("subgroup") != subgroup)
                continue; // "seq", or a value that lives elsewhere
            const std::string value = kv.second.toString();
            std::string why = checkValue(*opt, value, false);
            if (kv.first == "unit_name" && value.empty())
                why = badValue("unit_name", value, "a unit needs a name");
            if (!why.empty()) {
                error(c, r, 400, why);
                return false;
            }
            into[kv.first] = value;
        }
        return true;
    };
    if (!apply(r, std::string(), sys))
        return;
    for (int i = 0; i < r.child_count(); ++i) {
        const Message &child = r.get_child(i);
        auto it = sub.find(child.name());
        if (it == sub.end())
            continue;
        if (!apply(child, child.name(), it->second))
            return;
    }
    const bool sipChanged = sub["sip"] != m_state.sysSub["sip"];
    m_state.sys = sys;
    m_state.sysSub = sub;
    ack(c, r);
    pushRecord(records::sysOptions(m_state));
    if (sipChanged)
        pushSipProxy();
}

void Codec::setDirectoryServer(Client &c, const Message &r)
{
    ValueMap ds = m_state.dirServer;
    for (const auto &kv : r.attributes()) {
        const Message *opt = m_desc.systemOption(kv.first);
        if (!opt || opt->get_string("group") != "directoryServer")
            continue; // "seq" and the read-only state (connected, nat_addr, ...)
        const std::string value = kv.second.toString();
        const std::string why = checkValue(*opt, value, false);
        if (!why.empty()) {
            error(c, r, 400, why);
            return;
        }
        ds[kv.first] = value;
    }
    const bool toggled = ds["enabled"] != m_state.dirServer["enabled"];
    m_state.dirServer = ds;
    ack(c, r);
    pushRecord(records::directoryServer(m_state));
    if (toggled)
        pushPeerList(); // directory peers come and go with the directory
}

void Codec::setChannelSettings(Client &c, const Message &r)
{
    const std::string id = r.get_string("id");
    ChannelEntry *ch = m_state.channel(id);
    if (!ch) {
        error(c, r, 404, "unknown channel id " + id);
        return;
    }
    const Message *node = r.find_child("channel");
    if (!node && r.child_count() > 0)
        node = &r.get_child(0);
    if (!node) {
        error(c, r, 400, "no channel settings given");
        return;
    }
    ValueMap values = ch->values;
    for (const auto &kv : node->attributes()) {
        const Message *opt = m_desc.channelOption(id, kv.first, false);
        if (!opt)
            continue; // id, descr, remote_opts, advanced and the like are not settings
        const std::string value = kv.second.toString();
        const std::string why = checkValue(*opt, value, false);
        if (!why.empty()) {
            error(c, r, 400, why);
            return;
        }
        values[kv.first] = value;
    }
    ch->values = values;
    ack(c, r);
    pushRecord(records::channelList(m_state));
}

void Codec::cfgSetOption(Client &c, const Message &r)
{
    if (r.get_string("path") != "netmgr.tunnel") {
        error(c, r, 404, "unknown configuration path " + r.get_string("path"));
        return;
    }
    ValueMap values = m_state.weftline;
    for (int i = 0; i < r.child_count(); ++i) {
        const Message &o = r.get_child(i);
        if (o.name() != "option")
            continue;
        const Message *desc = m_desc.weftlineOption(o.get_string("name"));
        if (!desc) {
            error(c, r, 404, "unknown tunnel setting " + o.get_string("name"));
            return;
        }
        const std::string value = o.get_string("value");
        const std::string why = checkValue(*desc, value, false);
        if (!why.empty()) {
            error(c, r, 400, why);
            return;
        }
        values[o.get_string("name")] = value;
    }
    m_state.weftline = values;
    if (values["enabled"] != "true" && m_state.tunnel.exists)
        closeTunnel();
    Message reply;
    for (const auto &kv : values) {
        Message &o = reply.add_child("option");
        o.set_string("name", kv.first);
        o.set_string("value", kv.second);
    }
    ack(c, r, reply);
    pushRecord(records::weftlineSettings(m_state, m_desc));
}

void Codec::setMaxDelay(Client &c, const Message &r)
{
    TunnelState &t = m_state.tunnel;
    if (!t.exists || r.get_int("sid", -1) != t.sid) {
        error(c, r, 404, "no tunnel session " + r.get_string("sid"));
        return;
    }
    const bool remote = r.get_bool("remote");
    const bool automatic = r.get_bool("auto");
    int delay = remote ? t.rdm : t.dm;
    if (r.has_attribute("delay")) {
        if (!parseInt(r.get_string("delay"), delay) || delay < 10 || delay > 2000) {
            error(c, r, 400, badValue("delay", r.get_string("delay"), "outside 10 to 2000"));
            return;
        }
    } else if (!automatic) {
        error(c, r, 400, "a delay is required unless the delay is automatic");
        return;
    }
    (remote ? t.rdma : t.dma) = automatic;
    (remote ? t.rdm : t.dm) = delay;
    ack(c, r);
    // show the operator the effect at once rather than at the next tick
    const Message stats = tunStats();
    pushNotice(records::notice("tun_stats", stats), "tun_stats", nullptr);
}

} // namespace codecsim
