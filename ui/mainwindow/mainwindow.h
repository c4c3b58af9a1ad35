#pragma once

#include "alerts/alertswitches.h"
#include "connections/selection.h"
#include "devicelog.h"
#include "iqendpointclient.h"

#include <QMainWindow>
#include <QUuid>

class AddDevice;
class ConfigurationStore;
class ConnectionActions;
class ConnectionsTab;
class DetailsPane;
class DeviceLoader;
class IPCObject;
class Message;
class PasswordPrompt;
class PeerActions;
class ProfileActions;
class ProfileEdit;
class QAbstractButton;
class QPushButton;
class SessionTable;
class TorvikSummary;
class WindowAlerts;
struct DeviceActions;
struct EnableFacts;
struct Enables;

namespace Ui {
class MainWindow;
}

/**
 * The program's one top-level window: the managed codec's details pane, the
 * menus and the routing of their actions to the panes and action owners
 * that carry them out. It shows one device at a time; "Load Codec
 * Instance..." replaces it. The fleet structure underneath (the session
 * table, the summary and its selection) stays in place for the fleet views.
 */
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    /** When the panes of the tabs after "Connections" are built (see TabPanes). */
    enum class TabPaneBuild {
        WithWindow,     ///< in the constructor
        AfterFirstPaint ///< once the window has been painted, or earlier when first needed
    };

    explicit MainWindow(QWidget *parent = nullptr, TabPaneBuild panes = TabPaneBuild::WithWindow);
    ~MainWindow() override;

    /** The one window of the program (null before it exists and after it is gone). */
    static MainWindow *instance();

    /**
     * Loads the configuration file into the window (device, geometry, alert
     * switches, mail server). Returns whether the file existed; a file that
     * cannot be read is reported in a "Load Configuration" box and the
     * window starts empty.
     */
    bool loadConfiguration();
    /** The configuration file's side of the window. */
    ConfigurationStore &configuration() const { return *m_config; }

    /** "Play Connection Alerts", "Enable the Default Alert Sounds", "Enable Alert Emails". */
    const AlertSwitches &alertSwitches() const;
    /** Sets the switches and the checked state of their actions, without saving. */
    void setAlertSwitches(const AlertSwitches &switches);
    /** The alert handler, its mailer and the alert dialogs. */
    WindowAlerts &alerts() const { return *m_alerts; }

    /** The device the details pane shows, or null. */
    IPCObject *selectedDevice() const;
    /** Every managed device session, by uuid. */
    SessionTable &sessions() const { return *m_sessions; }
    /** The tiles and summary rows of the managed devices. */
    TorvikSummary &summary() const { return *m_summary; }
    /** The details of the selected device and its tab panes. */
    DetailsPane &details() const { return *m_details; }

    /**
     * What an accepted "Load Codec Instance..." dialog does: replaces the
     * managed device by a new session for the dialog's address and port,
     * selects it and connects it with the default password. Returns the new
     * session (null if it could not be registered).
     */
    IPCObject *addDeviceFrom(const AddDevice &dialog);

    /**
     * Asks for the password of the device @p uuid and, when given, stores it
     * and reconnects. @p parent is the calling widget.
     */
    void askForPassword(QUuid uuid, QWidget *parent);

    // Handlers whose on_ names would make setupUi() connect them a second
    // time by name if they were slots; they are connected in the wiring block.
    void on_connectButton_clicked();
    void on_disconnectButton_clicked();
    void on_actionConfigDir_triggered();
    void on_actionConfigure_triggered();
    void on_actionShowNetStats_triggered();

public slots:
    /** Stores the managed device, geometry and alert settings; a failure is reported in a "Save Configuration" box. */
    void saveConfiguration();
    /** Enables, disables, shows and hides the actions and panes for the current selection. */
    void handleAllEnables();
    /** Closes the window, which ends the event loop. */
    void exit();

    // Devices
    void addDeviceTriggered();
    /** The "Load Codec Instance..." button: the same as addDeviceTriggered(). */
    void handleCCConnectTo(bool checked);
    void showPasswordDialog();
    /** Makes @p session (or none) the device of the details pane. */
    void activeInstanceSelected(IPCObject *session);
    void removeInstance();
    void selectedWidgetChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state);
    void reconnectDevice();
    void copyNodeId();
    void enableMetering();
    void disableMetering();
    void doDisconnectAllFleet();

    // Address book, profiles and connections
    void addNewPeer();
    void editPeer();
    void removePeer();
    void sendPeerTriggered();
    void assignDefaultProfileTriggered();
    void assignProfileTriggered();
    void copyProfile();
    void editProfile();
    void removeProfile();
    void setDefaultProfileTriggered();
    void sendProfileTriggered();
    void showConnectDialog();
    void doDisconnectAll();
    void actionDisconnectStatTableTriggered();

    /** A save of the settings editor, for the selected device (all four request names). */
    void sendUpdatedSettings(const Message &m);

    // Alerts
    void soundToggle();
    void actionAllowDefaultAlertsTriggered();
    void emailEnableTriggered();
    void setSoundsTriggered();
    void assignEmailAddressesTriggered();
    void manageEmailAddressesTriggered();
    void mailServerTriggered();

    // Context menus
    void showPeerlistContextMenu(const QPoint &pos);
    void showProfilelistContextMenu(const QPoint &pos);
    void showMeterContextMenu(const QPoint &pos);
    void showStatsTableContextMenu(const QPoint &pos);

    // Help
    void showAbout();
    void showHelp();
    void nick();

    // Log tab
    void logAppend(const LogLine &line);
    void handleLogButtonPress(QAbstractButton *button);
    void resetLog();
    void saveLog();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void wireActions();
    void wireViews();
    void wireTabPanes();
    ProfileEdit &profileEditor();
    void applySingleInstancePresentation();
    DeviceActions deviceActions() const;
    void showHeaderContextMenu(const QPoint &pos);
    void setMetering(bool on);
    void saveOnClose();
    EnableFacts currentFacts() const;
    void applyEnables(const Enables &enables);
    ConnectionsTab *connections() const;
    SelectedPeer peer() const;
    SelectedProfile profile() const;

    Ui::MainWindow *m_ui;
    SessionTable *m_sessions;
    DetailsPane *m_details;
    PasswordPrompt *m_passwords;
    DeviceLoader *m_loader;
    TorvikSummary *m_summary;
    WindowAlerts *m_alerts;
    ConfigurationStore *m_config;
    PeerActions *m_peerActions;
    ProfileActions *m_profileActions;
    ConnectionActions *m_connectionActions;
    ProfileEdit *m_profileEdit = nullptr;
    QPushButton *m_loadCodecButton = nullptr;
    bool m_savedOnClose = false;
};
