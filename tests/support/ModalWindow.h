#pragma once

#include "support/EventWait.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Acts on the next modal dialog or popup menu that opens while it lives, once
// that window's own event loop runs, and only on that one. It waits for the
// window's show event rather than polling for it. Whatever the action leaves
// open is closed after it, and whatever modal window is still open at the
// ceiling is closed then, so that no test can hang on a window.
class ModalWindow : public QObject
{
public:
    enum class Kind { Dialog, Menu };
    // What a dialog that the action left open ends with.
    static constexpr int LeftOpen = -1;

    ModalWindow(Kind kind, std::function<void(QWidget *)> action)
        : m_kind(kind), m_action(std::move(action))
    {
        qApp->installEventFilter(this);
        m_ceiling.setSingleShot(true);
        connect(&m_ceiling, &QTimer::timeout, this, [] {
            closeIfOpen(QApplication::activePopupWidget());
            closeIfOpen(QApplication::activeModalWidget());
        });
        m_ceiling.start(EventWait::CeilingMs);
    }
    ~ModalWindow() override { qApp->removeEventFilter(this); }
    ModalWindow(const ModalWindow &) = delete;
    ModalWindow &operator=(const ModalWindow &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !m_window && watched->isWidgetType() &&
            isWanted(static_cast<QWidget *>(watched))) {
            m_window = static_cast<QWidget *>(watched);
            QTimer::singleShot(0, this, [this] { act(); });
        }
        return false;
    }

private:
    bool isWanted(QWidget *widget) const
    {
        if (!widget->isWindow())
            return false;
        return m_kind == Kind::Menu ? qobject_cast<QMenu *>(widget) != nullptr : widget->isModal();
    }
    void act()
    {
        if (!m_window)
            return;
        m_action(m_window);
        closeIfOpen(m_window);
    }
    static void closeIfOpen(QWidget *window)
    {
        if (!window || !window->isVisible())
            return;
        if (auto *dialog = qobject_cast<QDialog *>(window))
            dialog->done(LeftOpen);
        else
            window->close();
    }

    Kind m_kind;
    std::function<void(QWidget *)> m_action;
    QPointer<QWidget> m_window;
    QTimer m_ceiling;
};

// Runs the dialog and calls act once it is up; see ModalWindow. A dialog that
// never enters its loop never runs act.
inline int execWhile(QDialog &dialog, const std::function<void()> &act)
{
    const ModalWindow opened(ModalWindow::Kind::Dialog, [&](QWidget *) { act(); });
    return dialog.exec();
}
