#include "common/TestMain.h"

#include "model/LogButtonKind.h"
#include "ui/theme/Theme.h"

#include <climits>

class ThemeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Eight colours repeating by index, distinct from each other; no channel (any negative
    // index) draws in ink. An unmatched appearance takes the light values.
    void channelColors_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("sameAs"); // -1: ink
        QTest::newRow("-1 is ink") << -1 << -1;
        QTest::newRow("INT_MIN is ink") << INT_MIN << -1;
        QTest::newRow("8 wraps to 0") << 8 << 0;
        QTest::newRow("INT_MAX wraps to 7") << INT_MAX << 7; // 8 × 268435455 + 7
    }
    void channelColors()
    {
        QFETCH(int, index);
        QFETCH(int, sameAs);
        for (const Appearance appearance : {Appearance::Light, Appearance::Dark}) {
            const QColor expected = sameAs < 0 ? Theme::ink.resolve(appearance) : channelColor(appearance, sameAs);
            QCOMPARE(channelColor(appearance, index), expected);
            for (int other = 0; other < 8; ++other)
                QCOMPARE(channelColor(appearance, other) == expected, other == sameAs);
        }
        QCOMPARE(channelColor(Appearance::Unmatched, index), channelColor(Appearance::Light, index));
    }

    // Fixed and adaptive colours, built apart, compare equal where they meet. Kind ids compare
    // exactly (unknown: coral); shown as names, each word starts upper case, the rest lower.
    void kindColours()
    {
        QCOMPARE(LogButtonKind::color(u"Note"), (AdaptiveColor{0xFF5C4D, 0xFF5C4D}));
        QCOMPARE(LogButtonKind::capitalized(u"turning_point  wide\tSHOT"), QStringLiteral("Turning_point  Wide\tShot"));
        QCOMPARE(LogButtonKind::color(u"earmark").resolve(Appearance::Dark), Theme::coral);
        QCOMPARE(LogButtonKind::noteColor, Theme::muted);
    }
};

PINDLE_TEST(ThemeTest)
#include "ThemeTest.moc"
