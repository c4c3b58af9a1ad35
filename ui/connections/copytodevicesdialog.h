#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>

class IPCObject;
class SessionTable;

namespace Ui {
class SendDialog;
}

/**
 * Chooses the devices an address-book entry or a profile is copied to: one
 * checkable row per device ("unit name : address"), all unchecked at first.
 */
class SendDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SendDialog(QWidget *parent = nullptr);
    ~SendDialog() override;

    /** Lists @p devices, in the order given. */
    void setDevices(const QList<IPCObject *> &devices);
    /** The devices whose rows are checked, in row order (those destroyed meanwhile left out). */
    QList<IPCObject *> chosenDevices() const;

    /** The text of a device's row: its unit name, " : " and its address. */
    static QString rowText(IPCObject *device);
    /** Every device of @p sessions but @p except, in the table's (uuid) order. */
    static QList<IPCObject *> otherDevices(const SessionTable &sessions, const IPCObject *except);

    /**
     * Runs the dialog over every device of @p sessions but @p except and
     * returns the chosen ones; empty when cancelled.
     */
    static QList<IPCObject *> choose(const SessionTable &sessions, const IPCObject *except, QWidget *parent);

private:
    Ui::SendDialog *m_ui;
    QList<QPointer<IPCObject>> m_devices;
};
