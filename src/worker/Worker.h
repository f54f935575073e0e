#pragma once

#include "FaultHook.h"
#include "ImageDecoding.h"
#include "MagickRuntime.h"
#include "ScratchFolder.h"
#include "ThumbnailConversion.h"
#include "WarmGhostscript.h"
#include "WorkerProtocol.h"

#include <functional>
#include <memory>

// Answers the requests of the window's process, one at a time.
class Worker
{
public:
    // Cold starts a new gs for every page, as ImageMagick alone does; the
    // benchmark measures it against Warm.
    enum class Rendering { Warm, Cold };

    Worker(const QString &scratchPath, const QByteArray &faultSetting,
           Rendering rendering = Rendering::Warm);

    WorkerProtocol::Reply answer(const WorkerProtocol::Request &request);

    // Tests only: run before each conversion with its input; a text back
    // names what should have been refused and fails the conversion with it.
    void setConversionProbe(std::function<QString(const QString &)> probe);

private:
    WorkerProtocol::Reply hello() const;

    MagickRuntime m_magick;
    std::unique_ptr<WarmGhostscript> m_warm;
    ScratchFolder m_scratch;
    FaultHook m_faultHook;
    ThumbnailConversion m_conversion;
    ImageDecoding m_decoding;
    std::function<QString(const QString &)> m_conversionProbe;
};
