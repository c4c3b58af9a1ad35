#pragma once

#include "ipcendpoint.h"
#include "message.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>

/**
 * The Qt-facing client endpoint of one device: follows the connection
 * through DEVICE_STATE and emits one signal per state entered, keeps the last
 * message of each name, and hands responses and notices to the slots
 * "cb_resp_<seq>" / "cb_unso_<id>" (taking "const Message&") of the derived
 * class, on the thread the object lives in.
 *
 * The transport callbacks (on_*, handle*, dispatch) run on the loop thread
 * while it holds the manager's state lock; send() and subscribe() from there
 * do not lock again. A subclass decides only a message's key and route
 * (handleResponse(), handleUnsolicited()); dispatch() does the rest. state(),
 * the cache readers and the setters are safe from any thread.
 */
/** Registers "IQEndpointClient::DEVICE_STATE" for queued signals (idempotent, thread-safe). */
void iqRegisterMetaTypes();

class IQEndpointClient : public QObject, public IPCEndpointClient
{
    Q_OBJECT
public:
    enum DEVICE_STATE {
        TIMED_OUT = -2,
        AUTH_FAILED = -1,
        DISCONNECTED = 0,
        CONNECTING = 1,
        CONNECTED = 2,
        AUTHENTICATED = 3,
        READY = 4,
        CODE_UPLOAD = 5,
        CODE_UPDATE = 6,
    };
    Q_ENUM(DEVICE_STATE)

    /** Seconds between reconnects while auto-reconnect is on. */
    static constexpr unsigned ReconnectSeconds = 4;

    explicit IQEndpointClient(const QString &name, QObject *parent = nullptr);
    ~IQEndpointClient() override;

    QString endpointName() const { return QString::fromStdString(name()); }

    DEVICE_STATE state() const { return static_cast<DEVICE_STATE>(m_state.load(std::memory_order_acquire)); }
    /**
     * Enters @p s (nothing when already there) and emits its signal.
     * CONNECTING also turns auto-reconnect on and clears the cache;
     * AUTH_FAILED turns it off; AUTHENTICATED emits initializing(), then runs
     * onEnterAuthenticated() and initialise().
     */
    void setState(DEVICE_STATE s);
    /**
     * Enters @p to as setState() does, but only while the state is @p from
     * (atomically); false when it was not.
     */
    bool advanceState(DEVICE_STATE from, DEVICE_STATE to);
    bool autoReconnect() const { return m_autoReconnect.load(std::memory_order_relaxed); }

    /** Copies the cached message under @p key into @p out; false when there is none. */
    bool cachedMessage(const QString &key, Message &out) const;
    /** The message under @p key, or an empty one after the warning "Missing expected message: ". */
    Message cachedMessage(const QString &key) const;
    /** The cached entry itself, shared (never changed once stored); null when absent. */
    std::shared_ptr<const Message> cachedShared(const QString &key) const;

    /** Login user name and password (UTF-8 on the wire); both empty by default. */
    void setUserName(const QString &name);
    void setPassword(const QString &password);

    /** Names still missing before the session is complete. */
    QStringList requiredMessages() const;
    void setRequiredMessages(const QStringList &names);

    // IPCEndpointClient
    unsigned reconnect_interval() override;
    void attach_connection(IPCConn *connection) override;
    void on_connection_state_changed(int state) override;
    void on_authenticated() override;
    void on_authentication_failed() override;
    std::string user_name() override;
    std::string password() override;
    void on_response(const Message &message) override;
    void on_message(const Message &message) override;
    void on_timed_out() override;
    void on_connection_failed(const std::string &reason) override;
    void on_frame_rejected(const std::string &reason) override;

signals:
    void cnxn_timed_out();
    void wrong_password();
    void disconnected();
    void connecting();
    void connected();
    void ready();
    void initializing();
    void finalRequiredMessageReceived();
    /**
     * The connection failed, with the socket's reason ("Connection refused",
     * "remote disconnect", "timed out", "authentication failure", ...).
     * Delivered in order with the state signals: before the state the
     * failure leads to.
     */
    void connectionFailed(QString reason);
    /** A received frame did not read as a message; the reason names its element and shows a sample. */
    void frameRejected(QString reason);

protected:
    /** How dispatch() hands a message on, once its key is known. */
    enum class Route {
        /** "cb_resp_<key>" taking the message, else taking nothing; none: "missing response: <xml>". */
        Response,
        /** As Response, but a missing slot is no fault: the answer stays cached for whoever reads it. */
        Answer,
        /** As Response; none: "missing function cb_resp_<key>". */
        Push,
        /** "cb_unso_<key>" taking the message; none: "missing callback cb_unso_<key>". */
        Notice,
        /** A refused request: the cache keeps its last good record; only a slot taking the answer is called. */
        Refusal,
    };

    /** Entering AUTHENTICATED, before initialise(): set up the required messages. */
    virtual void onEnterAuthenticated() {}
    /** Entering AUTHENTICATED: request what the session needs. */
    virtual void initialise() {}
    /** A response: dispatched under its seq (Route::Response); one without seq is ignored. */
    virtual void handleResponse(const Message &message);
    /** Any other message: dispatched under noticeKey() of its id (Route::Notice). */
    virtual void handleUnsolicited(const Message &message);
    /**
     * The one dispatch (loop thread): caches @p message under @p key (one
     * copy, shared with the slot on the other thread), calls the slot the
     * route names, and ticks the required list.
     */
    void dispatch(const Message &message, const std::string &key, Route route);
    /** A notice id as a slot and cache key: "." and ":" become "_". */
    static std::string noticeKey(std::string id);
    /** Replaces the entry under @p key with a copy of @p message (an empty message after a warning). */
    void storeInCache(const Message &message, const QString &key);
    /** Calls the method @p index with @p message (none when null) as an automatic connection would. */
    void post(int methodIndex, std::shared_ptr<const Message> message);
    /** Drops the callbacks and state signals still on their way to this object's thread. */
    void dropPendingCallbacks();

    /** Guards the cache, the required list, the credentials and the tables a subclass derives from the cache. */
    mutable std::mutex m_cacheMutex;

private:
    /** What entering @p s does, once the state has changed to it. */
    void entered(DEVICE_STATE s);
    /** Emits the argument-less signal @p signalIndex on this object's thread. */
    void raise(int signalIndex);
    /** Emits the signal @p signalIndex, which takes one QString, with @p text on this object's thread. */
    void raiseText(int signalIndex, const std::string &text);
    /** Stores the shared entry under @p key; the one it replaces is freed outside the lock. */
    void put(const QString &key, std::shared_ptr<const Message> entry);
    /** Removes @p key from the required list; emits finalRequiredMessageReceived when that empties it. */
    void requiredMessageArrived(const QString &key);
    /** Empties the cache (on entering CONNECTING). */
    void clearCache();

    std::atomic<int> m_state{DISCONNECTED};
    std::atomic<bool> m_autoReconnect{false};
    bool m_authEntered = false; // AUTHENTICATED entered on the current connection
    QStringList m_requiredMessages;
    std::string m_username;
    std::string m_password;
    std::atomic<class IQDelivery *> m_delivery{nullptr}; // of this object's thread, once used
    /** Last message per key; entries are shared with callbacks in flight, never changed. */
    QHash<QString, std::shared_ptr<const Message>> m_cache;
    // The last key dispatched, with its Qt form and slot: a device sends the
    // same notice (levels) over and over.
    struct Memo {
        std::string key;
        Route route = Route::Response;
        QString qkey;
        int index = -1;
        bool withMessage = false;
    };
    std::mutex m_memoMutex;
    Memo m_memo;
};
