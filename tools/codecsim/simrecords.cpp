#include "simrecords.h"

namespace codecsim {
namespace records {

namespace {

void setValues(Message &m, const ValueMap &values)
{
    for (const auto &kv : values)
        m.set_string(kv.first, kv.second);
}

std::string encoderText(const Descriptions &d, const std::string &id)
{
    const EncoderInfo *e = d.encoder(id);
    return e ? e->display() : std::string();
}

} // namespace

void setBoth(Message &m, const std::string &key, const std::string &value)
{
    m.set_string(key, value);
    Message *child = m.find_child(key);
    if (!child)
        child = &m.add_child(key);
    child->setValue(value);
}

void setBothFlag(Message &m, const std::string &key, bool value)
{
    m.set_bool(key, value);
    Message *child = m.find_child(key);
    if (!child)
        child = &m.add_child(key);
    child->setValue(value ? "true" : "false");
}

Message notice(const std::string &id, const Message &payload)
{
    Message m("unso");
    m.set_string("id", id);
    m.append_copy(payload);
    return m;
}

Message flatNotice(const std::string &id, const Message &payload)
{
    Message m("unso");
    for (const auto &kv : payload.attributes())
        m.set_attr(kv.first, kv.second);
    m.set_string("id", id);
    m.append_copy(payload);
    for (int i = 0; i < payload.child_count(); ++i)
        m.append_copy(payload.get_child(i));
    return m;
}

Message pushed(const Message &record)
{
    return notice("unso", record);
}

Message peerList(const CodecState &s, const Descriptions &d, uint64_t now, bool shortKeys)
{
    Message list("peerList");
    const bool directory = s.directoryEnabled();
    for (const PeerEntry &p : s.peers) {
        // directory peers are only known while the directory server is in use
        if (p.directory && !directory && !p.active)
            continue;
        Message &m = list.add_child("peer");
        m.set_string("id", std::to_string(p.id));
        m.set_string("name", p.name);
        m.set_string("addr", p.addr);
        m.set_int("profile", p.profile);
        m.set_bool("stored", !p.directory);
        m.set_bool("active", p.active);
        m.set_string("chan_state", p.active ? "Connected" : "");
        m.set_string("can_connect", p.directory && !p.online ? "false" : "true");
        m.set_string("backup_id", std::to_string(p.backupId));
        m.set_bool("retry_primary", p.retryPrimary);
        m.set_string("unit", p.unit);
        // the flag and the password under both names that readers look for,
        // unless the codec is told to send only the names its firmware uses
        m.set_bool("weftline", p.weftline);
        if (!shortKeys)
            m.set_bool("use_weftline", p.weftline);
        if (!p.directory) {
            m.set_string("pw", p.password);
            if (!shortKeys)
                m.set_string("password", p.password);
        }
        if (p.active) {
            m.set_string("channel", p.channel);
            m.set_string("state", "Connected");
            m.set_bool("transmitting", p.transmitting);
            m.set_bool("receiving", p.receiving);
            m.set_int("channels", p.channels);
            m.set_string("rx_codec", encoderText(d, p.rxEncoder));
            m.set_string("tx_codec", encoderText(d, p.txEncoder));
            m.set_uint("call_time", static_cast<uint32_t>((now - p.connectedAt) / 1000000));
        }
        if (p.directory) {
            Message &dir = m.add_child("directory");
            dir.set_string("product", p.product);
            dir.set_string("state", p.dirState);
            dir.set_bool("online", p.online);
        }
    }
    return list;
}

Message profileList(const CodecState &s)
{
    Message list("profileList");
    for (const ProfileEntry &p : s.profiles) {
        Message &m = list.add_child("profile");
        m.set_int("id", p.id);
        m.set_bool("default", p.isDefault);
        Message &settings = m.add_child("settings");
        settings.set_string("name", p.name);
        settings.set_string("channel", p.channel);
        settings.set_bool("factory", p.factory);
        setValues(m.add_child("local"), p.local);
        if (p.hasRemote || !p.remote.empty())
            setValues(m.add_child("remote"), p.remote);
    }
    return list;
}

Message channelList(const CodecState &s)
{
    Message list("channelList");
    for (const ChannelEntry &c : s.channels) {
        Message &m = list.add_child("channel");
        setValues(m, c.values);
        m.set_string("id", c.id);
        m.set_string("descr", c.descr);
        m.set_bool("remote_opts", c.remoteOpts);
        m.set_bool("advanced", c.advanced);
    }
    return list;
}

Message sysOptions(const CodecState &s)
{
    Message m("sysOptions");
    setValues(m, s.sys);
    for (const auto &sub : s.sysSub)
        setValues(m.add_child(sub.first), sub.second);
    return m;
}

Message directoryServer(const CodecState &s)
{
    Message m("directoryServer");
    setValues(m, s.dirServer);
    const bool enabled = s.directoryEnabled();
    // a unit that uses its directory server is logged in to it
    setBothFlag(m, "enabled", enabled);
    setBothFlag(m, "connected", enabled);
    setBoth(m, "nat_addr", enabled ? s.natAddr : std::string());
    setBoth(m, "nat_type", enabled ? s.natType : std::string());
    return m;
}

Message version(const CodecState &s)
{
    Message m("version");
    setBoth(m, "version", s.firmware);
    setBoth(m, "node_id", s.nodeId);
    m.set_string("product", s.product);
    m.set_string("serial", s.serial);
    auto it = s.sys.find("unit_name");
    m.set_string("unit_name", it != s.sys.end() ? it->second : std::string());
    return m;
}

Message weftlineSettings(const CodecState &s, const Descriptions &d)
{
    Message m("weftlineSettings");
    Message &node = m.add_child("node");
    node.set_string("path", "netmgr.tunnel");
    Message &group = node.append_copy(d.weftlineGroup);
    for (int i = 0; i < group.child_count(); ++i) {
        Message &o = group.get_child(i);
        auto it = s.weftline.find(o.get_string("name"));
        o.set_string("value", it != s.weftline.end() ? it->second : o.get_string("default_value"));
    }
    return m;
}

Message tunnelNode(const CodecState &s)
{
    Message node("node");
    node.set_string("path", "netmgr.tunnel");
    const TunnelState &t = s.tunnel;
    if (!t.exists)
        return node;
    auto value = [&](const char *key) {
        auto it = s.weftline.find(key);
        return it != s.weftline.end() ? it->second : std::string();
    };
    Message &sess = node.add_child("sess");
    sess.set_int("sid", t.sid);
    sess.set_string("addr", t.addr);
    sess.set_int("active_conns", static_cast<int>(t.paths.size()));
    sess.set_bool("active", true);
    sess.set_bool("encrypted", value("encryption") == "true");
    sess.set_bool("protected", value("mode") == "redundant");
    sess.set_string("state", "connected");
    for (const TunnelPath &p : t.paths) {
        Message &c = sess.add_child("conn");
        c.set_int("li", p.li);
        c.set_int("ri", p.ri);
        c.set_string("ldesc", p.ldesc);
        c.set_string("rdesc", p.rdesc);
        c.set_string("name", p.name);
    }
    return node;
}

Message tunnelStatus(const CodecState &s)
{
    Message m("tunnelStatus");
    m.append_move(tunnelNode(s));
    return m;
}

Message sipProxy(const CodecState &s)
{
    Message m("sipProxy");
    auto sip = s.sysSub.find("sip");
    auto get = [&](const char *key) {
        if (sip == s.sysSub.end())
            return std::string();
        auto it = sip->second.find(key);
        return it != sip->second.end() ? it->second : std::string();
    };
    const bool enabled = get("sip_enabled") == "true";
    const bool online = enabled && !get("sip_proxy").empty() && !get("sip_user").empty();
    setBothFlag(m, "enabled", enabled);
    setBothFlag(m, "online", online);
    setBoth(m, "status", std::string(online ? "Registered" : enabled ? "Registration failed" : ""));
    m.set_string("proxy", get("sip_proxy"));
    m.set_string("user", get("sip_user"));
    return m;
}

Message currentEncoder(const CodecState &s, const Descriptions &d)
{
    // the encoder of the first call, or the one a call would use now
    std::string id;
    for (const PeerEntry &p : s.peers) {
        if (p.active) {
            id = p.txEncoder;
            break;
        }
    }
    if (id.empty()) {
        const ProfileEntry *def = s.defaultProfile();
        if (!def && !s.profiles.empty())
            def = &s.profiles.front();
        if (def) {
            auto it = def->local.find("encoder");
            if (it != def->local.end())
                id = it->second;
            else if (const Message *o = d.channelOption(def->channel, "encoder", true))
                id = o->get_string("default");
        }
    }
    Message m("currentEncoder");
    const EncoderInfo *e = d.encoder(id);
    m.set_string("id", id);
    setBoth(m, "descr", e ? e->display() : std::string("None"));
    m.set_string("code", e ? e->code : std::string());
    m.set_string("mode", e ? e->mode : std::string());
    m.set_string("name", e ? e->name : std::string());
    m.set_bool("active", s.activeCount() > 0);
    return m;
}

} // namespace records
} // namespace codecsim
