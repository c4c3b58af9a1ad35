#include "startup.h"

#include "appfolder.h"
#include "devicelog.h"
#include "mainwindow/mainwindow.h"
#include "networkmanager.h"
#include "qtmessage.h"
#include "qvevent.h"
#include "common/sharedicons.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <exception>

const char *const kApplicationStyleSheet = "* {font-family: \"Arial\"}";

void registerMetaTypes()
{
    qRegisterMetaType<Message>("Message");
    qRegisterMetaType<LogLine>("LogLine");
    qRegisterMetaType<QV_EVENT>("QV_EVENT");
}

bool ensureAppFolderOrReport()
{
    if (AppFolder::ensureFolder())
        return true;
    // No parent: the main window does not exist yet.
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Can't create file directory"),
                    QStringLiteral("Quorvane is unable to create the folder ") + AppFolder::folderPath()
                        + QStringLiteral(" . Try running the program as an administrator, or adjusting security "
                                         "settings on this computer."),
                    QMessageBox::Ok);
    box.exec();
    return false;
}

int runGuarded(const std::function<int()> &steps)
{
    try {
        return steps();
    } catch (const std::exception &e) {
        qCritical("%s", e.what());
    } catch (...) {
        qCritical("An exception was raised.");
    }
    return 1;
}

namespace {

// Lets an automated check see the window come up in a separate process: with
// QUORVANE_CLOSE_AFTER_SHOW set, the program reports the shown window on
// standard error and closes it, ending the event loop as Exit does.
void closeAfterShowWhenAsked(MainWindow &window)
{
    if (!qEnvironmentVariableIsSet("QUORVANE_CLOSE_AFTER_SHOW"))
        return;
    QTimer::singleShot(0, &window, [&window] {
        std::fprintf(stderr, "main window shown: %s (%s)\n", qPrintable(window.windowTitle()),
                     window.isVisible() ? "visible" : "hidden");
        std::fflush(stderr);
        window.close();
    });
}

} // namespace

int runQuorvane(QApplication &app)
{
    app.setStyleSheet(QString::fromLatin1(kApplicationStyleSheet));
    // The manager's process-wide objects have static storage; startNetworkManager() reaches them.
    registerMetaTypes();
    SharedIcons::load();
    ensureAppFolderOrReport();

    return runGuarded([&app] {
        // No parent: the window is the program's only top-level window.
        MainWindow window;
        window.loadConfiguration();
        window.handleAllEnables();
        window.show();
        startNetworkManager(&window);
        closeAfterShowWhenAsked(window);
        return app.exec();
    });
}
