#pragma once

#include <QString>
#include <QStringList>

class IPCObject;
class QWidget;

/**
 * The window's small commands that need nothing but their arguments: the
 * clipboard, the desktop's file manager and default viewer, and the About
 * and configure dialogs.
 */
namespace WindowCommands {

/**
 * "Copy MAC Address": the "node_id" of @p session's held "version" record
 * (child or attribute; empty when it has none) onto the clipboard. False,
 * changing nothing, when no "version" record is held.
 */
bool copyNodeId(IPCObject *session);

/** "Open config folder": the folder of @p configFile in the desktop's file manager. */
bool openConfigFolder(const QString &configFile);

/**
 * Where the program's README may be, in the order looked at: beside the
 * program, the data and documentation folders of an install relocated with
 * it (<program>/../share/quorvane, <program>/../share/doc/quorvane), then
 * those of the configured prefix (@p dataFolder and its "doc/quorvane").
 */
QStringList readmeCandidates(const QString &programFolder, const QString &dataFolder);
/** The first of @p candidates that is a file; empty when none is. */
QString firstExisting(const QStringList &candidates);

/** "Help": the README in the desktop's default viewer; a box over @p parent when it is not found. */
bool openHelp(QWidget *parent);

/** "About": the about dialog, modal, showing @p configFile. */
void showAbout(QWidget *parent, const QString &configFile);

/** "Configure Instance": an empty modal dialog, shown without waiting for it. */
void showConfigureDialog(QWidget *parent);

} // namespace WindowCommands
