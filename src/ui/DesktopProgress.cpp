#include "ui/DesktopProgress.h"

#include "ui/AppIdentity.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QUrl>
#include <QVariantMap>

namespace {

const QString LauncherEntryPath = QStringLiteral("/com/canonical/unity/launcherentry/leafmark");
const QString LauncherEntryInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");
const QString ApplicationUri = QStringLiteral("application://leafmark.desktop");
const QString Notifications = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString OpenFolderAction = QStringLiteral("open-folder");

// A walk through thousands of quickly handled files would otherwise send a
// signal for every one of them.
constexpr std::chrono::milliseconds CountInterval(250);
constexpr std::chrono::seconds LongRun(5);

} // namespace

DesktopProgress::DesktopProgress(QObject *parent)
    : QObject(parent), m_bus(QDBusConnection::sessionBus()), m_longRun(LongRun)
{
    m_pendingCount.setSingleShot(true);
    connect(&m_pendingCount, &QTimer::timeout, this, &DesktopProgress::sendCount);
    if (!m_bus.isConnected())
        return;
    m_bus.connect(Notifications, NotificationsPath, Notifications, QStringLiteral("ActionInvoked"),
                  this, SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(Notifications, NotificationsPath, Notifications,
                  QStringLiteral("NotificationClosed"), this, SLOT(onNotificationClosed(uint)));
}

void DesktopProgress::runStarted()
{
    m_runClock.start();
    m_sinceCountSent.invalidate();
    m_count = 0;
    m_failed = 0;
    m_skipped = 0;
    m_replaced = 0;
    m_total = 0;
    m_counting = true;
}

void DesktopProgress::fileHandled(qint64 count, bool succeeded)
{
    m_count = count;
    m_failed += succeeded ? 0 : 1;
    countChanged();
}

void DesktopProgress::setTotal(qint64 total)
{
    if (!m_counting)
        return;
    m_total = total;
    countChanged();
}

// The first count goes out at once, later ones at most once an interval; the
// last of a quick succession follows when the interval is over.
void DesktopProgress::countChanged()
{
    if (m_pendingCount.isActive())
        return;
    if (!m_sinceCountSent.isValid() || m_sinceCountSent.elapsed() >= CountInterval.count())
        sendCount();
    else
        m_pendingCount.start(CountInterval);
}

bool DesktopProgress::runEnded()
{
    m_pendingCount.stop();
    m_counting = false;
    sendCount();
    return m_runClock.elapsed() >= m_longRun.count();
}

void DesktopProgress::sendCount()
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(LauncherEntryPath, LauncherEntryInterface,
                                                     QStringLiteral("Update"));
    QVariantMap properties{{QStringLiteral("count"), m_count},
                           {QStringLiteral("count-visible"), m_counting}};
    // A tree that grew during the run may hold more PDFs than were counted.
    if (m_total > 0) {
        properties.insert(QStringLiteral("progress"), qMin(1.0, double(m_count) / double(m_total)));
        properties.insert(QStringLiteral("progress-visible"), m_counting);
    }
    signal << ApplicationUri << properties;
    m_bus.send(signal);
    m_sinceCountSent.start();
}

// Asked without waiting for the answer: a notification service that is
// missing or slow must not hold up the window.
void DesktopProgress::notify(const QString &outcome, const QString &outputFolder)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(Notifications, NotificationsPath,
                                                       Notifications, QStringLiteral("Notify"));
    const qint64 made = m_count - m_failed - m_skipped;
    QString tally = (made == 1 ? QStringLiteral("1 thumbnail made")
                               : QStringLiteral("%1 thumbnails made").arg(made)) +
                    QStringLiteral(", %1 failed").arg(m_failed);
    if (m_skipped > 0)
        tally += QStringLiteral(", %1 up to date").arg(m_skipped);
    if (m_replaced > 0)
        tally += QStringLiteral(", %1 replaced by a later PDF of the same name").arg(m_replaced);
    tally += QLatin1Char('.');
    call << AppIdentity::Title << uint(0) << QStringLiteral("leafmark") << outcome << tally
         << QStringList{QStringLiteral("default"), QStringLiteral("Open folder"), OpenFolderAction,
                        QStringLiteral("Open folder")}
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("leafmark")}} << -1;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, outputFolder](QDBusPendingCallWatcher *finished) {
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isValid())
                    m_folders.insert(reply.value(), outputFolder);
                finished->deleteLater();
            });
}

void DesktopProgress::onActionInvoked(uint id, const QString &action)
{
    if (action != QLatin1String("default") && action != OpenFolderAction)
        return;
    const auto folder = m_folders.constFind(id);
    if (folder != m_folders.cend())
        QDesktopServices::openUrl(QUrl::fromLocalFile(*folder));
}

void DesktopProgress::onNotificationClosed(uint id)
{
    m_folders.remove(id);
}
