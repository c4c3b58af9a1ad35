#pragma once

#include "common/sessionbinding.h"
#include "selection.h"

#include <QObject>
#include <QPointer>

class IPCObject;
class QLineEdit;
class QListWidget;
struct ProfileSummary;

/**
 * Fills the window's profile list ("profileList") from the selected
 * device's profiles, refilled on each of its profile lists (keeping the
 * selected profile and the scroll position). The default profile reads
 * "<name>"; factory profiles are flagged as not editable (role 264).
 *
 * Each row carries the profile's id (262), plain name (263), factory flag
 * (264) and default flag (265).
 */
class ProfileList : public QObject
{
    Q_OBJECT

public:
    /** Drives @p list; @p filter (may be null) filters its rows as the operator types. */
    ProfileList(QListWidget *list, QLineEdit *filter, QObject *parent = nullptr);

    /** Shows the profiles of @p session (or none); the same device again refills. */
    void setSession(IPCObject *session);
    IPCObject *session() const { return m_binding.session(); }

    /** The selected row's data; an invalid value when none is selected. */
    SelectedProfile selectedProfile() const;

    /** The text of a profile's row: its name, in "<" ">" when it is the default. */
    static QString rowText(const ProfileSummary &profile);

public slots:
    /** Rebuilds the rows from the device's profiles, in the device's order. */
    void refill();
    /** Shows the rows whose text contains the filter text and paints the filter box. */
    void applyFilter();

signals:
    /** The rows were rebuilt: the other list's filter and the enables want re-applying. */
    void refilled();

private:
    void fill(const QString &keepId);

    QListWidget *m_list;
    QPointer<QLineEdit> m_filter;
    SessionBinding m_binding;
};
