#pragma once

#include <QByteArray>
#include <QString>

// Built into the tests' worker only. After every conversion that worked it
// puts something else where the window's process takes the thumbnail from, as
// a worker taken over by a document could. LEAFMARK_WORKER_LIE is one of
// "link:<path>" (a symbolic link to path), "folder", "fifo", "huge" (a file
// of 2 GiB that starts like a PNG) and "nothing".
class LyingResult
{
public:
    explicit LyingResult(const QByteArray &setting);

    void replace(const QString &resultPath) const;

private:
    QByteArray m_kind;
    QByteArray m_target;
};
