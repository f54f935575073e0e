#include "ui/DoubleClickGuard.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWidget>

DoubleClickGuard::DoubleClickGuard(QWidget *button) : QObject(button)
{
    button->installEventFilter(this);
}

bool DoubleClickGuard::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick)
        return false;
    const auto *press = static_cast<QMouseEvent *>(event);
    // A disabled button drops the press itself.
    if (press->button() != Qt::LeftButton || !static_cast<QWidget *>(watched)->isEnabled())
        return false;
    const quint64 time = press->timestamp();
    const quint64 interval = quint64(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    const bool secondPress =
        type == QEvent::MouseButtonDblClick ||
        (m_lastPress && time >= *m_lastPress && time - *m_lastPress < interval);
    m_lastPress = time;
    return secondPress;
}
