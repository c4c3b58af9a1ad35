#include "unitpassword.h"

#include "ui_unitpassword.h"

UnitPassword::UnitPassword(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::UnitPassword)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    resize(307, 89);
    m_ui->passwordEdit->setFocus();
}

UnitPassword::~UnitPassword()
{
    delete m_ui;
}

void UnitPassword::setUnitName(const QString &unitName)
{
    m_ui->promptLabel->setText(unitName.isEmpty()
                                   ? QStringLiteral("Enter connection password:")
                                   : QStringLiteral("Enter connection password for ") + unitName + QLatin1Char(':'));
}

void UnitPassword::setAddress(const QString &address)
{
    setWindowTitle(address.isEmpty() ? QStringLiteral("Device Login Failed")
                                     : QStringLiteral("Device Login Failed (") + address + QLatin1Char(')'));
}

QString UnitPassword::password() const
{
    return m_ui->passwordEdit->text();
}
