#include "pool/PreviewDecoder.h"

#include "pool/CheckedFile.h"
#include "pool/WorkerConverter.h"

#include <utility>

PreviewDecoder::PreviewDecoder(WorkerConverter &pool) : m_pool(pool) {}

DecodedImage PreviewDecoder::decodeImage(const QString &path)
{
    WorkerProtocol::Request request;
    request.type = WorkerProtocol::RequestType::Decode;
    request.imagePath = path;
    const WorkerProtocol::Reply reply = m_pool.answer(std::move(request));
    if (!reply.failure.isEmpty() || reply.width <= 0 || reply.height <= 0 ||
        qint64(reply.width) * reply.height * 4 > CheckedFile::maxImageSize ||
        reply.rgba.size() != qsizetype(reply.width) * reply.height * 4)
        return {};
    return {reply.width, reply.height, reply.rgba};
}
