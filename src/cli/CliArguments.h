#pragma once

#include "run/RunOptions.h"

#include <QString>
#include <QStringList>

class QCommandLineParser;

// What a run from the command line is asked to do, before any check of the
// folders themselves.
struct CliRequest
{
    QString pdfFolder;
    QString imageFolder;
    QString width;
    QString height;
    QString format = QStringLiteral("png");
    int jobs = 0;
    bool json = false;
    RunOptions options;
};

// The run options of the command line, read with Qt's parser so that --help
// lists them as it lists every option.
class CliArguments
{
public:
    static void addRunOptions(QCommandLineParser &parser);
    // True when the arguments ask for a run without the window: any option
    // written with two dashes. Qt's own options (-platform, -reverse) take one.
    static bool asksForRun(const QStringList &arguments);

    // Reads the arguments; error() is "" when they make a request.
    explicit CliArguments(const QStringList &arguments);
    const CliRequest &request() const { return m_request; }
    const QString &error() const { return m_error; }

private:
    void read(const QCommandLineParser &parser);
    bool readSize(const QCommandLineParser &parser, const QString &name, QString &size);
    bool readFormat(const QCommandLineParser &parser);
    bool readJobs(const QCommandLineParser &parser);
    bool reject(const QString &option, const QString &problem);

    CliRequest m_request;
    QString m_error;
};
