#include "worker/Worker.h"

#include <cstdio>

Worker::Worker(const QString &scratchPath, Rendering rendering)
    : m_scratch(scratchPath), m_conversion(m_magick, m_scratch), m_decoding(m_scratch)
{
    // Without it every page still renders, in a gs of its own.
    if (rendering == Rendering::Warm) {
        m_warm = std::make_unique<WarmGhostscript>(scratchPath);
        if (const QString problem = m_warm->problem(); !problem.isEmpty())
            std::fprintf(stderr, "leafmark-worker: %s\n", qPrintable(problem));
    }
}

// Nothing an earlier request left is there to be taken for this one's; its
// own thumbnail stays for the worker's main process to hand over.
WorkerProtocol::Reply Worker::answer(const WorkerProtocol::Request &request)
{
    m_scratch.clear();
    WorkerProtocol::Reply reply;
    switch (request.type) {
    case WorkerProtocol::RequestType::Hello:
        reply = hello();
        break;
    case WorkerProtocol::RequestType::Convert:
        if (m_requestHook)
            m_requestHook(request.job.input);
        reply = m_conversion.run(request.job, request.file.get(), request.resultSlot);
        if (m_conversionProbe) {
            if (const QString escaped = m_conversionProbe(request.job.input); !escaped.isEmpty())
                reply = WorkerProtocol::failure(escaped);
        }
        break;
    case WorkerProtocol::RequestType::Decode:
        if (m_requestHook)
            m_requestHook(request.imagePath);
        reply = m_decoding.run(request.imagePath, request.file.get());
        break;
    }
    m_scratch.clear(request.type == WorkerProtocol::RequestType::Convert
                        ? QString::fromLatin1(WorkerProtocol::resultName(request.resultSlot))
                        : QString());
    return reply;
}

void Worker::setConversionProbe(std::function<QString(const QString &)> probe)
{
    m_conversionProbe = std::move(probe);
}

void Worker::setRendererProbe(std::function<void()> probe)
{
    if (m_warm)
        m_warm->setRendererHook(std::move(probe));
}

void Worker::setRequestHook(std::function<void(const QString &)> hook)
{
    m_requestHook = std::move(hook);
}

void Worker::setInputOpenedHook(std::function<void(const QString &)> hook)
{
    m_conversion.setInputOpenedHook(std::move(hook));
}

WorkerProtocol::Reply Worker::hello() const
{
    WorkerProtocol::Reply reply;
    reply.text = m_magick.version();
    reply.failure = m_magick.problem();
    return reply;
}
