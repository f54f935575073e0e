// What the confinement refuses while documents render, as the tests' worker
// records it: a missing resource fails here, not as a garbled thumbnail.

#include "support/WorkerFixture.h"

#include <QTest>
#include <QUuid>

namespace {

const QByteArray standardFonts =
    "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
    " /F2 << /Type /Font /Subtype /Type1 /BaseFont /Times-Italic >>"
    " /F3 << /Type /Font /Subtype /Type1 /BaseFont /Courier-Bold >>"
    " /F4 << /Type /Font /Subtype /Type1 /BaseFont /Symbol >> >>";
const QByteArray standardText =
    "BT /F1 30 Tf 20 340 Td (Leafmark) Tj /F2 30 Tf 0 -50 Td (Leafmark) "
    "Tj /F3 30 Tf 0 -50 Td (Leafmark) Tj /F4 30 Tf 0 -50 Td (abc) Tj ET";
// Not embedded, so that Ghostscript substitutes a system CJK font through its
// CID font map and reads a CMap of poppler's.
const QByteArray chineseFont =
    "/Font << /F1 << /Type /Font /Subtype /Type0 /BaseFont /MSung-Light /Encoding /UniCNS-UCS2-H"
    " /DescendantFonts [<< /Type /Font /Subtype /CIDFontType0 /BaseFont /MSung-Light"
    " /CIDSystemInfo << /Registry (Adobe) /Ordering (CNS1) /Supplement 4 >>"
    " /FontDescriptor << /Type /FontDescriptor /FontName /MSung-Light /Flags 6"
    " /FontBBox [0 -200 1000 900] /ItalicAngle 0 /Ascent 900 /Descent -200 /CapHeight 700"
    " /StemV 80 >> >>] >> >>";

RawPdfPage pageOfKind(const QString &kind)
{
    RawPdfPage page;
    page.resources = standardFonts;
    page.content = standardText;
    if (kind == QLatin1String("cmyk")) {
        page.content = "0 1 1 0 k 30 30 120 120 re f 1 0 0 0.2 k 150 200 100 150 re f";
    } else if (kind == QLatin1String("transparent")) {
        page.resources += " /ExtGState << /G0 << /ca 0.5 /BM /Multiply >> >>";
        page.content = "/G0 gs 1 0 0 rg 20 20 200 200 re f 0 0 1 rg 80 120 200 200 re f";
    } else if (kind == QLatin1String("image")) {
        page.imageSize = QSize(64, 64);
        page.imageRgb = QByteArray(64 * 64 * 3, '\x7f');
        page.content = "q 300 0 0 400 0 0 cm /Im0 Do Q";
    } else if (kind == QLatin1String("chinese, not embedded")) {
        page.resources = chineseFont;
        page.content = "BT /F1 40 Tf 20 300 Td <4E2D65874F60597D> Tj ET";
    }
    return page;
}

QStringList lines(const QString &path)
{
    return QString::fromLocal8Bit(readWhole(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class ReadSetTest : public QObject, protected WorkerFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_record = m_root.filePath(QStringLiteral("refusals"));
        qputenv("LEAFMARK_WORKER_REFUSALS", QFile::encodeName(m_record));
        startWorker();
        qunsetenv("LEAFMARK_WORKER_REFUSALS");
    }

    // A file the rules keep out, opened from inside a conversion, is recorded.
    void recordsRefusals()
    {
        const QString folder = freshFolder();
        const QString secret = folder + QStringLiteral("/secret");
        QVERIFY(writeBytes(secret, "not for the renderer\n"));
        const QString marker =
            QStringLiteral("probe-") + QUuid::createUuid().toString(QUuid::Id128);
        const QString pdf = makePdf(folder, marker + QStringLiteral(".pdf"));
        const QString record = folder + QStringLiteral("/refusals");
        qputenv("LEAFMARK_WORKER_REFUSALS", QFile::encodeName(record));
        qputenv("LEAFMARK_WORKER_ESCAPE",
                "on=" + marker.toLatin1() + "\nread=" + QFile::encodeName(secret));
        WorkerConverter converter{QStringLiteral(LEAFMARK_WORKER_PATH), 1};
        const QString startProblem = converter.start();
        qunsetenv("LEAFMARK_WORKER_REFUSALS");
        qunsetenv("LEAFMARK_WORKER_ESCAPE");
        QCOMPARE(startProblem, QString());

        const ConversionResult result =
            converter.Convert(thumbnailJob(pdf, folder + QStringLiteral("/thumb.png")));

        QVERIFY2(result.succeeded(), qPrintable(result.failureReason));
        QVERIFY2(lines(record).contains(secret), qPrintable(lines(record).join(u' ')));
    }

    void rendersWithoutRefusals_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"standard fonts", "cmyk", "transparent", "image",
                                 "chinese, not embedded", "identity-h"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void rendersWithoutRefusals()
    {
        QFETCH(QString, kind);
        const QString folder = freshFolder();
        const QString pdf = folder + QStringLiteral("/page.pdf");
        QVERIFY(kind == QLatin1String("identity-h") ? writeIdentityHPdf(pdf)
                                                    : writeRawPdf(pdf, pageOfKind(kind)));
        const qsizetype before = lines(m_record).size();

        for (const char *geometry : {"88x", "200x200"}) {
            const ConversionResult result = m_converter.Convert(thumbnailJob(
                pdf, folder + QStringLiteral("/thumb.png"), QString::fromLatin1(geometry)));
            QVERIFY2(result.succeeded(), qPrintable(result.failureReason));
        }

        const QStringList refused = lines(m_record).mid(before);
        QVERIFY2(refused.isEmpty(), qPrintable(refused.join(u' ')));
    }

private:
    QString m_record;
};

QTEST_MAIN(ReadSetTest)
#include "tst_readset.moc"
