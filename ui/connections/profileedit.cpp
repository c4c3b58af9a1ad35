#include "profileedit.h"

#include "ipcobject.h"
#include "qtmessage.h"
#include "ui_profileedit.h"

#include <QBrush>
#include <QDialogButtonBox>
#include <QScrollBar>
#include <QTreeWidgetItem>

namespace {

const int KeyRole = Qt::UserRole;
const QString PleaseSelect = QStringLiteral("Please select a profile setting to edit.");

} // namespace

ProfileEdit::ProfileEdit(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::ProfileEdit)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_ui->treeProfileItems->setColumnWidth(0, 250);
    m_ui->treeProfileItems->setColumnWidth(1, 200);
    showNoSetting();

    connect(m_ui->treeProfileItems, &QTreeWidget::itemSelectionChanged, this, &ProfileEdit::changeSelection);
    connect(m_ui->checkAdvanced, &QCheckBox::toggled, this, &ProfileEdit::populateProfileItems);
    connect(m_ui->editPanel, &OptionEditPanel::valueEdited, this, &ProfileEdit::valueEdited);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &ProfileEdit::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &ProfileEdit::reject);
}

ProfileEdit::~ProfileEdit()
{
    delete m_ui;
}

bool ProfileEdit::load(IPCObject *session, const QString &profileId)
{
    Message profile;
    if (!session || !session->findProfile(profileId, profile))
        return false;
    m_session = session;
    m_profile = profile;
    m_selectionKey.clear();
    m_sent = false;
    Message channels, options, codecs;
    if (session->cachedMessage(QStringLiteral("channelList"), channels) &&
        session->cachedMessage(QStringLiteral("channelOpts"), options) &&
        session->cachedMessage(QStringLiteral("codecList"), codecs)) {
        m_channelList = channels;
        m_channelOpts = options;
        m_codecList = codecs;
        m_codecs = optionrows::codecChoices(m_codecList);
    }
    populateProfileItems();
    return true;
}

bool ProfileEdit::editProfile(IPCObject *session, const QString &profileId)
{
    if (!load(session, profileId))
        return false;
    exec();
    return m_sent;
}

void ProfileEdit::accept()
{
    if (m_session) {
        m_session->setProfile(m_profile);
        m_sent = true;
    }
    QDialog::accept();
}

void ProfileEdit::populateProfileItems()
{
    QTreeWidget *tree = m_ui->treeProfileItems;
    const int scrolled = tree->verticalScrollBar()->value();
    m_populating = true;
    tree->clear();
    m_groups = ProfileRows::build(
        ProfileTreeInput{m_profile, m_channelOpts, m_channelList, m_codecList, m_ui->checkAdvanced->isChecked()});
    for (const ProfileGroup &g : qAsConst(m_groups)) {
        auto *top = new QTreeWidgetItem(tree, QStringList{g.label});
        top->setData(0, KeyRole, g.label);
        top->setToolTip(0, g.description);
        top->setForeground(0, QBrush(Qt::darkGray));
        for (const ProfileRow &r : g.rows) {
            auto *item = new QTreeWidgetItem(top, QStringList{r.label, r.value});
            item->setData(0, KeyRole, r.key());
            item->setForeground(0, QBrush(Qt::black));
            item->setForeground(1, QBrush(Qt::black));
        }
        top->setExpanded(true);
    }
    QTreeWidgetItem *select = itemFor(m_selectionKey);
    if (!select) {
        const ProfileRowPath path = ProfileRows::rowToSelect(m_groups, QString());
        if (path.isValid())
            select = tree->topLevelItem(path.group)->child(path.row);
    }
    if (select)
        tree->setCurrentItem(select);
    tree->verticalScrollBar()->setValue(scrolled);
    m_populating = false;
    changeSelection();
}

QTreeWidgetItem *ProfileEdit::itemFor(const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    QTreeWidget *tree = m_ui->treeProfileItems;
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        QTreeWidgetItem *top = tree->topLevelItem(g);
        if (top->data(0, KeyRole).toString() == key)
            return top;
        for (int r = 0; r < top->childCount(); ++r) {
            if (top->child(r)->data(0, KeyRole).toString() == key)
                return top->child(r);
        }
    }
    return nullptr;
}

void ProfileEdit::showNoSetting()
{
    m_selected = ProfileRow();
    m_ui->groupEdit->setEnabled(false);
    m_ui->editPanel->showBlank(PleaseSelect);
}

void ProfileEdit::changeSelection()
{
    if (m_populating)
        return;
    const QList<QTreeWidgetItem *> items = m_ui->treeProfileItems->selectedItems();
    if (items.isEmpty()) {
        showNoSetting();
        return;
    }
    m_selectionKey = items.first()->data(0, KeyRole).toString();
    const ProfileRowPath path = ProfileRows::find(m_groups, m_selectionKey);
    if (!path.isValid()) {
        showNoSetting(); // a group row
        return;
    }
    m_selected = m_groups[path.group].rows[path.row];
    m_populating = true;
    m_ui->groupEdit->setEnabled(true);
    m_ui->editPanel->setDefaultShown(m_selected.group != QLatin1String("settings"));
    m_ui->editPanel->setFollowChoice(m_selected.group == QLatin1String("remote"));
    m_ui->editPanel->showOption(describe(m_selected), storedValue(m_selected), m_codecs);
    m_populating = false;
}

const Message *ProfileEdit::optionRecord(const QString &name, const QString &channel) const
{
    for (int i = 0; i < m_channelOpts.child_count(); ++i) {
        const Message &o = m_channelOpts.get_child(i);
        if (o.name() == "option" && o.get_bool("profile_opt") && get_qstring(o, "name") == name &&
            get_qstring(o, "channel") == channel)
            return &o;
    }
    return nullptr;
}

OptionDescription ProfileEdit::describe(const ProfileRow &row) const
{
    OptionDescription d;
    if (const Message *record = optionRecord(row.option, row.channel))
        d = OptionDescription::read(*record);
    d.name = row.option;
    d.type = row.type;
    if (row.type == QLatin1String("name")) {
        d.descr = QStringLiteral("Configurable name for this profile.");
    } else if (row.type == QLatin1String("channel")) {
        d.descr = QStringLiteral("Configures the network channel used for this profile.");
        d.choices.clear();
        for (int i = 0; i < m_channelList.child_count(); ++i) {
            const Message &ch = m_channelList.get_child(i);
            if (ch.name() != "channel")
                continue;
            QString text = get_qstring(ch, "descr");
            if (ch.get_bool("advanced"))
                text += QStringLiteral(" (advanced feature)");
            d.choices.append(OptionChoice{text, get_qstring(ch, "id")});
        }
    } else if (row.type == QLatin1String("visible")) {
        d.descr = QStringLiteral("Sets whether this profile is visible when changing peer settings.");
        d.units = QStringLiteral("Visible");
        d.hasLabels = true;
        d.labelTrue = QStringLiteral("Yes");
        d.labelFalse = QStringLiteral("No");
    }
    return d;
}

QString ProfileEdit::storedValue(const ProfileRow &row) const
{
    const Message *side = m_profile.find_child(row.group.toStdString());
    return side ? get_qstring(*side, row.option.toStdString()) : QString();
}

void ProfileEdit::valueEdited(const QString &value)
{
    if (m_populating || m_selected.option.isEmpty())
        return;
    m_profile = ProfileRows::withValue(m_profile, m_selected.group, m_selected.option, value);
    populateProfileItems();
}

void ProfileEdit::defaultClicked()
{
    m_ui->editPanel->defaultClicked();
}

void ProfileEdit::clearStringText()
{
    m_ui->editPanel->clearStringText();
}
