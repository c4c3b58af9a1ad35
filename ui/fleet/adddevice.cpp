#include "adddevice.h"

#include "alerts/soundfields.h"
#include "ui_adddevice.h"

#include <QIntValidator>
#include <QPushButton>
#include <QTabBar>

AddDevice::AddDevice(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::AddDevice)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    // Only "General" is ever seen; the sound page stays for code that fills
    // it, the e-mail page is not used by this dialog at all.
    m_ui->tabWidget->tabBar()->hide();
    const int emailIndex = m_ui->tabWidget->indexOf(m_ui->emailTab);
    if (emailIndex >= 0) {
        m_ui->tabWidget->removeTab(emailIndex);
        delete m_ui->emailTab;
        m_ui->emailTab = nullptr;
        m_ui->emailList = nullptr;
    }
    m_ui->tabWidget->setCurrentWidget(m_ui->generalTab);
    // The unseen page does not make the dialog taller.
    m_ui->soundsTab->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    resize(width(), minimumSizeHint().height());

    m_ui->portEdit->setValidator(new QIntValidator(MinimumPort, MaximumPort, m_ui->portEdit));

    // Plain buttons rather than a button box, whose platform layout would
    // reorder them: OK comes before Cancel everywhere.
    setTabOrder(m_ui->addressEdit, m_ui->portEdit);
    setTabOrder(m_ui->portEdit, m_ui->okButton);
    setTabOrder(m_ui->okButton, m_ui->cancelButton);
    // The tab widget would take focus itself with its bar hidden.
    m_ui->tabWidget->setFocusPolicy(Qt::NoFocus);
    m_ui->addressEdit->setFocus();

    // A port the field would not accept (a partial "2", an empty field) is
    // not connected to: OK waits for a real one.
    connect(m_ui->portEdit, &QLineEdit::textChanged, this, &AddDevice::updateOkButton);
    updateOkButton();

    connect(m_ui->browseAudioStart, &QPushButton::clicked, this, [this] { SoundFields::browseInto(this, m_ui->lineAudioStart); });
    connect(m_ui->browseAudioFinish, &QPushButton::clicked, this, [this] { SoundFields::browseInto(this, m_ui->lineAudioFinish); });
    connect(m_ui->browseConnectsToQV, &QPushButton::clicked, this, [this] { SoundFields::browseInto(this, m_ui->lineConnectsToQV); });
    connect(m_ui->browseDisconnectsFromQV, &QPushButton::clicked, this,
            [this] { SoundFields::browseInto(this, m_ui->lineDisconnectsFromQV); });
}

AddDevice::~AddDevice()
{
    delete m_ui;
}

QString AddDevice::address() const
{
    return m_ui->addressEdit->text();
}

quint16 AddDevice::port() const
{
    bool ok = false;
    const uint value = m_ui->portEdit->text().toUInt(&ok, 10);
    return ok && value <= MaximumPort ? quint16(value) : quint16(0);
}

bool AddDevice::portAcceptable() const
{
    return m_ui->portEdit->hasAcceptableInput();
}

QString AddDevice::soundPath(QV_EVENT event) const
{
    return SoundFields::of(m_ui).path(event);
}

void AddDevice::setSoundPath(QV_EVENT event, const QString &path)
{
    SoundFields::of(m_ui).setPath(event, path);
}

void AddDevice::updateOkButton()
{
    m_ui->okButton->setEnabled(portAcceptable());
}
