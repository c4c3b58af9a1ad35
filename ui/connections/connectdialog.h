#pragma once

#include "common/sessionbinding.h"

#include <QDialog>
#include <QString>
#include <QUuid>

class IPCObject;
class QListWidget;

namespace Ui {
class ConnectionDialog;
}

/**
 * "Connection setup": a peer and a profile of one device, chosen side by
 * side. The lists follow the device's peer and profile lists while the
 * dialog is open. OK needs a peer and a profile.
 */
class ConnectionDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConnectionDialog(IPCObject *session, QWidget *parent = nullptr);
    ~ConnectionDialog() override;

    IPCObject *session() const { return m_binding.session(); }
    /** The chosen peer's id; empty when none is chosen. */
    QString selectedPeerId() const;
    /** The chosen profile's id; empty when none is chosen. */
    QString selectedProfileId() const;

public slots:
    void ipcPeerListUpdate(QUuid uuid);
    void ipcProfileListUpdate(QUuid uuid);
    /** Stops following the device. */
    void dialogFinished();

private:
    void fillPeers();
    void fillProfiles();
    void updateOk();

    Ui::ConnectionDialog *m_ui;
    SessionBinding m_binding;
};
