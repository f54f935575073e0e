#pragma once

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QTest>
#include <QWidget>

// What a mouse sends for a double click: QTest's double click alone lacks the
// first click, and an item view then takes it for a press.
inline void doubleClick(QWidget *widget, QPoint position)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, position);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, position);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, position);
}

// A click in the middle of the widget whose press the platform stamped at the
// given time, in milliseconds: QTest keeps its own clicks a double-click
// interval apart.
inline void clickStampedAt(QWidget *widget, ulong time)
{
    const QPointF centre = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    press.setTimestamp(time);
    QCoreApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    release.setTimestamp(time + 1);
    QCoreApplication::sendEvent(widget, &release);
}
