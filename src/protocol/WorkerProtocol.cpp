#include "protocol/WorkerProtocol.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

namespace WorkerProtocol {

namespace {

constexpr int lengthSize = 4;
// A reply's words, in UTF-16 on the wire, with room to spare.
constexpr qint64 maxWordsSize = 32 * 1024;
constexpr QDataStream::Version streamVersion = QDataStream::Qt_6_4;

template <typename Write> QByteArray encodeWith(Write write)
{
    QByteArray message;
    QDataStream stream(&message, QIODevice::WriteOnly);
    stream.setVersion(streamVersion);
    write(stream);
    return message;
}

template <typename Value, typename Read>
std::optional<Value> decodeWith(const QByteArray &message, Read read)
{
    QDataStream stream(message);
    stream.setVersion(streamVersion);
    Value value;
    read(stream, value);
    if (stream.status() != QDataStream::Ok || !stream.atEnd())
        return std::nullopt;
    return value;
}

} // namespace

Reply failure(const QString &reason)
{
    Reply reply;
    reply.failure = reason;
    return reply;
}

qint64 maxReplySizeFor(RequestType type)
{
    return type == RequestType::Decode ? maxWordsSize + maxDecodedPixels * 4 : maxWordsSize;
}

QByteArray resultName(quint8 slot)
{
    return "thumbnail-" + QByteArray::number(slot);
}

QByteArray encodeRequest(const Request &request)
{
    return encodeWith([&](QDataStream &stream) {
        const ConversionJob &job = request.job;
        stream << static_cast<quint8>(request.type) << request.token << job.input << job.geometry
               << job.output << job.format << request.imagePath << request.resultSlot;
    });
}

QByteArray encodeReply(const Reply &reply)
{
    return encodeWith([&](QDataStream &stream) {
        stream << reply.token << reply.text << reply.failure << reply.width << reply.height
               << reply.rgba << reply.renderedWarm << reply.handedToGs;
    });
}

std::optional<Request> decodeRequest(const QByteArray &message)
{
    auto request = decodeWith<Request>(message, [](QDataStream &stream, Request &value) {
        quint8 type = 0;
        ConversionJob &job = value.job;
        stream >> type >> value.token >> job.input >> job.geometry >> job.output >> job.format >>
            value.imagePath >> value.resultSlot;
        value.type = static_cast<RequestType>(type);
    });
    if (!request || request->resultSlot >= resultSlots)
        return std::nullopt;
    switch (request->type) {
    case RequestType::Hello:
    case RequestType::Convert:
    case RequestType::Decode:
        return request;
    }
    return std::nullopt;
}

// Pixels only as many as the image it states, and within bounds; longer words
// than anyone reads are cut.
std::optional<Reply> decodeReply(const QByteArray &message)
{
    std::optional<Reply> reply = decodeWith<Reply>(message, [](QDataStream &stream, Reply &value) {
        stream >> value.token >> value.text >> value.failure >> value.width >> value.height >>
            value.rgba >> value.renderedWarm >> value.handedToGs;
    });
    if (!reply || reply->width < 0 || reply->height < 0 ||
        qint64(reply->width) * reply->height > maxDecodedPixels ||
        reply->rgba.size() != qint64(reply->width) * reply->height * 4)
        return std::nullopt;
    reply->text.truncate(maxTextLength);
    reply->failure.truncate(maxTextLength);
    return reply;
}

QByteArray frame(const QByteArray &message)
{
    QByteArray framed(lengthSize, Qt::Uninitialized);
    qToBigEndian(static_cast<quint32>(message.size()), framed.data());
    return framed + message;
}

void FrameReader::append(const QByteArray &bytes)
{
    m_buffer.append(bytes);
}

std::optional<QByteArray> FrameReader::takeMessage()
{
    const qint64 length = announcedLength();
    if (length < 0 || isBroken() || m_buffer.size() - lengthSize < length)
        return std::nullopt;
    QByteArray message = m_buffer.mid(lengthSize, length);
    m_buffer.remove(0, lengthSize + length);
    return message;
}

bool FrameReader::isBroken() const
{
    return announcedLength() > m_limit;
}

qint64 FrameReader::wanted() const
{
    const qint64 length = announcedLength();
    const qint64 whole = length < 0 ? lengthSize : lengthSize + qMin(length, m_limit);
    return qMax<qint64>(whole - m_buffer.size(), 0);
}

qint64 FrameReader::announcedLength() const
{
    if (m_buffer.size() < lengthSize)
        return -1;
    return qFromBigEndian<quint32>(m_buffer.constData());
}

} // namespace WorkerProtocol
