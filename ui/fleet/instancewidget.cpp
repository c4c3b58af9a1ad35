#include "instancewidget.h"

#include "connectionline.h"
#include "ipcobject.h"
#include "meters/minimeter.h"
#include "passwordprompt.h"

#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStyleOption>
#include <QTimer>

#include <stdexcept>

const char *const InstanceWidget::ActiveStyle =
    "InstanceWidget { background-color: qlineargradient( x1:0.6, y2:1, x2:0.6, y1:0, stop:0 #cde, stop:0.28 #cde, "
    "stop:0.495 #fff, stop:0.505 #fff, stop:0.72 #cde, stop:1 #ccd);  border: 1px solid grey; border-radius: 8px;} "
    "InstanceWidget:hover {background-color: rgba( 240, 245, 212, 255); border: 2px solid white;}";
const char *const InstanceWidget::InactiveStyle =
    "InstanceWidget { background-color: qlineargradient( x1:0.6, y2:1, x2:0.6, y1:0, stop:0 #abb, stop:0.3 #abb, "
    "stop:0.495 #ddd, stop:0.505 #ddd, stop:0.7 #abb, stop:1 #9aa);  border: 1px solid grey; border-radius: 8px;} "
    "InstanceWidget:hover {background-color: rgba( 210, 210, 210, 255); border: 2px solid lightgray;}";

QString InstanceWidget::iconStyle(Icon icon)
{
    const char *file = nullptr;
    switch (icon) {
    case Icon::GreenCheck:
        file = "green_check.png";
        break;
    case Icon::RedCross:
        file = "red_x.png";
        break;
    case Icon::YellowArrow:
        file = "yellow backbend arrow.png";
        break;
    case Icon::Alert:
        file = "alert.png";
        break;
    case Icon::None:
        return QString();
    }
    return QStringLiteral("border-image: url(:icons/%1) 0 0 0 0 stretch stretch;").arg(QLatin1String(file));
}

InstanceWidget::InstanceWidget(QWidget *parent, IPCObject *session, const QUuid &tileUuid)
    : QWidget(parent)
    , m_uuid(tileUuid)
{
    auto *grid = new QGridLayout(this);
    grid->setColumnMinimumWidth(0, 12);

    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("nameLabel"));
    QFont bold = m_name->font();
    bold.setWeight(75);
    bold.setPointSizeF(bold.pointSizeF() + 4);
    m_name->setFont(bold);
    m_name->setMaximumHeight(18);
    grid->addWidget(m_name, 0, 0);

    m_connection = new QLabel(this);
    m_connection->setObjectName(QStringLiteral("connectionLabel"));
    m_connection->setMaximumHeight(18);
    grid->addWidget(m_connection, 0, 1);

    m_statusIcon = new QWidget(this);
    m_statusIcon->setObjectName(QStringLiteral("statusIcon"));
    m_statusIcon->setFixedSize(16, 16);
    // A plain widget draws its style sheet only when asked to.
    m_statusIcon->setAttribute(Qt::WA_StyledBackground);
    grid->addWidget(m_statusIcon, 0, 2);

    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("stateLabel"));
    grid->addWidget(m_state, 1, 0);

    m_meter = new MiniMeter(this);
    grid->addWidget(m_meter, 1, 1, 1, 2);

    setMinimumSize(270, 66);
    setMaximumSize(550, 66);
    setActive(false);
    m_name->setText(session ? session->address() : QString());
    if (session)
        attachIPC(session);
}

void InstanceWidget::attachIPC(IPCObject *session)
{
    if (m_session)
        throw std::logic_error("Attempt to attatchIPC made where IPCObject is already present.");
    if (!session)
        throw std::invalid_argument("Don't pass null ipc pointer to InstanceWidget.");
    m_session = session;
    connect(session, &IPCObject::changedState, this, &InstanceWidget::ipcChangedState);
    connect(session, &IPCObject::recvSysOptions, this, &InstanceWidget::ipcRecvSysOptions);
    connect(session, &IPCObject::recvPeerList, this, &InstanceWidget::ipcRecvPeerList);
    connect(session, &IPCObject::recvVersion, this, &InstanceWidget::ipcRecvVersion);
    connect(session, &IPCObject::newChanState, this, &InstanceWidget::ipcNewChanState);
    connect(session, &IPCObject::recvLevels, m_meter, &MiniMeter::levels);
    // A time-out is reported apart from changedState(), just before DISCONNECTED.
    connect(session, &IQEndpointClient::cnxn_timed_out, this, [this] {
        m_shown.timedOut();
        if (m_session)
            ipcChangedState(m_session->uuid(), IQEndpointClient::TIMED_OUT);
    });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &InstanceWidget::showContextMenu);
    ipcChangedState(session->uuid(), session->state());
    ipcRecvVersion(session->uuid());
    setCursor(Qt::PointingHandCursor);
}

void InstanceWidget::setPasswordPrompt(PasswordPrompt *prompt)
{
    m_prompt = prompt;
}

IPCObject *InstanceWidget::session() const
{
    return m_session.data();
}

void InstanceWidget::setActive(bool active)
{
    m_active = active;
    setStyleSheet(QLatin1String(active ? ActiveStyle : InactiveStyle));
}

void InstanceWidget::setIcon(Icon icon)
{
    m_icon = icon;
    m_statusIcon->setStyleSheet(iconStyle(icon));
}

void InstanceWidget::select()
{
    m_selected = true;
    m_notReady = !m_session || m_session->state() != IQEndpointClient::READY;
    update();
    emit selected(m_uuid);
}

void InstanceWidget::deselect()
{
    m_selected = false;
    m_notReady = true;
    update();
}

void InstanceWidget::doUpdate()
{
    update();
}

void InstanceWidget::ipcChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE reported)
{
    const IQEndpointClient::DEVICE_STATE state = m_shown.shown(reported);
    if (state != IQEndpointClient::READY)
        m_meter->reset();
    switch (state) {
    case IQEndpointClient::TIMED_OUT:
    case IQEndpointClient::DISCONNECTED:
        setActive(false);
        setIcon(Icon::RedCross);
        break;
    case IQEndpointClient::AUTH_FAILED:
        setIcon(Icon::Alert);
        break;
    case IQEndpointClient::CONNECTING:
        setIcon(Icon::YellowArrow);
        break;
    case IQEndpointClient::AUTHENTICATED:
    case IQEndpointClient::READY:
        setIcon(Icon::GreenCheck);
        break;
    default:
        break;
    }
    if (state == IQEndpointClient::READY) {
        refreshConnectionCount();
        if (m_session)
            m_name->setText(m_session->unitName());
        // The details pane follows a selected device that became ready.
        if (m_selected)
            select();
    } else {
        m_state->setText(deviceStateText(state, 0, m_state->text()));
    }
    if (state == IQEndpointClient::AUTH_FAILED)
        askForPassword(uuid);
}

void InstanceWidget::askForPassword(QUuid uuid)
{
    if (!m_prompt)
        return;
    // From the event loop, not from inside the session's signal: the device
    // may go away while the prompt is open.
    QTimer::singleShot(0, this, [this, uuid] {
        if (m_prompt && m_session && m_session->state() == IQEndpointClient::AUTH_FAILED)
            m_prompt->ask(uuid, this);
    });
}

void InstanceWidget::ipcRecvSysOptions(QUuid)
{
    if (m_session)
        m_name->setText(m_session->unitName());
}

void InstanceWidget::ipcRecvPeerList(QUuid)
{
    if (!m_session)
        return;
    const ConnectionLine line = connectionLine(m_session->activePeers());
    m_connection->setText(line.text);
    m_connection->setToolTip(line.toolTip);
    refreshConnectionCount();
}

void InstanceWidget::refreshConnectionCount()
{
    if (m_session && m_session->state() == IQEndpointClient::READY)
        m_state->setText(connectionCountText(m_session->activePeerCount()));
}

void InstanceWidget::ipcNewChanState(QUuid, QString chanState)
{
    m_state->setText(chanState);
}

void InstanceWidget::ipcRecvVersion(QUuid)
{
    Message version;
    if (m_session && m_session->cachedMessage(QStringLiteral("version"), version))
        setActive(true);
}

void InstanceWidget::fillContextMenu(QMenu *menu) const
{
    if (m_session)
        m_actions.addToWithSeparators(menu, m_session->state(), m_session->meteringEnabled());
}

void InstanceWidget::showContextMenu(const QPoint &pos)
{
    select();
    QMenu menu(this);
    fillContextMenu(&menu);
    if (!menu.isEmpty())
        menu.exec(mapToGlobal(pos));
}

void InstanceWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    if (!m_selected)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 240, 0, 255), 6));
    painter.drawRoundedRect(QRect(3, 3, width() - 6, height() - 6), 5, 5);
}

void InstanceWidget::mousePressEvent(QMouseEvent *)
{
    select();
}
