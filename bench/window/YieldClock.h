#pragma once

#include "Clocks.h"

#include <QList>
#include <QMetaObject>

// Notes the moment of every yield point: each QCoreApplication::processEvents()
// starts with the event dispatcher's awake signal.
class YieldClock
{
public:
    YieldClock();
    ~YieldClock();
    YieldClock(const YieldClock &) = delete;
    YieldClock &operator=(const YieldClock &) = delete;

    const QList<Stamp> &stamps() const { return m_stamps; }

private:
    QList<Stamp> m_stamps;
    QMetaObject::Connection m_connection;
};
