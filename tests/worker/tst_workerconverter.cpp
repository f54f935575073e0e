#include "TestFiles.h"
#include "run/WorkerConverter.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <atomic>
#include <chrono>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QSizeF portraitA4(595, 842);
const QSizeF landscapeA4(842, 595);

QStringList convertArguments(const QString &pdf, const QString &output,
                             const QString &geometry = QStringLiteral("88x"))
{
    return {QStringLiteral("-thumbnail"), geometry,
            QStringLiteral("-alpha"),     QStringLiteral("Remove"),
            pdf + QStringLiteral("[0]"),  output};
}

// What the walk does: drop the last three characters, add the format.
QString outputNameFor(const QString &pdfName, const QString &format = QStringLiteral("png"))
{
    return pdfName.chopped(3) + format;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

mode_t permissionsOf(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

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

QRgb pixelAt(const DecodedImage &image, int x, int y)
{
    const auto *p = reinterpret_cast<const uchar *>(image.rgba.constData()) +
                    (qsizetype(y) * image.width + x) * 4;
    return qRgba(p[0], p[1], p[2], p[3]);
}

} // namespace

class WorkerConverterTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void formats_data();
    void formats();
    void geometry_data();
    void geometry();
    void unreadableInputs_data();
    void unreadableInputs();
    void specialNames_data();
    void specialNames();
    void relativeNames();
    void pathsAtTheLengthLimit();

    void failureKeepsExistingThumbnail();
    void missingOutputFolder();
    void permissionsOfThumbnails();

    void decodeFailures_data();
    void decodeFailures();

    void crashingWorker();
    void hangingWorker();
    void workerProgramMissing();
    void ghostscriptMissing();

private:
    QString freshFolder();
    QString makePdf(const QString &folder, const QString &name, QSizeF page = portraitA4);
    QSize pixelSize(const QString &path);

    QTemporaryDir m_root;
    int m_folderCount = 0;
    WorkerConverter m_converter{QStringLiteral(LEAFMARK_WORKER_PATH)};
};

void WorkerConverterTest::initTestCase()
{
    QVERIFY(m_root.isValid());
    // The worker takes its umask from us when it starts.
    ::umask(022);
    QCOMPARE(m_converter.start(), QString());
}

QString WorkerConverterTest::freshFolder()
{
    const QString folder = m_root.filePath(QString::number(++m_folderCount));
    return QDir().mkpath(folder) ? folder : QString();
}

QString WorkerConverterTest::makePdf(const QString &folder, const QString &name, QSizeF page)
{
    const QString path = folder + QLatin1Char('/') + name;
    return writePdf(path, 1, page) ? path : QString();
}

// Qt reads some of the formats itself, which checks the worker's decoding too.
QSize WorkerConverterTest::pixelSize(const QString &path)
{
    QImageReader reader(path);
    if (reader.canRead())
        return reader.size();
    const DecodedImage image = m_converter.decodeImage(path);
    return QSize(image.width, image.height);
}

void WorkerConverterTest::formats_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("content");

    QTest::newRow("png") << "png"
                         << "PNG";
    QTest::newRow("jpg") << "jpg"
                         << "JPEG";
    QTest::newRow("jpeg") << "jpeg"
                          << "JPEG";
    QTest::newRow("tiff") << "tiff"
                          << "TIFF";
    QTest::newRow("gif") << "gif"
                         << "GIF";
    QTest::newRow("bmp") << "bmp"
                         << "BMP";
    QTest::newRow("tif") << "tif"
                         << "TIFF";
    QTest::newRow("eps") << "eps"
                         << "EPS";
    QTest::newRow("svg") << "svg"
                         << "SVG";
    QTest::newRow("mif") << "mif"
                         << "MIFF";
    QTest::newRow("wmf") << "wmf"
                         << "";
}

void WorkerConverterTest::formats()
{
    QFETCH(QString, extension);
    QFETCH(QString, content);
    const QString folder = freshFolder();
    const QString pdf = makePdf(folder, QStringLiteral("page.pdf"));
    const QString output = folder + QStringLiteral("/page.") + extension;

    const ConversionResult result = m_converter.Convert(convertArguments(pdf, output));

    if (content.isEmpty()) {
        QCOMPARE(result.text, QString());
        QVERIFY(result.failureReason.contains(QLatin1String("WMF")));
        QVERIFY(!QFileInfo::exists(output));
        return;
    }
    QVERIFY2(result.succeeded(), qPrintable(result.failureReason));
    QVERIFY2(result.text.startsWith(QLatin1String("88,125,")), qPrintable(result.text));
    QCOMPARE(sniffFormat(output), content);
    QCOMPARE(pixelSize(output), QSize(88, 125));

    // The page is white with a dark blue block in its upper half; the SVG
    // trace keeps it as black on white.
    const DecodedImage image = m_converter.decodeImage(output);
    QCOMPARE(QSize(image.width, image.height), QSize(88, 125));
    const QRgb block = pixelAt(image, 44, 40);
    const QRgb paper = pixelAt(image, 44, 110);
    QVERIFY2(qRed(block) + qGreen(block) + qBlue(block) < 300,
             qPrintable(QString::number(block, 16)));
    QVERIFY2(qMin(qRed(paper), qMin(qGreen(paper), qBlue(paper))) > 220,
             qPrintable(QString::number(paper, 16)));
    if (extension != QLatin1String("svg"))
        QVERIFY(qBlue(block) > qRed(block) + 40);
    QCOMPARE(qAlpha(block), 255);
}

void WorkerConverterTest::geometry_data()
{
    QTest::addColumn<QSizeF>("page");
    QTest::addColumn<QString>("geometry");
    QTest::addColumn<QSize>("size");

    QTest::newRow("portrait 88x") << portraitA4 << "88x" << QSize(88, 125);
    QTest::newRow("portrait x125") << portraitA4 << "x125" << QSize(88, 125);
    QTest::newRow("portrait 88x125") << portraitA4 << "88x125" << QSize(88, 125);
    QTest::newRow("landscape 88x") << landscapeA4 << "88x" << QSize(88, 62);
    QTest::newRow("landscape x125") << landscapeA4 << "x125" << QSize(177, 125);
    QTest::newRow("landscape 88x125") << landscapeA4 << "88x125" << QSize(88, 62);
}

void WorkerConverterTest::geometry()
{
    QFETCH(QSizeF, page);
    QFETCH(QString, geometry);
    QFETCH(QSize, size);
    const QString folder = freshFolder();
    const QString pdf = makePdf(folder, QStringLiteral("page.pdf"), page);
    const QString output = folder + QStringLiteral("/page.png");

    const ConversionResult result = m_converter.Convert(convertArguments(pdf, output, geometry));

    QCOMPARE(result.text, QStringLiteral("%1,%2,PDF").arg(size.width()).arg(size.height()));
    QCOMPARE(QImage(output).size(), size);
}

void WorkerConverterTest::unreadableInputs_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reasonStart");

    QTest::newRow("truncated") << "truncated"
                               << "not a PDF or damaged";
    QTest::newRow("empty") << "empty"
                           << "not a PDF or damaged";
    QTest::newRow("text") << "text"
                          << "not a PDF or damaged";
    QTest::newRow("postscript") << "postscript"
                                << "not a PDF or damaged";
    QTest::newRow("folder") << "folder"
                            << "cannot read the PDF";
    QTest::newRow("missing") << "missing"
                             << "cannot read the PDF";
}

// Each failure leaves no file behind, and the worker converts the next PDF.
void WorkerConverterTest::unreadableInputs()
{
    QFETCH(QString, kind);
    QFETCH(QString, reasonStart);
    const QString folder = freshFolder();
    const QString input = folder + QStringLiteral("/bad.pdf");
    if (kind == QLatin1String("truncated")) {
        const QString whole = makePdf(folder, QStringLiteral("whole.pdf"));
        QFile source(whole);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY(writeBytes(input, source.read(source.size() / 2)));
    } else if (kind == QLatin1String("empty")) {
        QVERIFY(writeBytes(input, {}));
    } else if (kind == QLatin1String("text")) {
        QVERIFY(writeBytes(input, "Just some words, no document.\n"));
    } else if (kind == QLatin1String("postscript")) {
        QVERIFY(writeBytes(input, "%!PS\n{ } loop\n"));
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(input));
    }
    const QString output = folder + QStringLiteral("/bad.png");

    const ConversionResult failure = m_converter.Convert(convertArguments(input, output));

    QCOMPARE(failure.text, QString());
    QVERIFY2(failure.failureReason.startsWith(reasonStart), qPrintable(failure.failureReason));
    QVERIFY(!QFileInfo(output).exists());

    const QString good = makePdf(folder, QStringLiteral("good.pdf"));
    QVERIFY(m_converter.Convert(convertArguments(good, folder + QStringLiteral("/good.png")))
                .succeeded());
}

void WorkerConverterTest::specialNames_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("name");
    // PDFs of another page shape that ImageMagick would read instead, were it
    // to expand or glob the name.
    QTest::addColumn<QStringList>("decoys");

    QTest::newRow("escape %d") << "plain"
                               << "report%d.pdf" << QStringList{"report0.pdf"};
    QTest::newRow("escape %%") << "plain"
                               << "100%%.pdf" << QStringList{"100%.pdf"};
    QTest::newRow("escape %[...]") << "plain"
                                   << "a%[width]b.pdf" << QStringList{};
    QTest::newRow("escapes %o %x %s") << "plain"
                                      << "%o%x%s.pdf" << QStringList{};
    QTest::newRow("frame [0]") << "plain"
                               << "scan[0].pdf" << QStringList{"scan0.pdf"};
    QTest::newRow("ends in [0]") << "plain"
                                 << "old.pdf[0].pdf" << QStringList{"old.pdf"};
    QTest::newRow("star") << "plain"
                          << "*.pdf" << QStringList{"a.pdf"};
    QTest::newRow("question mark") << "plain"
                                   << "?.pdf" << QStringList{"q.pdf"};
    QTest::newRow("braces") << "plain"
                            << "{a,b}.pdf" << QStringList{"a.pdf", "b.pdf"};
    QTest::newRow("colon") << "plain"
                           << "png:x.pdf" << QStringList{"x.pdf"};
    QTest::newRow("at") << "plain"
                        << "@list.pdf" << QStringList{};
    QTest::newRow("leading dash") << "plain"
                                  << "-density.pdf" << QStringList{};
    QTest::newRow("quotes") << "plain"
                            << "it's \"quoted\".pdf" << QStringList{};
    QTest::newRow("blanks") << "plain"
                            << " two  blanks .pdf" << QStringList{};
    QTest::newRow("non-ASCII") << "plain"
                               << "Größe ñ 文書.pdf" << QStringList{};
    QTest::newRow("folders") << "%d [0] * {x} ü"
                             << "page.pdf" << QStringList{};
}

// The PDF is read from exactly its path, the thumbnail written under exactly
// its name.
void WorkerConverterTest::specialNames()
{
    QFETCH(QString, folderName);
    QFETCH(QString, name);
    QFETCH(QStringList, decoys);
    const QString base = freshFolder();
    const QString inFolder = base + QStringLiteral("/in ") + folderName;
    const QString outFolder = base + QStringLiteral("/out ") + folderName;
    QVERIFY(QDir().mkpath(inFolder) && QDir().mkpath(outFolder));
    const QString pdf = makePdf(inFolder, name, portraitA4);
    QVERIFY(!pdf.isEmpty());
    for (const QString &decoy : decoys)
        QVERIFY(!makePdf(inFolder, decoy, landscapeA4).isEmpty());
    const QString outputName = outputNameFor(name);

    const ConversionResult result =
        m_converter.Convert(convertArguments(pdf, outFolder + QLatin1Char('/') + outputName));

    QVERIFY2(result.succeeded(), qPrintable(result.failureReason));
    QCOMPARE(result.text, QStringLiteral("88,125,PDF"));
    QCOMPARE(entriesOf(outFolder), QStringList{outputName});
    QCOMPARE(QImage(outFolder + QLatin1Char('/') + outputName).size(), QSize(88, 125));
}

// Names that ImageMagick would take for an option, a list file or a format
// prefix when they stand at the start of an argument.
void WorkerConverterTest::relativeNames()
{
    const QString folder = freshFolder();
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(before); });
    for (const QString &name : {QStringLiteral("-thumbnail.pdf"), QStringLiteral("@list.pdf"),
                                QStringLiteral("png:x.pdf")}) {
        QVERIFY(writePdf(name));
        const ConversionResult result =
            m_converter.Convert(convertArguments(name, outputNameFor(name)));
        QVERIFY2(result.succeeded(), qPrintable(name + QLatin1String(": ") + result.failureReason));
        QCOMPARE(sniffFormat(folder + QLatin1Char('/') + outputNameFor(name)),
                 QStringLiteral("PNG"));
    }
}

// ImageMagick ends its own process on a path longer than 4,095 bytes, which
// the input would be with "[0]" added.
void WorkerConverterTest::pathsAtTheLengthLimit()
{
    constexpr int pathMax = 4095;
    QString folder = freshFolder();
    const QString name = QStringLiteral("x.pdf");
    while (folder.size() + 1 + name.size() < pathMax) {
        const int room = pathMax - folder.size() - 1 - name.size() - 1;
        folder += QLatin1Char('/') + QString(qMin(200, room), QLatin1Char('d'));
        QVERIFY(QDir().mkpath(folder));
    }
    const QString pdf = makePdf(folder, name);
    QCOMPARE(QFile::encodeName(pdf).size(), pathMax);
    const QString output = folder + QStringLiteral("/x.png");

    const ConversionResult result = m_converter.Convert(convertArguments(pdf, output));

    QVERIFY2(result.succeeded(), qPrintable(result.failureReason));
    QCOMPARE(sniffFormat(output), QStringLiteral("PNG"));
}

void WorkerConverterTest::failureKeepsExistingThumbnail()
{
    const QString folder = freshFolder();
    const QString broken = folder + QStringLiteral("/broken.pdf");
    QVERIFY(writeBytes(broken, "%PDF-1.4\nnothing else\n"));
    const QString thumbnail = folder + QStringLiteral("/broken.png");
    QVERIFY(writeBytes(thumbnail, "the thumbnail of an earlier run"));

    QVERIFY(!m_converter.Convert(convertArguments(broken, thumbnail)).succeeded());
    QVERIFY(!m_converter.Convert(convertArguments(broken, folder + QStringLiteral("/broken.wmf")))
                 .succeeded());

    QFile kept(thumbnail);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("the thumbnail of an earlier run"));
    QCOMPARE(entriesOf(folder), (QStringList{"broken.pdf", "broken.png"}));
}

void WorkerConverterTest::missingOutputFolder()
{
    const QString folder = freshFolder();
    const QString pdf = makePdf(folder, QStringLiteral("page.pdf"));

    const ConversionResult result =
        m_converter.Convert(convertArguments(pdf, folder + QStringLiteral("/not there/page.png")));

    QCOMPARE(result.text, QString());
    QVERIFY2(result.failureReason.startsWith(QLatin1String("could not write the thumbnail")),
             qPrintable(result.failureReason));
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/not there")));
}

// New thumbnails get what the umask (022 here) gives an ordinary new file,
// even SVG, which ImageMagick itself writes as 0600; a thumbnail written over
// keeps its permissions.
void WorkerConverterTest::permissionsOfThumbnails()
{
    const QString folder = freshFolder();
    const QString pdf = makePdf(folder, QStringLiteral("page.pdf"));
    for (const QString &extension : {QStringLiteral("png"), QStringLiteral("svg")}) {
        const QString output = folder + QStringLiteral("/page.") + extension;
        QVERIFY(m_converter.Convert(convertArguments(pdf, output)).succeeded());
        QCOMPARE(permissionsOf(output), mode_t(0644));
    }
    const QString existing = folder + QStringLiteral("/existing.png");
    QVERIFY(writeBytes(existing, "old"));
    QVERIFY(::chmod(QFile::encodeName(existing).constData(), 0640) == 0);
    QVERIFY(m_converter.Convert(convertArguments(pdf, existing)).succeeded());
    QCOMPARE(sniffFormat(existing), QStringLiteral("PNG"));
    QCOMPARE(permissionsOf(existing), mode_t(0640));
}

void WorkerConverterTest::decodeFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("missing") << "missing.png" << QByteArray();
    QTest::newRow("garbage") << "garbage.png" << QByteArray(5000, '\xA7');
    QTest::newRow("PNG header only")
        << "cut.png" << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    QTest::newRow("PDF under an image name") << "page.png" << QByteArray("%PDF-1.4\n");
    QTest::newRow("too many pixels") << "huge.png" << QByteArray();
}

void WorkerConverterTest::decodeFailures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    const QString folder = freshFolder();
    const QString path = folder + QLatin1Char('/') + name;
    if (name == QLatin1String("huge.png")) {
        QImage huge(6000, 6000, QImage::Format_Mono);
        huge.fill(0);
        QVERIFY(huge.save(path));
    } else if (!content.isEmpty()) {
        QVERIFY(writeBytes(path, content));
    }

    QVERIFY(m_converter.decodeImage(path).isNull());

    QImage small(3, 2, QImage::Format_RGB32);
    small.fill(Qt::red);
    QVERIFY(small.save(folder + QStringLiteral("/small.png")));
    const DecodedImage decoded = m_converter.decodeImage(folder + QStringLiteral("/small.png"));
    QCOMPARE(QSize(decoded.width, decoded.height), QSize(3, 2));
    QCOMPARE(pixelAt(decoded, 2, 1), qRgba(255, 0, 0, 255));
}

void WorkerConverterTest::crashingWorker()
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
        converter.Convert(convertArguments(crashing, folder + QStringLiteral("/crash-here.png")));
    QCOMPARE(crashed.text, QString());
    QCOMPARE(crashed.failureReason, QStringLiteral("the converter stopped unexpectedly"));
    QVERIFY(converter.Convert(convertArguments(good, folder + QStringLiteral("/good.png")))
                .succeeded());

    qputenv("LEAFMARK_WORKER_FAULT", "crash:crash-here");
    QCOMPARE(converter.start(), QString());
    qunsetenv("LEAFMARK_WORKER_FAULT");
    QVERIFY(writeBytes(folder + QStringLiteral("/crash-here.png"), {}));
    QVERIFY(converter.decodeImage(folder + QStringLiteral("/crash-here.png")).isNull());
    QVERIFY(!converter.decodeImage(folder + QStringLiteral("/good.png")).isNull());
}

// The hang happens in a child of the worker, as in a Ghostscript that never
// ends; the time limit has to take both down.
void WorkerConverterTest::hangingWorker()
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

    std::atomic<int> hungProcesses = -1;
    std::thread watcher([&] {
        std::this_thread::sleep_for(1500ms);
        hungProcesses = someProcessHasEnvironment(environmentEntry) ? 1 : 0;
    });
    QElapsedTimer clock;
    clock.start();
    const ConversionResult hung =
        converter.Convert(convertArguments(hanging, folder + QLatin1Char('/') + marker + ".png"));
    const qint64 elapsed = clock.elapsed();
    watcher.join();

    QCOMPARE(hung.text, QString());
    QCOMPARE(hung.failureReason, QStringLiteral("time limit reached"));
    QVERIFY2(elapsed >= 3000 && elapsed < 8000, qPrintable(QString::number(elapsed)));
    QCOMPARE(hungProcesses.load(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!someProcessHasEnvironment(environmentEntry), 3000);
    QVERIFY(converter.Convert(convertArguments(good, folder + QStringLiteral("/good.png")))
                .succeeded());
}

void WorkerConverterTest::workerProgramMissing()
{
    const QString path = m_root.filePath(QStringLiteral("nowhere/leafmark-worker"));
    WorkerConverter converter(path);

    const QString problem = converter.start();

    QVERIFY2(problem.contains(path) && problem.contains(QLatin1String("not found")),
             qPrintable(problem));
    const ConversionResult result = converter.Convert(convertArguments(
        m_root.filePath(QStringLiteral("a.pdf")), m_root.filePath(QStringLiteral("a.png"))));
    QCOMPARE(result.text, QString());
    QCOMPARE(result.failureReason, problem);
}

// Without Ghostscript no PDF can be read, but the preview can still decode.
void WorkerConverterTest::ghostscriptMissing()
{
    const QString folder = freshFolder();
    const QString pdf = makePdf(folder, QStringLiteral("page.pdf"));
    QVERIFY(m_converter.Convert(convertArguments(pdf, folder + QStringLiteral("/page.png")))
                .succeeded());
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(folder));
    WorkerConverter converter{QStringLiteral(LEAFMARK_WORKER_PATH)};
    const QString problem = converter.start();
    qputenv("PATH", path);

    QVERIFY2(problem.contains(QLatin1String("Ghostscript")), qPrintable(problem));
    const ConversionResult result =
        converter.Convert(convertArguments(pdf, folder + QStringLiteral("/again.png")));
    QCOMPARE(result.text, QString());
    QCOMPARE(result.failureReason, problem);
    QCOMPARE(converter.decodeImage(folder + QStringLiteral("/page.png")).width, 88);
}

QTEST_MAIN(WorkerConverterTest)
#include "tst_workerconverter.moc"
