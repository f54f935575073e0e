// The worker's confinement, through the real worker: what a document that took
// over Ghostscript would try is refused, ImageMagick's coders with side effects
// are not used, and the worker reports what holds.

#include "support/EventWait.h"
#include "support/WorkerFixture.h"

#include "hostile/support/ProcessList.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>
#include <QUuid>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

int landlockVersion()
{
    return static_cast<int>(
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION));
}

QString namespaceOf(const QString &pid, const QString &kind)
{
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/ns/%2").arg(pid, kind));
}

// The process IDs it has, from its own namespace's outwards.
QStringList namespacedIds(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("NSpid:"))
            return QString::fromLatin1(line.mid(6)).split(QLatin1Char('\t'), Qt::SkipEmptyParts);
    }
    return {};
}

pid_t workerOfThisProcess(const QString &program = QStringLiteral(LEAFMARK_WORKER_PATH))
{
    const QString self = QString::number(::getpid());
    const QString worker = QFileInfo(program).canonicalFilePath();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == self.toLatin1() &&
            QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath() == worker)
            return pid.toInt();
    }
    return 0;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool memoryIsLimited()
{
#if defined(__SANITIZE_ADDRESS__)
    return false;
#else
    return true;
#endif
}

bool userNamespacesOffered()
{
    QFile limit(QStringLiteral("/proc/sys/user/max_user_namespaces"));
    return limit.open(QIODevice::ReadOnly) && limit.readAll().trimmed().toInt() > 0 &&
           QProcess::execute(
               QStringLiteral("unshare"),
               {QStringLiteral("-Urnp"), QStringLiteral("--fork"), QStringLiteral("true")}) == 0;
}

} // namespace

class ConfinementTest : public QObject, protected WorkerFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void escapesFromAConversion_data();
    void escapesFromAConversion();
    void formatsWithSideEffects_data();
    void formatsWithSideEffects();
    void reportsWhatHolds();
    void runsInNamespacesOfItsOwn();

private:
    struct Attempt
    {
        QByteArray setting;
        QStringList escapes;
    };

    bool displayWasContacted();
    Attempt attemptFor(const QString &name, const QString &output);
    QByteArray homeFingerprint() const;

    // A display of our own, so that a coder that opens a window or a probe
    // that goes for the X server would be seen knocking.
    QLocalServer m_display;
    QString m_displayName;
    QTcpServer m_tcp;
    QUdpSocket m_udp;
    // Decoys: a home with a key in it, a terminal, another worker's folder.
    QTemporaryDir m_home;
    QTemporaryDir m_otherWorker{QDir::tempPath() + QStringLiteral("/leafmark-scratch-XXXXXX")};
    int m_terminalMaster = -1;
    QString m_terminal;
};

void ConfinementTest::initTestCase()
{
    QVERIFY(m_root.isValid());
    QVERIFY(QDir().mkpath(QStringLiteral("/tmp/.X11-unix")));
    for (int number = 600 + ::getpid() % 300; m_displayName.isEmpty(); ++number) {
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
        if (!QFileInfo::exists(socket) && m_display.listen(socket))
            m_displayName = QStringLiteral(":%1").arg(number);
    }
    qputenv("DISPLAY", m_displayName.toLatin1());
    QVERIFY(m_tcp.listen(QHostAddress::LocalHost));
    QVERIFY(m_udp.bind(QHostAddress::LocalHost));
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral(".ssh")));
    QVERIFY(writeFile(m_home.filePath(QStringLiteral(".ssh/id_rsa")), "a decoy key\n"));
    QVERIFY(writeFile(m_otherWorker.filePath(QStringLiteral("in.pdf")), "%PDF-1.4\n"));
    m_terminalMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(m_terminalMaster >= 0 && ::grantpt(m_terminalMaster) == 0 &&
            ::unlockpt(m_terminalMaster) == 0);
    m_terminal = QString::fromLocal8Bit(::ptsname(m_terminalMaster));
}

void ConfinementTest::cleanupTestCase()
{
    m_display.close();
    ::close(m_terminalMaster);
}

// Takes what came, so that the next case starts afresh. A connection made
// before the worker replied is waiting already.
bool ConfinementTest::displayWasContacted()
{
    m_display.waitForNewConnection(0);
    const bool contacted = m_display.hasPendingConnections();
    while (m_display.hasPendingConnections())
        delete m_display.nextPendingConnection();
    return contacted;
}

void ConfinementTest::escapesFromAConversion_data()
{
    QTest::addColumn<QString>("attempt");
    QTest::addColumn<bool>("confined");
    const char *const attempts[] = {
        "create",
        "network",
        "run",
        "read home",
        "read terminal",
        "read other worker",
        "reach other thumbnails",
        "chmod",
        "chown",
        "utimensat",
        "setxattr",
        "loader",
        "memfd",
        "unshare",
        "memory limit",
        "sockets",
        "lease",
        "device ioctl",
        "main reads home",
        "main reads window's command line",
        "main userfaultfd",
        "main loader",
        "main lease",
        "leftover",
        "leftover in own group",
    };
    // Unconfined, each must get through: else it would prove nothing.
    for (const char *attempt : attempts) {
        QTest::addRow("%s, confined", attempt) << QString::fromLatin1(attempt) << true;
        QTest::addRow("%s, unconfined", attempt) << QString::fromLatin1(attempt) << false;
    }
    // Held whether the worker confines itself or not: by its launch (limits)
    // or by the renderer's own code.
    for (const char *attempt : {"renderer descriptors", "disk fill", "fork loop", "environment"})
        QTest::addRow("%s, confined", attempt) << QString::fromLatin1(attempt) << true;
}

// What the probe is told to try for the attempt, and what it says of each
// part that gets through.
ConfinementTest::Attempt ConfinementTest::attemptFor(const QString &name, const QString &output)
{
    const QString secret = m_home.filePath(QStringLiteral(".ssh/id_rsa"));
    const QByteArray file = QFile::encodeName(secret);
    if (name == QLatin1String("create")) {
        const QStringList folders = {m_home.path(), output, QDir::tempPath()};
        Attempt attempt;
        for (const QString &folder : folders) {
            attempt.setting += "create=" + QFile::encodeName(folder) + '\n';
            attempt.escapes << QStringLiteral("created %1/leafmark-escaped").arg(folder);
        }
        return attempt;
    }
    if (name == QLatin1String("network"))
        return {"tcp=" + QByteArray::number(m_tcp.serverPort()) +
                    "\nudp=" + QByteArray::number(m_udp.localPort()) +
                    "\nunix=" + QFile::encodeName(m_display.fullServerName()),
                {QStringLiteral("opened a TCP socket"), QStringLiteral("opened a UDP socket"),
                 QStringLiteral("opened a UNIX socket and connected")}};
    if (name == QLatin1String("run"))
        return {"run=/bin/sh", {QStringLiteral("started /bin/sh")}};
    if (name == QLatin1String("read home"))
        return {"read=" + file, {QStringLiteral("read ") + secret}};
    if (name == QLatin1String("read terminal"))
        return {"read=" + QFile::encodeName(m_terminal), {QStringLiteral("read ") + m_terminal}};
    if (name == QLatin1String("read other worker")) {
        const QString other = m_otherWorker.filePath(QStringLiteral("in.pdf"));
        return {"read=" + QFile::encodeName(other), {QStringLiteral("read ") + other}};
    }
    if (name == QLatin1String("reach other thumbnails"))
        return {"finished=1",
                {QStringLiteral("listed the finished thumbnails"),
                 QStringLiteral("wrote a finished thumbnail")}};
    if (name == QLatin1String("chmod"))
        return {"chmod=" + file, {QStringLiteral("changed the mode of ") + secret}};
    if (name == QLatin1String("chown"))
        return {"chown=" + file, {QStringLiteral("changed the owner of ") + secret}};
    if (name == QLatin1String("utimensat"))
        return {"touch=" + file, {QStringLiteral("changed the times of ") + secret}};
    if (name == QLatin1String("setxattr"))
        return {"xattr=" + file, {QStringLiteral("set an attribute on ") + secret}};
    if (name == QLatin1String("loader"))
        return {"loader=/bin/true", {QStringLiteral("started /bin/true through the loader")}};
    if (name == QLatin1String("memfd")) {
        const QString gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
        return {"memfd=" + QFile::encodeName(gs),
                {QStringLiteral("started %1 from memory").arg(gs)}};
    }
    if (name == QLatin1String("unshare"))
        return {"unshare=1",
                {QStringLiteral("made a user namespace with unshare"),
                 QStringLiteral("made a user namespace with clone")}};
    if (name == QLatin1String("memory limit"))
        return {"limit=1", {QStringLiteral("raised its memory limit")}};
    if (name == QLatin1String("sockets"))
        return {"sockets=1", {QStringLiteral("held a socket")}};
    if (name == QLatin1String("renderer descriptors"))
        return {"renderer=1", {}};
    if (name.endsWith(QLatin1String("lease")))
        return {name.startsWith(QLatin1String("main")) ? "lease=1\nin=main" : "lease=1",
                {QStringLiteral("took a lease"), QStringLiteral("took a lock")}};
    if (name == QLatin1String("device ioctl"))
        return {"ioctl=1", {QStringLiteral("used a device's ioctl")}};
    if (name == QLatin1String("main reads home"))
        return {"in=main\nread=" + file, {QStringLiteral("read ") + secret}};
    if (name == QLatin1String("main reads window's command line")) {
        const QString commandLine = QStringLiteral("/proc/%1/cmdline").arg(::getpid());
        return {"in=main\nread=" + QFile::encodeName(commandLine),
                {QStringLiteral("read ") + commandLine}};
    }
    if (name == QLatin1String("main userfaultfd"))
        return {"in=main\nuserfaultfd=1", {QStringLiteral("got a userfaultfd")}};
    if (name == QLatin1String("main loader"))
        return {"in=main\nloader=/bin/true",
                {QStringLiteral("started /bin/true through the loader")}};
    if (name == QLatin1String("disk fill"))
        return {"fill=1", {QStringLiteral("wrote past 2 GiB")}};
    if (name == QLatin1String("fork loop"))
        return {"forks=1000", {QStringLiteral("started 1000 processes")}};
    // Set in this process's environment before the worker starts.
    if (name == QLatin1String("environment"))
        return {"env=LEAFMARK_TEST_SECRET", {QStringLiteral("saw LEAFMARK_TEST_SECRET")}};
    if (name == QLatin1String("leftover"))
        return {"leave=1", {}};
    return {"leavegroup=1", {}};
}

void ConfinementTest::escapesFromAConversion()
{
    QFETCH(QString, attempt);
    QFETCH(bool, confined);
    if (attempt == QLatin1String("memory limit") && !confined && !memoryIsLimited())
        QSKIP("this build sets no memory limit (AddressSanitizer)");
    if (attempt == QLatin1String("fork loop") && ::geteuid() == 0)
        QSKIP("the kernel applies no process limit to root");
    if (attempt == QLatin1String("main userfaultfd") && ::access("/dev/userfaultfd", R_OK) != 0)
        QSKIP("/dev/userfaultfd is not open to this user");
    const QString folder = freshFolder();
    const QString marker = QStringLiteral("escape-") + QUuid::createUuid().toString(QUuid::Id128);
    const QString pdf = folder + QLatin1Char('/') + marker + QStringLiteral(".pdf");
    QVERIFY(writePdf(pdf));
    const QString output = freshFolder();
    const Attempt tried = attemptFor(attempt, output);
    const QStringList created = {m_home.path(), output, QDir::tempPath()};
    const auto removeEscaped = qScopeGuard([&] {
        for (const QString &target : created)
            QFile::remove(target + QStringLiteral("/leafmark-escaped"));
    });
    const QByteArray homeBefore = homeFingerprint();

    qputenv("LEAFMARK_WORKER_ESCAPE", "on=" + marker.toLatin1() + '\n' + tried.setting);
    if (!confined)
        qputenv("LEAFMARK_WORKER_CONFINEMENT", "off");
    qputenv("LEAFMARK_TEST_SECRET", "a secret of the window's");
    WorkerConverter converter{QStringLiteral(LEAFMARK_PROBE_WORKER_PATH)};
    const QString startProblem = converter.start();
    qunsetenv("LEAFMARK_TEST_SECRET");
    qunsetenv("LEAFMARK_WORKER_ESCAPE");
    qunsetenv("LEAFMARK_WORKER_CONFINEMENT");
    QCOMPARE(startProblem, QString());
    const QString thumbnail = output + QLatin1Char('/') + marker + QStringLiteral(".png");
    const ConversionResult result = converter.Convert(thumbnailJob(pdf, thumbnail));
    // Once the next request is answered, nothing of this one may be left.
    const bool leaves = attempt.startsWith(QLatin1String("leftover"));
    const pid_t worker = workerOfThisProcess(QStringLiteral(LEAFMARK_PROBE_WORKER_PATH));
    if (leaves)
        QVERIFY(converter
                    .Convert(thumbnailJob(makePdf(folder, QStringLiteral("next.pdf")),
                                          output + QStringLiteral("/next.png")))
                    .succeeded());

    if (!confined) {
        for (const QString &escape : tried.escapes)
            QVERIFY2(result.failureReason.contains(escape), qPrintable(result.failureReason));
        if (attempt == QLatin1String("network"))
            QVERIFY(displayWasContacted());
        if (leaves)
            QVERIFY(ProcessList::sessionMembers(worker).size() > 1);
        return;
    }
    QVERIFY2(result.succeeded(), qPrintable(result.failureReason));
    if (leaves)
        QCOMPARE(ProcessList::sessionMembers(worker), QList<pid_t>({worker}));
    QCOMPARE(sniffFormat(thumbnail), QStringLiteral("PNG"));
    QCOMPARE(homeFingerprint(), homeBefore);
    for (const QString &target : created)
        QVERIFY2(!QFileInfo::exists(target + QStringLiteral("/leafmark-escaped")),
                 qPrintable(target));
    QVERIFY(!m_tcp.waitForNewConnection(0));
    QVERIFY(!m_udp.hasPendingDatagrams());
    QVERIFY(!displayWasContacted());
}

// Contents, mode, owner, times and attributes of every file of the decoy
// home; a metadata change anywhere shows.
QByteArray ConfinementTest::homeFingerprint() const
{
    QByteArray fingerprint;
    QDirIterator files(m_home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        struct stat status;
        if (::stat(QFile::encodeName(path).constData(), &status) != 0)
            return {};
        char attributes[256] = {};
        const ssize_t listed =
            ::listxattr(QFile::encodeName(path).constData(), attributes, sizeof attributes);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        fingerprint +=
            path.toUtf8() + ' ' + QByteArray::number(status.st_mode) + ' ' +
            QByteArray::number(status.st_uid) + ' ' + QByteArray::number(status.st_mtim.tv_sec) +
            '.' + QByteArray::number(status.st_mtim.tv_nsec) + ' ' +
            QByteArray(attributes, std::max<ssize_t>(listed, 0)) + ' ' +
            QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex() + '\n';
    }
    return fingerprint;
}

void ConfinementTest::formatsWithSideEffects_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("written");

    QTest::newRow("html") << "html" << false;
    QTest::newRow("shtml") << "shtml" << false;
    QTest::newRow("show") << "show" << false;
    QTest::newRow("win") << "win" << false;
    QTest::newRow("x") << "x" << false;
    QTest::newRow("print") << "print" << false;
    QTest::newRow("msl") << "msl" << false;
    QTest::newRow("fd") << "fd" << false;
    QTest::newRow("info") << "info" << false;
    QTest::newRow("webp") << "webp" << true;
    QTest::newRow("ppm") << "ppm" << true;
    QTest::newRow("jp2") << "jp2" << true;
}

// Nothing but the thumbnail may appear, and nothing at all outside the output
// folder: html would put an image map into the working folder.
void ConfinementTest::formatsWithSideEffects()
{
    QFETCH(QString, extension);
    QFETCH(bool, written);
    const QString folder = freshFolder();
    const QString pdf = folder + QStringLiteral("/page.pdf");
    QVERIFY(writePdf(pdf));
    const QString output = freshFolder();
    const QString thumbnail = output + QStringLiteral("/page.") + extension;
    const QStringList workingFolderBefore =
        QDir::current().entryList(QDir::AllEntries | QDir::Hidden);
    WorkerConverter converter{QStringLiteral(LEAFMARK_WORKER_PATH)};
    QCOMPARE(converter.start(), QString());

    const ConversionResult result = converter.Convert(thumbnailJob(pdf, thumbnail));

    if (written) {
        QVERIFY2(result.succeeded(), qPrintable(result.failureReason));
        QCOMPARE(QDir(output).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList(QFileInfo(thumbnail).fileName()));
    } else {
        QCOMPARE(result.text, QString());
        QVERIFY2(result.failureReason.contains(extension.toUpper()),
                 qPrintable(result.failureReason));
        QCOMPARE(QDir(output).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }
    QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::Hidden), workingFolderBefore);
    QVERIFY(!displayWasContacted());
}

// Started by hand, the worker has no namespaces of its own and says so; the
// rest holds as far as this kernel offers it.
void ConfinementTest::reportsWhatHolds()
{
    const QString scratch = freshFolder();
    QProcess worker;
    worker.start(QStringLiteral(LEAFMARK_WORKER_PATH), {scratch});
    worker.closeWriteChannel();
    QVERIFY(worker.waitForFinished(EventWait::CeilingMs));
    const QString report = QString::fromLocal8Bit(worker.readAllStandardError()).trimmed();

    QCOMPARE(report.count(QLatin1Char('\n')), 0);
    QVERIFY2(report.startsWith(QLatin1String("leafmark-worker: confined: no new privileges")),
             qPrintable(report));
    const int landlock = landlockVersion();
    QVERIFY2(report.contains(QStringLiteral("writes only in %1, starts only gs and potrace "
                                            "(Landlock ABI %2)")
                                 .arg(scratch)
                                 .arg(landlock)) == (landlock > 0),
             qPrintable(report));
    QVERIFY2(report.contains(QStringLiteral("reads only system files and its working folder once "
                                            "started, each request in a child of its own that "
                                            "writes only in its working folder; documents come "
                                            "open")) == (landlock > 0),
             qPrintable(report));
    QVERIFY2(report.contains(QLatin1String("no sockets, no ptrace, no metadata changes, no "
                                           "namespaces, no programs from memory, no raised "
                                           "limits, no locks or leases (seccomp)")),
             qPrintable(report));
    QVERIFY2(report.endsWith(QLatin1String("Not in force: own namespaces (not started in them)")),
             qPrintable(report));
}

void ConfinementTest::runsInNamespacesOfItsOwn()
{
    if (!userNamespacesOffered())
        QSKIP("this kernel gives no user namespaces; the worker runs without them");
    WorkerConverter converter{QStringLiteral(LEAFMARK_WORKER_PATH)};
    QCOMPARE(converter.start(), QString());
    const pid_t worker = workerOfThisProcess();
    QVERIFY(worker > 0);

    QCOMPARE(namespacedIds(worker), QStringList({QString::number(worker), QStringLiteral("1")}));
    const QString self = QString::number(::getpid());
    for (const QString &kind : {QStringLiteral("user"), QStringLiteral("net")})
        QVERIFY(namespaceOf(QString::number(worker), kind) != namespaceOf(self, kind));
}

QTEST_GUILESS_MAIN(ConfinementTest)
#include "tst_confinement.moc"
