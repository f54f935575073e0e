#include "settings/InstallLayout.h"
#include "settings/rutines.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// Sets an environment variable, or removes it when value is null, for one scope.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QString &value)
        : m_name(name), m_wasSet(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnvironment()
    {
        if (m_wasSet)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_wasSet;
    QByteArray m_old;
};

// Takes the write permission away from a folder for one scope.
class ScopedReadOnlyFolder
{
public:
    explicit ScopedReadOnlyFolder(const QString &path)
        : m_path(path), m_old(QFile::permissions(path))
    {
        QFile::setPermissions(m_path, m_old & ~(QFile::WriteOwner | QFile::WriteUser |
                                                QFile::WriteGroup | QFile::WriteOther));
    }
    ~ScopedReadOnlyFolder() { QFile::setPermissions(m_path, m_old); }

private:
    QString m_path;
    QFile::Permissions m_old;
};

} // namespace

class TestRutines : public QObject
{
    Q_OBJECT

private:
    static QByteArray fileContent() { return readWhole(settingsFilePath()); }
    static void setFileContent(const QByteArray &content)
    {
        QFile file(settingsFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    static ino_t inodeOf(const QString &path)
    {
        struct stat status
        {
        };
        return stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
    }

private slots:
    void init()
    {
        QFile::setPermissions(settingsFilePath(), QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(settingsFilePath());
    }
    void cleanupTestCase() { QFile::remove(settingsFilePath()); }

    void fileLivesBesideTheProgram()
    {
        QCOMPARE(settingsFilePath(), QCoreApplication::applicationDirPath() + "/settings.ini");
    }

    void folderOfTheFileFollowsTheProgramFolder_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("fileBeside");
        QTest::addColumn<bool>("expectBeside");
        QTest::newRow("build folder") << true << false << false << true;
        QTest::newRow("read-only portable folder") << false << false << false << false;
        QTest::newRow("read-only portable folder with a file") << false << false << true << true;
        QTest::newRow("installed, run by its user") << false << true << false << false;
        QTest::newRow("installed, run as root") << true << true << false << false;
        QTest::newRow("installed where a file was left") << true << true << true << false;
    }
    void folderOfTheFileFollowsTheProgramFolder()
    {
        QFETCH(bool, writable);
        QFETCH(bool, installed);
        QFETCH(bool, fileBeside);
        QFETCH(bool, expectBeside);
        QTemporaryDir program;
        QTemporaryDir config;
        const ScopedEnvironment xdg("XDG_CONFIG_HOME", config.path());
        const QString beside = program.path() + "/settings.ini";
        if (fileBeside)
            QVERIFY(writeBytes(beside, "[config]\n"));
        QCOMPARE(settingsFilePathFor(program.path(), writable, installed),
                 expectBeside ? beside : config.path() + "/leafmark/settings.ini");
    }

    void installedLayoutIsTheWorkerBelowLibexecOrLib_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("installed");
        QTest::newRow("build folder")
            << QStringList{"bin/leafmark", "bin/leafmark-worker"} << false;
        QTest::newRow("portable folder") << QStringList{"leafmark", "leafmark-worker"} << false;
        QTest::newRow("libexec") << QStringList{"bin/leafmark", "libexec/leafmark/leafmark-worker"}
                                 << true;
        QTest::newRow("lib") << QStringList{"bin/leafmark", "lib/leafmark/leafmark-worker"} << true;
        QTest::newRow("worker missing") << QStringList{"bin/leafmark"} << false;
    }
    void installedLayoutIsTheWorkerBelowLibexecOrLib()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, installed);
        QTemporaryDir root;
        QVERIFY(fillTree(root.path(), files));
        const QString program = QFileInfo(root.filePath(files.first())).path();
        QCOMPARE(InstallLayout::isInstalledCopy(program), installed);
    }

    void configFolderDefaultsToDotConfigInHome()
    {
        QTemporaryDir home;
        const ScopedEnvironment xdg("XDG_CONFIG_HOME", QString());
        const ScopedEnvironment homeVariable("HOME", home.path());
        QCOMPARE(settingsFilePathFor("/usr/bin", false, true),
                 home.path() + "/.config/leafmark/settings.ini");
    }

    void unwritableProgramFolderKeepsTheFileInTheConfigFolder()
    {
        const QString programFolder = QCoreApplication::applicationDirPath();
        QTemporaryDir config;
        const ScopedEnvironment xdg("XDG_CONFIG_HOME", config.path());
        const ScopedReadOnlyFolder readOnly(programFolder);
        if (QFileInfo(programFolder).isWritable())
            QSKIP("running with permissions that ignore a read-only folder");

        const QString expected = config.path() + "/leafmark/settings.ini";
        QCOMPARE(settingsFilePath(), expected);
        WriteSetting("config", "PDFfolder", "/home/ana/PDFs");
        QVERIFY(QFile::exists(expected));
        QVERIFY(!QFile::exists(programFolder + "/settings.ini"));
        QCOMPARE(ReadSetting("config", "PDFfolder"), QString("/home/ana/PDFs"));
    }

    void missingFileSectionOrKeyReadEmpty()
    {
        QCOMPARE(ReadSetting("config", "PDFfolder"), QString());
        setFileContent("[other]\nPDFfolder=/elsewhere\n");
        QCOMPARE(ReadSetting("config", "PDFfolder"), QString());
        setFileContent("[config]\nImageFolder=/x\nThumbHeight=\n");
        QCOMPARE(ReadSetting("config", "PDFfolder"), QString());
        QCOMPARE(ReadSetting("config", "ThumbHeight"), QString());
    }

    void firstWriteCreatesSectionAndKeys()
    {
        WriteSetting("config", "PDFfolder", "/home/ana/PDFs");
        WriteSetting("config", "ImageFolder", "/home/ana/thumbs");
        WriteSetting("config", "ThumbHeight", "");
        WriteSetting("config", "ThumbWidth", "88");
        QCOMPARE(fileContent(), QByteArray("[config]\nPDFfolder=/home/ana/PDFs\n"
                                           "ImageFolder=/home/ana/thumbs\nThumbHeight=\n"
                                           "ThumbWidth=88\n"));
        QCOMPARE(ReadSetting("config", "PDFfolder"), QString("/home/ana/PDFs"));
        QCOMPARE(ReadSetting("config", "ThumbHeight"), QString());
    }

    void rewriteTouchesOnlyItsOwnLine()
    {
        const QByteArray before = "; kept comment\r\n"
                                  "[Other]\r\n"
                                  "PDFfolder = not ours\r\n"
                                  "\r\n"
                                  "[CONFIG]\r\n"
                                  "ThumbWidth=120\r\n"
                                  "# another comment\r\n"
                                  "PDFfolder=/old\r\n"
                                  "Extra=  spaced  \r\n"
                                  "\r\n"
                                  "[last]\r\n"
                                  "x=y";
        setFileContent(before);
        WriteSetting("config", "PDFfolder", "/new");
        QByteArray expected = before;
        expected.replace("PDFfolder=/old", "PDFfolder=/new");
        QCOMPARE(fileContent(), expected);

        WriteSetting("config", "ImageFormat", "gif");
        expected.replace("Extra=  spaced  \r\n", "Extra=  spaced  \r\nImageFormat=gif\r\n");
        QCOMPARE(fileContent(), expected);
        QCOMPARE(ReadSetting("config", "Extra"), QString("  spaced  "));
        QCOMPARE(ReadSetting("Other", "PDFfolder"), QString(" not ours"));
    }

    void severalKeysInOneWrite()
    {
        setFileContent("[config]\r\nThumbWidth=120\r\nImageFormat=gif\r\n");
        writeSettings("config", {{"PDFfolder", "/p"},
                                 {"ThumbWidth", "88"},
                                 {"ImageFolder", "/bad\nThumbHeight=9"},
                                 {"ThumbHeight", ""}});
        QCOMPARE(fileContent(), QByteArray("[config]\r\nThumbWidth=88\r\nImageFormat=gif\r\n"
                                           "PDFfolder=/p\r\nThumbHeight=\r\n"));

        // Unchanged values leave the file alone: no rename, same inode.
        const ino_t inode = inodeOf(settingsFilePath());
        writeSettings("config", {{"PDFfolder", "/p"}, {"ThumbWidth", "88"}});
        QCOMPARE(inodeOf(settingsFilePath()), inode);
    }

    void valuesReadBackWhole_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("300 characters") << QString(300, QChar('a'));
        QTest::newRow("long folder path") << "/srv/" + QString(5000, QChar('d'));
        QTest::newRow("non-ASCII") << QString::fromUtf8("/home/zoë/Документы/報告");
        QTest::newRow("equals and brackets") << QString("/a=b/[config]/c");
        QTest::newRow("blanks at both ends") << QString("  /x y  ");
        QTest::newRow("leading byte order mark") << QString(QChar(0xFEFF)) + "/x";
    }
    void valuesReadBackWhole()
    {
        QFETCH(QString, value);
        WriteSetting("config", "PDFfolder", value);
        QCOMPARE(ReadSetting("config", "PDFfolder"), value);
    }

    void failedWritesAreSilentAndHarmless()
    {
        WriteSetting("config", "PDFfolder", "/kept");
        WriteSetting("config", "PDFfolder", "/a\nImageFolder=/injected");
        QCOMPARE(ReadSetting("config", "PDFfolder"), QString("/kept"));
        QCOMPARE(ReadSetting("config", "ImageFolder"), QString());

        QFile::setPermissions(settingsFilePath(), QFile::ReadOwner);
        if (QFileInfo(settingsFilePath()).isWritable())
            QSKIP("running with permissions that ignore a read-only file");
        WriteSetting("config", "PDFfolder", "/lost");
        QCOMPARE(ReadSetting("config", "PDFfolder"), QString("/kept"));
    }
};

QTEST_GUILESS_MAIN(TestRutines)
#include "tst_rutines.moc"
