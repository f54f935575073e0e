// A settings file that cannot be written, is not a file, or holds garbage:
// the window starts, the run ends as usual, and the file is never left
// corrupted: it stays as it was, or gains exactly the values of the run.

#include "settings/FormatTable.h"
#include "settings/rutines.h"
#include "support/FakeConverter.h"
#include "support/FolderSnapshot.h"
#include "support/PrivateMounts.h"
#include "support/RecordingDecoder.h"
#include "support/TestFiles.h"
#include "support/WindowFixture.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

namespace {

const QByteArray earlierSettings =
    "[config]\nPDFfolder=/earlier/pdfs\nImageFolder=/earlier/thumbs\n"
    "ThumbHeight=\nThumbWidth=120\nImageFormat=gif\n";

QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Every line of the old file is still there, in its order, and untouched
// unless it held one of the keys the run writes.
bool keptEveryOtherLine(const QByteArray &before, const QByteArray &after)
{
    static const QList<QByteArray> written = {
        "PDFfolder=", "ImageFolder=", "ThumbHeight=", "ThumbWidth="};
    const QList<QByteArray> newLines = linesOf(after);
    qsizetype at = 0;
    for (const QByteArray &line : linesOf(before)) {
        const bool rewritten = std::any_of(written.cbegin(), written.cend(),
                                           [&](const auto &key) { return line.startsWith(key); });
        if (rewritten)
            continue;
        while (at < newLines.size() && newLines[at] != line)
            ++at;
        if (at == newLines.size())
            return false;
        ++at;
    }
    return true;
}

} // namespace

class TestSettingsFaults : public QObject, protected WindowFixture
{
    Q_OBJECT

    // Starts the window and makes one run over two PDFs; false if the window
    // could not load.
    bool startAndRun()
    {
        openWindow(m_converter, m_decoder);
        if (!m_window->load())
            return false;
        m_window->show();
        fillInputs(pdfs(), thumbs(), QStringLiteral("88"), QStringLiteral("125"));
        clickConvert();
        return true;
    }
    void verifyRunEnded()
    {
        QCOMPARE(status()->text(), QStringLiteral("Done. 2 PDF files found..."));
        QVERIFY(convert()->isEnabled());
        QCOMPARE(convert()->text(), QStringLiteral("Create thumbnails"));
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }
    void verifyRunSaved()
    {
        const QString section = QStringLiteral("config");
        QCOMPARE(ReadSetting(section, QStringLiteral("PDFfolder")), pdfs());
        QCOMPARE(ReadSetting(section, QStringLiteral("ImageFolder")), thumbs());
        QCOMPARE(ReadSetting(section, QStringLiteral("ThumbHeight")), QStringLiteral("125"));
        QCOMPARE(ReadSetting(section, QStringLiteral("ThumbWidth")), QStringLiteral("88"));
    }

private slots:
    void init() { startAfresh({"pdfs/a.pdf", "pdfs/sub/b.pdf", "thumbs/"}); }
    void cleanup() { closeAndForget(); }

    void readOnlyFile();
    void folderInItsPlace();
    void binaryGarbage();
    void tenMegabyteLines();
    void megabyteFormat();
    void fullDisk();
};

void TestSettingsFaults::readOnlyFile()
{
    // Root writes through permission bits; only a read-only mount stops it.
    const bool root = ::geteuid() == 0;
    if (root && !PrivateMounts::unavailableReason().isEmpty())
        QSKIP(qPrintable(PrivateMounts::unavailableReason()));
    QVERIFY(writeBytes(settingsFilePath(), earlierSettings));
    if (root)
        QCOMPARE(PrivateMounts::makeReadOnly(settingsFilePath()), QString());
    else
        QVERIFY(QFile::setPermissions(settingsFilePath(), QFile::ReadOwner | QFile::ReadGroup));
    const auto writable = qScopeGuard([root] {
        if (root)
            PrivateMounts::unmount(settingsFilePath());
    });
    const FolderSnapshot before = snapshotOf(programFolder());

    QVERIFY(startAndRun());
    verifyRunEnded();
    QCOMPARE(box("txtImageFolder")->text(), thumbs());

    QCOMPARE(snapshotOf(programFolder()), before);
    QCOMPARE(readWhole(settingsFilePath()), earlierSettings);
}

void TestSettingsFaults::folderInItsPlace()
{
    QVERIFY(QDir().mkpath(settingsFilePath()));
    QVERIFY(writeBytes(settingsFilePath() + QStringLiteral("/inside"), earlierSettings));
    const FolderSnapshot before = snapshotOf(programFolder());
    const FolderSnapshot inside = snapshotOf(settingsFilePath());

    QVERIFY(startAndRun());
    verifyRunEnded();
    QCOMPARE(CurrentFormat, QStringLiteral("png"));

    QCOMPARE(snapshotOf(programFolder()), before);
    QCOMPARE(snapshotOf(settingsFilePath()), inside);
}

void TestSettingsFaults::binaryGarbage()
{
    QByteArray garbage(64 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20240229);
    for (char &byte : garbage)
        byte = char(random.bounded(256));
    QVERIFY(writeBytes(settingsFilePath(), garbage));

    QVERIFY(startAndRun());
    verifyRunEnded();

    verifyRunSaved();
    QVERIFY(keptEveryOtherLine(garbage, readWhole(settingsFilePath())));
}

// A value far beyond any box's length, and a line of junk as long.
void TestSettingsFaults::tenMegabyteLines()
{
    const QByteArray longValue(10 * 1024 * 1024, 'x');
    const QByteArray junk(10 * 1024 * 1024, 'y');
    const QByteArray content =
        "[config]\nPDFfolder=" + longValue + "\n" + junk + "\nThumbWidth=120\n";
    QVERIFY(writeBytes(settingsFilePath(), content));

    QVERIFY(startAndRun());
    verifyRunEnded();

    verifyRunSaved();
    const QByteArray after = readWhole(settingsFilePath());
    QVERIFY(after.contains("\n" + junk + "\n"));
    QVERIFY(keptEveryOtherLine(content, after));
}

// The format is read whole and ends every output name, which is the text of
// a row: laying out one row of a megabyte takes seconds, and the window
// answers nothing meanwhile. No row may be longer than a file name can be.
void TestSettingsFaults::megabyteFormat()
{
    QVERIFY(writeBytes(settingsFilePath(),
                       "[config]\nImageFormat=" + QByteArray(1024 * 1024, 'x') + "\n"));
    QVERIFY(startAndRun());
    verifyRunEnded();
    QCOMPARE(results()->rowCount(), 2);
    for (int row = 0; row < results()->rowCount(); ++row)
        QVERIFY(results()->item(row, 0)->text().toUtf8().size() <= 255);
}

// The write fails for want of space: the file keeps its old content whole.
void TestSettingsFaults::fullDisk()
{
    if (!PrivateMounts::unavailableReason().isEmpty())
        QSKIP(qPrintable(PrivateMounts::unavailableReason()));
    QCOMPARE(PrivateMounts::mountSmallDisk(programFolder(), 64 * 1024), QString());
    const auto unmount = qScopeGuard([] { PrivateMounts::unmount(programFolder()); });
    QVERIFY(writeBytes(settingsFilePath(), earlierSettings));
    QFile filler(programFolder() + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(1024, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
    const FolderSnapshot before = snapshotOf(programFolder());

    QVERIFY(startAndRun());
    verifyRunEnded();

    qInfo("the settings file after the run: %s",
          readWhole(settingsFilePath()).toPercentEncoding("[]=/").constData());
    QCOMPARE(snapshotOf(programFolder()).keys(), before.keys());
    QCOMPARE(readWhole(settingsFilePath()), earlierSettings);
}

int main(int argc, char *argv[])
{
    PrivateMounts::enter();
    QApplication application(argc, argv);
    TestSettingsFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsfaults.moc"
