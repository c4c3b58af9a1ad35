#pragma once

#include "common/sessionbinding.h"
#include "iqendpointclient.h"

#include <QObject>
#include <QString>
#include <QUuid>

class IPCObject;
class LogTab;
class MeterPane;
class QLabel;
class QStackedWidget;
class StatsTab;
class StatusPanel;

/**
 * The details of the selected device: the header above the tabs and the tab
 * panes. setSession() hands the device to every pane; the same device again
 * is a refresh, never a second set of connections. When the device becomes
 * ready the pane redraws once.
 */
class DetailsPane : public QObject
{
    Q_OBJECT

public:
    /** The widgets of the window's form that the pane drives. */
    struct Parts {
        QStackedWidget *stack = nullptr; ///< page 0: nothing selected; page 1: the device
        QLabel *header = nullptr;
        StatusPanel *status = nullptr;
        LogTab *log = nullptr;
        StatsTab *stats = nullptr;
        MeterPane *meters = nullptr;
    };

    explicit DetailsPane(const Parts &parts, QObject *parent = nullptr);

    /** Shows @p session (or none) in the header and every tab pane. */
    void setSession(IPCObject *session);
    /** The device shown, or null. */
    IPCObject *session() const { return m_binding.session(); }

public slots:
    /** The shown device is now in @p state: header words, and a redraw when it became ready. */
    void showState(IQEndpointClient::DEVICE_STATE state);

signals:
    /** Everything the pane shows was redrawn from the device. */
    void refreshed();
    /** The shown device's state or connections changed, so may what the window enables. */
    void conditionsChanged();

private:
    void peerListReceived();
    void refreshHeader();

    Parts m_parts;
    SessionBinding m_binding;
    QString m_stateText;
};
