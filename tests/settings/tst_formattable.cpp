#include "settings/FormatTable.h"

#include <QTest>

class TestFormatTable : public QObject
{
    Q_OBJECT

private slots:
    void tableHoldsNineThreeLetterExtensionsPngFirst()
    {
        QCOMPARE(FormatTable.size(), size_t(9));
        QCOMPARE(QString(FormatTable[0].extension), QString("png"));
        QCOMPARE(QString(FormatTable[8].description),
                 QString("Magick Image File Format (*.MIF, *.MIFF)"));
        for (const ImageFormat &format : FormatTable)
            QCOMPARE(QString(format.extension).size(), 3);
    }

    void outputName_data()
    {
        QTest::addColumn<QString>("pdfName");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "report.pdf"
                               << "png"
                               << "report.png";
        QTest::newRow("upper-case pdf") << "Scan 12.PDF"
                                        << "jpg"
                                        << "Scan 12.jpg";
        QTest::newRow("format kept in upper case") << "report.pdf"
                                                   << "JPG"
                                                   << "report.JPG";
        QTest::newRow("four letters") << "report.pdf"
                                      << "jpeg"
                                      << "report.jpeg";
        QTest::newRow("name is only .pdf") << ".pdf"
                                           << "png"
                                           << ".png";
        QTest::newRow("three characters whatever they are") << "notes.pdfx"
                                                            << "png"
                                                            << "notes.ppng";
        QTest::newRow("shorter than three") << "ab"
                                            << "png"
                                            << "png";
    }
    void outputName()
    {
        QFETCH(QString, pdfName);
        QFETCH(QString, format);
        QFETCH(QString, expected);
        QCOMPARE(outputFileName(pdfName, format), expected);
    }

    void formatRules_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("atStartup");
        QTest::addColumn<QString>("atDialogOpening");
        QTest::addColumn<QString>("magickFormat");
        QTest::newRow("nothing stored") << ""
                                        << "png"
                                        << "png"
                                        << "";
        QTest::newRow("gif") << "gif"
                             << "gif"
                             << "gif"
                             << "GIF";
        QTest::newRow("upper case") << "GIF"
                                    << "GIF"
                                    << "GIF"
                                    << "GIF";
        QTest::newRow("jpeg by hand") << "jpeg"
                                      << "jpeg"
                                      << "jpe"
                                      << "JPEG";
        QTest::newRow("tiff by hand") << "tiff"
                                      << "tiff"
                                      << "tif"
                                      << "TIFF";
        QTest::newRow("mif") << "mif"
                             << "mif"
                             << "mif"
                             << "MIFF";
        QTest::newRow("wmf") << "wmf"
                             << "wmf"
                             << "wmf"
                             << "";
        QTest::newRow("unknown") << "xyz"
                                 << "xyz"
                                 << "xyz"
                                 << "";
        QTest::newRow("longer than any file name") << QString(256, 'x') << "png"
                                                   << "xxx"
                                                   << "";
    }
    void formatRules()
    {
        QFETCH(QString, stored);
        QFETCH(QString, atStartup);
        QFETCH(QString, atDialogOpening);
        QFETCH(QString, magickFormat);
        QCOMPARE(startupFormat(stored), atStartup);
        QCOMPARE(dialogOpeningFormat(stored), atDialogOpening);
        QCOMPARE(magickFormatOf(stored), magickFormat);
    }
};

QTEST_GUILESS_MAIN(TestFormatTable)
#include "tst_formattable.moc"
