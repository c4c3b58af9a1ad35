#pragma once

// Helpers shared by the device tests: a session whose dispatch hooks can be
// fed directly, and small builders of codec records.

#include "ipcobject.h"
#include "message.h"
#include "tunnelinfo.h"

#include <QString>

#include <deque>
#include <string>
#include <vector>

/** A session with its loop-thread hooks opened up; without a manager its sends stay queued. */
class ProbeSession : public IPCObject
{
public:
    explicit ProbeSession(const QUuid &uuid = QUuid::createUuid(), IQManager *manager = nullptr)
        : IPCObject(uuid, manager)
    {
    }
    using IPCObject::handleResponse;
    using IPCObject::handleUnsolicited;
    using IPCObject::storeInCache;
    using IPCObject::setState;

    /** The messages waiting to be sent, oldest first (at most the queue limit). */
    std::vector<Message> queuedMessages() const { return {m_queue.begin(), m_queue.end()}; }
    std::vector<std::string> queuedNames() const
    {
        std::vector<std::string> names;
        for (const Message &m : m_queue)
            names.push_back(m.name());
        return names;
    }
    void clearQueue() { m_queue.clear(); }
};

/** Parses one XML element (test data). */
inline Message xml(const char *text)
{
    Message m;
    m.parse(text, std::char_traits<char>::length(text));
    return m;
}

/** A "peer" element. */
inline Message peer(int id, const char *name, bool active, const char *extra = "")
{
    const std::string text = "<peer id=\"" + std::to_string(id) + "\" name=\"" + name + "\" active=\""
        + (active ? "true" : "false") + "\" " + extra + "/>";
    return xml(text.c_str());
}

/** <resp seq="peerList"> with @p peers. */
inline Message peerListAnswer(const std::vector<Message> &peers)
{
    Message m("resp");
    m.set_string("seq", "peerList");
    for (const Message &p : peers)
        m.append_copy(p);
    return m;
}
