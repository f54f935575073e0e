#include "Worker.h"

#include <cstdio>

Worker::Worker(const QString &scratchPath, const QByteArray &faultSetting, Rendering rendering)
    : m_scratch(scratchPath), m_faultHook(faultSetting), m_conversion(m_magick, m_scratch),
      m_decoding(m_scratch)
{
    // Without it every page still renders, in a gs of its own.
    if (rendering == Rendering::Warm) {
        m_warm = std::make_unique<WarmGhostscript>(scratchPath);
        if (const QString problem = m_warm->problem(); !problem.isEmpty())
            std::fprintf(stderr, "leafmark-worker: %s\n", qPrintable(problem));
    }
    m_conversion.setInputOpenedHook([this](const QString &input) {
        m_faultHook.holdIfMeant(input, m_scratch.filePath(QStringLiteral("held")));
    });
}

// A finished thumbnail waits in the folder until the window's process has
// taken it, which it does before it sends the next request.
WorkerProtocol::Reply Worker::answer(const WorkerProtocol::Request &request)
{
    m_scratch.clear();
    WorkerProtocol::Reply reply;
    switch (request.type) {
    case WorkerProtocol::RequestType::Hello:
        reply = hello();
        break;
    case WorkerProtocol::RequestType::Convert:
        m_faultHook.strikeIfMeant(request.job.input);
        reply = m_conversion.run(request.job);
        if (m_conversionProbe) {
            if (const QString escaped = m_conversionProbe(request.job.input); !escaped.isEmpty())
                reply = WorkerProtocol::failure(escaped);
        }
        break;
    case WorkerProtocol::RequestType::Decode:
        m_faultHook.strikeIfMeant(request.imagePath);
        reply = m_decoding.run(request.imagePath);
        break;
    }
    m_scratch.clear(reply.resultFile);
    return reply;
}

void Worker::setConversionProbe(std::function<QString(const QString &)> probe)
{
    m_conversionProbe = std::move(probe);
}

WorkerProtocol::Reply Worker::hello() const
{
    WorkerProtocol::Reply reply;
    reply.text = m_magick.version();
    reply.failure = m_magick.problem();
    return reply;
}
