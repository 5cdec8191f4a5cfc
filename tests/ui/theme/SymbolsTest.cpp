#include "common/TestMain.h"

#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"

#include <QDir>
#include <QPainter>

#include <cmath>

namespace {

// The ink of a symbol: its total coverage, and its fully covered pixels, which must all be `tint`.
struct Ink {
    qint64 coverage = 0;
    int solid = 0;
    bool tinted = true;
};

Ink inkOf(const QPixmap& pixmap, QRgb tint = qRgb(0, 0, 0))
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            ink.coverage += qAlpha(pixel);
            if (qAlpha(pixel) == 255) {
                ++ink.solid;
                ink.tinted = ink.tinted && pixel == tint;
            }
        }
    }
    return ink;
}

} // namespace

class SymbolsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every declared symbol has its file, renders at the style's size and device pixel ratio in
    // exactly the colour asked for, and comes from the cache the second time; no file is left
    // undeclared.
    void everySymbolRenders_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : Symbols::names)
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void everySymbolRenders()
    {
        QFETCH(QString, name);
        const QPixmap first = Symbols::pixmap(name, TextStyle::pillSymbol, Theme::coral, 2);
        QCOMPARE(first.width(), static_cast<int>(std::ceil(Symbols::side(TextStyle::pillSymbol) * 2)));
        QCOMPARE(first.devicePixelRatio(), 2.0);
        const Ink ink = inkOf(first, Theme::coral.rgba());
        QVERIFY(ink.solid > 0);
        QVERIFY(ink.tinted);
        QCOMPARE(Symbols::pixmap(name, TextStyle::pillSymbol, Theme::coral, 2).cacheKey(), first.cacheKey());
        QVERIFY(Symbols::pixmap(name, TextStyle::pillSymbol, Theme::green, 2).cacheKey() != first.cacheKey());
        if (name == QLatin1String(Symbols::names[0]))
            QCOMPARE(QDir(QStringLiteral(":/icons")).entryList().size(), qsizetype(std::size(Symbols::names)));
    }

    // Weight thickens outline strokes; a wild ratio or size stays bounded; an unknown name warns
    // once and draws nothing.
    void weightsAndBadInput()
    {
        const auto xmark = [](QFont::Weight weight) {
            return inkOf(Symbols::pixmap(QStringLiteral("xmark"), TextStyle::system(20, weight), Qt::black, 1))
                .coverage;
        };
        QVERIFY(xmark(QFont::Normal) < xmark(QFont::DemiBold));
        QVERIFY(xmark(QFont::DemiBold) < xmark(QFont::Bold));
        for (const qreal ratio : {0.0, -1.0, qQNaN(), qInf()})
            QCOMPARE(Symbols::pixmap(QStringLiteral("plus"), TextStyle::system(10), Qt::black, ratio).width(), 12);
        QCOMPARE(Symbols::pixmap(QStringLiteral("plus"), TextStyle::system(1e9), Qt::black, 1).width(), 1024);

        QTest::ignoreMessage(QtWarningMsg, "No symbol named \"bell.slash\"; drawn as nothing");
        QVERIFY(Symbols::pixmap(QStringLiteral("bell.slash"), TextStyle::pillSymbol, Qt::black, 1).isNull());
        QTest::ignoreMessage(QtWarningMsg, "No symbol named \"../icons/bell\"; drawn as nothing");
        QImage canvas(32, 32, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        Symbols::paint(painter, canvas.rect(), QStringLiteral("bell.slash"), TextStyle::pillSymbol, Qt::black);
        Symbols::paint(painter, canvas.rect(), QStringLiteral("../icons/bell"), TextStyle::pillSymbol, Qt::black);
        painter.end();
        QCOMPARE(inkOf(QPixmap::fromImage(canvas)).coverage, 0);
    }
};

PINDLE_TEST(SymbolsTest)
#include "SymbolsTest.moc"
