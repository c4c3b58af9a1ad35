#pragma once

#include "common/sessionbinding.h"

#include <QWidget>

class IPCObject;

namespace Ui {
class StatusPanel;
}

/**
 * The "System Status" box of the connections tab: the selected device's
 * current encoder, directory server, SIP, public address, NAT type and
 * firmware version, each redrawn when the device reports it.
 */
class StatusPanel : public QWidget
{
    Q_OBJECT

public:
    explicit StatusPanel(QWidget *parent = nullptr);
    ~StatusPanel() override;

    /**
     * Shows @p session (or none). Another device empties every value first;
     * a ready device fills them from what it holds.
     */
    void setSession(IPCObject *session);

public slots:
    /** Redraws every value from the device's held records. */
    void refreshAll();
    void refreshSipStatus();
    void refreshDirectoryServerStatus();
    void refreshCurrentEncoder();
    void refreshFirmwareVersion();
    /** Empties the SIP, directory server, public address and NAT type values. */
    void clear();

private:
    Ui::StatusPanel *m_ui;
    SessionBinding m_binding;
};
