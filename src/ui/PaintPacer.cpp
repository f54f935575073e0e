#include "ui/PaintPacer.h"

bool PaintPacer::paintAt(qint64 nowMs)
{
    // A run's first yield point ends a pause too, so what a run shows first, and
    // the row of its first conversion, are painted at once.
    if (nowMs - m_lastYieldMs >= m_intervalMs)
        m_slowStepEndMs = nowMs;
    m_lastYieldMs = nowMs;
    const bool paint =
        nowMs - m_slowStepEndMs < m_intervalMs || nowMs - m_lastPaintMs >= m_intervalMs;
    if (paint)
        m_lastPaintMs = nowMs;
    return paint;
}
