#pragma once

#include "protocol/WorkerProtocol.h"

#include <deque>
#include <optional>

// The worker's end of the protocol, on file descriptors of its own so that
// nothing the libraries print can end up in it. Requests come over a UNIX
// socket, with the file each one is about.
class WorkerChannel
{
public:
    WorkerChannel(int requestFd, int replyFd);

    // Blocks until a whole request has arrived; nothing when the window's
    // process has closed its end or sent something that is not a request.
    std::optional<WorkerProtocol::Request> receive();
    // Answers the request received last, under its token.
    bool send(WorkerProtocol::Reply reply);
    // For a channel that only replies, in a request's own process.
    void answerUnder(quint64 token) { m_token = token; }
    int replyDescriptor() const { return m_replyFd; }

private:
    static constexpr int maxFilesAtOnce = 4;

    bool receiveSome();
    std::optional<WorkerProtocol::Request>
    withItsFile(std::optional<WorkerProtocol::Request> request);

    int m_requestFd;
    int m_replyFd;
    WorkerProtocol::FrameReader m_reader;
    std::deque<UniqueFd> m_files;
    quint64 m_token = 0;
};
