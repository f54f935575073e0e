#include "worker/WorkerChannel.h"

#include "protocol/WriteAll.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

WorkerChannel::WorkerChannel(int requestFd, int replyFd)
    : m_requestFd(requestFd), m_replyFd(replyFd)
{
}

std::optional<WorkerProtocol::Request> WorkerChannel::receive()
{
    for (;;) {
        if (std::optional<QByteArray> message = m_reader.takeMessage())
            return withItsFile(WorkerProtocol::decodeRequest(*message));
        if (m_reader.isBroken())
            return std::nullopt;
        if (!receiveSome())
            return std::nullopt;
    }
}

// Descriptors come beside the bytes of the request they belong to.
bool WorkerChannel::receiveSome()
{
    char chunk[64 * 1024];
    iovec data = {chunk, sizeof chunk};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * maxFilesAtOnce)];
    msghdr message = {};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    while ((got = ::recvmsg(m_requestFd, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    for (cmsghdr *header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
            m_files.emplace_back(fd);
        }
    }
    if (got <= 0)
        return false;
    m_reader.append(QByteArray(chunk, got));
    return true;
}

std::optional<WorkerProtocol::Request>
WorkerChannel::withItsFile(std::optional<WorkerProtocol::Request> request)
{
    if (request)
        m_token = request->token;
    if (request && request->type != WorkerProtocol::RequestType::Hello && !m_files.empty()) {
        request->file = std::move(m_files.front());
        m_files.pop_front();
    }
    return request;
}

bool WorkerChannel::send(WorkerProtocol::Reply reply)
{
    reply.token = m_token;
    const QByteArray bytes = WorkerProtocol::frame(WorkerProtocol::encodeReply(reply));
    return writeAll(m_replyFd, bytes.constData(), bytes.size()) == 0;
}
