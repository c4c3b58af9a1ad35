#pragma once

#include "common/sessionbinding.h"
#include "tabpanes.h"
#include "fleet/devicestatetext.h"
#include "iqendpointclient.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QUuid>

class ConnectionsTab;
class IPCObject;
class QLabel;
class QStackedWidget;
class QTabWidget;
class QWidget;
struct EnableFacts;
struct Enables;

/**
 * The details of the selected device: the header above the tabs and the six
 * tab panes. setSession() hands the device to every pane; the same device
 * again is a refresh, never a second set of connections. When the device
 * becomes ready the pane redraws once. The panes of the tabs after
 * "Connections" are built on first need (see TabPanes).
 */
class DetailsPane : public QObject
{
    Q_OBJECT

public:
    /** The widgets of the window's form that the pane drives. */
    struct Parts {
        QStackedWidget *stack = nullptr; ///< page 0: nothing selected; page 1: the device
        QLabel *header = nullptr;
        ConnectionsTab *connections = nullptr;
        /** The tab widget and the other tabs' pages; the "Weftline" and "Meters" tabs follow the device. */
        TabPanes::Pages pages;
    };

    explicit DetailsPane(const Parts &parts, QObject *parent = nullptr);

    /** Shows @p session (or none) in the header and every tab pane. */
    void setSession(IPCObject *session);
    /** The device shown, or null. */
    IPCObject *session() const { return m_binding.session(); }
    const Parts &parts() const { return m_parts; }
    /** The panes of the tabs after "Connections". */
    TabPanes &panes() { return m_panes; }

    /** What the enabling rules read about the shown device and the selection in its lists. */
    EnableFacts facts() const;
    /** The tab panes' share of @p enables: lists, buttons, log, settings, table and tabs. */
    void applyEnables(const Enables &enables);

    /**
     * The colour the "Weftline" tab's text takes for a tunnel status ("red",
     * "yellow", "green"); invalid (the palette's) for "gray", no tunnel.
     */
    static QColor weftlineTabColour(const QString &status);

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
    void showWeftlineStatus(const QString &status);

    Parts m_parts;
    TabPanes m_panes;
    SessionBinding m_binding;
    ShownState m_shown;
    QString m_stateText;
};
