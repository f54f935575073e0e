#include "pool/PreviewDecoder.h"
#include "pool/WorkerConverter.h"
#include "settings/rutines.h"
#include "support/ModalWindow.h"
#include "support/MouseActions.h"
#include "support/TestFiles.h"
#include "support/WindowFixture.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

// The program as a user meets it: the real window, the real worker,
// ImageMagick and Ghostscript, on PDFs made here.
class TestEndToEnd : public QObject, protected WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { QFile::remove(settingsFilePath()); }
    void cleanupTestCase() { QFile::remove(settingsFilePath()); }
    void cleanup() { m_window.reset(); }

    void runConvertsATreeAndTheNextStartRemembersIt()
    {
        QTemporaryDir dir;
        const QString pdfs = dir.path() + "/PDFs";
        const QString thumbs = dir.path() + "/thumbs";
        QVERIFY(fillTree(dir.path(),
                         {"PDFs/one.pdf", "PDFs/Two Words.PDF", "PDFs/sub/three.pdf", "thumbs/"}));
        QVERIFY(writePdf(pdfs + "/sub/wide.pdf", 1, QSizeF(842, 595)));
        QVERIFY(writeBytes(pdfs + "/broken.pdf", "%PDF-1.4\n1 0 obj << /Type /Catalog"));

        WorkerConverter converter(LEAFMARK_WORKER_PATH);
        PreviewDecoder decoder(converter);
        openWindow(converter, decoder);
        loadAndShow();
        box("txtPDFfolder")->setText(pdfs);
        box("txtImageFolder")->setText(thumbs);
        box("txtHeight")->setText("125");
        clickConvert();

        QCOMPARE(status()->text(), QString("Done. 5 PDF files found..."));
        QTableWidget *results = this->results();
        QStringList failed;
        for (int row = 0; row < results->rowCount(); ++row) {
            if (results->item(row, 0)->toolTip().contains('\n'))
                failed.append(results->item(row, 0)->text());
        }
        QCOMPARE(failed, QStringList({"broken.png"}));

        QDir output(thumbs);
        QCOMPARE(output.entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 QStringList({"Two Words.png", "one.png", "three.png", "wide.png"}));
        QCOMPARE(QImage(thumbs + "/one.png").size(), QSize(88, 125));
        QCOMPARE(QImage(thumbs + "/wide.png").size(), QSize(88, 62));

        // The preview shows the thumbnail at its natural size.
        QSize previewed;
        const ModalWindow preview(ModalWindow::Kind::Dialog, [&previewed](QWidget *dialog) {
            previewed = dialog->findChild<QLabel *>("imgThumb")->pixmap().size();
        });
        QTableWidgetItem *row = results->findItems("wide.png", Qt::MatchExactly).first();
        const QPoint centre = results->visualItemRect(row).center();
        doubleClick(results->viewport(), centre);
        QCOMPARE(previewed, QSize(88, 62));
        QVERIFY(MessageBox::takeRecorded().isEmpty());

        openWindow(converter, decoder);
        QVERIFY(m_window->load());
        QCOMPARE(box("txtPDFfolder")->text(), pdfs);
        QCOMPARE(box("txtImageFolder")->text(), thumbs);
        QCOMPARE(box("txtHeight")->text(), QString("125"));
        QCOMPARE(box("txtWidth")->text(), QString("88"));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
