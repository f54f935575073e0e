#include "settings/FormatTable.h"
#include "settings/rutines.h"
#include "support/ModalWindow.h"
#include "support/MouseActions.h"
#include "support/TestFiles.h"
#include "support/WindowFixture.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"
#include "ui/frmOptions.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScopeGuard>
#include <QStyleHints>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

QColor red()
{
    return QColor(255, 0, 0);
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

// Lists the menu's actions, and chooses the one of that text, if any.
void chooseFromMenu(QWidget *window, QStringList &texts, const QString &choice)
{
    auto *menu = static_cast<QMenu *>(window);
    QAction *chosen = nullptr;
    for (QAction *action : menu->actions()) {
        texts.append(action->text());
        if (!action->isSeparator() && action->text() == choice)
            chosen = action;
    }
    if (chosen) {
        menu->setActiveAction(chosen);
        QTest::keyClick(menu, Qt::Key_Return);
    }
}

} // namespace

class TestLooksAndAccess : public QObject, protected WindowFixture
{
    Q_OBJECT

    QString rowDescription(int row) const
    {
        return results()->item(row, 0)->data(Qt::AccessibleDescriptionRole).toString();
    }
    QStringList menuOfRow(int row, QContextMenuEvent::Reason reason, const QString &choice = {})
    {
        QStringList texts;
        const ModalWindow menu(ModalWindow::Kind::Menu,
                               [&](QWidget *window) { chooseFromMenu(window, texts, choice); });
        const QPoint centre = results()->visualItemRect(results()->item(row, 0)).center();
        QContextMenuEvent event(reason, centre, results()->viewport()->mapToGlobal(centre));
        QApplication::sendEvent(reason == QContextMenuEvent::Mouse
                                    ? results()->viewport()
                                    : static_cast<QWidget *>(results()),
                                &event);
        return texts;
    }

    QList<QUrl> m_openedUrls;

public slots:
    void recordUrl(const QUrl &url) { m_openedUrls.append(url); }

private slots:
    void initTestCase() { QDesktopServices::setUrlHandler("file", this, "recordUrl"); }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("file"); }

    void init() { openOnTheUsualTree(); }
    void cleanup() { closeAndForget(); }

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

    // Each piece a reader asks for holds its offset, the pieces of a kind
    // tile the text in as many steps as it has characters at most, and the
    // words of a path are its names and the separators between them.
    void screenReadersStepThroughAPathByEveryBoundary_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("words");
        QTest::newRow("plain") << "/home/ana/pdfs"
                               << "/|home|/|ana|/|pdfs";
        QTest::newRow("spaces") << "/srv/My  Papers/2024 q1"
                                << "/|srv|/|My|  |Papers|/|2024| |q1";
        QTest::newRow("non-ASCII") << QString::fromUtf8("/tmp/ñandú/Ελληνικά-é")
                                   << QString::fromUtf8("/|tmp|/|ñandú|/|Ελληνικά|-|é");
        QTest::newRow("surrogates and marks")
            << QString::fromUtf8("~/𝄞 n\u0303o/x") << QString::fromUtf8("~|/|𝄞| |n\u0303o|/|x");
        QTest::newRow("empty") << QString() << QString();
    }
    void screenReadersStepThroughAPathByEveryBoundary()
    {
        QFETCH(QString, path);
        QFETCH(QString, words);
        loadAndShow();
        box("txtPDFfolder")->setText(path);
        QAccessibleTextInterface *text =
            QAccessible::queryAccessibleInterface(box("txtPDFfolder"))->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), path.size());
        for (const auto kind :
             {QAccessible::CharBoundary, QAccessible::WordBoundary, QAccessible::SentenceBoundary,
              QAccessible::ParagraphBoundary, QAccessible::LineBoundary, QAccessible::NoBoundary}) {
            for (int offset = 0; offset <= path.size(); ++offset) {
                int atStart = -1;
                int atEnd = -1;
                const QString piece = text->textAtOffset(offset, kind, &atStart, &atEnd);
                QVERIFY(atStart <= offset && offset <= atEnd);
                QVERIFY(atEnd > offset || offset == path.size());
                QCOMPARE(piece, path.mid(atStart, atEnd - atStart));
                int start = -1;
                int end = -1;
                text->textBeforeOffset(offset, kind, &start, &end);
                QCOMPARE(end, atStart);
                text->textAfterOffset(offset, kind, &start, &end);
                QCOMPARE(start, atEnd);
            }
            QStringList pieces;
            for (int offset = 0, steps = 0; offset < path.size(); ++steps) {
                QVERIFY(steps < path.size());
                int start = -1;
                pieces << text->textAtOffset(offset, kind, &start, &offset);
            }
            QCOMPARE(pieces.join(QString()), path);
            if (kind == QAccessible::WordBoundary)
                QCOMPARE(pieces.join('|'), words);
            if (kind == QAccessible::CharBoundary)
                QVERIFY(std::none_of(pieces.cbegin(), pieces.cend(), [](const QString &piece) {
                    return piece.back().isHighSurrogate() || piece.front().isMark();
                }));
        }
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
        const auto pdf = [this](const QString &name) { return "PDF: " + pdfs() + "/" + name; };
        QCOMPARE(rows,
                 QStringList({"a.png Converted. " + pdf("a.pdf") + " | " + pdf("a.pdf"),
                              "b.png Converted. " + pdf("sub/b.pdf") + " | " + pdf("sub/b.pdf"),
                              "b.png Failed: not a PDF. " + pdf("b.pdf") + " | " + pdf("b.pdf") +
                                  "\nnot a PDF",
                              "c.png Converted. " + pdf("sub/c.pdf") + " | " + pdf("sub/c.pdf")}));

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
        QCOMPARE(results()->item(aRows[0], 0)->toolTip(), pdf("a.pdf") + "\n" + replaced);
        QCOMPARE(rowDescription(aRows[0]),
                 "Converted; " + replaced.toLower() + ". " + pdf("a.pdf"));
        QVERIFY(!results()->item(aRows[0], 0)->icon().isNull());
        QCOMPARE(results()->item(aRows[1], 0)->toolTip(), pdf("sub/other/a.pdf"));
        QCOMPARE(rowDescription(aRows[1]), "Converted. " + pdf("sub/other/a.pdf"));
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

        const QStringList pdfAndFailures{"Copy path of the PDF",
                                         "Show the PDF in its folder",
                                         "",
                                         "Copy all failures",
                                         "Next failure",
                                         "Previous failure"};
        QCOMPARE(menuOfRow(green, QContextMenuEvent::Keyboard),
                 QStringList({"Open", "Show in folder"}) + pdfAndFailures);
        QCOMPARE(menuOfRow(red, QContextMenuEvent::Mouse, "Copy reason"),
                 QStringList({"Open", "Show in folder", "Copy reason"}) + pdfAndFailures);
        QCOMPARE(QApplication::clipboard()->text(), QString("not a PDF"));
        menuOfRow(green, QContextMenuEvent::Mouse, "Copy all failures");
        QCOMPARE(QApplication::clipboard()->text(), pdfs() + "/b.pdf: not a PDF\n");
        menuOfRow(red, QContextMenuEvent::Mouse, "Copy path of the PDF");
        QCOMPARE(QApplication::clipboard()->text(), pdfs() + "/b.pdf");
        results()->setCurrentItem(results()->item(green, 0));
        // The row menus took the window's activation with them.
        QApplication::setActiveWindow(m_window.get());
        convert()->setFocus();
        QTest::keyClick(convert(), Qt::Key_F8);
        QCOMPARE(results()->currentRow(), red);
        QVERIFY(results()->hasFocus());
        QTest::keyClick(results(), Qt::Key_F8, Qt::ShiftModifier);
        QCOMPARE(results()->currentRow(), red);
        QCOMPARE(results()->currentRow(), red);
        menuOfRow(red, QContextMenuEvent::Keyboard, "Open");
        QCOMPARE(m_decoder.paths.last(), thumbs() + "/b.png");
        QCOMPARE(MessageBox::takeRecorded(), QStringList({"Cannot load file"}));
        m_openedUrls.clear();
        menuOfRow(green, QContextMenuEvent::Mouse, "Show in folder");
        QCOMPARE(m_openedUrls, QList<QUrl>({QUrl::fromLocalFile(thumbs())}));
    }

    // F10 arms the menu bar as Alt does, and the item reached can be seen;
    // Home and End reach the ends of the results; an empty list shows that it
    // has the focus.
    void theKeyboardReachesTheMenuBarAndTheListsEndsVisibly()
    {
        loadAndShow();
        QMenuBar *bar = m_window->menuBar();
        const QImage unarmed = bar->grab().toImage();
        box("txtPDFfolder")->setFocus();
        pressKey(Qt::Key_F10);
        QVERIFY(bar->activeAction());
        QCOMPARE(bar->activeAction()->text(), QString("Settings"));
        QVERIFY(bar->grab().toImage() != unarmed);
        pressKey(Qt::Key_Escape);
        QVERIFY(box("txtPDFfolder")->hasFocus());
        QVERIFY(!bar->activeAction());

        convert()->setFocus();
        const QImage unfocused = results()->viewport()->grab().toImage();
        pressKey(Qt::Key_Tab);
        QVERIFY(results()->hasFocus());
        QVERIFY(results()->viewport()->grab().toImage() != unfocused);

        fillInputs(pdfs(), thumbs());
        clickConvert();
        QCOMPARE(results()->rowCount(), 3);
        results()->setFocus();
        pressKey(Qt::Key_End);
        QCOMPARE(results()->currentRow(), 2);
        pressKey(Qt::Key_Home);
        QCOMPARE(results()->currentRow(), 0);
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
};

QTEST_MAIN(TestLooksAndAccess)
#include "tst_looksandaccess.moc"
