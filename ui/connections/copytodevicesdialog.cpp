#include "copytodevicesdialog.h"

#include "ipcobject.h"
#include "sessiontable.h"
#include "ui_copytodevicesdialog.h"

SendDialog::SendDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::SendDialog)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

SendDialog::~SendDialog()
{
    delete m_ui;
}

void SendDialog::setDevices(const QList<IPCObject *> &devices)
{
    m_ui->deviceList->clear();
    m_devices.clear();
    for (IPCObject *device : devices) {
        auto *item = new QListWidgetItem(rowText(device), m_ui->deviceList);
        item->setFlags((item->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
        m_devices.append(device);
    }
    // Wide enough for the longest unit name and address, within reason.
    QListWidget *list = m_ui->deviceList;
    const int wanted = list->sizeHintForColumn(0) + 2 * list->frameWidth() + 24;
    list->setMinimumWidth(qBound(200, wanted, 600));
    adjustSize();
}

QList<IPCObject *> SendDialog::chosenDevices() const
{
    QList<IPCObject *> out;
    for (int i = 0; i < m_ui->deviceList->count() && i < m_devices.size(); ++i) {
        if (m_ui->deviceList->item(i)->checkState() == Qt::Checked && m_devices[i])
            out.append(m_devices[i]);
    }
    return out;
}

QString SendDialog::rowText(IPCObject *device)
{
    return device->unitName() + QStringLiteral(" : ") + device->address();
}

QList<IPCObject *> SendDialog::otherDevices(const SessionTable &sessions, const IPCObject *except)
{
    QList<IPCObject *> out;
    for (IPCObject *s : sessions.sessions()) {
        if (s && s != except)
            out.append(s);
    }
    return out;
}

QList<IPCObject *> SendDialog::choose(const SessionTable &sessions, const IPCObject *except, QWidget *parent)
{
    SendDialog dialog(parent);
    dialog.setDevices(otherDevices(sessions, except));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.chosenDevices();
}
