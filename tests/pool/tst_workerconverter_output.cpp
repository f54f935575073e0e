#include "support/WorkerFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

namespace {

mode_t permissionsOf(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

// What a conversion leaves in the output folder when it fails, and the
// permissions of what it writes.
class WorkerOutputTest : public QObject, protected WorkerFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startWorker(); }

    void unreadableInputs_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reasonStart");
        const QString damaged = QStringLiteral("not a PDF or damaged");
        const QString unreadable = QStringLiteral("cannot read the PDF");
        for (const char *kind : {"truncated", "empty", "text", "postscript",
                                 "postscript claiming PDF", "comment claiming PDF"})
            QTest::newRow(kind) << QString(kind) << damaged;
        for (const char *kind : {"folder", "missing"})
            QTest::newRow(kind) << QString(kind) << unreadable;
    }

    // Each failure leaves no file behind, and the worker converts the next PDF.
    void unreadableInputs()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reasonStart);
        const QString folder = freshFolder();
        const QString input = folder + QStringLiteral("/bad.pdf");
        if (kind == QLatin1String("truncated")) {
            const QByteArray whole = readWhole(makePdf(folder, QStringLiteral("whole.pdf")));
            QVERIFY(!whole.isEmpty());
            QVERIFY(writeBytes(input, whole.first(whole.size() / 2)));
        } else if (kind == QLatin1String("empty")) {
            QVERIFY(writeBytes(input, {}));
        } else if (kind == QLatin1String("text")) {
            QVERIFY(writeBytes(input, "Just some words, no document.\n"));
        } else if (kind == QLatin1String("postscript")) {
            QVERIFY(writeBytes(input, "%!PS\n{ } loop\n"));
        } else if (kind == QLatin1String("postscript claiming PDF")) {
            // Ghostscript would run both as PostScript.
            QVERIFY(writeBytes(input, "%!PS\n%PDF-1.4\n{ } loop\n"));
        } else if (kind == QLatin1String("comment claiming PDF")) {
            QVERIFY(writeBytes(input, "%%PDF-1.4\n{ } loop\n"));
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(input));
        }
        const QString output = folder + QStringLiteral("/bad.png");

        const ConversionResult failure = m_converter.Convert(thumbnailJob(input, output));

        QCOMPARE(failure.text, QString());
        QVERIFY2(failure.failureReason.startsWith(reasonStart), qPrintable(failure.failureReason));
        QVERIFY(!QFileInfo(output).exists());

        const QString good = makePdf(folder, QStringLiteral("good.pdf"));
        QVERIFY(m_converter.Convert(thumbnailJob(good, folder + QStringLiteral("/good.png")))
                    .succeeded());
    }

    void failureKeepsExistingThumbnail()
    {
        const QString folder = freshFolder();
        const QString broken = folder + QStringLiteral("/broken.pdf");
        QVERIFY(writeBytes(broken, "%PDF-1.4\nnothing else\n"));
        const QString thumbnail = folder + QStringLiteral("/broken.png");
        QVERIFY(writeBytes(thumbnail, "the thumbnail of an earlier run"));

        QVERIFY(!m_converter.Convert(thumbnailJob(broken, thumbnail)).succeeded());
        QVERIFY(!m_converter.Convert(thumbnailJob(broken, folder + QStringLiteral("/broken.wmf")))
                     .succeeded());

        QCOMPARE(readWhole(thumbnail), QByteArray("the thumbnail of an earlier run"));
        QCOMPARE(entriesOf(folder), (QStringList{"broken.pdf", "broken.png"}));
    }

    void missingOutputFolder()
    {
        const QString folder = freshFolder();
        const QString pdf = makePdf(folder, QStringLiteral("page.pdf"));

        const ConversionResult result =
            m_converter.Convert(thumbnailJob(pdf, folder + QStringLiteral("/not there/page.png")));

        QCOMPARE(result.text, QString());
        QVERIFY2(result.failureReason.startsWith(QLatin1String("could not write the thumbnail")),
                 qPrintable(result.failureReason));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/not there")));
    }

    // New thumbnails get what the umask (022 here) gives an ordinary new file,
    // even SVG, which ImageMagick itself writes as 0600; a thumbnail written over
    // keeps its permissions.
    void permissionsOfThumbnails()
    {
        const QString folder = freshFolder();
        const QString pdf = makePdf(folder, QStringLiteral("page.pdf"));
        for (const QString &extension : {QStringLiteral("png"), QStringLiteral("svg")}) {
            const QString output = folder + QStringLiteral("/page.") + extension;
            QVERIFY(m_converter.Convert(thumbnailJob(pdf, output)).succeeded());
            QCOMPARE(permissionsOf(output), mode_t(0644));
        }
        const QString existing = folder + QStringLiteral("/existing.png");
        QVERIFY(writeBytes(existing, "old"));
        QVERIFY(::chmod(QFile::encodeName(existing).constData(), 0640) == 0);
        QVERIFY(m_converter.Convert(thumbnailJob(pdf, existing)).succeeded());
        QCOMPARE(sniffFormat(existing), QStringLiteral("PNG"));
        QCOMPARE(permissionsOf(existing), mode_t(0640));
    }
};

QTEST_MAIN(WorkerOutputTest)
#include "tst_workerconverter_output.moc"
