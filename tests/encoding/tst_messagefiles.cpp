// Message files: written safely (temporary file, flush, rename), read back
// in either encoding, and clear errors when the file system says no.

#include "exception.h"
#include "message.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <sys/stat.h>

namespace {

std::string readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::string();
    return f.readAll().toStdString();
}

void writeAll(const QString &path, const std::string &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes.data(), qint64(bytes.size()));
}

QString thrownText(const std::function<void()> &f)
{
    try {
        f();
    } catch (const Exception &e) {
        return QString::fromUtf8(e.what());
    }
    return QString("(nothing thrown)");
}

Message configuration()
{
    Message config("config");
    Message &device = config.add_child("device");
    device.set_string("addr", "192.0.2.7");
    device.set_uint("port", 8080);
    device.set_string("pw", "p\"w<&>");
    device.set_bool("metering", true);
    Message &window = config.add_child("window");
    window.set_int("x", -5);
    window.set_int("y", 20);
    window.add_child("geometry").set_string("state", "AAAA");
    config.add_child("alerts").set_bool("sound", false);
    return config;
}

// The XML form carries no values and reads every attribute as a string.
void normalise(Message &m)
{
    m.setValue(std::string());
    std::vector<std::pair<std::string, std::string>> texts;
    for (const auto &entry : m.attributes())
        texts.emplace_back(entry.first, entry.second.toString());
    for (auto &t : texts)
        m.set_string(t.first, t.second);
    for (int i = 0; i < m.child_count(); ++i)
        normalise(m.get_child(i));
}

} // namespace

class TestMessageFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    std::string spath(const char *name) const { return path(name).toStdString(); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void configurationFileIsIndentedAndReadsBack()
    {
        const Message config = configuration();
        config.write_to_file(Message::Xml, spath("pn-config.xml"));
        QCOMPARE(readAll(path("pn-config.xml")),
                 std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<config>\n"
                             "    <device addr=\"192.0.2.7\" metering=\"true\" port=\"8080\" pw=\"p&quot;w&lt;&amp;&gt;\"/>\n"
                             "    <window x=\"-5\" y=\"20\">\n"
                             "        <geometry state=\"AAAA\"/>\n"
                             "    </window>\n"
                             "    <alerts sound=\"false\"/>\n"
                             "</config>\n"));

        Message back;
        back.read_from_file(spath("pn-config.xml"));
        // Values take the indentation that follows the last child.
        QCOMPARE(back.value(), std::string("\n"));
        QCOMPARE(back.get_child("window").value(), std::string("\n    "));
        QCOMPARE(back.get_child("device").value(), std::string());
        Message expected = config;
        normalise(expected);
        normalise(back);
        QCOMPARE(back, expected);
        QCOMPARE(back.get_child("device").get_uint("port"), 8080u);
    }

    void replacingKeepsNoTemporaryFiles()
    {
        const QString target = path("replace.xml");
        writeAll(target, "old contents that are longer than the new ones, to see truncation");
        ::chmod(QFile::encodeName(target).constData(), 0640);
        Message("small").write_to_file(Message::Xml, target.toStdString());
        QCOMPARE(readAll(target), std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<small/>\n"));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0640); // the replaced file's mode is kept
        const QStringList left = QDir(m_dir.path()).entryList({"replace.xml*"}, QDir::Files);
        QCOMPARE(left, QStringList{"replace.xml"});
    }

    void compactFileKeepsKinds()
    {
        const Message config = configuration();
        config.write_to_file(Message::Compact, spath("config.bin"));
        QCOMPARE(readAll(path("config.bin")).substr(0, 1), std::string(1, '\0'));
        Message back;
        back.read_from_file(spath("config.bin"));
        QCOMPARE(back, config);
        QCOMPARE(back.get_child("device").attr("port")->kind(), AttrValue::UInt);
    }

    void otherFormatCodesWriteNothing()
    {
        Message("x").write_to_file(7, spath("seven.xml"));
        QVERIFY(!QFile::exists(path("seven.xml")));
    }

    void readingAMissingFile()
    {
        Message m;
        QCOMPARE(thrownText([&] { m.read_from_file(spath("missing.xml")); }),
                 QString("read_from_file: No such file or directory"));
    }

    void readingADirectory()
    {
        Message m;
        QCOMPARE(thrownText([&] { m.read_from_file(m_dir.path().toStdString()); }),
                 QString("read_from_file: Is a directory"));
    }

    void writingIntoAMissingFolderThrows()
    {
        const std::string target = spath("no/such/folder/pn-config.xml");
        QCOMPARE(thrownText([&] { configuration().write_to_file(Message::Xml, target); }),
                 QString("write_to_file: No such file or directory"));
    }

    void writingOverADirectoryThrowsAndCleansUp()
    {
        QVERIFY(QDir(m_dir.path()).mkpath("occupied/inner"));
        const QString target = path("occupied");
        QCOMPARE(thrownText([&] { Message("x").write_to_file(Message::Xml, target.toStdString()); }),
                 QString("write_to_file: Is a directory"));
        QCOMPARE(QDir(m_dir.path()).entryList({"occupied*"}, QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"occupied"});
    }

    void fileFormatFollowsTheFirstByte()
    {
        writeAll(path("text.xml"), "<a k=\"v\"><b/></a>");
        Message m("old");
        m.set_int("stale", 1);
        m.read_from_file(spath("text.xml"));
        QCOMPARE(m.name(), std::string("a"));
        QCOMPARE(m.get_string("k"), std::string("v"));
        QVERIFY(!m.has_attribute("stale"));

        // neither '<' nor 0x00: parse recognises nothing and the node is emptied of attributes and children
        writeAll(path("text.txt"), " <a k=\"v\"/>");
        m.read_from_file(spath("text.txt"));
        QCOMPARE(m.attributes().size(), size_t(0));
        QCOMPARE(m.child_count(), 0);

        // a truncated compact file throws the decoder's text
        std::string bytes;
        configuration().serialize(bytes, Message::Compact);
        writeAll(path("cut.bin"), bytes.substr(0, 10));
        QVERIFY(thrownText([&] { m.read_from_file(spath("cut.bin")); }).contains("message too short"));

        // an empty file is an empty XML document
        writeAll(path("empty.xml"), "");
        Message e;
        e.read_from_file(spath("empty.xml"));
        QVERIFY(e.isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestMessageFiles)
#include "tst_messagefiles.moc"
