#pragma once

#include "pool/WorkerLocation.h"
#include "protocol/WorkerProtocol.h"
#include "run/Converter.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

// Converts (and decodes, see PreviewDecoder) in worker processes of our own,
// so that Ghostscript and
// the image coders never run inside the window's process: one worker per core,
// each started when first needed, reused, and started again when it dies or
// overruns the time limit. While a walk runs, the workers convert the entries
// it will meet next into their private folders; when the walk reaches an
// entry, the result made for exactly its job from exactly the file now there
// is put in place, and anything else is converted then and there. A thumbnail
// therefore appears in the output folder when the walk reaches it, as it
// would one at a time.
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
    void foresee(Forecast forecast) override;

    // Any other request, on the next worker free, before any work ahead.
    WorkerProtocol::Reply answer(WorkerProtocol::Request request);

private:
    struct Worker;
    struct Task;

    std::unique_ptr<Task> takeAheadTaskFor(const ConversionJob &job);
    bool stillHolds(const Task &task) const;
    void waitFor(Task &task);
    Worker *idleWorker(bool mayWait, bool mayQueue);
    QString startWorker(Worker &worker);
    void dispatch(Worker &worker, Task &task);
    void waitForReplies();
    void collectReplies();
    Task *taskAnswered(Worker &worker, quint64 token);
    bool judgedEarly(Task &task);
    QString openInputOf(Task &task);
    void finishTask(Task &task, WorkerProtocol::Reply reply, int scratchFolder = -1);
    bool isHeldAhead(const Task &task) const;
    qint64 heldAhead() const;
    void workAhead();
    void discard(std::unique_ptr<Task> task);
    void discardAllAhead();
    ConversionResult placeResult(const ConversionJob &job, Task &task) const;
    void watchDeadlines();

    QString m_workerPath;
    int m_poolSize;
    std::chrono::milliseconds m_timeLimit{60000};
    std::vector<QByteArray> m_environment;
    std::vector<std::unique_ptr<Worker>> m_workers;
    // The entries the walk will meet next, in its order.
    std::deque<std::unique_ptr<Task>> m_ahead;
    Forecast m_forecast;
    bool m_forecastEnded = true;
    QTimer m_deadlines;
};
