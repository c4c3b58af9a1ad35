#pragma once

#include "platform/net.h"
#include "platform/poller.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

/**
 * A lean codec stand-in for the benchmarks, on the platform seam: lets every
 * client in on hello, answers ping and every request by its seq, and can push
 * notices (a burst to every connection, or one to each connection per period).
 * It scans frames with plain string search so that its own cost stays small.
 */
class BenchServer
{
public:
    BenchServer();
    ~BenchServer();

    bool start();
    void stop();
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    int connections() const { return m_open.load(); }

    /** Sends @p count notices to every connection, as fast as they drain. */
    void burst(int count);
    /** One notice per connection every @p periodMs, spread over the period (0 stops). */
    void setPeriodic(int periodMs);
    uint64_t noticesSent() const { return m_sent.load(); }

    static const std::string &notice();

private:
    struct Conn {
        IpcPlatform::SocketHandle fd;
        std::string rx;
        std::string tx;
        size_t txOffset = 0;
        bool wantWrite = false;
        int burstLeft = 0;
        int slot = 0;
    };

    void run();
    void onReadable(Conn *c);
    void queue(Conn *c, const char *data, size_t size);
    void flush(Conn *c);
    void fillBurst(Conn *c);
    void close(Conn *c);

    std::unique_ptr<IpcPlatform::Poller> m_poller;
    IpcPlatform::SocketHandle m_listener = IpcPlatform::InvalidSocket;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<int> m_open{0};
    std::atomic<int> m_burstRequest{0};
    std::atomic<int> m_periodMs{0};
    std::atomic<uint64_t> m_sent{0};
    std::vector<std::unique_ptr<Conn>> m_conns;
    std::unordered_set<Conn *> m_alive;
    int m_listenTag = 0;
};
