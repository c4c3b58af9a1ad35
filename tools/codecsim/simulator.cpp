#include "codecsim.h"

#include "simcodec.h"
#include "simserver.h"

#include <atomic>
#include <thread>

namespace codecsim {

struct Simulator::Impl {
    explicit Impl(const Options &options)
        : server(options)
    {
    }
    Server server;
    std::atomic<bool> stopFlag{false};
    std::thread thread;
    bool listening = false;
};

Simulator::Simulator(const Options &options)
    : d(std::make_unique<Impl>(options))
{
}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::listen(std::string &error)
{
    d->listening = d->server.listen(error);
    return d->listening;
}

std::vector<uint16_t> Simulator::ports() const
{
    return d->server.ports();
}

void Simulator::run()
{
    d->server.run(d->stopFlag);
}

bool Simulator::start(std::string &error)
{
    if (d->thread.joinable())
        return true;
    if (!d->listening && !listen(error))
        return false;
    d->stopFlag.store(false);
    d->thread = std::thread([this] { d->server.run(d->stopFlag); });
    return true;
}

void Simulator::requestStop()
{
    // only an atomic store and an eventfd write: fine in a signal handler
    d->stopFlag.store(true, std::memory_order_release);
    d->server.wake();
}

void Simulator::stop()
{
    requestStop();
    if (d->thread.joinable())
        d->thread.join();
}

void Simulator::setObserver(Observer observer)
{
    d->server.observer = std::move(observer);
}

void Simulator::dropClients(int codec)
{
    Server &server = d->server;
    server.post([&server, codec] {
        if (codec >= 0 && codec < server.codecCount())
            server.codec(codec).dropClients();
    });
}

int Simulator::clientCount() const
{
    return d->server.clients.load(std::memory_order_relaxed);
}

} // namespace codecsim
