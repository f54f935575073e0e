#include "worker/ImageDecoding.h"

#include "protocol/FileSignature.h"
#include "worker/MagickHandles.h"
#include "worker/MagickRuntime.h"
#include "worker/ScratchFolder.h"

#include <QFile>
#include <QStringList>

#include <wand/MagickWand.h>

#include <memory>

namespace {

// 128 MiB of RGBA: far beyond any thumbnail, far below what would strain the
// window's process.
constexpr qint64 maxPixels = 32 * 1024 * 1024;

const QString imageName = QStringLiteral("image");

QString wandMessage(MagickWand *wand)
{
    ExceptionType severity = UndefinedException;
    char *description = MagickGetException(wand, &severity);
    const QString message = MagickRuntime::plainMessage(description);
    MagickRelinquishMemory(description);
    return message;
}

QString sizeProblem(MagickWand *wand)
{
    const qint64 width = MagickGetImageWidth(wand);
    const qint64 height = MagickGetImageHeight(wand);
    if (width <= 0 || height <= 0)
        return QStringLiteral("the image has no pixels");
    if (width * height > maxPixels)
        return QStringLiteral("the image is too large to show (%1 x %2 pixels)")
            .arg(width)
            .arg(height);
    return QString();
}

} // namespace

ImageDecoding::ImageDecoding(const ScratchFolder &scratch) : m_scratch(scratch) {}

WorkerProtocol::Reply ImageDecoding::run(const QString &path, int fd) const
{
    static const QStringList decodable = {
        QStringLiteral("PNG"), QStringLiteral("JPEG"), QStringLiteral("GIF"),
        QStringLiteral("BMP"), QStringLiteral("TIFF"), QStringLiteral("EPS"),
        QStringLiteral("SVG"), QStringLiteral("MIFF"),
    };
    if (const QString unreadable = m_scratch.copyIn(fd, imageName); !unreadable.isEmpty())
        return WorkerProtocol::failure(QStringLiteral("cannot read the image: %1").arg(unreadable));
    const QString safePath = m_scratch.filePath(imageName);
    const QString format = FileSignature::formatOfFile(safePath);
    if (!decodable.contains(format))
        return WorkerProtocol::failure(
            QStringLiteral("not an image in a format this program writes"));

    // The format prefix keeps ImageMagick from choosing a coder of its own.
    const QByteArray name =
        QFile::encodeName(format + QLatin1Char(':') + safePath + QStringLiteral("[0]"));
    const MagickHandles::WandHandle wand(NewMagickWand());
    const auto magickFailure = [&] {
        return WorkerProtocol::failure(wandMessage(wand.get()).replace(safePath, path));
    };
    if (MagickPingImage(wand.get(), name.constData()) != MagickTrue)
        return magickFailure();
    if (const QString problem = sizeProblem(wand.get()); !problem.isEmpty())
        return WorkerProtocol::failure(problem);
    ClearMagickWand(wand.get());
    if (MagickReadImage(wand.get(), name.constData()) != MagickTrue)
        return magickFailure();
    if (const QString problem = sizeProblem(wand.get()); !problem.isEmpty())
        return WorkerProtocol::failure(problem);

    WorkerProtocol::Reply reply;
    reply.width = static_cast<qint32>(MagickGetImageWidth(wand.get()));
    reply.height = static_cast<qint32>(MagickGetImageHeight(wand.get()));
    reply.rgba.resize(qsizetype(reply.width) * reply.height * 4);
    if (MagickExportImagePixels(wand.get(), 0, 0, reply.width, reply.height, "RGBA", CharPixel,
                                reply.rgba.data()) != MagickTrue)
        return magickFailure();
    return reply;
}
