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

    WorkerProtocol::Reply run(const QString &path) const;

private:
    const ScratchFolder &m_scratch;
};
