#pragma once

#include "selection.h"

#include <QObject>

#include <functional>

class IPCObject;
class ProfileEdit;
class QWidget;
class SessionTable;

/**
 * What the operator does to a device's profiles from the profile list:
 * duplicate, remove, make the default, assign to a peer, copy to other
 * devices. Each is a request to the device; the list redraws from the
 * profile list the device pushes back.
 */
class ProfileActions : public QObject
{
    Q_OBJECT

public:
    explicit ProfileActions(const SessionTable &sessions, QObject *parent = nullptr);

    /**
     * "Edit Profile...": runs @p editor on the selected profile; on "Save" the
     * edited profile goes back as "setProfile". Factory profiles are not
     * edited. True when the profile was sent.
     */
    static bool edit(IPCObject *session, const SelectedProfile &profile, ProfileEdit &editor);
    /** "Duplicate Profile": "copyProfile" with the id and the plain name followed by " (Copy)". */
    static bool duplicate(IPCObject *session, const SelectedProfile &profile);
    /** The name of a duplicate: the plain name (never the default's "<name>") and " (Copy)". */
    static QString duplicateName(const SelectedProfile &profile);
    /**
     * "Remove Profile": asks "Do you want to remove this profile?" and on Yes
     * sends "deleteProfile". Factory profiles are not removed. False when
     * nothing was sent.
     */
    static bool remove(IPCObject *session, const SelectedProfile &profile, QWidget *parent);
    /** "Set this as the Unit's Default Profile": the device's own profile record with "default" true, as "setProfile". */
    static bool setDefault(IPCObject *session, const SelectedProfile &profile);
    /** "Assign Profile to the selected Peer": "setPeerSettings" with the peer's and the profile's ids. */
    static bool assign(IPCObject *session, const SelectedPeer &peer, const SelectedProfile &profile);
    /** "Assign the Default Profile to this peer": "setPeerSettings" with profile 0. */
    static bool assignDefault(IPCObject *session, const SelectedPeer &peer);
    /**
     * "Copy Profile to...": the copy dialog over every other device; each
     * chosen one gets "addProfile" and, on its answer, the profile written
     * into the new id. Returns how many devices were asked.
     */
    int copyToDevices(IPCObject *session, const SelectedProfile &profile, QWidget *parent);

private:
    const SessionTable &m_sessions;
};
