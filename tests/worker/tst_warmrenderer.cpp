#include "support/EventWait.h"
#include "support/WorkerFixture.h"

#include "pool/CheckedFile.h"
#include "worker/MagickHandles.h"
#include "worker/Worker.h"

#include <QImage>
#include <QTest>

#include <wand/MagickWand.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

using namespace std::chrono_literals;

namespace {

const QByteArray drawing = "0.2 0.4 0.8 rg 30 30 200 300 re f 0 0 0 RG 5 w 0 0 m 300 400 l S "
                           "BT /F1 36 Tf 20 340 Td (Leafmark) Tj ET";
const QByteArray helvetica =
    "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>";

QByteArray gradientRgb(QSize size)
{
    QByteArray rgb;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            rgb += char(x * 2);
            rgb += char(y * 2);
            rgb += char((x ^ y) * 4);
        }
    }
    return rgb;
}

// Pages that take different ways through ImageMagick and Ghostscript: the
// CMYK device, a rotation, a crop box, a large image, transparency.
RawPdfPage pageOfKind(const QString &kind)
{
    RawPdfPage page;
    page.resources = helvetica;
    page.content = drawing;
    if (kind == QLatin1String("cmyk")) {
        page.resources += " /ColorSpace << /C0 /DeviceCMYK >>";
        page.content = "0 1 1 0 k 30 30 120 120 re f 1 0 0 0.2 k 150 200 100 150 re f";
    } else if (kind == QLatin1String("rotated")) {
        page.pageEntries = "/Rotate 90";
    } else if (kind == QLatin1String("cropped")) {
        page.pageEntries = "/CropBox [40 60 260 300]";
    } else if (kind == QLatin1String("image")) {
        page.imageSize = QSize(128, 128);
        page.imageRgb = gradientRgb(page.imageSize);
        page.content = "q 300 0 0 400 0 0 cm /Im0 Do Q " + drawing;
    } else if (kind == QLatin1String("transparent")) {
        page.resources += " /ExtGState << /G0 << /ca 0.5 >> >>";
        page.content = "/G0 gs 1 0 0 rg 20 20 200 200 re f 0 0 1 rg 80 120 200 200 re f";
    }
    return page;
}

// Besides, a CID font under Identity-H, whose rendering reads Ghostscript's
// CMaps through links into another package's folder.
const QStringList kinds = {QStringLiteral("plain"),     QStringLiteral("cmyk"),
                           QStringLiteral("rotated"),   QStringLiteral("cropped"),
                           QStringLiteral("image"),     QStringLiteral("transparent"),
                           QStringLiteral("identity-h")};

} // namespace

// The worker renders with Ghostscript kept started; its thumbnails must be
// ImageMagick's own, pixel for pixel, whatever came before them.
class WarmRendererTest : public QObject, protected WorkerFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        startWorker();
        m_scratch = freshFolder();
        // As the worker's start-up sets it, for the reference converted here.
        ::setenv("MAGICK_TEMPORARY_PATH", QFile::encodeName(m_scratch).constData(), 1);
        m_reference = std::make_unique<Worker>(m_scratch, Worker::Rendering::Cold);
        m_pdfs = freshFolder();
        for (const QString &kind : kinds) {
            QVERIFY(kind == QLatin1String("identity-h")
                        ? writeIdentityHPdf(pdfOfKind(kind))
                        : writeRawPdf(pdfOfKind(kind), pageOfKind(kind)));
        }
    }
    void cleanupTestCase() { m_reference.reset(); }

    void sameAsImageMagick_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("geometry");
        for (const char *geometry : {"88x", "x120", "200x200"}) {
            for (const QString &kind : kinds) {
                QTest::addRow("%s %s", qPrintable(kind), geometry)
                    << kind << QString::fromLatin1(geometry);
            }
        }
    }
    void sameAsImageMagick()
    {
        QFETCH(QString, kind);
        QFETCH(QString, geometry);
        const QImage expected = imageMagicksOwn(pdfOfKind(kind), geometry);
        QVERIFY(!expected.isNull());
        QCOMPARE(warm(m_converter, pdfOfKind(kind), geometry), expected);
    }

    // Fonts, colour state and page device of one document must not reach
    // the next one.
    void orderDoesNotMatter()
    {
        QList<QImage> forward;
        for (const QString &kind : kinds)
            forward << warm(m_converter, pdfOfKind(kind), QStringLiteral("88x"));
        QList<QImage> backward;
        for (auto kind = kinds.crbegin(); kind != kinds.crend(); ++kind)
            backward.prepend(warm(m_converter, pdfOfKind(*kind), QStringLiteral("88x")));
        QVERIFY(!forward.contains(QImage()));
        QCOMPARE(backward, forward);
    }

    // A document that takes the worker down, or keeps it busy past the time
    // limit, fails alone: the next one, in the worker started anew, is
    // rendered as ImageMagick renders it.
    void faultThenGoodDocument_data()
    {
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("crash") << QByteArray("crash:fault-")
                               << "the converter stopped unexpectedly";
        QTest::newRow("endless page") << QByteArray("hang:fault-") << "time limit reached";
    }
    void faultThenGoodDocument()
    {
        QFETCH(QByteArray, fault);
        QFETCH(QString, reason);
        qputenv("LEAFMARK_WORKER_FAULT", fault);
        WorkerConverter converter{QStringLiteral(LEAFMARK_WORKER_PATH), 1};
        const QString startProblem = converter.start();
        qunsetenv("LEAFMARK_WORKER_FAULT");
        QCOMPARE(startProblem, QString());
        converter.setTimeLimit(1s);
        const QString folder = freshFolder();
        const QString faulty = folder + QStringLiteral("/fault-document.pdf");
        QVERIFY(writeRawPdf(faulty, pageOfKind(QStringLiteral("plain"))));

        const ConversionResult failed =
            converter.Convert(thumbnailJob(faulty, folder + QStringLiteral("/fault-document.png")));

        QCOMPARE(failed.text, QString());
        QCOMPARE(failed.failureReason, reason);
        converter.setTimeLimit(std::chrono::milliseconds(EventWait::CeilingMs));
        const QString good = pdfOfKind(QStringLiteral("image"));
        QCOMPARE(warm(converter, good, QStringLiteral("88x")),
                 imageMagicksOwn(good, QStringLiteral("88x")));
    }

    // Each page is rendered warm under ImageMagick's delegate table as
    // installed, and under one edited as an update or an administrator might:
    // the renderer follows the table, or leaves to a new gs what it cannot
    // take; either way the reply tells which.
    void takesTheWarmPath_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<bool>("warm");
        for (const QString &kind : kinds)
            QTest::addRow("%s", qPrintable(kind)) << kind << QByteArray() << QByteArray() << true;
        QTest::newRow("table without -dNOPROMPT")
            << QStringLiteral("cmyk") << QByteArray(" -dNOPROMPT") << QByteArray() << true;
        QTest::newRow("table with an option after the files")
            << QStringLiteral("plain") << QByteArray("&quot;-f%s&quot;\"")
            << QByteArray("&quot;-f%s&quot; -dNOPROMPT\"") << false;
    }
    void takesTheWarmPath()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(bool, warm);
        WorkerConverter edited{QStringLiteral(LEAFMARK_WORKER_PATH), 1};
        WorkerConverter &converter = from.isEmpty() ? m_converter : edited;
        if (!from.isEmpty()) {
            QVERIFY(editDelegateTable(from, to));
            const QString startProblem = edited.start();
            qunsetenv("MAGICK_CONFIGURE_PATH");
            QCOMPARE(startProblem, QString());
        }
        WorkerProtocol::Request request;
        request.type = WorkerProtocol::RequestType::Convert;
        request.job = thumbnailJob(pdfOfKind(kind), freshFolder() + QStringLiteral("/t.png"));

        const WorkerProtocol::Reply reply = converter.answer(std::move(request));

        QCOMPARE(reply.failure, QString());
        QCOMPARE(reply.renderedWarm, warm ? 1U : 0U);
        QCOMPARE(reply.handedToGs, warm ? 0U : 1U);
        // Under the installed table, sameAsImageMagick compares the pixels.
        if (!from.isEmpty()) {
            const QString geometry = QStringLiteral("88x");
            QCOMPARE(this->warm(converter, pdfOfKind(kind), geometry),
                     imageMagicksOwn(pdfOfKind(kind), geometry));
        }
    }

    // What comes before a PDF's header decides, as in gs's own "run", whether
    // the file is rendered or refused before any rendering.
    void pdfHeaderAsGhostscriptReadsIt_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("pdf");
        QTest::newRow("blanks") << QByteArray("\n\t \0\r") << true;
        QTest::newRow("garbage") << QByteArray("garbage\n") << true;
        QTest::newRow("comments in the garbage") << QByteArray("x %% y %!z\n") << true;
        QTest::newRow("%!PS in the garbage") << QByteArray("x %!PS\n") << false;
        QTest::newRow("header at byte 1018") << QByteArray(1018, 'x') << true;
        QTest::newRow("header at byte 1019") << QByteArray(1019, 'x') << false;
        QTest::newRow("1018 bytes after blanks")
            << QByteArray(200, ' ') + QByteArray(1018, 'x') << true;
        QTest::newRow("%% after blanks") << QByteArray(" %%\n") << false;
    }
    void pdfHeaderAsGhostscriptReadsIt()
    {
        QFETCH(QByteArray, before);
        QFETCH(bool, pdf);
        const QString path = freshFolder() + QStringLiteral("/prefixed.pdf");
        QFile plain(pdfOfKind(QStringLiteral("plain")));
        QFile prefixed(path);
        QVERIFY(plain.open(QIODevice::ReadOnly) && prefixed.open(QIODevice::WriteOnly));
        QVERIFY(prefixed.write(before + plain.readAll()) > 0);
        prefixed.close();
        const QString output = freshFolder() + QStringLiteral("/t.png");

        const ConversionResult result = m_converter.Convert(thumbnailJob(path, output));

        QCOMPARE(result.failureReason,
                 pdf ? QString()
                     : QStringLiteral("not a PDF or damaged: it does not start like a PDF"));
        if (pdf)
            QCOMPARE(QImage(output), imageMagicksOwn(path, QStringLiteral("88x")));
    }

private:
    // A copy of ImageMagick's delegate table, edited, for the worker to find
    // before the installed one.
    bool editDelegateTable(const QByteArray &from, const QByteArray &to)
    {
        const MagickHandles::ExceptionHandle exception = MagickHandles::newException();
        const DelegateInfo *installed = GetDelegateInfo("ps:alpha", nullptr, exception.get());
        QFile table(QString::fromLocal8Bit(installed->path));
        const QString folder = freshFolder();
        QFile copy(folder + QStringLiteral("/delegates.xml"));
        if (!table.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly))
            return false;
        const QByteArray text = table.readAll();
        if (!text.contains(from) || copy.write(QByteArray(text).replace(from, to)) <= 0)
            return false;
        qputenv("MAGICK_CONFIGURE_PATH", QFile::encodeName(folder));
        return true;
    }

    QString pdfOfKind(const QString &kind) const
    {
        return m_pdfs + QLatin1Char('/') + kind + QStringLiteral(".pdf");
    }

    QImage warm(WorkerConverter &converter, const QString &pdf, const QString &geometry)
    {
        const QString output = freshFolder() + QStringLiteral("/thumb.png");
        if (!converter.Convert(thumbnailJob(pdf, output, geometry)).succeeded())
            return QImage();
        return QImage(output);
    }

    // ImageMagick alone, starting a gs of its own for the page.
    QImage imageMagicksOwn(const QString &pdf, const QString &geometry)
    {
        WorkerProtocol::Request request;
        request.type = WorkerProtocol::RequestType::Convert;
        request.job = thumbnailJob(pdf, freshFolder() + QStringLiteral("/thumb.png"), geometry);
        QString problem;
        request.file = CheckedFile::openRegular(pdf, CheckedFile::maxImageSize, &problem);
        const WorkerProtocol::Reply reply = m_reference->answer(request);
        return reply.failure.isEmpty()
                   ? QImage(m_scratch + QLatin1Char('/') +
                            QString::fromLatin1(WorkerProtocol::resultName(request.resultSlot)))
                   : QImage();
    }

    std::unique_ptr<Worker> m_reference;
    QString m_scratch;
    QString m_pdfs;
};

QTEST_MAIN(WarmRendererTest)
#include "tst_warmrenderer.moc"
