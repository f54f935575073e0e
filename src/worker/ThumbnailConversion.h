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
    // The paths of one conversion: the user's, and the plain names that
    // ImageMagick gets instead.
    struct Job
    {
        QString input;
        bool firstPageOnly = false;
        QString output;
        QString extension;
        QString safeInput;
        QString safeOutput;
    };

    Job jobFor(const QStringList &arguments) const;
    QString refusalOf(const Job &job) const;
    static QStringList commandArguments(const QStringList &arguments, const Job &job);

    const MagickRuntime &m_magick;
    const ScratchFolder &m_scratch;
    mode_t m_newFileMode;
};
