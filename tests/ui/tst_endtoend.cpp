#include "Leafmark.h"
#include "MessageBox.h"
#include "MouseActions.h"
#include "TestFiles.h"
#include "run/WorkerConverter.h"
#include "settings/rutines.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTableWidget>

// The program as a user meets it: the real window, the real worker,
// ImageMagick and Ghostscript, on PDFs made here.
class TestEndToEnd : public QObject
{
    Q_OBJECT

    template <typename T>
    static T *control(QWidget *window, const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }

private slots:
    void initTestCase()
    {
        MessageBox::recordInsteadOfShowing(true);
        QFile::remove(SettingsFilePath());
    }
    void cleanupTestCase() { QFile::remove(SettingsFilePath()); }

    void runConvertsATreeAndTheNextStartRemembersIt()
    {
        QTemporaryDir dir;
        const QString pdfs = dir.path() + "/PDFs";
        const QString thumbs = dir.path() + "/thumbs";
        QVERIFY(fillTree(dir.path(), {"PDFs/one.pdf", "PDFs/Two Words.PDF", "PDFs/sub/three.pdf",
                                      "thumbs/"}));
        QVERIFY(writePdf(pdfs + "/sub/wide.pdf", 1, QSizeF(842, 595)));
        QFile broken(pdfs + "/broken.pdf");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("%PDF-1.4\n1 0 obj << /Type /Catalog");
        broken.close();

        WorkerConverter converter(LEAFMARK_WORKER_PATH);
        {
            Leafmark window(converter, converter);
            QVERIFY(window.load());
            window.show();
            control<QLineEdit>(&window, "txtPDFfolder")->setText(pdfs);
            control<QLineEdit>(&window, "txtImageFolder")->setText(thumbs);
            control<QLineEdit>(&window, "txtHeight")->setText("125");
            QTest::mouseClick(control<QPushButton>(&window, "Convert"), Qt::LeftButton);

            QCOMPARE(control<QLabel>(&window, "lblError")->text(),
                     QString("Done. 5 PDF files found..."));
            auto *results = control<QTableWidget>(&window, "lstResult");
            QStringList failed;
            for (int row = 0; row < results->rowCount(); ++row) {
                if (!results->item(row, 0)->toolTip().isEmpty())
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
            QTimer::singleShot(100, [&previewed] {
                QWidget *preview = QApplication::activeModalWidget();
                if (!preview)
                    return;
                previewed = control<QLabel>(preview, "imgThumb")->pixmap().size();
                preview->close();
            });
            QTableWidgetItem *row = results->findItems("wide.png", Qt::MatchExactly).first();
            const QPoint centre = results->visualItemRect(row).center();
            doubleClick(results->viewport(), centre);
            QCOMPARE(previewed, QSize(88, 62));
            QVERIFY(MessageBox::takeRecorded().isEmpty());
        }

        Leafmark nextStart(converter, converter);
        QVERIFY(nextStart.load());
        QCOMPARE(control<QLineEdit>(&nextStart, "txtPDFfolder")->text(), pdfs);
        QCOMPARE(control<QLineEdit>(&nextStart, "txtImageFolder")->text(), thumbs);
        QCOMPARE(control<QLineEdit>(&nextStart, "txtHeight")->text(), QString("125"));
        QCOMPARE(control<QLineEdit>(&nextStart, "txtWidth")->text(), QString("88"));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
