#pragma once

#include <QList>
#include <QMenu>
#include <QPoint>

class QAction;

/** A menu of @p actions (a null entry is a separator), run at @p globalPos over @p parent. */
inline void popUpMenu(QWidget *parent, const QList<QAction *> &actions, const QPoint &globalPos)
{
    QMenu menu(parent);
    for (QAction *action : actions) {
        if (action)
            menu.addAction(action);
        else
            menu.addSeparator();
    }
    if (!menu.isEmpty())
        menu.exec(globalPos);
}
