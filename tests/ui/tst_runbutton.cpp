#include "settings/FormatTable.h"
#include "settings/rutines.h"
#include "support/EventWait.h"
#include "support/MouseActions.h"
#include "support/TestFiles.h"
#include "support/WindowFixture.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"
#include "ui/frmOptions.h"

#include <QApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QStyleHints>
#include <QTest>

#include <memory>

namespace {

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

} // namespace

class TestRunButton : public QObject, protected WindowFixture
{
    Q_OBJECT

private slots:
    void init() { openOnTheUsualTree(); }
    void cleanup() { closeAndForget(); }

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
        QVERIFY(QTest::qWaitForWindowActive(m_window.get(), EventWait::CeilingMs));
        fillInputs(pdfs(), thumbs());

        int presses = 0;
        PressCounter counter(convert(), presses);
        bool secondPressDuringTheRun = false;
        m_converter.onConvert = [&](const ConversionJob &) {
            // The second press is taken while the first file converts.
            if (m_converter.calls.size() == 1)
                secondPressDuringTheRun = EventWait::until([&] { return presses == 2; });
            return ConversionResult{"1,1,PDF", {}};
        };
        const QPoint centre = convert()->mapToGlobal(convert()->rect().center());
        QProcess xdotool;
        xdotool.start("xdotool", {"mousemove", "--sync", QString::number(centre.x()),
                                  QString::number(centre.y()), "click", "--repeat", "2", "--delay",
                                  "150", "1"});
        QVERIFY(xdotool.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(status()->text(), QString("Done. 3 PDF files found..."),
                                  EventWait::CeilingMs);
        QVERIFY(xdotool.waitForFinished(EventWait::CeilingMs));
        QCOMPARE(xdotool.exitCode(), 0);
        QVERIFY(secondPressDuringTheRun);
        QCOMPARE(m_converter.calls.size(), 3);
        verifyIdle();
    }
};

QTEST_MAIN(TestRunButton)
#include "tst_runbutton.moc"
