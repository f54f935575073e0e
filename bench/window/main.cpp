// Drives the program's real window offscreen through one run and writes what
// the run cost: per-file times, the gaps between yield points, resident memory
// and CPU time of the window's process and of the pool's workers.
#include "GapAnalysis.h"
#include "IdleConverter.h"
#include "ProcessStats.h"
#include "QuietWalkView.h"
#include "TimedConverter.h"
#include "WindowBench.h"
#include "YieldClock.h"
#include "pool/PreviewDecoder.h"
#include "pool/WorkerConverter.h"
#include "run/FolderWalk.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

namespace {

constexpr qint64 ResponsivenessLimitNs = 20'000'000;
const QString WorkerProgram = QStringLiteral("leafmark-worker");

struct ProcessMemory
{
    qint64 pid = 0;
    qint64 kib = 0;
};

struct MemorySample
{
    qsizetype conversions = 0;
    qint64 windowKiB = 0;
    // Every worker of the pool alive at the time.
    QList<ProcessMemory> workers;

    qint64 workersKiB() const
    {
        qint64 total = 0;
        for (const ProcessMemory &worker : workers)
            total += std::max<qint64>(worker.kib, 0);
        return total;
    }
};

MemorySample sampleMemory(qsizetype conversions)
{
    MemorySample sample;
    sample.conversions = conversions;
    sample.windowKiB = ProcessStats::residentKiB(getpid());
    for (const qint64 pid : ProcessStats::childrenNamed(WorkerProgram))
        sample.workers.append({pid, ProcessStats::residentKiB(pid)});
    return sample;
}

// The window's process with the workers it has waited for, and the workers
// alive now, Ghostscript included: a worker that stops in between is counted
// once, among the first.
double runCpuSeconds()
{
    double total = ProcessStats::cpuSeconds(getpid());
    for (const qint64 pid : ProcessStats::childrenNamed(WorkerProgram))
        total += std::max(ProcessStats::cpuSeconds(pid), 0.0);
    return total;
}

double seconds(qint64 ns)
{
    return double(ns) / 1e9;
}

double milliseconds(qint64 ns)
{
    return double(ns) / 1e6;
}

bool writeText(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    return file.write(text.toUtf8()) >= 0;
}

// Per PDF: the time from the end of the previous conversion (or the click) to
// the end of its own, so that the walk and the window are counted in; and the
// moment it ended, counted from the click.
QString fileTimes(const QList<ConversionRecord> &records, qint64 runStartNs)
{
    QString text;
    QTextStream out(&text);
    out << "order\tseconds\tfinished\tseconds_converting\tok\tpath\n";
    qint64 previousEnd = runStartNs;
    for (qsizetype i = 0; i < records.size(); ++i) {
        const ConversionRecord &record = records[i];
        out << i + 1 << '\t' << seconds(record.end.wallNs - previousEnd) << '\t'
            << seconds(record.end.wallNs - runStartNs) << '\t'
            << seconds(record.end.wallNs - record.start.wallNs) << '\t'
            << (record.succeeded ? 1 : 0) << '\t' << record.input << '\n';
        previousEnd = record.end.wallNs;
    }
    return text;
}

// One line per process and sample.
QString memoryTable(const QList<MemorySample> &samples)
{
    QString text;
    QTextStream out(&text);
    out << "conversions\tprocess\tpid\tkib\n";
    for (const MemorySample &sample : samples) {
        out << sample.conversions << "\twindow\t" << getpid() << '\t' << sample.windowKiB << '\n';
        for (const ProcessMemory &worker : sample.workers)
            out << sample.conversions << "\tworker\t" << worker.pid << '\t' << worker.kib << '\n';
    }
    return text;
}

class Summary
{
public:
    template <typename T> void add(const char *key, const T &value)
    {
        m_out << key << '\t' << value << '\n';
    }
    QString text() const { return m_text; }

private:
    QString m_text;
    QTextStream m_out{&m_text};
};

void addGaps(Summary &summary, const RunOutcome &outcome, const QList<Stamp> &yields,
             const QList<ConversionRecord> &records)
{
    QList<qint64> wallPoints{outcome.start.wallNs};
    QList<qint64> cpuPoints{outcome.start.cpuNs};
    for (const Stamp &yield : yields) {
        wallPoints.append(yield.wallNs);
        cpuPoints.append(yield.cpuNs);
    }
    wallPoints.append(outcome.end.wallNs);
    cpuPoints.append(outcome.end.cpuNs);
    QList<Interval> wallConversions;
    QList<Interval> cpuConversions;
    for (const ConversionRecord &record : records) {
        wallConversions.append({record.start.wallNs, record.end.wallNs});
        cpuConversions.append({record.start.cpuNs, record.end.cpuNs});
    }
    const YieldGaps wall = measureYieldGaps(wallPoints, wallConversions, ResponsivenessLimitNs);
    const YieldGaps cpu = measureYieldGaps(cpuPoints, cpuConversions, ResponsivenessLimitNs);
    summary.add("yield_points", yields.size());
    summary.add("longest_gap_ms", milliseconds(wall.longestNs));
    summary.add("longest_gap_after_files", wall.longestAfterConversions);
    summary.add("gaps_over_20ms", wall.overLimit);
    summary.add("longest_gap_cpu_ms", milliseconds(cpu.longestNs));
    summary.add("longest_gap_cpu_after_files", cpu.longestAfterConversions);
    summary.add("gaps_over_20ms_cpu", cpu.overLimit);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "leafmark-bench-window: %s\n", qPrintable(message));
    return 1;
}

int runWindow(const QCommandLineParser &options)
{
    const QString prefix = options.value(QStringLiteral("out"));
    WorkerConverter worker(options.isSet(QStringLiteral("worker"))
                               ? options.value(QStringLiteral("worker"))
                               : locateWorker());
    IdleConverter idle;
    const bool idleRun = options.isSet(QStringLiteral("idle"));
    const bool untimed = options.isSet(QStringLiteral("untimed"));
    TimedConverter timed(idleRun ? static_cast<Converter &>(idle) : worker);
    Converter &converter = untimed ? (idleRun ? static_cast<Converter &>(idle) : worker)
                                   : static_cast<Converter &>(timed);
    PreviewDecoder decoder(worker);
    WindowBench bench(converter, decoder);
    const QString problem = bench.open();
    if (!problem.isEmpty())
        return fail(QStringLiteral("the window did not load: ") + problem);

    const QString width = options.value(QStringLiteral("width"));
    const QString thumbs = options.value(QStringLiteral("thumbs"));
    if (options.isSet(QStringLiteral("warmup")))
        bench.run(options.value(QStringLiteral("warmup")), thumbs, width);
    timed.clearRecords();

    QList<MemorySample> samples{sampleMemory(0)};
    const qsizetype every = options.value(QStringLiteral("sample-every")).toLongLong();
    if (every > 0)
        timed.setAfterEach([&samples, every](qsizetype done) {
            if (done % every == 0)
                samples.append(sampleMemory(done));
        });
    const std::chrono::seconds timeLimit(options.value(QStringLiteral("time-limit")).toLongLong());

    const double cpuBefore = runCpuSeconds();
    std::optional<YieldClock> clock;
    if (!untimed)
        clock.emplace();
    const RunOutcome outcome =
        bench.run(options.value(QStringLiteral("pdfs")), thumbs, width, timeLimit);
    const QList<Stamp> yields = clock ? clock->stamps() : QList<Stamp>();
    clock.reset();
    const double cpuAfter = runCpuSeconds();
    QApplication::processEvents();
    samples.append(sampleMemory(timed.records().size()));

    const QList<ConversionRecord> &records = timed.records();
    qsizetype failed = 0;
    for (const ConversionRecord &record : records)
        failed += record.succeeded ? 0 : 1;

    Summary summary;
    summary.add("status", outcome.status);
    summary.add("cancelled_at_time_limit", outcome.cancelled ? 1 : 0);
    summary.add("rows", outcome.rows);
    summary.add("files", untimed ? qsizetype(outcome.rows) : records.size());
    summary.add("failed", failed);
    summary.add("seconds_total", seconds(outcome.end.wallNs - outcome.start.wallNs));
    summary.add("cpu_seconds", cpuAfter - cpuBefore);
    if (!untimed)
        addGaps(summary, outcome, yields, records);
    summary.add("window_kib_before", samples.first().windowKiB);
    summary.add("window_kib_after", samples.last().windowKiB);
    summary.add("workers_before", samples.first().workers.size());
    summary.add("workers_after", samples.last().workers.size());
    summary.add("workers_kib_before", samples.first().workersKiB());
    summary.add("workers_kib_after", samples.last().workersKiB());
    summary.add("pool_size", WorkerConverter::usableCores());

    const bool written = writeText(prefix + QStringLiteral(".summary"), summary.text()) &&
                         writeText(prefix + QStringLiteral(".files.tsv"),
                                   fileTimes(records, outcome.start.wallNs)) &&
                         writeText(prefix + QStringLiteral(".memory.tsv"), memoryTable(samples));
    return written ? 0 : fail(QStringLiteral("cannot write the results beside ") + prefix);
}

int runQuietWalk(const QCommandLineParser &options)
{
    QuietWalkView view;
    IdleConverter idle;
    qint64 fileCount = 0;
    const Stamp start = Stamp::now();
    const bool noCancel = false;
    FolderWalk(view, idle, noCancel)
        .FindFilesAPI(options.value(QStringLiteral("pdfs")), QStringLiteral("*.pdf"), fileCount);
    const Stamp end = Stamp::now();

    Summary summary;
    summary.add("files", fileCount);
    summary.add("seconds_total", seconds(end.wallNs - start.wallNs));
    summary.add("cpu_seconds", seconds(end.cpuNs - start.cpuNs));
    return writeText(options.value(QStringLiteral("out")) + QStringLiteral(".summary"),
                     summary.text())
               ? 0
               : fail(QStringLiteral("cannot write the summary"));
}

// What a yield point costs with nothing to do: the window open and idle.
int runYieldCost(const QCommandLineParser &options)
{
    WorkerConverter worker;
    PreviewDecoder decoder(worker);
    IdleConverter idle;
    WindowBench bench(idle, decoder);
    const QString problem = bench.open();
    if (!problem.isEmpty())
        return fail(QStringLiteral("the window did not load: ") + problem);
    constexpr int Yields = 200'000;
    const Stamp start = Stamp::now();
    for (int i = 0; i < Yields; ++i)
        QCoreApplication::processEvents();
    const Stamp end = Stamp::now();

    Summary summary;
    summary.add("yields", Yields);
    summary.add("seconds_total", seconds(end.wallNs - start.wallNs));
    return writeText(options.value(QStringLiteral("out")) + QStringLiteral(".summary"),
                     summary.text())
               ? 0
               : fail(QStringLiteral("cannot write the summary"));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "run: one run of the real window (the worker converts, or nothing with --idle).\n"
        "quiet: the folder walk alone, with no window and no conversion.\n"
        "yield-cost: the cost of one yield point in the idle window."));
    options.addHelpOption();
    options.addPositionalArgument(QStringLiteral("mode"),
                                  QStringLiteral("run, quiet or yield-cost"));
    options.addOptions({
        {QStringLiteral("pdfs"), QStringLiteral("Folder of PDF files."), QStringLiteral("dir")},
        {QStringLiteral("thumbs"), QStringLiteral("Thumbnail folder."), QStringLiteral("dir")},
        {QStringLiteral("out"), QStringLiteral("Prefix of the result files."),
         QStringLiteral("prefix")},
        {QStringLiteral("warmup"), QStringLiteral("A folder to run through first, unmeasured."),
         QStringLiteral("dir")},
        {QStringLiteral("width"), QStringLiteral("Thumbnail width."), QStringLiteral("px"),
         QStringLiteral("88")},
        {QStringLiteral("sample-every"),
         QStringLiteral("Note resident memory after every N conversions."), QStringLiteral("n"),
         QStringLiteral("0")},
        {QStringLiteral("time-limit"),
         QStringLiteral("Click Cancel after this many seconds (0: never)."), QStringLiteral("s"),
         QStringLiteral("0")},
        {QStringLiteral("worker"),
         QStringLiteral("The worker program, if not the one beside this."), QStringLiteral("path")},
        {QStringLiteral("idle"), QStringLiteral("Convert nothing.")},
        {QStringLiteral("untimed"),
         QStringLiteral("Time the run as a whole only: no clock at yield points or conversions.")},
    });
    options.process(app);

    const QString mode = options.positionalArguments().value(0);
    if (!options.isSet(QStringLiteral("out")))
        return fail(QStringLiteral("--out is needed"));
    if (mode == QLatin1String("yield-cost"))
        return runYieldCost(options);
    if (!options.isSet(QStringLiteral("pdfs")))
        return fail(QStringLiteral("--pdfs is needed"));
    if (mode == QLatin1String("run"))
        return runWindow(options);
    if (mode == QLatin1String("quiet"))
        return runQuietWalk(options);
    return fail(QStringLiteral("unknown mode \"%1\"").arg(mode));
}
