#include "soundselect.h"

#include "soundfields.h"
#include "ui_soundselect.h"

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

QString SoundSelect::soundPath(QV_EVENT event) const
{
    return SoundFields::of(m_ui).path(event);
}

void SoundSelect::setSoundPath(QV_EVENT event, const QString &path)
{
    SoundFields::of(m_ui).setPath(event, path);
}

void SoundSelect::QVConnectBrowse()
{
    SoundFields::browseInto(this, m_ui->lineConnectsToQV);
}

void SoundSelect::QVDisconnectBrowse()
{
    SoundFields::browseInto(this, m_ui->lineDisconnectsFromQV);
}

void SoundSelect::audioConnectBrowse()
{
    SoundFields::browseInto(this, m_ui->lineAudioStart);
}

void SoundSelect::audioDisconnectBrowse()
{
    SoundFields::browseInto(this, m_ui->lineAudioFinish);
}
