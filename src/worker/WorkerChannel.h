#pragma once

#include "protocol/WorkerProtocol.h"

#include <optional>

// The worker's end of the protocol, on file descriptors of its own so that
// nothing the libraries print can end up in it.
class WorkerChannel
{
public:
    WorkerChannel(int requestFd, int replyFd);

    // Blocks until a whole request has arrived; nothing when the window's
    // process has closed its end or sent something that is not a request.
    std::optional<WorkerProtocol::Request> receive();
    bool send(const WorkerProtocol::Reply &reply);

private:
    int m_requestFd;
    int m_replyFd;
    WorkerProtocol::FrameReader m_reader;
};
