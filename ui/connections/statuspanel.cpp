#include "statuspanel.h"

#include "ipcobject.h"
#include "qtmessage.h"
#include "ui_statuspanel.h"

#include <string_view>

namespace {

// A record value the codec may send as a child element or as an attribute:
// the child wins.
bool recordBool(const Message &record, std::string_view name)
{
    const QString text = get_field_qstring(record, name).trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1");
}

} // namespace

StatusPanel::StatusPanel(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::StatusPanel)
{
    m_ui->setupUi(this);
}

StatusPanel::~StatusPanel()
{
    delete m_ui;
}

void StatusPanel::setSession(IPCObject *session)
{
    if (m_binding.bind(session)) {
        clear();
        m_ui->currentEncoderLabel->clear();
        m_ui->firmwareVersionLabel->clear();
        if (session) {
            m_binding << connect(session, &IPCObject::recvSipProxy, this, &StatusPanel::refreshSipStatus)
                      << connect(session, &IPCObject::recvDirectoryServer, this,
                                 &StatusPanel::refreshDirectoryServerStatus)
                      << connect(session, &IPCObject::recvCurrentEncoder, this, &StatusPanel::refreshCurrentEncoder)
                      << connect(session, &IPCObject::recvVersion, this, &StatusPanel::refreshFirmwareVersion);
        }
    }
    if (session && session->state() == IQEndpointClient::READY)
        refreshAll();
}

void StatusPanel::refreshAll()
{
    refreshSipStatus();
    refreshDirectoryServerStatus();
    refreshCurrentEncoder();
    refreshFirmwareVersion();
}

void StatusPanel::refreshFirmwareVersion()
{
    IPCObject *session = m_binding.session();
    if (!session)
        return;
    Message version;
    if (session->cachedMessage(QStringLiteral("version"), version))
        m_ui->firmwareVersionLabel->setText(get_field_qstring(version, "version"));
}

void StatusPanel::refreshSipStatus()
{
    IPCObject *session = m_binding.session();
    if (!session)
        return;
    Message sip;
    if (!session->cachedMessage(QStringLiteral("sipProxy"), sip))
        return;
    if (!recordBool(sip, "enabled"))
        m_ui->sipLabel->setText(QStringLiteral("Disabled"));
    else if (recordBool(sip, "online"))
        m_ui->sipLabel->setText(QStringLiteral("Connected (") + get_field_qstring(sip, "status") + QLatin1Char(')'));
    else
        m_ui->sipLabel->setText(QStringLiteral("Not Connected"));
}

void StatusPanel::refreshDirectoryServerStatus()
{
    IPCObject *session = m_binding.session();
    if (!session)
        return;
    Message server;
    if (!session->cachedMessage(QStringLiteral("directoryServer"), server))
        return;
    QLabel *label = m_ui->pallisterServerLabel;
    if (!recordBool(server, "enabled")) {
        label->setText(QStringLiteral("Disabled"));
        label->setStyleSheet(QStringLiteral("color: darkYellow"));
    } else if (recordBool(server, "connected")) {
        label->setText(QStringLiteral("Online"));
        label->setStyleSheet(QStringLiteral("color: darkGreen"));
    } else {
        label->setText(QStringLiteral("Offline"));
        label->setStyleSheet(QStringLiteral("color: darkRed"));
    }
    m_ui->publicIpLabel->setText(get_field_qstring(server, "nat_addr"));
    m_ui->natTypeLabel->setText(get_field_qstring(server, "nat_type"));
}

void StatusPanel::refreshCurrentEncoder()
{
    IPCObject *session = m_binding.session();
    if (!session)
        return;
    Message encoder;
    if (session->cachedMessage(QStringLiteral("currentEncoder"), encoder) && session->activePeerCount() > 0)
        m_ui->currentEncoderLabel->setText(get_field_qstring(encoder, "descr"));
    else
        m_ui->currentEncoderLabel->setText(QStringLiteral("None"));
}

void StatusPanel::clear()
{
    m_ui->sipLabel->clear();
    m_ui->pallisterServerLabel->clear();
    m_ui->publicIpLabel->clear();
    m_ui->natTypeLabel->clear();
}
