#include "ui/FixedBorder.h"

#include <QEvent>
#include <QWidget>

namespace {

constexpr Qt::WindowStates LargerStates = Qt::WindowMaximized | Qt::WindowFullScreen;

} // namespace

FixedBorder::FixedBorder(QWidget *window) : QObject(window), m_window(window) {}

void FixedBorder::apply(QWidget *window, QSize size)
{
    window->setWindowFlags(window->windowFlags() &
                           ~(Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    window->setFixedSize(size);
    window->installEventFilter(new FixedBorder(window));
}

bool FixedBorder::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::WindowStateChange &&
        (m_window->windowState() & LargerStates) && !m_leaving) {
        m_leaving = true;
        // Once the state change has been handled to its end.
        QMetaObject::invokeMethod(this, &FixedBorder::leaveLargerState, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void FixedBorder::leaveLargerState()
{
    m_leaving = false;
    m_window->setWindowState(m_window->windowState() & ~LargerStates);
}
