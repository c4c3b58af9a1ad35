#pragma once

#include "alerts/alertswitches.h"
#include "devicelog.h"
#include "iqendpointclient.h"

#include <QMainWindow>
#include <QUuid>

class AddDevice;
class ConfigurationStore;
class DetailsPane;
class DeviceLoader;
class IPCObject;
class PasswordPrompt;
class QAbstractButton;
class QPushButton;
class SessionTable;
class TorvikSummary;
struct DeviceActions;
struct EnableFacts;
struct Enables;

namespace Ui {
class MainWindow;
}

/**
 * The program's one top-level window: the managed codec's details pane, the
 * menus and the routing of their actions. It shows one device at a time;
 * "Load Codec Instance..." replaces it. The fleet structure underneath (the
 * session table, the selected device) stays in place for the fleet views.
 */
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    /** The one window of the program (null before it exists and after it is gone). */
    static MainWindow *instance();

    /**
     * Loads the configuration file into the window (device, geometry, alert
     * switches). Returns whether the file existed; a file that cannot be read
     * is reported in a "Load Configuration" box and the window starts empty.
     */
    bool loadConfiguration();
    /** The configuration file's side of the window (mail server settings included). */
    ConfigurationStore &configuration() const { return *m_config; }

    /** "Play Connection Alerts", "Enable the Default Alert Sounds", "Enable Alert Emails". */
    const AlertSwitches &alertSwitches() const { return m_alertSwitches; }
    /** Sets the switches and the checked state of their actions. */
    void setAlertSwitches(const AlertSwitches &switches);

    /** The device the details pane shows, or null. */
    IPCObject *selectedDevice() const;
    /** Every managed device session, by uuid. */
    SessionTable &sessions() const { return *m_sessions; }
    /** The tiles and summary rows of the managed devices. */
    TorvikSummary &summary() const { return *m_summary; }

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

public slots:
    /**
     * Stores the managed device, geometry and alert switches; a failure is
     * reported in a "Save Configuration" box.
     */
    void saveConfiguration();
    /** Enables and disables the actions for the current selection. */
    void handleAllEnables();
    /** Closes the window, which ends the event loop. */
    void exit();

    /** Runs the add-device dialog and, when accepted, manages the new device. */
    void addDeviceTriggered();
    /** The "Load Codec Instance..." button: the same as addDeviceTriggered(). */
    void handleCCConnectTo(bool checked);
    /** "Input Password...": the password prompt for the selected device. */
    void showPasswordDialog();

    /** Makes @p session (or none) the device of the details pane. */
    void activeInstanceSelected(IPCObject *session);
    /** "Disconnect from Codec Instance": removes the selected device. */
    void removeInstance();
    void selectedWidgetChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state);

    void logAppend(const LogLine &line);
    void handleLogButtonPress(QAbstractButton *button);
    /** "Reset": empties the selected device's log and the view. */
    void resetLog();
    /** "Save": writes the log view's text to a file the user chooses. */
    void saveLog();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void disableUnbuiltActions();
    DeviceActions deviceActions() const;
    void saveOnClose();
    void applySingleInstancePresentation();
    void showHeaderContextMenu(const QPoint &pos);
    EnableFacts currentFacts() const;
    void applyEnables(const Enables &enables);

    Ui::MainWindow *m_ui;
    SessionTable *m_sessions;
    DetailsPane *m_details;
    PasswordPrompt *m_passwords;
    DeviceLoader *m_loader;
    TorvikSummary *m_summary;
    ConfigurationStore *m_config;
    QPushButton *m_loadCodecButton = nullptr;
    AlertSwitches m_alertSwitches;
    bool m_savedOnClose = false;
};
