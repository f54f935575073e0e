#include "pool/WorkerLocation.h"
#include "settings/rutines.h"

#include <QCoreApplication>
#include <QTextStream>

// Reports where a program in this folder finds its worker and its settings
// file, after saving one setting as a first run would.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    WriteSetting(QStringLiteral("config"), QStringLiteral("ThumbWidth"), QStringLiteral("88"));
    QTextStream out(stdout);
    out << "worker=" << locateWorker() << '\n' << "settings=" << settingsFilePath() << '\n';
    return 0;
}
