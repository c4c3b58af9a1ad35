// The add-device dialog and the password prompt on their own: fields,
// validation, focus and texts.

#include "fleet/adddevice.h"
#include "fleet/unitpassword.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

class UiDialogs : public QObject
{
    Q_OBJECT

private slots:
    void addDeviceInitialState();
    void addDeviceSoundPage();
    void portBounds_data();
    void portBounds();
    void portTyping();
    void addDeviceTabOrderAndFocus();
    void addDeviceSoundPaths();
    void cancelledBrowseEmptiesTheField();
    void passwordPromptTexts();
    void passwordPromptForm();

private:
    static QLineEdit *edit(QWidget *dialog, const char *name) { return dialog->findChild<QLineEdit *>(name); }
};

void UiDialogs::addDeviceInitialState()
{
    AddDevice dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Add Codec"));
    QVERIFY(dialog.isModal());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));

    QLineEdit *address = edit(&dialog, "addressEdit");
    QLineEdit *port = edit(&dialog, "portEdit");
    QVERIFY(address && port);
    QVERIFY(address->text().isEmpty());
    QCOMPARE(address->placeholderText(), QStringLiteral("0.0.0.0"));
    QCOMPARE(port->text(), QStringLiteral("80"));
    QCOMPARE(dialog.port(), quint16(80));
    QVERIFY(dialog.address().isEmpty());

    QStringList texts;
    for (QLabel *label : dialog.findChildren<QLabel *>())
        texts << label->text();
    QCOMPARE(texts.count(QStringLiteral("Required")), 2);
    QVERIFY(texts.contains(QStringLiteral("Firmware 4.0 defaults to port 80.")));
    QVERIFY(texts.contains(QStringLiteral("All other firmware defaults to 8080.")));

    auto *ok = dialog.findChild<QPushButton *>("okButton");
    auto *cancel = dialog.findChild<QPushButton *>("cancelButton");
    QVERIFY(ok && cancel);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QVERIFY(ok->isDefault());
}

void UiDialogs::addDeviceSoundPage()
{
    AddDevice dialog;
    dialog.show();
    auto *tabs = dialog.findChild<QTabWidget *>("tabWidget");
    QVERIFY(tabs);
    // Two pages left, only the first one reachable.
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), QStringLiteral("General"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Sounds"));
    QVERIFY(!tabs->findChild<QWidget *>("emailTab"));
    for (int i = 0; i < tabs->count(); ++i)
        QVERIFY(tabs->tabText(i) != QStringLiteral("Alert Emails"));
    QVERIFY(tabs->tabBar()->isHidden());
    QCOMPARE(tabs->currentIndex(), 0);

    const char *sounds[] = {"lineAudioStart", "lineAudioFinish", "lineConnectsToQV", "lineDisconnectsFromQV"};
    for (const char *name : sounds) {
        QLineEdit *line = edit(&dialog, name);
        QVERIFY2(line, name);
        QCOMPARE(line->placeholderText(), QStringLiteral("Leave blank for default"));
        QVERIFY(line->text().isEmpty());
        QVERIFY(!line->isVisible());
    }
    int browse = 0;
    for (QPushButton *b : dialog.findChildren<QPushButton *>())
        browse += b->text() == QStringLiteral("Browse...");
    QCOMPARE(browse, 4);
}

void UiDialogs::portBounds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("22") << "22" << false;
    QTest::newRow("23") << "23" << true;
    QTest::newRow("80") << "80" << true;
    QTest::newRow("8080") << "8080" << true;
    QTest::newRow("65535") << "65535" << true;
    QTest::newRow("65536") << "65536" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("letters") << "http" << false;
}

void UiDialogs::portBounds()
{
    QFETCH(QString, text);
    QFETCH(bool, acceptable);
    AddDevice dialog;
    QLineEdit *port = edit(&dialog, "portEdit");
    port->setText(text);
    QCOMPARE(port->hasAcceptableInput(), acceptable);
    QCOMPARE(dialog.portAcceptable(), acceptable);
    // A port the field refuses cannot be confirmed.
    QCOMPARE(dialog.findChild<QPushButton *>("okButton")->isEnabled(), acceptable);
    if (acceptable)
        QCOMPARE(QString::number(dialog.port()), text);
}

void UiDialogs::portTyping()
{
    AddDevice dialog;
    QLineEdit *port = edit(&dialog, "portEdit");
    port->clear();
    QCOMPARE(dialog.port(), quint16(0)); // an empty field reads as 0
    QTest::keyClicks(port, "655361");
    QCOMPARE(port->text(), QStringLiteral("65536")); // no sixth digit
    QVERIFY(!dialog.portAcceptable());              // and still out of range
    QCOMPARE(dialog.port(), quint16(0));
    port->clear();
    QTest::keyClicks(port, "8a0x8");
    QCOMPARE(port->text(), QStringLiteral("808"));
    QCOMPARE(dialog.port(), quint16(808));
}

void UiDialogs::addDeviceTabOrderAndFocus()
{
    AddDevice dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QLineEdit *address = edit(&dialog, "addressEdit");
    QLineEdit *port = edit(&dialog, "portEdit");
    QWidget *ok = dialog.findChild<QPushButton *>("okButton");
    QWidget *cancel = dialog.findChild<QPushButton *>("cancelButton");

    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(address));
    const QList<QWidget *> order = {port, ok, cancel, address};
    for (QWidget *expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(QApplication::focusWidget() == expected,
                 qPrintable(QString(QApplication::focusWidget()->metaObject()->className()) + QApplication::focusWidget()->objectName() + QApplication::focusWidget()->property("text").toString() + " instead of " + expected->objectName()));
    }
}

void UiDialogs::addDeviceSoundPaths()
{
    AddDevice dialog;
    dialog.setSoundPath(QV_EVENT_AUDIO_CONNECTION_STARTED, "/a.wav");
    dialog.setSoundPath(QV_EVENT_AUDIO_CONNECTION_ENDED, "/b.wav");
    dialog.setSoundPath(QV_EVENT_DEVICE_ONLINE, "/c.wav");
    dialog.setSoundPath(QV_EVENT_DEVICE_OFFLINE, "/d.wav");
    QCOMPARE(edit(&dialog, "lineAudioStart")->text(), QStringLiteral("/a.wav"));
    QCOMPARE(edit(&dialog, "lineAudioFinish")->text(), QStringLiteral("/b.wav"));
    QCOMPARE(edit(&dialog, "lineConnectsToQV")->text(), QStringLiteral("/c.wav"));
    QCOMPARE(edit(&dialog, "lineDisconnectsFromQV")->text(), QStringLiteral("/d.wav"));
    QCOMPARE(dialog.soundPath(QV_EVENT_DEVICE_OFFLINE), QStringLiteral("/d.wav"));
}

void UiDialogs::cancelledBrowseEmptiesTheField()
{
    AddDevice dialog;
    dialog.setSoundPath(QV_EVENT_AUDIO_CONNECTION_ENDED, "/old.wav");
    QString title;
    QStringList filters;
    bool seen = false;
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, this, [&] {
        auto *chooser = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!chooser || !chooser->isVisible())
            return;
        seen = true;
        title = chooser->windowTitle();
        filters = chooser->nameFilters();
        QMetaObject::invokeMethod(chooser, "reject", Qt::QueuedConnection);
    });
    closer.start();
    dialog.findChild<QPushButton *>("browseAudioFinish")->click();
    closer.stop();
    QVERIFY(seen);
    QCOMPARE(title, QStringLiteral("Open WAV File"));
    QCOMPARE(filters, QStringList{"*.wav"});
    QVERIFY(dialog.soundPath(QV_EVENT_AUDIO_CONNECTION_ENDED).isEmpty());
}

void UiDialogs::passwordPromptTexts()
{
    UnitPassword dialog;
    auto *prompt = dialog.findChild<QLabel *>("promptLabel");
    QVERIFY(prompt);
    QCOMPARE(prompt->text(), QStringLiteral("Enter connection password:"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Device Login Failed"));

    dialog.setUnitName("Studio <b>A</b>");
    QCOMPARE(prompt->text(), QStringLiteral("Enter connection password for Studio <b>A</b>:"));
    QCOMPARE(prompt->textFormat(), Qt::PlainText); // a unit name is never markup
    dialog.setUnitName(QString());
    QCOMPARE(prompt->text(), QStringLiteral("Enter connection password:"));

    dialog.setAddress("10.0.0.5");
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Device Login Failed (10.0.0.5)"));
    dialog.setAddress(QString());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Device Login Failed"));
}

void UiDialogs::passwordPromptForm()
{
    UnitPassword dialog;
    QVERIFY(dialog.isModal());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(dialog.size(), QSize(307, 89));
    QLineEdit *line = edit(&dialog, "passwordEdit");
    QVERIFY(line);
    QCOMPARE(line->echoMode(), QLineEdit::PasswordEchoOnEdit);
    auto *ok = dialog.findChild<QPushButton *>("okButton");
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("OK"));

    line->setText(QStringLiteral("pässword"));
    QCOMPARE(dialog.password(), QStringLiteral("pässword"));
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.show();
    ok->click();
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

QTEST_MAIN(UiDialogs)
#include "tst_ui_dialogs.moc"
