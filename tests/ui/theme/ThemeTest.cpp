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

    // Each of the eight entries in both appearances, opaque sRGB; index + 8 is the same entry.
    void channelColorValues_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QColor>("light");
        QTest::addColumn<QColor>("dark");
        const QRgb table[8][2] = {{0x2F6FD6, 0x6CA8FF}, {0x7B4FC9, 0xC89BFF}, {0x0E8077, 0x4FD1C5},
                                  {0xB8406F, 0xF7A1C4}, {0x1F7FA8, 0x7FD3F7}, {0x8A5A2B, 0xE0B48A},
                                  {0x4F6B2E, 0xB5D98A}, {0x6A5ACD, 0xA9A1F0}};
        for (int i = 0; i < 8; ++i)
            QTest::addRow("%d", i) << i << QColor(table[i][0]) << QColor(table[i][1]);
    }
    void channelColorValues()
    {
        QFETCH(int, index);
        QFETCH(QColor, light);
        QFETCH(QColor, dark);
        for (const int at : {index, index + 8}) {
            QCOMPARE(channelColor(Appearance::Light, at), light);
            QCOMPARE(channelColor(Appearance::Dark, at), dark);
            QCOMPARE(channelColor(Appearance::Light, at).alpha(), 255);
        }
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
