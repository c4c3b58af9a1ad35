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
    bool statsRow = false;           ///< a row of the statistics table is current
    int summaryPage = 0;             ///< the summary's page: 0 tiles, 1 the statistics tree
};

/** Which of the window's widgets and actions are enabled or visible, one field per rule. */
struct Enables {
    /** Peer tree, profile list and both filter boxes: R. */
    bool lists = false;
    /** "Remove Instance": D. */
    bool removeDevice = false;
    /**
     * R: "Add Peer...", "Configure Instance", "Show Network Stats", "Connect"
     * (action), "Use Directory Peers", "Set Alert Sounds...", "Manage alert
     * addresses", "Copy MAC Address", the log buttons, the settings editor.
     */
    bool ready = false;
    /** "Edit Peer", "Remove Peer", "Copy Peer to...": E. */
    bool peerEntry = false;
    /** "Duplicate Profile", "Set this as the Unit's Default Profile": P. */
    bool profile = false;
    /** "Disconnect All", the statistics table: R and C. */
    bool connections = false;
    /** "Edit Profile...", "Remove Profile", "Copy Profile to...": P and not Pdef. */
    bool editableProfile = false;
    /** "Assign Profile to the selected Peer": P and a peer. */
    bool assignProfile = false;
    /** "Assign the Default Profile to this peer": a peer. */
    bool assignDefault = false;
    /** The "Connect" button: P, a peer, and not K. */
    bool connectButton = false;
    /** The "Disconnect" button: a peer and K. */
    bool disconnectButton = false;
    /** Tab "Meters": R and M. */
    bool meterTab = false;
    /** Tab "Meters" shown: M (hidden while the shown device's metering is off). */
    bool meterTabVisible = false;
    /** Tab "Weftline": D and T. */
    bool weftlineTab = false;

    /** "Enable Metering" shown: R and not M. */
    bool enableMeteringVisible = false;
    /** "Disable Metering" shown: R and M. */
    bool disableMeteringVisible = false;
    /** "Tiled" shown: the summary is not on its tiles. */
    bool tiledVisible = false;
    /** "Stats Table" shown: the summary is not on its statistics tree. */
    bool statsTableVisible = false;

    /** "Input Password...": D and the password refused. */
    bool inputPassword = false;
    /** "Reconnect to Device": D. */
    bool reconnect = false;
    /** "Disconnect this peer": R, C and a statistics row. */
    bool disconnectStatsPeer = false;

    bool operator==(const Enables &o) const;
    bool operator!=(const Enables &o) const { return !(*this == o); }
};

/** The enabling table: pure, so each row is tested on its own. */
Enables computeEnables(const EnableFacts &facts);
