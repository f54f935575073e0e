#include "run/FolderWalk.h"

#include "run/Converter.h"
#include "run/OutputPath.h"
#include "run/WalkView.h"
#include "settings/FormatTable.h"

#include <QFile>

namespace {

// Tells the converter what the walk will meet, for as long as the walk runs.
class ForesightScope
{
public:
    ForesightScope(Converter &converter, Forecast forecast) : m_converter(converter)
    {
        m_converter.foresee(std::move(forecast));
    }
    ~ForesightScope() { m_converter.foresee({}); }
    ForesightScope(const ForesightScope &) = delete;
    ForesightScope &operator=(const ForesightScope &) = delete;

private:
    Converter &m_converter;
};

} // namespace

FolderWalk::FolderWalk(WalkView &view, Converter &converter, const bool &cancelRequested,
                       RunOptions options)
    : m_view(view), m_converter(converter), m_cancelRequested(cancelRequested), m_options(options)
{
}

// A cancel request is never withdrawn during a walk, so ending the whole walk
// where one folder's walk would end is the same: each enclosing folder would
// end at its next test.
void FolderWalk::FindFilesAPI(QString path, const QString &SearchStr, qint64 &FileCount)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    m_root = path;
    if (m_options.skipUpToDate)
        m_index.emplace(m_view.imageFolderText());
    VisitingOrder order(path, SearchStr);
    VisitingOrder ahead(path, SearchStr);
    {
        const ForesightScope foresight(m_converter,
                                       [this, &ahead] { return nextForeseenJob(ahead); });
        walkTree(order, FileCount);
    }
    if (m_index)
        m_index->save();
}

void FolderWalk::walkTree(VisitingOrder &order, qint64 &FileCount)
{
    for (;;) {
        switch (order.next()) {
        case VisitingOrder::Step::ListedEntry:
            m_view.yieldPoint();
            break;
        case VisitingOrder::Step::MatchingEntry:
            m_view.yieldPoint();
            if (isDotEntry(order.name()))
                break;
            convertEntry(order.folder(), order.name(), FileCount);
            if (m_cancelRequested)
                return;
            break;
        case VisitingOrder::Step::EnteringSubfolder:
            if (m_cancelRequested)
                return;
            break;
        case VisitingOrder::Step::End:
            return;
        }
    }
}

void FolderWalk::convertEntry(const VisitingOrder::Folder &folder, const QByteArray &nativeName,
                              qint64 &FileCount)
{
    ++FileCount;
    const QString outputName =
        outputFileName(QFile::decodeName(nativeName), m_view.currentFormat());
    m_view.appendResultRow(FileCount, outputName);
    m_view.selectAndRevealRow(FileCount);
    m_view.yieldPoint();

    const EntryJob entry = jobFor(folder, nativeName, outputName);
    m_view.describeResultRow(FileCount, folder.path + QFile::decodeName(nativeName),
                             entry.relativeOutput);
    if (isUpToDate(entry)) {
        m_view.yieldPoint();
        m_view.markUpToDateRow(FileCount);
        return;
    }
    const ConversionResult result = convert(entry);
    m_view.yieldPoint();
    m_view.markResultRow(FileCount, result.succeeded(), result.failureReason);
}

bool FolderWalk::isUpToDate(const EntryJob &entry) const
{
    return m_index && entry.failureReason.isEmpty() &&
           m_index->isUpToDate(entry.relativeOutput, entry.job);
}

// The PDF is stamped before the converter may have begun on it, ahead or now,
// so that a change while it was read is seen.
ConversionResult FolderWalk::convert(const EntryJob &entry)
{
    ConversionResult result;
    result.failureReason = entry.failureReason;
    if (result.failureReason.isEmpty() && m_options.keepSubfolders)
        result.failureReason = makeSubfolders(
            m_view.imageFolderText(),
            entry.relativeOutput.left(entry.relativeOutput.lastIndexOf(QLatin1Char('/')) + 1));
    if (!result.failureReason.isEmpty()) {
        if (m_index)
            m_index->forget(entry.relativeOutput);
        return result;
    }
    std::optional<FileStamp> pdfBefore;
    if (m_index) {
        const auto ahead = m_stampsAhead.constFind(entry.job.input);
        pdfBefore =
            ahead != m_stampsAhead.cend() ? *ahead : FileStamp::ofSettledFile(entry.job.input);
        m_stampsAhead.remove(entry.job.input);
    }
    result = m_converter.Convert(entry.job);
    if (m_index && result.succeeded())
        m_index->record(entry.relativeOutput, entry.job, pdfBefore);
    else if (m_index)
        m_index->forget(entry.relativeOutput);
    return result;
}

FolderWalk::EntryJob FolderWalk::jobFor(const VisitingOrder::Folder &folder,
                                        const QByteArray &nativeName,
                                        const QString &outputName) const
{
    const QString inputPath = folder.path + QFile::decodeName(nativeName);
    const QString relativeOutput =
        m_options.keepSubfolders ? folder.path.mid(m_root.size()) + outputName : outputName;
    // Paths travel on as text; one that does not survive the trip would name
    // another file, or none.
    if (QFile::encodeName(inputPath) != folder.native + nativeName)
        return {{},
                QStringLiteral("its name, or a folder's above it, is not valid UTF-8 text: "
                               "rename it to convert it"),
                relativeOutput};
    if (!isPlainFileName(outputName))
        return {{},
                QStringLiteral("the image format makes the thumbnail's name a path, not a file "
                               "name: choose another format under Settings"),
                relativeOutput};
    const QString outputPath = outputFilePath(m_view.imageFolderText(), relativeOutput);
    const QString geometry = m_view.widthText() + QLatin1Char('x') + m_view.heightText();
    ConversionJob job;
    job.input = inputPath;
    job.geometry = geometry;
    job.output = outputPath;
    job.format = magickFormatOf(job.outputExtension());
    return {job, QString(), relativeOutput};
}

// The look-ahead's view of the walk: the same steps, without the window.
std::optional<ConversionJob> FolderWalk::nextForeseenJob(VisitingOrder &ahead)
{
    for (;;) {
        switch (ahead.next()) {
        case VisitingOrder::Step::ListedEntry:
        case VisitingOrder::Step::EnteringSubfolder:
            break;
        case VisitingOrder::Step::MatchingEntry: {
            if (isDotEntry(ahead.name()))
                break;
            const QString outputName =
                outputFileName(QFile::decodeName(ahead.name()), m_view.currentFormat());
            const EntryJob entry = jobFor(ahead.folder(), ahead.name(), outputName);
            if (!entry.failureReason.isEmpty() || isUpToDate(entry))
                break;
            if (m_index)
                m_stampsAhead.insert(entry.job.input, FileStamp::ofSettledFile(entry.job.input));
            return entry.job;
        }
        case VisitingOrder::Step::End:
            return std::nullopt;
        }
    }
}
