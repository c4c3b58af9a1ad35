#include "ctlrunner.h"

#include "ipcprotocol.h"

#include <QMetaEnum>
#include <QTime>

#include <climits>
#include <cmath>

namespace qvctl {

namespace {

// The ids a "no such id" message lists, at most.
constexpr int ListedIds = 20;

QString idList(const QStringList &ids)
{
    if (ids.isEmpty())
        return QStringLiteral("none");
    QStringList shown = ids.mid(0, ListedIds);
    if (ids.size() > ListedIds)
        shown.append(QStringLiteral("..."));
    return shown.join(QStringLiteral(", "));
}

int millis(double seconds)
{
    const double ms = std::ceil(seconds * 1000.0);
    return ms >= INT_MAX ? INT_MAX : static_cast<int>(ms);
}

} // namespace

CommandRunner::CommandRunner(const Options &options, Output &output, IQManager *manager, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_output(output)
    , m_format(options.json)
    , m_manager(manager)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &CommandRunner::onDeadline);
    m_watchEnd.setSingleShot(true);
    connect(&m_watchEnd, &QTimer::timeout, this, [this] { finish(ExitOk); });
    m_levelTimer.setSingleShot(true);
    connect(&m_levelTimer, &QTimer::timeout, this, &CommandRunner::flushLevels);
}

CommandRunner::~CommandRunner()
{
    if (m_session)
        m_session->destroySession();
}

QString CommandRunner::stateName(IQEndpointClient::DEVICE_STATE state)
{
    const char *key = QMetaEnum::fromType<IQEndpointClient::DEVICE_STATE>().valueToKey(state);
    return key ? QString::fromLatin1(key) : QString::number(int(state));
}

QString CommandRunner::codecText() const
{
    return IPCObject::connectTarget(m_options.host, m_options.port);
}

QString CommandRunner::currentStateName() const
{
    return stateName(m_session ? m_session->state() : IQEndpointClient::DISCONNECTED);
}

int CommandRunner::timeoutMs() const
{
    return millis(m_options.timeoutSeconds);
}

QString CommandRunner::now()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

void CommandRunner::start()
{
    auto *session = new IPCObject(QUuid::createUuid(), m_manager);
    if (!session->registerEndpoint()) {
        delete session; // never registered: nothing of the manager refers to it
        finish(ExitError, QStringLiteral("the network manager refused the session"));
        return;
    }
    m_session = session;
    if (m_options.trace)
        session->set_trace(true);

    // The reasons come in order with the states: a failure before the state it leads to.
    connect(session, &IQEndpointClient::connectionFailed, this, &CommandRunner::onConnectionFailed);
    connect(session, &IQEndpointClient::frameRejected, this, &CommandRunner::onFrameRejected);
    connect(session, &IPCObject::changedState, this, &CommandRunner::onStateChanged);
    connect(session, &IPCObject::requestFailed, this, &CommandRunner::onRequestFailed);
    connect(session, &IPCObject::recvPeerList, this, &CommandRunner::onPeerList);
    connect(session, &IPCObject::deviceEvent, this, &CommandRunner::onDeviceEvent);
    connect(session, &IPCObject::recvAllLevels, this, &CommandRunner::onLevels);

    m_deadline.start(timeoutMs());
    session->setAddressAndConnect(m_options.host, m_options.port, m_options.password);
}

void CommandRunner::interrupt()
{
    if (m_finished)
        return;
    if (m_phase == Phase::Watching)
        finish(ExitOk);
    else
        finish(ExitError, QStringLiteral("interrupted"));
}

// ---------------------------------------------------------------------------
// Connection

void CommandRunner::onStateChanged(QUuid, IQEndpointClient::DEVICE_STATE state)
{
    if (m_finished)
        return;
    if (state == IQEndpointClient::CONNECTED)
        m_reachedConnected = true;
    if (m_phase == Phase::Watching)
        m_output.line(m_format.stateLine(now(), stateName(state)));

    switch (state) {
    case IQEndpointClient::READY:
        if (m_phase == Phase::Connecting) {
            m_deadline.stop();
            runCommand();
        }
        break;
    case IQEndpointClient::AUTH_FAILED:
        finish(ExitAuthFailed, QStringLiteral("%1 refused the login (wrong password)").arg(codecText()));
        break;
    case IQEndpointClient::DISCONNECTED:
        connectionLost(m_failure);
        break;
    default:
        break;
    }
}

void CommandRunner::onConnectionFailed(const QString &reason)
{
    m_failure = reason;
    // A refused login closes the connection too; its own state tells it apart.
    if (reason == QLatin1String("authentication failure"))
        return;
    // The session would try again in a few seconds; a command-line run ends here.
    connectionLost(reason);
}

void CommandRunner::connectionLost(const QString &reason)
{
    if (m_finished)
        return;
    QString why = reason.isEmpty() ? QStringLiteral("closed") : reason;
    if (why == QLatin1String("timed out"))
        why = QStringLiteral("timed out (the codec stopped answering)");
    else if (why == QLatin1String("remote disconnect") || why == QLatin1String("short read"))
        why = QStringLiteral("the codec closed the connection");
    if (m_phase == Phase::Connecting && !m_reachedConnected)
        finish(ExitError, QStringLiteral("cannot connect to %1: %2").arg(codecText(), why));
    else if (m_phase == Phase::Connecting)
        finish(ExitError, QStringLiteral("connection to %1 lost before it was ready: %2").arg(codecText(), why));
    else
        finish(ExitError, QStringLiteral("connection to %1 lost: %2").arg(codecText(), why));
}

void CommandRunner::onDeadline()
{
    if (m_finished)
        return;
    const QString seconds = QString::number(m_options.timeoutSeconds);
    if (m_phase == Phase::Connecting) {
        // Logged in but short of READY: name the records that never came.
        const QStringList missing = m_session && m_session->state() == IQEndpointClient::AUTHENTICATED
            ? m_session->requiredMessages()
            : QStringList();
        finish(ExitNotReady, QStringLiteral("%1 not ready within %2 s (state %3)%4")
                                 .arg(codecText(), seconds, currentStateName(),
                                      missing.isEmpty() ? QString()
                                                        : QStringLiteral("; still missing: %1")
                                                              .arg(missing.join(QStringLiteral(", ")))));
    } else if (m_phase == Phase::WaitingResult) {
        // Old firmware only logs a command it refuses: silence is all it says.
        const QString hint = m_session && !m_session->isVersioned()
            ? QStringLiteral(" (old firmware does not report refused commands)")
            : QString();
        finish(ExitError, QStringLiteral("%1 sent no peer list with the result of %2 within %3 s%4")
                              .arg(codecText(), commandName(m_options.command), seconds, hint));
    }
}

void CommandRunner::onRequestFailed(QUuid, const QString &key, const QString &code, const QString &text)
{
    if (m_finished || m_phase != Phase::WaitingResult)
        return;
    // Only the answers our own command can bring: connect and disconnect carry
    // no seq, the profile assignment before a connect carries its own.
    if (!key.isEmpty() && key != QLatin1String("setPeerSettings"))
        return;
    const QString reason = text.isEmpty() ? QStringLiteral("no reason given") : text;
    const int number = code.toInt();
    finish(number == 404 ? ExitUnknownId : ExitError, QStringLiteral("%1 refused %2: %3 (error %4)")
                                                          .arg(codecText(), commandName(m_options.command), reason)
                                                          .arg(number));
}

void CommandRunner::onFrameRejected(const QString &reason)
{
    if (m_finished)
        return;
    finish(ExitError, QStringLiteral("%1 sent a frame that is not a message (%2)").arg(codecText(), reason));
}

// ---------------------------------------------------------------------------
// Commands

void CommandRunner::runCommand()
{
    switch (m_options.command) {
    case Command::Status:
        printStatus();
        break;
    case Command::Peers:
        printPeers();
        break;
    case Command::Profiles:
        printProfiles();
        break;
    case Command::Get:
        printRecord();
        break;
    case Command::Connect:
        startConnect();
        break;
    case Command::Disconnect:
        startDisconnect();
        break;
    case Command::Watch:
        startWatch();
        break;
    }
}

QList<Connection> CommandRunner::activeConnections() const
{
    QList<Connection> list;
    if (!m_session)
        return list;
    for (const PeerMetaPtr &p : m_session->activePeers())
        list.append({p->id, p->name});
    return list;
}

void CommandRunner::printStatus()
{
    StatusInfo info;
    info.host = m_options.host;
    info.port = m_options.port;
    info.unitName = m_session->unitName();
    if (const std::shared_ptr<const Message> version = m_session->cachedShared(QStringLiteral("version")))
        info.firmware = get_field_qstring(*version, "version");
    info.protocolVersion = m_session->protocol_version();
    info.state = currentStateName();
    info.peers = m_session->allPeers().size();
    info.profiles = m_session->profiles().size();
    info.connections = activeConnections();
    m_output.lines(m_format.status(info));
    finish(ExitOk);
}

void CommandRunner::printPeers()
{
    QList<PeerRow> rows;
    for (const PeerMetaPtr &p : m_session->allPeers()) {
        PeerRow r;
        r.id = p->id;
        r.name = p->name;
        r.address = p->addr;
        if (p->directory)
            r.state = p->directory->state;
        else if (p->channel && !p->channel->state.isEmpty())
            r.state = p->channel->state;
        else
            r.state = p->chanState;
        r.active = p->active;
        r.profile = p->profile;
        rows.append(r);
    }
    m_output.lines(m_format.peers(rows));
    finish(ExitOk);
}

void CommandRunner::printProfiles()
{
    QList<ProfileRow> rows;
    for (const ProfileSummary &s : m_session->profiles())
        rows.append({s.id, s.name, s.factory, s.isDefault});
    m_output.lines(m_format.profiles(rows));
    finish(ExitOk);
}

void CommandRunner::printRecord()
{
    const std::shared_ptr<const Message> record = m_session->cachedShared(m_options.key);
    if (!record) {
        finish(ExitError, QStringLiteral("%1 holds no record \"%2\" (records are, for example, sysOptions, peerList, "
                                         "profileList, channelList, codecList, directoryServer, version)")
                              .arg(codecText(), m_options.key));
        return;
    }
    std::string xml;
    record->serialize(xml, Message::Xml, true);
    IPCProtocolXMLS::strip_declaration(xml);
    m_output.lines(m_format.record(m_options.key, QString::fromStdString(xml)));
    finish(ExitOk);
}

void CommandRunner::startConnect()
{
    QStringList peerIds;
    bool peerKnown = false;
    for (const PeerMetaPtr &p : m_session->allPeers()) {
        peerIds.append(p->id);
        peerKnown = peerKnown || p->id == m_options.peerId;
    }
    if (!peerKnown) {
        finish(ExitUnknownId, QStringLiteral("unknown peer id \"%1\" (peers: %2)").arg(m_options.peerId, idList(peerIds)));
        return;
    }
    QStringList profileIds;
    bool profileKnown = false;
    for (const ProfileSummary &s : m_session->profiles()) {
        profileIds.append(s.id);
        profileKnown = profileKnown || s.id == m_options.profileId;
    }
    if (!profileKnown) {
        finish(ExitUnknownId,
               QStringLiteral("unknown profile id \"%1\" (profiles: %2)").arg(m_options.profileId, idList(profileIds)));
        return;
    }
    m_phase = Phase::WaitingResult;
    m_deadline.start(timeoutMs());
    if (!m_session->connectPeer(m_options.peerId, m_options.profileId))
        finish(ExitUnknownId, QStringLiteral("unknown peer id \"%1\"").arg(m_options.peerId));
}

void CommandRunner::startDisconnect()
{
    if (!m_options.peerId.isEmpty()) {
        QStringList peerIds;
        bool known = false;
        for (const PeerMetaPtr &p : m_session->allPeers()) {
            peerIds.append(p->id);
            known = known || p->id == m_options.peerId;
        }
        bool numeric = false;
        const int id = m_options.peerId.toInt(&numeric);
        if (!known || !numeric) {
            finish(ExitUnknownId,
                   QStringLiteral("unknown peer id \"%1\" (peers: %2)").arg(m_options.peerId, idList(peerIds)));
            return;
        }
        m_phase = Phase::WaitingResult;
        m_deadline.start(timeoutMs());
        m_session->disconnectPeer(id);
    } else {
        m_phase = Phase::WaitingResult;
        m_deadline.start(timeoutMs());
        m_session->disconnectAll();
    }
}

bool CommandRunner::resultReached() const
{
    bool active = false;
    for (const PeerMetaPtr &p : m_session->activePeers())
        active = active || p->id == m_options.peerId;
    if (m_options.command == Command::Connect)
        return active;
    if (m_options.peerId.isEmpty())
        return m_session->activePeers().isEmpty();
    return !active;
}

void CommandRunner::onPeerList()
{
    if (m_finished || !m_session)
        return;
    if (m_phase == Phase::Watching) {
        m_output.line(m_format.peerListLine(now(), m_session->allPeers().size(), activeConnections()));
    } else if (m_phase == Phase::WaitingResult && resultReached()) {
        // The first list that shows the change: an earlier one may come from
        // the profile assignment that went before the connect.
        m_output.lines(m_format.connections(commandName(m_options.command), activeConnections()));
        finish(ExitOk);
    }
}

// ---------------------------------------------------------------------------
// watch

void CommandRunner::startWatch()
{
    m_phase = Phase::Watching;
    m_clock.start();
    m_output.line(m_format.stateLine(now(), currentStateName()));
    m_output.line(m_format.peerListLine(now(), m_session->allPeers().size(), activeConnections()));
    if (m_options.watchSeconds)
        m_watchEnd.start(millis(*m_options.watchSeconds));
}

void CommandRunner::onDeviceEvent(IPCObject *device, QV_EVENT event)
{
    if (m_finished || m_phase != Phase::Watching || !device)
        return;
    if (event != QV_EVENT_AUDIO_CONNECTION_STARTED && event != QV_EVENT_AUDIO_CONNECTION_ENDED)
        return;
    // The session logs the event's text just before it raises the event.
    const QList<LogLine> &lines = device->eventLog().lines();
    const QString text = lines.isEmpty() ? QString() : lines.first().text();
    m_output.line(m_format.audioLine(now(), event == QV_EVENT_AUDIO_CONNECTION_STARTED, text));
}

void CommandRunner::onLevels(float rmlf, float rmrf, float tmlf, float tmrf, float rmls, float rmrs, float tmls,
                             float tmrs)
{
    if (m_finished || m_phase != Phase::Watching)
        return;
    m_pendingLevels = {rmlf, rmrf, tmlf, tmrf, rmls, rmrs, tmls, tmrs};
    m_levelsPending = true;
    flushLevels();
}

void CommandRunner::flushLevels()
{
    if (m_finished || !m_levelsPending)
        return;
    const qint64 t = m_clock.elapsed();
    if (m_levelLimiter.tryTake(t)) {
        m_levelsPending = false;
        m_output.line(m_format.levelsLine(now(), m_pendingLevels));
        return;
    }
    // Held back: the newest values go out when the next line is allowed.
    if (!m_levelTimer.isActive())
        m_levelTimer.start(static_cast<int>(qMax<qint64>(1, m_levelLimiter.nextAllowedMs() - t)));
}

// ---------------------------------------------------------------------------

void CommandRunner::finish(int status, const QString &error)
{
    if (m_finished)
        return;
    m_finished = true;
    m_status = status;
    m_phase = Phase::Done;
    m_deadline.stop();
    m_watchEnd.stop();
    m_levelTimer.stop();
    if (!error.isEmpty()) {
        m_output.error(error);
        if (m_options.json)
            m_output.line(m_format.errorLine(error, status, currentStateName()));
    }
    if (m_session) {
        disconnect(m_session, nullptr, this, nullptr);
        m_session->destroySession();
        m_session = nullptr;
    }
    emit finished(status);
}

} // namespace qvctl
