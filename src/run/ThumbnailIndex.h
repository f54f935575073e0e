#pragma once

#include "protocol/ConversionJob.h"
#include "run/FileStamp.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// Which thumbnails in an image folder were made from which PDF with which
// inputs, kept in a small file in that folder so that it serves every output
// format alike. An index that cannot be read as this program writes it is
// taken as empty: at worst everything is converted again.
class ThumbnailIndex
{
public:
    static const QString FileName;

    explicit ThumbnailIndex(QString imageFolder);

    // The thumbnail at relativeOutput (under the image folder) was made from
    // the job's input with its geometry and format, and neither file has
    // changed since.
    bool isUpToDate(const QString &relativeOutput, const ConversionJob &job) const;
    // The job just wrote its thumbnail; pdfBefore is the PDF as it was before
    // the conversion began. A PDF that changed meanwhile is not recorded.
    void record(const QString &relativeOutput, const ConversionJob &job,
                const std::optional<FileStamp> &pdfBefore);
    void forget(const QString &relativeOutput);

    // Replaces the index file in one step, when anything changed.
    void save() const;

private:
    struct Thumbnail
    {
        FileStamp stamp;
        QByteArray digest;
        bool operator==(const Thumbnail &) const = default;
    };
    struct Record
    {
        QString pdf;
        FileStamp pdfStamp;
        Thumbnail thumbnail;
        QString geometry;
        QString format;
    };

    static std::optional<Thumbnail> thumbnailAt(const QString &path);
    void load();
    QString indexPath() const;

    QString m_imageFolder;
    QHash<QString, Record> m_records;
    bool m_changed = false;
};
