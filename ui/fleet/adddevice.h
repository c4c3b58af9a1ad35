#pragma once

#include "qvevent.h"

#include <QDialog>
#include <QString>

namespace Ui {
class AddDevice;
}

/**
 * Asks for the address and management port of a codec to manage. Its sound
 * page exists but is never shown, so its fields stay empty unless code fills
 * them.
 */
class AddDevice : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MinimumPort = 23;
    static constexpr int MaximumPort = 65535;

    explicit AddDevice(QWidget *parent = nullptr);
    ~AddDevice() override;

    /** The address as typed; it is not checked. */
    QString address() const;
    /** The port field as a number; empty reads as 0. */
    quint16 port() const;
    /** Whether the port field holds a port the dialog accepts. */
    bool portAcceptable() const;

    /** The sound file chosen for @p event (empty: the default). */
    QString soundPath(QV_EVENT event) const;
    void setSoundPath(QV_EVENT event, const QString &path);

private:
    void updateOkButton();

    Ui::AddDevice *m_ui;
};
