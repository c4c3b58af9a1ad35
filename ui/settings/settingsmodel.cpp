#include "settingsmodel.h"

#include "qtmessage.h"

#include <QtGlobal>

#include <algorithm>

namespace {

const QString NoPeer = QStringLiteral("(No Peer)");

// An error answer stands in the cache under the record's key: never edit it.
bool wellFormed(const Message &m)
{
    return !m.isEmpty() && !m.get_bool("fail");
}

Message *weftlineGroup(Message &settings)
{
    Message *node = settings.find_child("node");
    return node ? node->find_child("group") : nullptr;
}

const Message *weftlineGroup(const Message &settings)
{
    const Message *node = settings.find_child("node");
    return node ? node->find_child("group") : nullptr;
}

Message *weftlineOption(Message &group, const QString &name)
{
    const int n = group.child_count("option");
    for (int i = 0; i < n; ++i) {
        Message &o = group.get_child("option", i);
        if (get_qstring(o, "name") == name)
            return &o;
    }
    return nullptr;
}

Message withoutAttribute(const Message &m, const char *key)
{
    Message out(m);
    std::vector<AttrMap::Entry> kept;
    for (const AttrMap::Entry &e : m.attributes()) {
        if (e.first != key)
            kept.push_back(e);
    }
    out.attributes().assign(std::move(kept));
    return out;
}

Message request(const Message &copy, const char *name, const char *seq)
{
    Message m(copy);
    m.setName(name);
    m.set_string("seq", seq);
    return m;
}

QString channelTitle(const Message &channelList, const QString &id, bool &found)
{
    const int n = channelList.child_count("channel");
    for (int i = 0; i < n; ++i) {
        const Message &c = channelList.get_child("channel", i);
        if (get_qstring(c, "id") == id) {
            found = true;
            return get_qstring(c, "descr");
        }
    }
    found = false;
    return QString();
}

} // namespace

void SettingsModel::fileRecords(const SettingsSources &sources)
{
    m_records.clear();
    const auto &in = sources.records;

    if (!in.contains(QStringLiteral("systemOpts"))) {
        qWarning("missing systemOpts");
    } else {
        const Message &opts = in.value(QStringLiteral("systemOpts"));
        const int n = opts.child_count("option");
        for (int i = 0; i < n; ++i) {
            const Message &o = opts.get_child("option", i);
            SettingRecord r;
            r.option = OptionDescription::read(o, "default", false);
            r.key = r.option.name;
            r.group = get_qstring(o, "group");
            r.groupTitle = get_qstring(o, "group_name");
            r.subgroup = get_qstring(o, "subgroup");
            r.source = r.group == QLatin1String("directoryServer") ? SettingSource::DirectoryServer
                                                                     : SettingSource::System;
            if (r.option.type == QLatin1String("peer")) {
                r.peerPicker = true;
                r.option.type = QStringLiteral("select");
                r.option.choices = peerChoices();
            }
            m_records.insert(r.key, r);
        }
    }

    if (!in.contains(QStringLiteral("channelOpts"))) {
        qWarning("missing channelOpts");
    } else {
        const Message &opts = in.value(QStringLiteral("channelOpts"));
        const Message channelList = in.value(QStringLiteral("channelList"));
        const int n = opts.child_count("option");
        for (int i = 0; i < n; ++i) {
            const Message &o = opts.get_child("option", i);
            if (!o.get_bool("channel_opt"))
                continue;
            SettingRecord r;
            r.option = OptionDescription::read(o, "default", false);
            r.channel = get_qstring(o, "channel");
            bool known = false;
            r.groupTitle = channelTitle(channelList, r.channel, known);
            if (!known)
                continue; // no channel to write it into
            r.key = QStringLiteral("%1:%2").arg(r.channel, r.option.name);
            r.group = QStringLiteral("channelList");
            r.source = SettingSource::Channel;
            m_records.insert(r.key, r);
        }
    }

    if (!sources.versioned)
        return;
    const Message *group = nullptr;
    auto it = in.constFind(QStringLiteral("weftlineSettings"));
    if (it != in.constEnd())
        group = weftlineGroup(*it);
    if (!group) {
        qWarning("missing weftlineSettings");
        return;
    }
    const int n = group->child_count("option");
    for (int i = 0; i < n; ++i) {
        SettingRecord r;
        r.option = OptionDescription::read(group->get_child("option", i), "default_value", true);
        r.key = QStringLiteral("weftline:%1").arg(r.option.name);
        r.group = QStringLiteral("netmgr.tunnel");
        r.groupTitle = QStringLiteral("Weftline");
        r.source = SettingSource::Weftline;
        m_records.insert(r.key, r);
    }
}

void SettingsModel::takeCopies(const SettingsSources &sources, bool keepEdits)
{
    const auto &in = sources.records;
    auto take = [&](const char *key, Message &copy, bool changed, const char *complaint) {
        if (keepEdits && changed)
            return;
        auto it = in.constFind(QLatin1String(key));
        if (it == in.constEnd())
            return;
        if (wellFormed(*it))
            copy = *it;
        else
            qWarning("%s", complaint);
    };
    take("sysOptions", m_sysOptions, m_sysChanged, "bad sysOptions message");
    take("directoryServer", m_directoryServer, m_dsChanged, "bad directoryServermessage");

    auto list = in.constFind(QStringLiteral("channelList"));
    if (list != in.constEnd() && wellFormed(*list)) {
        QMap<QString, Message> channels;
        const int n = list->child_count("channel");
        for (int i = 0; i < n; ++i) {
            const Message &c = list->get_child("channel", i);
            const QString id = get_qstring(c, "id");
            const Message old = m_channels.value(id);
            channels.insert(id, keepEdits && old.get_bool("dirty") ? old : c);
        }
        m_channels = channels;
    }

    auto codecs = in.constFind(QStringLiteral("codecList"));
    if (codecs != in.constEnd())
        m_codecs = optionrows::codecChoices(*codecs);

    if (!sources.versioned) {
        m_weftline = Message();
        m_weftlineChanged = false;
    } else if (!(keepEdits && m_weftlineChanged)) {
        auto w = in.constFind(QStringLiteral("weftlineSettings"));
        if (w != in.constEnd() && weftlineGroup(*w))
            m_weftline = *w;
    }
}

void SettingsModel::load(const SettingsSources &sources)
{
    m_versioned = sources.versioned;
    m_peers = sources.peers;
    fileRecords(sources);
    takeCopies(sources, true);
    m_loaded = true;
}

void SettingsModel::discard(const SettingsSources &sources)
{
    forget(SettingSource::System);
    forget(SettingSource::DirectoryServer);
    forget(SettingSource::Weftline);
    forget(SettingSource::Channel);
    load(sources);
}

void SettingsModel::clear()
{
    *this = SettingsModel();
}

void SettingsModel::forget(SettingSource source)
{
    switch (source) {
    case SettingSource::System:
        m_sysChanged = false;
        break;
    case SettingSource::DirectoryServer:
        m_dsChanged = false;
        break;
    case SettingSource::Weftline:
        m_weftlineChanged = false;
        break;
    case SettingSource::Channel:
        for (auto it = m_channels.begin(); it != m_channels.end(); ++it)
            *it = withoutAttribute(*it, "dirty");
        break;
    }
    for (auto it = m_editedKeys.begin(); it != m_editedKeys.end();) {
        const SettingRecord *r = record(*it);
        if (!r || r->source == source)
            it = m_editedKeys.erase(it);
        else
            ++it;
    }
}

QList<OptionChoice> SettingsModel::peerChoices() const
{
    QList<OptionChoice> out;
    for (const PeerChoice &p : m_peers) {
        const QString text = p.address.isEmpty() ? p.name : QStringLiteral("%1 (%2)").arg(p.name, p.address);
        out.append(OptionChoice{text, p.id});
    }
    out.append(OptionChoice{NoPeer, QStringLiteral("0")});
    return out;
}

void SettingsModel::setPeers(const QList<PeerChoice> &peers)
{
    m_peers = peers;
    const QList<OptionChoice> choices = peerChoices();
    for (SettingRecord &r : m_records) {
        if (r.peerPicker)
            r.option.choices = choices;
    }
}

const SettingRecord *SettingsModel::record(const QString &key) const
{
    auto it = m_records.constFind(key);
    return it == m_records.constEnd() ? nullptr : &*it;
}

QString SettingsModel::value(const QString &key) const
{
    const SettingRecord *r = record(key);
    if (!r)
        return QString();
    const std::string name = r->option.name.toStdString();
    switch (r->source) {
    case SettingSource::Channel: {
        auto it = m_channels.constFind(r->channel);
        if (it == m_channels.constEnd() || !it->has_attribute(name))
            return r->option.defaultValue;
        return get_qstring(*it, name);
    }
    case SettingSource::Weftline:
        if (const Message *group = weftlineGroup(m_weftline)) {
            const int n = group->child_count("option");
            for (int i = 0; i < n; ++i) {
                const Message &o = group->get_child("option", i);
                if (get_qstring(o, "name") == r->option.name)
                    return get_qstring(o, "value");
            }
        }
        return QString();
    case SettingSource::DirectoryServer:
        return get_qstring(m_directoryServer, name);
    case SettingSource::System:
        if (!r->subgroup.isEmpty()) {
            const Message *sub = m_sysOptions.find_child(r->subgroup.toStdString());
            return sub ? get_qstring(*sub, name) : QString();
        }
        return get_qstring(m_sysOptions, name);
    }
    return QString();
}

Message SettingsModel::withValue(const Message &group, const SettingRecord &record, const QString &value)
{
    Message out(group);
    const std::string name = record.option.name.toStdString();
    switch (record.source) {
    case SettingSource::Channel:
        set_qstring(out, name, value);
        out.set_bool("dirty", true);
        break;
    case SettingSource::Weftline:
        if (Message *g = weftlineGroup(out)) {
            Message *o = weftlineOption(*g, record.option.name);
            if (!o) {
                o = &g->add_child("option");
                set_qstring(*o, "name", record.option.name);
            }
            set_qstring(*o, "value", value);
        }
        break;
    case SettingSource::DirectoryServer:
        set_qstring(out, name, value);
        break;
    case SettingSource::System:
        if (record.subgroup.isEmpty()) {
            set_qstring(out, name, value);
        } else {
            Message *sub = out.find_child(record.subgroup.toStdString());
            if (!sub)
                sub = &out.add_child(record.subgroup.toStdString());
            set_qstring(*sub, name, value);
        }
        break;
    }
    return out;
}

bool SettingsModel::setValue(const QString &key, const QString &value)
{
    const SettingRecord *r = record(key);
    if (!r)
        return false;
    switch (r->source) {
    case SettingSource::Channel: {
        auto it = m_channels.find(r->channel);
        if (it == m_channels.end())
            return false;
        *it = withValue(*it, *r, value);
        break;
    }
    case SettingSource::Weftline:
        if (!m_versioned || !weftlineGroup(m_weftline))
            return false;
        m_weftline = withValue(m_weftline, *r, value);
        m_weftlineChanged = true;
        break;
    case SettingSource::DirectoryServer:
        m_directoryServer = withValue(m_directoryServer, *r, value);
        m_dsChanged = true;
        break;
    case SettingSource::System:
        m_sysOptions = withValue(m_sysOptions, *r, value);
        m_sysChanged = true;
        break;
    }
    m_editedKeys.insert(key);
    return true;
}

bool SettingsModel::hasChanges() const
{
    if (m_sysChanged || m_dsChanged || m_weftlineChanged)
        return true;
    return std::any_of(m_channels.cbegin(), m_channels.cend(),
                       [](const Message &c) { return c.get_bool("dirty"); });
}

QList<Message> SettingsModel::save()
{
    QList<Message> out;
    if (m_dsChanged)
        out.append(request(m_directoryServer, "setDirectoryServer", "setDirectoryServer"));
    if (m_sysChanged)
        out.append(request(m_sysOptions, "setSysOptions", "setSysOptions"));
    if (m_weftlineChanged && m_versioned) {
        if (const Message *group = weftlineGroup(m_weftline)) {
            Message m = request(*group, "cfgSetOption", "setWeftlineOptions");
            m.set_string("path", "netmgr.tunnel");
            out.append(m);
        }
    }
    for (auto it = m_channels.cbegin(); it != m_channels.cend(); ++it) {
        if (!it->get_bool("dirty"))
            continue;
        Message m("setChannelSettings");
        m.set_string("seq", "setChannelSettings");
        set_qstring(m, "id", it.key());
        m.append_copy(withoutAttribute(*it, "dirty"));
        out.append(m);
    }
    // Sent: the codec's next records show the outcome.
    forget(SettingSource::DirectoryServer);
    forget(SettingSource::System);
    forget(SettingSource::Weftline);
    forget(SettingSource::Channel);
    return out;
}

void SettingsModel::confirmWeftline(const Message &answer, const Message &described)
{
    if (answer.get_bool("fail")) {
        if (weftlineGroup(described))
            m_weftline = described;
        forget(SettingSource::Weftline);
        return;
    }
    Message *group = weftlineGroup(m_weftline);
    if (!group)
        return;
    const int n = answer.child_count("option");
    for (int i = 0; i < n; ++i) {
        const Message &o = answer.get_child("option", i);
        const QString name = get_qstring(o, "name");
        // A value edited since the save is newer than the confirmation.
        if (m_editedKeys.contains(QStringLiteral("weftline:") + name))
            continue;
        if (Message *mine = weftlineOption(*group, name))
            set_qstring(*mine, "value", get_qstring(o, "value"));
    }
}

QList<SettingGroup> SettingsModel::groups() const
{
    QList<SettingGroup> out;
    if (m_records.isEmpty() || m_sysOptions.isEmpty())
        return out;
    QMap<QString, SettingGroup> byTitle;
    for (const SettingRecord &r : m_records) {
        SettingRow row;
        row.key = r.key;
        row.displayName = r.option.displayName;
        row.value = value(r.key);
        row.valueText = optionrows::valueText(r.option, row.value, m_codecs);
        row.advanced = r.option.advanced;
        row.edited = m_editedKeys.contains(r.key);
        SettingGroup &g = byTitle[r.groupTitle];
        g.title = r.groupTitle;
        g.rows.append(row);
    }
    for (SettingGroup &g : byTitle) {
        std::stable_sort(g.rows.begin(), g.rows.end(),
                         [](const SettingRow &a, const SettingRow &b) { return a.displayName < b.displayName; });
        out.append(g);
    }
    return out;
}
