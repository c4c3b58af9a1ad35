// Alert e-mails: what a mail says, the rate limit, and delivery through a
// real SMTP server on 127.0.0.1 (refusals, a server that is down, a server
// that keeps the sender waiting).

#include "alerts/alertmail.h"
#include "alerts/alertmailer.h"
#include "alerts/deviceeventhandler.h"
#include "alerts/mailratelimiter.h"
#include "simrig.h"
#include "alerts/smtpsender.h"
#include "common/backendmodule.h"
#include "smtpsink.h"
#include "alerts/soundplayer.h"

#include <QJsonArray>
#include <QtTest>

#define NEED_SINK()                                                                                        \
    if (!m_haveSink)                                                                                       \
    QSKIP("python3-aiosmtpd is not installed (scripts/install-deps.sh installs it)")

namespace {
constexpr int Long = 30000;

AlertMailFacts startedFacts()
{
    AlertMailFacts f;
    f.codecName = QStringLiteral("Northgate Studio 1");
    f.codecAddress = QStringLiteral("10.0.0.5:8080");
    f.event = QV_EVENT_AUDIO_CONNECTION_STARTED;
    f.time = QDateTime(QDate(2024, 5, 1), QTime(14, 3, 22));
    f.changedPeers = QStringLiteral("Studio B");
    f.activePeers = QStringList{QStringLiteral("Studio B"), QStringLiteral("Remote 2")};
    return f;
}

MailServerSettings serverAt(quint16 port)
{
    MailServerSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.port = port;
    s.sender = QStringLiteral("alerts@quorvane.test");
    return s;
}
} // namespace

class AlertsMail : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void compose_data();
    void compose();
    void headersStayHeaders();
    void rateLimit_data();
    void rateLimit();

    void connectionStartMailsEachAddress();
    void burstIsHeldBackAndCounted();
    void failureIsLoggedAndRetriedOnce_data();
    void failureIsLoggedAndRetriedOnce();
    void sendingNeverWaitsOnTheServer();
    void testMail();

private:
    bool m_haveSink = false;
};

void AlertsMail::initTestCase()
{
    BackendModule::addSearchDir(QStringLiteral(QV_MODULE_BUILD_DIR));
    m_haveSink = !SmtpSink::python().isEmpty();
}

void AlertsMail::compose_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<int>("heldBack");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("started") << 0 << 0 << "[Quorvane] Northgate Studio 1: audio connection started"
                             << QStringList{"Time:    2024-05-01 14:03:22", "Codec:   Northgate Studio 1 (10.0.0.5:8080)",
                                            "Event:   audio connection started", "Started: Studio B",
                                            "Peers in a call: Studio B, Remote 2"};
    QTest::newRow("ended") << 1 << 0 << "[Quorvane] Northgate Studio 1: audio connection ended"
                           << QStringList{"Ended:   Studio B"};
    QTest::newRow("online") << 2 << 2 << "[Quorvane] Northgate Studio 1: codec online"
                            << QStringList{"2 more \"codec online\" alerts of this codec were held back"};
    QTest::newRow("lost") << 3 << 1 << "[Quorvane] Northgate Studio 1: codec lost"
                          << QStringList{"Peers in a call when last heard: Studio B, Remote 2",
                                         "1 more \"codec lost\" alert of this codec was held back"};
}

void AlertsMail::compose()
{
    QFETCH(int, event);
    QFETCH(int, heldBack);
    QFETCH(QString, subject);
    QFETCH(QStringList, lines);
    AlertMailFacts f = startedFacts();
    f.event = QV_EVENT(event);
    f.heldBack = heldBack;
    const AlertMail mail = AlertMail::compose(f);
    QCOMPARE(mail.subject, subject);
    for (const QString &line : lines)
        QVERIFY2(mail.body.contains(line), qPrintable(mail.body));
    QCOMPARE(mail.body.contains("held back"), heldBack > 0);
}

void AlertsMail::headersStayHeaders()
{
    OutgoingMail m;
    m.from = "alerts@quorvane.test";
    m.to = "ops@example.org";
    // A codec's name is the codec's to choose, line breaks included.
    m.subject = "[Quorvane] Evil\r\nBcc: victim@example.org: codec lost";
    m.body = "line one\nline two";
    const QByteArray wire = SmtpSender::format(m);
    QVERIFY(!wire.contains("\r\nBcc:"));
    QVERIFY(wire.contains("Subject: [Quorvane] Evil Bcc: victim@example.org: codec lost\r\n"));
    QVERIFY(wire.endsWith("\r\n\r\nline one\r\nline two\r\n"));

    m.subject = QString::fromUtf8("[Quorvane] Studio Zürich: codec online");
    QVERIFY(SmtpSender::format(m).contains("Subject: =?UTF-8?B?"));
    QVERIFY(!SmtpSender::envelopeAddressOk("ops@example.org>\r\nRCPT TO:<x@y.z"));
    QVERIFY(!SmtpSender::envelopeAddressOk("no-at-sign"));
    QVERIFY(SmtpSender::envelopeAddressOk("ops@example.org"));

    // Such an address is reported at once, never handed to a server.
    AlertMailer mailer;
    mailer.setServer(serverAt(SmtpSink::closedPort()));
    QSignalSpy failed(&mailer, &AlertMailer::mailFailed);
    QTest::ignoreMessage(QtWarningMsg, "Alert e-mail not sent to \"ops @example.org\": not a usable address.");
    mailer.alert(startedFacts(), {"ops @example.org"});
    QCOMPARE(failed.count(), 1);
    QCOMPARE(mailer.pending(), 0);
}

void AlertsMail::rateLimit_data()
{
    // Each step: "key@second"; the result lists, per step, "+N" (sent, N held back before) or "-".
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("results");
    QTest::newRow("first goes") << "a@0" << "+0";
    QTest::newRow("burst") << "a@0 a@1 a@2 a@59" << "+0 - - -";
    QTest::newRow("after a minute") << "a@0 a@10 a@20 a@60" << "+0 - - +2";
    QTest::newRow("kinds apart") << "a@0 b@1 a@2 b@3" << "+0 +0 - -";
    QTest::newRow("count starts again") << "a@0 a@1 a@60 a@61 a@125" << "+0 - +1 - +1";
}

void AlertsMail::rateLimit()
{
    QFETCH(QString, steps);
    QFETCH(QString, results);
    MailRateLimiter limiter;
    QStringList seen;
    for (const QString &step : steps.split(' ')) {
        const QStringList parts = step.split('@');
        int held = -1;
        const bool sent = limiter.admit(parts.at(0), parts.at(1).toLongLong() * 1000, &held);
        seen << (sent ? QStringLiteral("+%1").arg(held) : QStringLiteral("-"));
    }
    QCOMPARE(seen.join(' '), results);
}

void AlertsMail::connectionStartMailsEachAddress()
{
    NEED_SINK();
    SmtpSink sink;
    QVERIFY(sink.start());
    SimRig rig;
    QVERIFY(rig.ok());

    AlertMailer mailer;
    mailer.setServer(serverAt(sink.port()));
    RecordingSoundPlayer player;
    DeviceEventHandler handler(&player);
    AlertSwitches on;
    on.alertEmails = true;
    handler.setSwitches(on);
    handler.setMailer(&mailer);
    QSignalSpy sent(&mailer, &AlertMailer::mailSent);

    IPCObject *s = rig.session();
    s->setEmailAddresses({"ops@example.org", "night@example.org"});
    connect(s, &IPCObject::deviceEvent, &handler, &DeviceEventHandler::handleEvent);
    s->setAddressAndConnect("127.0.0.1", rig.port(), "tarlin");
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), IQEndpointClient::READY, Long);
    // Coming online is an event of its own: one mail to each address.
    QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 2, Long);

    QVERIFY(s->connectPeer("1", "2"));
    QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 4, Long);
    const QString unit = s->unitName();
    const QString peer = s->peersById().value(1)->name;
    QVERIFY(!unit.isEmpty() && !peer.isEmpty());

    const QList<QJsonObject> mails = sink.mails();
    QCOMPARE(mails.size(), 4);
    QVERIFY(mails.at(0).value("subject").toString().endsWith(": codec online"));
    QStringList recipients;
    for (const QJsonObject &m : mails.mid(2)) {
        recipients << m.value("to").toArray().at(0).toString();
        QCOMPARE(m.value("from").toString(), QStringLiteral("alerts@quorvane.test"));
        QCOMPARE(m.value("subject").toString(), QStringLiteral("[Quorvane] %1: audio connection started").arg(unit));
        const QString body = m.value("body").toString();
        for (const QString &line : {QStringLiteral("Codec:   %1 (127.0.0.1:%2)").arg(unit).arg(rig.port()),
                                    QStringLiteral("Event:   audio connection started"), "Started: " + peer,
                                    "Time:    " + QDate::currentDate().toString("yyyy-MM-dd")})
            QVERIFY2(body.contains(line), qPrintable(body));
    }
    recipients.sort();
    QCOMPARE(recipients, QStringList({"night@example.org", "ops@example.org"}));
    QVERIFY(player.played.isEmpty()); // sounds were off
}

void AlertsMail::burstIsHeldBackAndCounted()
{
    NEED_SINK();
    SmtpSink sink;
    QVERIFY(sink.start());
    AlertMailer mailer;
    mailer.setServer(serverAt(sink.port()));
    qint64 now = 0;
    mailer.setClock([&now] { return now; });
    QSignalSpy sent(&mailer, &AlertMailer::mailSent);

    for (int i = 0; i < 5; ++i) {
        mailer.alert(startedFacts(), {"ops@example.org"});
        now += 1000;
    }
    QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 1, Long);
    now += 60000;
    mailer.alert(startedFacts(), {"ops@example.org"});
    QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 2, Long);

    const QList<QJsonObject> mails = sink.mails();
    QCOMPARE(mails.size(), 2);
    QVERIFY(!mails.at(0).value("body").toString().contains("held back"));
    QVERIFY2(mails.at(1).value("body").toString().contains(
                 "4 more \"audio connection started\" alerts of this codec were held back"),
             qPrintable(mails.at(1).value("body").toString()));
}

void AlertsMail::failureIsLoggedAndRetriedOnce_data()
{
    QTest::addColumn<bool>("refuses"); // else nothing listens
    QTest::addColumn<QString>("answer");
    QTest::newRow("refused") << true << "554 5.7.1 Refused by the test server";
    QTest::newRow("down") << false << "Couldn't connect to server";
}

void AlertsMail::failureIsLoggedAndRetriedOnce()
{
    QFETCH(bool, refuses);
    QFETCH(QString, answer);
    SmtpSink sink;
    if (refuses) {
        NEED_SINK();
        QVERIFY(sink.start("refuse"));
    }
    AlertMailer mailer;
    mailer.setServer(serverAt(refuses ? sink.port() : SmtpSink::closedPort()));
    mailer.setRetryDelay(10);
    QSignalSpy failed(&mailer, &AlertMailer::mailFailed);
    for (int attempt = 1; attempt <= 2; ++attempt)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("ops@example.org .*attempt %1 of 2\\): .*%2")
                                                                  .arg(attempt).arg(QRegularExpression::escape(answer))));
    mailer.alert(startedFacts(), {"ops@example.org"});
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, Long);
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("ops@example.org"));
    QVERIFY(failed.at(0).at(2).toString().contains(answer));
    QCOMPARE(sink.attempts(), refuses ? 2 : 0);
    QCOMPARE(mailer.pending(), 0);
}

void AlertsMail::sendingNeverWaitsOnTheServer()
{
    NEED_SINK();
    SmtpSink sink;
    QVERIFY(sink.start("hold"));
    AlertMailer mailer;
    mailer.setServer(serverAt(sink.port()));
    QSignalSpy sent(&mailer, &AlertMailer::mailSent);

    // The server holds the delivery until this thread lets it go: a send that
    // waited for it would never come back.
    mailer.alert(startedFacts(), {"ops@example.org"});
    QCOMPARE(mailer.pending(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(sink.attempts(), 1, Long);
    QCOMPARE(sent.count(), 0);
    sink.release();
    QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 1, Long);
    QCOMPARE(sink.mails().size(), 1);

    // A mailer that goes while a delivery is held gives it up.
    SmtpSink held;
    QVERIFY(held.start("hold"));
    auto *leaving = new AlertMailer;
    leaving->setServer(serverAt(held.port()));
    leaving->alert(startedFacts(), {"ops@example.org"});
    QTRY_COMPARE_WITH_TIMEOUT(held.attempts(), 1, Long);
    delete leaving;
    QCOMPARE(held.mails().size(), 0);
}

void AlertsMail::testMail()
{
    NEED_SINK();
    SmtpSink sink;
    QVERIFY(sink.start());
    AlertMailer mailer;
    QSignalSpy done(&mailer, &AlertMailer::testMailFinished);
    mailer.sendTestMail(serverAt(sink.port()), "ops@example.org");
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, Long);
    QCOMPARE(done.at(0).at(0).toBool(), true);
    QCOMPARE(sink.mails().value(0).value("subject").toString(), QStringLiteral("[Quorvane] Test mail"));
}

QTEST_GUILESS_MAIN(AlertsMail)
#include "tst_alerts_mail.moc"
