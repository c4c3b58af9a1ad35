#include "emailmanagementdialog.h"

#include "emailcheck.h"
#include "ui_emailmanagementdialog.h"

#include <QMenu>

EmailManagementDialog::EmailManagementDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::EmailManagementDialog)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(m_ui->addEmailButton, &QPushButton::clicked, this, &EmailManagementDialog::emailAddClicked);
    connect(m_ui->emailEdit, &QLineEdit::textChanged, this, &EmailManagementDialog::lineEditChanged);
    connect(m_ui->emailEdit, &QLineEdit::returnPressed, this, [this] {
        if (m_ui->addEmailButton->isEnabled())
            emailAddClicked();
    });
    connect(m_ui->addressList, &QListWidget::itemDoubleClicked, this, &EmailManagementDialog::editItem);
    connect(m_ui->addressList, &QListWidget::customContextMenuRequested, this,
            &EmailManagementDialog::addressListContextMenu);
    connect(m_ui->actionRemoveAddress, &QAction::triggered, this, &EmailManagementDialog::removeAddress);
    lineEditChanged(QString());
}

EmailManagementDialog::~EmailManagementDialog()
{
    delete m_ui;
}

void EmailManagementDialog::setAddresses(const QStringList &addresses)
{
    m_ui->addressList->clear();
    for (const QString &address : addresses)
        appendAddress(address);
}

QStringList EmailManagementDialog::addresses() const
{
    QStringList out;
    for (int i = 0; i < m_ui->addressList->count(); ++i) {
        const QString text = m_ui->addressList->item(i)->text().trimmed();
        // An address emptied in place is a removal, not an address.
        if (!text.isEmpty())
            out << text;
    }
    return out;
}

void EmailManagementDialog::appendAddress(const QString &text)
{
    auto *item = new QListWidgetItem(text, m_ui->addressList);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
}

void EmailManagementDialog::emailAddClicked()
{
    const QString text = m_ui->emailEdit->text();
    if (text.isEmpty())
        return;
    appendAddress(text);
    m_ui->emailEdit->clear();
}

void EmailManagementDialog::lineEditChanged(const QString &text)
{
    m_ui->addEmailButton->setEnabled(emailTextAcceptable(text));
}

void EmailManagementDialog::editItem(QListWidgetItem *item)
{
    if (item)
        m_ui->addressList->editItem(item);
}

void EmailManagementDialog::addressListContextMenu(const QPoint &pos)
{
    if (!m_ui->addressList->itemAt(pos))
        return;
    QMenu menu(this);
    menu.addAction(m_ui->actionRemoveAddress);
    menu.exec(m_ui->addressList->viewport()->mapToGlobal(pos));
}

void EmailManagementDialog::removeAddress()
{
    qDeleteAll(m_ui->addressList->selectedItems());
}
