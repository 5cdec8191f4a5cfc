#include "common/TestMain.h"

#include "platform/Date.h"

#include <QDateTime>

#include <cmath>

class DateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Whole milliseconds, halves away from zero; none (-1 here) beyond 2^53 ms.
    void millisecondsSince1970_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qint64>("ms");
        QTest::newRow("half down, before 1970") << -1000000000.0625 << qint64(-1000000000063);
        QTest::newRow("9e12 s") << 9e12 << qint64(9000000000000000);
        QTest::newRow("-9.1e12 s") << -9.1e12 << qint64(-1);
        QTest::newRow("NaN") << std::nan("") << qint64(-1);
    }
    void millisecondsSince1970()
    {
        QFETCH(double, seconds);
        QFETCH(qint64, ms);
        const Date date = Date::fromSecondsSince1970(seconds);
        QCOMPARE(date.millisecondsSince1970(), ms == -1 ? std::nullopt : std::optional<qint64>(ms));
        QCOMPARE(date.toQDateTime().isValid() ? date.toQDateTime().toMSecsSinceEpoch() : -1, ms);
        // Saved files count from 2001; seconds of this era pass through without losing a bit.
        QCOMPARE(Date::fromQDateTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC)).sinceReferenceDate, 0.0);
        const double frame = 1700000000.0 + 1001.0 / 30000.0;
        QVERIFY(Date::fromSecondsSince1970(frame).secondsSince1970() == frame);
    }
};

PINDLE_TEST(DateTest)
#include "DateTest.moc"
