#pragma once

#include <QObject>

#include <optional>

class QWidget;

// People double-click buttons out of habit: on a button that starts and stops
// a run, the second press of a double click would undo the first. This guard
// swallows it, and so any press that follows the one before it within the
// double-click interval, which the platform does not call a double click once
// the mouse has moved on a little.
class DoubleClickGuard : public QObject
{
public:
    // Watches the button for as long as it lives.
    explicit DoubleClickGuard(QWidget *button);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::optional<quint64> m_lastPress;
};
