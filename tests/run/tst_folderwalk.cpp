#include "run/FolderWalk.h"
#include "settings/FormatTable.h"
#include "support/FakeConverter.h"
#include "support/FakeWalkView.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

namespace {

// Files written an hour ago, so that their times are settled.
constexpr time_t Settled = 3600;

void setModified(const QString &path, time_t agoSeconds)
{
    const time_t when = time(nullptr) - agoSeconds;
    const struct utimbuf times
    {
        when, when
    };
    QVERIFY(::utime(QFile::encodeName(path).constData(), &times) == 0);
}

time_t modifiedOf(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mtime : 0;
}

// As the pool does: the thumbnail is written when the conversion returns.
ConversionResult writeThumbnail(const ConversionJob &job)
{
    return writeBytes(job.output, "thumbnail of " + job.input.toUtf8())
               ? ConversionResult{QStringLiteral("88,114,PDF"), {}}
               : ConversionResult{{}, QStringLiteral("not written")};
}

// The order in which the file system lists a folder's entries.
QStringList listingOrder(const QString &folder, QDir::Filters filters)
{
    QStringList names;
    QDirIterator entries(folder, filters | QDir::Hidden | QDir::NoDotAndDotDot);
    while (entries.hasNext())
        names.append(entries.nextFileInfo().fileName());
    return names;
}

QStringList inputPaths(const FakeConverter &converter)
{
    QStringList paths;
    for (const ConversionJob &call : converter.calls)
        paths.append(call.input);
    return paths;
}

} // namespace

class TestFolderWalk : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    // PDFs whose change time lies far enough back to be trusted, one tree for
    // each case that needs them.
    QTemporaryDir m_settled;
    FakeWalkView m_view;
    FakeConverter m_converter;

    qint64 walk(const QString &path, RunOptions options = {})
    {
        qint64 fileCount = 0;
        FolderWalk(m_view, m_converter, m_view.cancel, options)
            .FindFilesAPI(path, QStringLiteral("*.pdf"), fileCount);
        return fileCount;
    }
    QString root() const { return m_dir.path(); }

private slots:
    void initTestCase()
    {
        const QStringList rows{"nothing",
                               "PDF touched",
                               "PDF replaced, same size and time",
                               "PDF changed while converted",
                               "geometry",
                               "format",
                               "thumbnail deleted",
                               "thumbnail edited, same size and time"};
        for (const QString &row : rows) {
            QVERIFY(fillTree(m_settled.path(), {row + "/pdfs/a.pdf", row + "/pdfs/b.pdf"}));
            setModified(m_settled.path() + "/" + row + "/pdfs/a.pdf", Settled);
            setModified(m_settled.path() + "/" + row + "/pdfs/b.pdf", Settled);
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            FileStamp::ofSettledFile(m_settled.path() + "/" + rows.last() + "/pdfs/b.pdf"), 30000);
    }
    void init()
    {
        m_dir.~QTemporaryDir();
        new (&m_dir) QTemporaryDir;
        m_view = FakeWalkView();
        m_converter = FakeConverter();
    }

    void stripNullsCutsAtTheFirstNul()
    {
        QByteArray field("name.pdf\0garbage\0", 17);
        QCOMPARE(StripNulls(field), QByteArray("name.pdf"));
        QCOMPARE(field, QByteArray("name.pdf"));
        QByteArray plain("whole");
        QCOMPARE(StripNulls(plain), QByteArray("whole"));
    }

    void filesOfAFolderComeBeforeItsSubfolders()
    {
        QVERIFY(
            fillTree(root(), {"b.pdf", "A.PDF", ".hidden.pdf", "notes.txt", "sub1/x.pdf",
                              "sub1/deeper/y.pdf", "sub2/z.pdf", "empty/", "nopdf/inner/w.pdf"}));
        QCOMPARE(walk(root()), 7);

        QStringList expected;
        for (const QString &name : listingOrder(root(), QDir::Files)) {
            if (name.endsWith(".pdf", Qt::CaseInsensitive))
                expected.append(outputFileName(name, "png"));
        }
        const QHash<QString, QStringList> below = {
            {"sub1", {"x.png", "y.png"}}, {"sub2", {"z.png"}}, {"empty", {}}, {"nopdf", {"w.png"}}};
        for (const QString &folder : listingOrder(root(), QDir::Dirs))
            expected += below.value(folder);
        QCOMPARE(m_view.rows, expected);
        QCOMPARE(m_view.marks, QList<bool>(7, true));
        QCOMPARE(m_view.total, 7);
    }

    void eachEntryGetsItsJobAndItsYieldPoints()
    {
        QVERIFY(fillTree(root(), {"Report.PDF"}));
        m_view.imageFolder = "/thumbs/";
        m_view.width = "";
        m_view.height = "125";
        QCOMPARE(walk(root()), 1);

        QCOMPARE(m_converter.calls.size(), 1);
        QCOMPARE(m_converter.calls.first(),
                 thumbnailJob(root() + "/Report.PDF", "/thumbs//Report.png", "x125"));
        // The subfolder pass yields once per entry (".", "..", the file), then
        // the file pass around the row and the conversion.
        QCOMPARE(m_view.log, QStringList({"yield", "yield", "yield", "yield", "append Report.png",
                                          "select 1", "yield", "yield", "mark 1 ok"}));
    }

    void geometryAndTrailingSlash_data()
    {
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("geometry");
        QTest::newRow("width only") << "88"
                                    << ""
                                    << "88x";
        QTest::newRow("height only") << ""
                                     << "125"
                                     << "x125";
        QTest::newRow("both") << "88"
                              << "125"
                              << "88x125";
        QTest::newRow("as typed") << "abc"
                                  << " 1"
                                  << "abcx 1";
    }
    void geometryAndTrailingSlash()
    {
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QString, geometry);
        QVERIFY(fillTree(root(), {"a.pdf", "s/b.pdf"}));
        m_view.width = width;
        m_view.height = height;
        walk(root());
        const QStringList withoutSlash = inputPaths(m_converter);
        m_converter.calls.clear();
        m_view.rows.clear();
        m_view.marks.clear();
        walk(root() + "/");
        QCOMPARE(inputPaths(m_converter), withoutSlash);
        QCOMPARE(withoutSlash.size(), 2);
        for (const ConversionJob &call : std::as_const(m_converter.calls))
            QCOMPARE(call.geometry, geometry);
    }

    void folderNamedLikeAPdfIsAnEntryAndAFolder()
    {
        QVERIFY(fillTree(root(), {"old.pdf/inside.pdf"}));
        QCOMPARE(walk(root()), 2);
        QCOMPARE(m_view.rows, QStringList({"old.png", "inside.png"}));
        QCOMPARE(inputPaths(m_converter),
                 QStringList({root() + "/old.pdf", root() + "/old.pdf/inside.pdf"}));
    }

    // A format edited into the settings file by hand is taken as it is, and
    // may turn the name into a path: then nothing is written anywhere.
    void outputNameThatIsNoPlainFileNameIsRefused_data()
    {
        QTest::addColumn<QString>("pdf");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("row");
        QTest::newRow("up and out") << ".pdf"
                                    << "/../escape.png"
                                    << "./../escape.png";
        QTest::newRow("into a folder") << "a.pdf"
                                       << "/b.png"
                                       << "a./b.png";
        QTest::newRow("the output folder itself") << ".pdf"
                                                  << ""
                                                  << ".";
        QTest::newRow("its parent") << ".pdf"
                                    << "."
                                    << "..";
    }
    void outputNameThatIsNoPlainFileNameIsRefused()
    {
        QFETCH(QString, pdf);
        QFETCH(QString, format);
        QFETCH(QString, row);
        QVERIFY(fillTree(root(), {pdf}));
        m_view.format = format;
        QCOMPARE(walk(root()), 1);
        QCOMPARE(m_view.rows, QStringList({row}));
        QCOMPARE(m_view.marks, QList<bool>({false}));
        QVERIFY2(m_view.reasons.first().contains("not a file name"),
                 qPrintable(m_view.reasons.first()));
        QVERIFY(m_converter.calls.isEmpty());
    }

    void emptyAndMissingFoldersAddNoRows()
    {
        QCOMPARE(walk(root()), 0);
        QCOMPARE(walk(root() + "/does-not-exist"), 0);
        QVERIFY(m_view.rows.isEmpty());
    }

    void failedConversionsAreMarkedAndTheRunGoesOn()
    {
        QVERIFY(fillTree(root(), {"a.pdf", "b.pdf", "c.pdf"}));
        int call = 0;
        m_converter.onConvert = [&](const ConversionJob &) {
            return ++call == 2 ? ConversionResult{} : ConversionResult{"1,1,PDF", {}};
        };
        QCOMPARE(walk(root()), 3);
        QCOMPARE(m_view.marks, QList<bool>({true, false, true}));
    }

    // The converter is told each entry's job with the next ones, as the
    // format of the moment makes them, and nothing once the walk ends.
    void formatIsReadAnewForEveryEntry()
    {
        QVERIFY(fillTree(root(), {"a.pdf", "b.pdf", "sub/c.pdf"}));
        m_converter.ahead = 3;
        m_converter.onConvert = [this](const ConversionJob &) {
            m_view.format = QStringLiteral("gif");
            return ConversionResult{"1,1,PDF", {}};
        };
        walk(root());
        QCOMPARE(m_view.rows.size(), 3);
        QVERIFY(m_view.rows[0].endsWith(".png"));
        QVERIFY(m_view.rows[1].endsWith(".gif"));
        QVERIFY(m_converter.calls[1].output.endsWith(".gif"));
        const auto &told = m_converter.foreseen;
        QCOMPARE(told.size(), 4);
        QCOMPARE(told[0].size(), 3);
        QCOMPARE(told[0][0], m_converter.calls[0]);
        QCOMPARE(told[0][1].input, m_converter.calls[1].input);
        QVERIFY(told[0][1].output.endsWith(".png"));
        QCOMPARE(told[1], std::vector<ConversionJob>(m_converter.calls.begin() + 1,
                                                     m_converter.calls.end()));
        QVERIFY(told[3].empty());
    }

    void cancelTakesEffectAfterTheEntryInProgress()
    {
        QVERIFY(fillTree(root(), {"a.pdf", "b.pdf", "c.pdf", "sub/d.pdf", "sub/e.pdf"}));
        m_converter.onConvert = [&](const ConversionJob &) {
            m_view.cancel = m_converter.calls.size() == 2;
            return ConversionResult{"1,1,PDF", {}};
        };
        QCOMPARE(walk(root()), 2);
        QCOMPARE(m_view.rows.size(), 2);
        QCOMPARE(m_view.marks.size(), 2);
    }

    void cancelInAFolderWithoutPdfsStopsBeforeItsSubfolders()
    {
        QVERIFY(fillTree(root(), {"plain.txt", "sub/a.pdf"}));
        m_view.cancel = true;
        QCOMPARE(walk(root()), 0);
        QVERIFY(m_converter.calls.isEmpty());
    }

    void linkCycleIsWalkedOnce()
    {
        QVERIFY(fillTree(root(), {"a/x.pdf", "b/y.pdf"}));
        QVERIFY(QFile::link(root(), root() + "/a/back-to-root"));
        QVERIFY(QFile::link(root() + "/b", root() + "/a/to-b"));
        QCOMPARE(walk(root()), 2);
        QCOMPARE(QSet<QString>(m_view.rows.begin(), m_view.rows.end()),
                 QSet<QString>({"x.png", "y.png"}));
    }

    void upToDateThumbnailsAreSkippedAndOnlyThey_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("converted");
        const QStringList a{"a.pdf"}, both{"a.pdf", "b.pdf"};
        QTest::newRow("nothing") << "" << QStringList();
        QTest::newRow("PDF touched") << "touch" << a;
        QTest::newRow("PDF replaced, same size and time") << "replace" << a;
        QTest::newRow("PDF changed while converted") << "during" << a;
        QTest::newRow("geometry") << "geometry" << both;
        QTest::newRow("format") << "format" << both;
        QTest::newRow("thumbnail deleted") << "delete" << a;
        QTest::newRow("thumbnail edited, same size and time") << "edit" << a;
    }
    void upToDateThumbnailsAreSkippedAndOnlyThey()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, converted);
        const QString pdfs = m_settled.path() + "/" + QTest::currentDataTag() + "/pdfs";
        const QString pdf = pdfs + "/a.pdf";
        m_view.imageFolder = root() + "/out";
        const QString thumbnail = m_view.imageFolder + "/a.png";
        QVERIFY(QDir().mkpath(m_view.imageFolder));
        m_converter.onConvert = [&](const ConversionJob &job) {
            if (change == "during" && job.input == pdf)
                setModified(pdf, Settled / 2);
            return writeThumbnail(job);
        };
        RunOptions options;
        options.skipUpToDate = true;
        QCOMPARE(walk(pdfs, options), 2);
        QCOMPARE(m_converter.calls.size(), 2);

        const time_t thumbnailTime = modifiedOf(thumbnail);
        const QByteArray pdfBytes = readWhole(pdf);
        m_converter.onConvert = writeThumbnail;
        if (change == "touch")
            setModified(pdf, Settled / 3);
        if (change == "replace") {
            QVERIFY(QFile::remove(pdf));
            QVERIFY(writeBytes(pdf, pdfBytes));
            setModified(pdf, Settled);
        }
        if (change == "geometry")
            m_view.width = "100";
        if (change == "format")
            m_view.format = "gif";
        if (change == "delete")
            QVERIFY(QFile::remove(thumbnail));
        if (change == "edit") {
            QByteArray edited = readWhole(thumbnail);
            edited[0] = 'T';
            QVERIFY(writeBytes(thumbnail, edited));
            setModified(thumbnail, time(nullptr) - thumbnailTime);
        }
        m_converter.calls.clear();
        m_view.rows.clear();
        m_view.marks.clear();
        QCOMPARE(walk(pdfs, options), 2);
        QStringList inputs;
        for (const ConversionJob &call : m_converter.calls)
            inputs.append(QFileInfo(call.input).fileName());
        inputs.sort();
        QCOMPARE(inputs, converted);
        QCOMPARE(m_view.marks, QList<bool>({true, true}));
    }

    void keptSubfoldersAreMadeAndLinksOnTheWayRefused()
    {
        const QString pdfs = root() + "/pdfs", out = root() + "/out";
        QVERIFY(fillTree(root(), {"pdfs/a.pdf", "pdfs/deep/er/a.pdf", "pdfs/away/a.pdf",
                                  "pdfs/file/a.pdf", "out/file", "elsewhere/"}));
        QVERIFY(QFile::link(root() + "/elsewhere", out + "/away"));
        m_view.imageFolder = out;
        m_converter.onConvert = writeThumbnail;
        RunOptions options;
        options.keepSubfolders = true;
        walk(pdfs, options);
        QStringList outputs;
        for (const ConversionJob &call : m_converter.calls)
            outputs.append(call.output.mid(out.size()));
        outputs.sort();
        QCOMPARE(outputs, QStringList({"/a.png", "/deep/er/a.png"}));
        QVERIFY(QFileInfo(out + "/deep/er/a.png").isFile());
        QVERIFY(QDir(root() + "/elsewhere").isEmpty());
        QCOMPARE(m_view.marks.count(false), 2);
        for (const QString &reason : std::as_const(m_view.reasons))
            QVERIFY2(reason.isEmpty() || reason.contains("a link or a file of that name"),
                     qPrintable(reason));
    }
};

QTEST_GUILESS_MAIN(TestFolderWalk)
#include "tst_folderwalk.moc"
