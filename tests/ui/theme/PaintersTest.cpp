#include "common/TestMain.h"

#include "platform/Fonts.h"
#include "ui/theme/Capsule.h"
#include "ui/theme/MarkerChip.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Tile.h"

#include <QFontMetricsF>
#include <QPainter>

#include <functional>

namespace {

using Painter = std::function<void(QPainter&, const QRectF&)>;

struct Case {
    const char* name;
    QSizeF natural;
    Painter paint;
};

const QString kLong = QStringLiteral("Sync to camera, then scan the slate again and again and again");

QList<Case> cases()
{
    const CapsuleLabel word{QString(), QColor(), QStringLiteral("quota"), QStringLiteral("xmark")};
    const CapsuleLabel start{QString(), Theme::coral, QStringLiteral("Start logging"), QString()};
    const MarkerChip chip{kLong, QStringLiteral("⌘1"), Theme::amber, true, false};
    const auto pill = [](const CapsuleStyle& style, const QString& title) {
        return Case{"", pillSize(style, QStringLiteral("bell.badge"), title),
                    [style, title](QPainter& p, const QRectF& r) {
                        paintPill(p, r, style, QStringLiteral("bell.badge"), title, true);
                    }};
    };
    QList<Case> all{pill(CapsuleStyles::pill, QStringLiteral("Alerts")), pill(CapsuleStyles::pill, QString()),
                    pill(CapsuleStyles::compactPill, QStringLiteral("Alerts")), pill(CapsuleStyles::pill, kLong)};
    all[0].name = "pill";
    all[1].name = "pill without a title";
    all[2].name = "compact pill";
    all[3].name = "pill with a long title";
    all.append({"word chip", capsuleSize(word, CapsuleStyles::wordChip), [word](QPainter& p, const QRectF& r) {
                    paintCapsule(p, r, word, CapsuleStyles::wordChip, ControlColours::plain());
                }});
    all.append({"start button", capsuleSize(start, CapsuleStyles::pill), [start](QPainter& p, const QRectF& r) {
                    paintCapsule(p, r, start, CapsuleStyles::pill, ControlColours::plain(Appearance::Dark));
                }});
    all.append({"headphones tile", TileStyles::stripHeadphones.size, [](QPainter& p, const QRectF& r) {
                    paintTile(p, r, {QString(), QStringLiteral("headphones.circle.fill")}, TileStyles::stripHeadphones,
                              ControlColours::tinted(Theme::coral, 0.15, true));
                }});
    all.append({"mute tile", TileStyles::stripToggle.size, [](QPainter& p, const QRectF& r) {
                    paintTile(p, r, {QStringLiteral("M"), QString()}, TileStyles::stripToggle,
                              ControlColours::filled(Theme::coral, Qt::white));
                }});
    all.append({"marker chip", QSizeF(200, 50),
                [chip](QPainter& p, const QRectF& r) { paintMarkerChip(p, r, chip, Appearance::Light); }});
    return all;
}

struct Painted {
    int inside = 0;
    int outside = 0;
    // The painter's clip and pen are as they were before.
    bool restored = false;
};

// Paints into a transparent canvas with a margin round `rect`.
Painted paintedPixels(const Painter& paint, const QSizeF& size, qreal ratio)
{
    constexpr int kMargin = 12;
    const QRectF rect(kMargin + 0.25, kMargin, size.width(), size.height());
    QImage canvas(QSize(qCeil(size.width()) + 2 * kMargin + 1, qCeil(size.height()) + 2 * kMargin) * ratio,
                  QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);
    Painted painted;
    {
        QPainter painter(&canvas);
        paint(painter, rect);
        painted.restored =
            !painter.hasClipping() && painter.pen() == QPen() && !painter.testRenderHint(QPainter::Antialiasing);
    }
    const QRectF inDevice(rect.topLeft() * ratio, rect.size() * ratio);
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            if (qAlpha(canvas.pixel(x, y)) == 0)
                continue;
            // A pixel touched by the rect's fractional edge counts as inside.
            const bool in = QRectF(x, y, 1, 1).intersects(inDevice);
            (in ? painted.inside : painted.outside) += 1;
        }
    }
    return painted;
}

} // namespace

class PaintersTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { registerFonts(); }

    // Whatever the room, a painter paints only inside its rect, paints something there unless the
    // rect is empty, and leaves the painter as it found it.
    void staysInItsRect_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QSizeF>("scale");
        QTest::addColumn<qreal>("ratio");
        const QList<Case> all = cases();
        for (int i = 0; i < all.size(); ++i) {
            for (const auto& [room, scale] : {std::pair("natural", QSizeF(1, 1)), std::pair("wide", QSizeF(2.5, 1)),
                                              std::pair("narrow", QSizeF(0.3, 1)), std::pair("tiny", QSizeF(0.05, 0.1)),
                                              std::pair("empty", QSizeF(0, 1))}) {
                for (const qreal ratio : {1.0, 2.0})
                    QTest::addRow("%s, %s, @%gx", all[i].name, room, ratio) << i << scale << ratio;
            }
        }
    }
    void staysInItsRect()
    {
        QFETCH(int, index);
        QFETCH(QSizeF, scale);
        QFETCH(qreal, ratio);
        const Case item = cases().at(index);
        const QSizeF size(item.natural.width() * scale.width(), item.natural.height() * scale.height());
        const Painted painted = paintedPixels(item.paint, size, ratio);
        QCOMPARE(painted.outside, 0);
        QCOMPARE(painted.inside > 0, !size.isEmpty());
        QVERIFY(painted.restored);
    }

    // At its natural size a label fills its padding exactly, with no gap for a missing part and
    // its whole title; a little short of it, the title alone gives way.
    void layoutAtNaturalSize_data()
    {
        QTest::addColumn<CapsuleLabel>("label");
        QTest::addColumn<CapsuleStyle>("style");
        const QString title = QStringLiteral("quota");
        QTest::newRow("title and trailing")
            << CapsuleLabel{{}, {}, title, QStringLiteral("xmark")} << CapsuleStyles::wordChip;
        QTest::newRow("symbol and title") << CapsuleLabel{QStringLiteral("bell"), {}, title, {}} << CapsuleStyles::pill;
        QTest::newRow("dot and title") << CapsuleLabel{{}, Theme::coral, title, {}} << CapsuleStyles::pill;
        QTest::newRow("symbol only") << CapsuleLabel{QStringLiteral("bell"), {}, {}, {}} << CapsuleStyles::pill;
        QTest::newRow("compact") << CapsuleLabel{QStringLiteral("bell"), {}, title, {}} << CapsuleStyles::compactPill;
        QTest::newRow("tracked title") << CapsuleLabel{{}, {}, QStringLiteral("SELECTED"), {}}
                                       << CapsuleStyles::usedBadge;
    }
    void layoutAtNaturalSize()
    {
        QFETCH(CapsuleLabel, label);
        QFETCH(CapsuleStyle, style);
        const QRectF rect(QPointF(3.3, 1.7), capsuleSize(label, style));
        const CapsuleLayout layout = layoutCapsule(label, style, rect);
        QCOMPARE(layout.shownTitle, style.showsTitle ? label.title : QString());
        QRectF parts;
        for (const QRectF& part : {layout.lead, layout.title, layout.trailing})
            parts = part.isEmpty() ? parts : parts.united(part);
        QVERIFY(qAbs(parts.left() - rect.left() - style.horizontalPadding) < 1e-6);
        QVERIFY(qAbs(rect.right() - parts.right() - style.horizontalPadding) < 1e-6);

        const CapsuleLayout narrow = layoutCapsule(label, style, rect.adjusted(0, 0, -4, 0));
        if (layout.shownTitle.isEmpty())
            return;
        QVERIFY2(narrow.shownTitle.endsWith(QChar(0x2026)), qPrintable(narrow.shownTitle));
        QCOMPARE(narrow.lead.size(), layout.lead.size());
        QCOMPARE(narrow.trailing.size(), layout.trailing.size());
    }

    // The pill takes its colours from the appearance it is given: surface inside, a hairline
    // outline that turns coral while active.
    void pillColours_data()
    {
        QTest::addColumn<Appearance>("appearance");
        QTest::addColumn<bool>("active");
        QTest::newRow("light") << Appearance::Light << false;
        QTest::newRow("dark, active") << Appearance::Dark << true;
    }
    void pillColours()
    {
        QFETCH(Appearance, appearance);
        QFETCH(bool, active);
        const QSize size = pillSize(CapsuleStyles::pill, QStringLiteral("bell"), QStringLiteral("Alerts")).toSize();
        QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        paintPill(painter, QRectF(QPointF(), size), CapsuleStyles::pill, QStringLiteral("bell"),
                  QStringLiteral("Alerts"), active, appearance);
        painter.end();
        const int middle = size.height() / 2;
        QCOMPARE(canvas.pixel(6, middle), Theme::surface.resolve(appearance).rgba());
        QCOMPARE(canvas.pixel(size.width() / 2, 0), (active ? Theme::coral : Theme::line.resolve(appearance)).rgba());
    }
};

PINDLE_TEST(PaintersTest)
#include "PaintersTest.moc"
