#pragma once

#include <QList>
#include <QObject>

#include <functional>

class AddDevice;
class IPCObject;
class PasswordPrompt;
class SessionTable;

/**
 * How a codec comes to be managed: every device managed so far is removed, a
 * session is created for the new address and port, selected, connected with
 * the default password and given the sound files that exist; then the
 * configuration is saved.
 */
class DeviceLoader : public QObject
{
    Q_OBJECT

public:
    /** The login password a newly added device starts with. */
    static const char *const DefaultPassword;

    /** What the loader asks of its window. */
    struct Hooks {
        std::function<void(IPCObject *)> select; ///< makes a session (or none) the selected device
        std::function<void()> save;             ///< stores the configuration
    };

    DeviceLoader(SessionTable &sessions, PasswordPrompt &passwords, Hooks hooks, QObject *parent = nullptr);

    /**
     * Replaces the managed devices by one for @p dialog's address and port.
     * Returns the new session, null when it could not be registered.
     */
    IPCObject *load(const AddDevice &dialog);
    /** Removes every managed device: out of the manager and destroyed on return. */
    void removeAll();

    /** Destroys those of @p sessions whose deletion is pending, now. */
    static void destroyPending(const QList<IPCObject *> &sessions);

private:
    SessionTable &m_sessions;
    PasswordPrompt &m_passwords;
    Hooks m_hooks;
};
