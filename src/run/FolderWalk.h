#pragma once

#include "protocol/ConversionJob.h"
#include "run/VisitingOrder.h"

#include <QByteArray>
#include <QString>

#include <optional>

class Converter;
class WalkView;

// Walks a folder tree, depth first, converting every entry that matches the
// pattern. One object serves one run.
class FolderWalk
{
public:
    // cancelRequested is read after each entry and before each subfolder; a
    // cancel click sets it at a yield point.
    FolderWalk(WalkView &view, Converter &converter, const bool &cancelRequested);

    void FindFilesAPI(QString path, const QString &SearchStr, qint64 &FileCount);

private:
    // What an entry is converted with, or why it cannot be.
    struct EntryJob
    {
        ConversionJob job;
        QString failureReason;
    };

    void convertEntry(const VisitingOrder::Folder &folder, const QByteArray &nativeName,
                      qint64 &FileCount);
    EntryJob jobFor(const VisitingOrder::Folder &folder, const QByteArray &nativeName,
                    const QString &outputName) const;
    std::optional<ConversionJob> nextForeseenJob(VisitingOrder &ahead) const;

    WalkView &m_view;
    Converter &m_converter;
    const bool &m_cancelRequested;
};
