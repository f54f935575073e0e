// Faults in the middle of a run, through the real window and the real worker:
// the run goes on or ends with a clear outcome, "Create thumbnails" comes back
// enabled, and a thumbnail that was there is never left half-written.

#include "pool/PreviewDecoder.h"
#include "pool/WorkerConverter.h"
#include "settings/FormatTable.h"
#include "settings/rutines.h"
#include "support/EventWait.h"
#include "support/FolderSnapshot.h"
#include "support/PrivateMounts.h"
#include "support/ProcessList.h"
#include "support/RecordingConverter.h"
#include "support/TestFiles.h"
#include "support/WindowFixture.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray earlierThumbnail = "the thumbnail of an earlier run";

// What happens to the tree, or in the window, while workers convert ahead of
// the walk.
enum class Change {
    Nothing,
    SameNameTwice,
    ChangedBeforeTheWalkListsThem,
    DeletedAfterTheWalkListedThem,
    CrashAhead,
    FormatChosen,
    Cancelled,
};

// The thumbnails this process holds until the walk reaches their entries.
qsizetype thumbnailsHeld()
{
    qsizetype held = 0;
    const QStringList descriptors =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System);
    for (const QString &descriptor : descriptors) {
        char target[64] = {};
        const QByteArray link = "/proc/self/fd/" + descriptor.toLatin1();
        if (::readlink(link.constData(), target, sizeof target - 1) > 0 &&
            QByteArray(target).startsWith("/memfd:leafmark-thumbnail"))
            ++held;
    }
    return held;
}

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator entries(folder, QDir::Files | QDir::Hidden | QDir::System,
                         QDirIterator::Subdirectories);
    while (entries.hasNext())
        files.append(entries.next());
    return files;
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestMidRunFaults : public QObject, protected WindowFixture
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<WorkerConverter> m_worker;
    std::unique_ptr<PreviewDecoder> m_decoder;
    std::unique_ptr<RecordingConverter> m_converter;

    QString pdfs() const { return m_dir->path() + QStringLiteral("/pdfs"); }
    QString thumbs() const { return m_dir->path() + QStringLiteral("/thumbs"); }

    // The worker starts with the window, so that a fault hook set now holds.
    void openWindow()
    {
        m_worker = std::make_unique<WorkerConverter>(QStringLiteral(LEAFMARK_WORKER_PATH));
        m_converter = std::make_unique<RecordingConverter>(*m_worker);
        m_decoder = std::make_unique<PreviewDecoder>(*m_worker);
        WindowFixture::openWindow(*m_converter, *m_decoder);
        loadAndShow();
        fillInputs(pdfs(), thumbs());
    }

    // The run reached its end: outcome shown, window unlocked.
    void verifyEndedClearly(int files)
    {
        for (const RecordingConverter::Call &call : std::as_const(m_converter->calls))
            qInfo("%s: %s", qPrintable(QFileInfo(call.input()).fileName()),
                  call.result.succeeded() ? "thumbnail" : qPrintable(call.result.failureReason));
        QCOMPARE(status()->text(), QStringLiteral("Done. %1 PDF files found...").arg(files));
        QVERIFY(convert()->isEnabled());
        QCOMPARE(convert()->text(), QStringLiteral("Create thumbnails"));
        QVERIFY(box("txtPDFfolder")->isEnabled());
        QCOMPARE(results()->rowCount(), m_converter->calls.size());
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }
    // Green and red, in the order the files were converted.
    QString marks() const
    {
        QString marks;
        for (const RecordingConverter::Call &call : std::as_const(m_converter->calls))
            marks += call.result.succeeded() ? QLatin1Char('g') : QLatin1Char('r');
        return marks;
    }
    void writeEarlierThumbnail(const QString &name)
    {
        QVERIFY(writeBytes(thumbs() + QLatin1Char('/') + name, earlierThumbnail));
    }
    // Until the workers have converted every entry foreseen that the walk has
    // not yet reached, and this process holds each thumbnail they made.
    void waitUntilAllAheadIsHeld()
    {
        QVERIFY(EventWait::until([this] {
            return thumbnailsHeld() == m_converter->foreseen - m_converter->calls.size();
        }));
    }

private slots:
    void init()
    {
        QFile::remove(settingsFilePath());
        m_dir = std::make_unique<QTemporaryDir>();
        // Files of a folder come before its subfolders, so the faulty file
        // is met first and the others after it.
        QVERIFY(fillTree(m_dir->path(), {"thumbs/", "pdfs/sub/a.pdf", "pdfs/sub/b.pdf"}));
    }
    void cleanup()
    {
        m_window.reset();
        m_converter.reset();
        m_worker.reset();
        m_dir.reset();
        QFile::remove(settingsFilePath());
        qunsetenv("LEAFMARK_WORKER_FAULT");
        CurrentFormat = QStringLiteral("png");
    }

    void workerKilledDuringAConversion();
    void workerKilledWhilePlacingAThumbnail();
    void windowProcessKilledDuringAConversion_data();
    void windowProcessKilledDuringAConversion();
    void outputFolderDeleted();
    void outputFolderMadeReadOnly();
    void pdfFolderRemoved();
    void pdfSwappedForAPipeAfterItsCheck();
    void outputDiskFull();
    void theRunLooksSequential_data();
    void theRunLooksSequential();
};

// Killed from outside while it converts a document that would never end: the
// row of that file is red at once, not when the time limit would strike, and
// the next files convert.
void TestMidRunFaults::workerKilledDuringAConversion()
{
    QVERIFY(fillTree(pdfs(), {"slow.pdf"}));
    writeEarlierThumbnail(QStringLiteral("slow.png"));
    qputenv("LEAFMARK_WORKER_FAULT", "hang:slow");
    openWindow();
    qunsetenv("LEAFMARK_WORKER_FAULT");
    const QList<pid_t> workers =
        ProcessList::childrenRunning(::getpid(), QStringLiteral(LEAFMARK_WORKER_PATH));
    QCOMPARE(workers.size(), 1);
    const pid_t worker = workers.first();
    const QString scratch = ProcessList::scratchFolderOf(worker);
    QVERIFY(QFileInfo(scratch).isDir());

    std::atomic<bool> killed = false;
    std::atomic<bool> stop = false;
    std::thread killer([&] {
        // Once a request's child runs beside the worker, the conversion is under way.
        EventWait::pollUntil(
            [&] { return stop || !ProcessList::requestProcesses(worker).isEmpty(); });
        if (!stop)
            killed = ::kill(worker, SIGKILL) == 0;
    });
    clickConvert();
    stop = true;
    killer.join();

    QVERIFY(killed);
    verifyEndedClearly(3);
    QCOMPARE(marks(), QStringLiteral("rgg"));
    QCOMPARE(m_converter->calls.first().result.failureReason,
             QStringLiteral("the converter stopped unexpectedly"));
    QCOMPARE(readWhole(thumbs() + QStringLiteral("/slow.png")), earlierThumbnail);
    QCOMPARE(QDir(thumbs()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"a.png", "b.png", "slow.png"}));
    // The request's processes and its scratch folder went with it.
    QTRY_VERIFY_WITH_TIMEOUT(ProcessList::sessionMembers(worker).isEmpty(), EventWait::CeilingMs);
    QVERIFY(!QFileInfo::exists(scratch));
}

void TestMidRunFaults::windowProcessKilledDuringAConversion_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGKILL") << int(SIGKILL);
    QTest::newRow("SIGTERM, as at logout") << int(SIGTERM);
}

// Whatever ends the window's process ends its worker and the request it runs;
// the scratch folder it leaves goes at the next start.
void TestMidRunFaults::windowProcessKilledDuringAConversion()
{
    QFETCH(int, signal);
    QVERIFY(fillTree(pdfs(), {"slow.pdf"}));
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LEAFMARK_WORKER_FAULT"), QStringLiteral("hang:slow"));
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(LEAFMARK_HOLD_CONVERSION_PATH),
                 {QStringLiteral(LEAFMARK_WORKER_PATH), pdfs() + QStringLiteral("/slow.pdf"),
                  thumbs() + QStringLiteral("/slow.png")});
    QVERIFY(window.waitForStarted());
    const pid_t windowPid = pid_t(window.processId());
    pid_t worker = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        (worker = ProcessList::childrenRunning(windowPid, QStringLiteral(LEAFMARK_WORKER_PATH))
                      .value(0)) > 0 &&
            !ProcessList::requestProcesses(worker).isEmpty(),
        EventWait::CeilingMs);
    const QString scratch = ProcessList::scratchFolderOf(worker);
    QVERIFY(QFileInfo(scratch).isDir());

    QCOMPARE(::kill(windowPid, signal), 0);
    QTRY_VERIFY_WITH_TIMEOUT(ProcessList::sessionMembers(worker).isEmpty(), EventWait::CeilingMs);
    QTRY_COMPARE(window.state(), QProcess::NotRunning);

    WorkerConverter nextStart{QStringLiteral(LEAFMARK_WORKER_PATH)};
    QCOMPARE(nextStart.start(), QString());
    QVERIFY(!QFileInfo::exists(scratch));
}

// The window's process puts each thumbnail in place itself: a worker killed in
// the moment the new file appears beside the old one, as happens when a slow
// disk holds the run, takes nothing of it with it.
void TestMidRunFaults::workerKilledWhilePlacingAThumbnail()
{
    QVERIFY(fillTree(pdfs(), {"first.pdf"}));
    writeEarlierThumbnail(QStringLiteral("first.png"));
    openWindow();
    const QList<pid_t> workers =
        ProcessList::childrenRunning(::getpid(), QStringLiteral(LEAFMARK_WORKER_PATH));
    QCOMPARE(workers.size(), 1);

    const int events = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    QVERIFY(events >= 0);
    QVERIFY(::inotify_add_watch(events, QFile::encodeName(thumbs()).constData(), IN_CREATE) >= 0);
    std::atomic<bool> stop = false;
    std::atomic<bool> killed = false;
    std::thread killer([&, worker = workers.first()] {
        alignas(inotify_event) char buffer[4096];
        while (!stop) {
            pollfd ready{events, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0)
                continue;
            const ssize_t got = ::read(events, buffer, sizeof buffer);
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->len > 0 && QByteArray(event->name).startsWith(".leafmark-")) {
                    killed = ::kill(worker, SIGKILL) == 0;
                    return;
                }
                at += sizeof(inotify_event) + event->len;
            }
        }
    });
    clickConvert();
    stop = true;
    killer.join();
    ::close(events);

    QVERIFY(killed);
    verifyEndedClearly(3);
    QCOMPARE(m_converter->calls.first().result.failureReason, QString());
    QCOMPARE(QImage(thumbs() + QStringLiteral("/first.png")).width(), 88);
    // The kill may also take a worker that was by then converting ahead.
    QStringList expected = {"first.png"};
    for (const RecordingConverter::Call &call : std::as_const(m_converter->calls).mid(1)) {
        if (call.result.succeeded())
            expected.append(QFileInfo(call.output()).fileName());
        else
            QCOMPARE(call.result.failureReason,
                     QStringLiteral("the converter stopped unexpectedly"));
    }
    expected.sort();
    QCOMPARE(QDir(thumbs()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

void TestMidRunFaults::outputFolderDeleted()
{
    QVERIFY(fillTree(pdfs(), {"first.pdf"}));
    openWindow();
    m_converter->afterConvert = [&](const RecordingConverter::Call &) {
        if (m_converter->calls.size() == 1)
            QDir(thumbs()).removeRecursively();
    };
    clickConvert();

    verifyEndedClearly(3);
    QCOMPARE(marks(), QStringLiteral("grr"));
    QVERIFY2(
        m_converter->calls.last().result.failureReason.contains(QLatin1String("does not exist")),
        qPrintable(m_converter->calls.last().result.failureReason));
    // The walk creates no folder, and neither may anything it calls.
    QVERIFY(!QFileInfo::exists(thumbs()));
}

void TestMidRunFaults::outputFolderMadeReadOnly()
{
    // Root writes through permission bits; only a read-only mount stops it.
    const bool root = ::geteuid() == 0;
    if (root && !PrivateMounts::unavailableReason().isEmpty())
        QSKIP(qPrintable(PrivateMounts::unavailableReason()));
    QVERIFY(fillTree(pdfs(), {"first.pdf"}));
    writeEarlierThumbnail(QStringLiteral("a.png"));
    openWindow();
    FolderSnapshot written;
    QString problem;
    m_converter->afterConvert = [&](const RecordingConverter::Call &) {
        if (m_converter->calls.size() != 1)
            return;
        written = snapshotOf(thumbs());
        problem = root ? PrivateMounts::makeReadOnly(thumbs())
                       : (QFile::setPermissions(thumbs(), QFile::ReadOwner | QFile::ExeOwner)
                              ? QString()
                              : QStringLiteral("chmod failed"));
    };
    clickConvert();
    if (root)
        PrivateMounts::unmount(thumbs());
    else
        QFile::setPermissions(thumbs(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(problem, QString());
    verifyEndedClearly(3);
    QCOMPARE(marks(), QStringLiteral("grr"));
    QCOMPARE(snapshotOf(thumbs()), written);
    QCOMPARE(readWhole(thumbs() + QStringLiteral("/a.png")), earlierThumbnail);
}

void TestMidRunFaults::pdfFolderRemoved()
{
    QVERIFY(fillTree(pdfs(), {"first.pdf", "second.pdf", "third.pdf", "sub/deeper/c.pdf"}));
    openWindow();
    m_converter->afterConvert = [&](const RecordingConverter::Call &) {
        if (m_converter->calls.size() == 1)
            QDir(pdfs()).removeRecursively();
    };
    clickConvert();

    // Entries already listed may still come; none can be read any more.
    QVERIFY(!m_converter->calls.isEmpty());
    verifyEndedClearly(int(m_converter->calls.size()));
    QCOMPARE(marks(),
             QStringLiteral("g") + QString(m_converter->calls.size() - 1, QLatin1Char('r')));
    QCOMPARE(QDir(thumbs()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

// A thumbnail that was there is kept whole, and no part of a new one is left.
void TestMidRunFaults::outputDiskFull()
{
    if (!PrivateMounts::unavailableReason().isEmpty())
        QSKIP(qPrintable(PrivateMounts::unavailableReason()));
    QCOMPARE(PrivateMounts::mountSmallDisk(thumbs(), 256 * 1024), QString());
    const auto unmount = qScopeGuard([this] { PrivateMounts::unmount(thumbs()); });
    QVERIFY(writePdf(m_dir->path() + QStringLiteral("/earlier.pdf")));
    QByteArray earlier;
    {
        WorkerConverter worker(QStringLiteral(LEAFMARK_WORKER_PATH));
        QCOMPARE(worker.start(), QString());
        QVERIFY(worker
                    .Convert(thumbnailJob(m_dir->path() + QStringLiteral("/earlier.pdf"),
                                          thumbs() + QStringLiteral("/a.png")))
                    .succeeded());
        earlier = readWhole(thumbs() + QStringLiteral("/a.png"));
        QCOMPARE(sniffFormat(thumbs() + QStringLiteral("/a.png")), QStringLiteral("PNG"));
    }
    QFile filler(thumbs() + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
    const FolderSnapshot full = snapshotOf(thumbs());

    openWindow();
    clickConvert();

    verifyEndedClearly(2);
    QCOMPARE(marks(), QStringLiteral("rr"));
    for (const RecordingConverter::Call &call : std::as_const(m_converter->calls))
        QVERIFY2(call.result.failureReason.contains(QLatin1String("No space left")),
                 qPrintable(call.result.failureReason));
    QCOMPARE(readWhole(thumbs() + QStringLiteral("/a.png")), earlier);
    QCOMPARE(snapshotOf(thumbs()), full);
}

// Workers convert ahead of the walk, yet everything a user can see is as if
// it went one file at a time: the rows and marks, and at every moment the
// output folder holds exactly the thumbnails of the files already handled.
// Files changed after they were converted ahead are converted again.
void TestMidRunFaults::theRunLooksSequential_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QStringList>("thumbnails");
    QTest::addColumn<QStringList>("landscape");

    const QStringList all = {"a.png", "b.png", "c.png", "one.png"};
    QTest::newRow("nothing changes") << Change::Nothing << "gggg" << all << QStringList();
    QTest::newRow("same name twice, the later wins")
        << Change::SameNameTwice << "ggggg" << all << QStringList({"one.png"});
    QTest::newRow("replaced, rewritten, deleted before listed")
        << Change::ChangedBeforeTheWalkListsThem << "ggg"
        << QStringList({"a.png", "b.png", "one.png"}) << QStringList({"a.png", "b.png"});
    QTest::newRow("deleted after listed")
        << Change::DeletedAfterTheWalkListedThem << "ggrr" << QStringList() << QStringList();
    QTest::newRow("crashes ahead")
        << Change::CrashAhead << "grrr" << QStringList({"one.png"}) << QStringList();
    QTest::newRow("format chosen")
        << Change::FormatChosen << "gggg" << QStringList({"a.jpg", "b.jpg", "c.jpg", "one.png"})
        << QStringList();
    QTest::newRow("cancelled") << Change::Cancelled << "gg" << QStringList() << QStringList();
}

void TestMidRunFaults::theRunLooksSequential()
{
    QFETCH(Change, change);
    QFETCH(QString, marks);
    QFETCH(QStringList, thumbnails);
    QFETCH(QStringList, landscape);
    QVERIFY(fillTree(pdfs(), {"one.pdf", "sub/c.pdf"}));
    const QString temporary = m_dir->path() + QStringLiteral("/tmp");
    QVERIFY(QDir().mkpath(temporary));
    qputenv("TMPDIR", QFile::encodeName(temporary));
    if (change == Change::CrashAhead)
        qputenv("LEAFMARK_WORKER_FAULT", "crash:/sub/");
    const QSizeF wide(842, 595);
    if (change == Change::SameNameTwice) {
        QVERIFY(QDir().mkpath(pdfs() + QStringLiteral("/sub/deeper")));
        QVERIFY(writePdf(pdfs() + QStringLiteral("/sub/deeper/one.pdf"), 1, wide));
    }
    openWindow();
    qunsetenv("TMPDIR");

    QStringList handled;
    const auto verifyOnlyHandledArePlaced = [&] {
        QStringList placed = QDir(thumbs()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        handled.removeDuplicates();
        handled.sort();
        QCOMPARE(placed, handled);
    };
    m_converter->beforeConvert = [&](const ConversionJob &job) {
        verifyOnlyHandledArePlaced();
        const qsizetype call = m_converter->calls.size() + 1;
        if (call == 1 && change == Change::ChangedBeforeTheWalkListsThem) {
            waitUntilAllAheadIsHeld();
            QVERIFY(writePdf(pdfs() + QStringLiteral("/sub/new.part"), 1, wide));
            QVERIFY(::rename(QFile::encodeName(pdfs() + QStringLiteral("/sub/new.part")),
                             QFile::encodeName(pdfs() + QStringLiteral("/sub/a.pdf"))) == 0);
            QVERIFY(writePdf(pdfs() + QStringLiteral("/sub/b.pdf"), 1, wide));
            QVERIFY(QFile::remove(pdfs() + QStringLiteral("/sub/c.pdf")));
        }
        if (call == 2 && change == Change::DeletedAfterTheWalkListedThem) {
            waitUntilAllAheadIsHeld();
            for (const char *name : {"a.pdf", "b.pdf", "c.pdf"}) {
                if (!job.input.contains(QStringLiteral("/sub/") + QLatin1String(name)))
                    QFile::remove(pdfs() + QStringLiteral("/sub/") + QLatin1String(name));
            }
        }
    };
    m_converter->afterConvert = [&](const RecordingConverter::Call &call) {
        if (call.result.succeeded())
            handled.append(QFileInfo(call.output()).fileName());
        verifyOnlyHandledArePlaced();
        if (m_converter->calls.size() == 1 && change == Change::FormatChosen)
            CurrentFormat = QStringLiteral("jpg");
        if (m_converter->calls.size() == 2 && change == Change::Cancelled)
            QTimer::singleShot(0, convert(), [this] { clickConvert(); });
    };
    clickConvert();

    verifyEndedClearly(int(marks.size()));
    QCOMPARE(this->marks(), marks);
    if (change == Change::DeletedAfterTheWalkListedThem || change == Change::Cancelled)
        thumbnails = handled;
    thumbnails.sort();
    QCOMPARE(QDir(thumbs()).entryList(QDir::Files | QDir::Hidden, QDir::Name), thumbnails);
    for (const QString &name : std::as_const(thumbnails)) {
        const bool wideExpected = landscape.contains(name);
        QCOMPARE(QImage(thumbs() + QLatin1Char('/') + name).width() >
                     QImage(thumbs() + QLatin1Char('/') + name).height(),
                 wideExpected);
    }
    for (const RecordingConverter::Call &call : std::as_const(m_converter->calls)) {
        if (!call.result.succeeded() && change == Change::CrashAhead)
            QCOMPARE(call.result.failureReason,
                     QStringLiteral("the converter stopped unexpectedly"));
    }
    // Work done ahead and thrown away leaves no file and no Ghostscript.
    QCOMPARE(filesBelow(temporary), QStringList());
    const QList<pid_t> workers =
        ProcessList::childrenRunning(::getpid(), QStringLiteral(LEAFMARK_WORKER_PATH));
    for (const pid_t worker : workers)
        QTRY_COMPARE_WITH_TIMEOUT(ProcessList::sessionMembers(worker), QList<pid_t>({worker}),
                                  EventWait::CeilingMs);
}

// The worker reads the PDF it checked through the descriptor it opened it
// with: a name swapped for a named pipe after the check, as when a file is
// being replaced during a run, no longer stalls the conversion until its
// time limit. (ImageMagick then refuses the file whose name is gone, at once.)
void TestMidRunFaults::pdfSwappedForAPipeAfterItsCheck()
{
    const QString pdf = pdfs() + QStringLiteral("/sub/a.pdf");
    qputenv("LEAFMARK_WORKER_FAULT", "hold:/sub/a.pdf");
    WorkerConverter converter(QStringLiteral(LEAFMARK_WORKER_PATH), 1);
    QCOMPARE(converter.start(), QString());
    qunsetenv("LEAFMARK_WORKER_FAULT");
    const QList<pid_t> workers =
        ProcessList::childrenRunning(::getpid(), QStringLiteral(LEAFMARK_WORKER_PATH));
    QCOMPARE(workers.size(), 1);
    const QString held = ProcessList::workingFolderOf(workers.first()) + QStringLiteral("/held");

    std::atomic<bool> swapped = false;
    std::thread swapper([&] {
        EventWait::pollUntil([&] { return QFileInfo::exists(held); });
        const QByteArray pipe = QFile::encodeName(pdfs() + QStringLiteral("/sub/pipe"));
        swapped = ::mkfifo(pipe.constData(), 0600) == 0 &&
                  ::rename(pipe.constData(), QFile::encodeName(pdf).constData()) == 0;
        QFile::remove(held);
    });
    const ConversionResult result =
        converter.Convert(thumbnailJob(pdf, thumbs() + QStringLiteral("/a.png")));
    swapper.join();

    QVERIFY(swapped);
    QVERIFY2(result.succeeded() || !result.failureReason.isEmpty(), "no reason given");
    QVERIFY(result.failureReason != QLatin1String("time limit reached"));
    if (result.succeeded())
        QCOMPARE(QImage(thumbs() + QStringLiteral("/a.png")).size(), QSize(88, 125));
    QVERIFY(converter
                .Convert(thumbnailJob(pdfs() + QStringLiteral("/sub/b.pdf"),
                                      thumbs() + QStringLiteral("/b.png")))
                .succeeded());
}

int main(int argc, char *argv[])
{
    PrivateMounts::enter();
    QApplication application(argc, argv);
    TestMidRunFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_midrunfaults.moc"
