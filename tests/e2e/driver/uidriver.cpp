#include "uidriver.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

namespace {

QJsonObject fail(const QString &error)
{
    return QJsonObject{{"ok", false}, {"error", error}};
}

QString plain(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// Of several objects by one name, the one a user would see.
QObject *mostVisible(const QList<QObject *> &matches)
{
    for (QObject *o : matches) {
        if (auto *w = qobject_cast<QWidget *>(o); w && w->isVisible())
            return o;
    }
    return matches.value(0);
}

QObject *find(const QString &path)
{
    QList<QObject *> scope;
    if (QWidget *modal = QApplication::activeModalWidget())
        scope << modal;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!scope.contains(w))
            scope << w;
    }
    QObject *found = nullptr;
    for (const QString &part : path.split(QLatin1Char('/'))) {
        QList<QObject *> matches;
        for (QObject *root : qAsConst(scope)) {
            if (root->objectName() == part)
                matches << root;
            matches += root->findChildren<QObject *>(part);
        }
        found = mostVisible(matches);
        if (!found)
            return nullptr;
        scope = {found};
    }
    return found;
}

// Every row of a model, depth first, as the texts of its columns.
void collectRows(const QAbstractItemModel *model, const QModelIndex &parent, QJsonArray &rows)
{
    for (int r = 0; r < model->rowCount(parent); ++r) {
        QJsonArray cells;
        for (int c = 0; c < model->columnCount(parent); ++c)
            cells << model->index(r, c, parent).data().toString();
        rows << cells;
        collectRows(model, model->index(r, 0, parent), rows);
    }
}

QModelIndex findItem(const QAbstractItemModel *model, const QModelIndex &parent, const QString &text, int column)
{
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex index = model->index(r, column, parent);
        if (index.data().toString() == text)
            return index;
        const QModelIndex inside = findItem(model, model->index(r, 0, parent), text, column);
        if (inside.isValid())
            return inside;
    }
    return QModelIndex();
}

QJsonObject describe(QObject *o)
{
    QJsonObject r{{"ok", true}, {"class", QString::fromLatin1(o->metaObject()->className())}};
    if (auto *a = qobject_cast<QAction *>(o)) {
        r["text"] = plain(a->text());
        r["enabled"] = a->isEnabled();
        r["visible"] = a->isVisible();
        r["checked"] = a->isChecked();
        return r;
    }
    auto *w = qobject_cast<QWidget *>(o);
    if (!w)
        return r;
    r["enabled"] = w->isEnabled();
    r["visible"] = w->isVisible();
    r["title"] = w->windowTitle();
    if (auto *label = qobject_cast<QLabel *>(w))
        r["text"] = label->text();
    else if (auto *line = qobject_cast<QLineEdit *>(w))
        r["text"] = line->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
        r["text"] = plain(button->text());
        r["checked"] = button->isChecked();
    } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
        r["text"] = combo->currentText();
        r["currentIndex"] = combo->currentIndex();
    } else if (auto *edit = qobject_cast<QPlainTextEdit *>(w))
        r["text"] = edit->toPlainText();
    else if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
        r["currentIndex"] = tabs->currentIndex();
        r["text"] = plain(tabs->tabText(tabs->currentIndex()));
    } else if (auto *stack = qobject_cast<QStackedWidget *>(w))
        r["currentIndex"] = stack->currentIndex();
    else if (auto *status = qobject_cast<QStatusBar *>(w))
        r["text"] = status->currentMessage();
    else if (auto *view = qobject_cast<QAbstractItemView *>(w))
        r["text"] = view->currentIndex().data().toString();
    return r;
}

QJsonObject choose(QWidget *w, const QString &text, int column)
{
    if (auto *combo = qobject_cast<QComboBox *>(w)) {
        const int index = combo->findText(text);
        if (index < 0)
            return fail(QStringLiteral("no item \"%1\"").arg(text));
        combo->setCurrentIndex(index);
        return QJsonObject{{"ok", true}};
    }
    if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
        for (int i = 0; i < tabs->count(); ++i) {
            if (plain(tabs->tabText(i)) == text && tabs->isTabEnabled(i) && tabs->isTabVisible(i)) {
                tabs->setCurrentIndex(i);
                return QJsonObject{{"ok", true}};
            }
        }
        return fail(QStringLiteral("no usable tab \"%1\"").arg(text));
    }
    if (auto *view = qobject_cast<QAbstractItemView *>(w)) {
        const QModelIndex index = findItem(view->model(), view->rootIndex(), text, column);
        if (!index.isValid())
            return fail(QStringLiteral("no item \"%1\" in column %2").arg(text).arg(column));
        view->scrollTo(index);
        view->setCurrentIndex(index);
        return QJsonObject{{"ok", true}};
    }
    return fail(QStringLiteral("nothing to choose from in a %1").arg(w->metaObject()->className()));
}

// The button to click: the target itself, or its child button showing @p text.
QAbstractButton *buttonOf(QObject *o, const QString &text)
{
    if (text.isEmpty())
        return qobject_cast<QAbstractButton *>(o);
    for (QAbstractButton *b : o->findChildren<QAbstractButton *>()) {
        if (plain(b->text()) == text)
            return b;
    }
    return nullptr;
}

QJsonObject grab(QWidget *w, const QString &file)
{
    const QImage image = w->grab().toImage();
    if (!file.isEmpty() && !image.save(file))
        return fail(QStringLiteral("could not save %1").arg(file));
    const QByteArray bits(reinterpret_cast<const char *>(image.constBits()), int(image.sizeInBytes()));
    return QJsonObject{{"ok", true},
                       {"digest", QString::fromLatin1(QCryptographicHash::hash(bits, QCryptographicHash::Md5).toHex())},
                       {"width", image.width()},
                       {"height", image.height()}};
}

} // namespace

UiDriver::UiDriver(const QString &serverName)
    : m_socket(new QLocalSocket(this))
{
    connect(m_socket, &QLocalSocket::readyRead, this, &UiDriver::readCommands);
    // Gone with the event loop: the socket must not outlive the dispatcher.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { m_socket->abort(); });
    // Once the event loop runs: the window exists by then.
    QTimer::singleShot(0, this, [this, serverName] { m_socket->connectToServer(serverName); });
}

void UiDriver::readCommands()
{
    while (m_socket->canReadLine()) {
        const QJsonObject command = QJsonDocument::fromJson(m_socket->readLine()).object();
        const QJsonObject reply = run(command);
        m_socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
        m_socket->flush();
    }
}

QJsonObject UiDriver::run(const QJsonObject &command)
{
    const QString cmd = command.value("cmd").toString();
    if (cmd == QLatin1String("modal")) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return QJsonObject{{"ok", true}, {"class", ""}};
        QJsonObject r = describe(modal);
        r["name"] = modal->objectName();
        return r;
    }
    const QString name = command.value("name").toString();
    QObject *target = find(name);
    if (!target)
        return fail(QStringLiteral("nothing named %1").arg(name));
    if (cmd == QLatin1String("get"))
        return describe(target);
    if (cmd == QLatin1String("property"))
        return QJsonObject{{"ok", true},
                           {"value", QJsonValue::fromVariant(target->property(qPrintable(command.value("property").toString())))}};
    return act(cmd, target, command);
}

QJsonObject UiDriver::act(const QString &cmd, QObject *target, const QJsonObject &command)
{
    const QString text = command.value("text").toString();
    if (cmd == QLatin1String("trigger")) {
        QPointer<QAction> action = qobject_cast<QAction *>(target);
        if (!action || !action->isEnabled())
            return fail(QStringLiteral("no enabled action"));
        QTimer::singleShot(0, action, [action] { action->trigger(); });
        return QJsonObject{{"ok", true}};
    }
    auto *w = qobject_cast<QWidget *>(target);
    if (!w)
        return fail(QStringLiteral("not a widget"));
    if (cmd == QLatin1String("rows")) {
        auto *view = qobject_cast<QAbstractItemView *>(w);
        if (!view)
            return fail(QStringLiteral("not an item view"));
        QJsonArray rows;
        collectRows(view->model(), view->rootIndex(), rows);
        return QJsonObject{{"ok", true}, {"rows", rows}};
    }
    if (cmd == QLatin1String("grab"))
        return grab(w, command.value("file").toString());
    if (cmd == QLatin1String("close")) {
        QPointer<QWidget> window = w->window();
        QTimer::singleShot(0, window, [window] { window->close(); });
        return QJsonObject{{"ok", true}};
    }
    // What follows is what a user does: only to what is on screen and enabled.
    if (!w->isVisible() || !w->isEnabled())
        return fail(QStringLiteral("%1 is hidden or disabled").arg(target->objectName()));
    if (cmd == QLatin1String("click")) {
        QPointer<QAbstractButton> button = buttonOf(w, command.value("button").toString());
        if (!button || !button->isVisible() || !button->isEnabled())
            return fail(QStringLiteral("no enabled button to click"));
        QTimer::singleShot(0, button, [button] { button->click(); });
        return QJsonObject{{"ok", true}};
    }
    if (cmd == QLatin1String("type")) {
        auto *line = qobject_cast<QLineEdit *>(w);
        if (!line || line->isReadOnly())
            return fail(QStringLiteral("not an editable line"));
        // As typed over a selection: textEdited as well as textChanged.
        line->setFocus();
        line->selectAll();
        if (text.isEmpty())
            line->del();
        else
            line->insert(text);
        return QJsonObject{{"ok", true}};
    }
    if (cmd == QLatin1String("choose"))
        return choose(w, text, command.value("column").toInt());
    return fail(QStringLiteral("unknown command %1").arg(cmd));
}
