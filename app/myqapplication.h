#pragma once

#include <QApplication>

/**
 * The application object. An exception that escapes a slot or an event
 * handler is logged here and the program goes on: a codec that sends
 * something unexpected must not end the operator's session.
 */
class MyQApplication : public QApplication
{
public:
    MyQApplication(int &argc, char **argv);

    /** Delivers the event; an escaping exception is logged as critical and counts as not handled. */
    bool notify(QObject *receiver, QEvent *event) override;
};
