#pragma once

#include <QList>

struct Interval
{
    qint64 from = 0;
    qint64 to = 0;
};

// The time between two yield points less the time the converter ran in it:
// how long the window could not answer because of the program itself.
struct YieldGaps
{
    qint64 longestNs = 0;
    // Conversions finished when the longest gap began.
    qsizetype longestAfterConversions = 0;
    qsizetype count = 0;
    qsizetype overLimit = 0;
};

// points: the start of the run, every yield point and its end, in order, on
// one clock. conversions: on the same clock, in order, none overlapping.
YieldGaps measureYieldGaps(const QList<qint64> &points, const QList<Interval> &conversions,
                           qint64 limitNs);
