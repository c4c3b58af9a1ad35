#pragma once

#include "alertsoundfiles.h"
#include "mailserversettings.h"

#include <QList>
#include <QStringList>

#include <functional>

class AlertMailer;
class IPCObject;
class SoundSelect;
class QWidget;

/**
 * The alert settings flows, each acting on the sessions it is given and
 * saving through the callback it is given (the window passes its own).
 */
namespace AlertFlows {

using SaveConfiguration = std::function<void()>;

/**
 * "Set Alert Sounds" for @p device: on OK each line that names an existing
 * file (found as the alert handler finds it) becomes the device's sound for
 * its event, other lines keep the stored path; then the configuration is
 * saved. False when cancelled (or without a device).
 */
bool chooseSounds(IPCObject *device, QWidget *parent, const AlertSoundFiles &files, const SaveConfiguration &save);
/** The OK step of chooseSounds(): what @p dialog's lines do to @p device's table. */
void applySounds(const SoundSelect &dialog, IPCObject *device, const AlertSoundFiles &files);

/**
 * "Assign Email Addresses...": with no device, the "No Devices" box; with
 * none ready, "No Devices Ready"; otherwise the assignment dialog over the
 * ready devices. On OK the listed addresses are appended to each selected
 * device (an address it already has is not added again) and the
 * configuration saved. True when addresses were applied.
 */
bool assignEmailAddresses(const QList<IPCObject *> &sessions, QWidget *parent, const SaveConfiguration &save);
/** The OK step of the assignment: appends @p addresses to each of @p devices, without duplicates. */
void applyAssignment(const QList<IPCObject *> &devices, const QStringList &addresses);

/**
 * "Manage alert addresses" for @p device: on OK its list becomes the
 * dialog's, then the configuration is saved. False when cancelled.
 */
bool manageEmailAddresses(IPCObject *device, QWidget *parent, const SaveConfiguration &save);

/**
 * "Mail Server...": edits @p settings, tests through @p mailer; on OK with
 * a change, stores the new settings in @p settings and in the mailer, then
 * saves. True when something changed.
 */
bool editMailServer(MailServerSettings &settings, AlertMailer *mailer, QWidget *parent, const SaveConfiguration &save);

/** How the dialogs name a device: "Unit name (10.0.0.5:8080)", or the address alone. */
QString deviceLabel(IPCObject *device);

} // namespace AlertFlows
