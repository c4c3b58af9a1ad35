#pragma once

#include <QMetaType>

/**
 * A device event that may raise an alert. The values are stored with the
 * alert settings and travel through queued signals, so they never change.
 */
enum QV_EVENT : int {
    QV_EVENT_AUDIO_CONNECTION_STARTED = 0,
    QV_EVENT_AUDIO_CONNECTION_ENDED = 1,
    QV_EVENT_DEVICE_ONLINE = 2,
    QV_EVENT_DEVICE_OFFLINE = 3,
};
Q_DECLARE_METATYPE(QV_EVENT)
