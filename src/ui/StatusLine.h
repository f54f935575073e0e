#pragma once

#include <QLabel>

// The status line, spoken by screen readers. A label's new text reaches them
// only as the new name of an object that does not have the focus, which they
// do not read out. This line tells them that it is a notification and shows
// it to them anew with each message, which they do read out: Orca speaks a
// notification that is shown. The message goes out once the handler that set
// it has returned, after any move of the focus, which they would speak over it.
class StatusLine final : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLine(QWidget *parent);

    void say(const QString &text);

private:
    void announce();

    bool m_announcing = false;
};
