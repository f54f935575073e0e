#include "ui/PaintPacer.h"

#include <QTest>

class TestPaintPacer : public QObject
{
    Q_OBJECT

private:
    // How many of the yield points at from, from + step, ... before to paint.
    static int paintsBetween(PaintPacer &pacer, qint64 from, qint64 to, qint64 step)
    {
        int paints = 0;
        for (qint64 now = from; now < to; now += step)
            paints += pacer.paintAt(now) ? 1 : 0;
        return paints;
    }

private slots:
    void quickYieldsPaintRarelyAndAPausePaintsAtOnce()
    {
        PaintPacer pacer(15);
        // The start of a run paints every change for one interval.
        QCOMPARE(paintsBetween(pacer, 1000, 1015, 1), 15);
        // Then, with a yield point every millisecond, about once an interval.
        const int paints = paintsBetween(pacer, 1015, 1315, 1);
        QVERIFY2(paints >= 19 && paints <= 21, qPrintable(QString::number(paints)));

        // A slow step (a conversion): the yield points after it all paint,
        // so the next row is on screen during the next conversion.
        QCOMPARE(paintsBetween(pacer, 1500, 1510, 2), 5);
        // A pause shorter than the interval is no slow step.
        QVERIFY(!pacer.paintAt(1520));
        QCOMPARE(paintsBetween(pacer, 1530, 1550, 10), 1);
    }
};

QTEST_GUILESS_MAIN(TestPaintPacer)
#include "tst_paintpacer.moc"
