// The device session's commands: one request per operation, queued by the
// endpoint until the codec is logged in.

#include "ipcobject.h"

#include <QtDebug>

#include <mutex>

void IPCObject::sendPlain(const char *command)
{
    send(Message(command));
}

void IPCObject::sendWithSeq(const char *command, const char *seq)
{
    Message m(command);
    m.set_string("seq", seq);
    send(m);
}

void IPCObject::sendWithId(const char *command, int id)
{
    Message m(command);
    m.set_int("id", id);
    send(m);
}

void IPCObject::sendAs(Message m, const char *command)
{
    // The cached element may be named anything (an answer is "resp"): the
    // request gets the command's name, and its seq brings the answer home.
    m.setName(command);
    m.set_string("seq", command);
    send(m);
}

bool IPCObject::connectPeer(const QString &peerId, const QString &profileId)
{
    PeerMetaPtr peer;
    for (const PeerMetaPtr &p : qAsConst(m_allPeers)) {
        if (p->id == peerId) {
            peer = p;
            break;
        }
    }
    if (!peer)
        return false;
    bool numeric = false;
    const int profile = profileId.toInt(&numeric, 10);
    // An empty id would read as 0 and quietly move the entry to the default profile.
    if (!numeric) {
        qWarning("IPCObject %s: connect refused, profile id \"%s\" is not a number", qPrintable(endpointName()),
                 qPrintable(profileId));
        return false;
    }
    // A peer on profile 0 follows the device's default profile already.
    if (peer->profile != profile && !(peer->profile == 0 && profileId == m_defaultProfileId))
        setPeerSettings(peerId.toInt(), profile);
    Message connectMsg("connect");
    set_qstring(connectMsg, "id", peerId);
    send(connectMsg);
    return true;
}

void IPCObject::disconnectPeer(int peerId)
{
    sendWithId("disconnect", peerId);
}

void IPCObject::disconnectAll()
{
    sendPlain("disconnect");
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    m_peerStatsById.clear();
}

void IPCObject::setPeerSettings(int peerId, int profileId)
{
    Message m("setPeerSettings");
    m.set_int("id", peerId);
    m.set_int("profile", profileId);
    m.set_string("seq", "setPeerSettings");
    send(m);
}

void IPCObject::addPeer(const QString &name, const QString &addr, const QString &password)
{
    Message m("addPeer");
    set_qstring(m, "name", name);
    set_qstring(m, "addr", addr);
    set_qstring(m, "password", password);
    m.set_string("seq", "addPeer");
    send(m);
}

void IPCObject::addPeer(const QString &name, const QString &addr, const QString &password, const QString &unit)
{
    Message m("addPeer");
    set_qstring(m, "name", name);
    set_qstring(m, "addr", addr);
    set_qstring(m, "password", password);
    m.set_bool("use_weftline", true);
    set_qstring(m, "unit", unit);
    m.set_string("seq", "addPeer");
    send(m);
}

void IPCObject::copyPeer(const Message &peer)
{
    // A codec's peer entries carry "pw" and "weftline"; the longer names are
    // read only when those are missing.
    Message m("addPeer");
    m.set_string("addr", peer.get_string("addr"));
    m.set_string("password", peer.get_string(peer.has_attribute("pw") ? "pw" : "password"));
    m.set_string("name", peer.get_string("name"));
    m.set_string("unit", peer.get_string("unit"));
    m.set_bool("use_weftline", peer.get_bool(peer.has_attribute("weftline") ? "weftline" : "use_weftline"));
    send(m);
}

void IPCObject::removePeer(int peerId)
{
    sendWithId("removePeer", peerId);
}

void IPCObject::setProfile(const Message &profile)
{
    sendAs(profile, "setProfile");
}

void IPCObject::addNewProfile()
{
    Message m("addProfile");
    m.add_child("settings").set_string("name", "New Profile...");
    send(m);
}

void IPCObject::addProfileFor(const Message &profile)
{
    // Answers come back in the order of the requests: each one takes the
    // oldest profile still waiting.
    m_pendingProfiles.append(profile);
    connect(this, &IPCObject::recvAddProfile, this, &IPCObject::addProfileCallback, Qt::UniqueConnection);
    sendWithSeq("addProfile", "addProfile");
}

void IPCObject::addProfileCallback(int id)
{
    if (m_pendingProfiles.isEmpty())
        return;
    Message profile = m_pendingProfiles.takeFirst();
    if (profile.name() != "profile")
        return;
    if (id == 0) {
        // The codec refused to add one: nothing to write the copy into.
        qWarning("IPCObject %s: profile copy dropped, the device added no profile", qPrintable(endpointName()));
        return;
    }
    profile.setName("setProfile");
    profile.set_string("seq", "setProfile");
    profile.set_int("id", id);
    send(profile);
}

void IPCObject::copyProfile(const QString &name, int profileId)
{
    Message m("copyProfile");
    m.set_int("id", profileId);
    set_qstring(m, "name", name);
    send(m);
}

void IPCObject::deleteProfile(int profileId)
{
    sendWithId("deleteProfile", profileId);
}

void IPCObject::setSysOptions(const Message &options)
{
    sendAs(options, "setSysOptions");
}

void IPCObject::meteringOn()
{
    Message m("monitor");
    m.set_bool("metering", true);
    m.set_int("meterInterval", MeterIntervalMs);
    send(m);
    m_meteringOn.store(true, std::memory_order_relaxed);
}

void IPCObject::meteringOff()
{
    Message m("monitor");
    m.set_bool("metering", false);
    send(m);
    m_meteringOn.store(false, std::memory_order_relaxed);
}

void IPCObject::cmd_get_version_slot()
{
    sendWithSeq("getVersion", "version");
}
