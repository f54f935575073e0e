#include "support/WindowFixture.h"

#include "settings/rutines.h"
#include "support/EventWait.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

WindowFixture::WindowFixture()
{
    MessageBox::recordInsteadOfShowing(true);
}

void WindowFixture::openWindow(Converter &converter, ImageDecoder &decoder)
{
    // The earlier window goes before the next is made, as when the program
    // is closed and started again.
    m_window.reset();
    m_window = std::make_unique<Leafmark>(converter, decoder);
}

void WindowFixture::startAfresh(const QStringList &entries)
{
    removeSettingsFile();
    MessageBox::takeRecorded();
    m_converter = FakeConverter();
    m_decoder.paths.clear();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(fillTree(m_dir->path(), entries));
}

void WindowFixture::openOnTheUsualTree()
{
    startAfresh({QStringLiteral("pdfs/a.pdf"), QStringLiteral("pdfs/b.pdf"),
                 QStringLiteral("pdfs/sub/c.pdf"), QStringLiteral("thumbs/"),
                 QStringLiteral("nothing/notes.txt")});
    openWindow(m_converter, m_decoder);
}

void WindowFixture::closeAndForget()
{
    m_window.reset();
    removeSettingsFile();
}

void WindowFixture::removeSettingsFile()
{
    const QString settings = settingsFilePath();
    QFile::setPermissions(settings, QFile::ReadOwner | QFile::WriteOwner);
    if (QFileInfo(settings).isDir())
        QDir(settings).removeRecursively();
    QFile::remove(settings);
}

void WindowFixture::verifyIdle()
{
    QVERIFY(convert()->isEnabled());
    QCOMPARE(convert()->text(), QStringLiteral("Create thumbnails"));
    QVERIFY(!convert()->font().bold());
    for (const char *name : {"txtPDFfolder", "txtImageFolder", "txtWidth", "txtHeight",
                             "btnExplorerPDF", "btnExplorerImage"})
        QVERIFY2(control(name)->isEnabled(), name);
}

QString WindowFixture::storedInputs()
{
    QStringList values;
    for (const char *key : {"PDFfolder", "ImageFolder", "ThumbHeight", "ThumbWidth"})
        values.append(ReadSetting(QStringLiteral("config"), QString::fromLatin1(key)));
    return values.join(QLatin1Char('|'));
}

void WindowFixture::loadAndShow()
{
    QVERIFY(m_window->load());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get(), EventWait::CeilingMs));
    QApplication::setActiveWindow(m_window.get());
}

void WindowFixture::fillInputs(const QString &pdfFolder, const QString &imageFolder,
                               const QString &width, const QString &height)
{
    box("txtPDFfolder")->setText(pdfFolder);
    box("txtImageFolder")->setText(imageFolder);
    box("txtWidth")->setText(width);
    box("txtHeight")->setText(height);
}

void WindowFixture::clickConvert()
{
    QTest::mouseClick(convert(), Qt::LeftButton);
}

void WindowFixture::pressKey(Qt::Key key)
{
    QTest::keyClick(QApplication::focusWidget(), key);
}
