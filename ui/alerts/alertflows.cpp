#include "alertflows.h"

#include "alertmailer.h"
#include "emailassignmentdialog.h"
#include "emailmanagementdialog.h"
#include "ipcobject.h"
#include "mailserverdialog.h"
#include "soundselect.h"

#include <QMessageBox>

namespace AlertFlows {

namespace {

// The order the dialog's lines are read in on OK.
const QV_EVENT Events[] = {QV_EVENT_AUDIO_CONNECTION_STARTED, QV_EVENT_AUDIO_CONNECTION_ENDED,
                           QV_EVENT_DEVICE_ONLINE, QV_EVENT_DEVICE_OFFLINE};

void saveWith(const SaveConfiguration &save)
{
    if (save)
        save();
}

} // namespace

QString deviceLabel(IPCObject *device)
{
    const QString address = IPCObject::connectTarget(device->address(), device->port());
    const QString unit = device->unitName();
    return unit.isEmpty() ? address : QStringLiteral("%1 (%2)").arg(unit, address);
}

bool chooseSounds(IPCObject *device, QWidget *parent, const AlertSoundFiles &files, const SaveConfiguration &save)
{
    if (!device)
        return false;
    SoundSelect dialog(parent);
    for (QV_EVENT event : Events)
        dialog.setSoundPath(event, device->alertSound(event));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    applySounds(dialog, device, files);
    saveWith(save);
    return true;
}

void applySounds(const SoundSelect &dialog, IPCObject *device, const AlertSoundFiles &files)
{
    for (QV_EVENT event : Events) {
        const QString text = dialog.soundPath(event);
        if (!files.resolve(text).isEmpty())
            device->setAlertSound(event, text);
    }
}

bool assignEmailAddresses(const QList<IPCObject *> &sessions, QWidget *parent, const SaveConfiguration &save)
{
    if (sessions.isEmpty()) {
        QMessageBox::warning(parent, QStringLiteral("No Devices"),
                             QStringLiteral("To assign an alert email address to a device, you must first add a "
                                            "device to Quorvane."),
                             QMessageBox::Ok);
        return false;
    }
    QList<IPCObject *> ready;
    for (IPCObject *session : sessions) {
        if (session && session->state() == IQEndpointClient::READY)
            ready << session;
    }
    if (ready.isEmpty()) {
        QMessageBox::warning(parent, QStringLiteral("No Devices Ready"),
                             QStringLiteral("No devices are currently ready. Make sure you have an active internet "
                                            "connection on this computer and on your codecs, then try again."),
                             QMessageBox::Ok);
        return false;
    }

    EmailAssignmentDialog dialog(parent);
    QStringList names;
    // The sessions may go while the dialog is open.
    QList<QPointer<IPCObject>> guarded;
    for (IPCObject *session : ready) {
        names << deviceLabel(session);
        guarded << session;
    }
    dialog.setUnits(names);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    QList<IPCObject *> chosen;
    for (int row : dialog.selectedUnits()) {
        if (guarded.value(row))
            chosen << guarded.value(row);
    }
    applyAssignment(chosen, dialog.addresses());
    saveWith(save);
    return true;
}

void applyAssignment(const QList<IPCObject *> &devices, const QStringList &addresses)
{
    for (IPCObject *device : devices) {
        QStringList list = device->emailAddresses();
        for (const QString &address : addresses) {
            if (!list.contains(address))
                list << address;
        }
        device->setEmailAddresses(list);
    }
}

bool manageEmailAddresses(IPCObject *device, QWidget *parent, const SaveConfiguration &save)
{
    if (!device)
        return false;
    QPointer<IPCObject> guarded(device);
    EmailManagementDialog dialog(parent);
    dialog.setAddresses(device->emailAddresses());
    if (dialog.exec() != QDialog::Accepted || !guarded)
        return false;
    device->setEmailAddresses(dialog.addresses());
    saveWith(save);
    return true;
}

bool editMailServer(MailServerSettings &settings, AlertMailer *mailer, QWidget *parent, const SaveConfiguration &save)
{
    MailServerDialog dialog(mailer, parent);
    dialog.setSettings(settings);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const MailServerSettings edited = dialog.settings();
    if (edited == settings)
        return false;
    settings = edited;
    if (mailer)
        mailer->setServer(settings);
    saveWith(save);
    return true;
}

} // namespace AlertFlows
