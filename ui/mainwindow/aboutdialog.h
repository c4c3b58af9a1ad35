#pragma once

#include <QDialog>

namespace Ui {
class AboutDialog;
}

/** "About Quorvane": the program's name and version, and where its configuration file is. */
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(const QString &configFile, QWidget *parent = nullptr);
    ~AboutDialog() override;

private:
    Ui::AboutDialog *m_ui;
};
