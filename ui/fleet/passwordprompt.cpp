#include "passwordprompt.h"

#include "ipcobject.h"
#include "sessiontable.h"
#include "unitpassword.h"

PasswordPrompt::PasswordPrompt(SessionTable &sessions, QObject *parent)
    : QObject(parent)
    , m_sessions(sessions)
{
}

void PasswordPrompt::ask(QUuid uuid, QWidget *parent)
{
    IPCObject *session = m_sessions.session(uuid);
    if (!session || m_open.contains(uuid))
        return;
    m_open.append(uuid);
    UnitPassword dialog(parent);
    dialog.setUnitName(session->unitName());
    dialog.setAddress(session->address());
    const int result = dialog.exec();
    m_open.removeAll(uuid);
    if (result != QDialog::Accepted)
        return;
    // The device may have been replaced while the prompt was open.
    session = m_sessions.session(uuid);
    if (!session)
        return;
    session->setPassword(dialog.password());
    session->reconnect();
    emit passwordChanged(uuid);
}
