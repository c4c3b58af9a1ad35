#include "weftlinestats.h"

#include "interfacepanel.h"
#include "ipcobject.h"
#include "tunnelinfo.h"
#include "ui_weftlinestats.h"

#include <QSignalBlocker>

WeftlineStats::WeftlineStats(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::WeftlineStats)
{
    m_ui->setupUi(this);
    m_interfaces = std::make_unique<InterfacePanel>(m_ui->ifcWidget);
    m_ui->lossLegend->setText(QStringLiteral("<span style=\"color:%1\">Loss</span>&nbsp;&nbsp;"
                                             "<span style=\"color:%2\">Late</span>&nbsp;&nbsp;"
                                             "<span style=\"color:%3\">Recovery</span>")
                                  .arg(LossLateRecoveryGrapher::LossColour.name(),
                                       LossLateRecoveryGrapher::LateColour.name(),
                                       LossLateRecoveryGrapher::RecoveryColour.name()));

    connect(m_ui->radioTx, &QRadioButton::clicked, this, &WeftlineStats::radioTxClicked);
    connect(m_ui->radioRx, &QRadioButton::clicked, this, &WeftlineStats::radioRxClicked);
    connect(m_ui->txAuto, &QCheckBox::stateChanged, this, &WeftlineStats::checkTxDelayAutoChanged);
    connect(m_ui->rxAuto, &QCheckBox::stateChanged, this, &WeftlineStats::checkRxDelayAutoChanged);
    connect(m_ui->txSlider, &QSlider::sliderReleased, this, &WeftlineStats::sliderTxDelayReleased);
    connect(m_ui->rxSlider, &QSlider::sliderReleased, this, &WeftlineStats::sliderRxDelayReleased);
    showDirection(false);
}

WeftlineStats::~WeftlineStats()
{
    detach();
    m_interfaces.reset();
    delete m_ui;
}

TunnelSession *WeftlineStats::tunnelSession() const
{
    return m_device ? m_device->tunnelInfo()->session() : nullptr;
}

void WeftlineStats::setDevice(IPCObject *device)
{
    if (device == m_device && (device == nullptr || !m_connections.isEmpty()))
        return;
    detach();
    m_device = device;
    if (!device) {
        setStatus(noTunnelStatus());
        return;
    }
    TunnelInfo *info = device->tunnelInfo();
    m_connections = {
        connect(info, &TunnelInfo::sessionCreate, this, &WeftlineStats::tunnelSessionCreate),
        connect(info, &TunnelInfo::sessionDestroy, this, &WeftlineStats::tunnelSessionDestroy),
        connect(info, &TunnelInfo::sessionStatsUpdate, this, &WeftlineStats::tunnelSessionStatsUpdate),
        connect(info, &TunnelInfo::sessionDelayUpdate, this, &WeftlineStats::tunnelSessionDelayUpdate),
        connect(info, &TunnelInfo::weftlineStatus, this, &WeftlineStats::setStatus),
        // The session's tunnel goes with it: forget it without touching it.
        connect(device, &QObject::destroyed, this, [this] {
            m_attached = nullptr;
            m_connections.clear();
            clearView();
            setStatus(noTunnelStatus());
        }),
    };
    if (TunnelSession *s = info->session())
        attach(s);
    setStatus(info->status().isEmpty() ? noTunnelStatus() : info->status());
}

void WeftlineStats::attach(TunnelSession *s)
{
    s->tx.grapher = m_ui->txLoss;
    s->rx.grapher = m_ui->rxLoss;
    s->txUtilization = m_ui->txUtilization;
    s->rxUtilization = m_ui->rxUtilization;
    s->interfaceWidget = m_interfaces.get();
    m_attached = s;
    // What the model already knows, so a reselected device does not wait for a change.
    const QList<QByteArray> &order = s->connectionOrder();
    for (int i = 0; i < order.size(); ++i) {
        if (const TunnelConnection *c = s->connections.value(order.at(i)))
            m_interfaces->ensureConnection(i, *c);
    }
    tunnelSessionDelayUpdate(s->id);
    showDirection(m_ui->radioRx->isChecked());
}

void WeftlineStats::detach()
{
    for (const QMetaObject::Connection &c : qAsConst(m_connections))
        disconnect(c);
    m_connections.clear();
    if (TunnelSession *s = m_attached) {
        if (s->tx.grapher == m_ui->txLoss)
            s->tx.grapher = nullptr;
        if (s->rx.grapher == m_ui->rxLoss)
            s->rx.grapher = nullptr;
        if (s->txUtilization == m_ui->txUtilization)
            s->txUtilization = nullptr;
        if (s->rxUtilization == m_ui->rxUtilization)
            s->rxUtilization = nullptr;
        if (s->interfaceWidget == m_interfaces.get())
            s->interfaceWidget = nullptr;
    }
    m_attached = nullptr;
    clearView();
}

void WeftlineStats::clearView()
{
    m_interfaces->clear();
    m_ui->txUtilization->clear();
    m_ui->rxUtilization->clear();
    m_ui->txLoss->clear();
    m_ui->rxLoss->clear();
}

void WeftlineStats::setStatus(const QString &colour)
{
    m_status = colour;
    emit statusChanged(colour);
}

void WeftlineStats::tunnelSessionCreate(int sid)
{
    TunnelSession *s = tunnelSession();
    if (s && s->id == sid)
        attach(s);
}

void WeftlineStats::tunnelSessionDestroy(int)
{
    // The model deletes the session right after this signal.
    m_attached = nullptr;
    clearView();
}

void WeftlineStats::showDelays(const TunnelDirectionStats &d, DelaySlider *slider, QCheckBox *check)
{
    // Values from the codec must not look like the operator's: no setMaxDelay echoed back.
    const QSignalBlocker sliderBlock(slider);
    const QSignalBlocker checkBlock(check);
    const int scale = d.delayPoints[4];
    slider->setMaxPacketDelay(d.maxPacketDelay, scale);
    slider->setDelayPoints(d.delayPoints, scale);
    if (!slider->isSliderDown())
        slider->setValue(d.maxAllowedDelay);
    slider->setEnabled(!d.delayModeAuto);
    check->setChecked(d.delayModeAuto);
}

void WeftlineStats::tunnelSessionDelayUpdate(int)
{
    TunnelSession *s = tunnelSession();
    if (!s)
        return;
    showDelays(s->tx, m_ui->txSlider, m_ui->txAuto);
    showDelays(s->rx, m_ui->rxSlider, m_ui->rxAuto);
}

void WeftlineStats::tunnelSessionStatsUpdate(int)
{
    showDirection(m_ui->radioRx->isChecked());
}

void WeftlineStats::showDirection(bool receive)
{
    m_ui->txSlider->setVisible(!receive);
    m_ui->txDelayLabel->setVisible(!receive);
    m_ui->txAuto->setVisible(!receive);
    m_ui->txUtilization->setVisible(!receive);
    m_ui->txLoss->setVisible(!receive);
    m_ui->rxSlider->setVisible(receive);
    m_ui->rxDelayLabel->setVisible(receive);
    m_ui->rxAuto->setVisible(receive);
    m_ui->rxUtilization->setVisible(receive);
    m_ui->rxLoss->setVisible(receive);
    m_interfaces->setReceive(receive);
}

void WeftlineStats::radioTxClicked(bool checked)
{
    if (checked)
        showDirection(false);
}

void WeftlineStats::radioRxClicked(bool checked)
{
    if (checked)
        showDirection(true);
}

void WeftlineStats::checkTxDelayAutoChanged(int state)
{
    m_ui->txSlider->setEnabled(state != Qt::Checked);
    sendMaxDelay(false);
}

void WeftlineStats::checkRxDelayAutoChanged(int state)
{
    m_ui->rxSlider->setEnabled(state != Qt::Checked);
    sendMaxDelay(true);
}

void WeftlineStats::delayReleased(bool remote)
{
    DelaySlider *slider = remote ? m_ui->rxSlider : m_ui->txSlider;
    if (slider->value() <= 9) {
        const QSignalBlocker block(slider);
        slider->setValue(10);
    }
    sendMaxDelay(remote);
}

void WeftlineStats::sliderTxDelayReleased()
{
    delayReleased(false);
}

void WeftlineStats::sliderRxDelayReleased()
{
    delayReleased(true);
}

void WeftlineStats::sendMaxDelay(bool remote)
{
    TunnelSession *s = tunnelSession();
    if (!m_device || !s)
        return;
    const bool automatic = (remote ? m_ui->rxAuto : m_ui->txAuto)->isChecked();
    Message m("setMaxDelay");
    m.set_bool("remote", remote);
    m.set_int("sid", s->id);
    if (!automatic)
        m.set_int("delay", (remote ? m_ui->rxSlider : m_ui->txSlider)->value());
    m.set_bool("auto", automatic);
    m_device->sendCommand(m);
}

IPCObject *WeftlineStats::device() const
{
    return m_device;
}
