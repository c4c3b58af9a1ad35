#pragma once

#include "devicelog.h"
#include "graphdata.h"
#include "iqendpointclient.h"
#include "iqmanager.h"
#include "peermeta.h"
#include "qtmessage.h"
#include "qvevent.h"

#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUuid>

#include <atomic>
#include <memory>
#include <mutex>

class IQManager;
class TunnelInfo;

/**
 * Registers the types that device sessions send through queued signals:
 * "Message", "LogLine", "QV_EVENT", "IQEndpointClient::DEVICE_STATE" and
 * "IPCObject*". Idempotent; the session's constructor calls it.
 */
void registerDeviceMetaTypes();

/**
 * The session of one managed codec: its endpoint in the network manager, the
 * cache of everything the codec sent, the tables and feeds derived from it,
 * and the commands the program sends it.
 *
 * Threads: the object lives in the application thread, where all its slots
 * and signals run. The manager's loop thread stores into the cache (through
 * the endpoint client's dispatch; the session only names the key and the
 * route) and calls after_auth(); the cache is guarded by the endpoint's lock,
 * held only for one store or fetch. The derived tables are written by the
 * slots and read by the views, all on the application thread.
 *
 * Create sessions with create() (or construct and registerEndpoint()) and end
 * them with destroySession(), never with delete while registered.
 */
class IPCObject : public IQEndpointClient
{
    Q_OBJECT
public:
    static constexpr unsigned ReceiveTimeoutSeconds = 7;
    static constexpr int MeterIntervalMs = 70;
    static constexpr int HistoryLength = GraphData::DefaultCapacity;

    /**
     * A session named after @p uuid, talking through @p manager (the
     * program's manager when null). A null uuid throws
     * std::logic_error("IPC ZERO UUID NOT ALOWED").
     */
    explicit IPCObject(const QUuid &uuid, IQManager *manager = nullptr, QObject *parent = nullptr);
    ~IPCObject() override;

    /**
     * Creates a session and registers its endpoint with @p manager under its
     * endpoint name; null when the name is already registered.
     */
    static IPCObject *create(const QUuid &uuid, IQManager *manager = nullptr, QObject *parent = nullptr);
    /** Registers this session's endpoint with its manager; false when the name is taken. */
    bool registerEndpoint();

    // Identity and address
    const QUuid &uuid() const { return m_uuid; }
    IQManager *iqManager() const { return m_manager; }
    const QString &address() const { return m_address; }
    quint16 port() const { return m_port; }
    bool isClosing() const { return m_closing.load(std::memory_order_acquire); }
    /** False for an old-firmware codec, once the handshake found it out. */
    bool isVersioned() const;

    /** Stores the address; does not connect. */
    void setAddress(const QString &address, quint16 port);
    /** Stores address, port and password, then connectToDevice(). */
    void setAddressAndConnect(const QString &address, quint16 port, const QString &password);
    /** Asks the manager to connect this endpoint to "address:port". */
    void connectToDevice();
    /** The connect target: "10.0.0.5" and 8080 give "10.0.0.5:8080". */
    static QString connectTarget(const QString &address, quint16 port);
    /** Connects again (after a new password, or on the operator's command); nothing while closing. */
    void reconnect();
    /**
     * Ends the session: no reconnect from now on, out of the manager, no
     * further callbacks, and deleted by the event loop.
     */
    void destroySession();

    // Cache (cachedMessage() and cachedShared() of the endpoint client)
    /** Copies the first profile of the cached "profileList" whose "id" is @p id. */
    bool findProfile(const QString &id, Message &out);
    /** Copies the first peer of the cached "peerList" whose "id" is @p id. */
    bool findPeer(const QString &id, Message &out);
    /** "unit_name" of the cached "sysOptions" ("unknown" without it, empty without the record). */
    QString unitName();

    // Tables derived from the cache (application thread)
    const QList<PeerMetaPtr> &allPeers() const { return m_allPeers; }
    const QList<PeerMetaPtr> &activePeers() const { return m_activePeers; }
    const QList<PeerMetaPtr> &addressPeers() const { return m_addressPeers; }
    const QList<PeerMetaPtr> &directoryPeers() const { return m_directoryPeers; }
    const QMap<int, PeerMetaPtr> &peersById() const { return m_peersById; }
    const QList<int> &activePeerIds() const { return m_activePeerIds; }
    /** Active peers in the last peer list; -1 before the first one. */
    int activePeerCount() const { return m_activeCount; }
    const QString &chanState() const { return m_chanState; }
    const QString &receivingPeerId() const { return m_receivingPeerId; }
    const QList<ProfileSummary> &profiles() const { return m_profiles; }
    const QString &defaultProfileId() const { return m_defaultProfileId; }
    const QMap<int, PeerStats> &peerStatsById() const { return m_peerStatsById; }
    const QMap<int, ChannelStats> &channelStatsById() const { return m_channelStatsById; }
    DelayGraphData &delayGraphData() { return m_delayGraphData; }
    LossGraphData &lossGraphData() { return m_lossGraphData; }
    DeviceLog &eventLog() { return m_eventLog; }
    TunnelInfo *tunnelInfo() const { return m_tunnelInfo; }
    /** The oldest profile waiting for its add-profile answer (empty when none waits). */
    Message pendingProfile() const;
    int pendingProfileCount() const { return m_pendingProfiles.size(); }

    // Metering, alerts, e-mail
    /** Whether levels are wanted (true at creation); a versioned codec is told so after every login. */
    bool meteringEnabled() const { return m_meteringOn.load(std::memory_order_relaxed); }
    /** Sets the flag without telling the codec (loading a configuration): the next login applies it. */
    void setMeteringEnabled(bool on) { m_meteringOn.store(on, std::memory_order_relaxed); }
    /**
     * How long the session may stay AUTHENTICATED before it logs the required
     * records still missing (20 s).
     */
    void setMissingRecordsDelay(int ms) { m_missingRecordsTimer.setInterval(ms); }
    const QMap<int, QString> &alertSounds() const { return m_alertSounds; }
    /** The sound file for @p event: empty means the default, "mute" means none. */
    QString alertSound(QV_EVENT event) const { return m_alertSounds.value(event); }
    void setAlertSound(QV_EVENT event, const QString &path) { m_alertSounds.insert(event, path); }
    const QStringList &emailAddresses() const { return m_emailAddresses; }
    void setEmailAddresses(const QStringList &addresses) { m_emailAddresses = addresses; }

    // Commands (queued by the endpoint until the codec is logged in)
    /**
     * Connects to the peer @p peerId with the profile @p profileId, assigning
     * the profile first when the peer does not use it already. False (nothing
     * sent) when the peer is not in the last peer list or @p profileId is not
     * a decimal number (an empty one included).
     */
    bool connectPeer(const QString &peerId, const QString &profileId);
    void disconnectPeer(int peerId);
    /** Ends every call; the peer statistics table empties at once. */
    void disconnectAll();
    void setPeerSettings(int peerId, int profileId);
    void addPeer(const QString &name, const QString &addr, const QString &password);
    /** An entry reached through the tunnel service of unit @p unit. */
    void addPeer(const QString &name, const QString &addr, const QString &password, const QString &unit);
    /**
     * Adds a copy of another device's peer entry: its password from "pw"
     * (else "password"), its tunnel flag from "weftline" (else "use_weftline").
     */
    void copyPeer(const Message &peer);
    void removePeer(int peerId);
    void setProfile(const Message &profile);
    void addNewProfile();
    /** Adds @p profile (a "profile" element of another device) as a new profile of this one. */
    void addProfileFor(const Message &profile);
    void copyProfile(const QString &name, int profileId);
    void deleteProfile(int profileId);
    void setSysOptions(const Message &options);
    void meteringOn();
    void meteringOff();
    /** Sends @p message as it is (editors with commands of their own). */
    void sendCommand(const Message &message) { send(message); }

signals:
    void changedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state);
    void reconnect(QUuid uuid);
    void newChanState(QUuid uuid, QString chanState);
    void recvChannelList(QUuid uuid);
    void recvChannelOpts(QUuid uuid);
    void recvChannelStats(QUuid uuid);
    void recvPeerStats(QUuid uuid);
    void recvPeerList(QUuid uuid);
    void recvAddPeer();
    void recvAddProfile(int id);
    void recvProfileList(QUuid uuid);
    void recvSarvelConfig(QUuid uuid, QString xml);
    void recvSysOptions(QUuid uuid);
    void recvCodecList(QUuid uuid);
    void recvDirectoryServer(QUuid uuid);
    void recvLevels(float rmlf, float rmrf, float tmlf, float tmrf);
    void recvAllLevels(float rmlf, float rmrf, float tmlf, float tmrf, float rmls, float rmrs, float tmls, float tmrs);
    void recvVersion(QUuid uuid);
    void recvSystemOpts();
    void recvTunConns(QUuid uuid);
    void recvTunStats(QUuid uuid);
    void recvTunnelStatus(QUuid uuid);
    void recvWeftlineSettings(QUuid uuid);
    void recvSetWeftlineOptions();
    void recvSipProxy();
    void recvCurrentEncoder();
    void deviceEvent(IPCObject *device, QV_EVENT event);
    /**
     * The codec refused a request: the answer carried "fail". @p key is the
     * answer's cache key (its seq; empty for a request without one), @p code
     * and @p text its "error_code" and "error_text". The cache keeps the last
     * good record under @p key (except "tunnelStatus", whose failure the
     * tunnel model reads).
     */
    void requestFailed(QUuid uuid, QString key, QString code, QString text);

public slots:
    void emitChangedState_connecting();
    void emitChangedState_connected();
    void emitChangedState_disconnected();
    void emitChangedState_wrong_password();
    void emitChangedState_ready();
    void allMessagesPresent();
    /** The requests and subscriptions of a fresh login (loop thread: sends only). */
    void after_auth();
    void addProfileCallback(int id);
    void cmd_get_version_slot();

    // Answers and pushed records, by cache key
    void cb_resp_channelList();
    void cb_resp_channelOpts();
    void cb_resp_profileList();
    void cb_resp_peerList();
    void cb_resp_version();
    void cb_resp_sysOptions();
    void cb_resp_systemOpts();
    void cb_resp_codecList();
    void cb_resp_sarvelConfig();
    void cb_resp_directoryServer();
    void cb_resp_peerStats();
    void cb_resp_channelStats();
    void cb_resp_levels();
    void cb_resp_addPeer();
    void cb_resp_addProfile();
    /** Preferred by the dispatch: the answer itself, not the latest cached one. */
    void cb_resp_addProfile(const Message &answer);
    void cb_resp_tunnelStatus();
    void cb_resp_weftlineSettings();
    void cb_resp_setWeftlineOptions();
    void cb_resp_ping();
    void cb_resp_powerInfo();
    void cb_resp_sipProxy();
    void cb_resp_currentEncoder();

    // Subscription notices, and the bare records of old firmware
    void cb_unso_channelList(const Message &message);
    void cb_unso_channelOpts(const Message &message);
    void cb_unso_profileList(const Message &message);
    void cb_unso_peerList(const Message &message);
    void cb_unso_version(const Message &message);
    void cb_unso_sysOptions(const Message &message);
    void cb_unso_systemOpts(const Message &message);
    void cb_unso_codecList(const Message &message);
    void cb_unso_sarvelConfig(const Message &message);
    void cb_unso_directoryServer(const Message &message);
    void cb_unso_peerStats(const Message &message);
    void cb_unso_peer_stats(const Message &message);
    void cb_unso_channelStats(const Message &message);
    void cb_unso_channel_stats(const Message &message);
    void cb_unso_metering(const Message &message);
    void cb_unso_levels(const Message &message);
    void cb_unso_cfgStatus_netmgr_tunnel(const Message &message);
    void cb_unso_netmgr_tunnel(const Message &message);
    void cb_unso_tun_conns(const Message &message);
    void cb_unso_tun_stats(const Message &message);
    void cb_unso_sipProxy(const Message &message);
    void cb_unso_currentEncoder(const Message &message);
    void cb_unso_addPeer(const Message &message);
    void cb_unso_addProfile(const Message &message);

protected:
    void onEnterAuthenticated() override;
    void initialise() override;
    /** Keys an answer by its seq (else its first child's name); a refused one as Route::Refusal. */
    void handleResponse(const Message &message) override;
    /** Unwraps "unso" pushes; keys notices by id, and old firmware's bare records by their name. */
    void handleUnsolicited(const Message &message) override;

    /** Reads the eight levels of @p levels and emits recvLevels, then recvAllLevels. */
    void emitLevels(const Message &levels);

private slots:
    /** Emits requestFailed for a refused answer (posted by the dispatch). */
    void answerFailed(const Message &answer);
    /** Logs the required records a session short of READY still waits for. */
    void reportMissingRecords();

private:
    void sendPlain(const char *command);
    void sendWithSeq(const char *command, const char *seq);
    void sendWithId(const char *command, int id);
    /** Sends @p m renamed to @p command, with @p command as its seq. */
    void sendAs(Message m, const char *command);

    // Tables from the cache, in the order the records arrive.
    QList<Message> m_pendingProfiles;
    QMap<int, PeerMetaPtr> m_peersById;
    QList<ProfileSummary> m_profiles;
    LossGraphData m_lossGraphData;
    DelayGraphData m_delayGraphData;
    QString m_receivingPeerId;
    DeviceLog m_eventLog;
    QMap<int, PeerStats> m_peerStatsById;
    QMap<int, ChannelStats> m_channelStatsById;
    std::atomic<bool> m_closing{false};
    QList<PeerMetaPtr> m_allPeers, m_activePeers, m_addressPeers, m_directoryPeers;
    QString m_chanState;
    QUuid m_uuid;
    QString m_address = QStringLiteral("0.0.0.0");
    quint16 m_port = 80;
    QString m_defaultProfileId;
    QList<int> m_activePeerIds;
    QMap<int, QString> m_alertSounds;
    QStringList m_emailAddresses;
    int m_activeCount = -1;

    TunnelInfo *m_tunnelInfo = nullptr;
    std::atomic<bool> m_meteringOn{true};

    QPointer<IQManager> m_manager;
    QTimer m_versionTimer{this};
    QTimer m_missingRecordsTimer{this};
};

Q_DECLARE_METATYPE(IPCObject *)
