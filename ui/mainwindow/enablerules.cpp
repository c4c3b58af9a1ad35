#include "enablerules.h"

#include <tuple>

namespace {

auto tied(const Enables &e)
{
    return std::tie(e.lists, e.removeDevice, e.ready, e.peerEntry, e.profile, e.connections, e.editableProfile,
                    e.assignProfile, e.assignDefault, e.connectButton, e.disconnectButton, e.meterTab,
                    e.meterTabVisible, e.weftlineTab, e.enableMeteringVisible, e.disableMeteringVisible,
                    e.tiledVisible, e.statsTableVisible, e.inputPassword, e.reconnect, e.disconnectStatsPeer);
}

} // namespace

bool Enables::operator==(const Enables &o) const
{
    return tied(*this) == tied(o);
}

Enables computeEnables(const EnableFacts &f)
{
    // Every fact is about the selected device: without one, none holds.
    const bool d = f.device;
    const bool r = d && f.ready;
    const bool m = d && f.metering;
    const bool c = r && f.connections;
    const bool p = d && f.profile;
    const bool peer = d && f.peer;
    const bool k = peer && f.peerConnected;

    Enables e;
    e.lists = r;
    e.removeDevice = d;
    e.ready = r;
    e.peerEntry = peer && f.peerEditable;
    e.profile = p;
    e.connections = c;
    e.editableProfile = p && !f.profileNotEditable;
    e.assignProfile = p && peer;
    e.assignDefault = peer;
    e.connectButton = p && peer && !k;
    e.disconnectButton = k;
    e.meterTab = r && m;
    e.meterTabVisible = m;
    e.weftlineTab = d && f.versioned;

    e.enableMeteringVisible = r && !m;
    e.disableMeteringVisible = r && m;
    // The summary's own page, whatever the devices.
    e.tiledVisible = f.summaryPage != 0;
    e.statsTableVisible = f.summaryPage != 1;

    e.inputPassword = d && f.passwordRefused;
    e.reconnect = d;
    e.disconnectStatsPeer = c && f.statsRow;
    return e;
}
