#include "soundplayer.h"

#include "alerts/backends/soundbackend.h"
#include "common/backendmodule.h"

#include <QLoggingCategory>
#include <QtDebug>

// Off unless asked for (QT_LOGGING_RULES="quorvane.alerts.debug=true"): lets a
// check outside the program see which sound each alert asked for.
namespace {
Q_LOGGING_CATEGORY(lcAlerts, "quorvane.alerts", QtWarningMsg)
} // namespace

BackendModule &QSoundPlayer::module()
{
    static BackendModule sound(QStringLiteral("sound"));
    return sound;
}

void QSoundPlayer::play(const QString &path)
{
    // Before the device check: a machine without audio still shows the request.
    qCDebug(lcAlerts, "alert sound requested: %s", qPrintable(path));
    if (m_output == Output::Unknown) {
        // The audio stack comes in with the first sound, not at start-up.
        const auto present = reinterpret_cast<SoundOutputPresentFunction>(module().resolve(SoundOutputPresentSymbol));
        m_play = reinterpret_cast<SoundPlayFunction>(module().resolve(SoundPlaySymbol));
        if (!present || !m_play) {
            m_output = Output::Missing;
            qWarning("The sound module could not be loaded (%s): alert sounds are not played.",
                     qPrintable(module().errorString()));
        } else {
            m_output = present() ? Output::Present : Output::Missing;
            if (m_output == Output::Missing)
                qWarning("No audio output device: alert sounds are not played.");
        }
    }
    if (m_output == Output::Missing)
        return;
    m_play(path);
}
