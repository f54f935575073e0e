#include "pool/LookAhead.h"

#include <algorithm>

namespace {

std::unique_ptr<PoolTask> aheadTaskFor(const ConversionJob &job)
{
    auto task = std::make_unique<PoolTask>();
    task->request.type = WorkerProtocol::RequestType::Convert;
    task->request.job = job;
    task->ahead = true;
    return task;
}

} // namespace

// A task already made for a job told again is kept, however far it got; a
// job told with another format or size is another job.
LookAhead::Tasks LookAhead::foresee(const std::vector<ConversionJob> &upcoming)
{
    std::deque<std::unique_ptr<PoolTask>> kept;
    for (const ConversionJob &job : upcoming) {
        const auto found = std::find_if(m_tasks.begin(), m_tasks.end(), [&](const auto &task) {
            return task && task->request.job == job;
        });
        kept.push_back(found != m_tasks.end() ? std::move(*found) : aheadTaskFor(job));
    }
    Tasks dropped;
    for (std::unique_ptr<PoolTask> &task : m_tasks) {
        if (task)
            dropped.push_back(std::move(task));
    }
    m_tasks = std::move(kept);
    return dropped;
}

std::unique_ptr<PoolTask> LookAhead::take(const ConversionJob &job)
{
    if (m_tasks.empty() || m_tasks.front()->request.job != job)
        return nullptr;
    std::unique_ptr<PoolTask> task = std::move(m_tasks.front());
    m_tasks.pop_front();
    return task;
}

bool LookAhead::stillHolds(const PoolTask &task)
{
    return !task.ahead || FileStamp::ofFile(task.request.job.input) == task.inputWhenStarted;
}

PoolTask *LookAhead::nextWaiting() const
{
    const auto waiting = std::find_if(m_tasks.begin(), m_tasks.end(), [](const auto &task) {
        return task->state == PoolTask::State::Waiting;
    });
    if (waiting == m_tasks.end() ||
        held() + (*waiting)->request.job.largestThumbnailSize() > heldBudget)
        return nullptr;
    return waiting->get();
}

bool LookAhead::mayKeep(const PoolTask &task) const
{
    return !holds(task) || held() <= heldBudget;
}

LookAhead::Tasks LookAhead::takeAll()
{
    Tasks all;
    for (std::unique_ptr<PoolTask> &task : m_tasks)
        all.push_back(std::move(task));
    m_tasks.clear();
    return all;
}

bool LookAhead::holds(const PoolTask &task) const
{
    return std::any_of(m_tasks.begin(), m_tasks.end(),
                       [&](const auto &ahead) { return ahead.get() == &task; });
}

qint64 LookAhead::held() const
{
    qint64 total = 0;
    for (const std::unique_ptr<PoolTask> &task : m_tasks)
        total += task->heldSize;
    return total;
}
