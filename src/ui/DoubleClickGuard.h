#pragma once

#include <QObject>

#include <optional>

class QWidget;

// People double-click buttons out of habit: on a button that starts and stops
// a run, the second press of a double click would undo the first. This guard
// swallows it, and likewise any press within the double-click interval of the
// one before it: the platform no longer calls that a double click once the
// mouse has moved a few pixels.
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
