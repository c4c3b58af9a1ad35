#include "logtab.h"

#include "devicelog.h"
#include "ipcobject.h"
#include "ui_logtab.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

LogTab::LogTab(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::LogTab)
{
    m_ui->setupUi(this);
    connect(m_ui->logButtonBox, &QDialogButtonBox::clicked, this, &LogTab::handleButtonPress);
}

LogTab::~LogTab()
{
    delete m_ui;
}

void LogTab::setSession(IPCObject *session)
{
    if (m_binding.bind(session) && session) {
        m_binding << connect(&session->eventLog(), &DeviceLog::lineAdded, this, &LogTab::append)
                  << connect(&session->eventLog(), &DeviceLog::lineReplaced, this, &LogTab::append);
    }
    reload();
}

void LogTab::setButtonsEnabled(bool enabled)
{
    m_ui->logButtonBox->setEnabled(enabled);
}

void LogTab::reload()
{
    m_ui->logView->clear();
    IPCObject *session = m_binding.session();
    if (!session)
        return;
    const QList<LogLine> &lines = session->eventLog().lines();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        m_ui->logView->appendPlainText(it->text());
}

void LogTab::append(const LogLine &line)
{
    m_ui->logView->appendPlainText(line.text());
}

void LogTab::handleButtonPress(QAbstractButton *button)
{
    switch (m_ui->logButtonBox->standardButton(button)) {
    case QDialogButtonBox::Reset:
        reset();
        break;
    case QDialogButtonBox::Save:
        save();
        break;
    default:
        break;
    }
}

void LogTab::reset()
{
    IPCObject *session = m_binding.session();
    if (!session)
        return;
    session->eventLog().clear();
    m_ui->logView->clear();
}

QString LogTab::logFileName(const QString &chosen)
{
    if (chosen.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
        return chosen;
    return chosen + QStringLiteral(".txt");
}

bool LogTab::writeLogFile(const QString &path, const QString &text)
{
    QFile file(path);
    // Truncated: a shorter log must not leave the tail of an older file behind.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return false;
    QString content = text;
    content.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    content += QStringLiteral("\r\n");
    const QByteArray bytes = content.toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}

void LogTab::save()
{
    const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Save Log as txt File"), QString(),
                                                        QStringLiteral("Text file (*.txt)"));
    if (chosen.isEmpty())
        return;
    if (!writeLogFile(logFileName(chosen), m_ui->logView->toPlainText())) {
        QMessageBox::warning(this, QStringLiteral("Error"), QStringLiteral("Unable to save the log to the file specified."),
                             QMessageBox::Ok);
    }
}
