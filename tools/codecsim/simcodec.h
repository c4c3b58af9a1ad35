#pragma once

#include "simdata.h"
#include "simserver.h"

#include <string>
#include <vector>

namespace codecsim {

/**
 * One simulated codec: its state, what it answers, the commands it carries
 * out and the feeds it sends. Several clients may be logged in at once; each
 * change is pushed to all of them.
 */
class Codec
{
public:
    Codec(Server &server, int index);

    int index() const { return m_index; }
    CodecState &state() { return m_state; }
    const std::vector<Client *> &clients() const { return m_clients; }

    void attach(Client &client);
    void detach(Client &client);
    /** Closes every client, as a restart of the codec would. */
    void dropClients();

    /** A client has just logged in: push what no request fetches. */
    void loggedIn(Client &client);
    /** A request of a logged-in client. */
    void handle(Client &client, const Message &request);

    /**
     * The level notice of this moment, <unso id="metering"><levels .../></unso>,
     * refilled in place for every send so that the level path allocates nothing.
     */
    Message &levels(uint64_t now);
    /** Once a second: call times and statistics, tunnel feeds. */
    void secondTick();
    /** Call and channel statistics (every Options::statsMs). */
    void statsTick();
    /** Tunnel feeds (once a second). */
    void tunnelTick();
    /** The peer list as a pushed record (every Options::peerListMs). */
    void peerListTick();
    /** Connects the first @p count address-book peers (start-up option). */
    void connectAtStart(int count);
    /** Pushes a new firmware version (fault option). */
    void changeFirmware();

private:
    using Handler = void (Codec::*)(Client &, const Message &);
    struct Command {
        const char *name;
        Handler handler;
        bool versionedOnly;
    };
    static const Command kCommands[];

    // answers
    void answer(Client &client, const Message &request, Message record);
    void ack(Client &client, const Message &request, Message reply = Message());
    void error(Client &client, const Message &request, int code, const std::string &text);
    /** Sends a changed record to every logged-in client. */
    void pushRecord(const Message &record);
    /**
     * Sends a notice to every logged-in client: versioned ones get @p notice
     * (only when subscribed to @p subscription, unless it is empty), old ones
     * get @p bare when given (and @p bareWanted says they asked for it).
     */
    void pushNotice(const Message &notice, const std::string &subscription, const Message *bare,
                    bool (Client::*bareWanted)() const = nullptr);
    void pushPeerList();
    void pushProfileList();
    void pushSipProxy();
    void pushCurrentEncoder(bool force);

    // requests for data
    void getChannelList(Client &c, const Message &r);
    void getChannelOpts(Client &c, const Message &r);
    void getProfileList(Client &c, const Message &r);
    void getCodecList(Client &c, const Message &r);
    void getPeerList(Client &c, const Message &r);
    void getDirectoryServer(Client &c, const Message &r);
    void getSysOptions(Client &c, const Message &r);
    void getVersion(Client &c, const Message &r);
    void cfgDescribe(Client &c, const Message &r);
    void cfgGetStatus(Client &c, const Message &r);
    void subscribe(Client &c, const Message &r);
    void monitor(Client &c, const Message &r);

    // commands (simcommands.cpp)
    void connect(Client &c, const Message &r);
    void disconnect(Client &c, const Message &r);
    void addPeer(Client &c, const Message &r);
    void setPeerSettings(Client &c, const Message &r);
    void removePeer(Client &c, const Message &r);
    void setProfile(Client &c, const Message &r);
    void addProfile(Client &c, const Message &r);
    void copyProfile(Client &c, const Message &r);
    void deleteProfile(Client &c, const Message &r);
    void setSysOptions(Client &c, const Message &r);
    void setDirectoryServer(Client &c, const Message &r);
    void setChannelSettings(Client &c, const Message &r);
    void cfgSetOption(Client &c, const Message &r);
    void setMaxDelay(Client &c, const Message &r);

    /** Looks up the peer named by the request's "id"; answers the error itself when there is none. */
    PeerEntry *requestPeer(Client &c, const Message &r);
    /** Empty when @p value suits the option described by @p option, otherwise why it does not. */
    std::string checkValue(const Message &option, const std::string &value, bool remote) const;

    // calls and feeds (simfeeds.cpp)
    void startCall(PeerEntry &peer);
    void endCall(PeerEntry &peer);
    void openTunnel(const PeerEntry &peer);
    void closeTunnel();
    void moveFigures(PeerEntry &peer);
    Message peerStats() const;
    Message channelStats();
    Message tunConns() const;
    Message tunStats();
    void sendStats();
    void sendTunnelFeeds();

    Server &m_server;
    const Descriptions &m_desc;
    const int m_index;
    CodecState m_state;
    Random m_random;
    std::vector<Client *> m_clients;
    bool m_firmwareScheduled = false;
    std::string m_lastEncoder;
    bool m_statsFlowing = false;  // a call was up at the last statistics tick
    bool m_tunnelFlowing = false; // a tunnel session existed at the last tick
    double m_phase[12];
    Message m_levels;
};

} // namespace codecsim
