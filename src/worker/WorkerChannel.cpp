#include "worker/WorkerChannel.h"

#include <cerrno>
#include <unistd.h>

WorkerChannel::WorkerChannel(int requestFd, int replyFd)
    : m_requestFd(requestFd), m_replyFd(replyFd)
{
}

std::optional<WorkerProtocol::Request> WorkerChannel::receive()
{
    for (;;) {
        if (std::optional<QByteArray> message = m_reader.takeMessage())
            return WorkerProtocol::decodeRequest(*message);
        if (m_reader.isBroken())
            return std::nullopt;
        char chunk[64 * 1024];
        const ssize_t got = ::read(m_requestFd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;
        m_reader.append(QByteArray(chunk, got));
    }
}

bool WorkerChannel::send(const WorkerProtocol::Reply &reply)
{
    const QByteArray bytes = WorkerProtocol::frame(WorkerProtocol::encodeReply(reply));
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t written = ::write(m_replyFd, bytes.constData() + sent, bytes.size() - sent);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        sent += written;
    }
    return true;
}
