#include "configfile.h"

#include "exception.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QXmlStreamReader>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QMutex &configMutex()
{
    static QMutex mutex;
    return mutex;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QByteArray encodedPath(const QString &path)
{
    return QFile::encodeName(path);
}

// ---------------------------------------------------------------------------
// Tree <-> settings

QString text(const Message &node, const char *key)
{
    const AttrValue *a = node.attr(key);
    if (!a)
        return QString();
    std::string scratch;
    return QString::fromStdString(a->text(scratch));
}

void setText(Message &node, const char *key, const QString &value)
{
    node.set_string(key, value.toStdString());
}

// A whole decimal number, or nothing: "70000x" or "" are not read as a prefix or 0.
std::optional<int> number(const Message &node, const char *key)
{
    if (!node.has_attribute(key))
        return std::nullopt;
    bool ok = false;
    const int value = text(node, key).trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// A TCP port, or 0 when missing or out of range (never cut to 16 bits).
int readPort(const Message &node, const char *where)
{
    if (!node.has_attribute("port"))
        return 0;
    const std::optional<int> port = number(node, "port");
    if (port && *port >= 1 && *port <= 65535)
        return *port;
    qWarning("pn-config.xml: ignoring %s port \"%s\": not a port number (1..65535)", where,
             qPrintable(text(node, "port")));
    return 0;
}

ConfigWindow readWindow(const Message &app)
{
    ConfigWindow window;
    window.position = QPoint(number(app, "x").value_or(0), number(app, "y").value_or(0));
    const std::optional<int> width = number(app, "width");
    const std::optional<int> height = number(app, "height");
    if (width && height && *width > 0 && *height > 0)
        window.size = QSize(*width, *height);
    else
        qWarning("pn-config.xml: ignoring the window size \"%s\" x \"%s\": missing or not positive",
                 qPrintable(text(app, "width")), qPrintable(text(app, "height")));
    window.connectionAlerts = app.get_bool("audio", false);
    window.defaultSounds = app.get_bool("default-sounds", false);
    window.alertEmails = app.get_bool("alert-emails", false);
    return window;
}

ConfigRemote readRemote(const Message &node)
{
    ConfigRemote remote;
    remote.address = text(node, "address");
    remote.port = readPort(node, "the device's");
    remote.password = text(node, "password");
    remote.metering = node.get_bool("metering", true);
    for (int i = 0; i < node.child_count(); ++i) {
        const Message &child = node.get_child(i);
        if (child.name() == "sound") {
            const std::optional<int> event = number(child, "event");
            const QString path = text(child, "path");
            if (event && *event >= 0 && !path.isEmpty())
                remote.alertSounds.insert(*event, path);
            else
                qWarning("pn-config.xml: ignoring an alert sound without event or path");
        } else if (child.name() == "email") {
            const QString address = text(child, "address");
            if (!address.isEmpty())
                remote.emailAddresses.append(address);
        }
    }
    return remote;
}

const char *const SecurityNames[] = {"none", "starttls", "tls"};

MailServerSettings readMail(const Message &node)
{
    MailServerSettings mail;
    mail.host = text(node, "host");
    if (node.has_attribute("port")) {
        if (const int port = readPort(node, "the mail server's"))
            mail.port = port;
    }
    const QString security = text(node, "security");
    mail.security = MailServerSettings::None;
    for (int i = 0; i < 3; ++i) {
        if (security == QLatin1String(SecurityNames[i]))
            mail.security = MailServerSettings::Security(i);
    }
    if (!security.isEmpty() && security != QLatin1String(SecurityNames[mail.security]))
        qWarning("pn-config.xml: unknown mail security \"%s\", using none", qPrintable(security));
    mail.user = text(node, "user");
    mail.password = text(node, "password");
    mail.sender = text(node, "sender");
    return mail;
}

// ---------------------------------------------------------------------------
// Files

struct FileDescriptor
{
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

enum class ReadOutcome { Read, Missing, Refused, TooLarge, Failed };

// Reads at most MaxFileSize bytes of a regular file; devices, pipes and
// runaway files are refused before anything is read into memory.
ReadOutcome readConfigBytes(const QString &path, QByteArray &bytes, QString &error)
{
    FileDescriptor file;
    // Non-blocking, so that a FIFO in the file's place cannot hang the open.
    file.fd = ::open(encodedPath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file.fd < 0) {
        // A path through something that is not a folder names no file either.
        if (errno == ENOENT || errno == ENOTDIR)
            return ReadOutcome::Missing;
        error = path + QStringLiteral(": ") + systemError(errno);
        return ReadOutcome::Failed;
    }
    struct stat st;
    if (::fstat(file.fd, &st) != 0) {
        error = path + QStringLiteral(": ") + systemError(errno);
        return ReadOutcome::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + QStringLiteral(" is not a regular file");
        return ReadOutcome::Refused;
    }
    const QString tooLarge = path + QStringLiteral(" is larger than %1 bytes").arg(ConfigFile::MaxFileSize);
    if (st.st_size > ConfigFile::MaxFileSize) {
        error = tooLarge;
        return ReadOutcome::TooLarge;
    }
    // One byte more than allowed tells a file that grew since fstat.
    bytes.resize(int(ConfigFile::MaxFileSize) + 1);
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = path + QStringLiteral(": ") + systemError(errno);
            return ReadOutcome::Failed;
        }
        if (n == 0)
            break;
        done += n;
    }
    if (done > ConfigFile::MaxFileSize) {
        error = tooLarge;
        return ReadOutcome::TooLarge;
    }
    bytes.truncate(int(done));
    return ReadOutcome::Read;
}

// Parses a configuration document; false with the reason when it is not one.
bool parseConfig(const QByteArray &bytes, Message &config, QString &error)
{
    if (!bytes.isEmpty() && bytes.at(0) == '\0') {
        try {
            config.parse(bytes.constData(), size_t(bytes.size()));
        } catch (const Exception &e) {
            error = QString::fromUtf8(e.what());
            return false;
        }
    } else {
        // The message reader keeps what it read up to an error: check the
        // whole document first, so that a cut-off file is not half loaded.
        QXmlStreamReader check(bytes);
        while (!check.atEnd())
            check.readNext();
        if (check.hasError()) {
            error = QStringLiteral("line %1, column %2: %3")
                        .arg(check.lineNumber())
                        .arg(check.columnNumber())
                        .arg(check.errorString());
            return false;
        }
        const int start = bytes.indexOf('<');
        config.parse(bytes.constData() + start, size_t(bytes.size() - start));
    }
    if (config.name() != "config") {
        error = QStringLiteral("the root element is \"%1\", not \"config\"").arg(QString::fromStdString(config.name()));
        return false;
    }
    return true;
}

// Moves @p path to the first free "<path>.bad[.n]" without replacing one.
QString keepAside(const QString &path, QString &error)
{
    const QByteArray from = encodedPath(path);
    for (int n = 1; n <= ConfigFile::MaxKeptBadFiles; ++n) {
        const QString target = path + (n == 1 ? QStringLiteral(".bad") : QStringLiteral(".bad.%1").arg(n));
        const QByteArray to = encodedPath(target);
        const bool last = n == ConfigFile::MaxKeptBadFiles;
        // link() never replaces: a taken name fails with EEXIST.
        int rc = last ? ::rename(from.constData(), to.constData()) : ::link(from.constData(), to.constData());
        if (rc != 0 && errno == EEXIST)
            continue;
        if (rc != 0 && (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS)) {
            // No hard links here: check, then rename.
            struct stat st;
            if (::lstat(to.constData(), &st) == 0)
                continue;
            rc = ::rename(from.constData(), to.constData());
        } else if (rc == 0 && !last) {
            ::unlink(from.constData());
        }
        if (rc != 0) {
            error = systemError(errno);
            return QString();
        }
        // It may hold a password: owner only, like a saved file.
        ::chmod(to.constData(), 0600);
        return target;
    }
    error = QStringLiteral("no free name");
    return QString();
}

bool writeAll(int fd, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// Writes beside the target and renames over it: the target is either the
// old file or the whole new one, created 0600 whatever mode the old one had.
QString writeAtomically(const QString &path, const std::string &bytes)
{
    QByteArray temp = encodedPath(path) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return path + QStringLiteral(": ") + systemError(errno);
    int failure = 0;
    if (::fchmod(fd, 0600) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temp.constData(), encodedPath(path).constData()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temp.constData());
        return path + QStringLiteral(": ") + systemError(failure);
    }
    // The rename itself reaches the disk with the folder's entry.
    FileDescriptor dir;
    dir.fd = ::open(encodedPath(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd >= 0)
        ::fsync(dir.fd);
    return QString();
}

// A file that cannot be loaded but may be worth a look: out of the way of
// the next save, and said where in the error.
ConfigFile::LoadResult keptAside(const QString &path, const QString &why)
{
    ConfigFile::LoadResult result;
    result.status = ConfigFile::LoadStatus::Failed;
    QString keepError;
    result.keptAs = keepAside(path, keepError);
    result.error = why
                 + (result.keptAs.isEmpty() ? QStringLiteral(" (could not be kept aside: %1)").arg(keepError)
                                            : QStringLiteral(" (kept as %1)").arg(result.keptAs));
    qWarning("configuration file: %s", qPrintable(result.error));
    return result;
}

} // namespace

Message ConfigFile::toMessage(const ConfigSettings &settings)
{
    Message config("config");
    config.set_string("version", "1.0");
    config.set_string("company", "Velmora Corporation");
    config.set_string("product", "Quorvane");
    if (settings.window) {
        const ConfigWindow &w = *settings.window;
        Message &app = config.add_child("application");
        app.set_int("x", w.position.x());
        app.set_int("y", w.position.y());
        // A size never read stays unwritten rather than becoming 0 x 0.
        if (w.size) {
            app.set_int("width", w.size->width());
            app.set_int("height", w.size->height());
        }
        app.set_bool("audio", w.connectionAlerts);
        app.set_bool("default-sounds", w.defaultSounds);
        // Only when on: the file stays as it was for those who never use e-mail.
        if (w.alertEmails)
            app.set_bool("alert-emails", true);
    }
    Message &remotes = config.add_child("remotes");
    if (settings.remote) {
        const ConfigRemote &r = *settings.remote;
        Message &remote = remotes.add_child("remote");
        setText(remote, "address", r.address);
        remote.set_int("port", r.port);
        setText(remote, "password", r.password);
        remote.set_bool("metering", r.metering);
        // Extra children: a reader that knows only the four values skips them.
        for (auto it = r.alertSounds.constBegin(); it != r.alertSounds.constEnd(); ++it) {
            if (it.value().isEmpty())
                continue;
            Message &sound = remote.add_child("sound");
            sound.set_int("event", it.key());
            setText(sound, "path", it.value());
        }
        for (const QString &address : r.emailAddresses)
            setText(remote.add_child("email"), "address", address);
    }
    if (settings.mail != MailServerSettings()) {
        const MailServerSettings &m = settings.mail;
        Message &mail = config.add_child("mail");
        setText(mail, "host", m.host);
        mail.set_int("port", m.port);
        mail.set_string("security", SecurityNames[m.security]);
        setText(mail, "user", m.user);
        setText(mail, "password", m.password);
        setText(mail, "sender", m.sender);
    }
    return config;
}

ConfigSettings ConfigFile::fromMessage(const Message &config)
{
    ConfigSettings settings;
    if (const Message *app = config.find_child("application"))
        settings.window = readWindow(*app);
    if (const Message *remotes = config.find_child("remotes")) {
        if (const Message *remote = remotes->find_child("remote")) {
            if (remotes->child_count("remote") > 1)
                qWarning("pn-config.xml: %d devices listed, loading only the first", remotes->child_count("remote"));
            settings.remote = readRemote(*remote);
        }
    }
    if (const Message *mail = config.find_child("mail"))
        settings.mail = readMail(*mail);
    return settings;
}

ConfigFile::LoadResult ConfigFile::load(const QString &path)
{
    QMutexLocker lock(&configMutex());
    LoadResult result;
    QByteArray bytes;
    switch (readConfigBytes(path, bytes, result.error)) {
    case ReadOutcome::Missing:
        result.status = LoadStatus::Missing;
        return result;
    case ReadOutcome::Failed:
    case ReadOutcome::Refused:
        // A device, a pipe or an unreadable file: left where it is (a save
        // replaces the name, never writes through it).
        result.status = LoadStatus::Failed;
        qWarning("configuration file: %s", qPrintable(result.error));
        return result;
    case ReadOutcome::TooLarge:
        return keptAside(path, result.error);
    case ReadOutcome::Read:
        break;
    }
    Message config;
    QString why;
    if (!parseConfig(bytes, config, why))
        return keptAside(path, path + QStringLiteral(": ") + why);
    result.settings = fromMessage(config);
    result.status = LoadStatus::Loaded;
    return result;
}

QString ConfigFile::save(const QString &path, const ConfigSettings &settings)
{
    std::string bytes;
    toMessage(settings).serialize(bytes, Message::Xml, true);
    QMutexLocker lock(&configMutex());
    return writeAtomically(path, bytes);
}
