#include "AppIdentity.h"
#include "Leafmark.h"
#include "run/WorkerConverter.h"

#include <QApplication>
#include <QVersionNumber>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppIdentity::Title);
    QApplication::setApplicationVersion(QVersionNumber(AppIdentity::VersionMajor,
                                                       AppIdentity::VersionMinor,
                                                       AppIdentity::VersionRevision)
                                            .toString());
    // The window manager and the Wayland compositor match the window to
    // leafmark.desktop by this name, for its icon and its place in the dock.
    QGuiApplication::setDesktopFileName(QStringLiteral("leafmark"));

    WorkerConverter converter;
    Leafmark window(converter, converter);
    if (!window.load())
        return 1;
    window.show();
    return app.exec();
}
