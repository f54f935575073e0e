#include "WorkerFixture.h"

#include "TestFiles.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

void WorkerFixture::startWorker()
{
    QVERIFY(m_root.isValid());
    // The worker takes its umask from us when it starts.
    ::umask(022);
    QCOMPARE(m_converter.start(), QString());
}

QString WorkerFixture::freshFolder()
{
    const QString folder = m_root.filePath(QString::number(++m_folderCount));
    return QDir().mkpath(folder) ? folder : QString();
}

QString WorkerFixture::makePdf(const QString &folder, const QString &name, QSizeF page)
{
    const QString path = folder + QLatin1Char('/') + name;
    return writePdf(path, 1, page) ? path : QString();
}
