#include "settingssession.h"

#include "ipcobject.h"
#include "qtmessage.h"

SettingsSources settingsSources(IPCObject *session)
{
    SettingsSources out;
    if (!session)
        return out;
    static const char *const keys[] = {"systemOpts",  "sysOptions",      "channelOpts",     "channelList",
                                       "codecList",   "directoryServer", "weftlineSettings"};
    for (const char *key : keys) {
        Message m;
        if (session->cachedMessage(QLatin1String(key), m))
            out.records.insert(QLatin1String(key), m);
    }
    out.versioned = session->isVersioned();
    if (session->state() == IQEndpointClient::READY) {
        for (const PeerMetaPtr &p : session->allPeers())
            out.peers.append(PeerChoice{p->id, p->name, p->host});
    }
    return out;
}

bool sendUpdatedSettings(IPCObject *session, const Message &request)
{
    if (!session)
        return false;
    Message m(request);
    const std::string name = m.name();
    if (name == "sysOptions" || name == "directoryServer") {
        // A bare record: the request of its group.
        const char *renamed = name == "sysOptions" ? "setSysOptions" : "setDirectoryServer";
        m.setName(renamed);
        m.set_string("seq", renamed);
    } else if (name != "setSysOptions" && name != "setDirectoryServer" && name != "setChannelSettings"
               && name != "cfgSetOption") {
        qWarning("sendUpdatedSettings: not a settings request: %s", name.c_str());
        return false;
    }
    session->sendCommand(m);
    return true;
}
