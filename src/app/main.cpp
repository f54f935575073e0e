#include "cli/CommandLineRun.h"
#include "pool/PreviewDecoder.h"
#include "pool/WorkerConverter.h"
#include "ui/AppIdentity.h"
#include "ui/CommandLine.h"
#include "ui/Leafmark.h"

#include <QApplication>
#include <QVersionNumber>

namespace {

// Qt, its platform theme and the desktop progress all reach for the session
// bus. With none announced, the bus library would launch one that outlives
// the program; an address it cannot use keeps it from trying.
void useOnlyAnAnnouncedSessionBus()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

// Qt 6.4 takes a window whose frame callback is 100 ms late for hidden, and
// then commits its next frame without the window's new geometry: on a busy
// machine, a fixed window the compositor maximised is ended with a protocol
// error. A late callback is a busy compositor, not a hidden window.
void waitForLateFramesUnderWayland()
{
    if (qEnvironmentVariableIsEmpty("QT_WAYLAND_FRAME_CALLBACK_TIMEOUT"))
        qputenv("QT_WAYLAND_FRAME_CALLBACK_TIMEOUT", "600000");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(AppIdentity::Title);
    QCoreApplication::setApplicationVersion(QVersionNumber(AppIdentity::VersionMajor,
                                                           AppIdentity::VersionMinor,
                                                           AppIdentity::VersionRevision)
                                                .toString());
    answerHelpAndVersion(argc, argv);
    if (asksForRunWithoutWindow(argc, argv)) {
        // No window system is touched, so a run needs no display.
        const QCoreApplication console(argc, argv);
        return runFromCommandLine(QCoreApplication::arguments());
    }
    useOnlyAnAnnouncedSessionBus();
    waitForLateFramesUnderWayland();

    QApplication app(argc, argv);
    // The window manager and the Wayland compositor match the window to
    // leafmark.desktop by this name, for its icon and its place in the dock.
    QGuiApplication::setDesktopFileName(QStringLiteral("leafmark"));

    WorkerConverter converter;
    PreviewDecoder decoder(converter);
    Leafmark window(converter, decoder);
    if (!window.load())
        return 1;
    window.show();
    return app.exec();
}
