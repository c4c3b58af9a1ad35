// The real program as an operator uses it: quorvane started as a process of
// its own against codecsim processes over 127.0.0.1, driven only through its
// window (widgets and actions by object name), and checked by what the
// window shows, what the program writes on standard error and what the
// codec tells a second client.

#include "e2efixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

using e2e::Codec;
using e2e::eventually;
using e2e::Program;

namespace {

/** A configuration naming the codec at 127.0.0.1:@p port with @p password, both alert switches on. */
bool writeConfiguration(const QString &home, quint16 port, const QString &password)
{
    QDir().mkpath(Program::configFolder(home));
    QFile f(Program::configFolder(home) + QStringLiteral("/pn-config.xml"));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<config company="Velmora Corporation" product="Quorvane" version="1.0">
    <application audio="true" default-sounds="true" height="720" width="1100" x="40" y="40"/>
    <remotes>
        <remote address="127.0.0.1" metering="true" password="%1" port="%2"/>
    </remotes>
</config>
)")
                .arg(password)
                .arg(port)
                .toUtf8());
    return true;
}

/** Saves what @p name shows as @p file in $QV_SCREENSHOTS, when set (to look at by eye). */
void shot(Program &program, const QString &name, const QString &file)
{
    const QString folder = qEnvironmentVariable("QV_SCREENSHOTS");
    if (!folder.isEmpty())
        program.grab(name, folder + QLatin1Char('/') + file);
}

/** Whether the program asked for a sound file ending in @p file. */
bool soundRequested(Program &program, const QString &file)
{
    return program.errors().contains(QRegularExpression(
        QStringLiteral("alert sound requested: \\S*%1\\n").arg(QRegularExpression::escape(file))));
}

/** The codec's own line for a peer in "qvctl peers": id, name, address, state, active, profile. */
QStringList peerOnCodec(const Codec &codec, const QString &id)
{
    for (const QString &line : codec.qvctl({"peers"}).split(QLatin1Char('\n'))) {
        if (line.startsWith(id + QLatin1Char(' ')))
            return line.split(QRegularExpression(QStringLiteral("\\s{2,}")));
    }
    return {};
}

} // namespace

class E2e : public QObject
{
    Q_OBJECT

private slots:
    void operatorSessionIsKeptAcrossRestarts();
    void codecRestartingMidCallComesBack();
    void oldFirmwareCodecLoads();
    void wrongPasswordIsAskedFor();
};

void E2e::operatorSessionIsKeptAcrossRestarts()
{
    Codec codec;
    QVERIFY(codec.start());
    QTemporaryDir home;
    const QString startSound = home.filePath("start.wav");
    const QString endSound = home.filePath("end.wav");
    QVERIFY(QFile::copy(WAV_FOLDER "/d_conn.wav", startSound));
    QVERIFY(QFile::copy(WAV_FOLDER "/d_disc.wav", endSound));
    const QString header = QStringLiteral("Northgate Studio 1 (%1)").arg(codec.target());
    const QString renamed = QStringLiteral("Studio Nine (%1)").arg(codec.target());
    const QString peer = QStringLiteral("Outside Broadcast 1");

    {
        Program program(home.path());
        QVERIFY(program.start());
        QCOMPARE(program.text("headerLabel"), QString());

        // Alerts on before the call, so that it is heard.
        QVERIFY(!program.checked("actionSound"));
        QVERIFY(program.trigger("actionSound"));
        QVERIFY(eventually([&] { return program.enabled("actionAllowDefaultAlerts"); }));
        QVERIFY(program.trigger("actionAllowDefaultAlerts"));
        QVERIFY(eventually([&] { return program.checked("actionSound") && program.checked("actionAllowDefaultAlerts"); }));

        // The codec, through "Load Codec Instance...".
        QVERIFY(program.click("loadCodecButton"));
        QVERIFY(eventually([&] { return program.modal() == "AddDevice"; }));
        QVERIFY(program.type("addressEdit", "127.0.0.1"));
        QVERIFY(program.type("portEdit", QString::number(codec.port())));
        QVERIFY(program.click("okButton"));
        QVERIFY(eventually([&] { return program.text("headerLabel") == header + " - Ready"; }));
        QVERIFY(eventually([&] { return program.rows("peerList").size() == 12; }));
        QCOMPARE(program.row("peerList", peer).value(2), QString());
        shot(program, "MainWindow", "ready.png");

        // A call to a peer with a profile that is not the codec's default.
        QVERIFY(program.choose("peerList", peer));
        QVERIFY(program.choose("profileList", "Sports Commentary"));
        QVERIFY(eventually([&] { return program.enabled("connectButton"); }));
        QVERIFY(program.click("connectButton"));
        QVERIFY(eventually([&] { return program.row("peerList", peer).value(2) == "Connected"; }));
        QVERIFY(eventually([&] { return program.text("headerLabel") == header + " - 1 connected"; }));
        const QStringList onCodec = peerOnCodec(codec, "1");
        QCOMPARE(onCodec.value(3), QStringLiteral("Connected"));
        QCOMPARE(onCodec.value(5), QStringLiteral("5")); // "Sports Commentary"
        QVERIFY(eventually([&] { return soundRequested(program, "/wav/d_conn.wav"); }));

        QVERIFY(program.choose("statusTabWidget", "Meters"));
        const QString still = program.grab("meter");
        QVERIFY(!still.isEmpty());
        QVERIFY(eventually([&] { return program.grab("meter") != still; }));
        shot(program, "MainWindow", "meters.png");
        QVERIFY(program.choose("statusTabWidget", "Statistics"));
        QVERIFY(eventually([&] { return program.row("statsTable", peer).size() > 1; }));
        shot(program, "MainWindow", "statistics.png");
        QVERIFY(program.choose("statusTabWidget", "Log"));
        QVERIFY(eventually([&] {
            return program.text("logView").contains(QRegularExpression("Audio connection started\\. Active peers:.*" + peer));
        }));

        QVERIFY(program.choose("statusTabWidget", "Connections"));
        QVERIFY(eventually([&] { return program.enabled("disconnectButton"); }));
        QVERIFY(program.click("disconnectButton"));
        QVERIFY(eventually([&] { return program.row("peerList", peer).value(2) != "Connected"; }));
        QVERIFY(eventually([&] { return program.text("headerLabel") == header + " - Ready"; }));
        QVERIFY(eventually([&] { return soundRequested(program, "/wav/d_disc.wav"); }));
        QVERIFY(program.text("logView").contains("Audio connection ended."));

        // A setting changed on the Settings tab reaches the codec.
        QVERIFY(program.choose("statusTabWidget", "Settings"));
        QVERIFY(eventually([&] { return program.choose("treeSettings", "Unit Name"); }));
        QVERIFY(eventually([&] { return program.get("lineValue").value("visible").toBool(); }));
        QVERIFY(program.type("lineValue", "Studio Nine"));
        QVERIFY(program.click("buttonSave"));
        QVERIFY(eventually([&] { return program.text("headerLabel") == renamed + " - Ready"; }));
        QVERIFY(codec.qvctl({"get", "sysOptions"}).contains("unit_name=\"Studio Nine\""));

        // Sounds of its own for the codec, and an alert address.
        QVERIFY(program.trigger("actionSetSounds"));
        QVERIFY(eventually([&] { return program.modal() == "SoundSelect"; }));
        QVERIFY(program.type("lineAudioStart", startSound));
        QVERIFY(program.type("lineAudioFinish", endSound));
        QVERIFY(program.click("buttonBox", "OK"));
        QVERIFY(eventually([&] { return program.modal().isEmpty(); }));
        QVERIFY(program.trigger("actionEnableAlertEmails"));
        QVERIFY(eventually([&] { return program.checked("actionEnableAlertEmails"); }));
        QVERIFY(program.trigger("actionAssignEmailAddresses"));
        QVERIFY(eventually([&] { return program.modal() == "EmailAssignmentDialog"; }));
        QCOMPARE(program.rows("unitList"), QList<QStringList>{{renamed}});
        QVERIFY(program.type("emailEdit", "ops@example.org"));
        QVERIFY(eventually([&] { return program.enabled("addButton"); }));
        QVERIFY(program.click("addButton"));
        QVERIFY(eventually([&] { return program.rows("addressList") == QList<QStringList>{{"ops@example.org"}}; }));
        shot(program, "EmailAssignmentDialog", "email-dialog.png");
        QVERIFY(program.click("buttonBox", "OK"));
        QVERIFY(eventually([&] { return program.modal().isEmpty(); }));

        QVERIFY(program.close());
    }

    // Started again on the same folders: all of it is back, the codec logged in without a prompt.
    Program again(home.path());
    QVERIFY(again.start());
    QVERIFY(eventually([&] { return again.text("headerLabel") == renamed + " - Ready"; }));
    QCOMPARE(again.modal(), QString());
    QVERIFY(again.checked("actionSound"));
    QVERIFY(again.checked("actionAllowDefaultAlerts"));
    QVERIFY(again.checked("actionEnableAlertEmails"));
    // The codec coming online is an alert: mailed to the kept address, through no server.
    QVERIFY(eventually([&] { return again.errors().contains("not sent: no mail server is set up"); }));

    QVERIFY(again.trigger("actionSetSounds"));
    QVERIFY(eventually([&] { return again.modal() == "SoundSelect"; }));
    QCOMPARE(again.text("lineAudioStart"), startSound);
    QCOMPARE(again.text("lineAudioFinish"), endSound);
    QVERIFY(again.click("buttonBox", "Cancel"));
    QVERIFY(eventually([&] { return again.modal().isEmpty(); }));
    QVERIFY(again.trigger("actionManageAddresses"));
    QVERIFY(eventually([&] { return again.modal() == "EmailManagementDialog"; }));
    QCOMPARE(again.rows("addressList"), QList<QStringList>{{"ops@example.org"}});
    QVERIFY(again.click("buttonBox", "Cancel"));
    QVERIFY(eventually([&] { return again.modal().isEmpty(); }));
    QVERIFY(again.close());
}

void E2e::codecRestartingMidCallComesBack()
{
    Codec codec;
    QVERIFY(codec.start({"--active-peers", "1"}));
    QTemporaryDir home;
    QVERIFY(writeConfiguration(home.path(), codec.port(), "tarlin"));
    Program program(home.path());
    QVERIFY(program.start());
    const QString header = QStringLiteral("Northgate Studio 1 (%1)").arg(codec.target());
    QVERIFY(eventually([&] { return program.text("headerLabel") == header + " - 1 connected"; }));

    codec.crash();
    const QRegularExpression lost(QStringLiteral(" - (Not connected|Connecting|Timed Out)$"));
    QVERIFY(eventually([&] { return program.text("headerLabel").contains(lost); }));
    QVERIFY(eventually([&] { return soundRequested(program, "/wav/cnn_lost.wav"); }));
    shot(program, "MainWindow", "lost.png");

    QVERIFY(codec.restart());
    QVERIFY(eventually([&] { return program.text("headerLabel") == header + " - 1 connected"; }));
    QVERIFY(eventually([&] { return program.row("peerList", "Outside Broadcast 1").value(2) == "Connected"; }));
}

void E2e::oldFirmwareCodecLoads()
{
    Codec codec;
    QVERIFY(codec.start({"--unversioned"}));
    const QMap<QString, QString> status = codec.status();
    QCOMPARE(status.value("protocol"), QStringLiteral("0 (unversioned)"));
    QTemporaryDir home;
    QVERIFY(writeConfiguration(home.path(), codec.port(), "tarlin"));
    Program program(home.path());
    QVERIFY(program.start());
    QVERIFY(eventually([&] {
        return program.text("headerLabel") == QStringLiteral("%1 (%2) - Ready").arg(status.value("unit"), codec.target());
    }));
    QVERIFY(eventually([&] { return program.rows("peerList").size() == status.value("peers").toInt(); }));
    QVERIFY(eventually([&] { return program.rows("profileList").size() == status.value("profiles").toInt(); }));
    QCOMPARE(program.text("firmwareVersionLabel"), status.value("firmware"));
    shot(program, "MainWindow", "old-firmware.png");
}

void E2e::wrongPasswordIsAskedFor()
{
    Codec codec;
    QVERIFY(codec.start({"--password", "secret"}));
    QTemporaryDir home;
    QVERIFY(writeConfiguration(home.path(), codec.port(), "tarlin"));
    const QString header = QStringLiteral("Northgate Studio 1 (%1)").arg(codec.target());
    {
        Program program(home.path());
        QVERIFY(program.start());
        QVERIFY(eventually([&] { return program.modal() == "UnitPassword"; }));
        QVERIFY(program.text("headerLabel").endsWith(" - Wrong Password"));
        shot(program, "UnitPassword", "password-prompt.png");
        QVERIFY(program.type("passwordEdit", "secret"));
        QVERIFY(program.click("okButton"));
        QVERIFY(eventually([&] { return program.text("headerLabel") == header + " - Ready"; }));
        QVERIFY(program.close());
    }
    // The answer was kept.
    Program again(home.path());
    QVERIFY(again.start());
    QVERIFY(eventually([&] { return again.text("headerLabel") == header + " - Ready"; }));
    QCOMPARE(again.modal(), QString());
    QVERIFY(again.close());
}

QTEST_GUILESS_MAIN(E2e)
#include "tst_e2e.moc"
