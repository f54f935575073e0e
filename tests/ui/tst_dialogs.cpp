#include "pool/PreviewDecoder.h"
#include "pool/WorkerConverter.h"
#include "settings/FormatTable.h"
#include "settings/rutines.h"
#include "support/ModalWindow.h"
#include "support/TestFiles.h"
#include "ui/AppIdentity.h"
#include "ui/GDI.h"
#include "ui/Layout.h"
#include "ui/MessageBox.h"
#include "ui/frmAbout.h"
#include "ui/frmOptions.h"
#include "ui/frmThumb.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

class QImageDecoder : public ImageDecoder
{
public:
    DecodedImage decodeImage(const QString &path) override
    {
        const QImage image = QImage(path).convertToFormat(QImage::Format_RGBA8888);
        if (image.isNull())
            return {};
        return {image.width(), image.height(),
                QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes())};
    }
};

class ShortBufferDecoder : public ImageDecoder
{
public:
    DecodedImage decodeImage(const QString &) override { return {100, 100, QByteArray(400, '\0')}; }
};

// Red, with a blue top-left pixel, so that swapped channels or a shifted
// picture show.
QString writePicture(const QString &folder, const QString &name, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.setPixelColor(0, 0, Qt::blue);
    const QString path = folder + '/' + name;
    return image.save(path) ? path : QString();
}

class ShowCounter : public QObject
{
public:
    int shows = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        shows += event->type() == QEvent::Show;
        return false;
    }
};

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<frmOptions> options;
    QTemporaryDir folder;
    QUrl openedUrl;

    template <typename T> T *child(QWidget &dialog, const char *name)
    {
        auto *found = dialog.findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no %s", name);
        return found;
    }
    void store(const QString &format)
    {
        QFile::remove(settingsFilePath());
        if (!format.isEmpty())
            WriteSetting("config", "ImageFormat", format);
    }
    static QString stored() { return ReadSetting("config", "ImageFormat"); }

public slots:
    void recordUrl(const QUrl &url) { openedUrl = url; }

private slots:
    void initTestCase() { MessageBox::recordInsteadOfShowing(true); }
    void init()
    {
        options = std::make_unique<frmOptions>();
        CurrentFormat = "start";
        MessageBox::takeRecorded();
    }
    void cleanupTestCase() { QFile::remove(settingsFilePath()); }

    void optionsOpeningAndClosingRules_data()
    {
        QTest::addColumn<QString>("storedValue");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("afterOpening");
        QTest::addColumn<QString>("afterAceptar");
        static const struct
        {
            const char *tag, *storedValue;
            int selected;
            const char *afterOpening, *afterAceptar;
        } rows[] = {
            {"nothing stored", "", 0, "png", "png"}, {"gif", "gif", 2, "gif", "gif"},
            {"GIF", "GIF", 2, "GIF", "gif"},         {"jpeg", "jpeg", 0, "jpe", "png"},
            {"tiff", "tiff", 4, "tif", "tif"},       {"xyz", "xyz", 0, "xyz", "png"},
        };
        for (const auto &row : rows)
            QTest::newRow(row.tag) << QString(row.storedValue) << row.selected
                                   << QString(row.afterOpening) << QString(row.afterAceptar);
    }
    void optionsOpeningAndClosingRules()
    {
        QFETCH(QString, storedValue);
        QFETCH(int, selected);
        QFETCH(QString, afterOpening);
        QFETCH(QString, afterAceptar);
        auto *cboFormat = child<QComboBox>(*options, "cboFormat");

        for (const char *closer : {"CancelButton", "close box"}) {
            store(storedValue);
            int shownSelection = -1;
            QString shownFormat;
            const int result = execWhile(*options, [&] {
                shownSelection = cboFormat->currentIndex();
                shownFormat = CurrentFormat;
                if (QByteArray(closer) == "close box")
                    options->close();
                else
                    child<QPushButton>(*options, closer)->click();
            });
            QCOMPARE(result, int(QDialog::Rejected));
            QCOMPARE(shownSelection, selected);
            QCOMPARE(shownFormat, afterOpening);
            QCOMPARE(CurrentFormat, afterOpening);
            QCOMPARE(stored(), storedValue);
        }

        store(storedValue);
        CurrentFormat = "start";
        const int result =
            execWhile(*options, [&] { child<QPushButton>(*options, "OKButton")->click(); });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(CurrentFormat, afterAceptar);
        QCOMPARE(stored(), afterAceptar);
    }

    void optionsListsNineFormatsEveryTimeAndStoresTheChosenOne()
    {
        auto *cboFormat = child<QComboBox>(*options, "cboFormat");
        for (int i = 0; i < int(FormatTable.size()); ++i) {
            store("png");
            QStringList shown;
            execWhile(*options, [&] {
                for (int row = 0; row < cboFormat->count(); ++row)
                    shown.append(cboFormat->itemText(row));
                cboFormat->setCurrentIndex(i);
                child<QPushButton>(*options, "OKButton")->click();
            });
            QCOMPARE(shown.size(), 9);
            for (int row = 0; row < 9; ++row)
                QCOMPARE(shown.at(row), QString(FormatTable[row].description));
            QCOMPARE(CurrentFormat, QString(FormatTable[i].extension));
            QCOMPARE(stored(), QString(FormatTable[i].extension));
        }
    }

    void optionsKeys_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("Escape on OKButton")
            << "OKButton" << int(Qt::Key_Escape) << ModalWindow::LeftOpen << "GIF";
        QTest::newRow("Escape on the list")
            << "cboFormat" << int(Qt::Key_Escape) << ModalWindow::LeftOpen << "GIF";
        QTest::newRow("Enter on the list")
            << "cboFormat" << int(Qt::Key_Return) << ModalWindow::LeftOpen << "GIF";
        QTest::newRow("Enter on OKButton")
            << "OKButton" << int(Qt::Key_Return) << int(QDialog::Accepted) << "gif";
        QTest::newRow("keypad Enter on OKButton")
            << "OKButton" << int(Qt::Key_Enter) << int(QDialog::Accepted) << "gif";
        QTest::newRow("Enter on CancelButton")
            << "CancelButton" << int(Qt::Key_Return) << int(QDialog::Rejected) << "GIF";
    }
    void optionsKeys()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, result);
        QFETCH(QString, storedAfter);
        store("GIF");
        QString initialFocus;
        const int closedWith = execWhile(*options, [&] {
            initialFocus = options->focusWidget()->objectName();
            QWidget *target = child<QWidget>(*options, qPrintable(focus));
            target->setFocus();
            QTest::keyClick(target, Qt::Key(key));
        });
        QCOMPARE(initialFocus, QString("OKButton"));
        QCOMPARE(closedWith, result);
        QCOMPARE(stored(), storedAfter);
    }

    void runOptionsAreStoredUnderKeysOfTheirOwnAndOnlyWhenChanged()
    {
        const QByteArray edited = "[config]\nPDFfolder=/pdfs\n; kept as it is\nImageFormat=gif\n";
        QVERIFY(writeBytes(settingsFilePath(), edited));
        auto *skip = child<QCheckBox>(*options, "SkipUpToDate");
        auto *keep = child<QCheckBox>(*options, "KeepSubfolders");
        const auto closeWith = [&](const char *button, bool toggleSkip) {
            return execWhile(*options, [&] {
                if (toggleSkip)
                    skip->click();
                child<QPushButton>(*options, button)->click();
            });
        };
        closeWith("OKButton", false);
        QCOMPARE(readWhole(settingsFilePath()), edited);
        closeWith("CancelButton", true);
        QCOMPARE(readWhole(settingsFilePath()), edited);
        closeWith("OKButton", true);
        QCOMPARE(readWhole(settingsFilePath()), edited + "SkipUpToDate=1\nKeepSubfolders=0\n");
        bool shownSkip = false, shownKeep = true;
        execWhile(*options, [&] {
            shownSkip = skip->isChecked();
            shownKeep = keep->isChecked();
            options->close();
        });
        QVERIFY(shownSkip && !shownKeep);
        QCOMPARE(child<QPushButton>(*options, "OKButton")->geometry(), Layout::Options::OKButton);
        QVERIFY(skip->geometry().top() >= Layout::Options::Client.height());
    }

    void previewShowsThePictureAtNaturalSizeInAWindowSizedToIt()
    {
        QImageDecoder decoder;
        frmThumb thumb(decoder);
        auto *imgThumb = child<QLabel>(thumb, "imgThumb");
        for (const QSize size : {QSize(88, 114), QSize(240, 60)}) {
            thumb.setImgPath(writePicture(folder.path(), "picture.png", size));
            QRect shownAt;
            QSize outer;
            QImage shown;
            const int result = execWhile(thumb, [&] {
                shownAt = imgThumb->geometry();
                outer = thumb.frameGeometry().size();
                shown = imgThumb->pixmap().toImage();
            });
            QCOMPARE(result, ModalWindow::LeftOpen);
            QCOMPARE(shownAt, QRect(QPoint(4, 8), size + QSize(2, 2)));
            QCOMPARE(outer, size + QSize(2, 2) + QSize(17, 47));
            QCOMPARE(shown.size(), size);
            QCOMPARE(shown.pixelColor(0, 0), QColor(Qt::blue));
            QCOMPARE(shown.pixelColor(1, 0), QColor(Qt::red));
            QCOMPARE(thumb.windowTitle(), QString("Image"));
        }
        QCOMPARE(MessageBox::takeRecorded(), QStringList());
    }

    void previewFailureTellsOnceAndNeverShows_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing file") << "missing.png" << QByteArray();
        QTest::newRow("damaged file") << "damaged.png" << QByteArray("\x89PNG\r\n\x1a\n broken");
    }
    void previewFailureTellsOnceAndNeverShows()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const QString path = folder.path() + '/' + name;
        QFile::remove(path);
        if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QImageDecoder decoder;
        frmThumb thumb(decoder);
        ShowCounter counter;
        thumb.installEventFilter(&counter);
        thumb.setImgPath(path);
        QCOMPARE(execWhile(thumb, [] {}), frmThumb::ClosedWhileLoading);
        QCOMPARE(MessageBox::takeRecorded(), QStringList("Cannot load file"));
        QCOMPARE(counter.shows, 0);
    }

    void loaderRejectsPixelsThatDoNotMatchTheirSize()
    {
        ShortBufferDecoder decoder;
        QVERIFY(!LoadImageFile("any.png", decoder));
    }

    void previewOfEveryFormatTheConverterWrites_data()
    {
        QTest::addColumn<QString>("extension");
        for (const ImageFormat &format : FormatTable)
            QTest::newRow(format.extension) << QString(format.extension);
    }
    void previewOfEveryFormatTheConverterWrites()
    {
        QFETCH(QString, extension);
        WorkerConverter converter(LEAFMARK_WORKER_PATH);
        const QString problem = converter.start();
        if (!problem.isEmpty())
            QSKIP(qPrintable("the worker does not start: " + problem));
        const QString pdf = folder.path() + "/document.pdf";
        QVERIFY(writePdf(pdf));
        const QString thumbnail = folder.path() + "/document." + extension;
        const ConversionResult converted = converter.Convert(thumbnailJob(pdf, thumbnail));
        if (!converted.succeeded())
            QSKIP(qPrintable("not written: " + converted.failureReason));

        PreviewDecoder decoder(converter);
        frmThumb thumb(decoder);
        thumb.setImgPath(thumbnail);
        QSize shown;
        const int result =
            execWhile(thumb, [&] { shown = child<QLabel>(thumb, "imgThumb")->pixmap().size(); });
        QCOMPARE(MessageBox::takeRecorded(), QStringList());
        QCOMPARE(result, ModalWindow::LeftOpen);
        QCOMPARE(shown.width(), 88);
    }

    void aboutTexts()
    {
        frmAbout about;
        execWhile(about, [] {});
        QCOMPARE(about.windowTitle(), "Acerca de " + AppIdentity::Title);
        QCOMPARE(child<QLabel>(about, "lblTitle")->text(), QString("Leafmark"));
        QCOMPARE(child<QLabel>(about, "lblVersion")->text(), QString("Versión 0.1.0"));
        QCOMPARE(child<QLabel>(about, "lblDescription")->text(),
                 QString("Create image thumbnails from PDF files."));
        QVERIFY(child<QLabel>(about, "lblDisclaimer")->text().contains("Copyright"));
        QVERIFY(!child<QLabel>(about, "picIcon")->pixmap().isNull());
    }

    void aboutLinkOpensTheAddressAndLeavesTheBoxOpen()
    {
        frmAbout about;
        auto *link = child<QLabel>(about, "Label1");
        QCOMPARE(link->font().pointSizeF(), 14.25);
        QVERIFY(link->font().underline());
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(QFontMetrics(link->font()).horizontalAdvance(link->text()) <= link->width());

        QDesktopServices::setUrlHandler("http", this, "recordUrl");
        openedUrl.clear();
        const int result = execWhile(about, [&] { QTest::mouseClick(link, Qt::LeftButton); });
        QDesktopServices::unsetUrlHandler("http");
        QCOMPARE(openedUrl, QUrl::fromUserInput(link->text()));
        QCOMPARE(result, ModalWindow::LeftOpen);
    }

    void aboutClosesOnEnterAndEscape_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }
    void aboutClosesOnEnterAndEscape()
    {
        QFETCH(int, key);
        frmAbout about;
        const int result =
            execWhile(about, [&] { QTest::keyClick(about.focusWidget(), Qt::Key(key)); });
        QVERIFY(result != ModalWindow::LeftOpen);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
