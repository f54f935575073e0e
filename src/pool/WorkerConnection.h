#pragma once

#include "protocol/WorkerProtocol.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <sys/types.h>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QTemporaryDir;

// One worker process and the pipes to it. A request goes out, and its reply is
// collected as it arrives without blocking, so that one thread can keep
// several workers busy. The worker runs in a process group of its own, so
// that one signal ends it and every Ghostscript it started, and it dies with
// the window's process.
class WorkerConnection
{
public:
    WorkerConnection(QString workerPath, std::vector<QByteArray> environment);
    ~WorkerConnection();
    WorkerConnection(const WorkerConnection &) = delete;
    WorkerConnection &operator=(const WorkerConnection &) = delete;

    // Starts the worker and waits for its greeting. Returns "" when it is
    // ready, or what went wrong; a worker that started but reported a problem
    // runs on, refusing conversions but decoding.
    [[nodiscard]] QString start(std::chrono::milliseconds timeLimit);
    bool isRunning() const { return m_pid > 0; }
    // Notices a worker that ended while idle, and clears up after it.
    bool isAlive();
    bool isBusy() const { return !m_waiting.empty(); }
    // Requests sent and not yet answered.
    int outstanding() const { return int(m_waiting.size()); }

    // Several requests may be out at once; they are answered in turn, each
    // reply under the token this gives the request.
    void send(WorkerProtocol::Request &request, std::chrono::milliseconds timeLimit);
    // The next reply once it is whole. A failure when the worker died, made
    // no sense, overran its time, said more than it was asked or wrote more
    // than its share of error output, and was then stopped, with the
    // requests after it unanswered: under the token of the request it stands
    // for, which may be the one answered last.
    std::optional<WorkerProtocol::Reply> collect();
    // Waits until something arrives from any of the workers, or the first of
    // their time limits passes.
    static void waitForAny(const std::vector<WorkerConnection *> &workers);

    void stopGently();
    void kill();

    QString scratchPath() const;
    // Where the worker's finished thumbnails wait, made by us and opened
    // before the worker could do anything to its path.
    int finishedDescriptor() const { return m_finishedFolder.get(); }
    int replyDescriptor() const { return m_replies.get(); }
    int errorDescriptor() const { return m_errors.get(); }
    void drainErrorOutput();

private:
    QString launch();
    QString makeScratchFolders();
    std::optional<WorkerProtocol::Reply> takeReply(const QByteArray &message);
    std::optional<WorkerProtocol::Reply> noticeUnasked();
    WorkerProtocol::Reply lose(const QString &reason, quint64 token);
    quint64 oldestToken() const { return m_waiting.empty() ? 0 : m_waiting.front().token; }
    QString whyItStoppedBeforeReady(const QString &failure) const;

    QString m_workerPath;
    std::vector<QByteArray> m_environment;
    std::unique_ptr<QTemporaryDir> m_scratch;
    UniqueFd m_finishedFolder;
    pid_t m_pid = 0;
    UniqueFd m_requests;
    UniqueFd m_replies;
    UniqueFd m_errors;
    struct Sent
    {
        quint64 token;
        WorkerProtocol::RequestType type;
    };
    std::deque<Sent> m_waiting;
    quint64 m_lastAnswered = 0;
    std::chrono::milliseconds m_timeLimit{0};
    QDeadlineTimer m_deadline;
    WorkerProtocol::FrameReader m_reader;
    QByteArray m_errorOutput;
    qint64 m_errorBytesSinceReply = 0;
};
