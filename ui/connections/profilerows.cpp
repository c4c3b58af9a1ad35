#include "profilerows.h"

#include "qtmessage.h"

#include <QHash>

namespace ProfileRows {

namespace {

struct Channels {
    QHash<QString, QString> text;
    QHash<QString, bool> remote;
};

Channels channels(const Message &list)
{
    Channels c;
    for (int i = 0; i < list.child_count(); ++i) {
        const Message &ch = list.get_child(i);
        if (ch.name() != "channel")
            continue;
        const QString id = get_qstring(ch, "id");
        c.text.insert(id, get_qstring(ch, "descr"));
        c.remote.insert(id, ch.get_bool("remote_opts", true));
    }
    return c;
}

QHash<QString, QString> codecTexts(const Message &list)
{
    QHash<QString, QString> map;
    map.insert(QStringLiteral("!follow"), QStringLiteral("Follow local encoder"));
    for (int i = 0; i < list.child_count(); ++i) {
        const Message &c = list.get_child(i);
        if (c.name() != "codec")
            continue;
        map.insert(get_qstring(c, "id"),
                   QStringLiteral("%1: %2 %3").arg(get_qstring(c, "code"), get_qstring(c, "mode"), get_qstring(c, "name")));
    }
    return map;
}

QHash<QString, QString> values(const Message &profile, std::string_view group)
{
    QHash<QString, QString> map;
    if (const Message *side = profile.find_child(group)) {
        for (const auto &entry : side->attributes()) {
            std::string scratch;
            map.insert(QString::fromStdString(entry.first), QString::fromStdString(entry.second.text(scratch)));
        }
    }
    return map;
}

QString selectText(const Message &option, const QString &value)
{
    for (int i = 0; i < option.child_count(); ++i) {
        const Message &choice = option.get_child(i);
        if (choice.name() == "select" && get_qstring(choice, "value") == value)
            return get_qstring(choice, "name");
    }
    return QString();
}

QString shown(const Message &option, const QString &type, const QString &value, const QHash<QString, QString> &codecs)
{
    if (type == QLatin1String("codec"))
        return codecs.value(value);
    if (type == QLatin1String("select"))
        return selectText(option, value);
    if (type == QLatin1String("bool"))
        return boolWord(option, value == QLatin1String("true"));
    return value;
}

ProfileRow settingsRow(const QString &label, const QString &option, const QString &channel, const QString &raw,
                       const QString &value)
{
    ProfileRow r;
    r.label = label;
    r.option = option;
    r.type = option;
    r.group = QStringLiteral("settings");
    r.channel = channel;
    r.raw = raw;
    r.value = value;
    return r;
}

} // namespace

QString boolWord(const Message &option, bool value)
{
    if (option.has_attribute("label_true") && option.has_attribute("label_false"))
        return get_qstring(option, value ? "label_true" : "label_false");
    return value ? QStringLiteral("Enabled") : QStringLiteral("Not Enabled");
}

QVector<ProfileGroup> build(const ProfileTreeInput &in)
{
    const Channels chans = channels(in.channelList);
    const QHash<QString, QString> codecs = codecTexts(in.codecList);
    const Message *settings = in.profile.find_child("settings");
    const QString name = settings ? get_qstring(*settings, "name") : QString();
    const QString channel = settings ? get_qstring(*settings, "channel") : QString();
    const bool remote = chans.remote.value(channel, true);

    QVector<ProfileGroup> groups;
    ProfileGroup global{QStringLiteral("Global Settings"), QStringLiteral("General profile settings."), {}};
    global.rows.append(settingsRow(QStringLiteral("Profile Name"), QStringLiteral("name"), channel, name, name));
    global.rows.append(
        settingsRow(QStringLiteral("Channel"), QStringLiteral("channel"), channel, channel, chans.text.value(channel)));
    groups.append(global);
    groups.append({QStringLiteral("Local Settings"),
                   QStringLiteral("Settings that take effect on the local codec when connecting."),
                   {}});
    if (remote) {
        groups.append({QStringLiteral("Remote Settings"),
                       QStringLiteral("Settings that take effect on the address book codecs when connecting."),
                       {}});
    }

    const QHash<QString, QString> local = values(in.profile, "local");
    const QHash<QString, QString> far = values(in.profile, "remote");
    for (int i = 0; i < in.channelOpts.child_count(); ++i) {
        const Message &o = in.channelOpts.get_child(i);
        if (o.name() != "option" || !o.get_bool("profile_opt") || get_qstring(o, "channel") != channel)
            continue;
        if (o.get_bool("advanced") && !in.advanced)
            continue;
        ProfileRow r;
        r.label = get_qstring(o, "display_name");
        r.option = get_qstring(o, "name");
        r.channel = channel;
        r.type = get_qstring(o, "type");
        const QString def = get_qstring(o, "default");
        for (int side = 0; side < (remote ? 2 : 1); ++side) {
            const QHash<QString, QString> &map = side == 0 ? local : far;
            r.group = side == 0 ? QStringLiteral("local") : QStringLiteral("remote");
            r.raw = map.value(r.option, def);
            r.value = shown(o, r.type, r.raw, codecs);
            groups[1 + side].rows.append(r);
        }
    }
    return groups;
}

ProfileRowPath find(const QVector<ProfileGroup> &groups, const QString &key)
{
    for (int g = 0; g < groups.size(); ++g) {
        for (int r = 0; r < groups[g].rows.size(); ++r) {
            if (groups[g].rows[r].key() == key)
                return {g, r};
        }
    }
    return {};
}

ProfileRowPath rowToSelect(const QVector<ProfileGroup> &groups, const QString &key)
{
    const ProfileRowPath found = find(groups, key);
    if (found.isValid() || groups.isEmpty() || groups.first().rows.isEmpty())
        return found;
    return {0, 0};
}

Message withValue(const Message &profile, const QString &group, const QString &option, const QString &value)
{
    Message copy(profile);
    const std::string name = group.toStdString();
    Message *side = copy.find_child(name);
    if (!side)
        side = &copy.add_child(name);
    set_qstring(*side, option.toStdString(), value);
    return copy;
}

} // namespace ProfileRows
