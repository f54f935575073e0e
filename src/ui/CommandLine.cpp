#include "ui/CommandLine.h"

#include "cli/CliArguments.h"
#include "ui/AppIdentity.h"

#include <QCommandLineParser>
#include <QCoreApplication>

void answerHelpAndVersion(int argc, char *argv[])
{
    // A console application: a window system is not needed to print a text.
    QCoreApplication console(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(AppIdentity::Description);
    // "-reverse" and Qt's other single-dash options are not bundles of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    CliArguments::addRunOptions(parser);
    // False for an unknown option, which is ignored like any other argument.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp();
    if (parser.isSet(version))
        parser.showVersion();
}

bool asksForRunWithoutWindow(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return CliArguments::asksForRun(arguments);
}
