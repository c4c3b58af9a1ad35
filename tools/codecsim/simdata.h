#pragma once

#include "message.h"
#include "simrandom.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace codecsim {

using ValueMap = std::map<std::string, std::string>;

/** One encoder of the codec list. */
struct EncoderInfo {
    std::string id, code, mode, name, descr;
    int quality = 0; ///< percent
    int delayMs = 0;
    int kbps = 0;
    bool stereo = false;
    /** The text the editors show: code, mode and name. */
    std::string display() const { return code + ": " + mode + " " + name; }
};

/**
 * What every codec of this firmware describes the same way: the option
 * descriptions of system, channel, profile and tunnel settings, and the
 * encoders. Built once per simulator and shared by all codecs.
 */
struct Descriptions {
    Message systemOpts;
    Message channelOpts;
    Message codecList;
    Message weftlineGroup; ///< "group" node whose "option" children describe the tunnel settings (no values)
    std::vector<EncoderInfo> encoders;

    static Descriptions build();

    const Message *systemOption(const std::string &name) const;
    /** A channel option (@p profile false) or a profile option of one channel. */
    const Message *channelOption(const std::string &channel, const std::string &name, bool profile) const;
    const Message *weftlineOption(const std::string &name) const;
    const EncoderInfo *encoder(const std::string &id) const;
};

/** Running figures of one call, moved a little every second. */
struct CallFigures {
    double jitter = 40;     ///< 0.1 ms
    double bufferDelay = 2500;
    double rtt = 600;
    double frameLoss = 2;   ///< 0.1 %
    double remoteLoss = 1;
    double corrUp = 3, corrDown = 2;
    // running averages, as the codec reports them
    double jitterAvg = 40, bufferDelayAvg = 2500, rttAvg = 600, frameLossAvg = 2, remoteLossAvg = 1;
    double corrUpAvg = 3, corrDownAvg = 2, lateAvg = 1, outlierAvg = 1, insertAvg = 1;
};

struct PeerEntry {
    int id = 0;
    std::string name;
    std::string addr;     ///< host, optionally ":port"
    std::string password;
    std::string unit;     ///< MAC address of the remote codec
    int profile = 0;      ///< 0: follows the codec's default profile
    int backupId = 0;
    bool retryPrimary = false;
    bool weftline = false;
    bool directory = false; ///< learnt from the directory server, not stored in the address book
    std::string product, dirState;
    bool online = false;

    // the live call, while active
    bool active = false;
    uint64_t connectedAt = 0; ///< monotonic microseconds
    std::string channel;
    int channels = 2;
    std::string txEncoder, rxEncoder; ///< encoder ids
    bool transmitting = false, receiving = false;
    CallFigures figures;

    std::string host() const { return addr.substr(0, addr.find(':')); }
};

struct ProfileEntry {
    int id = 0;
    std::string name;
    std::string channel;
    bool factory = false;
    bool isDefault = false;
    ValueMap local, remote;
    bool hasRemote = true; ///< whether the record carries a "remote" child at all
};

struct ChannelEntry {
    std::string id, descr;
    bool remoteOpts = true;
    bool advanced = false;
    ValueMap values;            ///< channel option values
    uint64_t rxBytes = 0, txBytes = 0;
};

struct TunnelPath {
    int li = 0, ri = 0;
    std::string ldesc, rdesc, name;
    double share = 0.5; ///< part of the traffic on this path
};

/** The bonded tunnel session that exists while a tunnel peer is connected. */
struct TunnelState {
    bool exists = false;
    int sid = 0;
    int peerId = 0;
    std::string addr;
    int dm = 300, rdm = 300;    ///< maximum allowed delay, ms
    bool dma = true, rdma = true;
    std::vector<TunnelPath> paths;
    // loss, late and recovery rates, transmit then receive
    double pl = 5, plt = 3, pr = 4, rpl = 5, rplt = 3, rpr = 4;
    double d = 120, rd = 130;   ///< largest packet delay, ms
    bool throttled = false;
};

/** Everything one codec knows and can change. */
struct CodecState {
    std::string firmware, nodeId, product, serial;
    ValueMap sys;                              ///< system options without a subgroup
    std::map<std::string, ValueMap> sysSub;    ///< system options by subgroup
    ValueMap dirServer;                        ///< directory-server options
    std::string natAddr, natType;
    std::vector<ChannelEntry> channels;
    std::vector<PeerEntry> peers;              ///< address book first, then directory peers
    std::vector<ProfileEntry> profiles;
    ValueMap weftline;                         ///< tunnel option values
    TunnelState tunnel;
    int nextPeerId = 1;
    int nextProfileId = 1;
    int nextSid = 1;

    /** The state of codec @p index for @p seed: the same arguments give the same codec. */
    static CodecState generate(const Descriptions &desc, uint64_t seed, int index, bool unversioned);

    PeerEntry *peer(int id);
    ProfileEntry *profile(int id);
    ChannelEntry *channel(const std::string &id);
    const ProfileEntry *defaultProfile() const;
    /** The profile a peer's calls use: its own, or the default one (or the first) for 0. */
    const ProfileEntry *profileFor(const PeerEntry &peer) const;
    bool directoryEnabled() const;
    int activeCount() const;
};

/** True when @p text is six pairs of hex digits separated by ':'. */
bool isMacAddress(const std::string &text);
/** Parses a whole decimal integer; false for anything else (empty, trailing text, overflow). */
bool parseInt(const std::string &text, int &out);

} // namespace codecsim
