#pragma once

#include "peermeta.h"

#include <QList>
#include <QStringList>
#include <QVector>

/**
 * What one row of the peer tree shows and carries, built from a peer record
 * without any widget: the five column texts, the item data and how the row
 * is drawn.
 */
struct PeerRow {
    /** The mark in the "Name" column. */
    enum class Mark { Idle, Active, DirectoryOnline, DirectoryOffline };

    QString id;
    bool directory = false;
    bool active = false;
    QString profile;     ///< assigned profile id as text
    QStringList texts;   ///< "Name", "Address", "Current State", "RX Codec", "Outbound Weftline"
    Mark mark = Mark::Idle;

    bool operator==(const PeerRow &o) const;
};

namespace PeerRows {

constexpr int ColumnCount = 5;

/** An id with a "-" is an incoming connection, not a stored entry. */
bool isIncoming(const QString &id);
/** The row of one peer record. */
PeerRow row(const PeerMeta &peer);
/** One row per record, in the order of the session's list. */
QVector<PeerRow> rows(const QList<PeerMetaPtr> &peers);

} // namespace PeerRows
