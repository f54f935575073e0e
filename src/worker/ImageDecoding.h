#pragma once

#include "protocol/WorkerProtocol.h"

#include <QString>

class ScratchFolder;

// Reads an image for the preview: only the formats this program writes, told
// by their content, first frame only, and no more pixels than a screen could
// sensibly show.
class ImageDecoding
{
public:
    explicit ImageDecoding(const ScratchFolder &scratch);

    // The image is the file open at fd; path names it in messages.
    WorkerProtocol::Reply run(const QString &path, int fd) const;

private:
    const ScratchFolder &m_scratch;
};
