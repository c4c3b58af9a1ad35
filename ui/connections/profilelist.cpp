#include "profilelist.h"

#include "common/itemroles.h"
#include "ipcobject.h"
#include "listfilter.h"

#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>

ProfileList::ProfileList(QListWidget *list, QLineEdit *filter, QObject *parent)
    : QObject(parent)
    , m_list(list)
    , m_filter(filter)
{
    if (m_filter)
        connect(m_filter, &QLineEdit::textChanged, this, &ProfileList::applyFilter);
}

void ProfileList::setSession(IPCObject *session)
{
    if (m_binding.bind(session)) {
        if (session)
            m_binding << connect(session, &IPCObject::recvProfileList, this, &ProfileList::refill);
        // Another device: nothing of the last selection applies, and until it
        // is ready its profiles may be those of before a reconnection.
        m_list->clear();
        if (session && session->state() == IQEndpointClient::READY) {
            fill(QString());
        } else {
            applyFilter();
            emit refilled();
        }
        return;
    }
    if (session)
        refill();
}

SelectedProfile ProfileList::selectedProfile() const
{
    SelectedProfile p;
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return p;
    const QListWidgetItem *item = selected.first();
    p.id = item->data(ItemRoles::ProfileId).toString();
    p.name = item->data(ItemRoles::ProfileName).toString();
    p.factory = item->data(ItemRoles::ProfileNotEditable).toBool();
    p.isDefault = item->data(ItemRoles::ProfileDefault).toBool();
    return p;
}

QString ProfileList::rowText(const ProfileSummary &profile)
{
    return profile.isDefault ? QLatin1Char('<') + profile.name + QLatin1Char('>') : profile.name;
}

void ProfileList::refill()
{
    fill(selectedProfile().id);
}

void ProfileList::fill(const QString &keepId)
{
    const int scroll = m_list->verticalScrollBar()->value();
    m_list->clear();
    if (IPCObject *s = m_binding.session()) {
        for (const ProfileSummary &p : s->profiles()) {
            auto *item = new QListWidgetItem(rowText(p), m_list);
            item->setData(ItemRoles::ProfileId, p.id);
            item->setData(ItemRoles::ProfileName, p.name);
            item->setData(ItemRoles::ProfileNotEditable, p.factory);
            item->setData(ItemRoles::ProfileDefault, p.isDefault);
            if (!keepId.isEmpty() && p.id == keepId)
                m_list->setCurrentItem(item);
        }
    }
    applyFilter();
    m_list->verticalScrollBar()->setValue(scroll);
    emit refilled();
}

void ProfileList::applyFilter()
{
    const QString text = m_filter ? m_filter->text() : QString();
    QVector<QStringList> rows;
    rows.reserve(m_list->count());
    for (int i = 0; i < m_list->count(); ++i)
        rows.append(QStringList{m_list->item(i)->text()});
    const ListFilter::Result result = ListFilter::apply(text, rows);
    for (int i = 0; i < rows.size(); ++i)
        m_list->item(i)->setHidden(!result.visible[i]);
    if (m_filter)
        m_filter->setStyleSheet(result.styleSheet);
}
