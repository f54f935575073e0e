#include "ThumbnailConversion.h"

#include "FilePlacement.h"
#include "FileSignature.h"
#include "MagickRuntime.h"
#include "ScratchFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>

#include <wand/MagickWand.h>

#include <vector>

namespace {

const QString firstPageSuffix = QStringLiteral("[0]");

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

WorkerProtocol::Reply failed(const QString &reason)
{
    WorkerProtocol::Reply reply;
    reply.failure = reason;
    return reply;
}

QString extensionOf(const QString &path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString formatName(const QString &extension)
{
    return extension.isEmpty() ? QStringLiteral("extension-less") : extension.toUpper();
}

QString folderOf(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')));
}

// Anything but letters and digits could mean something to ImageMagick, and an
// extension it does not know ends up the same as none: it falls back to the
// source format.
bool isPlainExtension(const QString &extension)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9]{1,16}$"));
    return plain.match(extension).hasMatch();
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

    ImageInfo *imageInfo = AcquireImageInfo();
    ExceptionInfo *exception = AcquireExceptionInfo();
    char *metadata = nullptr;
    CommandOutcome outcome;
    outcome.succeeded = ConvertImageCommand(imageInfo, static_cast<int>(argv.size() - 1),
                                            argv.data(), &metadata, exception) == MagickTrue &&
                        exception->severity < ErrorException;
    outcome.messages = messagesOf(exception);
    if (metadata != nullptr) {
        outcome.metadata = QString::fromLocal8Bit(metadata);
        RelinquishMagickMemory(metadata);
    }
    DestroyExceptionInfo(exception);
    DestroyImageInfo(imageInfo);
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

QString checkWrittenFile(const QString &path, const QString &extension)
{
    const QFileInfo written(path);
    if (!written.exists()) {
        if (extension.compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("ImageMagick wrote no file (SVG thumbnails need potrace)");
        return QStringLiteral("ImageMagick wrote no file");
    }
    if (written.size() == 0)
        return QStringLiteral("ImageMagick wrote an empty file");
    const QString expected = FileSignature::formatForExtension(extension);
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

ThumbnailConversion::ThumbnailConversion(const MagickRuntime &magick, const ScratchFolder &scratch,
                                         mode_t newFileMode)
    : m_magick(magick), m_scratch(scratch), m_newFileMode(newFileMode)
{
}

WorkerProtocol::Reply ThumbnailConversion::run(const QStringList &arguments) const
{
    if (arguments.size() != 6)
        return failed(
            QStringLiteral("the converter takes six arguments, not %1").arg(arguments.size()));
    const Job job = jobFor(arguments);
    if (const QString refusal = refusalOf(job); !refusal.isEmpty())
        return failed(refusal);

    CommandOutcome outcome = runConvertCommand(commandArguments(arguments, job));
    for (MagickMessage &message : outcome.messages) {
        message.text.replace(job.safeInput, job.input);
        message.text.replace(job.safeOutput, job.output);
    }
    if (!outcome.succeeded)
        return failed(failureOf(outcome, formatName(job.extension)));
    if (outcome.metadata.isEmpty())
        return failed(QStringLiteral("ImageMagick gave no description of the PDF"));
    if (const QString problem = checkWrittenFile(job.safeOutput, job.extension); !problem.isEmpty())
        return failed(problem);
    if (const QString error = placeFile(job.safeOutput, job.output, m_newFileMode);
        !error.isEmpty())
        return failed(QStringLiteral("could not write the thumbnail: %1").arg(error));
    WorkerProtocol::Reply reply;
    reply.text = outcome.metadata;
    return reply;
}

ThumbnailConversion::Job ThumbnailConversion::jobFor(const QStringList &arguments) const
{
    Job job;
    job.input = arguments.at(4);
    job.firstPageOnly = job.input.endsWith(firstPageSuffix);
    if (job.firstPageOnly)
        job.input.chop(firstPageSuffix.size());
    job.output = arguments.at(5);
    job.extension = extensionOf(job.output);
    job.safeInput = m_scratch.filePath(QStringLiteral("in.pdf"));
    job.safeOutput =
        m_scratch.filePath(isPlainExtension(job.extension) ? QStringLiteral("out.") + job.extension
                                                           : QStringLiteral("out"));
    return job;
}

// What can be told before ImageMagick and Ghostscript are put to work.
QString ThumbnailConversion::refusalOf(const Job &job) const
{
    // ImageMagick would write a PDF under the name and call it a success.
    if (job.extension.compare(QLatin1String("wmf"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("ImageMagick cannot write WMF");
    if (const QString problem = m_magick.problem(); !problem.isEmpty())
        return problem;
    const QString safeName = job.safeInput.mid(job.safeInput.lastIndexOf(QLatin1Char('/')) + 1);
    if (const QString reason = m_scratch.linkToFile(job.input, safeName); !reason.isEmpty())
        return QStringLiteral("cannot read the PDF: %1").arg(reason);
    // So that Ghostscript never runs on what is not even meant to be a PDF,
    // such as a PostScript program under a PDF's name.
    if (const QString problem = pdfHeaderProblem(job.safeInput); !problem.isEmpty())
        return problem;
    const QString outputFolder = folderOf(job.output);
    if (!outputFolder.isEmpty() && !QFileInfo(outputFolder).isDir())
        return QStringLiteral("could not write the thumbnail: the folder %1 does not exist")
            .arg(outputFolder);
    return QString();
}

// The user's arguments with the two paths swapped for plain names. An explicit
// PDF prefix keeps ImageMagick from picking a coder by the content; it has no
// format called "mif", its name is MIFF.
QStringList ThumbnailConversion::commandArguments(const QStringList &arguments, const Job &job)
{
    const bool mif = job.extension.compare(QLatin1String("mif"), Qt::CaseInsensitive) == 0;
    return arguments.mid(0, 4) << QStringLiteral("PDF:") + job.safeInput +
                                      (job.firstPageOnly ? firstPageSuffix : QString())
                               << (mif ? QStringLiteral("MIFF:") : QString()) + job.safeOutput;
}
