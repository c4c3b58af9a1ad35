#include "mailserverdialog.h"

#include "alertmailer.h"
#include "ui_mailserverdialog.h"

MailServerDialog::MailServerDialog(AlertMailer *mailer, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::MailServerDialog)
    , m_mailer(mailer)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(m_ui->securityCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &MailServerDialog::securityChanged);
    connect(m_ui->testButton, &QPushButton::clicked, this, &MailServerDialog::sendTestMail);
    connect(m_ui->hostEdit, &QLineEdit::textChanged, this, &MailServerDialog::updateTestButton);
    connect(m_ui->senderEdit, &QLineEdit::textChanged, this, &MailServerDialog::updateTestButton);
    connect(m_ui->testRecipientEdit, &QLineEdit::textChanged, this, &MailServerDialog::updateTestButton);
    if (m_mailer)
        connect(m_mailer, &AlertMailer::testMailFinished, this, &MailServerDialog::testFinished);
    updateTestButton();
}

MailServerDialog::~MailServerDialog()
{
    delete m_ui;
}

int MailServerDialog::defaultPort(MailServerSettings::Security security)
{
    switch (security) {
    case MailServerSettings::None:
        return 25;
    case MailServerSettings::StartTls:
        return 587;
    case MailServerSettings::Tls:
        return 465;
    }
    return 25;
}

void MailServerDialog::setSettings(const MailServerSettings &settings)
{
    m_ui->hostEdit->setText(settings.host);
    m_security = settings.security;
    m_ui->securityCombo->setCurrentIndex(int(settings.security));
    m_ui->portSpin->setValue(settings.port);
    m_ui->userEdit->setText(settings.user);
    m_ui->passwordEdit->setText(settings.password);
    m_ui->senderEdit->setText(settings.sender);
}

MailServerSettings MailServerDialog::settings() const
{
    MailServerSettings s;
    s.host = m_ui->hostEdit->text().trimmed();
    s.port = m_ui->portSpin->value();
    s.security = MailServerSettings::Security(m_ui->securityCombo->currentIndex());
    s.user = m_ui->userEdit->text();
    s.password = m_ui->passwordEdit->text();
    s.sender = m_ui->senderEdit->text().trimmed();
    return s;
}

QString MailServerDialog::testRecipient() const
{
    const QString typed = m_ui->testRecipientEdit->text().trimmed();
    return typed.isEmpty() ? m_ui->senderEdit->text().trimmed() : typed;
}

void MailServerDialog::securityChanged(int index)
{
    const auto security = MailServerSettings::Security(index);
    // A port left at the old kind's usual one follows the new kind.
    if (m_ui->portSpin->value() == defaultPort(m_security))
        m_ui->portSpin->setValue(defaultPort(security));
    m_security = security;
}

void MailServerDialog::sendTestMail()
{
    if (!m_mailer || m_testing)
        return;
    m_testing = true;
    m_ui->testResultLabel->setText(QStringLiteral("Sending a test mail to %1...").arg(testRecipient()));
    updateTestButton();
    m_mailer->sendTestMail(settings(), testRecipient());
}

void MailServerDialog::testFinished(bool ok, const QString &detail)
{
    if (!m_testing)
        return;
    m_testing = false;
    m_ui->testResultLabel->setText(ok ? detail : QStringLiteral("The test mail failed: %1").arg(detail));
    updateTestButton();
}

void MailServerDialog::updateTestButton()
{
    m_ui->testButton->setEnabled(m_mailer && !m_testing && settings().isConfigured() && !testRecipient().isEmpty());
}
