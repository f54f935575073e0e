#pragma once

#include <QtGlobal>

#include <limits>

// Decides at each yield point of a run whether the results list is painted.
// Painting it for every row costs a walk through thousands of quickly handled
// PDFs more than the walk itself. While yield points come in quick succession
// the list is painted at most once per interval; after a slow step, such as a
// real conversion, every change is painted at once, so that the row being
// converted is on screen while it converts.
class PaintPacer
{
public:
    explicit PaintPacer(qint64 intervalMs) : m_intervalMs(intervalMs) {}

    // Times in milliseconds on one clock that never goes back.
    bool paintAt(qint64 nowMs);

private:
    static constexpr qint64 Never = std::numeric_limits<qint64>::min() / 2;

    qint64 m_intervalMs;
    qint64 m_lastYieldMs = Never;
    qint64 m_lastPaintMs = Never;
    qint64 m_slowStepEndMs = Never;
};
