#pragma once

#include "mailserversettings.h"

#include <QDialog>
#include <QPointer>

class AlertMailer;

namespace Ui {
class MailServerDialog;
}

/**
 * "Mail Server": the SMTP server alert e-mails go through, with a button
 * that sends a test mail through what is typed (without waiting for it).
 */
class MailServerDialog : public QDialog
{
    Q_OBJECT

public:
    /** Tests through @p mailer (not owned); without one the test button stays off. */
    explicit MailServerDialog(AlertMailer *mailer = nullptr, QWidget *parent = nullptr);
    ~MailServerDialog() override;

    void setSettings(const MailServerSettings &settings);
    MailServerSettings settings() const;
    /** The address a test mail goes to: the typed one, or the sender. */
    QString testRecipient() const;

    /** The usual port of each kind of security: 25, 587 (STARTTLS), 465 (TLS). */
    static int defaultPort(MailServerSettings::Security security);

public slots:
    void sendTestMail();

private:
    void securityChanged(int index);
    void testFinished(bool ok, const QString &detail);
    void updateTestButton();

    Ui::MailServerDialog *m_ui;
    QPointer<AlertMailer> m_mailer;
    MailServerSettings::Security m_security = MailServerSettings::None;
    bool m_testing = false;
};
