#pragma once

#include <QJsonObject>
#include <QObject>

class QLocalSocket;

/**
 * Drives the program's widgets for the end-to-end tests: connects to the
 * test's local server and answers one JSON command per line, on the GUI
 * thread. Widgets and actions are found by object name ("a/b" looks for b
 * inside a), in the active modal dialog first, then in every top-level
 * window. Clicks, triggers and closes run from the event loop after the
 * answer, so that a dialog they open does not hold the answer back.
 */
class UiDriver : public QObject
{
    Q_OBJECT

public:
    explicit UiDriver(const QString &serverName);

private:
    void readCommands();
    QJsonObject run(const QJsonObject &command);
    QJsonObject act(const QString &cmd, QObject *target, const QJsonObject &command);

    QLocalSocket *m_socket;
};
