#pragma once

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

// Shows a run to the desktop: the count of files handled so far and, once the
// run's total is known, how far it has got, on the program's entry in the dock
// or task bar (the LauncherEntry signal that Plasma's task manager and GNOME's
// dash-to-dock read), and a notification when a long run ends while the window
// is in the background. A desktop without these services sees nothing, and
// nothing waits for it.
class DesktopProgress : public QObject
{
    Q_OBJECT

public:
    explicit DesktopProgress(QObject *parent = nullptr);

    void runStarted();
    void fileHandled(qint64 count, bool succeeded);
    // After fileHandled: the file's thumbnail was up to date.
    void fileSkipped() { ++m_skipped; }
    // Thumbnails that a later file of the same name wrote over.
    void setReplaced(qint64 replaced) { m_replaced = replaced; }
    void setTotal(qint64 total);
    // Clears the count. True when the run was long enough for a notification.
    bool runEnded();
    // A notification saying outcome and how many thumbnails were made and how
    // many failed, whose action opens outputFolder.
    void notify(const QString &outcome, const QString &outputFolder);

    // Runs shorter than this end without a notification.
    void setLongRun(std::chrono::milliseconds duration) { m_longRun = duration; }

private slots:
    void onActionInvoked(uint id, const QString &action);
    void onNotificationClosed(uint id);

private:
    void countChanged();
    void sendCount();

    QDBusConnection m_bus;
    std::chrono::milliseconds m_longRun;
    QElapsedTimer m_runClock;
    QElapsedTimer m_sinceCountSent;
    QTimer m_pendingCount;
    qint64 m_count = 0;
    qint64 m_failed = 0;
    qint64 m_skipped = 0;
    qint64 m_replaced = 0;
    // 0 until the total is known.
    qint64 m_total = 0;
    bool m_counting = false;
    // Notifications shown and not yet closed, with the folder each opens.
    QHash<uint, QString> m_folders;
};
