#pragma once

#include "iqendpointclient.h"
#include "qtmessage.h"
#include "settingsmodel.h"

#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUuid>
#include <QWidget>

class IPCObject;
class QTreeWidgetItem;

namespace Ui {
class SettingsEdit;
}

/**
 * The "Settings" pane: the selected codec's system, channel, directory-server
 * and tunnel settings in one tree, edited in working copies and saved back
 * group by group. The pane reads the bound session; what it saves leaves as
 * saveRequested(), one complete request each (see sendUpdatedSettings()).
 */
class SettingsEdit : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsEdit(QWidget *parent = nullptr);
    ~SettingsEdit() override;

    /**
     * Shows @p session's settings (null: none). The same session again only
     * refreshes; its signals are never connected twice.
     */
    void setSession(IPCObject *session);
    IPCObject *session() const;
    SettingsModel &model() { return m_model; }

signals:
    /** One request of "Save Changes", complete with its name and "seq". */
    void saveRequested(const Message &request);

public slots:
    void populate_all(bool minimize = false);
    void populate_system();
    void changeSelection();
    void saveClicked();
    void resetClicked();
    void advanceToggle(bool checked);

    void peerlistUpdated(QUuid uuid);
    void sysOptionsUpdated(QUuid uuid);
    void systemOptsUpdated();
    void channelOptionsUpdated(QUuid uuid);
    void channelListUpdated(QUuid uuid);
    void directoryServerUpdated(QUuid uuid);
    void weftlineUpdated(QUuid uuid);
    void statechange(QUuid uuid, IQEndpointClient::DEVICE_STATE state);
    /** The codec answered a tunnel save ("setWeftlineOptions"). */
    void weftlineSettingsChanged();
    /** A refused tunnel save: the group goes back to what the codec described. */
    void requestRefused(QUuid uuid, const QString &key);

private:
    void load();
    void refresh();
    bool ready() const;
    void valueEdited(const QString &value);
    void showChanges();
    QTreeWidgetItem *itemFor(const QString &key) const;

    Ui::SettingsEdit *m_ui;
    QPointer<IPCObject> m_session;
    QList<QMetaObject::Connection> m_connections;
    SettingsModel m_model;
    QString m_selectedKey;
    QSet<QString> m_collapsed; // group titles the operator closed
    bool m_populating = false;
};
