#include "run/ThumbnailIndex.h"

#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Header = QByteArrayLiteral("leafmark thumbnail index 1");
// Far beyond the records of any library: a bigger file is not ours.
constexpr qint64 MaxIndexSize = 64 * 1024 * 1024;
constexpr qint64 MaxThumbnailSize = 256 * 1024 * 1024;
constexpr int FieldCount = 16;

QByteArray encoded(const QString &text)
{
    return text.toUtf8().toPercentEncoding();
}

QString decoded(const QByteArray &field)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(field));
}

QList<QByteArray> stampFields(const FileStamp &stamp)
{
    return {QByteArray::number(stamp.device), QByteArray::number(stamp.inode),
            QByteArray::number(stamp.size), QByteArray::number(stamp.modifiedNs),
            QByteArray::number(stamp.changedNs)};
}

std::optional<FileStamp> parseStamp(const QList<QByteArray> &fields, int first)
{
    bool ok[5];
    const FileStamp stamp{fields[first].toULongLong(&ok[0]), fields[first + 1].toULongLong(&ok[1]),
                          fields[first + 2].toLongLong(&ok[2]),
                          fields[first + 3].toLongLong(&ok[3]),
                          fields[first + 4].toLongLong(&ok[4])};
    for (const bool fieldOk : ok)
        if (!fieldOk)
            return std::nullopt;
    return stamp;
}

} // namespace

const QString ThumbnailIndex::FileName = QStringLiteral(".leafmark.index");

ThumbnailIndex::ThumbnailIndex(QString imageFolder) : m_imageFolder(std::move(imageFolder))
{
    load();
}

QString ThumbnailIndex::indexPath() const
{
    return m_imageFolder + QLatin1Char('/') + FileName;
}

// The thumbnail's own stamp, without following a link, and its digest: the
// thumbnail was stamped the moment it was written, so only its bytes tell an
// edit made within the same tick of the file clock.
std::optional<ThumbnailIndex::Thumbnail> ThumbnailIndex::thumbnailAt(const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    const std::optional<FileStamp> stamp = FileStamp::ofDescriptor(fd);
    if (!stamp || stamp->size > MaxThumbnailSize ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    QCryptographicHash digest(QCryptographicHash::Sha256);
    if (!digest.addData(&file) || file.pos() != stamp->size)
        return std::nullopt;
    return Thumbnail{*stamp, digest.result()};
}

bool ThumbnailIndex::isUpToDate(const QString &relativeOutput, const ConversionJob &job) const
{
    const auto found = m_records.constFind(relativeOutput);
    if (found == m_records.cend())
        return false;
    const Record &record = *found;
    return record.pdf == job.input && record.geometry == job.geometry &&
           record.format == job.format && FileStamp::ofFile(job.input) == record.pdfStamp &&
           thumbnailAt(job.output) == record.thumbnail;
}

void ThumbnailIndex::record(const QString &relativeOutput, const ConversionJob &job,
                            const std::optional<FileStamp> &pdfBefore)
{
    const std::optional<Thumbnail> thumbnail = thumbnailAt(job.output);
    if (!pdfBefore || FileStamp::ofFile(job.input) != pdfBefore || !thumbnail) {
        forget(relativeOutput);
        return;
    }
    m_records.insert(relativeOutput, {job.input, *pdfBefore, *thumbnail, job.geometry, job.format});
    m_changed = true;
}

void ThumbnailIndex::forget(const QString &relativeOutput)
{
    m_changed = m_records.remove(relativeOutput) || m_changed;
}

void ThumbnailIndex::load()
{
    const int fd = ::open(QFile::encodeName(indexPath()).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    QFile file;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > MaxIndexSize ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
    const QList<QByteArray> lines = file.read(MaxIndexSize).split('\n');
    if (lines.first() != Header)
        return;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const QList<QByteArray> fields = lines[i].split('\t');
        const bool whole = fields.size() == FieldCount && fields.last() == "end";
        const std::optional<FileStamp> pdfStamp = whole ? parseStamp(fields, 2) : std::nullopt;
        const std::optional<FileStamp> thumbStamp = pdfStamp ? parseStamp(fields, 7) : std::nullopt;
        const QByteArray digest = thumbStamp ? QByteArray::fromHex(fields[12]) : QByteArray();
        if (digest.size() != 32) {
            m_records.clear();
            return;
        }
        m_records.insert(decoded(fields[0]), {decoded(fields[1]),
                                              *pdfStamp,
                                              {*thumbStamp, digest},
                                              decoded(fields[13]),
                                              decoded(fields[14])});
    }
}

void ThumbnailIndex::save() const
{
    if (!m_changed)
        return;
    QByteArray text = Header + '\n';
    for (auto record = m_records.cbegin(); record != m_records.cend(); ++record) {
        QList<QByteArray> fields{encoded(record.key()), encoded(record->pdf)};
        fields += stampFields(record->pdfStamp);
        fields += stampFields(record->thumbnail.stamp);
        fields += {record->thumbnail.digest.toHex(), encoded(record->geometry),
                   encoded(record->format), QByteArrayLiteral("end")};
        text += fields.join('\t') + '\n';
    }
    QSaveFile file(indexPath());
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size())
        file.commit();
}
