#include "addentrydialog.h"

#include "peermeta.h"
#include "ui_addentrydialog.h"

AddEntry::AddEntry(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::AddEntry)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    m_ui->macAddressLineEdit->setEnabled(false);
    connect(m_ui->weftlineEnableCheckBox, &QCheckBox::stateChanged, this, &AddEntry::weftlineEnableToggled);
}

AddEntry::~AddEntry()
{
    delete m_ui;
}

void AddEntry::fill(const PeerMeta &peer)
{
    m_ui->lineName->setText(peer.name);
    m_ui->lineIPAddress->setText(peer.addr);
    m_ui->linePassword->setText(peer.password);
    m_ui->weftlineEnableCheckBox->setChecked(peer.weftline);
    m_ui->macAddressLineEdit->setText(peer.unit);
    weftlineEnableToggled(m_ui->weftlineEnableCheckBox->checkState());
}

void AddEntry::disableWeftline()
{
    m_weftlineAvailable = false;
    m_ui->weftlineEnableCheckBox->setEnabled(false);
    m_ui->macAddressLineEdit->setEnabled(false);
}

AddEntry::Values AddEntry::values() const
{
    Values v;
    v.name = m_ui->lineName->text();
    v.addr = m_ui->lineIPAddress->text();
    v.password = m_ui->linePassword->text();
    v.unit = m_ui->macAddressLineEdit->text();
    v.weftline = m_ui->weftlineEnableCheckBox->checkState() == Qt::Checked;
    return v;
}

void AddEntry::weftlineEnableToggled(int state)
{
    m_ui->macAddressLineEdit->setEnabled(m_weftlineAvailable && state == Qt::Checked);
}
