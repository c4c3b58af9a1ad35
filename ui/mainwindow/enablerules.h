#pragma once

/**
 * What the window's enabling depends on, gathered from the selected device
 * and the selection in its lists. With no device in the fleet every fact is
 * false.
 */
struct EnableFacts {
    bool device = false;             ///< D: a device is selected
    bool ready = false;              ///< R: it is READY
    bool metering = false;           ///< M: its metering is on
    bool versioned = false;          ///< T: its endpoint speaks a protocol version (not 0)
    bool connections = false;        ///< C: it has at least one active connection
    bool profile = false;            ///< P: a profile is selected
    bool profileNotEditable = false; ///< Pdef: that profile is flagged as not editable
    bool peer = false;               ///< a peer is selected
    bool peerEditable = false;       ///< E: that peer is an address-book entry with an id
    bool peerConnected = false;      ///< K: that peer is connected
    bool passwordRefused = false;    ///< the device refuses its password (AUTH_FAILED)
};

/** Which of the window's widgets and actions are enabled or visible. */
struct Enables {
    bool removeDevice = false;           ///< "Remove Instance"
    bool lists = false;                  ///< peer tree, profile list and their filters
    bool logButtons = false;             ///< the log tab's Reset and Save
    bool settingsEditor = false;
    bool statsTable = false;
    bool connectButton = false;
    bool disconnectButton = false;
    bool meterTab = false;
    bool weftlineTab = false;
    bool enableMeteringVisible = false;
    bool disableMeteringVisible = false;
    bool inputPassword = false;          ///< "Input Password..."

    bool operator==(const Enables &o) const;
    bool operator!=(const Enables &o) const { return !(*this == o); }
};

/** The enabling table: pure, so each row is tested on its own. */
Enables computeEnables(const EnableFacts &facts);
