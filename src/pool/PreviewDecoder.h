#pragma once

#include "pool/ImageDecoder.h"

class WorkerConverter;

// Decodes for the preview on the pool's workers, ahead of any work the pool
// does for the walk; what a worker sends back is checked before it is shown.
class PreviewDecoder : public ImageDecoder
{
public:
    explicit PreviewDecoder(WorkerConverter &pool);

    DecodedImage decodeImage(const QString &path) override;

private:
    WorkerConverter &m_pool;
};
