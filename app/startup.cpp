#include "startup.h"

#include "appicon.h"
#include "appfolder.h"
#include "devicelog.h"
#include "mainwindow/mainwindow.h"
#include "networkmanager.h"
#include "qtmessage.h"
#include "qvevent.h"
#include "alerts/alertsoundfiles.h"
#include "alerts/smtpsender.h"
#include "alerts/soundplayer.h"
#include "common/backendmodule.h"
#include "common/sharedicons.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <utility>

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
    // No parent: the main window does not exist yet; the style sheet comes with it otherwise.
    qApp->setStyleSheet(QString::fromLatin1(kApplicationStyleSheet));
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

const char *const kDesktopFileName = "org.quorvane.Quorvane";

// Where the built-in alert sounds were found: what an installed program has
// to get right, so the start-up check reports it.
void reportDefaultSounds()
{
    const AlertSoundFiles files;
    for (QV_EVENT event : {QV_EVENT_AUDIO_CONNECTION_STARTED, QV_EVENT_AUDIO_CONNECTION_ENDED,
                           QV_EVENT_DEVICE_OFFLINE}) {
        const QString sound = AlertSoundFiles::defaultSound(event);
        const QString found = files.resolve(sound);
        std::fprintf(stderr, "default alert sound %s: %s\n", qPrintable(sound),
                     found.isEmpty() ? "not found" : qPrintable(found));
    }    // The modules behind sounds and mail are loaded on first use: say where they would come from.
    for (auto module : {std::make_pair("sound", &QSoundPlayer::module), std::make_pair("mail", &SmtpSender::module)}) {
        const QString found = module.second().locate();
        std::fprintf(stderr, "alert %s module: %s\n", module.first, found.isEmpty() ? "not found" : qPrintable(found));
    }
}

// Lets an automated check see the window come up in a separate process: with
// QUORVANE_CLOSE_AFTER_SHOW set, the program waits for the window's first
// paint, reports it and the default alert sounds on standard error, and
// closes the window, ending the event loop as Exit does.
class CloseAfterFirstPaint : public QObject
{
public:
    explicit CloseAfterFirstPaint(MainWindow &window)
        : QObject(&window)
        , m_window(window)
    {
        window.installEventFilter(this);
        // A platform that never paints must not keep a check waiting for ever.
        QTimer::singleShot(FallbackMs, this, [this] { report("not painted"); });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_window && event->type() == QEvent::Paint)
            QTimer::singleShot(0, this, [this] { report("painted"); });
        return false;
    }

private:
    static constexpr int FallbackMs = 30000;

    void report(const char *how)
    {
        if (m_done)
            return;
        m_done = true;
        std::fprintf(stderr, "main window shown: %s (%s, %s)\n", qPrintable(m_window.windowTitle()),
                     m_window.isVisible() ? "visible" : "hidden", how);
        reportDefaultSounds();
        std::fflush(stderr);
        m_window.close();
    }

    MainWindow &m_window;
    bool m_done = false;
};

void closeAfterShowWhenAsked(MainWindow &window)
{
    if (qEnvironmentVariableIsSet("QUORVANE_CLOSE_AFTER_SHOW"))
        new CloseAfterFirstPaint(window);
}

} // namespace

int runQuorvane(QApplication &app)
{
    app.setWindowIcon(applicationIcon());
    // Lets the desktop match the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
    // The manager's process-wide objects have static storage; startNetworkManager() reaches them.
    registerMetaTypes();
    SharedIcons::load();
    ensureAppFolderOrReport();

    return runGuarded([&app] {
        // No parent: the window is the program's only top-level window. Its
        // hidden tabs are built once it has been painted.
        MainWindow window(nullptr, MainWindow::TabPaneBuild::AfterFirstPaint);
        // Set once the window is built rather than before: Qt applies an
        // application style sheet again to every widget moved under a new
        // parent, and building the window moves hundreds of them. The window
        // looks the same and opens sooner.
        app.setStyleSheet(QString::fromLatin1(kApplicationStyleSheet));
        window.loadConfiguration();
        window.handleAllEnables();
        window.show();
        startNetworkManager(&window);
        closeAfterShowWhenAsked(window);
        return app.exec();
    });
}
