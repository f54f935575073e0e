#include "hostile/support/ProcessList.h"
#include "pool/PreviewDecoder.h"
#include "pool/WorkerConverter.h"
#include "run/ThumbnailIndex.h"
#include "settings/InstallLayout.h"
#include "support/EventWait.h"
#include "support/TestFiles.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

const QString program = QStringLiteral(LEAFMARK_PROGRAM_PATH);

// Processes whose environment holds the mark, the program's workers among them.
QList<pid_t> markedProcesses(const QByteArray &mark)
{
    QList<pid_t> marked;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        QFile environment(QStringLiteral("/proc/%1/environ").arg(entry));
        if (environment.open(QIODevice::ReadOnly) &&
            environment.readAll().split('\0').contains(mark))
            marked.append(entry.toInt());
    }
    return marked;
}

// Once a signal is no longer pending, a thread of the process runs its handler.
bool signalPending(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if ((line.startsWith("SigPnd:") || line.startsWith("ShdPnd:")) &&
            line.mid(7).trimmed().toULongLong(nullptr, 16) != 0)
            return true;
    }
    return false;
}

QStringList lines(const QByteArray &output)
{
    return QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A field of a result line as the name it stands for.
QString unquoted(const QString &field)
{
    if (!field.startsWith(QLatin1Char('"')))
        return field;
    return field.mid(1, field.size() - 2).replace(QStringLiteral("\\t"), QStringLiteral("\t"));
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

// The program run from a script: its arguments, its lines, its exit status
// and its interrupts, against the real worker.
class TestCommandLine : public QObject, protected WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void argumentsAndExitStatus_data();
    void argumentsAndExitStatus();
    void runMakesTheWindowsThumbnails();
    void interruptLeavesNoPartialFileAndNoWorker_data();
    void interruptLeavesNoPartialFileAndNoWorker();

private:
    QTemporaryDir m_tree;
};

void TestCommandLine::initTestCase()
{
    QVERIFY(fillTree(m_tree.path(), {"pdfs/one.pdf", "pdfs/sub/two.pdf", "mixed/one.pdf", "thumbs/",
                                     "file.txt", "locked/inner/"}));
    QVERIFY(writeBytes(m_tree.path() + "/mixed/broken.pdf", "%PDF-1.4\n1 0 obj"));
    QVERIFY(QFile::setPermissions(m_tree.path() + "/locked", {}));
}

void TestCommandLine::argumentsAndExitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    // What the one line on standard error says; "" for none.
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("outputLines");

    const QStringList run = {"--pdf-folder", "@/pdfs", "--image-folder", "@/thumbs"};
    QTest::newRow("every PDF converted") << run << 0 << "" << 2;
    QTest::newRow("some failed") << QStringList{"--pdf-folder", "@/mixed", "--image-folder",
                                                "@/thumbs", "--json"}
                                 << 1 << "" << 2;
    QTest::newRow("width not a number")
        << run + QStringList{"--width", "8x"} << 2 << "--width: '8x'" << 0;
    QTest::newRow("height zero") << run + QStringList{"--height", "0"} << 2 << "--height: '0'" << 0;
    QTest::newRow("unknown format")
        << run + QStringList{"--format", "wmf"} << 2 << "--format: 'wmf' is not one of" << 0;
    QTest::newRow("jobs not a number")
        << run + QStringList{"--jobs", "all"} << 2 << "--jobs: 'all'" << 0;
    QTest::newRow("unknown option")
        << run + QStringList{"--colour"} << 2 << "Unknown option 'colour'" << 0;
    QTest::newRow("stray argument")
        << run + QStringList{"extra"} << 2 << "Unexpected argument 'extra'" << 0;
    QTest::newRow("no PDF folder") << QStringList{"--image-folder", "@/thumbs"} << 2
                                   << "--pdf-folder: Please, enter PDF's folder" << 0;
    QTest::newRow("missing PDF folder")
        << QStringList{"--pdf-folder", "@/none", "--image-folder", "@/thumbs"} << 2
        << "--pdf-folder: PDF's folder doesn't exist" << 0;
    QTest::newRow("PDF folder is a file")
        << QStringList{"--pdf-folder", "@/file.txt", "--image-folder", "@/thumbs"} << 2
        << "--pdf-folder: '@/file.txt' is not a folder" << 0;
    QTest::newRow("image folder in an unreadable place")
        << QStringList{"--pdf-folder", "@/pdfs", "--image-folder", "@/locked/inner"} << 2
        << "--image-folder: Images folder doesn't exist" << 0;
}

void TestCommandLine::argumentsAndExitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, error);
    QFETCH(int, outputLines);
    if (QByteArray(QTest::currentDataTag()).contains("unreadable") && ::geteuid() == 0)
        QSKIP("root reaches into any folder");
    arguments.replaceInStrings(QStringLiteral("@"), m_tree.path());
    error.replace(QStringLiteral("@"), m_tree.path());

    QProcess run;
    run.start(program, arguments);
    QVERIFY(run.waitForFinished(EventWait::CeilingMs));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), status);
    const QStringList errors = lines(run.readAllStandardError());
    if (error.isEmpty()) {
        QCOMPARE(errors, QStringList());
    } else {
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(error), qPrintable(errors[0]));
    }
    QCOMPARE(lines(run.readAllStandardOutput()).size(), outputLines);
}

// The same tree, through the window and through the command line, gives the
// same thumbnails, and the lines tell each PDF's fate in the window's order.
void TestCommandLine::runMakesTheWindowsThumbnails()
{
    QTemporaryDir dir;
    const QString pdfs = dir.path() + "/pdfs";
    QVERIFY(fillTree(dir.path(), {"pdfs/one.pdf", "pdfs/Two\tWords.pdf", "pdfs/sub/three.pdf",
                                  "window/", "cli/"}));
    QVERIFY(writePdf(pdfs + "/sub/wide.pdf", 1, QSizeF(842, 595)));
    QVERIFY(writeBytes(pdfs + "/broken.pdf", "%PDF-1.4\n1 0 obj << /Type /Catalog"));
    const QString settings = QFileInfo(program).dir().filePath(QStringLiteral("settings.ini"));
    const QByteArray settingsBefore = readWhole(settings);
    const bool settingsExisted = QFileInfo::exists(settings);

    WorkerConverter converter(LEAFMARK_WORKER_PATH);
    PreviewDecoder decoder(converter);
    removeSettingsFile();
    openWindow(converter, decoder);
    loadAndShow();
    fillInputs(pdfs, dir.path() + "/window", QString(), "125");
    clickConvert();
    QStringList windowRows;
    for (int row = 0; row < results()->rowCount(); ++row)
        windowRows.append(results()->item(row, 0)->text());
    m_window.reset();
    removeSettingsFile();

    QProcess run;
    run.start(program,
              {"--pdf-folder", pdfs, "--image-folder", dir.path() + "/cli", "--height", "125"});
    QVERIFY(run.waitForFinished(EventWait::CeilingMs));
    QCOMPARE(run.exitCode(), 1);
    QCOMPARE(readWhole(settings), settingsBefore);
    QCOMPARE(QFileInfo::exists(settings), settingsExisted);

    const QStringList outputs = lines(run.readAllStandardOutput());
    QCOMPARE(outputs.size(), windowRows.size());
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        const QString thumbnail = dir.path() + "/cli/" + windowRows[i];
        const bool broken = windowRows[i] == QLatin1String("broken.png");
        const QStringList fields = outputs[i].split(QLatin1Char('\t'));
        QCOMPARE(fields.size(), 4);
        QCOMPARE(fields[0], QString(broken ? "failed" : "ok"));
        QVERIFY2(QFileInfo(unquoted(fields[1])).isFile(), qPrintable(outputs[i]));
        QCOMPARE(unquoted(fields[2]), thumbnail);
        QCOMPARE(fields[2].startsWith(QLatin1Char('"')), thumbnail.contains(QLatin1Char('\t')));
        QCOMPARE(fields[3].isEmpty(), !broken);
    }
    QCOMPARE(filesIn(dir.path() + "/cli"), filesIn(dir.path() + "/window"));
    for (const QString &name : filesIn(dir.path() + "/window"))
        QCOMPARE(QImage(dir.path() + "/cli/" + name), QImage(dir.path() + "/window/" + name));

    // The first run with the options records what it made; the next skips it,
    // in the PDFs' own subfolders.
    QVERIFY(EventWait::until(
        [&] { return FileStamp::ofSettledFile(pdfs + "/broken.pdf").has_value(); }));
    QVERIFY(QDir().mkpath(dir.path() + "/again"));
    QStringList again;
    for (int round = 0; round < 2; ++round) {
        run.start(program, {"--pdf-folder", pdfs, "--image-folder", dir.path() + "/again",
                            "--height", "125", "--skip-up-to-date", "--keep-subfolders"});
        QVERIFY(run.waitForFinished(EventWait::CeilingMs));
        again = lines(run.readAllStandardOutput());
    }
    QCOMPARE(again.size(), windowRows.size());
    for (const QString &line : again) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        const bool broken = fields[1].endsWith(QLatin1String("broken.pdf"));
        QCOMPARE(fields[0], QString(broken ? "failed" : "skipped"));
        QVERIFY2(QFileInfo(unquoted(fields[2])).isFile() != broken, qPrintable(line));
    }
    QVERIFY(QFileInfo(dir.path() + "/again/sub/three.png").isFile());
}

void TestCommandLine::interruptLeavesNoPartialFileAndNoWorker_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
}

// The tests' worker holds the second PDF until told to go on, so the signal
// comes while it is being converted and two PDFs remain.
void TestCommandLine::interruptLeavesNoPartialFileAndNoWorker()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    QVERIFY(fillTree(dir.path(), {"bin/", "pdfs/a.pdf", "pdfs/b-held.pdf", "pdfs/c.pdf",
                                  "pdfs/d.pdf", "thumbs/"}));
    const QString copy = dir.path() + "/bin/" + QFileInfo(program).fileName();
    const QString worker = dir.path() + "/bin/" + InstallLayout::workerFileName();
    QVERIFY(QFile::copy(program, copy));
    QVERIFY(QFile::copy(QStringLiteral(LEAFMARK_PROBE_WORKER_PATH), worker));
    const QByteArray mark = "LEAFMARK_WORKER_TEST_MARK=" + dir.path().toUtf8();

    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LEAFMARK_WORKER_FAULT", "hold:b-held");
    environment.insert("LEAFMARK_WORKER_TEST_MARK", dir.path());
    run.setProcessEnvironment(environment);
    // As from a terminal, whatever this test was started from ignores.
    run.setChildProcessModifier([] {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
    });
    run.start(copy, {"--pdf-folder", dir.path() + "/pdfs", "--image-folder", dir.path() + "/thumbs",
                     "--jobs", "1"});
    QVERIFY(run.waitForStarted());
    QList<pid_t> workers;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(workers = ProcessList::childrenRunning(run.processId(), worker)).isEmpty(),
        EventWait::CeilingMs);
    QVERIFY(markedProcesses(mark).contains(workers.first()));
    const QString held = ProcessList::workingFolderOf(workers.first()) + "/held";
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(held), EventWait::CeilingMs);

    QCOMPARE(::kill(pid_t(run.processId()), signal), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!signalPending(pid_t(run.processId())), EventWait::CeilingMs);
    QFile::remove(held);
    QVERIFY(run.waitForFinished(EventWait::CeilingMs));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 128 + signal);
    QCOMPARE(markedProcesses(mark), QList<pid_t>());

    // The PDF in progress was finished or dropped; nothing else was begun.
    QStringList listed;
    for (const QString &line : lines(run.readAllStandardOutput())) {
        QCOMPARE(line.section(QLatin1Char('\t'), 0, 0), QString("ok"));
        listed.append(QFileInfo(line.section(QLatin1Char('\t'), 2, 2)).fileName());
    }
    QVERIFY2(listed == QStringList{"a.png"} || listed == QStringList({"a.png", "b-held.png"}),
             qPrintable(listed.join(QLatin1Char(' '))));
    QCOMPARE(filesIn(dir.path() + "/thumbs"), listed);
    for (const QString &name : std::as_const(listed))
        QCOMPARE(QImage(dir.path() + "/thumbs/" + name).width(), 88);
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
