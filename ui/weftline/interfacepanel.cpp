#include "interfacepanel.h"

#include "ifcbutton.h"

#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace {

const int Gap = 4;

} // namespace

InterfacePanel::InterfacePanel(QWidget *container)
    : m_container(container)
    , m_layout(qobject_cast<QVBoxLayout *>(container->layout()))
{
    if (!m_layout)
        m_layout = new QVBoxLayout(container);
    // Button i sits (i + 1) * (height + 4) above the container's bottom.
    m_layout->setContentsMargins(0, 0, 0, Gap);
    m_layout->setSpacing(Gap);
    while (m_layout->count() > 0)
        delete m_layout->takeAt(0);
    m_layout->addStretch(1);
}

InterfacePanel::~InterfacePanel()
{
    clear();
}

void InterfacePanel::ensureConnection(int index, const TunnelConnection &connection)
{
    auto it = m_buttons.find(connection.uid);
    if (it == m_buttons.end()) {
        Pair pair;
        pair.tx = new IFCButton(m_container, index, connection.uid, connection.ldesc, connection.rdesc);
        pair.rx = new IFCButton(m_container, index, connection.uid, connection.ldesc, connection.rdesc);
        pair.rx->setObjectName(pair.rx->objectName() + QStringLiteral("_rx"));
        m_buttons.insert(connection.uid, pair);
        relayout();
        return;
    }
    const bool moved = it->tx->index() != index;
    for (IFCButton *b : {it->tx, it->rx}) {
        b->setIndex(index);
        b->setDescriptions(connection.ldesc, connection.rdesc);
    }
    if (moved)
        relayout();
}

void InterfacePanel::retainConnections(const QList<QByteArray> &uids)
{
    bool removed = false;
    for (auto it = m_buttons.begin(); it != m_buttons.end();) {
        if (uids.contains(it.key())) {
            ++it;
            continue;
        }
        delete it->tx;
        delete it->rx;
        it = m_buttons.erase(it);
        removed = true;
    }
    if (removed)
        relayout();
}

void InterfacePanel::setReceive(bool receive)
{
    m_receive = receive;
    for (const Pair &p : qAsConst(m_buttons)) {
        p.tx->setVisible(!receive);
        p.rx->setVisible(receive);
    }
}

void InterfacePanel::clear()
{
    for (const Pair &p : qAsConst(m_buttons)) {
        delete p.tx;
        delete p.rx;
    }
    m_buttons.clear();
}

QList<IFCButton *> InterfacePanel::buttons(bool receive) const
{
    QList<IFCButton *> out;
    for (const Pair &p : m_buttons)
        out.append(receive ? p.rx : p.tx);
    std::sort(out.begin(), out.end(), [](IFCButton *a, IFCButton *b) { return a->index() < b->index(); });
    return out;
}

void InterfacePanel::relayout()
{
    for (const Pair &p : qAsConst(m_buttons)) {
        m_layout->removeWidget(p.tx);
        m_layout->removeWidget(p.rx);
    }
    // Highest position first, so position 0 ends at the bottom.
    QList<IFCButton *> tx = buttons(false);
    QList<IFCButton *> rx = buttons(true);
    for (int i = tx.size() - 1; i >= 0; --i) {
        m_layout->addWidget(tx.at(i));
        m_layout->addWidget(rx.at(i));
    }
    setReceive(m_receive);
}
