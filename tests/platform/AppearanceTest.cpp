#include "common/TestMain.h"

#include "platform/Appearance.h"

#include <QGuiApplication>

class AppearanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Dark below lightness 128 (not luminance: navy is dark); colours follow the palette, an
    // unmatched one takes the light values, and bits above the 24-bit value never reach alpha.
    void appearanceOfWindowColour()
    {
        for (const auto& [window, dark] : {std::pair{QColor(127, 127, 127), true}, {QColor(128, 128, 128), false},
                                           {QColor(0, 0, 200), true}}) {
            QPalette palette = QGuiApplication::palette();
            palette.setColor(QPalette::Window, window);
            QGuiApplication::setPalette(palette);
            QCOMPARE(currentAppearance(), dark ? Appearance::Dark : Appearance::Light);
            QCOMPARE((AdaptiveColor{0x7F181519, 0x01F2F2EF}).current().rgba(), dark ? 0xFF181519 : 0xFFF2F2EF);
        }
        QCOMPARE(adaptiveColor(Appearance::Unmatched, 0x181519, 0xF2F2EF).rgba(), QRgb(0xFFF2F2EF));
        QGuiApplication::setPalette(QPalette());
    }
};

PINDLE_TEST(AppearanceTest)
#include "AppearanceTest.moc"
