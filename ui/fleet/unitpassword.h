#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class UnitPassword;
}

/**
 * Asks for a device's login password after the device refused the one it
 * was given. The text shows only while it is being typed.
 */
class UnitPassword : public QDialog
{
    Q_OBJECT

public:
    explicit UnitPassword(QWidget *parent = nullptr);
    ~UnitPassword() override;

    /** Names the unit in the prompt; an empty name keeps the generic prompt. */
    void setUnitName(const QString &unitName);
    /** Adds the device's address to the title; an empty address keeps the plain title. */
    void setAddress(const QString &address);

    QString password() const;

private:
    Ui::UnitPassword *m_ui;
};
