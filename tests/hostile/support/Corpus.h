#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The tables that make_corpus.py writes beside the files it makes.
namespace Corpus {

QString root();
QString documents();
QString names();

struct Document
{
    QString name; // relative to documents()
    QString mark; // "green", "red", "any" or "sound"
    QString what;
    int pageWidth = 0;  // points
    int pageHeight = 0; // points
};
QList<Document> documentTable();

struct NamedFile
{
    QString kind;       // "pdf", "pdf-or-red", "red", "unreadable", "cycle"
    QByteArray path;    // relative to names(), as bytes
    int pageWidth = 0;  // points
    int pageHeight = 0; // points
};
QList<NamedFile> nameTable();

// Files that hostile documents try to create.
QStringList markers();

} // namespace Corpus
