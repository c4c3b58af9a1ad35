// The option descriptions and encoders of the simulated firmware. They cover
// every kind of setting the editors know: numbers with units and a range,
// switches with and without their own words, text, choices, encoders, a
// peer picker, advanced settings, and values kept in subgroups.

#include "simdata.h"

#include <initializer_list>
#include <utility>

namespace codecsim {

namespace {

using Choices = std::initializer_list<std::pair<const char *, const char *>>; // display name, value

class Opt
{
public:
    Opt(Message &parent, const char *name, const char *display, const char *type, const char *descr)
        : m(parent.add_child("option"))
    {
        m.set_string("name", name);
        m.set_string("display_name", display);
        m.set_string("type", type);
        m.set_string("descr", descr);
    }
    Opt &def(const std::string &value, const char *key = "default")
    {
        m.set_string(key, value);
        return *this;
    }
    Opt &units(const char *u)
    {
        m.set_string("units", u);
        return *this;
    }
    Opt &range(int lo, int hi)
    {
        m.set_int("min", lo);
        m.set_int("max", hi);
        return *this;
    }
    Opt &labels(const char *whenTrue, const char *whenFalse)
    {
        m.set_string("label_true", whenTrue);
        m.set_string("label_false", whenFalse);
        return *this;
    }
    Opt &advanced(bool on = true)
    {
        m.set_bool("advanced", on);
        return *this;
    }
    Opt &choices(Choices list)
    {
        for (const auto &c : list) {
            Message &s = m.add_child("select");
            s.set_string("name", c.first);
            s.set_string("value", c.second);
        }
        return *this;
    }
    Opt &group(const char *group, const char *title, const char *subgroup)
    {
        m.set_string("group", group);
        m.set_string("group_name", title);
        m.set_string("subgroup", subgroup);
        return *this;
    }
    Opt &channel(const std::string &id, bool profile)
    {
        m.set_string("channel", id);
        m.set_bool(profile ? "profile_opt" : "channel_opt", true);
        m.set_bool(profile ? "channel_opt" : "profile_opt", false);
        return *this;
    }
    Opt &set(const char *key, const std::string &value)
    {
        m.set_string(key, value);
        return *this;
    }

private:
    Message &m;
};

void buildSystemOpts(Message &root)
{
    // General: values at the top of sysOptions
    Opt(root, "unit_name", "Unit Name", "string", "Name this unit shows to operators and peers.")
        .def("Sarvel").group("general", "General", "");
    Opt(root, "location", "Location", "string", "Where the unit is installed, for the operators' benefit.")
        .def("").group("general", "General", "");
    Opt(root, "time_zone", "Time Zone", "select", "Time zone of the unit's clock and logs.")
        .def("UTC").group("general", "General", "")
        .choices({{"UTC", "UTC"}, {"London", "Europe/London"}, {"Berlin", "Europe/Berlin"},
                  {"New York", "America/New_York"}, {"Tokyo", "Asia/Tokyo"}});
    Opt(root, "ntp_server", "Time Server", "string", "NTP server the unit sets its clock from.")
        .def("pool.ntp.org").group("general", "General", "").advanced();
    Opt(root, "auto_answer", "Incoming Calls", "bool", "Whether the unit answers calls from peers by itself.")
        .def("true").labels("Answer", "Reject").group("general", "General", "");
    Opt(root, "backup_peer", "Backup Peer", "peer", "Peer dialled when the primary connection fails.")
        .def("0").group("general", "General", "");
    Opt(root, "reconnect_delay", "Reconnect Delay", "int", "Wait before a dropped call is dialled again.")
        .def("10").units("s").range(1, 300).group("general", "General", "").advanced();

    // Audio: values in the "audio" child of sysOptions
    Opt(root, "input_gain", "Input Gain", "int", "Gain applied to the audio input.")
        .def("0").units("dB").range(-20, 20).group("audio", "Audio", "audio");
    Opt(root, "output_level", "Output Level", "int", "Level of the audio output.")
        .def("0").units("dB").range(-30, 6).group("audio", "Audio", "audio");
    Opt(root, "input_source", "Input Source", "select", "Which input feeds the encoder.")
        .def("analog").group("audio", "Audio", "audio")
        .choices({{"Analogue", "analog"}, {"AES3 Digital", "aes3"}, {"USB", "usb"}});
    Opt(root, "phantom_power", "Phantom Power", "bool", "48 V on the microphone inputs.")
        .def("false").units("48 V Phantom").group("audio", "Audio", "audio");
    Opt(root, "limiter", "Output Limiter", "bool", "Limit the output to stop clipping.")
        .def("true").labels("On", "Off").group("audio", "Audio", "audio");
    Opt(root, "test_tone", "Test Tone", "bool", "Send a 1 kHz tone instead of the input.")
        .def("false").group("audio", "Audio", "audio").advanced();

    // Network: top level and an "snmp" subgroup
    Opt(root, "http_port", "Web Port", "int", "Port of the unit's own web pages.")
        .def("80").range(1, 65535).group("network", "Network", "").advanced();
    Opt(root, "dscp", "Audio DSCP", "int", "DiffServ code point marked on audio packets.")
        .def("46").range(0, 63).group("network", "Network", "").advanced();
    Opt(root, "snmp_enabled", "SNMP Agent", "bool", "Answer SNMP queries.")
        .def("false").group("network", "Network", "snmp");
    Opt(root, "snmp_community", "SNMP Community", "string", "Community string SNMP queries must carry.")
        .def("public").group("network", "Network", "snmp").advanced();

    // SIP: the "sip" subgroup; these decide the SIP proxy state
    Opt(root, "sip_enabled", "SIP Registration", "bool", "Register with a SIP proxy.")
        .def("false").labels("Register", "Do Not Register").group("sip", "SIP", "sip");
    Opt(root, "sip_proxy", "SIP Proxy", "string", "Address of the SIP proxy.")
        .def("").group("sip", "SIP", "sip");
    Opt(root, "sip_user", "SIP User", "string", "User name to register with.")
        .def("").group("sip", "SIP", "sip");
    Opt(root, "sip_password", "SIP Password", "string", "Password to register with.")
        .def("").group("sip", "SIP", "sip").advanced();

    // Directory server: values live in the directoryServer record
    Opt(root, "enabled", "Directory Server", "bool", "Log in to the directory server to find peers.")
        .def("true").labels("Enabled", "Disabled").group("directoryServer", "Pallister Server", "");
    Opt(root, "server", "Server Address", "string", "Address of the directory server.")
        .def("dir1.pallister.example").group("directoryServer", "Pallister Server", "");
    Opt(root, "port", "Server Port", "int", "Port of the directory server.")
        .def("8300").range(1, 65535).group("directoryServer", "Pallister Server", "").advanced();
    Opt(root, "publish", "Publish This Unit", "bool", "Let other units find this one.")
        .def("true").group("directoryServer", "Pallister Server", "");
    Opt(root, "visibility", "Visibility", "select", "Who may see this unit in the directory.")
        .def("group").group("directoryServer", "Pallister Server", "")
        .choices({{"Everyone", "public"}, {"My Group", "group"}, {"Nobody", "private"}});
}

struct ChannelRow {
    const char *id;
    const char *ifname;
    int port;
};

void buildChannelOpts(Message &root)
{
    const ChannelRow rows[] = {{"1", "eth0", 9000}, {"2", "eth1", 9010}, {"3", "wwan0", 9020}};
    for (const ChannelRow &c : rows) {
        // settings of the channel itself (system settings editor)
        Opt(root, "ifname", "Interface", "select", "Network interface the channel sends on.")
            .channel(c.id, false).def(c.ifname)
            .choices({{"Ethernet 1", "eth0"}, {"Ethernet 2", "eth1"}, {"Cellular", "wwan0"}, {"Wi-Fi", "wlan0"}});
        Opt(root, "ip_mode", "Addressing", "select", "How the interface gets its address.")
            .channel(c.id, false).def("dhcp").choices({{"DHCP", "dhcp"}, {"Static", "static"}});
        Opt(root, "ip_address", "Static Address", "string", "Address used when addressing is static.")
            .channel(c.id, false).def("");
        Opt(root, "udp_port", "Audio Port", "int", "UDP port of the audio stream.")
            .channel(c.id, false).def(std::to_string(c.port)).range(1024, 65535);
        Opt(root, "mtu", "MTU", "int", "Largest packet sent on this channel.")
            .channel(c.id, false).def("1500").units("bytes").range(576, 1500).advanced();

        // settings a profile carries for this channel (profile editor)
        Opt(root, "encoder", "Encoder", "codec", "Encoder used to send audio.")
            .channel(c.id, true).def(std::string(c.id) == "3" ? "5" : "4");
        Opt(root, "buffer_delay", "Jitter Buffer", "int", "Receive buffer depth.")
            .channel(c.id, true).def("250").units("ms").range(20, 2000);
        Opt(root, "auto_buffer", "Buffer Mode", "bool", "Let the codec size the jitter buffer.")
            .channel(c.id, true).def("true").labels("Automatic", "Fixed");
        Opt(root, "fec", "Error Correction", "select", "Forward error correction strength.")
            .channel(c.id, true).def("medium")
            .choices({{"Off", "off"}, {"Low", "low"}, {"Medium", "medium"}, {"High", "high"}});
        Opt(root, "stream_label", "Stream Label", "string", "Label sent with the stream.")
            .channel(c.id, true).def("");
        Opt(root, "mono_sum", "Mono Sum", "bool", "Sum both inputs to one channel.")
            .channel(c.id, true).def("false").units("Sum to mono");
        Opt(root, "frame_ms", "Frame Size", "int", "Audio per packet.")
            .channel(c.id, true).def("20").units("ms").range(5, 60).advanced();
    }
}

void buildWeftlineGroup(Message &group)
{
    group.set_string("name", "tunnel");
    group.set_string("display_name", "Weftline");
    const char *dv = "default_value";
    Opt(group, "enabled", "Weftline", "bool", "Carry calls over the bonded tunnel.")
        .def("true", dv).labels("On", "Off");
    Opt(group, "mode", "Bonding Mode", "select", "How the tunnel uses its network paths.")
        .def("bonded", dv).choices({{"Bonded", "bonded"}, {"Redundant", "redundant"}, {"Failover", "failover"}});
    Opt(group, "encryption", "Encryption", "bool", "Encrypt tunnel traffic.")
        .def("true", dv).units("Encrypt");
    Opt(group, "max_delay", "Maximum Delay", "int", "Largest delay the tunnel may add.")
        .def("300", dv).units("ms").range(10, 2000);
    Opt(group, "server", "Relay Server", "string", "Relay that joins the two ends of the tunnel.")
        .def("relay.weftline.example", dv);
    Opt(group, "port", "Relay Port", "int", "Port of the relay server.")
        .def("7400", dv).range(1, 65535).advanced();
    Opt(group, "fec_strength", "FEC Strength", "int", "Share of the bandwidth spent on error correction.")
        .def("20", dv).units("%").range(0, 100).advanced();
    for (int i = 0; i < group.child_count(); ++i) {
        Message &o = group.get_child(i);
        o.set_bool("advanced", o.get_bool("advanced"));
    }
}

void buildEncoders(std::vector<EncoderInfo> &out)
{
    struct Row {
        const char *code, *mode, *name, *descr;
        int quality, delay, kbps;
        bool stereo;
    };
    const Row rows[] = {
        {"PCM", "Stereo", "48 kHz 24-bit", "Linear PCM, no compression.", 100, 2, 2304, true},
        {"PCM", "Mono", "48 kHz 16-bit", "Linear PCM, no compression.", 100, 2, 768, false},
        {"OPUS", "Stereo", "256 kbps", "Wide-band music and speech.", 95, 23, 256, true},
        {"OPUS", "Stereo", "128 kbps", "Wide-band music and speech.", 90, 23, 128, true},
        {"OPUS", "Mono", "64 kbps", "Speech and music on thin links.", 85, 23, 64, false},
        {"OPUS", "Mono", "32 kbps", "Speech on thin links.", 70, 23, 32, false},
        {"AAC-LD", "Stereo", "256 kbps", "Low-delay AAC for music.", 95, 40, 256, true},
        {"AAC-LD", "Stereo", "128 kbps", "Low-delay AAC for music.", 88, 40, 128, true},
        {"AAC-LD", "Mono", "64 kbps", "Low-delay AAC for speech.", 80, 40, 64, false},
        {"AAC-ELD", "Stereo", "96 kbps", "Enhanced low-delay AAC.", 85, 35, 96, true},
        {"AAC-ELD", "Mono", "48 kbps", "Enhanced low-delay AAC.", 75, 35, 48, false},
        {"HE-AAC", "Stereo", "64 kbps", "High-efficiency AAC; long delay.", 75, 120, 64, true},
        {"HE-AAC", "Mono", "32 kbps", "High-efficiency AAC; long delay.", 65, 120, 32, false},
        {"MP2", "Stereo", "384 kbps", "Broadcast MPEG layer 2.", 92, 60, 384, true},
        {"MP2", "Mono", "128 kbps", "Broadcast MPEG layer 2.", 80, 60, 128, false},
        {"G.722", "Mono", "64 kbps", "7 kHz telephone speech.", 50, 5, 64, false},
        {"G.711", "Mono", "64 kbps A-law", "Narrow-band telephone speech.", 30, 1, 64, false},
        {"G.711", "Mono", "64 kbps u-law", "Narrow-band telephone speech.", 30, 1, 64, false},
        {"FLAC", "Stereo", "48 kHz lossless", "Lossless compression.", 100, 30, 1100, true},
        {"AMR-WB", "Mono", "23.85 kbps", "Mobile wide-band speech.", 45, 25, 24, false},
    };
    int id = 1;
    for (const Row &r : rows) {
        EncoderInfo e;
        e.id = std::to_string(id++);
        e.code = r.code;
        e.mode = r.mode;
        e.name = r.name;
        e.descr = r.descr;
        e.quality = r.quality;
        e.delayMs = r.delay;
        e.kbps = r.kbps;
        e.stereo = r.stereo;
        out.push_back(e);
    }
}

} // namespace

Descriptions Descriptions::build()
{
    Descriptions d;
    d.systemOpts.setName("systemOpts");
    buildSystemOpts(d.systemOpts);
    d.channelOpts.setName("channelOpts");
    buildChannelOpts(d.channelOpts);
    d.weftlineGroup.setName("group");
    buildWeftlineGroup(d.weftlineGroup);
    buildEncoders(d.encoders);
    d.codecList.setName("codecList");
    for (const EncoderInfo &e : d.encoders) {
        Message &c = d.codecList.add_child("codec");
        c.set_string("id", e.id);
        c.set_string("name", e.name);
        c.set_string("mode", e.mode);
        c.set_string("code", e.code);
        c.set_string("descr", e.descr);
        c.set_string("quality", std::to_string(e.quality));
        c.set_string("delay", std::to_string(e.delayMs));
    }
    // every record says whether it is advanced, so readers need no default
    for (Message *root : {&d.systemOpts, &d.channelOpts}) {
        for (int i = 0; i < root->child_count(); ++i) {
            Message &o = root->get_child(i);
            o.set_bool("advanced", o.get_bool("advanced"));
            if (root == &d.systemOpts)
                o.set_bool("profile_opt", false);
        }
    }
    return d;
}

const Message *Descriptions::systemOption(const std::string &name) const
{
    for (int i = 0; i < systemOpts.child_count(); ++i) {
        const Message &o = systemOpts.get_child(i);
        if (o.get_string("name") == name)
            return &o;
    }
    return nullptr;
}

const Message *Descriptions::channelOption(const std::string &channel, const std::string &name, bool profile) const
{
    const char *flag = profile ? "profile_opt" : "channel_opt";
    for (int i = 0; i < channelOpts.child_count(); ++i) {
        const Message &o = channelOpts.get_child(i);
        if (o.get_bool(flag) && o.get_string("channel") == channel && o.get_string("name") == name)
            return &o;
    }
    return nullptr;
}

const Message *Descriptions::weftlineOption(const std::string &name) const
{
    for (int i = 0; i < weftlineGroup.child_count(); ++i) {
        const Message &o = weftlineGroup.get_child(i);
        if (o.get_string("name") == name)
            return &o;
    }
    return nullptr;
}

const EncoderInfo *Descriptions::encoder(const std::string &id) const
{
    for (const EncoderInfo &e : encoders) {
        if (e.id == id)
            return &e;
    }
    return nullptr;
}

} // namespace codecsim
