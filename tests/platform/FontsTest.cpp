#include "common/TestMain.h"

#include "platform/Fonts.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QTemporaryDir>

#include <cmath>

class FontsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Names compare exactly; one that is not ours gives DM Sans Regular. Pixel sizes round halves
    // up and stay within 1 … maximumPixelSize, whatever the size asked for.
    void registersAndResolves()
    {
        const QStringList all{"DMSans-Regular", "DMSans-Medium", "DMSans-SemiBold",
                              "DMSans-Bold",    "Inter",         "DMMono-Medium"};
        QCOMPARE(registerFonts(), all);
        // The log sheet's timecode face is the bundled file itself: monospaced, at Medium.
        const QFontInfo mono(Fonts::font(QStringLiteral("DMMono-Medium"), 17));
        QCOMPARE(mono.family(), QStringLiteral("DM Mono"));
        QCOMPARE(mono.weight(), int(QFont::Medium));
        QVERIFY(mono.fixedPitch());
        QCOMPARE(Fonts::font(QStringLiteral("DMSans-SemiBold"), 13).weight(), QFont::DemiBold);
        QCOMPARE(Fonts::font(QStringLiteral("Inter-Regular"), 13).family(), QStringLiteral("Inter"));
        QCOMPARE(Fonts::font(QStringLiteral("dmsans-bold"), 13).weight(), QFont::Normal);
        for (const auto& [size, pixels] : {std::pair{10.49, 10}, {10.5, 11}, {0.4, 1}, {NAN, 1}, {1e300, 4096}})
            QCOMPARE(Fonts::font(QStringLiteral("DMSans-Medium"), size).pixelSize(), pixels);
    }

    // Fonts/ first, then the root (a corrupt Regular at the root loses to the good one in Fonts/);
    // missing files, a folder named like a font and files the font database refuses are skipped.
    void fontsFolderPreferredThenRoot()
    {
        QTemporaryDir dir;
        QVERIFY(registerFonts(dir.path()).isEmpty());
        const auto copy = [&](const char* name, const QString& folder) {
            QDir().mkpath(folder);
            return QFile::copy(testing_support::sourceDir() + "/resources/fonts/" + name + ".ttf",
                               folder + '/' + name + ".ttf");
        };
        const QString fonts = dir.filePath(QStringLiteral("Fonts"));
        QVERIFY(copy("DMSans-Regular", fonts) && copy("DMSans-Bold", fonts));
        QVERIFY(copy("Inter", dir.path()) && copy("DMSans-Medium", dir.path()));
        QVERIFY(QDir().mkpath(fonts + QStringLiteral("/DMSans-Medium.ttf")));
        for (const char* name : {"DMSans-Regular.ttf", "DMSans-SemiBold.ttf"}) {
            QFile file(dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a font") == 10);
        }
        const QStringList expected{"DMSans-Regular", "DMSans-Medium", "DMSans-Bold", "Inter"};
        QCOMPARE(registerFonts(dir.path()), expected);
        QCOMPARE(registerFonts(dir.path() + QLatin1Char('/')), expected);
    }
};

PINDLE_TEST(FontsTest)
#include "FontsTest.moc"
