#include "common/TestMain.h"

#include "platform/Appearance.h"

#include <QGuiApplication>

Q_DECLARE_METATYPE(Appearance)

namespace {

QPalette paletteWithWindow(const QColor& window)
{
    QPalette palette = QGuiApplication::palette();
    palette.setColor(QPalette::Window, window);
    return palette;
}

} // namespace

class AppearanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QGuiApplication::setPalette(QPalette()); }

    void appearanceOfWindowColour_data()
    {
        QTest::addColumn<QColor>("window");
        QTest::addColumn<Appearance>("appearance");
        QTest::newRow("black") << QColor(Qt::black) << Appearance::Dark;
        QTest::newRow("white") << QColor(Qt::white) << Appearance::Light;
        QTest::newRow("grey 127") << QColor(127, 127, 127) << Appearance::Dark;
        QTest::newRow("grey 128") << QColor(128, 128, 128) << Appearance::Light;
        QTest::newRow("our dark background") << QColor(0x18, 0x15, 0x19) << Appearance::Dark;
        QTest::newRow("our light background") << QColor(0xF2, 0xF2, 0xEF) << Appearance::Light;
        // Lightness, not luminance: a saturated dark blue still reads as dark.
        QTest::newRow("navy") << QColor(0, 0, 200) << Appearance::Dark;
        QTest::newRow("yellow") << QColor(255, 255, 0) << Appearance::Light;
        QTest::newRow("transparent black") << QColor(0, 0, 0, 0) << Appearance::Dark;
    }

    void appearanceOfWindowColour()
    {
        QFETCH(QColor, window);
        QFETCH(Appearance, appearance);
        QCOMPARE(appearanceOf(paletteWithWindow(window)), appearance);
        QGuiApplication::setPalette(paletteWithWindow(window));
        QCOMPARE(currentAppearance(), appearance);
    }

    void opaqueRgbIgnoresHighByte()
    {
        static_assert(opaqueRgb(0x123456) == 0xFF123456u);
        static_assert(opaqueRgb(0x00123456) == opaqueRgb(0xAB123456));
        QCOMPARE(qAlpha(opaqueRgb(0)), 255);
    }

    void adaptiveColorChoosesByAppearance_data()
    {
        QTest::addColumn<Appearance>("appearance");
        QTest::addColumn<QRgb>("rgb");
        QTest::newRow("dark") << Appearance::Dark << QRgb(0xFF181519);
        QTest::newRow("light") << Appearance::Light << QRgb(0xFFF2F2EF);
        QTest::newRow("unmatched") << Appearance::Unmatched << QRgb(0xFFF2F2EF);
    }

    void adaptiveColorChoosesByAppearance()
    {
        QFETCH(Appearance, appearance);
        QFETCH(QRgb, rgb);
        const QColor color = adaptiveColor(appearance, 0x181519, 0xF2F2EF);
        QCOMPARE(color.rgba(), rgb);
        QVERIFY(color == color.toRgb());
        const AdaptiveColor adaptive{0x181519, 0xF2F2EF};
        QCOMPARE(adaptive.resolve(appearance), color);
        // Stray bits above the 24-bit value do not leak into alpha.
        QCOMPARE(adaptiveColor(appearance, 0x7F181519, 0x01F2F2EF).rgba(), rgb);
    }

    void adaptiveColorFollowsPalette()
    {
        const AdaptiveColor ink{0xF2F2EF, 0x2B2820};
        QGuiApplication::setPalette(paletteWithWindow(Qt::black));
        QCOMPARE(ink.current().rgb(), QRgb(0xFFF2F2EF));
        QGuiApplication::setPalette(paletteWithWindow(Qt::white));
        QCOMPARE(ink.current().rgb(), QRgb(0xFF2B2820));
    }

    void adaptiveColorEquality()
    {
        static_assert(AdaptiveColor{1, 2} == AdaptiveColor{1, 2});
        static_assert(!(AdaptiveColor{1, 2} == AdaptiveColor{2, 1}));
        QVERIFY(AdaptiveColor{} == (AdaptiveColor{0, 0}));
    }
};

PINDLE_TEST(AppearanceTest)
#include "AppearanceTest.moc"
