#include "windowalerts.h"

#include "alertflows.h"
#include "alertmailer.h"
#include "deviceeventhandler.h"
#include "ipcobject.h"
#include "sessiontable.h"

#include <QAction>
#include <QSignalBlocker>

WindowAlerts::WindowAlerts(SessionTable &sessions, const Actions &actions, Save save, QObject *parent)
    : QObject(parent)
    , m_sessions(sessions)
    , m_actions(actions)
    , m_save(std::move(save))
    , m_mailer(new AlertMailer(this))
    , m_events(new DeviceEventHandler(nullptr, this))
{
    m_events->setMailer(m_mailer);
    connect(m_mailer, &AlertMailer::mailFailed, this,
            [this](const QString &to, const QString &, const QString &error) {
                emit mailFailed(QStringLiteral("Alert e-mail to %1 failed: %2").arg(to, error));
            });
    connect(&m_sessions, &SessionTable::sessionAdded, this, &WindowAlerts::sessionAdded);
    for (IPCObject *session : m_sessions.sessions())
        sessionAdded(session->uuid());
    showSwitches();
}

WindowAlerts::~WindowAlerts() = default;

void WindowAlerts::sessionAdded(QUuid uuid)
{
    if (IPCObject *session = m_sessions.session(uuid))
        connect(session, &IPCObject::deviceEvent, m_events, &DeviceEventHandler::handleEvent, Qt::UniqueConnection);
}

void WindowAlerts::setSwitches(const AlertSwitches &switches)
{
    m_switches = switches;
    showSwitches();
}

void WindowAlerts::showSwitches()
{
    // Quietly: a loaded configuration is not saved back while it loads.
    const QSignalBlocker a(m_actions.connectionAlerts);
    const QSignalBlocker b(m_actions.defaultSounds);
    const QSignalBlocker c(m_actions.alertEmails);
    m_actions.connectionAlerts->setChecked(m_switches.connectionAlerts);
    m_actions.defaultSounds->setChecked(m_switches.defaultSounds);
    m_actions.alertEmails->setChecked(m_switches.alertEmails);
    // The built-in sounds only matter while alerts play at all.
    m_actions.defaultSounds->setEnabled(m_switches.connectionAlerts);
    m_events->setSwitches(m_switches);
}

void WindowAlerts::actionsChanged()
{
    AlertSwitches switches;
    switches.connectionAlerts = m_actions.connectionAlerts->isChecked();
    switches.defaultSounds = m_actions.defaultSounds->isChecked();
    switches.alertEmails = m_actions.alertEmails->isChecked();
    if (switches == m_switches)
        return;
    setSwitches(switches);
    if (m_save)
        m_save();
}

void WindowAlerts::setMailServer(const MailServerSettings &mail)
{
    m_mail = mail;
    m_mailer->setServer(mail);
}

void WindowAlerts::setSoundPlayer(SoundPlayer *player)
{
    m_events->setPlayer(player);
}

bool WindowAlerts::chooseSounds(IPCObject *device, QWidget *parent)
{
    return AlertFlows::chooseSounds(device, parent, m_events->soundFiles(), m_save);
}

bool WindowAlerts::assignEmailAddresses(QWidget *parent)
{
    return AlertFlows::assignEmailAddresses(m_sessions.sessions(), parent, m_save);
}

bool WindowAlerts::manageEmailAddresses(IPCObject *device, QWidget *parent)
{
    return AlertFlows::manageEmailAddresses(device, parent, m_save);
}

bool WindowAlerts::editMailServer(QWidget *parent)
{
    return AlertFlows::editMailServer(m_mail, m_mailer, parent, m_save);
}
