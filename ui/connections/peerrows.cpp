#include "peerrows.h"

bool PeerRow::operator==(const PeerRow &o) const
{
    return id == o.id && directory == o.directory && active == o.active && profile == o.profile && texts == o.texts
           && mark == o.mark;
}

namespace PeerRows {

bool isIncoming(const QString &id)
{
    return id.contains(QLatin1Char('-'));
}

namespace {

// A live call's state first; a directory entry otherwise shows what the
// directory server says of it.
QString stateText(const PeerMeta &p)
{
    if (!p.chanState.isEmpty())
        return p.chanState;
    if (p.channel && !p.channel->state.isEmpty())
        return p.channel->state;
    if (p.directory)
        return p.directory->state;
    return QString();
}

PeerRow::Mark mark(const PeerMeta &p)
{
    if (p.active)
        return PeerRow::Mark::Active;
    if (p.directory)
        return p.directory->online ? PeerRow::Mark::DirectoryOnline : PeerRow::Mark::DirectoryOffline;
    return PeerRow::Mark::Idle;
}

} // namespace

PeerRow row(const PeerMeta &p)
{
    PeerRow r;
    r.id = p.id;
    r.directory = p.directory.has_value();
    r.active = p.active;
    r.profile = QString::number(p.profile);
    r.texts = QStringList{
        p.name,
        isIncoming(p.id) ? QStringLiteral("(incoming)") : p.host,
        stateText(p),
        p.channel ? p.channel->rxCodec : QString(),
        p.weftline ? QStringLiteral("Yes") : QStringLiteral("No"),
    };
    r.mark = mark(p);
    return r;
}

QVector<PeerRow> rows(const QList<PeerMetaPtr> &peers)
{
    QVector<PeerRow> out;
    out.reserve(peers.size());
    for (const PeerMetaPtr &p : peers) {
        if (p)
            out.append(row(*p));
    }
    return out;
}

} // namespace PeerRows
