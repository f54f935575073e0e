#pragma once

#include "protocol/ConversionJob.h"
#include "run/ListingAhead.h"
#include "run/RunOptions.h"
#include "run/ThumbnailIndex.h"
#include "run/VisitingOrder.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

class Converter;
struct ConversionResult;
class WalkView;

// Walks a folder tree, depth first, converting every entry that matches the
// pattern. One object serves one run.
class FolderWalk
{
public:
    // cancelRequested is read after each entry and before each subfolder; a
    // cancel click sets it at a yield point.
    FolderWalk(WalkView &view, Converter &converter, const bool &cancelRequested,
               RunOptions options = {});

    void FindFilesAPI(QString path, const QString &SearchStr, qint64 &FileCount);

private:
    // What an entry is converted with, or why it cannot be.
    struct EntryJob
    {
        ConversionJob job;
        QString failureReason;
        // Under the image folder: the name, after its PDF's folder when
        // subfolders are kept.
        QString relativeOutput;
    };

    void walkTree(VisitingOrder &order, qint64 &FileCount);

    void convertEntry(const VisitingOrder::Folder &folder, const QByteArray &nativeName,
                      qint64 &FileCount);
    EntryJob jobFor(const VisitingOrder::Folder &folder, const QByteArray &nativeName,
                    const QString &outputName) const;
    bool isUpToDate(const EntryJob &entry) const;
    ConversionResult convert(const EntryJob &entry);
    void foreseeFrom(const ConversionJob &job);
    std::optional<ConversionJob> foreseenJob(const ListingAhead::Entry &entry);
    void listAheadForTheTotal();

    WalkView &m_view;
    Converter &m_converter;
    const bool &m_cancelRequested;
    const RunOptions m_options;
    QString m_root;
    std::optional<ThumbnailIndex> m_index;
    std::optional<ListingAhead> m_listing;
    bool m_totalTold = false;
    // The PDFs the look-ahead handed on, as they were before any work on them began.
    QHash<QString, std::optional<FileStamp>> m_stampsAhead;
};
