#pragma once

#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class DelaySlider;
class IPCObject;
class InterfacePanel;
class QCheckBox;
class TunnelSession;
struct TunnelDirectionStats;

namespace Ui {
class WeftlineStats;
}

/**
 * The "Weftline" pane: the selected codec's tunnel, one direction at a
 * time: interface buttons per connection, utilisation and loss graphs, and
 * the delay slider with its automatic mode, which send "setMaxDelay". It
 * reads the device's TunnelInfo and never parses messages itself.
 */
class WeftlineStats : public QWidget
{
    Q_OBJECT

public:
    explicit WeftlineStats(QWidget *parent = nullptr);
    ~WeftlineStats() override;

    /** Shows @p device's tunnel (null: none); the same device again changes nothing. */
    void setDevice(IPCObject *device);
    IPCObject *device() const;
    /** The tunnel's status colour: "gray", "red", "yellow" or "green". */
    QString status() const { return m_status; }
    /** The status without a device or a known tunnel. */
    static QString noTunnelStatus() { return QStringLiteral("gray"); }
    InterfacePanel &interfaces() { return *m_interfaces; }

signals:
    /** The shown device's tunnel status colour, after each statistics update and on a new device. */
    void statusChanged(const QString &colour);

public slots:
    void tunnelSessionCreate(int sid);
    void tunnelSessionDestroy(int sid);
    void tunnelSessionDelayUpdate(int sid);
    void tunnelSessionStatsUpdate(int sid);
    void radioTxClicked(bool checked);
    void radioRxClicked(bool checked);
    void checkTxDelayAutoChanged(int state);
    void checkRxDelayAutoChanged(int state);
    void sliderTxDelayReleased();
    void sliderRxDelayReleased();

private:
    TunnelSession *tunnelSession() const;
    void attach(TunnelSession *session);
    void detach();
    void clearView();
    void showDirection(bool receive);
    void showDelays(const TunnelDirectionStats &stats, DelaySlider *slider, QCheckBox *check);
    void delayReleased(bool remote);
    void sendMaxDelay(bool remote);
    void setStatus(const QString &colour);

    Ui::WeftlineStats *m_ui;
    std::unique_ptr<InterfacePanel> m_interfaces;
    QPointer<IPCObject> m_device;
    QPointer<TunnelSession> m_attached;
    QList<QMetaObject::Connection> m_connections;
    QString m_status = noTunnelStatus();
};
