// The generated state of one codec: deterministic for a seed and an index.

#include "simdata.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace codecsim {

namespace {

const std::vector<std::string> kPlaces = {
    "Harbour", "Northgate", "Kestrel", "Riverside", "Elmfield", "Granary", "Millbank", "Westcliff",
    "Ashcombe", "Lantern", "Quayside", "Brackwater", "Thornhill", "Saltmarsh", "Copperfield", "Highmoor",
};
const std::vector<std::string> kKinds = {
    "Studio", "News Desk", "OB Van", "Sports Booth", "Control Room", "Edit Suite", "Radio Car", "Venue",
};
const std::vector<std::string> kPeerNames = {
    "Studio A", "Studio B", "News Desk", "Outside Broadcast 1", "Outside Broadcast 2", "Sports Van",
    "Remote Studio North", "Parliament Booth", "Stadium East", "Stadium West", "Home Studio Mira",
    "Weather Centre", "Travel Desk", "Concert Hall", "Racecourse", "Airport Booth", "Town Hall",
    "Studio C", "Regional Hub", "Late Night Desk",
};
const std::vector<std::string> kDirectoryNames = {
    "Cityline Radio", "Bluefin FM", "Valley Sound", "Coastal Community Radio", "Metro Sport",
    "Northern Lights FM", "Summit Broadcasting", "Lakeside Studios",
};
const std::vector<std::string> kProducts = {"Sarvel Duo", "Sarvel Rack", "Sarvel Go", "Sarvel Mini"};
const std::vector<std::string> kNatTypes = {"Full Cone", "Restricted Cone", "Port Restricted", "Symmetric"};

std::string macFrom(Random &rng)
{
    char text[18];
    // locally administered unicast addresses: they can never clash with real hardware
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", 0x02, rng.range(0, 255), rng.range(0, 255),
                  rng.range(0, 255), rng.range(0, 255), rng.range(0, 255));
    return text;
}

std::string privateAddress(Random &rng)
{
    return "10." + std::to_string(rng.range(1, 254)) + "." + std::to_string(rng.range(0, 254)) + "." +
           std::to_string(rng.range(2, 254));
}

void shuffle(std::vector<std::string> &items, Random &rng)
{
    for (size_t i = items.size(); i > 1; --i)
        std::swap(items[i - 1], items[rng.next() % i]);
}

void defaultsInto(const Message &opts, const char *flag, const std::string &channel, ValueMap &out)
{
    for (int i = 0; i < opts.child_count(); ++i) {
        const Message &o = opts.get_child(i);
        if (o.get_bool(flag) && o.get_string("channel") == channel)
            out[o.get_string("name")] = o.get_string("default");
    }
}

} // namespace

CodecState CodecState::generate(const Descriptions &desc, uint64_t seed, int index, bool unversioned)
{
    Random rng(Random::mix(seed, static_cast<uint64_t>(index)));
    CodecState s;

    // identity; the index is part of the MAC so that every codec of a fleet has its own
    s.firmware = unversioned ? "4.0." + std::to_string(rng.range(2, 9))
                             : "8." + std::to_string(rng.range(2, 6)) + "." + std::to_string(rng.range(0, 19));
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:5E:%02X:%02X:%02X:%02X", static_cast<unsigned>(seed & 0xFF),
                  static_cast<unsigned>((index >> 16) & 0xFF), static_cast<unsigned>((index >> 8) & 0xFF),
                  static_cast<unsigned>(index & 0xFF));
    s.nodeId = mac;
    s.product = rng.pick(kProducts);
    s.serial = "SV" + std::to_string(100000 + rng.range(0, 899999));

    // system options: start from the defaults, then make the unit its own
    for (int i = 0; i < desc.systemOpts.child_count(); ++i) {
        const Message &o = desc.systemOpts.get_child(i);
        const std::string group = o.get_string("group");
        const std::string sub = o.get_string("subgroup");
        const std::string name = o.get_string("name");
        const std::string def = o.get_string("default");
        if (group == "directoryServer")
            s.dirServer[name] = def;
        else if (!sub.empty())
            s.sysSub[sub][name] = def;
        else
            s.sys[name] = def;
    }
    s.sys["unit_name"] = rng.pick(kPlaces) + " " + rng.pick(kKinds) + " " + std::to_string(index + 1);
    s.sys["location"] = "Building " + std::to_string(rng.range(1, 9)) + ", floor " + std::to_string(rng.range(0, 5));
    s.sysSub["audio"]["input_gain"] = std::to_string(rng.range(-6, 6));
    s.sysSub["audio"]["input_source"] = rng.chance(0.3) ? "aes3" : "analog";
    if (rng.chance(0.6)) {
        s.sysSub["sip"]["sip_enabled"] = "true";
        s.sysSub["sip"]["sip_proxy"] = "sip.pallister.example";
        s.sysSub["sip"]["sip_user"] = "unit" + std::to_string(index + 1);
        s.sysSub["sip"]["sip_password"] = "s" + std::to_string(rng.range(1000, 9999));
    }
    s.dirServer["enabled"] = rng.chance(0.85) ? "true" : "false";
    s.natAddr = "203.0.113." + std::to_string(rng.range(2, 254));
    s.natType = rng.pick(kNatTypes);

    // three network channels: a plain one, one without remote settings, an advanced one
    const char *descrs[] = {"Ethernet 1", "Ethernet 2 (local only)", "Cellular Bonding"};
    for (int c = 0; c < 3; ++c) {
        ChannelEntry ch;
        ch.id = std::to_string(c + 1);
        ch.descr = descrs[c];
        ch.remoteOpts = c != 1;
        ch.advanced = c == 2;
        defaultsInto(desc.channelOpts, "channel_opt", ch.id, ch.values);
        if (c == 0 && rng.chance(0.4)) {
            ch.values["ip_mode"] = "static";
            ch.values["ip_address"] = privateAddress(rng);
        }
        s.channels.push_back(ch);
    }

    // profiles: three factory ones and three of the operator's, one of them the default
    struct ProfileRow {
        const char *name;
        const char *channel;
        bool factory;
    };
    const ProfileRow rows[] = {
        {"Voice High Quality", "1", true}, {"Music", "1", true}, {"Low Bandwidth", "2", true},
        {"Morning Show", "1", false}, {"Sports Commentary", "3", false}, {"Backup Line", "2", false},
    };
    const int defaultIndex = 3 + rng.range(0, 2);
    for (int p = 0; p < 6; ++p) {
        ProfileEntry pr;
        pr.id = p + 1;
        pr.name = rows[p].name;
        pr.channel = rows[p].channel;
        pr.factory = rows[p].factory;
        pr.isDefault = p == defaultIndex;
        // some settings are left out on purpose: the editor shows the option's default
        const int encoders = static_cast<int>(desc.encoders.size());
        pr.local["encoder"] = std::to_string(p == 1 ? 3 : p == 2 ? 6 : rng.range(3, encoders));
        pr.local["buffer_delay"] = std::to_string(50 * rng.range(2, 10));
        if (rng.chance(0.5))
            pr.local["fec"] = rng.chance(0.5) ? "low" : "high";
        if (p == 3)
            pr.local["stream_label"] = "Breakfast";
        const ChannelEntry &ch = s.channels[static_cast<size_t>(pr.channel[0] - '1')];
        if (ch.remoteOpts && p != 4) {
            pr.remote["encoder"] = rng.chance(0.5) ? "!follow" : std::to_string(rng.range(3, encoders));
            pr.remote["auto_buffer"] = rng.chance(0.5) ? "true" : "false";
        } else {
            pr.hasRemote = ch.remoteOpts ? false : rng.chance(0.5);
        }
        s.profiles.push_back(pr);
    }
    s.nextProfileId = 7;

    // address book: eight entries, a few through the tunnel
    std::vector<std::string> names = kPeerNames;
    shuffle(names, rng);
    for (int p = 0; p < 8; ++p) {
        PeerEntry e;
        e.id = p + 1;
        e.name = names[static_cast<size_t>(p)];
        e.addr = privateAddress(rng);
        if (rng.chance(0.3))
            e.addr += ":" + std::to_string(9000 + rng.range(0, 99));
        e.password = rng.chance(0.7) ? "pw" + std::to_string(rng.range(100, 999)) : "";
        e.weftline = p == 2 || p == 5;
        if (e.weftline || rng.chance(0.3))
            e.unit = macFrom(rng);
        e.profile = rng.chance(0.5) ? 0 : rng.range(1, 6);
        e.backupId = p > 0 && rng.chance(0.25) ? rng.range(1, p) : 0;
        e.retryPrimary = e.backupId != 0;
        s.peers.push_back(e);
    }
    s.nextPeerId = 9;
    // directory peers: found through the directory server
    std::vector<std::string> dnames = kDirectoryNames;
    shuffle(dnames, rng);
    const char *states[] = {"Available", "Busy", "Available", "Offline"};
    for (int p = 0; p < 4; ++p) {
        PeerEntry e;
        e.id = 1001 + p;
        e.name = dnames[static_cast<size_t>(p)];
        e.addr = "198.51.100." + std::to_string(rng.range(2, 254));
        e.directory = true;
        e.product = rng.pick(kProducts);
        e.dirState = states[p];
        e.online = p != 3;
        e.unit = macFrom(rng);
        e.weftline = p == 1;
        s.peers.push_back(e);
    }

    // tunnel settings: the defaults, as a fresh unit has them
    for (int i = 0; i < desc.weftlineGroup.child_count(); ++i) {
        const Message &o = desc.weftlineGroup.get_child(i);
        s.weftline[o.get_string("name")] = o.get_string("default_value");
    }
    return s;
}

PeerEntry *CodecState::peer(int id)
{
    for (PeerEntry &p : peers) {
        if (p.id == id)
            return &p;
    }
    return nullptr;
}

ProfileEntry *CodecState::profile(int id)
{
    for (ProfileEntry &p : profiles) {
        if (p.id == id)
            return &p;
    }
    return nullptr;
}

ChannelEntry *CodecState::channel(const std::string &id)
{
    for (ChannelEntry &c : channels) {
        if (c.id == id)
            return &c;
    }
    return nullptr;
}

const ProfileEntry *CodecState::defaultProfile() const
{
    for (const ProfileEntry &p : profiles) {
        if (p.isDefault)
            return &p;
    }
    return nullptr;
}

const ProfileEntry *CodecState::profileFor(const PeerEntry &peer) const
{
    for (const ProfileEntry &p : profiles) {
        if (p.id == peer.profile)
            return &p;
    }
    if (const ProfileEntry *def = defaultProfile())
        return def;
    return profiles.empty() ? nullptr : &profiles.front();
}

bool CodecState::directoryEnabled() const
{
    auto it = dirServer.find("enabled");
    return it != dirServer.end() && it->second == "true";
}

int CodecState::activeCount() const
{
    int n = 0;
    for (const PeerEntry &p : peers)
        n += p.active ? 1 : 0;
    return n;
}

bool isMacAddress(const std::string &text)
{
    if (text.size() != 17)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i % 3 == 2) {
            if (text[i] != ':')
                return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

bool parseInt(const std::string &text, int &out)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    errno = 0;
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT_MIN || v > INT_MAX)
        return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace codecsim
