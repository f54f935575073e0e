// How long the end of a run holds the window's thread while every core is
// busy, as the workers keep them during a run: waiting for the count of the
// run's files on its idle-priority thread, as the window once did, against
// RunTotal::finish, which does not wait.
#include "run/MatchCount.h"
#include "ui/RunTotal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

bool makeTree(const QString &root, int folders, int filesPerFolder)
{
    for (int folder = 0; folder < folders; ++folder) {
        const QString path = root + QStringLiteral("/f%1/g%2").arg(folder / 50).arg(folder);
        if (!QDir().mkpath(path))
            return false;
        for (int file = 0; file < filesPerFolder; ++file) {
            QFile pdf(path + QStringLiteral("/d%1.pdf").arg(file));
            if (!pdf.open(QIODevice::WriteOnly))
                return false;
        }
    }
    return true;
}

qint64 waitingForTheCount(const QString &root)
{
    std::unique_ptr<QThread> thread(QThread::create(
        [root] { CountMatchingEntries(root, QStringLiteral("*.pdf"), [] { return false; }); }));
    thread->start(QThread::IdlePriority);
    QElapsedTimer blocked;
    blocked.start();
    thread->wait();
    return blocked.elapsed();
}

qint64 finishingWithoutWaiting(const QString &root, qint64 files)
{
    RunTotal total;
    total.start(root);
    QElapsedTimer blocked;
    blocked.start();
    total.finish(false, files);
    return blocked.elapsed();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    QTemporaryDir dir;
    const int folders = 400;
    const int filesPerFolder = 10;
    if (!dir.isValid() || !makeTree(dir.path(), folders, filesPerFolder)) {
        std::fprintf(stderr, "cannot make the tree\n");
        return 1;
    }
    std::atomic<bool> stop = false;
    std::vector<std::thread> load;
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
        load.emplace_back([&stop] {
            std::atomic<unsigned long> spin = 0;
            while (!stop)
                spin.fetch_add(1, std::memory_order_relaxed);
        });
    std::printf("round\twaiting for the count (ms)\tRunTotal::finish (ms)\n");
    for (int round = 1; round <= rounds; ++round) {
        const qint64 before = waitingForTheCount(dir.path());
        const qint64 after = finishingWithoutWaiting(dir.path(), qint64(folders) * filesPerFolder);
        std::printf("%d\t%lld\t%lld\n", round, before, after);
        std::fflush(stdout);
    }
    stop = true;
    for (std::thread &thread : load)
        thread.join();
    return 0;
}
