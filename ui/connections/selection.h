#pragma once

#include <QString>

/**
 * The peer selected in a peer list, as the actions need it: a copy of the
 * row's item data, never the item itself. An empty id means none.
 */
struct SelectedPeer {
    QString id;             ///< the peer's id (an incoming connection's contains "-")
    bool directory = false; ///< learned from the directory server, not an address-book entry
    bool active = false;    ///< has a live connection
    QString profile;        ///< the assigned profile's id ("0": the device's default)

    bool isValid() const { return !id.isEmpty(); }
    /** The id as a number; false when it is none (an incoming connection's, for one). */
    bool numericId(int &out) const
    {
        bool ok = false;
        out = id.toInt(&ok, 10);
        return ok;
    }
};

/** The profile selected in a profile list. An empty id means none. */
struct SelectedProfile {
    QString id;
    QString name;           ///< the plain name, without the default's brackets
    bool factory = false;   ///< built into the codec: not edited, removed or copied
    bool isDefault = false;

    bool isValid() const { return !id.isEmpty(); }
};
