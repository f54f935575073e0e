// One run of the walk with the real pool of workers over a folder of PDFs,
// with the run's opt-in options; prints how long it took and what it did.
#include "pool/WorkerConverter.h"
#include "run/FolderWalk.h"
#include "run/WalkView.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

// A window that shows nothing, only counts.
class CountingView : public WalkView
{
public:
    explicit CountingView(QString imageFolder) : m_imageFolder(std::move(imageFolder)) {}

    QString imageFolderText() const override { return m_imageFolder; }
    QString widthText() const override { return QStringLiteral("88"); }
    QString heightText() const override { return QString(); }
    QString currentFormat() const override { return QStringLiteral("png"); }
    void appendResultRow(qint64, const QString &) override {}
    void selectAndRevealRow(qint64) override {}
    void markResultRow(qint64, bool succeeded, const QString &) override
    {
        ++(succeeded ? converted : failed);
    }
    void markUpToDateRow(qint64) override { ++upToDate; }
    void yieldPoint() override {}

    qint64 converted = 0;
    qint64 failed = 0;
    qint64 upToDate = 0;

private:
    QString m_imageFolder;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("pdfs"), QStringLiteral("PDF folder"), QStringLiteral("dir")},
         {QStringLiteral("out"), QStringLiteral("image folder"), QStringLiteral("dir")},
         {QStringLiteral("worker"), QStringLiteral("worker"), QStringLiteral("path")},
         {QStringLiteral("keep-subfolders"), QStringLiteral("keep subfolders")}});
    parser.process(app);

    WorkerConverter converter(parser.value(QStringLiteral("worker")));
    if (const QString problem = converter.start(); !problem.isEmpty()) {
        std::fprintf(stderr, "the converter does not start: %s\n", qPrintable(problem));
        return 1;
    }
    RunOptions options;
    options.skipUpToDate = true;
    options.keepSubfolders = parser.isSet(QStringLiteral("keep-subfolders"));
    CountingView view(parser.value(QStringLiteral("out")));
    const bool noCancel = false;
    qint64 fileCount = 0;
    QElapsedTimer clock;
    clock.start();
    FolderWalk(view, converter, noCancel, options)
        .FindFilesAPI(parser.value(QStringLiteral("pdfs")), QStringLiteral("*.pdf"), fileCount);
    std::printf("files=%lld converted=%lld failed=%lld up_to_date=%lld seconds=%.3f\n",
                qlonglong(fileCount), qlonglong(view.converted), qlonglong(view.failed),
                qlonglong(view.upToDate), double(clock.nsecsElapsed()) / 1e9);
    return 0;
}
