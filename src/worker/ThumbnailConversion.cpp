#include "worker/ThumbnailConversion.h"

#include "protocol/FileSignature.h"
#include "worker/Interposition.h"
#include "worker/MagickHandles.h"
#include "worker/MagickRuntime.h"
#include "worker/ScratchFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>

#include <wand/MagickWand.h>

#include <memory>
#include <vector>

namespace {

const QString firstPageSuffix = QStringLiteral("[0]");
const QString safeInputName = QStringLiteral("in.pdf");

struct MagickMessage
{
    ExceptionType severity;
    QString text;
};

struct CommandOutcome
{
    bool succeeded = false;
    QString metadata;
    QList<MagickMessage> messages;
};

// The job names the format where this program knows it (ImageMagick has no
// "mif": that is MIFF); otherwise ImageMagick goes by the extension.
QString coderName(const ConversionJob &job)
{
    return job.format.isEmpty() ? job.outputExtension() : job.format;
}

QString formatName(const QString &extension)
{
    return extension.isEmpty() ? QStringLiteral("extension-less") : extension.toUpper();
}

// Anything but letters and digits could mean something to ImageMagick, and an
// extension it does not know ends up the same as none: it falls back to the
// source format.
bool isPlainExtension(const QString &extension)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9]{1,16}$"));
    return plain.match(extension).hasMatch();
}

// The coders that write one image file and nothing else. Others that
// ImageMagick has write a second file beside the first (html), open windows
// (show, x), print (print), run scripts (msl) or write to descriptors (fd).
bool writesOneImageFile(const char *coder)
{
    static const QStringList coders = {
        QStringLiteral("PNG"),   QStringLiteral("PNG8"),     QStringLiteral("PNG24"),
        QStringLiteral("PNG32"), QStringLiteral("PNG48"),    QStringLiteral("PNG64"),
        QStringLiteral("JPG"),   QStringLiteral("JPEG"),     QStringLiteral("JPE"),
        QStringLiteral("GIF"),   QStringLiteral("GIF87"),    QStringLiteral("BMP"),
        QStringLiteral("BMP2"),  QStringLiteral("BMP3"),     QStringLiteral("TIF"),
        QStringLiteral("TIFF"),  QStringLiteral("TIFF64"),   QStringLiteral("EPS"),
        QStringLiteral("EPSF"),  QStringLiteral("SVG"),      QStringLiteral("MIFF"),
        QStringLiteral("WEBP"),  QStringLiteral("JP2"),      QStringLiteral("J2K"),
        QStringLiteral("JNG"),   QStringLiteral("ICO"),      QStringLiteral("PBM"),
        QStringLiteral("PGM"),   QStringLiteral("PPM"),      QStringLiteral("PNM"),
        QStringLiteral("PAM"),   QStringLiteral("TGA"),      QStringLiteral("PCX"),
        QStringLiteral("XPM"),   QStringLiteral("XBM"),      QStringLiteral("PSD"),
        QStringLiteral("HEIC"),  QStringLiteral("AVIF"),     QStringLiteral("DDS"),
        QStringLiteral("SGI"),   QStringLiteral("SUN"),      QStringLiteral("RAS"),
        QStringLiteral("EXR"),   QStringLiteral("FITS"),     QStringLiteral("WBMP"),
        QStringLiteral("HDR"),   QStringLiteral("FARBFELD"), QStringLiteral("FF"),
    };
    return coders.contains(QString::fromLatin1(coder));
}

// An extension ImageMagick knows neither as a coder nor as a delegate falls
// back to the source's format, which the policy keeps from being written.
bool writesMoreThanAnImage(const QString &coder)
{
    const QByteArray name = coder.toUpper().toLatin1();
    const MagickHandles::ExceptionHandle exception = MagickHandles::newException();
    if (const MagickInfo *info = GetMagickInfo(name.constData(), exception.get()))
        return !writesOneImageFile(info->name);
    return GetDelegateInfo("*", name.constData(), exception.get()) != nullptr;
}

QList<MagickMessage> messagesOf(ExceptionInfo *exception)
{
    QList<MagickMessage> messages;
    auto *list = static_cast<LinkedListInfo *>(exception->exceptions);
    if (list == nullptr)
        return messages;
    ResetLinkedListIterator(list);
    while (const auto *entry = static_cast<const ExceptionInfo *>(GetNextValueInLinkedList(list)))
        messages.append({entry->severity, MagickRuntime::plainMessage(entry->reason)});
    return messages;
}

CommandOutcome runConvertCommand(const QStringList &arguments)
{
    std::vector<QByteArray> storage;
    storage.push_back(QByteArrayLiteral("convert"));
    for (const QString &argument : arguments)
        storage.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const MagickHandles::ImageInfoHandle imageInfo(AcquireImageInfo());
    const MagickHandles::ExceptionHandle exception = MagickHandles::newException();
    char *metadata = nullptr;
    CommandOutcome outcome;
    outcome.succeeded =
        ConvertImageCommand(imageInfo.get(), static_cast<int>(argv.size() - 1), argv.data(),
                            &metadata, exception.get()) == MagickTrue &&
        exception->severity < ErrorException;
    const MagickHandles::TextHandle description(metadata);
    outcome.messages = messagesOf(exception.get());
    if (description)
        outcome.metadata = QString::fromLocal8Bit(description.get());
    return outcome;
}

// convert adds "no images defined" whenever reading failed; Ghostscript's own
// complaints go to standard error and leave nothing else behind.
QString worstMessage(const QList<MagickMessage> &messages, ExceptionType *severity)
{
    const MagickMessage *worst = nullptr;
    for (const MagickMessage &message : messages) {
        if (message.text.startsWith(QLatin1String("no images defined")))
            continue;
        if (worst == nullptr || message.severity > worst->severity)
            worst = &message;
    }
    *severity = worst != nullptr ? worst->severity : UndefinedException;
    return worst != nullptr ? worst->text : QString();
}

// A sound document whose page needs more than the policy's limits allow
// reports a resource or pixel-cache error.
QString resourceLimitMessage(const QList<MagickMessage> &messages)
{
    for (const MagickMessage &message : messages) {
        switch (message.severity) {
        case ResourceLimitError:
        case ResourceLimitFatalError:
        case CacheError:
        case CacheFatalError:
            return message.text;
        default:
            break;
        }
    }
    return QString();
}

QString failureOf(const CommandOutcome &outcome, const QString &outputFormat)
{
    ExceptionType severity = UndefinedException;
    const QString message = worstMessage(outcome.messages, &severity);
    if (severity == OptionError)
        return QStringLiteral("ImageMagick refused the arguments: %1").arg(message);
    if (const QString limit = resourceLimitMessage(outcome.messages); !limit.isEmpty())
        return QStringLiteral("the page is too large to render: %1").arg(limit);
    if (outcome.metadata.isEmpty()) {
        return QStringLiteral("not a PDF or damaged: %1")
            .arg(message.isEmpty() ? QStringLiteral("Ghostscript could not render its first page")
                                   : message);
    }
    // With writing PDF closed, this is how an output format ImageMagick does
    // not know ends: it falls back to the source's format.
    if (severity == PolicyError)
        return QStringLiteral("ImageMagick cannot write %1 files").arg(outputFormat);
    return QStringLiteral("ImageMagick could not write the thumbnail: %1")
        .arg(message.isEmpty() ? QStringLiteral("no reason given") : message);
}

QString pdfHeaderProblem(const QString &path)
{
    if (QFileInfo(path).size() == 0)
        return QStringLiteral("not a PDF or damaged: the file is empty");
    if (FileSignature::formatOfFile(path) != QLatin1String("PDF"))
        return QStringLiteral("not a PDF or damaged: it does not start like a PDF");
    return QString();
}

QString checkWrittenFile(const QString &path, const QString &extension, const QString &expected)
{
    const QFileInfo written(path);
    if (!written.exists()) {
        if (extension.compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("ImageMagick wrote no file (SVG thumbnails need potrace)");
        return QStringLiteral("ImageMagick wrote no file");
    }
    if (written.size() == 0)
        return QStringLiteral("ImageMagick wrote an empty file");
    const QString found = FileSignature::formatOfFile(path);
    if (expected.isEmpty()) {
        if (found == QLatin1String("PDF"))
            return QStringLiteral("ImageMagick cannot write %1 files").arg(formatName(extension));
        return QString();
    }
    if (found != expected) {
        return QStringLiteral("ImageMagick wrote %1 instead of %2")
            .arg(found.isEmpty() ? QStringLiteral("something unrecognisable") : found, expected);
    }
    return QString();
}

} // namespace

ThumbnailConversion::ThumbnailConversion(const MagickRuntime &magick, const ScratchFolder &scratch)
    : m_magick(magick), m_scratch(scratch)
{
}

void ThumbnailConversion::setInputOpenedHook(std::function<void(const QString &)> hook)
{
    m_inputOpened = std::move(hook);
}

WorkerProtocol::Reply ThumbnailConversion::run(const ConversionJob &job, int inputFd,
                                               quint8 slot) const
{
    Interposition::CommandCount commands;
    WorkerProtocol::Reply reply = convert(job, inputFd, slot);
    commands.addTo(reply);
    return reply;
}

WorkerProtocol::Reply ThumbnailConversion::convert(const ConversionJob &job, int inputFd,
                                                   quint8 slot) const
{
    const QString extension = job.outputExtension();
    // ImageMagick would write a PDF under the name and call it a success.
    if (extension.compare(QLatin1String("wmf"), Qt::CaseInsensitive) == 0)
        return WorkerProtocol::failure(QStringLiteral("ImageMagick cannot write WMF"));
    if (const QString problem = m_magick.problem(); !problem.isEmpty())
        return WorkerProtocol::failure(problem);
    if (isPlainExtension(extension) && writesMoreThanAnImage(coderName(job)))
        return WorkerProtocol::failure(
            QStringLiteral("ImageMagick's %1 format does more than write an image file; it is "
                           "not used for thumbnails")
                .arg(formatName(extension)));
    if (const QString unreadable = m_scratch.copyIn(inputFd, safeInputName); !unreadable.isEmpty())
        return WorkerProtocol::failure(QStringLiteral("cannot read the PDF: %1").arg(unreadable));
    const QString safeInput = m_scratch.filePath(safeInputName);
    // So that Ghostscript never runs on what is not even meant to be a PDF,
    // such as a PostScript program under a PDF's name.
    if (const QString problem = pdfHeaderProblem(safeInput); !problem.isEmpty())
        return WorkerProtocol::failure(problem);
    if (m_inputOpened)
        m_inputOpened(job.input);

    const QString safeOutput = m_scratch.filePath(
        isPlainExtension(extension) ? QStringLiteral("out.") + extension : QStringLiteral("out"));
    CommandOutcome outcome = runConvertCommand(commandArguments(job, safeInput, safeOutput));
    for (MagickMessage &message : outcome.messages) {
        message.text.replace(safeInput, job.input);
        message.text.replace(safeOutput, job.output);
    }
    if (!outcome.succeeded)
        return WorkerProtocol::failure(failureOf(outcome, formatName(extension)));
    if (outcome.metadata.isEmpty())
        return WorkerProtocol::failure(
            QStringLiteral("ImageMagick gave no description of the PDF"));
    if (const QString problem = checkWrittenFile(safeOutput, extension, job.format);
        !problem.isEmpty())
        return WorkerProtocol::failure(problem);
    const QString result =
        m_scratch.filePath(QString::fromLatin1(WorkerProtocol::resultName(slot)));
    QFile::remove(result);
    if (!QFile::rename(safeOutput, result))
        return WorkerProtocol::failure(QStringLiteral("could not hand the thumbnail over"));
    WorkerProtocol::Reply reply;
    reply.text = outcome.metadata;
    return reply;
}

// An explicit PDF prefix keeps ImageMagick from picking a coder by the
// content; the output's prefix is there only where ImageMagick's name for the
// format is not the extension.
QStringList ThumbnailConversion::commandArguments(const ConversionJob &job,
                                                  const QString &safeInput,
                                                  const QString &safeOutput)
{
    const QString coder = coderName(job);
    const bool renamed = coder.compare(job.outputExtension(), Qt::CaseInsensitive) != 0;
    return {QStringLiteral("-thumbnail"),
            job.geometry,
            QStringLiteral("-alpha"),
            QStringLiteral("Remove"),
            QStringLiteral("PDF:") + safeInput + firstPageSuffix,
            (renamed ? coder + QLatin1Char(':') : QString()) + safeOutput};
}
