#include "common/TestMain.h"

#include "model/LogButtonKind.h"
#include "ui/theme/Theme.h"

#include <QGuiApplication>
#include <QPalette>

#include <climits>

Q_DECLARE_METATYPE(AdaptiveColor)

namespace {

QColor rgb(quint32 hex)
{
    return QColor(static_cast<int>(hex >> 16), static_cast<int>((hex >> 8) & 0xFF), static_cast<int>(hex & 0xFF));
}

// Sets the application palette to one with the given window colour for the life of the object.
class PaletteOverride {
public:
    explicit PaletteOverride(const QColor& window) : m_saved(QGuiApplication::palette())
    {
        QPalette palette = m_saved;
        palette.setColor(QPalette::Window, window);
        QGuiApplication::setPalette(palette);
    }
    ~PaletteOverride() { QGuiApplication::setPalette(m_saved); }
    PaletteOverride(const PaletteOverride&) = delete;
    PaletteOverride& operator=(const PaletteOverride&) = delete;

private:
    QPalette m_saved;
};

} // namespace

class ThemeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void adaptiveColors_data()
    {
        QTest::addColumn<AdaptiveColor>("color");
        QTest::addColumn<quint32>("dark");
        QTest::addColumn<quint32>("light");
        QTest::newRow("background") << Theme::background << 0x181519u << 0xF2F2EFu;
        QTest::newRow("surface") << Theme::surface << 0x232024u << 0xFBFBF9u;
        QTest::newRow("line") << Theme::line << 0x322E33u << 0xE3E1DCu;
        QTest::newRow("ink") << Theme::ink << 0xF2F2EFu << 0x2B2820u;
        QTest::newRow("muted") << Theme::muted << 0x9A9388u << 0x6F6A60u;
        QTest::newRow("faint") << Theme::faint << 0x6F6A60u << 0x9A9388u;
    }

    void adaptiveColors()
    {
        QFETCH(AdaptiveColor, color);
        QFETCH(quint32, dark);
        QFETCH(quint32, light);
        const QColor inDark = color.resolve(Appearance::Dark);
        QCOMPARE(inDark, rgb(dark));
        QCOMPARE(inDark.alpha(), 255);
        QVERIFY(inDark == inDark.toRgb());
        QCOMPARE(color.resolve(Appearance::Light), rgb(light));
        // An appearance that is neither plainly light nor dark takes the light values.
        QCOMPARE(color.resolve(Appearance::Unmatched), rgb(light));
    }

    void fixedColors_data()
    {
        QTest::addColumn<QColor>("color");
        QTest::addColumn<quint32>("hex");
        QTest::newRow("coral") << Theme::coral << 0xFF5C4Du;
        QTest::newRow("green") << Theme::green << 0x3FAE6Bu;
        QTest::newRow("amber") << Theme::amber << 0xEEB41Bu;
        QTest::newRow("darkInk") << Theme::darkInk << 0x2B2820u;
    }

    void fixedColors()
    {
        QFETCH(QColor, color);
        QFETCH(quint32, hex);
        QVERIFY(color.isValid());
        QCOMPARE(color.rgba(), opaqueRgb(hex));
        // Built the same way as an adaptive colour's, so the two compare equal where they meet.
        QCOMPARE(color, adaptiveColor(Appearance::Dark, hex, hex));
        // Fixed colours do not move with the appearance.
        for (const QColor window : {QColor(Qt::black), QColor(Qt::white)}) {
            PaletteOverride palette(window);
            QCOMPARE(color.rgba(), opaqueRgb(hex));
        }
    }

    void noteKindUsesMutedColour()
    {
        QCOMPARE(LogButtonKind::noteColor, Theme::muted);
        QCOMPARE(LogButtonKind::color(u"note"), Theme::muted);
    }

    void channelColors_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<quint32>("light");
        QTest::addColumn<quint32>("dark");
        QTest::newRow("-1 is ink") << -1 << 0x2B2820u << 0xF2F2EFu;
        QTest::newRow("INT_MIN is ink") << INT_MIN << 0x2B2820u << 0xF2F2EFu;
        QTest::newRow("0") << 0 << 0x2F6FD6u << 0x6CA8FFu;
        QTest::newRow("1") << 1 << 0x7B4FC9u << 0xC89BFFu;
        QTest::newRow("2") << 2 << 0x0E8077u << 0x4FD1C5u;
        QTest::newRow("3") << 3 << 0xB8406Fu << 0xF7A1C4u;
        QTest::newRow("4") << 4 << 0x1F7FA8u << 0x7FD3F7u;
        QTest::newRow("5") << 5 << 0x8A5A2Bu << 0xE0B48Au;
        QTest::newRow("6") << 6 << 0x4F6B2Eu << 0xB5D98Au;
        QTest::newRow("7") << 7 << 0x6A5ACDu << 0xA9A1F0u;
        QTest::newRow("8 wraps to 0") << 8 << 0x2F6FD6u << 0x6CA8FFu;
        QTest::newRow("9 wraps to 1") << 9 << 0x7B4FC9u << 0xC89BFFu;
        QTest::newRow("1003 wraps to 3") << 1003 << 0xB8406Fu << 0xF7A1C4u;
        // INT_MAX = 8 * 268435455 + 7.
        QTest::newRow("INT_MAX wraps to 7") << INT_MAX << 0x6A5ACDu << 0xA9A1F0u;
    }

    void channelColors()
    {
        QFETCH(int, index);
        QFETCH(quint32, light);
        QFETCH(quint32, dark);
        QCOMPARE(channelColor(Appearance::Light, index), rgb(light));
        QCOMPARE(channelColor(Appearance::Unmatched, index), rgb(light));
        QCOMPARE(channelColor(Appearance::Dark, index), rgb(dark));
        QCOMPARE(channelColor(Appearance::Dark, index).alpha(), 255);
    }

    void channelColorsAreDistinct()
    {
        for (const Appearance appearance : {Appearance::Light, Appearance::Dark}) {
            for (int a = 0; a < 8; ++a) {
                for (int b = a + 1; b < 8; ++b)
                    QVERIFY2(channelColor(appearance, a) != channelColor(appearance, b),
                             qPrintable(QString::number(a)));
            }
        }
    }

    // A views re-resolves its colours when painted, so switching the palette is all it takes.
    void paletteSwitchFlipsCurrentColours()
    {
        {
            PaletteOverride palette(QColor(0x18, 0x15, 0x19));
            QCOMPARE(currentAppearance(), Appearance::Dark);
            QCOMPARE(Theme::ink.current(), rgb(0xF2F2EF));
            QCOMPARE(Theme::background.current(), rgb(0x181519));
            QCOMPARE(channelColor(0), rgb(0x6CA8FF));
            QCOMPARE(channelColor(-1), rgb(0xF2F2EF));
        }
        {
            PaletteOverride palette(QColor(0xF2, 0xF2, 0xEF));
            QCOMPARE(currentAppearance(), Appearance::Light);
            QCOMPARE(Theme::ink.current(), rgb(0x2B2820));
            QCOMPARE(Theme::background.current(), rgb(0xF2F2EF));
            QCOMPARE(channelColor(0), rgb(0x2F6FD6));
            QCOMPARE(channelColor(-1), rgb(0x2B2820));
        }
    }
};

PINDLE_TEST(ThemeTest)
#include "ThemeTest.moc"
