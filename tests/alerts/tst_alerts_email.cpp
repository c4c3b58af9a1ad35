// Alert e-mail addresses: the address check, both dialogs, the assignment
// and management flows with their warning boxes, and the mail server dialog.

#include "alerts/alertflows.h"
#include "alerts/alertmailer.h"
#include "alertstest.h"
#include "alerts/emailassignmentdialog.h"
#include "alerts/emailcheck.h"
#include "alerts/emailmanagementdialog.h"
#include "alerts/mailserverdialog.h"
#include "uitest.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

using uitest::child;

class AlertsEmail : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
    void dialogs();
    void warningBoxes_data();
    void warningBoxes();
    void assignmentFlow();
    void managementFlow();
    void mailServerDialog();
};

void AlertsEmail::check_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("5 characters with @ and .") << "a@b.c" << false;
    QTest::newRow("6 characters with @ and .") << "a@b.co" << true;
    QTest::newRow("no @") << "ab.cdef" << false;
    QTest::newRow("no .") << "ab@cdef" << false;
    QTest::newRow("nothing else checked") << "@.@.@." << true;
}

void AlertsEmail::check()
{
    QFETCH(QString, text);
    QFETCH(bool, acceptable);
    QCOMPARE(emailTextAcceptable(text), acceptable);
}

void AlertsEmail::dialogs()
{
    EmailAssignmentDialog assign;
    QCOMPARE(assign.windowTitle(), QStringLiteral("Dialog"));
    auto *edit = child<QLineEdit>(&assign, "emailEdit");
    auto *add = child<QPushButton>(&assign, "addButton");
    QCOMPARE(edit->placeholderText(), QStringLiteral("Type email addresses here..."));
    QCOMPARE(child<QLabel>(&assign, "unitLabel")->text(), QStringLiteral("Units to add email adresses to"));
    QCOMPARE(child<QLabel>(&assign, "addressLabel")->text(), QStringLiteral("Email addresses to add"));
    QTest::keyClicks(edit, "a@b.c");
    QVERIFY(!add->isEnabled());
    QTest::keyClicks(edit, "o");
    add->click();
    QVERIFY(edit->text().isEmpty());
    edit->setText("night@example.org");
    add->click();
    // "Remove" takes out the selected address before OK.
    child<QListWidget>(&assign, "addressList")->item(0)->setSelected(true);
    child<QPushButton>(&assign, "removeButton")->click();
    QCOMPARE(assign.addresses(), QStringList{"night@example.org"});

    EmailManagementDialog manage;
    QCOMPARE(manage.windowTitle(), QStringLiteral("Manage Alert Addresses"));
    QCOMPARE(child<QLabel>(&manage, "addressLabel")->text(), QStringLiteral("Alert Email Addresses for this device"));
    QCOMPARE(child<QPushButton>(&manage, "addEmailButton")->text(), QStringLiteral("Add Email"));
    QCOMPARE(child<QAction>(&manage, "actionRemoveAddress")->text(), QStringLiteral("Remove address"));
    manage.lineEditChanged("x@y.z");
    QVERIFY(!child<QPushButton>(&manage, "addEmailButton")->isEnabled());
    manage.setAddresses({"ops@example.org", "desk@example.org"});
    auto *list = child<QListWidget>(&manage, "addressList");
    QVERIFY(list->item(0)->flags() & Qt::ItemIsEditable);
    // Edited in place: not checked, but an emptied line is no address.
    list->item(0)->setText("x");
    list->item(1)->setText("  ");
    QCOMPARE(manage.addresses(), QStringList{"x"});
}

void AlertsEmail::warningBoxes_data()
{
    QTest::addColumn<int>("devices"); // -1: one that is not ready
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0 << "No Devices"
                          << "To assign an alert email address to a device, you must first add a device to Quorvane.";
    QTest::newRow("none ready") << -1 << "No Devices Ready"
                                << "No devices are currently ready. Make sure you have an active internet connection "
                                   "on this computer and on your codecs, then try again.";
}

void AlertsEmail::warningBoxes()
{
    QFETCH(int, devices);
    QFETCH(QString, title);
    QFETCH(QString, text);
    AlertProbe connecting("One");
    connecting.setState(IQEndpointClient::CONNECTING);
    QList<IPCObject *> sessions;
    if (devices < 0)
        sessions << &connecting;
    QString seenTitle, seenText;
    uitest::whenModal<QMessageBox>([&](QMessageBox *box) {
        seenTitle = box->windowTitle();
        seenText = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    int saves = 0;
    QVERIFY(!AlertFlows::assignEmailAddresses(sessions, nullptr, [&] { ++saves; }));
    QCOMPARE(seenTitle, title);
    QCOMPARE(seenText, text);
    QCOMPARE(saves, 0); // and no dialog: the flow returned after the box
}

void AlertsEmail::assignmentFlow()
{
    AlertProbe ready("Northgate Studio 1");
    ready.setState(IQEndpointClient::READY);
    ready.setEmailAddresses({"ops@example.org"});
    AlertProbe other("Elsewhere", "10.0.0.9");
    AlertProbe second("Studio 2", "10.0.0.6");
    second.setState(IQEndpointClient::READY);
    QStringList offered;
    uitest::whenModal<EmailAssignmentDialog>([&](EmailAssignmentDialog *d) {
        auto *units = d->findChild<QListWidget *>("unitList");
        for (int i = 0; i < units->count(); ++i)
            offered << units->item(i)->text();
        units->item(0)->setSelected(true);
        for (const char *address : {"ops@example.org", "night@example.org", "night@example.org"}) {
            d->findChild<QLineEdit *>("emailEdit")->setText(address);
            d->emailAppendClicked();
        }
        d->accept();
    });
    int saves = 0;
    QVERIFY(AlertFlows::assignEmailAddresses({&ready, &other, &second}, nullptr, [&] { ++saves; }));
    QCOMPARE(offered, QStringList({"Northgate Studio 1 (10.0.0.5:8080)", "Studio 2 (10.0.0.6:8080)"}));
    QCOMPARE(ready.emailAddresses(), QStringList({"ops@example.org", "night@example.org"}));
    QVERIFY(second.emailAddresses().isEmpty());
    QCOMPARE(saves, 1);
}

void AlertsEmail::managementFlow()
{
    AlertProbe device("Northgate Studio 1");
    device.setEmailAddresses({"ops@example.org", "old@example.org"});
    uitest::whenModal<EmailManagementDialog>([&](EmailManagementDialog *d) {
        d->findChild<QListWidget *>("addressList")->item(1)->setSelected(true);
        d->removeAddress();
        d->findChild<QLineEdit *>("emailEdit")->setText("desk@example.org");
        d->emailAddClicked();
        d->accept();
    });
    int saves = 0;
    QVERIFY(AlertFlows::manageEmailAddresses(&device, nullptr, [&] { ++saves; }));
    QCOMPARE(device.emailAddresses(), QStringList({"ops@example.org", "desk@example.org"}));
    QCOMPARE(saves, 1);
}

void AlertsEmail::mailServerDialog()
{
    AlertMailer mailer;
    MailServerDialog dialog(&mailer);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Mail Server"));
    auto *test = child<QPushButton>(&dialog, "testButton");
    QCOMPARE(test->text(), QStringLiteral("Send Test Mail"));
    QVERIFY(!test->isEnabled());
    for (const char *name : {"hostEdit", "portSpin", "securityCombo", "userEdit", "passwordEdit", "senderEdit"}) {
        bool labelled = false;
        for (QLabel *l : dialog.findChildren<QLabel *>())
            labelled = labelled || (l->buddy() && l->buddy()->objectName() == name);
        QVERIFY2(labelled, name);
    }

    MailServerSettings s;
    s.host = "smtp.example.org";
    s.port = 587;
    s.security = MailServerSettings::StartTls;
    s.password = "secret";
    s.sender = "alerts@example.org";
    dialog.setSettings(s);
    QVERIFY(dialog.settings() == s);
    QVERIFY(test->isEnabled());
    QCOMPARE(dialog.testRecipient(), s.sender);
    // The usual port follows the kind of security.
    child<QComboBox>(&dialog, "securityCombo")->setCurrentIndex(MailServerSettings::Tls);
    QCOMPARE(dialog.settings().port, 465);

    MailServerSettings kept;
    uitest::whenModal<MailServerDialog>([&](MailServerDialog *d) {
        d->setSettings(s);
        d->accept();
    });
    int saves = 0;
    QVERIFY(AlertFlows::editMailServer(kept, &mailer, nullptr, [&] { ++saves; }));
    QVERIFY(kept == s && mailer.server() == s);
    QCOMPARE(saves, 1);
}

QTEST_MAIN(AlertsEmail)
#include "tst_alerts_email.moc"
