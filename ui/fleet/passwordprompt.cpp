#include "passwordprompt.h"

#include "ipcobject.h"
#include "sessiontable.h"
#include "unitpassword.h"

#include <QTimer>

PasswordPrompt::PasswordPrompt(SessionTable &sessions, QWidget *dialogParent)
    : QObject(dialogParent)
    , m_sessions(sessions)
    , m_dialogParent(dialogParent)
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
}

void PasswordPrompt::watch(IPCObject *session)
{
    connect(session, &IPCObject::changedState, this, [this](QUuid uuid, IQEndpointClient::DEVICE_STATE state) {
        if (state != IQEndpointClient::AUTH_FAILED)
            return;
        // Asked from the event loop, not from inside the session's signal, so
        // the device may go away while the prompt is open.
        QTimer::singleShot(0, this, [this, uuid] {
            IPCObject *s = m_sessions.session(uuid);
            if (s && s->state() == IQEndpointClient::AUTH_FAILED)
                ask(uuid, m_dialogParent);
        });
    });
}
