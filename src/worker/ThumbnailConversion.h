#pragma once

#include "run/WorkerProtocol.h"

#include <QStringList>

#include <sys/types.h>

class MagickRuntime;
class ScratchFolder;

// One run of ImageMagick's convert command on the six arguments of the walk,
// with the two paths swapped for plain names in the scratch folder. The
// thumbnail reaches its real name only once it holds what its extension says.
class ThumbnailConversion
{
public:
    ThumbnailConversion(const MagickRuntime &magick, const ScratchFolder &scratch,
                        mode_t newFileMode);

    WorkerProtocol::Reply run(const QStringList &arguments) const;

private:
    const MagickRuntime &m_magick;
    const ScratchFolder &m_scratch;
    mode_t m_newFileMode;
};
