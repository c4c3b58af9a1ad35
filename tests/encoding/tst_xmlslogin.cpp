// The client side of "xmls" and its login, driven through a host without a
// socket: hello and ping, the challenge, the result, the gate, the fallback
// to the unversioned protocol and the keep-alive.

#include "ipcprotocolxmlsclient.h"
#include "logger.h"
#include "message.h"
#include "protocolhost.h"

#include <QtTest>

#include <string>
#include <vector>

namespace {

Message parsed(const std::string &text)
{
    Message m;
    m.parse(text);
    return m;
}

void feed(IPCProtocolXMLS &p, const std::string &xml)
{
    const std::string bytes = xml + std::string(1, '\0');
    p.receive_data(bytes.data(), bytes.size());
}

std::vector<std::string> names(const std::vector<Message> &messages)
{
    std::vector<std::string> out;
    for (const Message &m : messages)
        out.push_back(m.name());
    return out;
}

Message request(const char *name, const char *seq)
{
    Message m(name);
    m.set_string("seq", seq);
    return m;
}

} // namespace

class TestXmlsLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::instance().setThreshold(LOGC_LOGIN, LOG_WARNING); }

    void challengeAnsweredAndGateOpened()
    {
        HostStub host;
        host.user = "op";
        host.secret = "secret";
        IPCProtocolXMLSClient p(&host);
        p.state_changed(4);
        std::vector<Message> sent = host.takeSent();
        QCOMPARE(names(sent), (std::vector<std::string>{"hello", "ping"}));
        QCOMPARE(sent[0].get_string("seq"), std::string("hello"));
        QCOMPARE(sent[0].get_string("version"), std::string("1"));

        // refused before the login: the endpoint keeps it queued
        QVERIFY(!p.send(request("getAlpha", "alpha")));
        feed(p, "<resp seq=\"hello\" fail=\"true\" error_code=\"401\" challenge=\"abc\"/>");
        sent = host.takeSent();
        QCOMPARE(names(sent), std::vector<std::string>{"login"});
        QCOMPARE(sent[0].get_string("seq"), std::string("login"));
        QCOMPARE(sent[0].get_string("username"), std::string("op"));
        QCOMPARE(sent[0].get_string("response"), IPCProtocolXMLSClient::digest("abc", "secret"));
        QCOMPARE(host.authenticated, 0);

        feed(p, "<resp seq=\"login\" success=\"true\"/>");
        QCOMPARE(host.authenticated, 1);
        QVERIFY(p.authenticated());
        QVERIFY(p.send(request("getAlpha", "alpha")));
        QCOMPARE(names(host.takeSent()), std::vector<std::string>{"getAlpha"});
        // the handshake's pong reaches the endpoint; nothing else was delivered
        feed(p, "<pong seq=\"ping\"/>");
        QCOMPARE(names(host.delivered), std::vector<std::string>{"pong"});
        QVERIFY(host.failures.empty());
    }

    void letInOnHello()
    {
        HostStub host;
        IPCProtocolXMLSClient p(&host);
        p.state_changed(4);
        host.takeSent();
        feed(p, "<resp seq=\"hello\" version=\"1\"/>");
        QCOMPARE(host.authenticated, 1);
        QVERIFY(host.takeSent().empty()); // no login at all
    }

    void refusedLogin()
    {
        HostStub host;
        IPCProtocolXMLSClient p(&host);
        p.state_changed(4);
        feed(p, "<resp seq=\"hello\" fail=\"true\" error_code=\"401\" challenge=\"abc\"/>");
        feed(p, "<resp seq=\"login\" success=\"true\" fail=\"true\"/>");
        QCOMPARE(host.failures, std::vector<std::string>{"authentication failure"});
        QCOMPARE(host.refused, 1);
        QCOMPARE(host.authenticated, 0);
        // what the closing connection still brings is not delivered
        feed(p, "<unso id=\"status\"><status/></unso>");
        QVERIFY(host.delivered.empty());
        // the next connection starts over
        host.takeSent();
        p.state_changed(0);
        p.state_changed(4);
        QCOMPARE(names(host.takeSent()), (std::vector<std::string>{"hello", "ping"}));
    }

    void fallbackToUnversioned()
    {
        HostStub host;
        IPCProtocolXMLSClient p(&host);
        p.state_changed(4);
        host.takeSent();
        // a pong that does not echo the ping: old firmware
        feed(p, "<pong seq=\"pong\"/>");
        QCOMPARE(host.version, 0u);
        QVERIFY(!p.versioned());
        QCOMPARE(host.takeSent(), std::vector<Message>{Message("login")});
        feed(p, "<login challenge=\"xyz\"/>");
        QCOMPARE(host.takeSent().at(0).get_string("response"), IPCProtocolXMLSClient::digest("xyz", ""));
        feed(p, "<login success=\"true\"/>");
        QCOMPARE(host.authenticated, 1);

        // every request gets a stand-in answer; bare elements are notices
        QVERIFY(p.send(request("getPeerList", "peerList")));
        QCOMPARE(host.delivered, std::vector<Message>{parsed("<resp seq=\"peerList\"/>")});
        feed(p, "<peerList/>");
        QCOMPARE(host.delivered.back(), Message("peerList"));

        // a later connection of the same endpoint opens with a bare login
        host.takeSent();
        p.state_changed(0);
        p.state_changed(4);
        QCOMPARE(host.takeSent(), std::vector<Message>{Message("login")});
    }

    void keepAlivePongIsTrafficOnly()
    {
        HostStub host;
        IPCProtocolXMLSClient p(&host);
        p.state_changed(4);
        feed(p, "<resp seq=\"hello\"/>");
        feed(p, "<pong seq=\"ping\"/>"); // the handshake's own
        const size_t delivered = host.delivered.size();
        host.takeSent();
        p.send_keepalive();
        QCOMPARE(names(host.takeSent()), std::vector<std::string>{"ping"});
        feed(p, "<pong seq=\"ping\"/>");
        QCOMPARE(host.activity, 1);
        QCOMPARE(host.delivered.size(), delivered);
    }
};

QTEST_GUILESS_MAIN(TestXmlsLogin)
#include "tst_xmlslogin.moc"
