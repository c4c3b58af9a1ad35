#include "ifcbutton.h"

#include <QPalette>

namespace {

const QColor Colours[] = {QColor(204, 0, 204), QColor(0, 0, 255),   QColor(0, 255, 0),
                          QColor(204, 204, 0), QColor(204, 119, 0), QColor(221, 0, 0)};

} // namespace

IFCButton::IFCButton(QWidget *container, int index, const QByteArray &uid, const QByteArray &ldesc,
                     const QByteArray &rdesc)
    : QPushButton(container)
    , m_index(index)
    , m_uid(uid)
{
    setFlat(true);
    setEnabled(false);
    setObjectName(QStringLiteral("ifcButton_") + QString::fromLatin1(uid));
    setDescriptions(ldesc, rdesc, true);
}

QColor IFCButton::colourFor(int index)
{
    const int n = int(sizeof(Colours) / sizeof(Colours[0]));
    return index >= 0 && index < n ? Colours[index] : QColor(Qt::black);
}

void IFCButton::setDescriptions(const QByteArray &ldesc, const QByteArray &rdesc, bool force)
{
    if (!force && ldesc == m_ldesc && rdesc == m_rdesc)
        return;
    m_ldesc = ldesc;
    m_rdesc = rdesc;
    relabel();
}

void IFCButton::setIndex(int index)
{
    if (index == m_index)
        return;
    m_index = index;
    relabel();
}

QColor IFCButton::textColour() const
{
    return palette().color(QPalette::Disabled, QPalette::ButtonText);
}

void IFCButton::relabel()
{
    if (!m_ldesc.isEmpty() && !m_rdesc.isEmpty())
        setText(QStringLiteral("(%1) %2>%3")
                    .arg(m_index)
                    .arg(QString::fromUtf8(m_ldesc), QString::fromUtf8(m_rdesc)));
    else
        setText(QStringLiteral("Connection %1").arg(QString::fromLatin1(m_uid)));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(Qt::red));
    // A disabled button still shows its connection's colour.
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(g, QPalette::ButtonText, colourFor(m_index));
    setPalette(pal);
}
