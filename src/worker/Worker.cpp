#include "Worker.h"

Worker::Worker(const QString &scratchPath, mode_t newFileMode, const QByteArray &faultSetting)
    : m_scratch(scratchPath), m_faultHook(faultSetting),
      m_conversion(m_magick, m_scratch, newFileMode), m_decoding(m_scratch)
{
}

WorkerProtocol::Reply Worker::answer(const WorkerProtocol::Request &request)
{
    WorkerProtocol::Reply reply;
    switch (request.type) {
    case WorkerProtocol::RequestType::Hello:
        reply = hello();
        break;
    case WorkerProtocol::RequestType::Convert:
        m_faultHook.strikeIfMeant(request.arguments.value(4));
        reply = m_conversion.run(request.arguments);
        break;
    case WorkerProtocol::RequestType::Decode:
        m_faultHook.strikeIfMeant(request.arguments.value(0));
        reply = m_decoding.run(request.arguments.value(0));
        break;
    }
    m_scratch.clear();
    return reply;
}

WorkerProtocol::Reply Worker::hello() const
{
    WorkerProtocol::Reply reply;
    reply.text = m_magick.version();
    reply.failure = m_magick.problem();
    return reply;
}
