#pragma once

#include "pool/ImageDecoder.h"
#include "pool/LookAhead.h"
#include "pool/WorkerLocation.h"
#include "protocol/WorkerProtocol.h"
#include "run/Converter.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <vector>

struct PoolTask;
struct PoolWorker;

// Converts and decodes in worker processes of our own, so that Ghostscript
// and the image coders never run inside the window's process: one worker per
// core, each started when first needed, reused, and started again when it dies
// or overruns the time limit. While a walk runs, the workers convert the jobs
// it said come next (see LookAhead); when the walk reaches an entry, the result
// made for exactly its job from exactly the file now there is put in place,
// and anything else is converted then and there. A thumbnail therefore
// appears in the output folder when the walk reaches it, as it would one at a
// time.
class WorkerConverter : public Converter
{
public:
    explicit WorkerConverter(QString workerPath = locateWorker(), int poolSize = usableCores());
    ~WorkerConverter() override;

    // The cores this process may run on, at most 16.
    static int usableCores();

    void setTimeLimit(std::chrono::milliseconds limit);

    QString start() override;
    ConversionResult Convert(const ConversionJob &job) override;
    qsizetype jobsAhead() const override;
    void foresee(const std::vector<ConversionJob> &upcoming) override;

    // An image decoded on the next worker free, before any work ahead; null
    // when it cannot be, or when what the worker sent back does not add up.
    DecodedImage decode(const QString &path);
    // Any request, the same way: the tests read what a reply says beyond a
    // conversion's result.
    WorkerProtocol::Reply answer(WorkerProtocol::Request request);

private:
    void waitFor(PoolTask &task);
    PoolWorker *idleWorker(bool mayWait, bool mayQueue);
    QString startWorker(PoolWorker &worker);
    void dispatch(PoolWorker &worker, PoolTask &task);
    void waitForReplies();
    void collectReplies();
    void collectRepliesOf(PoolWorker &worker);
    bool judgedEarly(PoolTask &task);
    void finishTask(PoolTask &task, WorkerProtocol::Reply reply, int finishedFolder = -1);
    void keepThumbnail(PoolTask &task, WorkerProtocol::Reply &reply, int finishedFolder);
    void workAhead();
    void discard(LookAhead::Tasks tasks);
    void onActivity();

    QString m_workerPath;
    int m_poolSize;
    std::chrono::milliseconds m_timeLimit{60000};
    std::vector<QByteArray> m_environment;
    std::vector<std::unique_ptr<PoolWorker>> m_workers;
    LookAhead m_ahead;
    QTimer m_deadlines;
};
