#include "Corpus.h"

#include <QFile>

namespace {

QList<QList<QByteArray>> rowsOf(const QString &table)
{
    QList<QList<QByteArray>> rows;
    QFile file(Corpus::root() + QLatin1Char('/') + table);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("the corpus has no %s: did the corpus fixture run?", qPrintable(table));
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            rows.append(line.split('\t'));
    }
    return rows;
}

} // namespace

namespace Corpus {

QString root()
{
    return QStringLiteral(LEAFMARK_CORPUS_DIR);
}

QString documents()
{
    return root() + QStringLiteral("/documents");
}

QString names()
{
    return root() + QStringLiteral("/names");
}

QList<Document> documentTable()
{
    QList<Document> documents;
    for (const QList<QByteArray> &row : rowsOf(QStringLiteral("documents.tsv")))
        documents.append({QString::fromUtf8(row.value(0)), QString::fromUtf8(row.value(1)),
                          QString::fromUtf8(row.value(2)), row.value(3).toInt(),
                          row.value(4).toInt()});
    return documents;
}

QList<NamedFile> nameTable()
{
    QList<NamedFile> files;
    for (const QList<QByteArray> &row : rowsOf(QStringLiteral("names.tsv")))
        files.append({QString::fromUtf8(row.value(0)), QByteArray::fromHex(row.value(1)),
                      row.value(2).toInt(), row.value(3).toInt()});
    return files;
}

QStringList markers()
{
    QStringList paths;
    for (const QList<QByteArray> &row : rowsOf(QStringLiteral("markers.txt")))
        paths.append(QFile::decodeName(row.value(0)));
    return paths;
}

} // namespace Corpus
