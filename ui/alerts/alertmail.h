#pragma once

#include "qvevent.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class IPCObject;

/** What an alert e-mail tells: taken from the session when the event happens. */
struct AlertMailFacts
{
    /** The codec's unit name, or its address when it has told none. */
    QString codecName;
    /** "address:port". */
    QString codecAddress;
    QV_EVENT event = QV_EVENT_AUDIO_CONNECTION_STARTED;
    QDateTime time;
    /** The peers that started or ended a call (audio events only). */
    QString changedPeers;
    /** The peers in a call as last reported by the codec. */
    QStringList activePeers;
    /** Alerts of the same codec and kind not mailed since the last one. */
    int heldBack = 0;

    /** The facts of @p event on @p device at @p time (application thread). */
    static AlertMailFacts of(IPCObject *device, QV_EVENT event, const QDateTime &time);
};

/** The subject and plain-text body of one alert e-mail. */
struct AlertMail
{
    QString subject;
    QString body;

    /** "[Quorvane] Northgate Studio 1: audio connection started", with the body listing the facts. */
    static AlertMail compose(const AlertMailFacts &facts);
    /** "audio connection started", "audio connection ended", "codec online", "codec lost". */
    static QString eventText(QV_EVENT event);
};
