#pragma once

#include "codecsim.h"
#include "simdata.h"
#include "simrandom.h"
#include "simtimers.h"

#include "platform/net.h"
#include "platform/poller.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace codecsim {

class Client;
class Codec;

/** Anything the loop watches: a listener or a client connection. */
class Pollable
{
public:
    virtual ~Pollable() = default;
    virtual void onReady(unsigned ready) = 0;
};

/**
 * The fleet's event loop: one poller, one timer queue, the listeners and the
 * client connections of every codec. Everything but post(), wake() and the
 * client count runs on the loop thread.
 */
class Server
{
public:
    explicit Server(const Options &options);
    ~Server();

    bool listen(std::string &error);
    std::vector<uint16_t> ports() const;
    /** Serves until @p stop is set (and the loop woken). */
    void run(const std::atomic<bool> &stop);
    void wake();
    /** Runs @p task on the loop thread at its next turn. */
    void post(std::function<void()> task);

    const Options &options() const { return m_options; }
    const Descriptions &descriptions() const { return m_descriptions; }
    TimerQueue &timers() { return m_timers; }
    /** The loop's clock, read once per turn (monotonic microseconds). */
    uint64_t now() const { return m_now; }
    IpcPlatform::Poller &poller() { return *m_poller; }
    Codec &codec(int index) { return *m_codecs[static_cast<size_t>(index)]; }
    int codecCount() const { return static_cast<int>(m_codecs.size()); }

    /** Accepts a new client of @p codec on @p fd. */
    void adopt(Codec &codec, IpcPlatform::SocketHandle fd, const IpcPlatform::SocketAddress &peer);
    /** Closes a client now and frees it at the end of the turn; later calls do nothing. */
    void closeClient(Client &client, const std::string &reason);
    /** A fresh login challenge. */
    std::string newChallenge();

    Simulator::Observer observer;
    std::atomic<int> clients{0};

private:
    class Listener;

    void runTasks();
    void secondTick();

    Options m_options;
    Descriptions m_descriptions;
    std::unique_ptr<IpcPlatform::Poller> m_poller;
    TimerQueue m_timers;
    uint64_t m_now = 0;
    std::vector<std::unique_ptr<Codec>> m_codecs;
    std::vector<std::unique_ptr<Listener>> m_listeners;
    std::vector<std::unique_ptr<Client>> m_clients;
    std::vector<std::unique_ptr<Client>> m_closed; // freed at the end of each turn
    int m_nextClientId = 1;
    Random m_challengeRandom;

    std::mutex m_taskMutex;
    std::deque<std::function<void()>> m_tasks;
};

} // namespace codecsim
