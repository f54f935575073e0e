#include "pool/LookAhead.h"
#include "support/TestFiles.h"

#include <QTest>

namespace {

std::vector<ConversionJob> jobs(const QStringList &names, const QString &format = "png")
{
    std::vector<ConversionJob> list;
    for (const QString &name : names)
        list.push_back(thumbnailJob("/pdfs/" + name + ".pdf", "/thumbs/" + name + "." + format));
    return list;
}

QStringList inputsOf(const LookAhead::Tasks &tasks)
{
    QStringList inputs;
    for (const std::unique_ptr<PoolTask> &task : tasks)
        inputs.append(task->request.job.input);
    return inputs;
}

} // namespace

// What the walk told is all the store holds: tasks it still wants are kept
// with what they made, the others handed back to be stopped.
class TestLookAhead : public QObject
{
    Q_OBJECT

private slots:
    void keepsWhatIsStillWantedAndHandsBackTheRest()
    {
        LookAhead ahead;
        QVERIFY(ahead.foresee(jobs({"a", "b", "c"})).empty());
        PoolTask *b = ahead.take(jobs({"a"}).front()) ? ahead.nextWaiting() : nullptr;
        QVERIFY(b);
        b->state = PoolTask::State::Done;
        QVERIFY(!ahead.take(jobs({"c"}).front()));
        // A format chosen since makes c another job.
        const LookAhead::Tasks dropped =
            ahead.foresee({jobs({"b"}).front(), jobs({"c"}, "gif").front()});
        QCOMPARE(inputsOf(dropped), QStringList({"/pdfs/c.pdf"}));
        QCOMPARE(ahead.nextWaiting()->request.job.output, QString("/thumbs/c.gif"));
        const std::unique_ptr<PoolTask> taken = ahead.take(jobs({"b"}).front());
        QCOMPARE(taken.get(), b);
        QCOMPARE(inputsOf(ahead.takeAll()), QStringList({"/pdfs/c.pdf"}));
    }

    void heldThumbnailsStayWithinTheBudget()
    {
        LookAhead ahead;
        QVERIFY(ahead.foresee(jobs({"a", "b"})).empty());
        PoolTask *a = ahead.nextWaiting();
        a->state = PoolTask::State::Done;
        a->heldSize = LookAhead::heldBudget - a->request.job.largestThumbnailSize() / 2;
        QVERIFY(ahead.mayKeep(*a));
        // b could not be kept if it made the most its job can.
        QCOMPARE(ahead.nextWaiting(), nullptr);
        PoolTask outside;
        outside.heldSize = LookAhead::heldBudget;
        a->heldSize = LookAhead::heldBudget + 1;
        QVERIFY(!ahead.mayKeep(*a));
        QVERIFY(ahead.mayKeep(outside));
    }
};

QTEST_GUILESS_MAIN(TestLookAhead)
#include "tst_lookahead.moc"
