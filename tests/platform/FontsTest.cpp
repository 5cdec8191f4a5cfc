#include "common/TestMain.h"

#include "platform/Fonts.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

namespace {

const QStringList allFonts = {QStringLiteral("DMSans-Regular"), QStringLiteral("DMSans-Medium"),
                              QStringLiteral("DMSans-SemiBold"), QStringLiteral("DMSans-Bold"),
                              QStringLiteral("Inter")};

QString shippedFont(const QString& name)
{
    return testing_support::sourceDir() + QStringLiteral("/resources/fonts/") + name + QStringLiteral(".ttf");
}

bool copyFonts(const QStringList& names, const QString& folder)
{
    QDir().mkpath(folder);
    for (const QString& name : names) {
        if (!QFile::copy(shippedFont(name), folder + QLatin1Char('/') + name + QStringLiteral(".ttf")))
            return false;
    }
    return true;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class FontsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void bundledNamesInOrder()
    {
        QStringList names;
        for (const char* name : Fonts::bundledFontNames)
            names.append(QString::fromLatin1(name));
        QCOMPARE(names, allFonts);
    }

    void registersCompiledInResources()
    {
        QCOMPARE(registerFonts(), allFonts);
        QVERIFY(QFontDatabase::families().contains(QStringLiteral("DM Sans")));
        QVERIFY(QFontDatabase::families().contains(QStringLiteral("Inter")));
        const QStringList styles = QFontDatabase::styles(QStringLiteral("DM Sans"));
        const QList<std::pair<QString, int>> weights = {{QStringLiteral("Regular"), 400},
                                                        {QStringLiteral("Medium"), 500},
                                                        {QStringLiteral("SemiBold"), 600},
                                                        {QStringLiteral("Bold"), 700}};
        for (const auto& [style, weight] : weights) {
            QVERIFY2(styles.contains(style), qPrintable(styles.join(u',')));
            QCOMPARE(QFontDatabase::weight(QStringLiteral("DM Sans"), style), weight);
        }
    }

    void fontsFoundAtTheRootWithoutFontsFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(copyFonts(allFonts, dir.path()));
        QCOMPARE(registerFonts(dir.path()), allFonts);
        // A trailing slash on the root names the same folder.
        QCOMPARE(registerFonts(dir.path() + QLatin1Char('/')), allFonts);
    }

    void fontsFolderPreferredThenRoot()
    {
        // Regular and Bold only in Fonts/, Inter only at the root; a corrupt Regular at the root
        // must not be picked over the good one in Fonts/.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(copyFonts({QStringLiteral("DMSans-Regular"), QStringLiteral("DMSans-Bold")},
                          dir.path() + QStringLiteral("/Fonts")));
        QVERIFY(copyFonts({QStringLiteral("Inter")}, dir.path()));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("DMSans-Regular.ttf")), "not a font"));
        QCOMPARE(registerFonts(dir.path()), QStringList({QStringLiteral("DMSans-Regular"),
                                                         QStringLiteral("DMSans-Bold"), QStringLiteral("Inter")}));
    }

    void missingFileIsSkipped_data()
    {
        QTest::addColumn<QString>("missing");
        for (const QString& name : allFonts)
            QTest::newRow(qPrintable(name)) << name;
    }

    void missingFileIsSkipped()
    {
        QFETCH(QString, missing);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QStringList present = allFonts;
        present.removeOne(missing);
        QVERIFY(copyFonts(present, dir.path()));
        QCOMPARE(registerFonts(dir.path()), present);
    }

    void unreadableFilesAreIgnored_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("this is not a font\n");
        QTest::newRow("zeros") << QByteArray(4096, '\0');
        QTest::newRow("TrueType magic only") << QByteArray::fromHex("0001000000ffffff");
        QFile shipped(shippedFont(QStringLiteral("DMSans-Bold")));
        if (shipped.open(QIODevice::ReadOnly)) {
            const QByteArray font = shipped.readAll();
            QTest::newRow("truncated header") << font.left(64);
            QTest::newRow("truncated half") << font.left(font.size() / 2);
        }
    }

    void unreadableFilesAreIgnored()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(copyFonts({QStringLiteral("Inter")}, dir.path()));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("DMSans-Bold.ttf")), bytes));
        const QStringList registered = registerFonts(dir.path());
        // A truncated font may still be accepted by the font engine; what matters is that the
        // good file still registers and nothing crashes.
        QVERIFY(registered.contains(QStringLiteral("Inter")));
        QVERIFY(registered.size() <= 2);
    }

    void folderNamedLikeAFontIsSkipped()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("Fonts/DMSans-Medium.ttf"))));
        QVERIFY(copyFonts({QStringLiteral("DMSans-Medium")}, dir.path()));
        QCOMPARE(registerFonts(dir.path()), QStringList({QStringLiteral("DMSans-Medium")}));
    }

    void nothingToRegister()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(registerFonts(dir.path()).isEmpty());
        QVERIFY(registerFonts(dir.filePath(QStringLiteral("no such folder"))).isEmpty());
        QVERIFY(registerFonts(QString()).isEmpty());
    }

    void fontByPostScriptName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("weight");
        QTest::newRow("Regular") << QStringLiteral("DMSans-Regular") << QStringLiteral("DM Sans") << 400;
        QTest::newRow("Medium") << QStringLiteral("DMSans-Medium") << QStringLiteral("DM Sans") << 500;
        QTest::newRow("SemiBold") << QStringLiteral("DMSans-SemiBold") << QStringLiteral("DM Sans") << 600;
        QTest::newRow("Bold") << QStringLiteral("DMSans-Bold") << QStringLiteral("DM Sans") << 700;
        QTest::newRow("Inter") << QStringLiteral("Inter") << QStringLiteral("Inter") << 400;
        QTest::newRow("Inter-Regular") << QStringLiteral("Inter-Regular") << QStringLiteral("Inter") << 400;
        QTest::newRow("unknown") << QStringLiteral("Helvetica-Bold") << QStringLiteral("DM Sans") << 400;
        QTest::newRow("case differs") << QStringLiteral("dmsans-bold") << QStringLiteral("DM Sans") << 400;
        QTest::newRow("empty") << QString() << QStringLiteral("DM Sans") << 400;
    }

    void fontByPostScriptName()
    {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(int, weight);
        QVERIFY(!registerFonts().isEmpty());
        const QFont font = Fonts::font(name, 13);
        QCOMPARE(font.family(), family);
        QCOMPARE(font.weight(), weight);
        QCOMPARE(font.pixelSize(), 13);
        // The database resolves the request to the registered face itself, not a fallback.
        const QFontInfo info(font);
        QCOMPARE(info.family(), family);
        QCOMPARE(info.weight(), weight);
        QCOMPARE(info.pixelSize(), 13);
    }

    void pixelSizeRounding_data()
    {
        QTest::addColumn<qreal>("size");
        QTest::addColumn<int>("pixels");
        QTest::newRow("whole") << 13.0 << 13;
        QTest::newRow("below half") << 10.49 << 10;
        QTest::newRow("half rounds up") << 10.5 << 11;
        QTest::newRow("above half") << 11.51 << 12;
        QTest::newRow("one") << 1.0 << 1;
        QTest::newRow("below one") << 0.4 << 1;
        QTest::newRow("zero") << 0.0 << 1;
        QTest::newRow("negative") << -12.0 << 1;
        QTest::newRow("NaN") << std::numeric_limits<qreal>::quiet_NaN() << 1;
        QTest::newRow("-inf") << -std::numeric_limits<qreal>::infinity() << 1;
        QTest::newRow("+inf") << std::numeric_limits<qreal>::infinity() << Fonts::maximumPixelSize;
        QTest::newRow("huge") << 1e300 << Fonts::maximumPixelSize;
        QTest::newRow("just below maximum") << Fonts::maximumPixelSize - 0.6 << Fonts::maximumPixelSize - 1;
    }

    void pixelSizeRounding()
    {
        QFETCH(qreal, size);
        QFETCH(int, pixels);
        QCOMPARE(Fonts::font(QStringLiteral("DMSans-Medium"), size).pixelSize(), pixels);
    }
};

PINDLE_TEST(FontsTest)
#include "FontsTest.moc"
