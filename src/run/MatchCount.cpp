#include "run/MatchCount.h"

#include "run/VisitingOrder.h"

std::optional<qint64> CountMatchingEntries(QString path, const QString &SearchStr,
                                           const std::function<bool()> &stopRequested)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    VisitingOrder order(path, SearchStr);
    qint64 count = 0;
    for (;;) {
        if (stopRequested())
            return std::nullopt;
        switch (order.next()) {
        case VisitingOrder::Step::MatchingEntry:
            if (order.name() != "." && order.name() != "..")
                ++count;
            break;
        case VisitingOrder::Step::ListedEntry:
        case VisitingOrder::Step::EnteringSubfolder:
            break;
        case VisitingOrder::Step::End:
            return count;
        }
    }
}
