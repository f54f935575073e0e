// The whole corpus of bad documents through the real window and the real
// worker, in one run, as a user pointing the program at a downloads folder.

#include "pool/PreviewDecoder.h"
#include "pool/WorkerConverter.h"
#include "settings/FormatTable.h"
#include "settings/rutines.h"
#include "support/Corpus.h"
#include "support/EventWait.h"
#include "support/FolderSnapshot.h"
#include "support/ProcessList.h"
#include "support/RecordingConverter.h"
#include "support/TestFiles.h"
#include "support/WindowFixture.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr auto timeLimit = 5s;

enum class Mark { None, Green, Red };

Mark markOf(const QTableWidgetItem *row)
{
    const auto imageOf = [](const QIcon &icon) { return icon.pixmap(16).toImage(); };
    const QImage shown = imageOf(row->icon());
    if (shown == imageOf(Appearance::checkIcon()))
        return Mark::Green;
    if (shown == imageOf(Appearance::crossIcon()))
        return Mark::Red;
    return Mark::None;
}

const char *nameOf(Mark mark)
{
    return mark == Mark::Green ? "green" : mark == Mark::Red ? "red" : "none";
}

QSize thumbnailFor(int pageWidth, int pageHeight)
{
    return QSize(88, qRound(88.0 * pageHeight / pageWidth));
}

// The window's process at its most since the last call, for the log.
qint64 peakResidentKiBSinceLast()
{
    QFile status(QStringLiteral("/proc/self/status"));
    qint64 peak = -1;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                peak = line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return peak;
}

QString fileName(const QString &relative)
{
    return relative.mid(relative.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

class TestHostileDocuments : public QObject, protected WindowFixture
{
    Q_OBJECT

    QTemporaryDir m_output;

private slots:
    void initTestCase()
    {
        QFile::remove(settingsFilePath());
        for (const QString &marker : Corpus::markers())
            QFile::remove(marker);
    }
    void cleanupTestCase() { QFile::remove(settingsFilePath()); }
    void cleanup() { m_window.reset(); }

    void everyDocumentGetsItsRowAndMark();
    void twoThousandPagesCostAboutAsMuchAsOne();
    void hugePageUnderTheUsualTimeLimit();
    void aLyingWorkerReachesNothing_data();
    void aLyingWorkerReachesNothing();
};

void TestHostileDocuments::everyDocumentGetsItsRowAndMark()
{
    WorkerConverter worker(QStringLiteral(LEAFMARK_WORKER_PATH));
    worker.setTimeLimit(timeLimit);
    RecordingConverter converter(worker);
    // Each worker runs in a process group of its own with the Ghostscript it
    // starts; none of them may outlive the conversion that ended it, nor the
    // run that had workers converting ahead.
    QSet<pid_t> groups;
    converter.beforeConvert = [&](const ConversionJob &) {
        const QList<pid_t> workers =
            ProcessList::childrenRunning(::getpid(), QStringLiteral(LEAFMARK_WORKER_PATH));
        groups.unite(QSet<pid_t>(workers.begin(), workers.end()));
    };
    const auto groupMembersBesidesWorkers = [&] {
        QList<pid_t> members;
        for (const pid_t group : std::as_const(groups))
            members += ProcessList::sessionMembers(group);
        for (const pid_t group : std::as_const(groups))
            members.removeAll(group);
        return members;
    };

    PreviewDecoder decoder(worker);
    openWindow(converter, decoder);
    loadAndShow();
    fillInputs(Corpus::documents(), m_output.path());

    QElapsedTimer clock;
    clock.start();
    clickConvert();
    const qint64 runMs = clock.elapsed();

    const QList<Corpus::Document> documents = Corpus::documentTable();
    QCOMPARE(status()->text(), QStringLiteral("Done. %1 PDF files found...").arg(documents.size()));
    QVERIFY(convert()->isEnabled());
    QCOMPARE(convert()->text(), QStringLiteral("Create thumbnails"));
    QVERIFY(MessageBox::takeRecorded().isEmpty());

    QTableWidget *results = this->results();
    QCOMPARE(results->rowCount(), documents.size());
    QHash<QString, QTableWidgetItem *> rows;
    for (int i = 0; i < results->rowCount(); ++i)
        rows.insert(results->item(i, 0)->text(), results->item(i, 0));

    QStringList expectedOutputs;
    for (const Corpus::Document &document : documents) {
        const QString outputName = outputFileName(fileName(document.name), QStringLiteral("png"));
        const QString output = m_output.path() + QLatin1Char('/') + outputName;
        QTableWidgetItem *row = rows.value(outputName);
        QVERIFY2(row, qPrintable(document.name));
        const Mark mark = markOf(row);
        const QString where =
            QStringLiteral("%1 (%2): %3 %4")
                .arg(document.name, document.what, QLatin1String(nameOf(mark)), row->toolTip());
        qInfo("%s", qPrintable(where));
        if (document.mark == QLatin1String("any"))
            QVERIFY2(mark != Mark::None, qPrintable(where));
        else
            QVERIFY2(QLatin1String(nameOf(mark)) == document.mark, qPrintable(where));

        if (mark == Mark::Green) {
            expectedOutputs.append(outputName);
            QCOMPARE(sniffFormat(output), QStringLiteral("PNG"));
            QCOMPARE(QImageReader(output).size(),
                     thumbnailFor(document.pageWidth, document.pageHeight));
            QVERIFY2(!row->toolTip().contains('\n'), qPrintable(where));
        } else {
            QVERIFY2(!QFileInfo::exists(output), qPrintable(where));
            QVERIFY2(row->toolTip().contains('\n'), qPrintable(where));
        }
    }
    expectedOutputs.sort();
    QCOMPARE(QDir(m_output.path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                            QDir::Name),
             expectedOutputs);

    for (const QString &marker : Corpus::markers())
        QVERIFY2(!QFileInfo::exists(marker), qPrintable(marker));
    QVERIFY(groups.size() >= 1);
    QTRY_VERIFY_WITH_TIMEOUT(groupMembersBesidesWorkers().isEmpty(), EventWait::CeilingMs);

    const qint64 limitMs = std::chrono::milliseconds(timeLimit).count();
    for (const RecordingConverter::Call &call : std::as_const(converter.calls))
        QVERIFY2(
            call.milliseconds < limitMs + EventWait::CeilingMs,
            qPrintable(QStringLiteral("%1 took %2 ms").arg(call.input()).arg(call.milliseconds)));
    const RecordingConverter::Call *longRender =
        converter.callFor(QStringLiteral("long-render.pdf"));
    QVERIFY(longRender);
    QCOMPARE(longRender->result.failureReason, QStringLiteral("time limit reached"));
    // It may have started ahead of the walk: the limit shows in the whole run.
    QVERIFY(runMs >= limitMs);
    qInfo("the whole run took %lld ms for %lld files", runMs, qint64(documents.size()));

    // The worker that the limit replaced converts as before.
    box("txtPDFfolder")->setText(Corpus::documents() + QStringLiteral("/old.pdf"));
    clickConvert();
    QCOMPARE(markOf(results->item(0, 0)), Mark::Green);
}

// Only page 1 is rendered; the rest of a long document may cost reading it,
// not rendering it. The two are timed in turn and the quickest of each taken,
// so that a burst of load on the machine falls on both or on neither.
void TestHostileDocuments::twoThousandPagesCostAboutAsMuchAsOne()
{
    WorkerConverter worker(QStringLiteral(LEAFMARK_WORKER_PATH));
    QCOMPARE(worker.start(), QString());
    const auto timedMs = [&](const QString &name) {
        QElapsedTimer clock;
        clock.start();
        const ConversionResult result =
            worker.Convert(thumbnailJob(Corpus::documents() + QLatin1Char('/') + name,
                                        m_output.filePath(QStringLiteral("timed.png"))));
        return result.succeeded() ? clock.elapsed() : -1;
    };
    qint64 onePage = std::numeric_limits<qint64>::max();
    qint64 manyPages = std::numeric_limits<qint64>::max();
    for (int i = 0; i < 3; ++i) {
        onePage = std::min(onePage, timedMs(QStringLiteral("one-page.pdf")));
        manyPages = std::min(manyPages, timedMs(QStringLiteral("2000-pages.pdf")));
    }
    qInfo("page 1 of a 1-page PDF: %lld ms; of a 2,000-page PDF: %lld ms", onePage, manyPages);
    QVERIFY(onePage > 0);
    QVERIFY(manyPages > 0);
    QVERIFY2(manyPages < 4 * onePage + 1000,
             qPrintable(QStringLiteral("%1 ms against %2 ms").arg(manyPages).arg(onePage)));
}

// Whatever a page of 200 x 200 inches gives under the time limit the program
// really uses, it is a thumbnail of that page or a clean failure, and the
// worker goes on.
void TestHostileDocuments::hugePageUnderTheUsualTimeLimit()
{
    WorkerConverter worker(QStringLiteral(LEAFMARK_WORKER_PATH));
    QCOMPARE(worker.start(), QString());
    const QString output = m_output.filePath(QStringLiteral("huge-page.png"));
    QFile::remove(output);
    QElapsedTimer clock;
    clock.start();
    const ConversionResult result = worker.Convert(
        thumbnailJob(Corpus::documents() + QStringLiteral("/huge-page.pdf"), output));
    qInfo("200 x 200 inches: %s after %lld ms",
          qPrintable(result.succeeded() ? QStringLiteral("thumbnail") : result.failureReason),
          clock.elapsed());
    if (result.succeeded()) {
        QCOMPARE(QImageReader(output).size(), QSize(88, 88));
    } else {
        QVERIFY(!QFileInfo::exists(output));
        // The document is sound; only its page is too large to render here.
        QVERIFY2(!result.failureReason.startsWith(QLatin1String("not a PDF or damaged")),
                 qPrintable(result.failureReason));
    }
    QVERIFY(worker
                .Convert(thumbnailJob(Corpus::documents() + QStringLiteral("/one-page.pdf"),
                                      m_output.filePath(QStringLiteral("after-huge.png"))))
                .succeeded());
}

void TestHostileDocuments::aLyingWorkerReachesNothing_data()
{
    QTest::addColumn<QByteArray>("lie");
    // ppm: a format whose content is not checked.
    QTest::addColumn<QString>("format");
    const QString png = QStringLiteral("png");
    QTest::newRow("link to a picture at home") << QByteArray("link:HOME/holiday.png") << png;
    QTest::newRow("link to a folder at home") << QByteArray("link:HOME/Projects") << png;
    QTest::newRow("link to a device") << QByteArray("link:/dev/zero") << png;
    QTest::newRow("link to its own environment")
        << QByteArray("link:/proc/self/environ") << QStringLiteral("ppm");
    QTest::newRow("folder") << QByteArray("folder") << png;
    QTest::newRow("named pipe") << QByteArray("fifo") << png;
    QTest::newRow("1 GiB") << QByteArray("huge") << png;
    QTest::newRow("255 MiB, sparse") << QByteArray("sparse:255") << png;
    QTest::newRow("nothing") << QByteArray("nothing") << png;
    QTest::newRow("done twice") << QByteArray("twice") << png;
    QTest::newRow("done for another request") << QByteArray("another") << png;
    QTest::newRow("flood of replies") << QByteArray("flood") << png;
    QTest::newRow("reason of 16 million characters") << QByteArray("reason:16") << png;
    QTest::newRow("flood of error output") << QByteArray("stderr:4") << png;
    QTest::newRow("reason naming its scratch folder") << QByteArray("scratch") << png;
}

// Whatever a worker taken over by a document leaves where its thumbnail
// should be or says beyond its reply, the window's process gives the row a
// red cross and a short reason, moves, deletes and follows nothing, and the
// run ends; the other document, sent to the same worker, gets its thumbnail.
void TestHostileDocuments::aLyingWorkerReachesNothing()
{
    QFETCH(QByteArray, lie);
    QFETCH(QString, format);
    QTemporaryDir home;
    QTemporaryDir pdfs;
    QTemporaryDir output;
    QVERIFY(
        QImage(88, 120, QImage::Format_RGB32).save(home.filePath(QStringLiteral("holiday.png"))));
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("Projects/leafmark")));
    QVERIFY(writePdf(pdfs.filePath(QStringLiteral("holiday.pdf"))));
    QVERIFY(writePdf(pdfs.filePath(QStringLiteral("honest.pdf"))));
    const FolderSnapshot before = snapshotOf(home.path());
    const FolderSnapshot projectsBefore = snapshotOf(home.filePath(QStringLiteral("Projects")));

    qputenv("LEAFMARK_WORKER_LIE", lie.replace("HOME", QFile::encodeName(home.path())));
    const auto unset = qScopeGuard([] { qunsetenv("LEAFMARK_WORKER_LIE"); });
    WorkerConverter worker(QStringLiteral(LEAFMARK_PROBE_WORKER_PATH));
    worker.setTimeLimit(timeLimit);
    PreviewDecoder decoder(worker);
    openWindow(worker, decoder);
    loadAndShow();
    CurrentFormat = format;
    fillInputs(pdfs.path(), output.path());
    peakResidentKiBSinceLast();
    clickConvert();
    qInfo("the window's process at most %lld KiB", peakResidentKiBSinceLast());

    QCOMPARE(status()->text(), QStringLiteral("Done. 2 PDF files found..."));
    const QString honest = outputFileName(QStringLiteral("honest.pdf"), format);
    for (int row = 0; row < 2; ++row) {
        const QTableWidgetItem *item = results()->item(row, 0);
        qInfo("%s: %s", qPrintable(item->text()), qPrintable(item->toolTip().left(200)));
        QCOMPARE(markOf(item), item->text() == honest ? Mark::Green : Mark::Red);
        QVERIFY(item->toolTip().size() <= 4096);
        QVERIFY2(!item->toolTip().contains(QLatin1String("leafmark-scratch-")),
                 qPrintable(item->toolTip()));
    }
    QCOMPARE(QDir(output.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList(honest));
    QCOMPARE(snapshotOf(home.path()), before);
    QCOMPARE(snapshotOf(home.filePath(QStringLiteral("Projects"))), projectsBefore);
}

QTEST_MAIN(TestHostileDocuments)
#include "tst_hostiledocuments.moc"
