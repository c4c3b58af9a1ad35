#include "soundplayer.h"

#include <QAudioDeviceInfo>
#include <QLoggingCategory>
#include <QSound>
#include <QtDebug>

// Off unless asked for (QT_LOGGING_RULES="quorvane.alerts.debug=true"): lets a
// check outside the program see which sound each alert asked for.
namespace {
Q_LOGGING_CATEGORY(lcAlerts, "quorvane.alerts", QtWarningMsg)
} // namespace

void QSoundPlayer::play(const QString &path)
{
    // Before the device check: a machine without audio still shows the request.
    qCDebug(lcAlerts, "alert sound requested: %s", qPrintable(path));
    if (m_output == Output::Unknown) {
        m_output = QAudioDeviceInfo::defaultOutputDevice().isNull() ? Output::Missing : Output::Present;
        if (m_output == Output::Missing)
            qWarning("No audio output device: alert sounds are not played.");
    }
    if (m_output == Output::Missing)
        return;
    QSound::play(path);
}
