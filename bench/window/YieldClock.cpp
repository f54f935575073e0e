#include "YieldClock.h"

#include <QAbstractEventDispatcher>

YieldClock::YieldClock()
{
    m_stamps.reserve(1 << 20);
    m_connection =
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                         [this] { m_stamps.append(Stamp::now()); });
}

YieldClock::~YieldClock()
{
    QObject::disconnect(m_connection);
}
