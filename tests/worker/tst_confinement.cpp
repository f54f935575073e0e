// The worker's confinement, through the real worker: what a document that took
// over Ghostscript would try is refused, ImageMagick's coders with side effects
// are not used, and the worker reports what holds.

#include "support/WorkerFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>
#include <QUuid>

#include <linux/landlock.h>
#include <sys/syscall.h>
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

pid_t workerOfThisProcess()
{
    const QString self = QString::number(::getpid());
    const QString worker = QFileInfo(QStringLiteral(LEAFMARK_WORKER_PATH)).canonicalFilePath();
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
    bool displayWasContacted();

    // A display of our own, so that a coder that opens a window or a probe
    // that goes for the X server would be seen knocking.
    QLocalServer m_display;
    QString m_displayName;
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
}

void ConfinementTest::cleanupTestCase()
{
    m_display.close();
}

// Takes what came, so that the next case starts afresh.
bool ConfinementTest::displayWasContacted()
{
    m_display.waitForNewConnection(100);
    const bool contacted = m_display.hasPendingConnections();
    while (m_display.hasPendingConnections())
        delete m_display.nextPendingConnection();
    return contacted;
}

void ConfinementTest::escapesFromAConversion_data()
{
    QTest::addColumn<bool>("confined");
    // Unconfined, the probe must get through: else it would prove nothing.
    QTest::newRow("confined") << true;
    QTest::newRow("unconfined") << false;
}

void ConfinementTest::escapesFromAConversion()
{
    QFETCH(bool, confined);
    const QString folder = freshFolder();
    const QString marker = QStringLiteral("escape-") + QUuid::createUuid().toString(QUuid::Id128);
    const QString pdf = folder + QLatin1Char('/') + marker + QStringLiteral(".pdf");
    QVERIFY(writePdf(pdf));
    const QString output = freshFolder();
    const QStringList folders = {QDir::homePath(), output, QDir::tempPath()};
    QTcpServer tcp;
    QVERIFY(tcp.listen(QHostAddress::LocalHost));
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::LocalHost));
    QByteArray setting =
        "on=" + marker.toLatin1() + "\ntcp=" + QByteArray::number(tcp.serverPort()) +
        "\nudp=" + QByteArray::number(udp.localPort()) +
        "\nunix=" + QFile::encodeName(m_display.fullServerName()) + "\nrun=/bin/sh";
    for (const QString &target : folders)
        setting += "\ncreate=" + QFile::encodeName(target);
    const auto removeEscaped = qScopeGuard([&] {
        for (const QString &target : folders)
            QFile::remove(target + QStringLiteral("/leafmark-escaped"));
    });

    qputenv("LEAFMARK_WORKER_ESCAPE", setting);
    if (!confined)
        qputenv("LEAFMARK_WORKER_CONFINEMENT", "off");
    WorkerConverter converter{QStringLiteral(LEAFMARK_PROBE_WORKER_PATH)};
    const QString startProblem = converter.start();
    qunsetenv("LEAFMARK_WORKER_ESCAPE");
    qunsetenv("LEAFMARK_WORKER_CONFINEMENT");
    QCOMPARE(startProblem, QString());
    const QString thumbnail = output + QLatin1Char('/') + marker + QStringLiteral(".png");
    const ConversionResult result = converter.Convert(thumbnailJob(pdf, thumbnail));

    if (!confined) {
        for (const QString &target : folders)
            QVERIFY(result.failureReason.contains(QStringLiteral("created ") + target));
        QVERIFY(result.failureReason.contains(QLatin1String("opened a TCP socket")));
        QVERIFY(result.failureReason.contains(QLatin1String("opened a UDP socket")));
        QVERIFY(result.failureReason.contains(QLatin1String("opened a UNIX socket and connected")));
        QVERIFY(displayWasContacted());
        QVERIFY(result.failureReason.contains(QLatin1String("started /bin/sh")));
        return;
    }
    QVERIFY2(result.succeeded(), qPrintable(result.failureReason));
    QCOMPARE(sniffFormat(thumbnail), QStringLiteral("PNG"));
    for (const QString &target : folders)
        QVERIFY2(!QFileInfo::exists(target + QStringLiteral("/leafmark-escaped")),
                 qPrintable(target));
    QVERIFY(!tcp.waitForNewConnection(100));
    QVERIFY(!udp.hasPendingDatagrams());
    QVERIFY(!displayWasContacted());
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
    QVERIFY(worker.waitForFinished(10000));
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
    QVERIFY2(report.contains(QLatin1String("no sockets, no ptrace (seccomp)")), qPrintable(report));
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
