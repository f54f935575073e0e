#include "run/NameLookup.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

class TestNameLookup : public QObject
{
    Q_OBJECT

private slots:
    void patternMatching_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");
        QTest::newRow("plain") << "a.pdf"
                               << "*.pdf" << true;
        QTest::newRow("letter case") << "REPORT.PDF"
                                     << "*.pdf" << true;
        QTest::newRow("only the extension") << ".pdf"
                                            << "*.pdf" << true;
        QTest::newRow("other extension") << "a.pdfx"
                                         << "*.pdf" << false;
        QTest::newRow("brackets are literal") << "a[1].pdf"
                                              << "*.pdf" << true;
        QTest::newRow("question mark") << "ab.txt"
                                       << "a?.txt" << true;
        QTest::newRow("question needs one") << "a.txt"
                                            << "a?.txt" << false;
        QTest::newRow("non-ASCII case") << "ÉTÉ.PDF"
                                        << "été*" << true;
        QTest::newRow("backtracking") << "a.pdf.pdf.txt"
                                      << "*.pdf" << false;
    }
    void patternMatching()
    {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        QFETCH(bool, matches);
        QCOMPARE(matchesPattern(name, pattern), matches);
    }

    void existenceIsANameLookup()
    {
        QTemporaryDir dir;
        QVERIFY(fillTree(dir.path(), {"folder/", "file.txt", "a[1]/"}));
        QVERIFY(nameExists(dir.path() + "/folder"));
        QVERIFY(nameExists(dir.path() + "/folder/"));
        QVERIFY(nameExists(dir.path() + "/file.txt"));
        QVERIFY(nameExists(dir.path() + "/a[1]"));
        QVERIFY(nameExists(dir.path() + "/fo*"));
        QVERIFY(nameExists(dir.path() + "/FILE.???"));
        QVERIFY(!nameExists(dir.path() + "/missing"));
        QVERIFY(!nameExists(dir.path() + "/x*"));
        QVERIFY(!nameExists(dir.path() + "/file.txt/"));
        QVERIFY(!nameExists(QString()));
    }
};

QTEST_GUILESS_MAIN(TestNameLookup)
#include "tst_namelookup.moc"
