#pragma once

#include "worker/FaultHook.h"
#include "worker/ImageDecoding.h"
#include "worker/MagickRuntime.h"
#include "worker/ScratchFolder.h"
#include "worker/ThumbnailConversion.h"
#include "protocol/WorkerProtocol.h"

#include <functional>

// Answers the requests of the window's process, one at a time.
class Worker
{
public:
    Worker(const QString &scratchPath, const QByteArray &faultSetting);

    WorkerProtocol::Reply answer(const WorkerProtocol::Request &request);

    // Tests only: run before each conversion with its input; a text back
    // names what should have been refused and fails the conversion with it.
    void setConversionProbe(std::function<QString(const QString &)> probe);

private:
    WorkerProtocol::Reply hello() const;

    MagickRuntime m_magick;
    ScratchFolder m_scratch;
    FaultHook m_faultHook;
    ThumbnailConversion m_conversion;
    ImageDecoding m_decoding;
    std::function<QString(const QString &)> m_conversionProbe;
};
