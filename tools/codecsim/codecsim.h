#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Message;

namespace codecsim {

/** How a fleet of simulated codecs behaves. Times are in seconds; negative means "never". */
struct Options {
    std::string host = "127.0.0.1";
    uint16_t port = 0;            ///< first port; 0 lets every codec pick a free one
    int count = 1;                ///< codecs, on port, port + 1, ...
    std::string password = "tarlin";
    bool unversioned = false;     ///< every codec speaks the old, unversioned protocol
    bool open = false;            ///< let clients in on hello (or a bare login) without a password
    int meteringMs = 0;           ///< level interval for a subscription with interval 0 (0: 70 ms)
    int levelsMs = 0;             ///< levels every this many ms whatever a client asked for (0: as asked)
    int statsMs = 1000;           ///< interval of the call and channel statistics while a call is up
    int peerListMs = 0;           ///< also push the peer list this often (0: only when it changes)
    uint64_t seed = 1;            ///< data set seed; the same seed and index give the same codec
    bool trace = false;           ///< log every message in and out
    int activePeers = 0;          ///< peers each codec has connected from the start
    bool stampLevels = false;     ///< add the send time (monotonic microseconds) to each levels element
    int lossyPath = 0;            ///< this path of every tunnel (1-based) loses packets; 0: none

    // Faults, per client connection and counted from its accept, unless said otherwise.
    double stallAfter = -1;       ///< stop answering and sending; keep the socket open
    double closeAfter = -1;       ///< close the connection
    double garbageAfter = -1;     ///< send one frame of bytes that are not XML
    double oversizeAfter = -1;    ///< send more than 2 MiB without a 0x00
    bool oldPong = false;         ///< answer ping with another seq, like old firmware
    bool noSystemOpts = false;    ///< never push the systemOpts record
    bool shortPeerKeys = false;   ///< peer entries carry the password only as "pw" and the tunnel flag only as "weftline"
    bool latin1UnitName = false;  ///< an accented unit name, sent in ISO-8859-1 as older firmware may
    double firmwareChangeAfter = -1; ///< per codec, counted from its first login: new firmware version
};

/**
 * A fleet of simulated codecs served by one thread: listeners, clients,
 * timers and every codec's state live on that thread. Used in-process by
 * tests and benchmarks, and by the codecsim program.
 */
class Simulator
{
public:
    explicit Simulator(const Options &options);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    /** Binds one listener per codec. False with @p error when one cannot be bound. */
    bool listen(std::string &error);
    /** The port of each codec, in codec order (valid after listen). */
    std::vector<uint16_t> ports() const;

    /** Serves on the calling thread until requestStop(). Call listen() first. */
    void run();
    /** listen() and run() on a thread of its own. */
    bool start(std::string &error);
    /** Asks the loop to end; safe from any thread and from a signal handler. */
    void requestStop();
    /** requestStop() and, when start() made a thread, wait for it. */
    void stop();

    /**
     * Called on the loop thread with every message a codec receives (after
     * framing, before it is handled). Set it before the loop runs.
     */
    using Observer = std::function<void(int codec, const Message &message)>;
    void setObserver(Observer observer);

    /** Closes every client connection of one codec, as a codec restart would; its state stays. */
    void dropClients(int codec);
    /** Client connections open right now (all codecs). */
    int clientCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace codecsim
