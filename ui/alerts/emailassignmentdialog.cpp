#include "emailassignmentdialog.h"

#include "emailcheck.h"
#include "ui_emailassignmentdialog.h"

EmailAssignmentDialog::EmailAssignmentDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::EmailAssignmentDialog)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(m_ui->addButton, &QPushButton::clicked, this, &EmailAssignmentDialog::emailAppendClicked);
    // Left without a handler it would let an address the operator meant to
    // drop be assigned anyway.
    connect(m_ui->removeButton, &QPushButton::clicked, this, &EmailAssignmentDialog::removeSelectedAddresses);
    connect(m_ui->emailEdit, &QLineEdit::textChanged, this, &EmailAssignmentDialog::updateAddButton);
    connect(m_ui->emailEdit, &QLineEdit::returnPressed, this, [this] {
        if (m_ui->addButton->isEnabled())
            emailAppendClicked();
    });
    connect(m_ui->addressList, &QListWidget::itemSelectionChanged, this,
            [this] { m_ui->removeButton->setEnabled(!m_ui->addressList->selectedItems().isEmpty()); });
    m_ui->removeButton->setEnabled(false);
    updateAddButton();
}

EmailAssignmentDialog::~EmailAssignmentDialog()
{
    delete m_ui;
}

void EmailAssignmentDialog::setUnits(const QStringList &names)
{
    m_ui->unitList->clear();
    m_ui->unitList->addItems(names);
    if (names.size() == 1)
        m_ui->unitList->item(0)->setSelected(true);
}

QList<int> EmailAssignmentDialog::selectedUnits() const
{
    QList<int> rows;
    for (int i = 0; i < m_ui->unitList->count(); ++i) {
        if (m_ui->unitList->item(i)->isSelected())
            rows << i;
    }
    return rows;
}

QStringList EmailAssignmentDialog::addresses() const
{
    QStringList out;
    for (int i = 0; i < m_ui->addressList->count(); ++i)
        out << m_ui->addressList->item(i)->text();
    return out;
}

void EmailAssignmentDialog::emailAppendClicked()
{
    const QString text = m_ui->emailEdit->text();
    if (text.isEmpty())
        return;
    m_ui->addressList->addItem(text);
    m_ui->emailEdit->clear();
}

void EmailAssignmentDialog::removeSelectedAddresses()
{
    qDeleteAll(m_ui->addressList->selectedItems());
}

void EmailAssignmentDialog::updateAddButton()
{
    m_ui->addButton->setEnabled(emailTextAcceptable(m_ui->emailEdit->text()));
}
