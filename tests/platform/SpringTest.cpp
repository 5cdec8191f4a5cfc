#include "platform/Spring.h"
#include "common/TestMain.h"

#include <QRandomGenerator>

#include <cmath>
#include <numbers>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The continuous motion from rest at 0 toward 1 of a unit-mass spring.
double exact(double response, double zeta, double t)
{
    const double w = 2.0 * std::numbers::pi / response, wd = w * std::sqrt(std::abs(1.0 - zeta * zeta));
    if (zeta < 1.0)
        return 1.0 - std::exp(-zeta * w * t) * (std::cos(wd * t) + zeta * w / wd * std::sin(wd * t));
    const double r1 = -zeta * w + wd, r2 = -zeta * w - wd;
    return zeta == 1.0 ? 1.0 - std::exp(-w * t) * (1.0 + w * t)
                       : 1.0 - (r2 * std::exp(r1 * t) - r1 * std::exp(r2 * t)) / (r2 - r1);
}

} // namespace

class SpringTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Response and damping fraction mean what they say: at 60 Hz the motion follows the
    // continuous one (a spring stiffer than a frame by substeps) and settles; a damping fraction
    // of 1 or more never overshoots.
    void followsTheContinuousMotion_data()
    {
        QTest::addColumn<double>("response");
        QTest::addColumn<double>("zeta");
        QTest::newRow("button pop") << 0.12 << 0.5;
        QTest::newRow("hop") << 1.1 << 0.75;
        QTest::newRow("critical") << 0.3 << 1.0;
        QTest::newRow("critical, stiffer than a frame") << 0.01 << 1.0;
        QTest::newRow("overdamped") << 0.5 << 3.0;
    }
    void followsTheContinuousMotion()
    {
        QFETCH(double, response);
        QFETCH(double, zeta);
        Spring spring(Spring::Params{response, zeta});
        spring.setTarget(1.0);
        double t = 0.0, highest = 0.0;
        while (t < 40.0 * response && !(t > response && spring.isSettled())) {
            spring.step(1.0 / 60.0);
            t += 1.0 / 60.0;
            highest = std::max(highest, spring.value());
            QVERIFY2(std::abs(spring.value() - exact(response, zeta, t)) < 0.02, qPrintable(QString::number(t)));
        }
        QVERIFY(spring.isSettled() && (zeta < 1.0 || highest <= 1.0));
    }

    // Whatever the step, the spring stays finite: non-finite and negative steps do nothing, a huge
    // one counts as the longest step, and a response that makes no sense jumps to the target.
    void hostileStepsStayFinite()
    {
        const double steps[] = {kNaN, kInf, -kInf, -1.0, 0.0, 1e-300, 1.0 / 60.0, 0.5, 1e6, 1e300};
        const Spring::Params params[] = {{0.12, 0.5}, {1.1, 0.0}, {0.001, 1.0}, {0.5, 1e9},
                                         {0.5, kNaN}, {0.0, 0.8}, {-1.0, 0.8},  {kNaN, 0.8}};
        QRandomGenerator random(7);
        for (const Spring::Params& p : params) {
            Spring spring(p);
            for (int i = 0; i < 5000; ++i) {
                spring.setTarget(random.bounded(2.0e6) - 1.0e6);
                spring.kick(random.bounded(2) ? 1e308 : kNaN);
                const Spring before = spring;
                const double step = steps[random.bounded(int(std::size(steps)))];
                spring.step(step);
                QVERIFY(std::isfinite(spring.value()) && std::isfinite(spring.velocity()));
                if (!(step > 0.0 && step < kInf))
                    QVERIFY(spring.value() == before.value() && spring.velocity() == before.velocity());
                else if (!(p.response > 0.0))
                    QVERIFY(spring.isSettled(0.0));
            }
        }
        Spring a(Spring::Params{0.3, 0.7});
        a.kick(5.0);
        Spring b = a;
        a.step(1e9), b.step(Spring::kMaxStep);
        QCOMPARE(a.value(), b.value());
    }
};

PINDLE_TEST(SpringTest)
#include "SpringTest.moc"
