#include "pool/HeldThumbnails.h"

#include "pool/OrphanedScratch.h"

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>

HeldThumbnails::HeldThumbnails()
    : m_folder(std::make_unique<QTemporaryDir>(OrphanedScratch::folderTemplate()))
{
}

HeldThumbnails::~HeldThumbnails() = default;

QString HeldThumbnails::take(const QString &finishedFile, const QString &extension,
                             QString *problem)
{
    const QString held =
        m_folder->filePath(QString::number(++m_count) + QLatin1Char('.') + extension);
    if (::rename(QFile::encodeName(finishedFile).constData(), QFile::encodeName(held).constData()) ==
        0)
        return held;
    *problem = QStringLiteral("could not take the thumbnail from the converter: %1")
                   .arg(qt_error_string(errno));
    return QString();
}

void HeldThumbnails::release(const QString &held)
{
    if (!held.isEmpty())
        QFile::remove(held);
}
