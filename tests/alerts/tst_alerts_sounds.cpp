// Alert sounds: the decision table through the playback seam, where sound
// files are looked for, the built-in sounds, and the "Set Alert Sounds" dialog.

#include "alerts/alertflows.h"
#include "alerts/backends/mailbackend.h"
#include "alerts/backends/soundbackend.h"
#include "alertstest.h"
#include "alerts/deviceeventhandler.h"
#include "alerts/soundplayer.h"
#include "alerts/soundselect.h"
#include "common/backendmodule.h"
#include "uitest.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

class AlertsSounds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void decision_data();
    void decision();
    void soundFiles();
    void backendModules_data();
    void backendModules();
    void noAudioDeviceLogsOnce();
    void dialogForm();
    void browse();
    void okKeepsOldPathForMissingFile();

private:
    QTemporaryDir m_dir; // the three defaults under wav/, and chosen.wav
    QString m_chosen;
};

void AlertsSounds::initTestCase()
{
    QVERIFY(QDir(m_dir.path()).mkpath("wav"));
    for (const char *name : {"wav/d_conn.wav", "wav/d_disc.wav", "wav/cnn_lost.wav", "chosen.wav"}) {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    m_chosen = m_dir.filePath("chosen.wav");
    BackendModule::addSearchDir(QStringLiteral(QV_MODULE_BUILD_DIR));
}

void AlertsSounds::decision_data()
{
    // path: "" none, "mute", "chosen" (exists), "missing". played: "" nothing, or the file name.
    QTest::addColumn<bool>("alerts");
    QTest::addColumn<bool>("defaults");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("event");
    QTest::addColumn<QString>("played");
    QTest::newRow("mute, defaults allowed") << true << true << "mute" << 0 << "";
    QTest::newRow("alerts off, chosen file") << false << true << "chosen" << 0 << "";
    QTest::newRow("alerts off, defaults allowed") << false << true << "" << 3 << "";
    QTest::newRow("no path, defaults disallowed") << true << false << "" << 0 << "";
    QTest::newRow("event 2, no path, defaults allowed") << true << true << "" << 2 << "";
    QTest::newRow("event 2, chosen file") << true << false << "chosen" << 2 << "chosen.wav";
    QTest::newRow("chosen file, defaults disallowed") << true << false << "chosen" << 1 << "chosen.wav";
    QTest::newRow("missing chosen file: no default either") << true << true << "missing" << 0 << "";
    QTest::newRow("event 0 default") << true << true << "" << 0 << "d_conn.wav";
    QTest::newRow("event 1 default") << true << true << "" << 1 << "d_disc.wav";
    QTest::newRow("event 3 default") << true << true << "" << 3 << "cnn_lost.wav";
}

void AlertsSounds::decision()
{
    QFETCH(bool, alerts);
    QFETCH(bool, defaults);
    QFETCH(QString, path);
    QFETCH(int, event);
    QFETCH(QString, played);

    RecordingSoundPlayer player;
    DeviceEventHandler handler(&player);
    AlertSwitches switches;
    switches.connectionAlerts = alerts;
    switches.defaultSounds = defaults;
    handler.setSwitches(switches);
    handler.setSoundFiles(AlertSoundFiles({m_dir.path()}));
    AlertProbe device;
    const QV_EVENT e = QV_EVENT(event);
    device.setAlertSound(e, path == "chosen" ? m_chosen : path == "missing" ? m_dir.filePath("gone.wav") : path);

    handler.handleEvent(&device, e);
    handler.handleEvent(nullptr, e); // dropped
    QStringList names;
    for (const QString &file : player.played)
        names << QFileInfo(file).fileName();
    QCOMPARE(names, played.isEmpty() ? QStringList() : QStringList{played});
}

void AlertsSounds::soundFiles()
{
    // A relative path: the first folder holding it wins; a folder is no sound.
    QTemporaryDir empty;
    AlertSoundFiles files({empty.path(), m_dir.path()});
    QCOMPARE(files.resolve("wav/d_conn.wav"), m_dir.filePath("wav/d_conn.wav"));
    QVERIFY(files.resolve("wav/other.wav").isEmpty());
    QVERIFY(files.resolve("wav").isEmpty());
    QCOMPARE(files.resolve(m_chosen), m_chosen);
    const QString program = QCoreApplication::applicationDirPath();
    QCOMPARE(AlertSoundFiles().searchFolders(),
             QStringList({QDir::currentPath(), program, QDir::cleanPath(program + "/../share/quorvane"),
                          AlertSoundFiles::installedDataFolder()}));
    QVERIFY(AlertSoundFiles::installedDataFolder().endsWith("/share/quorvane"));

    // The built-in sounds: short 16-bit PCM that any player takes.
    const AlertSoundFiles shipped({QV_SOURCE_DIR "/resources"});
    for (QV_EVENT e : {QV_EVENT_AUDIO_CONNECTION_STARTED, QV_EVENT_AUDIO_CONNECTION_ENDED, QV_EVENT_DEVICE_OFFLINE}) {
        QFile f(shipped.resolve(AlertSoundFiles::defaultSound(e)));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(AlertSoundFiles::defaultSound(e)));
        const QByteArray head = f.read(44);
        QVERIFY(head.startsWith("RIFF") && head.mid(8, 8) == "WAVEfmt ");
        QCOMPARE(qFromLittleEndian<quint16>(head.constData() + 20), quint16(1));
        QCOMPARE(qFromLittleEndian<quint16>(head.constData() + 34), quint16(16));
        const quint32 bytesPerSecond = qFromLittleEndian<quint32>(head.constData() + 28);
        QVERIFY(qFromLittleEndian<quint32>(head.constData() + 40) < bytesPerSecond);
    }
}

void AlertsSounds::backendModules_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QString>("error"); // empty: every symbol resolves
    const QStringList sound{SoundOutputPresentSymbol, SoundPlaySymbol};
    QTest::newRow("sound") << "sound" << sound << QString();
    QTest::newRow("mail") << "mail" << QStringList{SmtpTransferSymbol} << QString();
    QTest::newRow("unknown symbol") << "sound" << QStringList{"quorvane_sound_stop"} << "has no quorvane_sound_stop";
    QTest::newRow("missing module") << "absent" << sound
                                    << QStringLiteral("libquorvane-absent.so not found in " QV_MODULE_BUILD_DIR);
}

void AlertsSounds::backendModules()
{
    QFETCH(QString, name);
    QFETCH(QStringList, symbols);
    QFETCH(QString, error);
    BackendModule module(name);
    QCOMPARE(module.locate().isEmpty(), name == QLatin1String("absent"));
    for (const QString &symbol : symbols) {
        // twice: a module that failed to load fails again without another search
        for (int round = 0; round < 2; ++round) {
            const bool resolved = module.resolve(symbol.toLatin1().constData()) != nullptr;
            QCOMPARE(resolved, error.isEmpty());
            QVERIFY2(module.errorString().contains(error), qPrintable(module.errorString()));
        }
    }
}

void AlertsSounds::noAudioDeviceLogsOnce()
{
    const auto present = reinterpret_cast<SoundOutputPresentFunction>(
        QSoundPlayer::module().resolve(SoundOutputPresentSymbol));
    QVERIFY2(present, qPrintable(QSoundPlayer::module().errorString()));
    if (present())
        QSKIP("this machine has an audio output");
    static int warnings;
    warnings = 0;
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
        warnings += text.contains("No audio output device");
    });
    QSoundPlayer player;
    player.play(m_chosen);
    player.play(m_chosen);
    qInstallMessageHandler(previous);
    QCOMPARE(warnings, 1);
}

void AlertsSounds::dialogForm()
{
    SoundSelect dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Set Alert Sounds"));
    QCOMPARE(uitest::child<QGroupBox>(&dialog, "soundsGroup")->title(), QStringLiteral("Sounds to play when a device..."));
    const QList<std::pair<const char *, QString>> rows{{"lineConnectsToQV", "Connects to Quorvane"},
                                                       {"lineDisconnectsFromQV", "Disconnects from Quorvane"},
                                                       {"lineAudioStart", "Starts an audio connection"},
                                                       {"lineAudioFinish", "Finishes an audio connection"}};
    const QV_EVENT events[] = {QV_EVENT_DEVICE_ONLINE, QV_EVENT_DEVICE_OFFLINE, QV_EVENT_AUDIO_CONNECTION_STARTED,
                               QV_EVENT_AUDIO_CONNECTION_ENDED};
    for (int i = 0; i < rows.size(); ++i) {
        auto *line = uitest::child<QLineEdit>(&dialog, rows[i].first);
        QVERIFY(line);
        QStringList labels;
        for (QLabel *l : dialog.findChildren<QLabel *>()) {
            if (l->buddy() == line)
                labels << l->text();
        }
        QCOMPARE(labels, QStringList{rows[i].second});
        dialog.setSoundPath(events[i], rows[i].second);
        QCOMPARE(line->text(), rows[i].second);
    }
}

void AlertsSounds::browse()
{
    SoundSelect dialog;
    dialog.setSoundPath(QV_EVENT_DEVICE_OFFLINE, "/old.wav");
    QString title;
    QStringList filters;
    auto seen = uitest::whenModal<QFileDialog>([&](QFileDialog *chooser) {
        title = chooser->windowTitle();
        filters = chooser->nameFilters();
        QMetaObject::invokeMethod(chooser, "reject", Qt::QueuedConnection);
    });
    dialog.QVDisconnectBrowse();
    QVERIFY(*seen);
    QCOMPARE(title, QStringLiteral("Open WAV File"));
    QCOMPARE(filters, QStringList{"*.wav"});
    QVERIFY(dialog.soundPath(QV_EVENT_DEVICE_OFFLINE).isEmpty()); // cancelled: emptied
}

void AlertsSounds::okKeepsOldPathForMissingFile()
{
    AlertProbe device;
    device.setAlertSound(QV_EVENT_AUDIO_CONNECTION_ENDED, "/old/end.wav");
    device.setAlertSound(QV_EVENT_DEVICE_OFFLINE, "mute");
    int saves = 0;
    uitest::whenModal<SoundSelect>([&](SoundSelect *d) {
        QCOMPARE(d->soundPath(QV_EVENT_AUDIO_CONNECTION_ENDED), QStringLiteral("/old/end.wav"));
        d->reject();
    });
    QVERIFY(!AlertFlows::chooseSounds(&device, nullptr, AlertSoundFiles({m_dir.path()}), [&] { ++saves; }));
    QCOMPARE(saves, 0);

    uitest::whenModal<SoundSelect>([&](SoundSelect *d) {
        d->setSoundPath(QV_EVENT_AUDIO_CONNECTION_STARTED, m_chosen);
        d->setSoundPath(QV_EVENT_AUDIO_CONNECTION_ENDED, m_dir.filePath("missing.wav"));
        d->setSoundPath(QV_EVENT_DEVICE_ONLINE, "wav/d_conn.wav"); // relative, found in the search folders
        d->setSoundPath(QV_EVENT_DEVICE_OFFLINE, QString());      // a cancelled chooser
        d->accept();
    });
    QVERIFY(AlertFlows::chooseSounds(&device, nullptr, AlertSoundFiles({m_dir.path()}), [&] { ++saves; }));
    QCOMPARE(saves, 1);
    QCOMPARE(device.alertSound(QV_EVENT_AUDIO_CONNECTION_STARTED), m_chosen);
    QCOMPARE(device.alertSound(QV_EVENT_AUDIO_CONNECTION_ENDED), QStringLiteral("/old/end.wav"));
    QCOMPARE(device.alertSound(QV_EVENT_DEVICE_ONLINE), QStringLiteral("wav/d_conn.wav"));
    QCOMPARE(device.alertSound(QV_EVENT_DEVICE_OFFLINE), QStringLiteral("mute"));
}

QTEST_MAIN(AlertsSounds)
#include "tst_alerts_sounds.moc"
