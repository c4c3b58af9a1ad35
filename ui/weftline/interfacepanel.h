#pragma once

#include "tunnelinfo.h"

#include <QByteArray>
#include <QList>
#include <QMap>

class IFCButton;
class QVBoxLayout;
class QWidget;

/**
 * The tunnel view's container of interface buttons: one button per
 * connection and direction, stacked from the bottom of the container by
 * position, only those of the shown direction visible.
 */
class InterfacePanel : public TunnelInterfaceContainer
{
public:
    /** Buttons go into @p container's vertical layout (made when it has none). */
    explicit InterfacePanel(QWidget *container);
    ~InterfacePanel() override;

    void ensureConnection(int index, const TunnelConnection &connection) override;
    void retainConnections(const QList<QByteArray> &uids) override;

    /** Shows the receive buttons (true) or the transmit ones. */
    void setReceive(bool receive);
    /** Removes every button. */
    void clear();
    /** The buttons of one direction, by position. */
    QList<IFCButton *> buttons(bool receive) const;

private:
    struct Pair {
        IFCButton *tx = nullptr;
        IFCButton *rx = nullptr;
    };
    void relayout();

    QWidget *m_container;
    QVBoxLayout *m_layout;
    QMap<QByteArray, Pair> m_buttons;
    bool m_receive = false;
};
