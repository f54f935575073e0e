#include "support/WorkerFixture.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTest>

namespace {

QRgb pixelAt(const DecodedImage &image, int x, int y)
{
    const auto *p = reinterpret_cast<const uchar *>(image.rgba.constData()) +
                    (qsizetype(y) * image.width + x) * 4;
    return qRgba(p[0], p[1], p[2], p[3]);
}

} // namespace

// What the worker writes in each format and at each size, and what it decodes.
class WorkerFormatsTest : public QObject, protected WorkerFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startWorker(); }

    void formats_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("content");
        static const struct
        {
            const char *extension;
            const char *content;
        } rows[] = {{"png", "PNG"}, {"jpg", "JPEG"}, {"jpeg", "JPEG"}, {"tiff", "TIFF"},
                    {"gif", "GIF"}, {"bmp", "BMP"},  {"tif", "TIFF"},  {"eps", "EPS"},
                    {"svg", "SVG"}, {"mif", "MIFF"}, {"wmf", ""}};
        for (const auto &row : rows)
            QTest::newRow(row.extension) << QString(row.extension) << QString(row.content);
    }

    void formats()
    {
        QFETCH(QString, extension);
        QFETCH(QString, content);
        const QString folder = freshFolder();
        const QString pdf = makePdf(folder, QStringLiteral("page.pdf"));
        const QString output = folder + QStringLiteral("/page.") + extension;

        const ConversionResult result = m_converter.Convert(thumbnailJob(pdf, output));

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
        const DecodedImage image = m_decoder.decodeImage(output);
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

    void geometry_data()
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

    void geometry()
    {
        QFETCH(QSizeF, page);
        QFETCH(QString, geometry);
        QFETCH(QSize, size);
        const QString folder = freshFolder();
        const QString pdf = makePdf(folder, QStringLiteral("page.pdf"), page);
        const QString output = folder + QStringLiteral("/page.png");

        const ConversionResult result = m_converter.Convert(thumbnailJob(pdf, output, geometry));

        QCOMPARE(result.text, QStringLiteral("%1,%2,PDF").arg(size.width()).arg(size.height()));
        QCOMPARE(QImage(output).size(), size);
    }

    void decodeFailures_data()
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

    void decodeFailures()
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

        QVERIFY(m_decoder.decodeImage(path).isNull());

        QImage small(3, 2, QImage::Format_RGB32);
        small.fill(Qt::red);
        QVERIFY(small.save(folder + QStringLiteral("/small.png")));
        const DecodedImage decoded = m_decoder.decodeImage(folder + QStringLiteral("/small.png"));
        QCOMPARE(QSize(decoded.width, decoded.height), QSize(3, 2));
        QCOMPARE(pixelAt(decoded, 2, 1), qRgba(255, 0, 0, 255));
    }

private:
    // Qt reads some of the formats itself, which checks the worker's decoding too.
    QSize pixelSize(const QString &path)
    {
        QImageReader reader(path);
        if (reader.canRead())
            return reader.size();
        const DecodedImage image = m_decoder.decodeImage(path);
        return QSize(image.width, image.height);
    }
};

QTEST_MAIN(WorkerFormatsTest)
#include "tst_workerconverter_formats.moc"
