#pragma once

#include "alerts/alertswitches.h"
#include "configfile.h"

#include <QObject>
#include <QPointer>

#include <functional>

class DeviceLoader;
class QWidget;
class TorvikSummary;

/**
 * The window's side of "pn-config.xml": loading applies the file to the
 * window (geometry, alert switches, the mail server) and the summary (the
 * stored device); saving gathers them again. A file that cannot be read or
 * written is reported in the "Load Configuration" or "Save Configuration" box.
 */
class ConfigurationStore : public QObject
{
    Q_OBJECT

public:
    /** What the store asks of its window. */
    struct Hooks {
        std::function<AlertSwitches()> switches;               ///< the window's alert switches
        std::function<void(const AlertSwitches &)> setSwitches; ///< sets them and the actions showing them
        std::function<MailServerSettings()> mail;              ///< the server alert e-mails go through
        std::function<void(const MailServerSettings &)> setMail;
    };

    ConfigurationStore(QWidget *window, TorvikSummary &summary, DeviceLoader &loader, Hooks hooks,
                       QObject *parent = nullptr);

    /** The configuration file's path (in the application data folder). */
    static QString path();

    /** Loads the file; whether it existed. A file that cannot be loaded leaves everything as it is. */
    bool load();
    /** Writes what the window holds now; false (after the warning box) when it could not. */
    bool save();
    /** What save() writes now. */
    ConfigSettings current() const;

signals:
    /** The file was written. */
    void saved();

private:
    void apply(const ConfigWindow &window);

    QPointer<QWidget> m_window;
    TorvikSummary &m_summary;
    DeviceLoader &m_loader;
    Hooks m_hooks;
};
