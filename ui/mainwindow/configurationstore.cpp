#include "configurationstore.h"

#include "appfolder.h"
#include "fleet/deviceloader.h"
#include "fleet/torviksummary.h"
#include "ipcobject.h"

#include <QMessageBox>
#include <QWidget>

ConfigurationStore::ConfigurationStore(QWidget *window, TorvikSummary &summary, DeviceLoader &loader, Hooks hooks,
                                       QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_summary(summary)
    , m_loader(loader)
    , m_hooks(std::move(hooks))
{
}

QString ConfigurationStore::path()
{
    return AppFolder::configFilePath();
}

bool ConfigurationStore::load()
{
    const ConfigFile::LoadResult result = ConfigFile::load(path());
    switch (result.status) {
    case ConfigFile::LoadStatus::Missing:
        return false;
    case ConfigFile::LoadStatus::Failed:
        // The program starts empty; an unparsable file is kept aside.
        QMessageBox::warning(&m_summary, QStringLiteral("Load Configuration"),
                             QStringLiteral("Error loading configuration: ") + result.error, QMessageBox::Ok);
        return true;
    case ConfigFile::LoadStatus::Loaded:
        break;
    }
    const ConfigSettings &settings = result.settings;
    if (settings.window)
        apply(*settings.window);
    if (m_hooks.setMail)
        m_hooks.setMail(settings.mail);
    if (settings.remote)
        m_loader.loadStored(*settings.remote);
    return true;
}

void ConfigurationStore::apply(const ConfigWindow &window)
{
    if (m_window) {
        m_window->move(window.position);
        if (window.size)
            m_window->resize(*window.size);
    }
    AlertSwitches switches = m_hooks.switches();
    switches.connectionAlerts = window.connectionAlerts;
    switches.defaultSounds = window.defaultSounds;
    switches.alertEmails = window.alertEmails;
    m_hooks.setSwitches(switches);
}

ConfigSettings ConfigurationStore::current() const
{
    ConfigSettings settings;
    ConfigWindow window;
    if (m_window) {
        window.position = m_window->pos();
        window.size = m_window->size();
    }
    const AlertSwitches switches = m_hooks.switches();
    window.connectionAlerts = switches.connectionAlerts;
    window.defaultSounds = switches.defaultSounds;
    window.alertEmails = switches.alertEmails;
    settings.window = window;

    if (IPCObject *session = m_summary.firstSession()) {
        ConfigRemote remote;
        remote.address = session->address();
        remote.port = session->port();
        remote.password = QString::fromStdString(session->password());
        remote.metering = session->meteringEnabled();
        remote.alertSounds = session->alertSounds();
        remote.emailAddresses = session->emailAddresses();
        settings.remote = remote;
    }
    if (m_hooks.mail)
        settings.mail = m_hooks.mail();
    return settings;
}

bool ConfigurationStore::save()
{
    // The folder made at start-up may have gone since.
    AppFolder::ensureFolder();
    const QString error = ConfigFile::save(path(), current());
    if (!error.isEmpty()) {
        QMessageBox::warning(&m_summary, QStringLiteral("Save Configuration"),
                             QStringLiteral("Error saving configuration: ") + error, QMessageBox::Ok);
        return false;
    }
    emit saved();
    return true;
}
