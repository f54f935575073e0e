#include "settings/FormatTable.h"
#include "settings/rutines.h"
#include "support/FakeConverter.h"
#include "support/MouseActions.h"
#include "support/RecordingDecoder.h"
#include "support/TestFiles.h"
#include "support/WindowFixture.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"
#include "ui/frmOptions.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

namespace {

// Acts on the next modal dialog once its event loop runs.
void whenModalOpens(const std::function<void(QWidget *)> &action)
{
    QTimer::singleShot(10, [action] {
        if (QWidget *dialog = QApplication::activeModalWidget())
            action(dialog);
        else
            whenModalOpens(action);
    });
}

// Counts the left presses that reach a widget, double clicks included.
class PressCounter : public QObject
{
public:
    PressCounter(QWidget *widget, int &count) : m_count(count) { widget->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            ++m_count;
        return false;
    }

private:
    int &m_count;
};

QColor red()
{
    return QColor(255, 0, 0);
}

QColor windowText()
{
    return QApplication::palette().color(QPalette::WindowText);
}

QPalette darkPalette()
{
    const QColor window(53, 53, 53);
    return QPalette(QColor(230, 230, 230), window, window.lighter(150), window.darker(200),
                    window.darker(130), QColor(230, 230, 230), Qt::white, QColor(35, 35, 35),
                    window);
}

// The most any pixel of the widget stands out from its background, as the
// widget paints itself.
double strongestContrast(QWidget *widget, const QColor &background)
{
    const QImage image = widget->grab().toImage();
    double strongest = 1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            strongest =
                std::max(strongest, Appearance::contrastRatio(image.pixelColor(x, y), background));
    }
    return strongest;
}

// Acts on the next context menu once it is up, then closes it by choosing
// the action of that text, if any.
void whenMenuOpens(QStringList &texts, const QString &choice)
{
    QTimer::singleShot(10, [&texts, choice] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu) {
            whenMenuOpens(texts, choice);
            return;
        }
        QAction *chosen = nullptr;
        for (QAction *action : menu->actions()) {
            texts.append(action->text());
            if (action->text() == choice)
                chosen = action;
        }
        if (!chosen) {
            menu->close();
            return;
        }
        menu->setActiveAction(chosen);
        QTest::keyClick(menu, Qt::Key_Return);
    });
}

} // namespace

class TestLeafmark : public QObject, protected WindowFixture
{
    Q_OBJECT

    QColor statusColour() const { return status()->palette().color(QPalette::WindowText); }
    QString rowDescription(int row) const
    {
        return results()->item(row, 0)->data(Qt::AccessibleDescriptionRole).toString();
    }
    QStringList menuOfRow(int row, QContextMenuEvent::Reason reason, const QString &choice = {})
    {
        QStringList texts;
        whenMenuOpens(texts, choice);
        const QPoint centre = results()->visualItemRect(results()->item(row, 0)).center();
        QContextMenuEvent event(reason, centre, results()->viewport()->mapToGlobal(centre));
        QApplication::sendEvent(reason == QContextMenuEvent::Mouse
                                    ? results()->viewport()
                                    : static_cast<QWidget *>(results()),
                                &event);
        return texts;
    }

    // A click or close as the user makes it: queued, handled at the next yield point.
    void postConvertClick() { QMetaObject::invokeMethod(convert(), "click", Qt::QueuedConnection); }
    void postClose() { QMetaObject::invokeMethod(m_window.get(), "close", Qt::QueuedConnection); }

    void verifyIdle()
    {
        QVERIFY(convert()->isEnabled());
        QCOMPARE(convert()->text(), QString("Create thumbnails"));
        QVERIFY(!convert()->font().bold());
        for (const char *name : {"txtPDFfolder", "txtImageFolder", "txtWidth", "txtHeight",
                                 "btnExplorerPDF", "btnExplorerImage"})
            QVERIFY2(control(name)->isEnabled(), name);
    }
    QString storedInputs() const
    {
        QStringList values;
        for (const char *key : {"PDFfolder", "ImageFolder", "ThumbHeight", "ThumbWidth"})
            values.append(ReadSetting("config", key));
        return values.join('|');
    }

    QList<QUrl> m_openedUrls;

public slots:
    void recordUrl(const QUrl &url) { m_openedUrls.append(url); }

private slots:
    void initTestCase() { QDesktopServices::setUrlHandler("file", this, "recordUrl"); }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("file"); }

    void init()
    {
        startAfresh({"pdfs/a.pdf", "pdfs/b.pdf", "pdfs/sub/c.pdf", "thumbs/", "nothing/notes.txt"});
        openWindow(m_converter, m_decoder);
    }
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
        QVERIFY(!QFile::exists(SettingsFilePath()));
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
        QCOMPARE(results()->item(1, 0)->toolTip(), QString("not a PDF"));
        QCOMPARE(results()->item(2, 0)->text(), QString("c.png"));
        QCOMPARE(duringRun, QStringList({"One moment please... working...", "red", "Cancel!",
                                         "bold", "enabled", "6", "selected", "no icon"}));
        QCOMPARE(m_window->runController().LastImageFolder(), thumbs());
        QCOMPARE(storedInputs(), pdfs() + "|" + thumbs() + "|125|88");
        // The list paints rarely during a run, and again for good after it.
        QTRY_VERIFY(results()->updatesEnabled());
        verifyIdle();
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
        const QByteArray saved = readWhole(SettingsFilePath());
        QVERIFY(!saved.isEmpty());
        fillInputs(m_dir->path() + "/nothing", m_dir->path());
        clickConvert();
        QCOMPARE(status()->text(), QString("Sorry, no PDF files found..."));
        QCOMPARE(statusColour(), red());
        QCOMPARE(m_window->runController().LastImageFolder(), thumbs());
        QCOMPARE(readWhole(SettingsFilePath()), saved);
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

    // The second press of a double click, or a press that follows the one
    // before it within the double-click interval, is no second request.
    void doubleClickOnConvertIsOneClick_data()
    {
        QTest::addColumn<bool>("firstOnCancel");
        // In ms; -1: the platform's double click; -2: Space, right after.
        QTest::addColumn<int>("secondPressAfter");
        QTest::addColumn<int>("conversions");
        QTest::addColumn<QString>("outcome");
        const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        const QString all = "Done. 3 PDF files found...";
        const QString first = "Done. 1 PDF files found...";
        QTest::newRow("double click on Create thumbnails") << false << -1 << 3 << all;
        QTest::newRow("quick press on Create thumbnails") << false << interval / 2 << 3 << all;
        QTest::newRow("two clicks: the second cancels") << false << interval + 1 << 1 << first;
        QTest::newRow("a click, then Space: Space cancels") << false << -2 << 1 << first;
        QTest::newRow("double click on Cancel!") << true << -1 << 1 << first;
        QTest::newRow("quick press on Cancel!") << true << interval / 2 << 1 << first;
        QTest::newRow("two clicks: the second starts a run") << true << interval + 1 << 4 << all;
    }
    void doubleClickOnConvertIsOneClick()
    {
        QFETCH(bool, firstOnCancel);
        QFETCH(int, secondPressAfter);
        QFETCH(int, conversions);
        QFETCH(QString, outcome);
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        const ulong start = 1000;
        const ulong first = firstOnCancel ? start + 10000 : start;
        const std::function<void()> secondHalf = [this, first, secondPressAfter] {
            if (secondPressAfter == -2) {
                QTest::keyClick(convert(), Qt::Key_Space);
            } else if (secondPressAfter < 0) {
                QTest::mouseDClick(convert(), Qt::LeftButton);
                QTest::mouseRelease(convert(), Qt::LeftButton);
            } else {
                clickStampedAt(convert(), first + secondPressAfter);
            }
        };
        // A click that reaches the window during a conversion is taken at the
        // yield point after it; one on Cancel! ends the run there and then.
        const std::function<void()> duringTheFirstFile =
            firstOnCancel ? [this, first] { clickStampedAt(convert(), first); } : secondHalf;
        m_converter.onConvert = [&](const ConversionJob &) {
            if (m_converter.calls.size() == 1)
                QMetaObject::invokeMethod(convert(), duringTheFirstFile, Qt::QueuedConnection);
            return ConversionResult{"1,1,PDF", {}};
        };
        clickStampedAt(convert(), start);
        if (firstOnCancel)
            secondHalf();
        QCOMPARE(m_converter.calls.size(), conversions);
        QCOMPARE(status()->text(), outcome);
        verifyIdle();
    }

    // From the keyboard: the focus goes back to the button when it is enabled
    // again, so the key that started the run cancels it; Escape cancels too,
    // and does nothing while idle.
    void keysStartAndCancelARun_data()
    {
        QTest::addColumn<int>("startKey");
        QTest::addColumn<int>("cancelKey");
        QTest::newRow("Space, then Space") << int(Qt::Key_Space) << int(Qt::Key_Space);
        QTest::newRow("Enter, then Enter") << int(Qt::Key_Return) << int(Qt::Key_Return);
        QTest::newRow("Space, then Escape") << int(Qt::Key_Space) << int(Qt::Key_Escape);
        QTest::newRow("a click, then Escape") << 0 << int(Qt::Key_Escape);
    }
    void keysStartAndCancelARun()
    {
        QFETCH(int, startKey);
        QFETCH(int, cancelKey);
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        convert()->setFocus();
        pressKey(Qt::Key_Escape);
        QCOMPARE(status()->text(), QString());

        QWidget *focusDuringTheRun = nullptr;
        m_converter.onConvert = [&](const ConversionJob &) {
            if (m_converter.calls.size() == 1) {
                focusDuringTheRun = QApplication::focusWidget();
                QMetaObject::invokeMethod(
                    convert(), [this, cancelKey] { pressKey(Qt::Key(cancelKey)); },
                    Qt::QueuedConnection);
            }
            return ConversionResult{"1,1,PDF", {}};
        };
        if (startKey)
            pressKey(Qt::Key(startKey));
        else
            clickConvert();
        QCOMPARE(focusDuringTheRun, convert());
        QCOMPARE(m_converter.calls.size(), 1);
        QCOMPARE(status()->text(), QString("Done. 1 PDF files found..."));
        QCOMPARE(QApplication::focusWidget(), convert());
        verifyIdle();
    }

    // Each new row is selected, but the keyboard stays where the user has it:
    // on the button, or on the row the user is at in the list.
    void rowsAddedDuringARunLeaveTheFocusWhereItWas_data()
    {
        QTest::addColumn<bool>("intoTheList");
        QTest::newRow("focus on the button") << false;
        QTest::newRow("user moves into the list") << true;
    }
    void rowsAddedDuringARunLeaveTheFocusWhereItWas()
    {
        QFETCH(bool, intoTheList);
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        m_converter.onConvert = [&](const ConversionJob &) {
            if (intoTheList && m_converter.calls.size() == 1)
                results()->setFocus(Qt::TabFocusReason);
            return ConversionResult{"1,1,PDF", {}};
        };
        convert()->setFocus();
        pressKey(Qt::Key_Space);
        QCOMPARE(status()->text(), QString("Done. 3 PDF files found..."));
        QCOMPARE(QApplication::focusWidget(),
                 intoTheList ? static_cast<QWidget *>(results()) : convert());
        QCOMPARE(results()->selectedItems(), QList<QTableWidgetItem *>({results()->item(2, 0)}));
        QCOMPARE(results()->currentRow(), intoTheList ? 0 : 2);
    }

    // Real X input through a window manager, where the platform itself makes
    // the second press a double click. The suite runs it under xvfb-run.
    void realDoubleClickOnCreateThumbnailsRunsTheWholeFolder()
    {
        if (QGuiApplication::platformName() != "xcb")
            QSKIP("needs an X display");
        // Long enough that a busy machine cannot split xdotool's double click in two.
        QStyleHints *hints = QGuiApplication::styleHints();
        const int interval = hints->mouseDoubleClickInterval();
        hints->setMouseDoubleClickInterval(2000);
        const auto restoreInterval =
            qScopeGuard([&] { hints->setMouseDoubleClickInterval(interval); });
        loadAndShow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        fillInputs(pdfs(), thumbs());

        int presses = 0;
        PressCounter counter(convert(), presses);
        bool secondPressDuringTheRun = false;
        m_converter.onConvert = [&](const ConversionJob &) {
            // The second press is taken while the first file converts.
            if (m_converter.calls.size() == 1)
                secondPressDuringTheRun = QTest::qWaitFor([&] { return presses == 2; });
            return ConversionResult{"1,1,PDF", {}};
        };
        const QPoint centre = convert()->mapToGlobal(convert()->rect().center());
        QProcess xdotool;
        xdotool.start("xdotool", {"mousemove", "--sync", QString::number(centre.x()),
                                  QString::number(centre.y()), "click", "--repeat", "2", "--delay",
                                  "150", "1"});
        QVERIFY(xdotool.waitForStarted());
        QTRY_COMPARE(status()->text(), QString("Done. 3 PDF files found..."));
        QVERIFY(xdotool.waitForFinished());
        QCOMPARE(xdotool.exitCode(), 0);
        QVERIFY(secondPressDuringTheRun);
        QCOMPARE(m_converter.calls.size(), 3);
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
        m_converter.onConvert = [&](const ConversionJob &) {
            if (m_converter.calls.size() == 1) {
                // Queued like a real menu click: the dialog opens at the next yield point.
                QMetaObject::invokeMethod(m_window->menuBar()->actions().first(), "trigger",
                                          Qt::QueuedConnection);
                whenModalOpens([&](QWidget *dialog) {
                    dialogSeen = dialog->objectName() == "frmOptions";
                    dialog->findChild<QComboBox *>("cboFormat")->setCurrentIndex(2);
                    dialog->findChild<QPushButton *>("OKButton")->click();
                });
            }
            return ConversionResult{"1,1,PDF", {}};
        };
        clickConvert();
        QVERIFY(dialogSeen);
        QCOMPARE(results()->item(0, 0)->text().right(4), QString(".png"));
        QCOMPARE(results()->item(1, 0)->text().right(4), QString(".gif"));
        QCOMPARE(m_converter.calls.at(2).output.right(4), QString(".gif"));
        QCOMPARE(ReadSetting("config", "ImageFormat"), QString("gif"));
    }

    void previewOpensTheSelectedRowFromTheLastRunsFolder()
    {
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        clickConvert();
        box("txtImageFolder")->setText(m_dir->path());
        QTableWidgetItem *row = results()->item(1, 0);
        const QPoint centre = results()->visualItemRect(row).center();
        doubleClick(results()->viewport(), centre);
        QCOMPARE(m_decoder.paths, QStringList({thumbs() + "/" + row->text()}));
        QCOMPARE(MessageBox::takeRecorded(), QStringList({"Cannot load file"}));
        // A name the walk refused for leading out of the output folder is not read.
        const QString shown = row->text();
        row->setText("./../escape.png");
        doubleClick(results()->viewport(), centre);
        QCOMPARE(m_decoder.paths.size(), 1);
        QCOMPARE(MessageBox::takeRecorded(), QStringList({"Cannot load file"}));
        row->setText(shown);

        convert()->setEnabled(false);
        doubleClick(results()->viewport(), centre);
        QCOMPARE(m_decoder.paths.size(), 1);
        convert()->setEnabled(true);
        results()->setRowCount(0);
        doubleClick(results()->viewport(), centre);
        QCOMPARE(m_decoder.paths.size(), 1);
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }

    void droppingAFolderFillsItsBox()
    {
        loadAndShow();
        const auto drop = [this](const char *name, const QString &path) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(box(name), &enter);
            QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(box(name), &event);
            return enter.isAccepted();
        };
        box("txtImageFolder")->setText("kept");
        QVERIFY(drop("txtPDFfolder", pdfs()));
        QCOMPARE(box("txtPDFfolder")->text(), pdfs());
        QVERIFY(!drop("txtImageFolder", pdfs() + "/a.pdf"));
        QCOMPARE(box("txtImageFolder")->text(), QString("kept"));
    }

    void screenReadersHearEveryControlByName_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("PDF folder") << "txtPDFfolder"
                                    << "PDF's folder:";
        QTest::newRow("thumbnails folder") << "txtImageFolder"
                                           << "Thumbnails folder:";
        QTest::newRow("width") << "txtWidth"
                               << "Width";
        QTest::newRow("height") << "txtHeight"
                                << "Height";
        QTest::newRow("PDF picker") << "btnExplorerPDF"
                                    << "Choose the PDF folder";
        QTest::newRow("thumbnails picker") << "btnExplorerImage"
                                           << "Choose the thumbnails folder";
        QTest::newRow("results list") << "lstResult"
                                      << "Results";
        QTest::newRow("format list") << "cboFormat"
                                     << "Image format:";
    }
    void screenReadersHearEveryControlByName()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        loadAndShow();
        frmOptions options(m_window.get());
        QWidget *widget = control == "cboFormat" ? options.findChild<QWidget *>(control)
                                                 : m_window->findChild<QWidget *>(control);
        QVERIFY(widget);
        QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);
        if (auto *picker = qobject_cast<QPushButton *>(widget))
            QCOMPARE(picker->text(), QString("..."));
    }

    void rowsTellTheirOutcome()
    {
        QVERIFY(fillTree(pdfs(), {"sub/b.pdf"}));
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        m_converter.onConvert = [&](const ConversionJob &job) {
            return job.input.endsWith("/pdfs/b.pdf") ? ConversionResult{{}, "not a PDF"}
                                                     : ConversionResult{"1,1,PDF", {}};
        };
        clickConvert();

        QStringList rows;
        for (int row = 0; row < results()->rowCount(); ++row)
            rows.append(results()->item(row, 0)->text() + " " + rowDescription(row) + " | " +
                        results()->item(row, 0)->toolTip());
        rows.sort();
        QCOMPARE(rows, QStringList({"a.png Converted | ", "b.png Converted | ",
                                    "b.png Failed: not a PDF | not a PDF", "c.png Converted | "}));

        QVERIFY(fillTree(pdfs(), {"sub/other/a.pdf"}));
        m_converter.onConvert = nullptr;
        clickConvert();
        QList<int> aRows;
        for (int row = 0; row < results()->rowCount(); ++row) {
            if (results()->item(row, 0)->text() == "a.png")
                aRows.append(row);
        }
        QCOMPARE(aRows.size(), 2);
        const QString replaced = "A later file of the same name replaced this thumbnail.";
        QCOMPARE(results()->item(aRows[0], 0)->toolTip(), replaced);
        QCOMPARE(rowDescription(aRows[0]), "Converted; " + replaced.toLower());
        QVERIFY(!results()->item(aRows[0], 0)->icon().isNull());
        QCOMPARE(results()->item(aRows[1], 0)->toolTip(), QString());
        QCOMPARE(rowDescription(aRows[1]), QString("Converted"));
    }

    void returnAndTheRowMenuActOnTheSelectedRow()
    {
        loadAndShow();
        fillInputs(pdfs(), thumbs());
        m_converter.onConvert = [&](const ConversionJob &job) {
            return job.input.endsWith("/b.pdf") ? ConversionResult{{}, "not a PDF"}
                                                : ConversionResult{"1,1,PDF", {}};
        };
        clickConvert();
        int red = 0;
        while (results()->item(red, 0)->text() != "b.png")
            ++red;
        const int green = red == 0 ? 1 : 0;
        results()->setFocus();
        results()->setCurrentItem(results()->item(green, 0));
        QTest::keyClick(results(), Qt::Key_Return);
        QCOMPARE(m_decoder.paths,
                 QStringList({thumbs() + "/" + results()->item(green, 0)->text()}));
        convert()->setEnabled(false);
        QTest::keyClick(results(), Qt::Key_Return);
        QCOMPARE(m_decoder.paths.size(), 1);
        convert()->setEnabled(true);
        MessageBox::takeRecorded();

        QCOMPARE(menuOfRow(green, QContextMenuEvent::Keyboard),
                 QStringList({"Open", "Show in folder"}));
        QCOMPARE(menuOfRow(red, QContextMenuEvent::Mouse, "Copy reason"),
                 QStringList({"Open", "Show in folder", "Copy reason"}));
        QCOMPARE(QApplication::clipboard()->text(), QString("not a PDF"));
        QCOMPARE(results()->currentRow(), red);
        menuOfRow(red, QContextMenuEvent::Keyboard, "Open");
        QCOMPARE(m_decoder.paths.last(), thumbs() + "/b.png");
        QCOMPARE(MessageBox::takeRecorded(), QStringList({"Cannot load file"}));
        m_openedUrls.clear();
        menuOfRow(green, QContextMenuEvent::Mouse, "Show in folder");
        QCOMPARE(m_openedUrls, QList<QUrl>({QUrl::fromLocalFile(thumbs())}));
    }

    void darkPaletteIsFollowedAndLightOneKeepsTheDrawing_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void darkPaletteIsFollowedAndLightOneKeepsTheDrawing()
    {
        QFETCH(bool, dark);
        const QPalette desktop = QApplication::palette();
        if (dark)
            QApplication::setPalette(darkPalette());
        openWindow(m_converter, m_decoder);
        loadAndShow();
        fillInputs(QString(), QString());
        clickConvert();
        const QColor background =
            dark ? darkPalette().color(QPalette::Window) : QColor(250, 248, 249);
        const QImage client = m_window->centralWidget()->grab().toImage();
        const QColor shownBackground = client.pixelColor(client.width() / 2, client.height() - 3);
        const QColor shownStatus = statusColour();
        QMap<QString, double> contrasts;
        for (const char *name : {"Label1", "Label2", "Label3", "Label4", "lblExplain", "Help"})
            contrasts[name] = strongestContrast(control(name), background);
        const double statusContrast = strongestContrast(status(), background);
        for (const char *name : {"Line1", "Line3"})
            contrasts[name] = strongestContrast(control(name), background);
        frmOptions options;
        QLabel *format = options.findChild<QLabel *>("Label1");
        const double formatContrast = strongestContrast(format, background);
        QApplication::setPalette(desktop);

        QCOMPARE(shownBackground, background);
        if (!dark)
            QCOMPARE(shownStatus, red());
        QVERIFY(shownStatus.red() > 2 * shownStatus.green());
        // Pure red on the light window is as drawn, and reads less well than dark text.
        const double statusWanted = dark ? 4.5 : 3.5;
        QVERIFY2(Appearance::contrastRatio(shownStatus, background) >= statusWanted,
                 qPrintable(shownStatus.name()));
        QVERIFY(statusContrast >= statusWanted);
        for (auto contrast = contrasts.cbegin(); contrast != contrasts.cend(); ++contrast)
            QVERIFY2(contrast.value() >= 4.5, qPrintable(contrast.key()));
        QVERIFY(formatContrast >= 4.5);
    }

    void picturesAreDrawnAtTheScreensScale()
    {
        loadAndShow();
        const qreal scale = qApp->devicePixelRatio();
        QCOMPARE(scale, qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble());
        const QPixmap sample = control<QLabel>("imgThumb")->pixmap();
        QCOMPARE(sample.size(), QSize(88, 125) * scale);
        QCOMPARE(sample.devicePixelRatio(), scale);
        fillInputs(pdfs(), thumbs());
        clickConvert();
        const QPixmap mark = results()->item(0, 0)->icon().pixmap(QSize(16, 16), scale);
        QCOMPARE(mark.size(), QSize(16, 16) * scale);
        QCOMPARE(m_window->windowIcon().pixmap(QSize(52, 52), scale).size(), QSize(52, 52) * scale);
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
