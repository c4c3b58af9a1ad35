#include "enablerules.h"

#include <tuple>

namespace {

auto tied(const Enables &e)
{
    return std::tie(e.removeDevice, e.lists, e.logButtons, e.settingsEditor, e.statsTable, e.connectButton, e.disconnectButton,
                    e.meterTab, e.weftlineTab, e.enableMeteringVisible, e.disableMeteringVisible, e.inputPassword);
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
    const bool p = d && f.profile;
    const bool peer = d && f.peer;
    const bool k = peer && f.peerConnected;

    Enables e;
    e.removeDevice = d;
    e.lists = r;
    e.logButtons = r;
    e.settingsEditor = r;
    e.statsTable = r && f.connections;
    e.connectButton = p && peer && !k;
    e.disconnectButton = peer && k;
    e.meterTab = r && m;
    e.weftlineTab = d && f.versioned;
    e.enableMeteringVisible = r && !m;
    e.disableMeteringVisible = r && m;
    e.inputPassword = d && f.passwordRefused;
    return e;
}
