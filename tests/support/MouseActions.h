#pragma once

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
