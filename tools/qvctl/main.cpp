// qvctl: one command against one codec, from a terminal or a script.

#include "ctloptions.h"
#include "ctloutput.h"
#include "ctlpassword.h"
#include "ctlrunner.h"
#include "ctlsignals.h"

#include "iqcommonapp.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qvctl"));

    qvctl::Output output;
    qvctl::Options options;
    QString error;
    if (!qvctl::parseArguments(app.arguments().mid(1), options, error)) {
        output.error(error);
        std::fputs(qPrintable(qvctl::usageText()), stderr);
        return qvctl::ExitError;
    }
    if (options.help) {
        std::fputs(qPrintable(qvctl::usageText()), stdout);
        return qvctl::ExitOk;
    }
    QFile standardInput;
    standardInput.open(stdin, QIODevice::ReadOnly);
    if (!qvctl::resolvePassword(options, standardInput, error)) {
        output.error(error);
        return qvctl::ExitError;
    }
    qvctl::installMessageHandler(options.trace);

    qvctl::SignalWatcher signalWatcher;
    if (!signalWatcher.install(error)) {
        output.error(error);
        return qvctl::ExitError;
    }

    IQCommonApp *common = IQCommonApp::instance();
    common->start_manager();
    int status = qvctl::ExitError;
    {
        qvctl::CommandRunner runner(options, output, common->manager());
        QObject::connect(&runner, &qvctl::CommandRunner::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
        QObject::connect(&signalWatcher, &qvctl::SignalWatcher::interrupted, &runner, &qvctl::CommandRunner::interrupt);
        QTimer::singleShot(0, &runner, &qvctl::CommandRunner::start);
        status = app.exec();
    }
    common->stop_manager();
    // The session was handed to deferred deletion when the command finished.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
