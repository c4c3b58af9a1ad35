#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QListWidgetItem;
class QPoint;

namespace Ui {
class EmailManagementDialog;
}

/**
 * "Manage Alert Addresses": the alert e-mail list of one device, to add to,
 * edit in place (double-click) and remove from (context menu).
 */
class EmailManagementDialog : public QDialog
{
    Q_OBJECT

public:
    explicit EmailManagementDialog(QWidget *parent = nullptr);
    ~EmailManagementDialog() override;

    void setAddresses(const QStringList &addresses);
    /** The list's texts in order, blank ones (emptied in place) left out. */
    QStringList addresses() const;

public slots:
    /** Appends the typed address (when there is one) and clears the line. */
    void emailAddClicked();
    /** Enables "Add Email" while @p text passes the address check. */
    void lineEditChanged(const QString &text);
    /** Starts editing @p item in place. */
    void editItem(QListWidgetItem *item);
    /** The list's context menu at @p pos, with "Remove address". */
    void addressListContextMenu(const QPoint &pos);
    /** Removes the selected addresses. */
    void removeAddress();

private:
    void appendAddress(const QString &text);

    Ui::EmailManagementDialog *m_ui;
};
