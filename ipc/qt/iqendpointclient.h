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
 * The transport callbacks (on_*, handle*, store*) run on the loop thread
 * while it holds the manager's state lock; send() and subscribe() from there
 * do not lock again. state(), cachedMessage() and the setters are safe from
 * any thread.
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

    /** Copies the cached message under @p key into @p out (under the cache lock). */
    bool cachedMessage(const QString &key, Message &out);

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
    /** Entering AUTHENTICATED, before initialise(): set up the required messages. */
    virtual void onEnterAuthenticated() {}
    /** Entering AUTHENTICATED: request what the session needs. */
    virtual void initialise() {}
    /** A response: cache under its seq, call cb_resp_<seq>, tick the required list. */
    virtual void handleResponse(const Message &message);
    /** Any other message: cache under its id (. and : as _), call cb_unso_<id>, tick the list. */
    virtual void handleUnsolicited(const Message &message);
    /** A notice id as a slot and cache key: "." and ":" become "_". */
    static std::string noticeKey(std::string id);
    /** Replaces the entry under @p key (an empty message is stored after a warning). */
    virtual void storeInCache(const Message &message, const QString &key);
    virtual void storeUnderOwnName(const Message &message);
    /** Looks @p key up; cachedMessage() calls it under the cache lock. */
    virtual bool getFromCache(const QString &key, Message &out);
    /** Empties the cache (on entering CONNECTING). */
    virtual void clearCache();

    /** Removes @p key from the required list; emits finalRequiredMessageReceived when that empties it. */
    void requiredMessageArrived(const QString &key);
    /**
     * Invokes the slot @p method (without signature) with @p message, queued
     * when called from another thread. False when there is no such slot.
     * Lookups are cached per class.
     */
    bool invokeCallback(const std::string &method, const Message &message);
    /** The same with a message already shared (no copy is made for the other thread). */
    bool invokeCallback(const std::string &method, const std::shared_ptr<const Message> &message);
    /** Calls "cb_resp_<key>", or warns "missing response: <xml>". */
    void invokeResponseCallback(const std::string &key, const Message &message);
    /** Calls "cb_unso_<key>", or warns "missing callback cb_unso_<key>". */
    void invokeNoticeCallback(const std::string &key, const Message &message);
    /**
     * Index of the slot @p method taking "const Message&" (@p withMessage) or
     * nothing, -1 when there is none. Lookups are cached per class.
     */
    int callbackIndex(const std::string &method, bool withMessage) const;
    /**
     * Calls the slot @p index found by callbackIndex() as an automatic
     * connection would: with @p message, or without arguments when it is null.
     */
    void invokeCallbackIndex(int index, std::shared_ptr<const Message> message);
    /** Drops the callbacks and state signals still on their way to this object's thread. */
    void dropPendingCallbacks();

    /** Guards the cache, the required list and the credentials. */
    mutable std::mutex m_cacheMutex;
    /** Last message per key; entries are shared with callbacks in flight, never changed. */
    QHash<QString, std::shared_ptr<const Message>> m_cache;

private:
    /** What entering @p s does, once the state has changed to it. */
    void entered(DEVICE_STATE s);
    /** Emits the argument-less signal @p signalIndex on this object's thread. */
    void raise(int signalIndex);
    /** Emits the signal @p signalIndex, which takes one QString, with @p text on this object's thread. */
    void raiseText(int signalIndex, const std::string &text);
    /** Calls @p methodIndex (with @p message, or none) as an automatic connection would. */
    void post(int methodIndex, const Message *message, std::shared_ptr<const Message> shared);
    /** Caches and dispatches one message under @p key (one copy shared by both). */
    void dispatch(const Message &message, const std::string &key, bool response);

    std::atomic<int> m_state{DISCONNECTED};
    std::atomic<bool> m_autoReconnect{false};
    bool m_authEntered = false; // AUTHENTICATED entered on the current connection
    QStringList m_requiredMessages;
    std::string m_username;
    std::string m_password;
    std::atomic<class IQDelivery *> m_delivery{nullptr}; // of this object's thread, once used
    // The shared copy being stored by the default storeInCache (loop thread).
    const std::shared_ptr<const Message> *m_storing = nullptr;
    // The last key dispatched, with its Qt form and slot: a device sends the
    // same notice (levels) over and over.
    struct Memo {
        std::string key;
        bool response = false;
        QString qkey;
        int index = -1;
    };
    std::mutex m_memoMutex;
    Memo m_memo;
};
