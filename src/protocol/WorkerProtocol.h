#pragma once

#include "protocol/ConversionJob.h"
#include "protocol/UniqueFd.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What the window's process and the worker say to each other: requests over a
// UNIX socket on the worker's standard input, each Convert and Decode with the
// open file it is about attached, and replies over its standard output. Both
// are frames of a 4-byte big-endian length followed by a QDataStream message.
// Several requests may be out at once, the worker holding the next while it
// answers one; replies come in the order of the requests, each carrying its
// request's token back. A reply says only whether the request worked and why
// not: a finished thumbnail is always under resultName in the finished folder
// of the worker's scratch folder, both of which the window's process made and
// opens itself.
namespace WorkerProtocol {

enum class RequestType : quint8 {
    Hello = 1,
    Convert = 2,
    Decode = 3,
};

struct Request
{
    RequestType type = RequestType::Hello;
    // Unguessable, so that nothing a document starts can answer a request it
    // never saw.
    quint64 token = 0;
    ConversionJob job;
    // Decode: the image to read, for messages only.
    QString imagePath;
    // Convert: where the thumbnail goes, so that a worker can take its next
    // request before the last thumbnail was taken.
    quint8 resultSlot = 0;
    // Convert: the PDF; Decode: the image. Opened and checked by the window's
    // process, the worker reads nothing else of the user's. Not encoded: it
    // travels beside the message.
    UniqueFd file;
};

struct Reply
{
    // The token of the request it answers.
    quint64 token = 0;
    // Hello: ImageMagick's version. Convert: ImageMagick's description of the
    // source, such as "88,114,PDF". Empty when the request failed.
    QString text;
    // Why the request failed, in words a user can act on; empty when it worked.
    QString failure;
    // Decode: the image, RGBA with 8 bits a channel.
    qint32 width = 0;
    qint32 height = 0;
    QByteArray rgba;
    // Convert: the gs commands ImageMagick started for it, taken by the
    // worker's warm renderer or handed on to a new gs.
    quint32 renderedWarm = 0;
    quint32 handedToGs = 0;
};

// Large enough for the biggest image the worker decodes, small enough that a
// corrupted length cannot make the reader allocate without bound.
constexpr qint64 maxFrameSize = 256 * 1024 * 1024;

// What the window's process accepts of a reply. A text says what happened in
// a sentence or two; only a Decode carries pixels, and no more than
// maxDecodedPixels of them.
constexpr qsizetype maxTextLength = 4096;
constexpr qint64 maxDecodedPixels = 32 * 1024 * 1024;
qint64 maxReplySizeFor(RequestType type);

// The scratch folder holds two: a request's processes work in the one and
// cannot reach the other, where the worker puts their thumbnail once they
// are gone. So no document reads or changes the thumbnail of another.
constexpr char workingFolderName[] = "working";
constexpr char finishedFolderName[] = "finished";

// Where the worker leaves a finished thumbnail, in the finished folder.
constexpr quint8 resultSlots = 2;
QByteArray resultName(quint8 slot);

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
    // A length beyond the limit was announced: the stream cannot be trusted.
    bool isBroken() const;
    // The largest message the next one may be; maxFrameSize unless set.
    void setLimit(qint64 limit) { m_limit = limit; }
    // Bytes held that are not yet a whole message.
    qsizetype pending() const { return m_buffer.size(); }
    // How many more bytes the next message needs at most, its length in front.
    qint64 wanted() const;

private:
    qint64 announcedLength() const;

    QByteArray m_buffer;
    qint64 m_limit = maxFrameSize;
};

} // namespace WorkerProtocol
