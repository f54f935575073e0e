#include "GapAnalysis.h"

#include <algorithm>

YieldGaps measureYieldGaps(const QList<qint64> &points, const QList<Interval> &conversions,
                           qint64 limitNs)
{
    YieldGaps gaps;
    qsizetype firstOpen = 0; // the first conversion that ends after the gap's start
    for (qsizetype i = 1; i < points.size(); ++i) {
        const qint64 from = points[i - 1];
        const qint64 to = points[i];
        while (firstOpen < conversions.size() && conversions[firstOpen].to <= from)
            ++firstOpen;
        qint64 converting = 0;
        for (qsizetype c = firstOpen; c < conversions.size() && conversions[c].from < to; ++c)
            converting += std::min(to, conversions[c].to) - std::max(from, conversions[c].from);
        const qint64 gap = to - from - converting;
        ++gaps.count;
        if (gap > limitNs)
            ++gaps.overLimit;
        if (gap > gaps.longestNs) {
            gaps.longestNs = gap;
            gaps.longestAfterConversions = firstOpen;
        }
    }
    return gaps;
}
