#pragma once

#include "pool/PoolTask.h"
#include "protocol/ConversionJob.h"

#include <deque>
#include <memory>
#include <vector>

// The store of work done ahead of the walk: a task for each job the walk said
// it will ask for next, in its order, and the thumbnails they made, within a
// budget of the window's memory. It keeps and hands out; the pool runs the
// tasks, and stops those handed back to it.
class LookAhead
{
public:
    using Tasks = std::vector<std::unique_ptr<PoolTask>>;

    // What the thumbnails made ahead may hold of the window's memory.
    static constexpr qint64 heldBudget = 64 * 1024 * 1024;

    LookAhead() = default;
    LookAhead(const LookAhead &) = delete;
    LookAhead &operator=(const LookAhead &) = delete;

    // The jobs the walk will ask for next, replacing those told before. The
    // tasks of jobs no longer among them are handed back.
    [[nodiscard]] Tasks foresee(const std::vector<ConversionJob> &upcoming);
    // The task made ahead for exactly this job, if it is the next one told.
    std::unique_ptr<PoolTask> take(const ConversionJob &job);
    // Made from the file that is there now: replaced, changed or deleted since,
    // it must be converted again.
    static bool stillHolds(const PoolTask &task);
    // The first task waiting for a worker, if the most its thumbnail can take
    // still fits the budget: the walk meets them in this order.
    PoolTask *nextWaiting() const;
    // Whether a task that just finished may keep its thumbnail: always, unless
    // it was made ahead and the budget is spent.
    bool mayKeep(const PoolTask &task) const;
    [[nodiscard]] Tasks takeAll();

private:
    bool holds(const PoolTask &task) const;
    qint64 held() const;

    std::deque<std::unique_ptr<PoolTask>> m_tasks;
};
