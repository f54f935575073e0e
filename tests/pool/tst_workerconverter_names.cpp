#include "support/WorkerFixture.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QScopeGuard>
#include <QTest>

namespace {

// What the walk does: drop the last three characters, add the format.
QString outputNameFor(const QString &pdfName, const QString &format = QStringLiteral("png"))
{
    return pdfName.chopped(3) + format;
}

} // namespace

// Names ImageMagick would read as something else: each PDF is read and each
// thumbnail written under exactly its own name.
class WorkerNamesTest : public QObject, protected WorkerFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startWorker(); }

    void specialNames_data()
    {
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<QString>("name");
        // PDFs of another page shape that ImageMagick would read instead, were it
        // to expand or glob the name.
        QTest::addColumn<QStringList>("decoys");
        static const struct
        {
            const char *tag;
            const char *folderName;
            const char *name;
            QStringList decoys;
        } rows[] = {
            {"escape %d", "plain", "report%d.pdf", {"report0.pdf"}},
            {"escape %%", "plain", "100%%.pdf", {"100%.pdf"}},
            {"escape %[...]", "plain", "a%[width]b.pdf", {}},
            {"escapes %o %x %s", "plain", "%o%x%s.pdf", {}},
            {"frame [0]", "plain", "scan[0].pdf", {"scan0.pdf"}},
            {"ends in [0]", "plain", "old.pdf[0].pdf", {"old.pdf"}},
            {"star", "plain", "*.pdf", {"a.pdf"}},
            {"question mark", "plain", "?.pdf", {"q.pdf"}},
            {"braces", "plain", "{a,b}.pdf", {"a.pdf", "b.pdf"}},
            {"colon", "plain", "png:x.pdf", {"x.pdf"}},
            {"at", "plain", "@list.pdf", {}},
            {"leading dash", "plain", "-density.pdf", {}},
            {"quotes", "plain", "it's \"quoted\".pdf", {}},
            {"blanks", "plain", " two  blanks .pdf", {}},
            {"non-ASCII", "plain", "Größe ñ 文書.pdf", {}},
            {"folders", "%d [0] * {x} ü", "page.pdf", {}},
        };
        for (const auto &row : rows)
            QTest::newRow(row.tag) << QString(row.folderName) << QString(row.name) << row.decoys;
    }

    void specialNames()
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
            m_converter.Convert(thumbnailJob(pdf, outFolder + QLatin1Char('/') + outputName));

        QVERIFY2(result.succeeded(), qPrintable(result.failureReason));
        QCOMPARE(result.text, QStringLiteral("88,125,PDF"));
        QCOMPARE(entriesOf(outFolder), QStringList{outputName});
        QCOMPARE(QImage(outFolder + QLatin1Char('/') + outputName).size(), QSize(88, 125));
    }

    // Names that ImageMagick would take for an option, a list file or a format
    // prefix when they stand at the start of an argument.
    void relativeNames()
    {
        const QString folder = freshFolder();
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder));
        const auto restore = qScopeGuard([&] { QDir::setCurrent(before); });
        for (const QString &name : {QStringLiteral("-thumbnail.pdf"), QStringLiteral("@list.pdf"),
                                    QStringLiteral("png:x.pdf")}) {
            QVERIFY(writePdf(name));
            const ConversionResult result =
                m_converter.Convert(thumbnailJob(name, outputNameFor(name)));
            QVERIFY2(result.succeeded(),
                     qPrintable(name + QLatin1String(": ") + result.failureReason));
            QCOMPARE(sniffFormat(folder + QLatin1Char('/') + outputNameFor(name)),
                     QStringLiteral("PNG"));
        }
    }

    // ImageMagick ends its own process on a path longer than 4,095 bytes, which
    // the input would be with "[0]" added.
    void pathsAtTheLengthLimit()
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

        const ConversionResult result = m_converter.Convert(thumbnailJob(pdf, output));

        QVERIFY2(result.succeeded(), qPrintable(result.failureReason));
        QCOMPARE(sniffFormat(output), QStringLiteral("PNG"));
    }
};

QTEST_MAIN(WorkerNamesTest)
#include "tst_workerconverter_names.moc"
