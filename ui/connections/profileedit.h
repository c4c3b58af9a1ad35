#pragma once

#include "message.h"
#include "options/optionrows.h"
#include "profilerows.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVector>

class IPCObject;
class QTreeWidgetItem;

namespace Ui {
class ProfileEdit;
}

/**
 * "Profile Editor": one profile of a device as a tree of its name, its
 * channel and the channel's local and remote settings, each edited on the
 * option pages. Every edit changes the editor's copy of the profile and
 * rebuilds the tree; "Save" sends the whole copy back as "setProfile",
 * "Cancel" sends nothing. Made once by the main window and reused.
 */
class ProfileEdit : public QDialog
{
    Q_OBJECT

public:
    explicit ProfileEdit(QWidget *parent = nullptr);
    ~ProfileEdit() override;

    /**
     * Copies profile @p profileId of @p session's profile list into the
     * editor, with the device's channel list, channel options and codec list
     * (only when all three are cached: otherwise the ones held before stay),
     * and builds the tree. False, changing nothing, when there is no such profile.
     */
    bool load(IPCObject *session, const QString &profileId);
    /**
     * "Edit Profile...": load(), then runs the dialog; "Save" sends the edited
     * profile to @p session. True when it was sent.
     */
    bool editProfile(IPCObject *session, const QString &profileId);

    /** The profile as edited so far (a "profile" element). */
    const Message &profile() const { return m_profile; }
    /** Group and option name of the selected setting ("localencoder"), or a group row's title. */
    const QString &selectionKey() const { return m_selectionKey; }

public slots:
    /** Rebuilds the tree from the edited profile, reselecting the same setting. */
    void populateProfileItems();
    /** Shows the selected setting on its editing page. */
    void changeSelection();
    void defaultClicked();
    void clearStringText();
    /** "Save": sends the edited profile as "setProfile" and closes. */
    void accept() override;

private:
    void valueEdited(const QString &value);
    OptionDescription describe(const ProfileRow &row) const;
    const Message *optionRecord(const QString &name, const QString &channel) const;
    QString storedValue(const ProfileRow &row) const;
    QTreeWidgetItem *itemFor(const QString &key) const;
    void showNoSetting();

    Ui::ProfileEdit *m_ui;
    QPointer<IPCObject> m_session;
    Message m_profile;
    Message m_channelOpts;
    Message m_channelList;
    Message m_codecList;
    QList<CodecChoice> m_codecs;
    QVector<ProfileGroup> m_groups;
    ProfileRow m_selected;
    QString m_selectionKey;
    bool m_populating = false;
    bool m_sent = false;
};
