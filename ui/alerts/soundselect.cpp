#include "soundselect.h"

#include "ui_soundselect.h"

#include <QFileDialog>
#include <QPushButton>

SoundSelect::SoundSelect(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::SoundSelect)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(m_ui->browseConnectsToQV, &QPushButton::clicked, this, &SoundSelect::QVConnectBrowse);
    connect(m_ui->browseDisconnectsFromQV, &QPushButton::clicked, this, &SoundSelect::QVDisconnectBrowse);
    connect(m_ui->browseAudioStart, &QPushButton::clicked, this, &SoundSelect::audioConnectBrowse);
    connect(m_ui->browseAudioFinish, &QPushButton::clicked, this, &SoundSelect::audioDisconnectBrowse);
}

SoundSelect::~SoundSelect()
{
    delete m_ui;
}

QLineEdit *SoundSelect::lineFor(QV_EVENT event) const
{
    switch (event) {
    case QV_EVENT_AUDIO_CONNECTION_STARTED:
        return m_ui->lineAudioStart;
    case QV_EVENT_AUDIO_CONNECTION_ENDED:
        return m_ui->lineAudioFinish;
    case QV_EVENT_DEVICE_ONLINE:
        return m_ui->lineConnectsToQV;
    case QV_EVENT_DEVICE_OFFLINE:
        return m_ui->lineDisconnectsFromQV;
    }
    return nullptr;
}

QString SoundSelect::soundPath(QV_EVENT event) const
{
    const QLineEdit *line = lineFor(event);
    return line ? line->text() : QString();
}

void SoundSelect::setSoundPath(QV_EVENT event, const QString &path)
{
    if (QLineEdit *line = lineFor(event))
        line->setText(path);
}

void SoundSelect::QVConnectBrowse()
{
    browseInto(m_ui->lineConnectsToQV);
}

void SoundSelect::QVDisconnectBrowse()
{
    browseInto(m_ui->lineDisconnectsFromQV);
}

void SoundSelect::audioConnectBrowse()
{
    browseInto(m_ui->lineAudioStart);
}

void SoundSelect::audioDisconnectBrowse()
{
    browseInto(m_ui->lineAudioFinish);
}

void SoundSelect::browseInto(QLineEdit *line)
{
    // A cancelled chooser empties the line; OK then keeps the stored path.
    line->setText(QFileDialog::getOpenFileName(this, QStringLiteral("Open WAV File"), QString(),
                                               QStringLiteral("*.wav")));
}
