#pragma once

#include "protocol/ConversionJob.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// What tells a file from any other and from itself before a change: a write
// moves the modification time, and anything else done to it (a rename over
// it, a hand-set modification time) moves the change time, which no user can
// set back.
struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    // Follows links, as reading the PDF does. None for a file changed so
    // recently that a change within the clock's granularity could leave its
    // times as they are.
    static std::optional<FileStamp> ofSettledFile(const QString &path);
    static std::optional<FileStamp> ofFile(const QString &path);

    bool operator==(const FileStamp &) const = default;
};

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
