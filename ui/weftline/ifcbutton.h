#pragma once

#include <QByteArray>
#include <QColor>
#include <QPushButton>

/**
 * One tunnel connection in one direction: a flat, disabled button labelled
 * "(index) local>remote", or "Connection li:ri" while a description is
 * missing, its text coloured by the connection's position.
 */
class IFCButton : public QPushButton
{
    Q_OBJECT

public:
    IFCButton(QWidget *container, int index, const QByteArray &uid, const QByteArray &ldesc,
              const QByteArray &rdesc);

    /** The colour of the connection at @p index; past the table, black. */
    static QColor colourFor(int index);

    /** New descriptions; the same two again change nothing unless @p force. */
    void setDescriptions(const QByteArray &ldesc, const QByteArray &rdesc, bool force = false);
    /** A new position in the connection list: label and colour follow it. */
    void setIndex(int index);

    int index() const { return m_index; }
    const QByteArray &uid() const { return m_uid; }
    QColor textColour() const;

private:
    void relabel();

    int m_index;
    QByteArray m_uid;
    QByteArray m_ldesc;
    QByteArray m_rdesc;
};
