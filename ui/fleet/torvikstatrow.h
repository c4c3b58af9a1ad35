#pragma once

#include "devicestatetext.h"
#include "iqendpointclient.h"

#include <QObject>
#include <QPointer>
#include <QUuid>

class IPCObject;
class MiniMeter;
class QTreeWidgetItem;

/**
 * One device's row in the summary tree: name, address, state, connections,
 * an optional mini meter, and the receiving connection's frame loss,
 * latency and duration. Follows its own session's signals.
 */
class TorvikStatRow : public QObject
{
    Q_OBJECT

public:
    enum Column { Name, Address, Status, Connections, Levels, FrameLoss, Latency, Duration, ColumnCount };

    TorvikStatRow(IPCObject *session, const QUuid &tileUuid, QObject *parent = nullptr);
    /** Takes the item out of its tree and deletes it. */
    ~TorvikStatRow() override;

    QTreeWidgetItem *item() const { return m_item; }
    IPCObject *session() const;
    QUuid tileUuid() const { return m_uuid; }
    /** The mini meter in the Levels column, or null. */
    MiniMeter *meter() const;

    /** Puts a mini meter fed by the session's levels into the Levels column (the item is in a tree). */
    void showMeter();
    /** Takes the mini meter out of the Levels column. */
    void hideMeter();

public slots:
    void ipcRecvSysOptions(QUuid uuid);
    void ipcChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state);
    void ipcRecvPeerList(QUuid uuid);
    void updateStats(QUuid uuid);
    void meterDestroyed();

private:
    QPointer<IPCObject> m_session;
    QTreeWidgetItem *m_item;
    QUuid m_uuid;
    QPointer<MiniMeter> m_meter;
    ShownState m_shown;
};
