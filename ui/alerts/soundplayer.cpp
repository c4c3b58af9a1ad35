#include "soundplayer.h"

#include <QAudioDeviceInfo>
#include <QSound>
#include <QtDebug>

void QSoundPlayer::play(const QString &path)
{
    if (m_output == Output::Unknown) {
        m_output = QAudioDeviceInfo::defaultOutputDevice().isNull() ? Output::Missing : Output::Present;
        if (m_output == Output::Missing)
            qWarning("No audio output device: alert sounds are not played.");
    }
    if (m_output == Output::Missing)
        return;
    QSound::play(path);
}
