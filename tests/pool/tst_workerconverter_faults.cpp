#include "support/EventWait.h"
#include "support/WorkerFixture.h"

#include "pool/PreviewDecoder.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QUuid>

#include <atomic>
#include <chrono>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Any process but this one whose environment holds the entry, zombies aside.
bool someProcessHasEnvironment(const QByteArray &entry)
{
    const QString self = QString::number(::getpid());
    QDirIterator processes(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        processes.next();
        if (processes.fileName() == self)
            continue;
        QFile environment(processes.filePath() + QStringLiteral("/environ"));
        if (environment.open(QIODevice::ReadOnly) &&
            environment.readAll().split('\0').contains(entry))
            return true;
    }
    return false;
}

} // namespace

// A worker that crashes, hangs, is missing or finds no Ghostscript.
class WorkerFaultsTest : public QObject, protected WorkerFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startWorker(); }

    void crashingWorker()
    {
        qputenv("LEAFMARK_WORKER_FAULT", "crash:crash-here");
        WorkerConverter converter{QStringLiteral(LEAFMARK_WORKER_PATH)};
        const QString startProblem = converter.start();
        qunsetenv("LEAFMARK_WORKER_FAULT");
        QCOMPARE(startProblem, QString());
        const QString folder = freshFolder();
        const QString crashing = makePdf(folder, QStringLiteral("crash-here.pdf"));
        const QString good = makePdf(folder, QStringLiteral("good.pdf"));

        const ConversionResult crashed =
            converter.Convert(thumbnailJob(crashing, folder + QStringLiteral("/crash-here.png")));
        QCOMPARE(crashed.text, QString());
        QCOMPARE(crashed.failureReason, QStringLiteral("the converter stopped unexpectedly"));
        QVERIFY(converter.Convert(thumbnailJob(good, folder + QStringLiteral("/good.png")))
                    .succeeded());

        qputenv("LEAFMARK_WORKER_FAULT", "crash:crash-here");
        QCOMPARE(converter.start(), QString());
        qunsetenv("LEAFMARK_WORKER_FAULT");
        QVERIFY(writeBytes(folder + QStringLiteral("/crash-here.png"), {}));
        QVERIFY(PreviewDecoder(converter)
                    .decodeImage(folder + QStringLiteral("/crash-here.png"))
                    .isNull());
        QVERIFY(
            !PreviewDecoder(converter).decodeImage(folder + QStringLiteral("/good.png")).isNull());
    }

    // The hang happens in a child of the worker, as in a Ghostscript that never
    // ends; the time limit has to take both down.
    void hangingWorker()
    {
        const QString marker = QStringLiteral("hang-") + QUuid::createUuid().toString(QUuid::Id128);
        const QByteArray setting = "hang:" + marker.toLatin1();
        const QByteArray environmentEntry = "LEAFMARK_WORKER_FAULT=" + setting;
        qputenv("LEAFMARK_WORKER_FAULT", setting);
        WorkerConverter converter{QStringLiteral(LEAFMARK_WORKER_PATH)};
        converter.setTimeLimit(3s);
        const QString startProblem = converter.start();
        qunsetenv("LEAFMARK_WORKER_FAULT");
        QCOMPARE(startProblem, QString());
        const QString folder = freshFolder();
        const QString hanging = makePdf(folder, marker + QStringLiteral(".pdf"));
        const QString good = makePdf(folder, QStringLiteral("good.pdf"));

        std::atomic<bool> returned = false;
        std::atomic<bool> hungProcessSeen = false;
        std::thread watcher([&] {
            EventWait::pollUntil([&] {
                hungProcessSeen = someProcessHasEnvironment(environmentEntry);
                return hungProcessSeen || returned;
            });
        });
        QElapsedTimer clock;
        clock.start();
        const ConversionResult hung =
            converter.Convert(thumbnailJob(hanging, folder + QLatin1Char('/') + marker + ".png"));
        const qint64 elapsed = clock.elapsed();
        returned = true;
        watcher.join();

        QCOMPARE(hung.text, QString());
        QCOMPARE(hung.failureReason, QStringLiteral("time limit reached"));
        // Not before the limit; how long after it depends on the machine.
        QVERIFY2(elapsed >= 3000, qPrintable(QString::number(elapsed)));
        QVERIFY(hungProcessSeen);
        QTRY_VERIFY_WITH_TIMEOUT(!someProcessHasEnvironment(environmentEntry),
                                 EventWait::CeilingMs);
        // The good document is not a race against the limit on a loaded machine.
        converter.setTimeLimit(std::chrono::milliseconds(EventWait::CeilingMs));
        QVERIFY(converter.Convert(thumbnailJob(good, folder + QStringLiteral("/good.png")))
                    .succeeded());
    }

    void workerProgramMissing()
    {
        const QString path = m_root.filePath(QStringLiteral("nowhere/leafmark-worker"));
        WorkerConverter converter(path);

        const QString problem = converter.start();

        QVERIFY2(problem.contains(path) && problem.contains(QLatin1String("not found")),
                 qPrintable(problem));
        const QString folder = freshFolder();
        const ConversionResult result = converter.Convert(thumbnailJob(
            makePdf(folder, QStringLiteral("a.pdf")), folder + QStringLiteral("/a.png")));
        QCOMPARE(result.text, QString());
        QCOMPARE(result.failureReason, problem);

        // What fails before rendering is judged without a worker.
        QFile empty(folder + QStringLiteral("/empty.pdf"));
        QFile script(folder + QStringLiteral("/script.pdf"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        QVERIFY(script.open(QIODevice::WriteOnly) && script.write("%!PS\n%PDF-1.4\n") > 0);
        script.close();
        const auto reasonFor = [&](const QString &name) {
            return converter
                .Convert(thumbnailJob(folder + QLatin1Char('/') + name,
                                      folder + QStringLiteral("/out.png")))
                .failureReason;
        };
        QCOMPARE(reasonFor(QStringLiteral("empty.pdf")),
                 QStringLiteral("not a PDF or damaged: the file is empty"));
        QCOMPARE(reasonFor(QStringLiteral("script.pdf")),
                 QStringLiteral("not a PDF or damaged: it does not start like a PDF"));
        QCOMPARE(reasonFor(QStringLiteral("missing.pdf")),
                 QStringLiteral("cannot read the PDF: No such file or directory"));
    }

    // Without Ghostscript no PDF can be read, but the preview can still decode.
    void ghostscriptMissing()
    {
        const QString folder = freshFolder();
        const QString pdf = makePdf(folder, QStringLiteral("page.pdf"));
        QVERIFY(m_converter.Convert(thumbnailJob(pdf, folder + QStringLiteral("/page.png")))
                    .succeeded());
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(folder));
        WorkerConverter converter{QStringLiteral(LEAFMARK_WORKER_PATH)};
        const QString problem = converter.start();
        qputenv("PATH", path);

        QVERIFY2(problem.contains(QLatin1String("Ghostscript")), qPrintable(problem));
        const ConversionResult result =
            converter.Convert(thumbnailJob(pdf, folder + QStringLiteral("/again.png")));
        QCOMPARE(result.text, QString());
        QCOMPARE(result.failureReason, problem);
        QCOMPARE(PreviewDecoder(converter).decodeImage(folder + QStringLiteral("/page.png")).width,
                 88);
    }
};

QTEST_MAIN(WorkerFaultsTest)
#include "tst_workerconverter_faults.moc"
