#pragma once

#include <QProxyStyle>

// The menu bar's style: the item that the keyboard has reached is drawn as
// highlighted, as a pressed one is. Fusion draws it as it draws any other, so
// that Alt and F10 armed the menu bar with nothing to show it.
class MenuBarStyle final : public QProxyStyle
{
    Q_OBJECT

public:
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override;
};
