// What a worker sends back, as any bytes a hostile one may write: nothing
// crashes; however the bytes arrive, the frame reader hands out the same
// messages, exactly the frames the stream holds, and gives up on a length
// beyond the bound; a message is taken as a reply only if it is one whole
// reply and nothing else.

#include "protocol/WorkerProtocol.h"

#include <QList>
#include <QtEndian>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace WorkerProtocol;

constexpr qsizetype lengthSize = 4;

void require(bool holds, const char *invariant)
{
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", invariant);
        std::abort();
    }
}

struct Reading
{
    QList<QByteArray> messages;
    bool broken = false;
};

// The stream's frames, read the simplest way: all bytes are there at once.
Reading framesOf(const QByteArray &stream)
{
    Reading reading;
    qsizetype at = 0;
    while (stream.size() - at >= lengthSize) {
        const qint64 length = qFromBigEndian<quint32>(stream.constData() + at);
        if (length > maxFrameSize) {
            reading.broken = true;
            break;
        }
        if (stream.size() - at - lengthSize < length)
            break;
        reading.messages.append(stream.mid(at + lengthSize, length));
        at += lengthSize + length;
    }
    return reading;
}

// As the window reads: whatever has arrived, then every message it completes.
// The bytes arrive in pieces whose sizes the stream's own bytes choose, so
// that frames and lengths are cut at every place.
Reading readInPieces(const QByteArray &stream)
{
    Reading reading;
    FrameReader reader;
    qsizetype at = 0;
    while (at < stream.size() && !reader.isBroken()) {
        const qsizetype piece = 1 + quint8(stream[at]) % 23;
        reader.append(stream.mid(at, piece));
        at += piece;
        while (std::optional<QByteArray> message = reader.takeMessage())
            reading.messages.append(*message);
    }
    reading.broken = reader.isBroken();
    return reading;
}

void checkReply(const QByteArray &message)
{
    const std::optional<Reply> reply = decodeReply(message);
    if (!reply)
        return;
    require(encodeReply(*reply) == message, "a reply is taken only as the whole message");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray stream(reinterpret_cast<const char *>(data), qsizetype(size));
    const Reading expected = framesOf(stream);
    const Reading read = readInPieces(stream);
    require(read.broken == expected.broken, "a length beyond the bound breaks the stream");
    require(read.messages == expected.messages, "the reader hands out the stream's frames");
    for (const QByteArray &message : expected.messages)
        checkReply(message);
    // A stream no longer than one frame is also read as a single message.
    checkReply(stream);
    return 0;
}
