#include "run/FolderWalk.h"

#include "run/Converter.h"
#include "run/OutputPath.h"
#include "run/ThumbnailJob.h"
#include "run/WalkView.h"
#include "settings/FormatTable.h"

#include <QFile>

namespace {

// How far the listing ahead goes on after each entry the walk handles, for
// the run's total: it reaches the end of the tree long before the walk, yet
// never holds up an entry by more than a moment.
constexpr int stepsAheadPerEntry = 128;

// Whatever the converter did ahead ends with the walk.
class LookAheadScope
{
public:
    explicit LookAheadScope(Converter &converter) : m_converter(converter) {}
    ~LookAheadScope() { m_converter.foresee({}); }
    LookAheadScope(const LookAheadScope &) = delete;
    LookAheadScope &operator=(const LookAheadScope &) = delete;

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
    m_listing.emplace(path, SearchStr);
    {
        const LookAheadScope lookAhead(m_converter);
        walkTree(order, FileCount);
    }
    // A walk that went to its end handled the whole tree.
    if (!m_cancelRequested && !m_totalTold)
        m_view.runTotalKnown(FileCount);
    if (m_index)
        m_index->save();
}

void FolderWalk::walkTree(VisitingOrder &order, qint64 &FileCount)
{
    for (;;) {
        // Step for step, the listing ahead is never behind the walk.
        m_listing->listOn(1);
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

    m_listing->passTo(folder.native + nativeName);
    const EntryJob entry = jobFor(folder, nativeName, outputName);
    m_view.describeResultRow(FileCount, folder.path + QFile::decodeName(nativeName),
                             entry.relativeOutput);
    if (isUpToDate(entry)) {
        m_view.yieldPoint();
        m_view.markUpToDateRow(FileCount);
    } else {
        const ConversionResult result = convert(entry);
        m_view.yieldPoint();
        m_view.markResultRow(FileCount, result.succeeded(), result.failureReason);
    }
    listAheadForTheTotal();
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
    foreseeFrom(entry.job);
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
    return {thumbnailJob(inputPath, outputPath, geometry), QString(), relativeOutput};
}

// The converter is told the entry in hand and the next ones that need
// converting, as many as it works on ahead. A job is made once for the inputs
// of the moment: a format chosen since makes them anew.
void FolderWalk::foreseeFrom(const ConversionJob &job)
{
    const qsizetype wanted = m_converter.jobsAhead();
    if (wanted == 0)
        return;
    std::vector<ConversionJob> upcoming{job};
    const QString inputs = m_view.currentFormat() + QLatin1Char('\n') + job.geometry +
                           QLatin1Char('\n') + m_view.imageFolderText();
    std::deque<ListingAhead::Entry> &entries = m_listing->entries();
    for (size_t next = 0; qsizetype(upcoming.size()) < wanted; ++next) {
        if (next == entries.size() && !m_listing->listOneMore())
            break;
        ListingAhead::Entry &entry = entries[next];
        if (entry.madeWith != inputs) {
            entry.job = foreseenJob(entry);
            entry.madeWith = inputs;
        }
        if (entry.job)
            upcoming.push_back(*entry.job);
    }
    m_converter.foresee(upcoming);
}

// Nothing to convert ahead for an entry that fails or is up to date. The PDF
// is stamped before any work on it begins.
std::optional<ConversionJob> FolderWalk::foreseenJob(const ListingAhead::Entry &entry)
{
    const QString outputName =
        outputFileName(QFile::decodeName(entry.name), m_view.currentFormat());
    const EntryJob foreseen = jobFor(entry.folder, entry.name, outputName);
    if (!foreseen.failureReason.isEmpty() || isUpToDate(foreseen))
        return std::nullopt;
    if (m_index && !m_stampsAhead.contains(foreseen.job.input))
        m_stampsAhead.insert(foreseen.job.input, FileStamp::ofSettledFile(foreseen.job.input));
    return foreseen.job;
}

void FolderWalk::listAheadForTheTotal()
{
    if (m_totalTold)
        return;
    m_listing->listOn(stepsAheadPerEntry);
    if (const std::optional<qint64> total = m_listing->total()) {
        m_totalTold = true;
        m_view.runTotalKnown(*total);
    }
}
