// Odd names and paths through the real walk and the real worker: every PDF's
// thumbnail is made from exactly that file and written under exactly its
// output name, or the PDF gets a red cross; nothing else in the output folder
// changes.

#include "pool/WorkerConverter.h"
#include "run/FolderWalk.h"
#include "settings/FormatTable.h"
#include "support/Corpus.h"
#include "support/FakeConverter.h"
#include "support/FakeWalkView.h"
#include "support/FolderSnapshot.h"
#include "support/PermissionsEnforced.h"
#include "support/RecordingConverter.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

// What came of one conversion, seen right after it.
struct Outcome
{
    bool green = false;
    int thumbnailHeight = 0;
    QList<QByteArray> changed;
};

int thumbnailHeight(int pageWidth, int pageHeight)
{
    return qRound(88.0 * pageHeight / pageWidth);
}

// The PDFs that may take part in one conversion: the walk hands the worker a
// decoded name, and two files on disk can share one.
bool matchesSomeOrder(QList<Corpus::NamedFile> files, const QList<Outcome> &outcomes)
{
    if (files.size() != outcomes.size())
        return false;
    std::sort(files.begin(), files.end(),
              [](const auto &a, const auto &b) { return a.path < b.path; });
    do {
        bool all = true;
        for (qsizetype i = 0; i < files.size() && all; ++i) {
            const Corpus::NamedFile &file = files[i];
            const Outcome &outcome = outcomes[i];
            const bool ownThumbnail =
                outcome.green &&
                outcome.thumbnailHeight == thumbnailHeight(file.pageWidth, file.pageHeight);
            if (file.kind == QLatin1String("pdf"))
                all = ownThumbnail;
            else if (file.kind == QLatin1String("pdf-or-red"))
                all = ownThumbnail || !outcome.green;
            else
                all = !outcome.green;
        }
        if (all)
            return true;
    } while (std::next_permutation(files.begin(), files.end(),
                                   [](const auto &a, const auto &b) { return a.path < b.path; }));
    return false;
}

QString shown(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.toPercentEncoding("/ %[]*?:@-'\"{}\\"));
}

} // namespace

class TestHostileNames : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QList<ConversionJob> m_jobs;
    QStringList m_rows;

private slots:
    void eachPdfGetsAThumbnailOfItsOwn();
    void trailingSlashChangesNothing();
};

void TestHostileNames::eachPdfGetsAThumbnailOfItsOwn()
{
    const QString output = m_dir.filePath(QStringLiteral("out %d [0] * ü"));
    QVERIFY(QDir().mkpath(output));
    for (const char *decoy : {"keep.png", ".hidden", "a0.png.bak", "%d", "*.png"}) {
        QFile file(output + QLatin1Char('/') + QLatin1String(decoy));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(decoy);
    }
    const FolderSnapshot decoys = snapshotOf(output);

    WorkerConverter worker(QStringLiteral(LEAFMARK_WORKER_PATH));
    QCOMPARE(worker.start(), QString());
    RecordingConverter converter(worker);
    QList<Outcome> outcomes;
    FolderSnapshot before;
    converter.beforeConvert = [&](const ConversionJob &) { before = snapshotOf(output); };
    converter.afterConvert = [&](const RecordingConverter::Call &call) {
        Outcome outcome;
        outcome.green = call.result.succeeded();
        outcome.thumbnailHeight = QImageReader(call.output()).size().height();
        outcome.changed = changedEntries(before, snapshotOf(output));
        outcomes.append(outcome);
    };
    FakeWalkView view;
    view.imageFolder = output;

    qint64 fileCount = 0;
    {
        // As root, a folder without read permission would be read all the same.
        const PermissionsEnforced enforced;
        if (!enforced.problem().isEmpty())
            QSKIP(qPrintable(enforced.problem()));
        FolderWalk(view, converter, view.cancel)
            .FindFilesAPI(Corpus::names(), QStringLiteral("*.pdf"), fileCount);
    }
    m_jobs.clear();
    for (const RecordingConverter::Call &call : std::as_const(converter.calls))
        m_jobs.append(call.job);
    m_rows = view.rows;

    // Group the PDFs by the input path the walk can name them with. A path
    // that is not valid UTF-8 cannot be handed on as text: its PDF gets a red
    // cross and no conversion, rather than one made from a look-alike.
    QHash<QString, QList<Corpus::NamedFile>> expected;
    QStringList refusedRows;
    const QByteArray root = QFile::encodeName(Corpus::names());
    for (const Corpus::NamedFile &file : Corpus::nameTable()) {
        if (file.kind == QLatin1String("cycle"))
            continue;
        if (file.kind == QLatin1String("unreadable")) {
            QVERIFY2(!converter.callFor(QFile::decodeName(file.path)), file.path.constData());
            continue;
        }
        const QString input = QFile::decodeName(root + '/' + file.path);
        if (QFile::encodeName(input) != root + '/' + file.path)
            refusedRows.append(outputFileName(QFileInfo(input).fileName(), QStringLiteral("png")));
        else
            expected[input].append(file);
    }
    QVERIFY(!refusedRows.isEmpty());
    QCOMPARE(fileCount, converter.calls.size() + refusedRows.size());
    QCOMPARE(view.rows.size(), fileCount);
    QCOMPARE(view.marks.size(), fileCount);

    QStringList rowsRefused;
    QStringList convertedRows;
    QList<bool> convertedMarks;
    for (qsizetype row = 0; row < view.rows.size(); ++row) {
        if (view.reasons[row].contains(QLatin1String("not valid UTF-8"))) {
            QVERIFY(!view.marks[row]);
            rowsRefused.append(view.rows[row]);
        } else {
            convertedRows.append(view.rows[row]);
            convertedMarks.append(view.marks[row]);
        }
    }
    std::sort(refusedRows.begin(), refusedRows.end());
    std::sort(rowsRefused.begin(), rowsRefused.end());
    QCOMPARE(rowsRefused, refusedRows);

    QHash<QString, QList<Outcome>> seen;
    FolderSnapshot outputs = decoys;
    for (qsizetype i = 0; i < converter.calls.size(); ++i) {
        const RecordingConverter::Call &call = converter.calls[i];
        const Outcome &outcome = outcomes[i];
        const QString outputName =
            outputFileName(QFileInfo(call.input()).fileName(), QStringLiteral("png"));
        const QString where =
            shown(QFile::encodeName(call.input())) + QStringLiteral(": ") +
            (outcome.green ? QStringLiteral("thumbnail %1 high").arg(outcome.thumbnailHeight)
                           : call.result.failureReason);
        qInfo("%s", qPrintable(where));
        QVERIFY2(expected.contains(call.input()), qPrintable(where));
        QCOMPARE(convertedRows[i], outputName);
        QCOMPARE(convertedMarks[i], outcome.green);
        QCOMPARE(call.output(), output + QLatin1Char('/') + outputName);
        // Written under exactly its own name (the same bytes again change
        // nothing), and nothing else touched.
        QVERIFY2(outcome.changed.isEmpty() ||
                     (outcome.green &&
                      outcome.changed == QList<QByteArray>{QFile::encodeName(outputName)}),
                 qPrintable(where));
        QVERIFY2(!outcome.green || outcome.thumbnailHeight > 0, qPrintable(where));
        seen[call.input()].append(outcome);
        if (outcome.green)
            outputs.insert(QFile::encodeName(outputName), {});
    }

    QStringList wrong;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (matchesSomeOrder(it.value(), seen.value(it.key())))
            continue;
        QStringList files;
        for (const Corpus::NamedFile &file : it.value())
            files.append(shown(file.path));
        wrong.append(QStringLiteral("%1 (%2 conversions)")
                         .arg(files.join(QLatin1String(" and ")))
                         .arg(seen.value(it.key()).size()));
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1String("; "))));
    QCOMPARE(snapshotOf(output).keys(), outputs.keys());
}

// The conversions are fixed by their jobs, which must not change.
void TestHostileNames::trailingSlashChangesNothing()
{
    if (m_jobs.isEmpty())
        QSKIP("needs the walk of the previous test");
    FakeConverter converter;
    FakeWalkView view;
    view.imageFolder = QFileInfo(m_jobs.first().output).path();
    qint64 fileCount = 0;
    const PermissionsEnforced enforced;
    FolderWalk(view, converter, view.cancel)
        .FindFilesAPI(Corpus::names() + QLatin1Char('/'), QStringLiteral("*.pdf"), fileCount);
    QCOMPARE(view.rows, m_rows);
    QCOMPARE(converter.calls, m_jobs);
}

QTEST_GUILESS_MAIN(TestHostileNames)
#include "tst_hostilenames.moc"
