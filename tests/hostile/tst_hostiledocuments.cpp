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
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Only a fault meets the limit: no document here may need it, however slow
// or loaded the machine.
constexpr std::chrono::milliseconds timeLimit(EventWait::CeilingMs);

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
    void twoThousandPagesRenderOnlyTheFirst();
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

    clickConvert();

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
        else if (document.mark == QLatin1String("sound"))
            // Only its page may be too large to render here.
            QVERIFY2(mark == Mark::Green ||
                         (mark == Mark::Red && !row->toolTip().section('\n', 1).startsWith(
                                                   QLatin1String("not a PDF or damaged"))),
                     qPrintable(where));
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

    // After all that, the workers convert as before.
    box("txtPDFfolder")->setText(Corpus::documents() + QStringLiteral("/old.pdf"));
    clickConvert();
    QCOMPARE(markOf(results->item(0, 0)), Mark::Green);
}

// Only page 1 is rendered; the rest of a long document may cost reading it,
// not rendering it. A page rendered is a file that ImageMagick or Ghostscript
// makes in the worker's working folder, so a 2,000-page PDF makes no more of
// them than a 1-page one.
void TestHostileDocuments::twoThousandPagesRenderOnlyTheFirst()
{
    WorkerConverter worker(QStringLiteral(LEAFMARK_WORKER_PATH), 1);
    QCOMPARE(worker.start(), QString());
    const QList<pid_t> workers =
        ProcessList::childrenRunning(::getpid(), QStringLiteral(LEAFMARK_WORKER_PATH));
    QCOMPARE(workers.size(), 1);
    const QByteArray scratch = QFile::encodeName(ProcessList::workingFolderOf(workers.first()));
    const QTemporaryDir output;
    const auto filesMadeFor = [&](const QString &name) {
        const int events = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (events < 0 || ::inotify_add_watch(events, scratch.constData(), IN_CREATE) < 0)
            return -1;
        const bool converted =
            worker
                .Convert(thumbnailJob(Corpus::documents() + QLatin1Char('/') + name,
                                      output.filePath(QStringLiteral("counted.png"))))
                .succeeded();
        int made = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = ::read(events, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < got; ++made)
                at += ssize_t(sizeof(inotify_event)) +
                      reinterpret_cast<const inotify_event *>(buffer + at)->len;
        }
        ::close(events);
        return converted ? made : -1;
    };
    const int onePage = filesMadeFor(QStringLiteral("one-page.pdf"));
    const int manyPages = filesMadeFor(QStringLiteral("2000-pages.pdf"));
    qInfo("files made for a 1-page PDF: %d; for a 2,000-page PDF: %d", onePage, manyPages);
    QVERIFY(onePage > 0);
    QCOMPARE(manyPages, onePage);
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
