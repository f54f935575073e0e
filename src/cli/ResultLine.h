#pragma once

#include <QByteArray>
#include <QString>

// One PDF's line on standard output, in visiting order. Tab-separated fields
// (status, PDF path, thumbnail path, reason) that a shell's `cut` or `read`
// splits; a field holding a tab, a line break or a leading quote is written in
// double quotes with C escapes, so that every line stays one record. As JSON,
// one object per line with the same fields.
struct ResultLine
{
    enum class Status { Ok, Failed, Skipped };

    Status status = Status::Ok;
    QString pdfPath;
    QString thumbnailPath;
    QString reason;

    QByteArray tabSeparated() const;
    QByteArray json() const;
};
