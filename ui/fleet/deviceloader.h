#pragma once

#include <QList>
#include <QObject>

#include <functional>

class AddDevice;
class IPCObject;
class SessionTable;
class TorvikSummary;
struct ConfigRemote;

/**
 * How a codec comes to be managed. Added by the operator: every device
 * managed so far is removed (tile, row and session, shut down before the new
 * one starts), a session is created for the new address and port, its tile
 * made and selected, the session connected with the default password and
 * given the sound files that exist; then the configuration is saved. Loaded
 * from the configuration: the stored device, with its password, metering
 * flag, sounds and e-mail addresses.
 */
class DeviceLoader : public QObject
{
    Q_OBJECT

public:
    /** The login password a newly added device starts with. */
    static const char *const DefaultPassword;

    /** What the loader asks of its window. */
    struct Hooks {
        std::function<void()> save; ///< stores the configuration
    };

    DeviceLoader(SessionTable &sessions, TorvikSummary &summary, Hooks hooks, QObject *parent = nullptr);

    /**
     * Replaces the managed devices by one for @p dialog's address and port.
     * Returns the new session, null when it could not be registered.
     */
    IPCObject *load(const AddDevice &dialog);
    /** Manages the device the configuration names, selected; null when it could not be registered. */
    IPCObject *loadStored(const ConfigRemote &remote);
    /** Removes every managed device: out of the summary and the manager, destroyed on return. */
    void removeAll();

    /** Destroys those of @p sessions whose deletion is pending, now. */
    static void destroyPending(const QList<IPCObject *> &sessions);

private:
    IPCObject *createSession();

    SessionTable &m_sessions;
    TorvikSummary &m_summary;
    Hooks m_hooks;
};
