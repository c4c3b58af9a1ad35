#pragma once

#include "codecsim.h"
#include "logger.h"
#include "simtestclient.h"

#include <QtTest>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

/** Runs a simulated fleet in-process on ephemeral ports for one test. */
class SimFixture
{
public:
    explicit SimFixture(codecsim::Options options = codecsim::Options())
    {
        options.port = 0;
        m_sim = std::make_unique<codecsim::Simulator>(options);
        std::string error;
        m_ok = m_sim->start(error);
        if (!m_ok)
            qWarning("simulator did not start: %s", error.c_str());
    }
    ~SimFixture() { m_sim->stop(); }

    bool ok() const { return m_ok; }
    uint16_t port(int codec = 0) const { return m_sim->ports().at(static_cast<size_t>(codec)); }
    codecsim::Simulator &sim() { return *m_sim; }

private:
    std::unique_ptr<codecsim::Simulator> m_sim;
    bool m_ok = false;
};

/** Collects the simulator's log lines (thread-safe) while it lives. */
class LogCapture
{
public:
    LogCapture()
    {
        Logger::instance().setSink([this](int category, int, const char *text) {
            if (category != LOGC_SIMULATOR)
                return;
            std::lock_guard<std::mutex> guard(m_mutex);
            m_lines.emplace_back(text);
        });
    }
    ~LogCapture() { Logger::instance().setSink(nullptr); }

    bool contains(const std::string &part) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        for (const std::string &l : m_lines) {
            if (l.find(part) != std::string::npos)
                return true;
        }
        return false;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

/** Quiet simulator logs unless a test asks for them: they go to the test's output otherwise. */
inline void quietSimulatorLog()
{
    Logger::instance().setThreshold(LOGC_SIMULATOR, LOG_ERROR);
}
