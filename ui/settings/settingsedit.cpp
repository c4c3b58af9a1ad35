#include "settingsedit.h"

#include "ipcobject.h"
#include "settingssession.h"
#include "ui_settingsedit.h"

#include <QBrush>
#include <QFont>
#include <QScrollBar>
#include <QTreeWidgetItem>

namespace {

const int KeyRole = Qt::UserRole;
const QString PleaseSelect = QStringLiteral("Please select a setting to edit.");

} // namespace

SettingsEdit::SettingsEdit(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::SettingsEdit)
{
    m_ui->setupUi(this);
    m_ui->treeSettings->setColumnWidth(0, 210);
    m_ui->treeSettings->setColumnWidth(1, 210);
    m_ui->groupEdit->setEnabled(false);
    m_ui->editPanel->showBlank(PleaseSelect);

    connect(m_ui->treeSettings, &QTreeWidget::itemSelectionChanged, this, &SettingsEdit::changeSelection);
    connect(m_ui->checkAdvanced, &QCheckBox::toggled, this, &SettingsEdit::advanceToggle);
    connect(m_ui->buttonSave, &QPushButton::clicked, this, &SettingsEdit::saveClicked);
    connect(m_ui->buttonDiscard, &QPushButton::clicked, this, &SettingsEdit::resetClicked);
    connect(m_ui->editPanel, &OptionEditPanel::valueEdited, this, &SettingsEdit::valueEdited);
    connect(m_ui->treeSettings, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem *item) {
        if (!m_populating)
            m_collapsed.insert(item->text(0));
    });
    connect(m_ui->treeSettings, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *item) {
        if (!m_populating)
            m_collapsed.remove(item->text(0));
    });
}

SettingsEdit::~SettingsEdit()
{
    delete m_ui;
}

void SettingsEdit::setSession(IPCObject *session)
{
    if (session && session == m_session && !m_connections.isEmpty()) {
        refresh();
        return;
    }
    for (const QMetaObject::Connection &c : qAsConst(m_connections))
        disconnect(c);
    m_connections.clear();
    m_model.clear();
    m_selectedKey.clear();
    m_collapsed.clear();
    m_session = session;
    populate_all();
    if (!session)
        return;
    m_connections = {
        connect(session, &IPCObject::recvPeerList, this, &SettingsEdit::peerlistUpdated),
        connect(session, &IPCObject::recvSysOptions, this, &SettingsEdit::sysOptionsUpdated),
        connect(session, &IPCObject::recvSystemOpts, this, &SettingsEdit::systemOptsUpdated),
        connect(session, &IPCObject::recvChannelOpts, this, &SettingsEdit::channelOptionsUpdated),
        connect(session, &IPCObject::recvChannelList, this, &SettingsEdit::channelListUpdated),
        connect(session, &IPCObject::recvDirectoryServer, this, &SettingsEdit::directoryServerUpdated),
        connect(session, &IPCObject::recvWeftlineSettings, this, &SettingsEdit::weftlineUpdated),
        connect(session, &IPCObject::changedState, this, &SettingsEdit::statechange),
        connect(session, &IPCObject::recvSetWeftlineOptions, this, &SettingsEdit::weftlineSettingsChanged),
        // A refused answer is not cached (the last good record stays): it arrives as a failure.
        connect(session, &IPCObject::requestFailed, this, &SettingsEdit::requestRefused),
        // A deleted session leaves nothing on screen.
        connect(session, &QObject::destroyed, this, [this] { setSession(nullptr); }),
    };
    if (ready())
        load();
}

bool SettingsEdit::ready() const
{
    return m_session && m_session->state() == IQEndpointClient::READY;
}

void SettingsEdit::load()
{
    m_model.load(settingsSources(m_session));
    m_collapsed.clear();
    populate_all(true);
}

void SettingsEdit::refresh()
{
    if (!ready() || !m_model.isLoaded())
        return;
    m_model.load(settingsSources(m_session));
    populate_all(false);
}

void SettingsEdit::populate_all(bool minimize)
{
    QScrollBar *bar = m_ui->treeSettings->verticalScrollBar();
    const int scrolled = bar->value();
    populate_system();
    m_populating = true;
    advanceToggle(m_ui->checkAdvanced->isChecked());
    QTreeWidget *tree = m_ui->treeSettings;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *group = tree->topLevelItem(i);
        if (minimize)
            m_collapsed.insert(group->text(0));
        group->setExpanded(!m_collapsed.contains(group->text(0)));
    }
    if (QTreeWidgetItem *item = itemFor(m_selectedKey))
        tree->setCurrentItem(item);
    m_populating = false;
    bar->setValue(scrolled);
    changeSelection();
    showChanges();
}

void SettingsEdit::populate_system()
{
    const bool wasPopulating = m_populating;
    m_populating = true;
    QTreeWidget *tree = m_ui->treeSettings;
    tree->clear();
    const QList<SettingGroup> groups = m_model.groups();
    if (groups.isEmpty()) {
        if (m_model.isLoaded())
            qWarning("populate_system settings edit method failed");
        m_populating = wasPopulating;
        return;
    }
    QFont bold = tree->font();
    bold.setWeight(75);
    for (const SettingGroup &g : groups) {
        auto *groupItem = new QTreeWidgetItem(tree, QStringList{g.title});
        groupItem->setForeground(0, QBrush(Qt::darkGray));
        groupItem->setFirstColumnSpanned(true);
        for (const SettingRow &r : g.rows) {
            auto *item = new QTreeWidgetItem(groupItem, QStringList{r.displayName, r.valueText});
            item->setData(0, KeyRole, r.key);
            item->setData(1, KeyRole, r.advanced);
            if (r.edited)
                item->setFont(1, bold);
        }
        groupItem->setExpanded(true);
    }
    m_populating = wasPopulating;
}

void SettingsEdit::advanceToggle(bool checked)
{
    QTreeWidget *tree = m_ui->treeSettings;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *group = tree->topLevelItem(i);
        for (int j = 0; j < group->childCount(); ++j) {
            QTreeWidgetItem *item = group->child(j);
            item->setHidden(!checked && item->data(1, KeyRole).toBool());
        }
    }
}

QTreeWidgetItem *SettingsEdit::itemFor(const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    QTreeWidget *tree = m_ui->treeSettings;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *group = tree->topLevelItem(i);
        for (int j = 0; j < group->childCount(); ++j) {
            if (group->child(j)->data(0, KeyRole).toString() == key)
                return group->child(j);
        }
    }
    return nullptr;
}

void SettingsEdit::changeSelection()
{
    if (m_populating)
        return;
    const QList<QTreeWidgetItem *> selected = m_ui->treeSettings->selectedItems();
    QTreeWidgetItem *item = selected.isEmpty() ? nullptr : selected.first();
    const SettingRecord *record = item ? m_model.record(item->data(0, KeyRole).toString()) : nullptr;
    if (!record || item->isHidden()) {
        m_ui->groupEdit->setEnabled(false);
        m_ui->editPanel->showBlank(PleaseSelect);
        return;
    }
    m_selectedKey = record->key;
    m_ui->groupEdit->setEnabled(true);
    m_ui->editPanel->showOption(record->option, m_model.value(record->key), m_model.codecs());
}

void SettingsEdit::valueEdited(const QString &value)
{
    if (m_populating || !m_model.setValue(m_selectedKey, value))
        return;
    if (QTreeWidgetItem *item = itemFor(m_selectedKey)) {
        const SettingRecord *record = m_model.record(m_selectedKey);
        item->setText(1, optionrows::valueText(record->option, m_model.value(m_selectedKey), m_model.codecs()));
        QFont bold = item->font(1);
        bold.setWeight(75);
        item->setFont(1, bold);
    }
    showChanges();
}

void SettingsEdit::showChanges()
{
    const bool changed = m_model.hasChanges();
    m_ui->buttonSave->setEnabled(changed);
    m_ui->buttonDiscard->setEnabled(changed);
}

void SettingsEdit::saveClicked()
{
    const QList<Message> requests = m_model.save();
    for (const Message &r : requests)
        emit saveRequested(r);
    populate_all(false);
}

void SettingsEdit::resetClicked()
{
    if (!m_session)
        return;
    m_model.discard(settingsSources(m_session));
    populate_all(false);
}

void SettingsEdit::peerlistUpdated(QUuid)
{
    if (!ready() || !m_model.isLoaded())
        return;
    m_model.setPeers(settingsSources(m_session).peers);
    populate_all(false);
}

void SettingsEdit::sysOptionsUpdated(QUuid) { refresh(); }
void SettingsEdit::systemOptsUpdated() { refresh(); }
void SettingsEdit::channelOptionsUpdated(QUuid) { refresh(); }
void SettingsEdit::channelListUpdated(QUuid) { refresh(); }
void SettingsEdit::directoryServerUpdated(QUuid) { refresh(); }
void SettingsEdit::weftlineUpdated(QUuid) { refresh(); }

void SettingsEdit::statechange(QUuid, IQEndpointClient::DEVICE_STATE state)
{
    if (state == IQEndpointClient::READY)
        load();
}

void SettingsEdit::weftlineSettingsChanged()
{
    if (!m_session || !m_model.isLoaded())
        return;
    Message answer, described;
    if (!m_session->cachedMessage(QStringLiteral("setWeftlineOptions"), answer))
        return;
    m_session->cachedMessage(QStringLiteral("weftlineSettings"), described);
    m_model.confirmWeftline(answer, described);
    // The tunnel copy now holds the confirmed values; the cached description may still be older.
    populate_all(false);
}

void SettingsEdit::requestRefused(QUuid, const QString &key)
{
    if (key != QLatin1String("setWeftlineOptions") || !m_session || !m_model.isLoaded())
        return;
    Message refused("resp");
    refused.set_bool("fail", true);
    Message described;
    m_session->cachedMessage(QStringLiteral("weftlineSettings"), described);
    m_model.confirmWeftline(refused, described);
    populate_all(false);
}

IPCObject *SettingsEdit::session() const
{
    return m_session;
}
