#include "settings/rutines.h"
#include "support/EventWait.h"
#include "support/FakeConverter.h"
#include "support/RecordingDecoder.h"
#include "support/TestFiles.h"
#include "support/WindowFixture.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString NotificationsName = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

// What a dock and a notification server hear, on a connection of their own.
class DesktopListener : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Update
    {
        QString application;
        qint64 count;
        bool visible;
        // -1 until the run's total is known.
        double progress;
    };
    QList<Update> updates;
    QStringList notifications;
    QList<QStringList> actions;
    int markers = 0;

    DesktopListener()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "listener"))
    {
        m_bus.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry", "Update", this,
                      SLOT(onUpdate(QString, QVariantMap)));
        m_bus.connect(QString(), QString(), "org.leafmark.Test", "Marker", this, SLOT(onMarker()));
        m_bus.registerObject(NotificationsPath, this, QDBusConnection::ExportAllSlots);
    }
    ~DesktopListener() override { QDBusConnection::disconnectFromBus("listener"); }
    bool serveNotifications(bool serve)
    {
        return serve ? m_bus.registerService(NotificationsName)
                     : m_bus.unregisterService(NotificationsName);
    }
    void click(uint id, const QString &action)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(NotificationsPath, NotificationsName, "ActionInvoked");
        signal << id << action;
        m_bus.send(signal);
    }

public slots:
    uint Notify(const QString &application, uint, const QString &, const QString &summary,
                const QString &body, const QStringList &offered, const QVariantMap &, int)
    {
        notifications.append(application + ": " + summary + " " + body);
        actions.append(offered);
        return uint(notifications.size());
    }
    void onMarker() { ++markers; }
    void onUpdate(const QString &application, const QVariantMap &properties)
    {
        updates.append({application, properties.value("count").toLongLong(),
                        properties.value("count-visible").toBool(),
                        properties.value("progress", -1.0).toDouble()});
    }

private:
    QDBusConnection m_bus;
};

class TestDesktopProgress : public QObject, protected WindowFixture
{
    Q_OBJECT

    std::unique_ptr<DesktopListener> m_listener;
    QList<QUrl> m_opened;

    void run(const QString &pdfFolder)
    {
        fillInputs(pdfFolder, thumbs());
        clickConvert();
    }
    // The bus keeps the order of what the window's connection sends: once a
    // marker sent after the run has arrived, so has anything the run sent.
    void waitForAllTheRunSent()
    {
        const int before = m_listener->markers;
        QVERIFY(QDBusConnection::sessionBus().send(
            QDBusMessage::createSignal("/marker", "org.leafmark.Test", "Marker")));
        QTRY_VERIFY_WITH_TIMEOUT(m_listener->markers > before, EventWait::CeilingMs);
    }

public slots:
    void recordUrl(const QUrl &url) { m_opened.append(url); }

private slots:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
        QDesktopServices::setUrlHandler("file", this, "recordUrl");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("file"); }
    void init()
    {
        startAfresh({"pdfs/a.pdf", "pdfs/b.pdf", "pdfs/sub/c.pdf", "thumbs/", "empty/"});
        m_opened.clear();
        m_listener = std::make_unique<DesktopListener>();
        openWindow(m_converter, m_decoder);
        loadAndShow();
    }
    void cleanup()
    {
        closeAndForget();
        m_listener.reset();
    }

    void theDockCountsTheFilesHandledAndClearsAtTheEnd()
    {
        run(pdfs());
        QTRY_VERIFY_WITH_TIMEOUT(!m_listener->updates.isEmpty() &&
                                     !m_listener->updates.last().visible,
                                 EventWait::CeilingMs);
        const auto &updates = m_listener->updates;
        QCOMPARE(updates.first().application, QString("application://leafmark.desktop"));
        QCOMPARE(updates.first().count, 1);
        QVERIFY(updates.first().visible);
        for (qsizetype i = 1; i + 1 < updates.size(); ++i) {
            QVERIFY(updates[i].visible);
            QVERIFY(updates[i].count >= updates[i - 1].count && updates[i].count <= 3);
        }
        QVERIFY(updates.size() >= 2);
    }

    // Once the total is counted the dock shows how far the run has got; the
    // last figure of a whole run is all of it.
    void theDockProgressReachesTheWholeAtTheEnd()
    {
        QVERIFY(fillTree(m_dir->path(), {"many/d.pdf", "many/e/f.pdf", "many/e/g/h.pdf"}));
        run(m_dir->path());
        QTRY_VERIFY_WITH_TIMEOUT(!m_listener->updates.isEmpty() &&
                                     !m_listener->updates.last().visible,
                                 EventWait::CeilingMs);
        double before = 0;
        for (const DesktopListener::Update &update : m_listener->updates) {
            if (update.progress < 0)
                continue;
            QVERIFY(update.progress >= before && update.progress <= 1);
            QCOMPARE(update.progress, double(update.count) / 6);
            before = update.progress;
        }
        QCOMPARE(m_listener->updates.last().count, 6);
        QCOMPARE(m_listener->updates.last().progress, 1.0);
    }

    void aLongRunEndingInTheBackgroundIsNotified_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<int>("longRunMs");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("notified");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("told");
        const QString told = "Done. 3 PDF files found... 2 thumbnails made, 1 failed.";
        QTest::newRow("in the background") << false << 0 << "pdfs" << true << QStringList() << told;
        QTest::newRow("window active") << true << 0 << "pdfs" << false << QStringList() << told;
        QTest::newRow("short run") << false << 3600000 << "pdfs" << false << QStringList() << told;
        QTest::newRow("no PDF found") << false << 0 << "empty" << false << QStringList() << told;
        QTest::newRow("a thumbnail replaced")
            << false << 0 << "pdfs" << true << QStringList({"pdfs/sub/a.pdf"})
            << "Done. 4 PDF files found... 3 thumbnails made, 1 failed, 1 replaced by a later PDF "
               "of the same name.";
    }
    void aLongRunEndingInTheBackgroundIsNotified()
    {
        QFETCH(bool, active);
        QFETCH(int, longRunMs);
        QFETCH(QString, folder);
        QFETCH(bool, notified);
        QFETCH(QStringList, extra);
        QFETCH(QString, told);
        QVERIFY(fillTree(m_dir->path(), extra));
        m_converter.onConvert = [](const ConversionJob &job) {
            return job.input.endsWith("/b.pdf") ? ConversionResult{{}, "not a PDF"}
                                                : ConversionResult{"1,1,PDF", {}};
        };
        QVERIFY(m_listener->serveNotifications(true));
        m_window->desktopProgress().setLongRun(std::chrono::milliseconds(longRunMs));
        if (active) {
            QApplication::setActiveWindow(m_window.get());
            QVERIFY(QTest::qWaitForWindowActive(m_window.get(), EventWait::CeilingMs));
        } else {
            QApplication::setActiveWindow(nullptr);
        }
        run(m_dir->path() + "/" + folder);
        QTRY_VERIFY_WITH_TIMEOUT(!m_listener->updates.isEmpty() &&
                                     !m_listener->updates.last().visible,
                                 EventWait::CeilingMs);
        if (!notified) {
            waitForAllTheRunSent();
            QCOMPARE(m_listener->notifications, QStringList());
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_listener->notifications, QStringList({"Leafmark: " + told}),
                                  EventWait::CeilingMs);
        QVERIFY(m_listener->actions.first().contains("open-folder"));
        m_listener->click(1, "open-folder");
        QTRY_COMPARE_WITH_TIMEOUT(m_opened, QList<QUrl>({QUrl::fromLocalFile(thumbs())}),
                                  EventWait::CeilingMs);
    }

    void withoutANotificationServiceTheRunEndsAsUsual()
    {
        m_window->desktopProgress().setLongRun(std::chrono::milliseconds(0));
        QApplication::setActiveWindow(nullptr);
        run(pdfs());
        QCOMPARE(status()->text(), QString("Done. 3 PDF files found..."));
        waitForAllTheRunSent();
        QCOMPARE(m_listener->notifications, QStringList());
        QVERIFY(MessageBox::takeRecorded().isEmpty());
        QVERIFY(convert()->isEnabled());
    }
};

QTEST_MAIN(TestDesktopProgress)
#include "tst_desktopprogress.moc"
