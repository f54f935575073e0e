#pragma once

#include "protocol/ConversionJob.h"
#include "protocol/FileIdentity.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What the window's process and the worker say to each other over the worker's
// standard input and output: frames of a 4-byte big-endian length followed by a
// QDataStream message. One request, then one reply, in turn.
namespace WorkerProtocol {

enum class RequestType : quint8 {
    Hello = 1,
    Convert = 2,
    Decode = 3,
};

struct Request
{
    RequestType type = RequestType::Hello;
    ConversionJob job;
    // Decode: the image to read.
    QString imagePath;
};

struct Reply
{
    // Hello: ImageMagick's version. Convert: ImageMagick's description of the
    // source, such as "88,114,PDF". Empty when the request failed.
    QString text;
    // Why the request failed, in words a user can act on; empty when it worked.
    QString failure;
    // Convert: the finished thumbnail's name in the worker's private folder,
    // and the input file as it was read.
    QString resultFile;
    FileIdentity input;
    // Decode: the image, RGBA with 8 bits a channel.
    qint32 width = 0;
    qint32 height = 0;
    QByteArray rgba;
};

// Large enough for the biggest image the worker decodes, small enough that a
// corrupted length cannot make the reader allocate without bound.
constexpr qint64 maxFrameSize = 256 * 1024 * 1024;

// A reply that says only why the request failed.
Reply failure(const QString &reason);

QByteArray encodeRequest(const Request &request);
QByteArray encodeReply(const Reply &reply);
std::optional<Request> decodeRequest(const QByteArray &message);
std::optional<Reply> decodeReply(const QByteArray &message);

// The message with its length in front.
QByteArray frame(const QByteArray &message);

// Collects bytes as they arrive and hands out whole messages.
class FrameReader
{
public:
    void append(const QByteArray &bytes);
    std::optional<QByteArray> takeMessage();
    // A length beyond maxFrameSize was announced: the stream cannot be trusted.
    bool isBroken() const;

private:
    qint64 announcedLength() const;

    QByteArray m_buffer;
};

} // namespace WorkerProtocol
