#include "ui/FixedBorder.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace {

constexpr Qt::WindowStates LargerStates = Qt::WindowMaximized | Qt::WindowFullScreen;

bool isLarger(Qt::WindowStates states)
{
    return states & LargerStates;
}

// An X11 window manager keeps a fixed window at its size; a Wayland compositor
// holds the window to the size it configures.
bool compositorSetsTheSize()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

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
    if (watched == m_window && event->type() == QEvent::Show)
        watch(m_window->windowHandle());
    else if (watched == m_handle && event->type() == QEvent::WindowStateChange &&
             event->spontaneous())
        followConfiguredState();
    return QObject::eventFilter(watched, event);
}

// The window's own handle: the title bar Qt draws changes its state there,
// without the widget knowing until the compositor has configured it.
void FixedBorder::watch(QWindow *handle)
{
    if (!handle || handle == m_handle)
        return;
    m_handle = handle;
    handle->installEventFilter(this);
    connect(handle, &QWindow::windowStateChanged, this, &FixedBorder::makeRoomForLargerState);
    makeRoomForLargerState();
}

// Before the compositor's answer to the request can arrive, so that the
// window can take the size it configures.
void FixedBorder::makeRoomForLargerState()
{
    if (!isLarger(m_handle->windowStates()) || !compositorSetsTheSize())
        return;
    m_handle->setMinimumSize(QSize(0, 0));
    m_handle->setMaximumSize(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

// A normal state reported before the larger one was configured, for a
// configure that came before the request, says nothing of it.
void FixedBorder::followConfiguredState()
{
    if (!isLarger(m_handle->windowStates())) {
        if (std::exchange(m_configuredLarger, false))
            keepFixedSize();
        return;
    }
    m_configuredLarger = true;
    if (!m_leaving) {
        m_leaving = true;
        // Once the state change has been handled to its end.
        QMetaObject::invokeMethod(this, &FixedBorder::leaveLargerState, Qt::QueuedConnection);
    }
}

void FixedBorder::leaveLargerState()
{
    m_leaving = false;
    if (m_handle && isLarger(m_handle->windowStates()))
        m_handle->setWindowStates(m_handle->windowStates() & ~LargerStates);
}

void FixedBorder::keepFixedSize()
{
    m_handle->setMinimumSize(m_window->minimumSize());
    m_handle->setMaximumSize(m_window->maximumSize());
    m_window->resize(m_window->minimumSize());
}
