#include "profileactions.h"

#include "copytodevicesdialog.h"
#include "ipcobject.h"
#include "profileedit.h"

#include <QMessageBox>
#include <QPointer>

namespace {

bool numeric(const QString &text, int &out)
{
    bool ok = false;
    out = text.toInt(&ok, 10);
    return ok;
}

} // namespace

ProfileActions::ProfileActions(const SessionTable &sessions, QObject *parent)
    : QObject(parent)
    , m_sessions(sessions)
{
}

QString ProfileActions::duplicateName(const SelectedProfile &profile)
{
    return profile.name + QStringLiteral(" (Copy)");
}

bool ProfileActions::edit(IPCObject *session, const SelectedProfile &profile, ProfileEdit &editor)
{
    if (!session || !profile.isValid() || profile.factory)
        return false;
    return editor.editProfile(session, profile.id);
}

bool ProfileActions::duplicate(IPCObject *session, const SelectedProfile &profile)
{
    int id = 0;
    if (!session || !numeric(profile.id, id))
        return false;
    session->copyProfile(duplicateName(profile), id);
    return true;
}

bool ProfileActions::remove(IPCObject *session, const SelectedProfile &profile, QWidget *parent)
{
    int id = 0;
    if (!session || profile.factory || !numeric(profile.id, id))
        return false;
    QPointer<IPCObject> target(session);
    const auto answer = QMessageBox::question(parent, QStringLiteral("Remove Profile"),
                                              QStringLiteral("Do you want to remove this profile?"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes || !target)
        return false;
    target->deleteProfile(id);
    return true;
}

bool ProfileActions::setDefault(IPCObject *session, const SelectedProfile &profile)
{
    Message record;
    if (!session || !session->findProfile(profile.id, record))
        return false;
    record.set_bool("default", true);
    session->setProfile(record);
    return true;
}

bool ProfileActions::assign(IPCObject *session, const SelectedPeer &peer, const SelectedProfile &profile)
{
    int peerId = 0;
    int profileId = 0;
    if (!session || !peer.numericId(peerId) || !numeric(profile.id, profileId))
        return false;
    session->setPeerSettings(peerId, profileId);
    return true;
}

bool ProfileActions::assignDefault(IPCObject *session, const SelectedPeer &peer)
{
    int peerId = 0;
    if (!session || !peer.numericId(peerId))
        return false;
    session->setPeerSettings(peerId, 0);
    return true;
}

int ProfileActions::copyToDevices(IPCObject *session, const SelectedProfile &profile, QWidget *parent)
{
    Message record;
    if (!session || profile.factory || !session->findProfile(profile.id, record))
        return 0;
    // A copy is one more profile on the other device, not its new default.
    if (record.has_attribute("default"))
        record.set_bool("default", false);
    const QList<IPCObject *> chosen = SendDialog::choose(m_sessions, session, parent);
    for (IPCObject *device : chosen)
        device->addProfileFor(record);
    return chosen.size();
}
