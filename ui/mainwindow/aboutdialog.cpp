#include "aboutdialog.h"

#include "ui_aboutdialog.h"

#include <QDir>

#ifndef QV_VERSION
#define QV_VERSION ""
#endif

AboutDialog::AboutDialog(const QString &configFile, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::AboutDialog)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_ui->versionLabel->setText(QStringLiteral("Version %1").arg(QStringLiteral(QV_VERSION)));
    m_ui->configPathLabel->setText(QDir::toNativeSeparators(configFile));
}

AboutDialog::~AboutDialog()
{
    delete m_ui;
}
