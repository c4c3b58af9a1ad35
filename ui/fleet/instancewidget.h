#pragma once

#include "common/deviceactions.h"
#include "devicestatetext.h"
#include "iqendpointclient.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

class IPCObject;
class MiniMeter;
class PasswordPrompt;
class QLabel;
class QMenu;

/**
 * The card of one managed device in the summary: its name, state in words
 * and as an icon, what it is connected to, and a four-bar mini meter. A
 * click (or its context menu) selects it; a refused password is asked for
 * again from here.
 */
class InstanceWidget : public QWidget
{
    Q_OBJECT

public:
    /** The tile's look while the device is fully there, and otherwise. */
    static const char *const ActiveStyle;
    static const char *const InactiveStyle;

    enum class Icon { None, GreenCheck, RedCross, YellowArrow, Alert };
    /** The status icon's style sheet for @p icon (empty for None). */
    static QString iconStyle(Icon icon);

    /**
     * A tile for @p session (may be null) with the summary's key @p tileUuid.
     * The name shows the session's address until its unit name is known.
     */
    InstanceWidget(QWidget *parent, IPCObject *session, const QUuid &tileUuid);

    /**
     * Follows @p session from now on. Throws std::logic_error when a session
     * is attached already and std::invalid_argument for a null one.
     */
    void attachIPC(IPCObject *session);

    IPCObject *session() const;
    QUuid tileUuid() const { return m_uuid; }
    bool isSelected() const { return m_selected; }
    /** Whether the device was not ready when the tile was last selected. */
    bool isNotReady() const { return m_notReady; }
    bool isActiveStyle() const { return m_active; }
    Icon icon() const { return m_icon; }
    MiniMeter *miniMeter() const { return m_meter; }

    /** What the context menu offers (owned by the window). */
    void setDeviceActions(const DeviceActions &actions) { m_actions = actions; }
    /** Where a refused password is asked for again; none: not asked. */
    void setPasswordPrompt(PasswordPrompt *prompt);

    /** Selects the tile as a click does: repaints and emits selected(). */
    void select();
    /** Clears the selection mark (the summary chose another tile). */
    void deselect();

    /** The device's menu for its current state, with its separators. */
    void fillContextMenu(QMenu *menu) const;

signals:
    void selected(QUuid tileUuid);

public slots:
    void doUpdate();
    void ipcChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state);
    void ipcRecvSysOptions(QUuid uuid);
    void ipcRecvPeerList(QUuid uuid);
    void ipcNewChanState(QUuid uuid, QString chanState);
    void ipcRecvVersion(QUuid uuid);
    void showContextMenu(const QPoint &pos);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void setActive(bool active);
    void setIcon(Icon icon);
    void refreshConnectionCount();
    void askForPassword(QUuid uuid);

    QPointer<IPCObject> m_session;
    QUuid m_uuid;
    bool m_selected = false;
    bool m_notReady = true;
    bool m_active = false;
    Icon m_icon = Icon::None;
    ShownState m_shown;
    DeviceActions m_actions;
    QPointer<PasswordPrompt> m_prompt;

    QLabel *m_name;
    QLabel *m_connection;
    QWidget *m_statusIcon;
    QLabel *m_state;
    MiniMeter *m_meter;
};
