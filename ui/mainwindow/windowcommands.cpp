#include "windowcommands.h"

#include "aboutdialog.h"
#include "alerts/alertsoundfiles.h"
#include "ipcobject.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace WindowCommands {

bool copyNodeId(IPCObject *session)
{
    Message version;
    if (!session || !session->cachedMessage(QStringLiteral("version"), version))
        return false;
    QApplication::clipboard()->setText(get_field_qstring(version, "node_id"));
    return true;
}

bool openConfigFolder(const QString &configFile)
{
    const QString folder = QFileInfo(configFile).absolutePath();
    if (folder.isEmpty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

QStringList readmeCandidates(const QString &programFolder, const QString &dataFolder)
{
    const QString readme = QStringLiteral("README.md");
    QStringList candidates;
    auto add = [&candidates, &readme](const QString &folder) {
        const QString path = QDir::cleanPath(folder + QLatin1Char('/') + readme);
        if (!folder.isEmpty() && !candidates.contains(path))
            candidates << path;
    };
    add(programFolder);
    if (!programFolder.isEmpty()) {
        add(programFolder + QStringLiteral("/../share/quorvane"));
        add(programFolder + QStringLiteral("/../share/doc/quorvane"));
    }
    add(dataFolder);
    if (!dataFolder.isEmpty())
        add(dataFolder + QStringLiteral("/../doc/quorvane"));
    return candidates;
}

QString firstExisting(const QStringList &candidates)
{
    for (const QString &path : candidates) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

bool openHelp(QWidget *parent)
{
    const QStringList candidates =
        readmeCandidates(QCoreApplication::applicationDirPath(), AlertSoundFiles::installedDataFolder());
    const QString readme = firstExisting(candidates);
    if (readme.isEmpty()) {
        QMessageBox::information(parent, QStringLiteral("Help"),
                                 QStringLiteral("The program's README was not found. Looked for:\n")
                                     + candidates.join(QLatin1Char('\n')),
                                 QMessageBox::Ok);
        return false;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(readme));
}

void showAbout(QWidget *parent, const QString &configFile)
{
    AboutDialog dialog(configFile, parent);
    dialog.exec();
}

void showConfigureDialog(QWidget *parent)
{
    auto *dialog = new QDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Configure Instance"));
    dialog->setModal(true);
    dialog->show();
}

} // namespace WindowCommands
