#include "clock.h"

#include <QtTest>

class TestClock : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Clock::setFixed(QDateTime()); }

    // A process that follows an exchange clock sets it once per move and relies on it to run on.
    void runsOnFromTheMomentItWasSet()
    {
        const QDateTime monday(QDate(2026, 12, 7), QTime(8, 40));
        Clock::runFrom(monday);
        QVERIFY(qAbs(monday.msecsTo(Clock::now())) < 500);
        QTest::qWait(300);
        QVERIFY(monday.msecsTo(Clock::now()) >= 300);

        const QDateTime fixed(QDate(2026, 12, 8), QTime(20, 55));
        Clock::setFixed(fixed);
        QCOMPARE(Clock::now(), fixed);
    }

    void anInvalidMomentReturnsToTheRealClock()
    {
        Clock::runFrom(QDateTime(QDate(2030, 1, 1), QTime(9, 0)));
        Clock::runFrom(QDateTime());
        QVERIFY(qAbs(QDateTime::currentDateTime().msecsTo(Clock::now())) < 500);

        Clock::runFrom(QDateTime(QDate(2030, 1, 1), QTime(9, 0)));
        Clock::setFixed(QDateTime(QDate(2030, 1, 2), QTime(9, 0)));
        Clock::setFixed(QDateTime());
        QVERIFY(qAbs(QDateTime::currentDateTime().msecsTo(Clock::now())) < 500);
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
