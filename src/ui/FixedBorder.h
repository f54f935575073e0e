#pragma once

#include <QObject>
#include <QSize>

class QWidget;

// A window with a fixed border: it keeps one size, offers neither maximise nor
// minimise, and leaves a maximised or full-screen state that a window manager
// or compositor puts it in anyway. Under Wayland, Qt draws the title bar
// itself and offers a maximise button regardless; a fixed window that stayed
// maximised would not match the size the compositor configured, which ends
// the program with a protocol error.
class FixedBorder final : public QObject
{
    Q_OBJECT

public:
    static void apply(QWidget *window, QSize size);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit FixedBorder(QWidget *window);

    void leaveLargerState();

    QWidget *m_window;
    bool m_leaving = false;
};
