#pragma once

#include "pool/PreviewDecoder.h"
#include "pool/WorkerConverter.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QSizeF>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

inline const QSizeF portraitA4(595, 842);
inline const QSizeF landscapeA4(842, 595);

// Every entry of the folder, hidden ones too, by name.
inline QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

// One real worker for all the cases of a test, and a folder of its own for
// each case.
class WorkerFixture
{
protected:
    QTemporaryDir m_root;
    WorkerConverter m_converter{QStringLiteral(LEAFMARK_WORKER_PATH)};
    PreviewDecoder m_decoder{m_converter};

    void startWorker()
    {
        QVERIFY(m_root.isValid());
        // The worker takes its umask from us when it starts.
        ::umask(022);
        QCOMPARE(m_converter.start(), QString());
    }
    QString freshFolder()
    {
        const QString folder = m_root.filePath(QString::number(++m_folderCount));
        return QDir().mkpath(folder) ? folder : QString();
    }
    QString makePdf(const QString &folder, const QString &name, QSizeF page = portraitA4)
    {
        const QString path = folder + QLatin1Char('/') + name;
        return writePdf(path, 1, page) ? path : QString();
    }

private:
    int m_folderCount = 0;
};
