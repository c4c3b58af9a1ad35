#include "alertmail.h"

#include "ipcobject.h"

#include <QLocale>

namespace {

// The texts the session logs just before it raises an audio event.
const QLatin1String StartedPrefix("Audio connection started. Active peers:");
const QLatin1String EndedPrefix("Audio connection ended. Disconnected peers:");

/** Codec names come from the network: one line, of a sane length. */
QString oneLine(const QString &text, int maxLength = 120)
{
    QString out = text.simplified();
    if (out.size() > maxLength)
        out = out.left(maxLength - 3) + QStringLiteral("...");
    return out;
}

} // namespace

AlertMailFacts AlertMailFacts::of(IPCObject *device, QV_EVENT event, const QDateTime &time)
{
    AlertMailFacts facts;
    facts.codecAddress = IPCObject::connectTarget(device->address(), device->port());
    const QString unit = device->unitName();
    facts.codecName = unit.isEmpty() || unit == QLatin1String("unknown") ? facts.codecAddress : unit;
    facts.event = event;
    facts.time = time;
    for (const PeerMetaPtr &peer : device->activePeers())
        facts.activePeers << peer->name;

    const QLatin1String prefix = event == QV_EVENT_AUDIO_CONNECTION_STARTED ? StartedPrefix
                               : event == QV_EVENT_AUDIO_CONNECTION_ENDED   ? EndedPrefix
                                                                            : QLatin1String();
    const QList<LogLine> &lines = device->eventLog().lines();
    if (prefix.size() > 0 && !lines.isEmpty()) {
        const QString &text = lines.first().text();
        const int at = text.indexOf(prefix);
        if (at >= 0)
            facts.changedPeers = text.mid(at + prefix.size()).trimmed();
    }
    return facts;
}

QString AlertMail::eventText(QV_EVENT event)
{
    switch (event) {
    case QV_EVENT_AUDIO_CONNECTION_STARTED:
        return QStringLiteral("audio connection started");
    case QV_EVENT_AUDIO_CONNECTION_ENDED:
        return QStringLiteral("audio connection ended");
    case QV_EVENT_DEVICE_ONLINE:
        return QStringLiteral("codec online");
    case QV_EVENT_DEVICE_OFFLINE:
        return QStringLiteral("codec lost");
    }
    return QStringLiteral("event %1").arg(int(event));
}

AlertMail AlertMail::compose(const AlertMailFacts &facts)
{
    const QString name = oneLine(facts.codecName);
    const QString what = eventText(facts.event);
    AlertMail mail;
    mail.subject = QStringLiteral("[Quorvane] %1: %2").arg(name, what);

    QStringList lines;
    lines << QStringLiteral("Time:    %1").arg(QLocale::c().toString(facts.time, QStringLiteral("yyyy-MM-dd HH:mm:ss t")));
    lines << QStringLiteral("Codec:   %1 (%2)").arg(name, oneLine(facts.codecAddress));
    lines << QStringLiteral("Event:   %1").arg(what);
    if (facts.event == QV_EVENT_AUDIO_CONNECTION_STARTED)
        lines << QStringLiteral("Started: %1").arg(oneLine(facts.changedPeers, 400));
    else if (facts.event == QV_EVENT_AUDIO_CONNECTION_ENDED)
        lines << QStringLiteral("Ended:   %1").arg(oneLine(facts.changedPeers, 400));

    QStringList peers;
    for (const QString &peer : facts.activePeers)
        peers << oneLine(peer);
    const QString peerText = peers.isEmpty() ? QStringLiteral("none") : peers.join(QStringLiteral(", "));
    if (facts.event == QV_EVENT_DEVICE_OFFLINE)
        lines << QStringLiteral("Peers in a call when last heard: %1").arg(peerText);
    else
        lines << QStringLiteral("Peers in a call: %1").arg(peerText);

    if (facts.heldBack > 0) {
        lines << QString();
        lines << QStringLiteral("%1 more \"%2\" %3 of this codec %4 held back since the last mail "
                                "(at most one mail per codec and kind of event per minute).")
                     .arg(facts.heldBack)
                     .arg(what, facts.heldBack == 1 ? QStringLiteral("alert") : QStringLiteral("alerts"),
                          facts.heldBack == 1 ? QStringLiteral("was") : QStringLiteral("were"));
    }
    lines << QString();
    lines << QStringLiteral("-- ");
    lines << QStringLiteral("Sent by Quorvane because alert e-mails are enabled for this codec.");
    mail.body = lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return mail;
}
