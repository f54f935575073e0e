#pragma once

#include <QObject>
#include <QPointer>
#include <QSize>

class QWidget;
class QWindow;

// A window with a fixed border: it keeps one size, offers neither maximise nor
// minimise, and leaves a maximised or full-screen state that a window manager
// or compositor puts it in anyway.
//
// Under Wayland, Qt draws the title bar itself and offers a maximise button
// regardless. Once the compositor has configured a maximised state, every
// frame must have the size it configured until it configures another, or the
// program is ended with a protocol error; and Qt asks the compositor to leave
// that state only after it has configured it. So the window takes the
// configured size for that while, its controls staying where they are, and
// returns to its own size when the compositor has configured the normal state.
class FixedBorder final : public QObject
{
    Q_OBJECT

public:
    static void apply(QWidget *window, QSize size);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit FixedBorder(QWidget *window);

    void watch(QWindow *handle);
    void makeRoomForLargerState();
    void followConfiguredState();
    void leaveLargerState();
    void keepFixedSize();

    QWidget *m_window;
    QPointer<QWindow> m_handle;
    bool m_configuredLarger = false;
    bool m_leaving = false;
};
