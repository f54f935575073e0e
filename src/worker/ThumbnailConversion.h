#pragma once

#include "protocol/WorkerProtocol.h"

#include <QStringList>

#include <functional>

class MagickRuntime;
class ScratchFolder;

// One run of ImageMagick's convert command for a job of the walk, with the two
// paths swapped for plain names in the scratch folder. The thumbnail stays
// there, under the protocol's result name, once it holds what its extension
// says; the window's process copies it out and puts it in place.
class ThumbnailConversion
{
public:
    ThumbnailConversion(const MagickRuntime &magick, const ScratchFolder &scratch);

    // The PDF is the file open at inputFd; job.input names it in messages.
    // The thumbnail goes to the protocol's result name for slot. The reply
    // also tells which way its page went: rendered warm or by a new gs.
    WorkerProtocol::Reply run(const ConversionJob &job, int inputFd, quint8 slot) const;

    // Tests only: called with the input once it is open and checked.
    void setInputOpenedHook(std::function<void(const QString &input)> hook);

    // The argument vector ImageMagick's convert command gets for the job,
    // reading safeInput and writing safeOutput.
    static QStringList commandArguments(const ConversionJob &job, const QString &safeInput,
                                        const QString &safeOutput);

private:
    WorkerProtocol::Reply convert(const ConversionJob &job, int inputFd, quint8 slot) const;

    const MagickRuntime &m_magick;
    const ScratchFolder &m_scratch;
    std::function<void(const QString &input)> m_inputOpened;
};
