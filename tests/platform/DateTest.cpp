#include "common/TestMain.h"

#include "platform/Date.h"

#include <QDateTime>

#include <cmath>
#include <limits>

class DateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void millisecondsSince1970_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("inRange");
        QTest::addColumn<qint64>("ms");
        QTest::newRow("epoch") << 0.0 << true << qint64(0);
        QTest::newRow("reference date") << Date::referenceOffset << true << qint64(978307200000);
        QTest::newRow("0.4 ms") << 0.0004 << true << qint64(0);
        QTest::newRow("0.6 ms") << 0.0006 << true << qint64(1);
        QTest::newRow("-0.4 ms") << -0.0004 << true << qint64(0);
        QTest::newRow("-0.6 ms") << -0.0006 << true << qint64(-1);
        // 0.0625 s is exactly 62.5 ms: halves round away from zero.
        QTest::newRow("half up") << 0.0625 << true << qint64(63);
        QTest::newRow("half down") << -0.0625 << true << qint64(-63);
        QTest::newRow("2023") << 1700000000.25 << true << qint64(1700000000250);
        QTest::newRow("before 1970") << -1000000000.5 << true << qint64(-1000000000500);
        QTest::newRow("9e12 s") << 9e12 << true << qint64(9000000000000000);
        QTest::newRow("-9e12 s") << -9e12 << true << qint64(-9000000000000000);
        QTest::newRow("9.1e12 s") << 9.1e12 << false << qint64(0);
        QTest::newRow("-9.1e12 s") << -9.1e12 << false << qint64(0);
        QTest::newRow("int64 range") << 9.3e15 << false << qint64(0);
        QTest::newRow("1e300") << 1e300 << false << qint64(0);
        QTest::newRow("-1e300") << -1e300 << false << qint64(0);
        QTest::newRow("max") << std::numeric_limits<double>::max() << false << qint64(0);
        QTest::newRow("+inf") << std::numeric_limits<double>::infinity() << false << qint64(0);
        QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << false << qint64(0);
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << false << qint64(0);
    }

    void millisecondsSince1970()
    {
        QFETCH(double, seconds);
        QFETCH(bool, inRange);
        QFETCH(qint64, ms);
        const Date date = Date::fromSecondsSince1970(seconds);
        const std::optional<qint64> result = date.millisecondsSince1970();
        QCOMPARE(result.has_value(), inRange);
        if (inRange) {
            QCOMPARE(*result, ms);
            const QDateTime dateTime = date.toQDateTime();
            QVERIFY(dateTime.isValid());
            QCOMPARE(dateTime.toMSecsSinceEpoch(), ms);
            QCOMPARE(dateTime.timeSpec(), Qt::UTC);
        } else {
            QVERIFY(!date.toQDateTime().isValid());
        }
    }

    // Seconds of this era pass through the 2001-based value without losing a bit.
    void secondsSince1970RoundTripExactly_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::newRow("reference") << Date::referenceOffset;
        QTest::newRow("2023 with fraction") << 1700000000.123456;
        QTest::newRow("camera frame") << 1700000000.0 + 1001.0 / 30000.0;
        QTest::newRow("1985") << 500000000.0;
    }

    void secondsSince1970RoundTripExactly()
    {
        QFETCH(double, seconds);
        const Date date = Date::fromSecondsSince1970(seconds);
        QVERIFY(date.secondsSince1970() == seconds);
        QVERIFY(date.sinceReferenceDate == seconds - Date::referenceOffset);
    }

    void secondsSince1970RoundTripClosely_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::newRow("0.1") << 0.1;
        QTest::newRow("-12345.678") << -12345.678;
        QTest::newRow("2100") << 4102444800.001;
    }

    void secondsSince1970RoundTripClosely()
    {
        QFETCH(double, seconds);
        // A double near 1e9 resolves about 1e-7 s, far finer than any camera frame.
        QVERIFY(std::abs(Date::fromSecondsSince1970(seconds).secondsSince1970() - seconds) < 1e-6);
    }

    void qDateTimeRoundTrip_data()
    {
        QTest::addColumn<QDateTime>("dateTime");
        QTest::newRow("utc") << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999), Qt::UTC);
        QTest::newRow("reference") << QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        QTest::newRow("1969") << QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 1), Qt::UTC);
        QTest::newRow("offset") << QDateTime(QDate(2024, 6, 1), QTime(12, 0, 0, 500), Qt::OffsetFromUTC, -5 * 3600);
    }

    void qDateTimeRoundTrip()
    {
        QFETCH(QDateTime, dateTime);
        const Date date = Date::fromQDateTime(dateTime);
        QCOMPARE(date.toQDateTime(), dateTime);
        QCOMPARE(date.millisecondsSince1970(), std::optional<qint64>(dateTime.toMSecsSinceEpoch()));
    }

    void referenceDateIsZero()
    {
        QCOMPARE(Date::fromQDateTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC)).sinceReferenceDate, 0.0);
    }

    void arithmeticAndOrder()
    {
        const Date a{100.0};
        const Date b = a.addingSeconds(2.5);
        QVERIFY(b.sinceReferenceDate == 102.5);
        QVERIFY(b.secondsSince(a) == 2.5);
        QVERIFY(a.secondsSince(b) == -2.5);
        QVERIFY(a < b);
        QVERIFY(a == Date{100.0});
        QVERIFY(a.addingSeconds(-0.0) == a);
    }

    void nowIsNow()
    {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const std::optional<qint64> now = Date::now().millisecondsSince1970();
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(now);
        QVERIFY(*now >= before - 1 && *now <= after + 1);
    }

    void timeZoneOffsetIsPlausible()
    {
        const int offset = currentTimeZoneOffsetSeconds();
        QVERIFY(offset >= -14 * 3600 && offset <= 14 * 3600);
        QCOMPARE(offset, QDateTime::currentDateTime().offsetFromUtc());
    }
};

PINDLE_TEST(DateTest)
#include "DateTest.moc"
