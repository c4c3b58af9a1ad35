#pragma once

#include <QDialog>
#include <QString>

class PeerMeta;

namespace Ui {
class AddEntry;
}

/**
 * The address-book entry dialog, for adding an entry and for editing one:
 * name, address, connection password, and whether the entry is reached
 * through the tunnel service of the unit with the given MAC address. The
 * tunnel controls are disabled for old-firmware codecs, which have no
 * tunnel service.
 */
class AddEntry : public QDialog
{
    Q_OBJECT

public:
    /** What the operator entered, as typed (nothing trimmed or checked). */
    struct Values {
        QString name;
        QString addr;
        QString password;
        QString unit;
        bool weftline = false;
    };

    explicit AddEntry(QWidget *parent = nullptr);
    ~AddEntry() override;

    /** Fills every control from @p peer; the address is the whole "addr", port and brackets kept. */
    void fill(const PeerMeta &peer);
    /** Disables "Use Weftline" and the MAC address together (old firmware). */
    void disableWeftline();
    /** False once disableWeftline() was called. */
    bool weftlineAvailable() const { return m_weftlineAvailable; }

    Values values() const;

public slots:
    /** The check box's state: only a checked box (with the tunnel available) enables the MAC address. */
    void weftlineEnableToggled(int state);

private:
    Ui::AddEntry *m_ui;
    bool m_weftlineAvailable = true;
};
