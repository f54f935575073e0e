#pragma once

#include "run/WorkerConverter.h"

#include <QSizeF>
#include <QStringList>
#include <QTemporaryDir>

inline const QSizeF portraitA4(595, 842);
inline const QSizeF landscapeA4(842, 595);

// Every entry of the folder, hidden ones too, by name.
QStringList entriesOf(const QString &folder);

// One real worker for all the cases of a test, and a folder of its own for
// each case.
class WorkerFixture
{
protected:
    QTemporaryDir m_root;
    WorkerConverter m_converter{QStringLiteral(LEAFMARK_WORKER_PATH)};

    void startWorker();
    QString freshFolder();
    QString makePdf(const QString &folder, const QString &name, QSizeF page = portraitA4);

private:
    int m_folderCount = 0;
};
