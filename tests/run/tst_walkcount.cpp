#include "run/FolderWalk.h"
#include "support/FakeConverter.h"
#include "support/FakeWalkView.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Apart from the walk's other tests: making forty thousand files takes a while.
class TestWalkCount : public QObject
{
    Q_OBJECT

private slots:
    void countGoesPastSixteenBits()
    {
        QTemporaryDir root;
        const int files = 40000;
        for (int folder = 0; folder < 4; ++folder) {
            const QString path = root.path() + QStringLiteral("/f%1/").arg(folder);
            QVERIFY(QDir().mkpath(path));
            for (int i = 0; i < files / 4; ++i)
                QVERIFY(QFile(path + QStringLiteral("%1.pdf").arg(i)).open(QIODevice::WriteOnly));
        }
        FakeWalkView view;
        FakeConverter converter;
        qint64 fileCount = 0;
        FolderWalk(view, converter, view.cancel)
            .FindFilesAPI(root.path(), QStringLiteral("*.pdf"), fileCount);
        QCOMPARE(fileCount, files);
        QCOMPARE(view.rows.size(), files);
        // The listing ahead of the walk counted the same tree.
        QCOMPARE(view.total, files);
    }
};

QTEST_GUILESS_MAIN(TestWalkCount)
#include "tst_walkcount.moc"
