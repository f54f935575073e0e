#pragma once

#include "protocol/WorkerProtocol.h"
#include "worker/ImageDecoding.h"
#include "worker/MagickRuntime.h"
#include "worker/ScratchFolder.h"
#include "worker/ThumbnailConversion.h"
#include "worker/WarmGhostscript.h"

#include <functional>
#include <memory>

// Answers the requests of the window's process, one at a time.
class Worker
{
public:
    // Cold starts a new gs for every page, as ImageMagick alone does; the
    // benchmark measures it against Warm.
    enum class Rendering { Warm, Cold };

    explicit Worker(const QString &scratchPath, Rendering rendering = Rendering::Warm);

    WorkerProtocol::Reply answer(const WorkerProtocol::Request &request);

    // Tests only: run before each conversion with its input; a text back
    // names what should have been refused and fails the conversion with it.
    void setConversionProbe(std::function<QString(const QString &)> probe);
    // Tests only: run in the renderer of each page that renders warm.
    void setRendererProbe(std::function<void()> probe);
    // Tests only: run before each request that reads a file, with its path,
    // and once a conversion's input is open, with the input's path.
    void setRequestHook(std::function<void(const QString &)> hook);
    void setInputOpenedHook(std::function<void(const QString &)> hook);

private:
    WorkerProtocol::Reply hello() const;

    MagickRuntime m_magick;
    std::unique_ptr<WarmGhostscript> m_warm;
    ScratchFolder m_scratch;
    ThumbnailConversion m_conversion;
    ImageDecoding m_decoding;
    std::function<QString(const QString &)> m_conversionProbe;
    std::function<void(const QString &)> m_requestHook;
};
