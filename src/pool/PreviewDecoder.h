#pragma once

#include "pool/ImageDecoder.h"
#include "pool/WorkerConverter.h"

// The preview's decoder: the pool's workers.
class PreviewDecoder : public ImageDecoder
{
public:
    explicit PreviewDecoder(WorkerConverter &pool) : m_pool(pool) {}

    DecodedImage decodeImage(const QString &path) override { return m_pool.decode(path); }

private:
    WorkerConverter &m_pool;
};
