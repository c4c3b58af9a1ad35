#include "stylewhenshown.h"

#include <QEvent>
#include <QWidget>

namespace {

class StyleWhenShown : public QObject
{
public:
    StyleWhenShown(QWidget *widget, const QString &sheet)
        : QObject(widget)
        , m_widget(widget)
        , m_sheet(sheet)
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget && event->type() == QEvent::Show) {
            m_widget->removeEventFilter(this);
            m_widget->setStyleSheet(m_sheet);
            deleteLater();
        }
        return false;
    }

private:
    QWidget *m_widget;
    QString m_sheet;
};

} // namespace

void setStyleSheetWhenShown(QWidget *widget, const QString &sheet)
{
    if (widget->isVisible())
        widget->setStyleSheet(sheet);
    else
        new StyleWhenShown(widget, sheet);
}
