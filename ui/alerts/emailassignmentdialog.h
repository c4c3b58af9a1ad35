#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

namespace Ui {
class EmailAssignmentDialog;
}

/**
 * Collects e-mail addresses to add to several devices at once: the devices
 * are chosen in "Units to add email adresses to", the addresses listed in
 * "Email addresses to add".
 */
class EmailAssignmentDialog : public QDialog
{
    Q_OBJECT

public:
    explicit EmailAssignmentDialog(QWidget *parent = nullptr);
    ~EmailAssignmentDialog() override;

    /** The devices offered, by their display texts; a single one starts selected. */
    void setUnits(const QStringList &names);
    /** Indexes (into setUnits()) of the selected devices, in list order. */
    QList<int> selectedUnits() const;
    /** The addresses to add, in list order. */
    QStringList addresses() const;

public slots:
    /** Appends the typed address (when there is one) and clears the line. */
    void emailAppendClicked();

private:
    void removeSelectedAddresses();
    void updateAddButton();

    Ui::EmailAssignmentDialog *m_ui;
};
