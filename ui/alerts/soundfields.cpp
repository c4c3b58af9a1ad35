#include "soundfields.h"

#include <QFileDialog>
#include <QLineEdit>

QLineEdit *SoundFields::line(QV_EVENT event) const
{
    switch (event) {
    case QV_EVENT_AUDIO_CONNECTION_STARTED:
        return audioStart;
    case QV_EVENT_AUDIO_CONNECTION_ENDED:
        return audioFinish;
    case QV_EVENT_DEVICE_ONLINE:
        return connectsToQV;
    case QV_EVENT_DEVICE_OFFLINE:
        return disconnectsFromQV;
    }
    return nullptr;
}

QString SoundFields::path(QV_EVENT event) const
{
    const QLineEdit *edit = line(event);
    return edit ? edit->text() : QString();
}

void SoundFields::setPath(QV_EVENT event, const QString &path) const
{
    if (QLineEdit *edit = line(event))
        edit->setText(path);
}

void SoundFields::browseInto(QWidget *parent, QLineEdit *line)
{
    // OK on an emptied line keeps what was stored before.
    line->setText(QFileDialog::getOpenFileName(parent, QStringLiteral("Open WAV File"), QString(),
                                               QStringLiteral("*.wav")));
}
