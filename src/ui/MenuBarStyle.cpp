#include "ui/MenuBarStyle.h"

#include <QStyleOptionMenuItem>
#include <QWidget>

// The menu bar holds the focus only while the keyboard walks it.
void MenuBarStyle::drawControl(ControlElement element, const QStyleOption *option,
                               QPainter *painter, const QWidget *widget) const
{
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (element == CE_MenuBarItem && item && (item->state & State_Selected) && widget &&
        widget->hasFocus()) {
        QStyleOptionMenuItem reached = *item;
        reached.state |= State_Sunken;
        QProxyStyle::drawControl(element, &reached, painter, widget);
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}
