#include "settings/FormatTable.h"
#include "settings/rutines.h"
#include "support/EventWait.h"
#include "support/ModalWindow.h"
#include "support/MouseActions.h"
#include "support/TestFiles.h"
#include "support/WindowFixture.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"
#include "ui/frmOptions.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QStyleHints>
#include <QTest>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <memory>

namespace {

QColor red()
{
    return QColor(255, 0, 0);
}

QColor windowText()
{
    return QApplication::palette().color(QPalette::WindowText);
}

// The states the window system has configured for a window, in the order
// they arrived; a request changes none of them until it is answered.
class ConfiguredStates : public QObject
{
public:
    explicit ConfiguredStates(QWindow *window) : m_window(window)
    {
        window->installEventFilter(this);
    }

    // The larger state was configured, and then a state without it.
    bool wentThroughAndLeft(Qt::WindowState larger) const
    {
        const auto in = std::find_if(m_seen.begin(), m_seen.end(),
                                     [&](Qt::WindowStates states) { return states & larger; });
        return std::any_of(in, m_seen.end(),
                           [&](Qt::WindowStates states) { return !(states & larger); });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::WindowStateChange &&
            event->spontaneous())
            m_seen.append(m_window->windowStates());
        return false;
    }

private:
    QWindow *m_window;
    QList<Qt::WindowStates> m_seen;
};

// Asks for a larger state, as the program would or as the title bar that Qt
// draws under Wayland does (on the window's handle, behind the widget's back),
// and waits until the window system has configured it and then the normal
// state again. False if either never comes.
bool enlargeAndWaitForNormal(QWidget *window, Qt::WindowState larger, bool fromTitleBar)
{
    QWindow *handle = window->windowHandle();
    const ConfiguredStates configured(handle);
    if (fromTitleBar)
        handle->setWindowStates(handle->windowStates() | larger);
    else
        window->setWindowState(window->windowState() | larger);
    return EventWait::until(
        [&] { return configured.wentThroughAndLeft(larger) && !(window->windowState() & larger); });
}

} // namespace

class TestLeafmark : public QObject, protected WindowFixture
{
    Q_OBJECT

private slots:
    void init() { openOnTheUsualTree(); }
    void cleanup() { closeAndForget(); }

    void firstStartWithoutSettings()
    {
        loadAndShow();
        QCOMPARE(box("txtPDFfolder")->text(), QString());
        QCOMPARE(box("txtImageFolder")->text(), QString());
        QCOMPARE(box("txtHeight")->text(), QString());
        QCOMPARE(box("txtWidth")->text(), QString("88"));
        QCOMPARE(CurrentFormat, QString("png"));
        QCOMPARE(results()->rowCount(), 0);
        QCOMPARE(results()->columnCount(), 1);
        QCOMPARE(results()->horizontalHeaderItem(0)->text(), QString("Results"));
        QCOMPARE(results()->columnWidth(0), results()->width() - 20);
        QCOMPARE(control<QLabel>("lblExplain")->text(),
                 QString("ORVANT Leafmark create one image file for every PDF found on the PDF's "
                         "folder.\n\n- The image is the first page of the document.\n\n- You can "
                         "set the thumbsnail's width or height or both.\n\n- You can change the "
                         "image file's format from the settings menu."));
        QCOMPARE(m_window->windowTitle(), QString("ORVANT Leafmark"));
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }

    void storedValuesAreShownAsStored()
    {
        WriteSetting("config", "PDFfolder", "/some/where ");
        WriteSetting("config", "ImageFolder", "relative");
        WriteSetting("config", "ThumbHeight", "");
        WriteSetting("config", "ThumbWidth", "abc");
        WriteSetting("config", "ImageFormat", "JPEG");
        loadAndShow();
        QCOMPARE(box("txtPDFfolder")->text(), QString("/some/where "));
        QCOMPARE(box("txtImageFolder")->text(), QString("relative"));
        QCOMPARE(box("txtHeight")->text(), QString());
        QCOMPARE(box("txtWidth")->text(), QString("abc"));
        QCOMPARE(CurrentFormat, QString("JPEG"));
    }

    void converterThatCannotStartEndsBeforeTheWindowShows()
    {
        m_converter.startError = "Ghostscript (gs) is not installed";
        QVERIFY(!m_window->load());
        QVERIFY(!m_window->isVisible());
        const QStringList messages = MessageBox::takeRecorded();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().contains("Ghostscript (gs) is not installed"));
    }

    void layoutFollowsTheDrawing()
    {
        loadAndShow();
        QCOMPARE(m_window->centralWidget()->size(), QSize(786, 328));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
        QVERIFY(!(m_window->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(m_window->windowFlags() & Qt::WindowMaximizeButtonHint));
        // Left, top, width, height in twips, as drawn.
        const QList<std::pair<const char *, QRect>> twips = {
            {"txtPDFfolder", {2040, 480, 4935, 285}},   {"btnExplorerPDF", {7080, 480, 315, 315}},
            {"txtImageFolder", {2040, 960, 4935, 285}}, {"btnExplorerImage", {7080, 960, 315, 315}},
            {"txtWidth", {6360, 1500, 495, 285}},       {"txtHeight", {5160, 2700, 495, 285}},
            {"Label1", {840, 480, 1095, 255}},          {"Convert", {5880, 3840, 1455, 495}},
            {"Label2", {240, 960, 1695, 255}},          {"Label3", {6900, 1560, 195, 255}},
            {"Label4", {5700, 2760, 255, 255}},         {"lblError", {180, 4500, 7155, 255}},
            {"Help", {180, 1440, 4695, 2835}},          {"lblExplain", {240, 360, 4215, 2175}},
            {"lstResult", {7560, 60, 4155, 4755}},      {"imgThumb", {5940, 1860, 1350, 1905}},
        };
        for (const auto &[name, rect] : twips) {
            const QRect pixels(rect.x() / 15, rect.y() / 15, rect.width() / 15, rect.height() / 15);
            QCOMPARE(control(name)->geometry(), pixels);
        }
        QCOMPARE(control<QLabel>("imgThumb")->pixmap().size(), QSize(88, 125));
        QCOMPARE(status()->font().bold(), true);
        QCOMPARE(status()->font().pointSizeF(), 9.0);

        QList<QAction *> menus = m_window->menuBar()->actions();
        QCOMPARE(menus.size(), 2);
        QCOMPARE(menus[0]->objectName(), QString("mnuOptions"));
        QCOMPARE(menus[0]->text(), QString("Settings"));
        QCOMPARE(menus[1]->objectName(), QString("mnuAbout"));
        QCOMPARE(menus[1]->text(), QString("About"));
        QVERIFY(!menus[0]->menu() && !menus[1]->menu());
    }

    void tabOrderFollowsTheDrawing()
    {
        loadAndShow();
        const QStringList expected = {"txtPDFfolder",     "btnExplorerPDF", "txtImageFolder",
                                      "btnExplorerImage", "txtWidth",       "txtHeight",
                                      "Convert",          "lstResult"};
        QWidget *widget = box("txtPDFfolder");
        for (const QString &name : expected) {
            QCOMPARE(widget->objectName(), name);
            widget = widget->nextInFocusChain();
            while (widget->focusPolicy() == Qt::NoFocus || !widget->isVisible() ||
                   widget->objectName().isEmpty())
                widget = widget->nextInFocusChain();
        }
    }

    void validation_data()
    {
        QTest::addColumn<QString>("pdfFolder");
        QTest::addColumn<QString>("imageFolder");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        const QString none;
        QTest::newRow("both folders empty")
            << none << none << "88" << none << "Please, enter PDF's folder"
            << "txtPDFfolder";
        QTest::newRow("image folder empty")
            << "pdfs" << none << "88" << none << "Please, enter thumbsnail folder"
            << "txtImageFolder";
        QTest::newRow("no size") << "pdfs"
                                 << "thumbs" << none << none
                                 << "Set the with or the height of the thumbnail (or both)"
                                 << "txtWidth";
        QTest::newRow("both folders missing") << "missing"
                                              << "missing2"
                                              << "88" << none << "PDF's folder doesn't exist"
                                              << "txtPDFfolder";
        QTest::newRow("image folder missing") << "pdfs"
                                              << "missing" << none << "1"
                                              << "Images folder doesn't exist"
                                              << "txtImageFolder";
    }

    void validation()
    {
        QFETCH(QString, pdfFolder);
        QFETCH(QString, imageFolder);
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        const auto inTemp = [this](const QString &name) {
            return name.isEmpty() ? name : m_dir->path() + "/" + name;
        };
        loadAndShow();
        results()->insertRow(0);
        results()->setItem(0, 0, new QTableWidgetItem("left over"));
        fillInputs(inTemp(pdfFolder), inTemp(imageFolder), width, height);
        clickConvert();
        QCOMPARE(status()->text(), message);
        QCOMPARE(statusColour(), red());
        const QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(status());
        QCOMPARE(spoken->role(), QAccessible::Notification);
        QCOMPARE(spoken->text(QAccessible::Name), message);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QCOMPARE(results()->rowCount(), 0);
        QVERIFY(m_converter.calls.isEmpty());
        QVERIFY(!QFile::exists(settingsFilePath()));
        verifyIdle();
    }

    void anyTextPassesAsSizeAndAFileAsFolder()
    {
        loadAndShow();
        fillInputs(pdfs() + "/a.pdf", thumbs(), "abc");
        clickConvert();
        QCOMPARE(status()->text(), QString("Sorry, no PDF files found..."));
        fillInputs(pdfs(), m_dir->path() + "/th*s", "abc");
        clickConvert();
        QCOMPARE(status()->text(), QString("Done. 3 PDF files found..."));
        QCOMPARE(m_converter.calls.first().geometry, QString("abcx"));
    }

    void runShowsRowsMarksAndSavesInputs()
    {
        loadAndShow();
        fillInputs(pdfs(), thumbs(), "88", "125");
        int call = 0;
        QStringList duringRun;
        m_converter.onConvert = [&](const ConversionJob &) {
            QStringList disabled;
            for (const char *name : {"txtPDFfolder", "txtImageFolder", "txtWidth", "txtHeight",
                                     "btnExplorerPDF", "btnExplorerImage"}) {
                if (!control(name)->isEnabled())
                    disabled.append(name);
            }
            duringRun = {status()->text(),
                         statusColour() == red() ? "red" : "not red",
                         convert()->text(),
                         convert()->font().bold() ? "bold" : "regular",
                         convert()->isEnabled() ? "enabled" : "disabled",
                         QString::number(disabled.size()),
                         results()->currentItem()->isSelected() ? "selected" : "not selected",
                         results()->currentItem()->icon().isNull() ? "no icon" : "icon"};
            return ++call == 2 ? ConversionResult{{}, "not a PDF"}
                               : ConversionResult{"1,1,PDF", {}};
        };
        clickConvert();
        QCOMPARE(status()->text(), QString("Done. 3 PDF files found..."));
        QCOMPARE(statusColour(), windowText());
        QCOMPARE(results()->rowCount(), 3);
        for (int row = 0; row < 3; ++row)
            QVERIFY(!results()->item(row, 0)->icon().isNull());
        QCOMPARE(results()->item(1, 0)->toolTip().section('\n', 1), QString("not a PDF"));
        QCOMPARE(results()->item(2, 0)->text(), QString("c.png"));
        QCOMPARE(duringRun, QStringList({"One moment please... working...", "red", "Cancel!",
                                         "bold", "enabled", "6", "selected", "no icon"}));
        QCOMPARE(m_window->runController().LastImageFolder(), thumbs());
        QCOMPARE(storedInputs(), pdfs() + "|" + thumbs() + "|125|88");
        // The list paints rarely during a run, and again for good after it.
        QTRY_VERIFY_WITH_TIMEOUT(results()->updatesEnabled(), EventWait::CeilingMs);
        verifyIdle();
    }

    void fixedWindowsLeaveAMaximisedStateAtTheirSize_data()
    {
        QTest::addColumn<Qt::WindowState>("larger");
        QTest::addColumn<bool>("fromTitleBar");
        QTest::newRow("maximised by the program") << Qt::WindowMaximized << false;
        QTest::newRow("maximised from the title bar") << Qt::WindowMaximized << true;
        QTest::newRow("full screen") << Qt::WindowFullScreen << false;
    }

    // A fixed window keeps its size, in the middle of a run as between runs,
    // and so do the fixed dialogs.
    void fixedWindowsLeaveAMaximisedStateAtTheirSize()
    {
        QFETCH(Qt::WindowState, larger);
        QFETCH(bool, fromTitleBar);
        loadAndShow();
        const QSize size = m_window->size();
        fillInputs(pdfs(), thumbs());
        bool left = false;
        m_converter.onConvert = [&](const ConversionJob &) {
            if (m_converter.calls.size() == 1)
                left = enlargeAndWaitForNormal(m_window.get(), larger, fromTitleBar);
            return ConversionResult{"1,1,PDF", {}};
        };
        clickConvert();
        QVERIFY(left);
        QCOMPARE(m_converter.calls.size(), 3);
        QCOMPARE(m_window->size(), size);
        for (const char *item : {"mnuOptions", "mnuAbout"}) {
            QSize before;
            QSize after;
            left = false;
            const ModalWindow opened(ModalWindow::Kind::Dialog, [&](QWidget *dialog) {
                before = dialog->size();
                left = enlargeAndWaitForNormal(dialog, larger, fromTitleBar);
                after = dialog->size();
            });
            m_window->findChild<QAction *>(item)->trigger();
            QVERIFY2(left, item);
            QCOMPARE(after, before);
        }
        QCOMPARE(m_window->size(), size);
    }

    void slowConversionsShowTheirRowWhileTheyRun()
    {
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        QStringList unpainted;
        m_converter.onConvert = [&](const ConversionJob &job) {
            if (!results()->updatesEnabled())
                unpainted.append(job.output);
            QThread::msleep(20);
            return ConversionResult{"1,1,PDF", {}};
        };
        clickConvert();
        QCOMPARE(m_converter.calls.size(), 3);
        QCOMPARE(unpainted, QStringList());
    }

    void runThatFindsNothingSavesNothing()
    {
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        clickConvert();
        const QByteArray saved = readWhole(settingsFilePath());
        QVERIFY(!saved.isEmpty());
        fillInputs(m_dir->path() + "/nothing", m_dir->path());
        clickConvert();
        QCOMPARE(status()->text(), QString("Sorry, no PDF files found..."));
        QCOMPARE(statusColour(), red());
        QCOMPARE(m_window->runController().LastImageFolder(), thumbs());
        QCOMPARE(readWhole(settingsFilePath()), saved);
        verifyIdle();
    }

    void cancelAfterKFiles_data()
    {
        QTest::addColumn<int>("cancelClicks");
        QTest::newRow("one click") << 1;
        QTest::newRow("several clicks") << 3;
    }

    void cancelAfterKFiles()
    {
        QFETCH(int, cancelClicks);
        QVERIFY(fillTree(pdfs(), {"d.pdf", "e.pdf", "sub/f.pdf", "sub/g.pdf"}));
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        m_converter.onConvert = [&](const ConversionJob &) {
            if (m_converter.calls.size() == 2) {
                for (int i = 0; i < cancelClicks; ++i)
                    postConvertClick();
            }
            return ConversionResult{"1,1,PDF", {}};
        };
        clickConvert();
        QCOMPARE(m_converter.calls.size(), 2);
        QCOMPARE(status()->text(), QString("Done. 2 PDF files found..."));
        QVERIFY(m_window->runController().CancelRequested());
        QCOMPARE(storedInputs(), pdfs() + "|" + thumbs() + "||88");
        verifyIdle();
    }

    void closeDuringARunEndsAfterTheOutcome()
    {
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        QString statusWhileClosing;
        m_converter.onConvert = [&](const ConversionJob &) {
            if (m_converter.calls.size() == 1) {
                postClose();
                postConvertClick();
            } else {
                statusWhileClosing = status()->text();
            }
            return ConversionResult{"1,1,PDF", {}};
        };
        clickConvert();
        QCOMPARE(m_converter.calls.size(), 1);
        QVERIFY(m_window->runController().QuitRequested());
        QCOMPARE(status()->text(), QString("Done. 1 PDF files found..."));
        QCOMPARE(storedInputs(), pdfs() + "|" + thumbs() + "||88");
        QVERIFY(!m_window->isVisible());
    }

    void formatChosenDuringARunAppliesFromTheNextFile()
    {
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        bool dialogSeen = false;
        const ModalWindow opened(ModalWindow::Kind::Dialog, [&](QWidget *dialog) {
            dialogSeen = dialog->objectName() == "frmOptions";
            dialog->findChild<QComboBox *>("cboFormat")->setCurrentIndex(2);
            dialog->findChild<QPushButton *>("OKButton")->click();
        });
        m_converter.onConvert = [&](const ConversionJob &) {
            // Queued like a real menu click: the dialog opens at the next yield point.
            if (m_converter.calls.size() == 1)
                QMetaObject::invokeMethod(m_window->menuBar()->actions().first(), "trigger",
                                          Qt::QueuedConnection);
            return ConversionResult{"1,1,PDF", {}};
        };
        clickConvert();
        QVERIFY(dialogSeen);
        QCOMPARE(results()->item(0, 0)->text().right(4), QString(".png"));
        QCOMPARE(results()->item(1, 0)->text().right(4), QString(".gif"));
        QCOMPARE(m_converter.calls.at(2).output.right(4), QString(".gif"));
        QCOMPARE(ReadSetting("config", "ImageFormat"), QString("gif"));
    }

    void closeWhileIdleClosesAtOnce()
    {
        loadAndShow();
        QVERIFY(m_window->close());
        QVERIFY(!m_window->isVisible());
        QVERIFY(!m_window->runController().QuitRequested());
    }
};

QTEST_MAIN(TestLeafmark)
#include "tst_leafmark.moc"
