#include "common/TestMain.h"

#include "platform/Fonts.h"
#include "ui/theme/Capsule.h"
#include "ui/theme/MarkerChip.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Tile.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPainter>

#include <functional>

namespace {

using Paint = std::function<void(QPainter&, const QRectF&, Appearance)>;
using Colours = ControlColours (*)(Appearance);

struct Case {
    const char* name;
    QSizeF natural;
    Paint paint;
};

Case capsule(const char* name, const CapsuleLabel& label, const CapsuleStyle& style, Colours colours)
{
    return {name, capsuleSize(label, style),
            [=](QPainter& p, const QRectF& r, Appearance a) { paintCapsule(p, r, label, style, colours(a)); }};
}

Case tile(const char* name, const Tile& tile, const TileStyle& style, Colours colours)
{
    return {name, style.size,
            [=](QPainter& p, const QRectF& r, Appearance a) { paintTile(p, r, tile, style, colours(a)); }};
}

// One of each kind of control, in the states that change its layout or colours.
QList<Case> cases()
{
    const QString kLong = QStringLiteral("Sync to camera, then scan the slate again and again and again");
    const auto label = [](const char* symbol, const QString& title, const char* trailing = "") {
        return CapsuleLabel{QString::fromUtf8(symbol), {}, title, QString::fromUtf8(trailing)};
    };
    const Colours plain = &ControlColours::plain;
    const Colours coral = [](Appearance) { return ControlColours::filled(Theme::coral, Qt::white); };
    const Colours idle = &ControlColours::idle;
    const Colours kind = [](Appearance) { return ControlColours::filled(Theme::amber, Theme::darkInk); };
    const Colours scan = [](Appearance) {
        return ControlColours{{}, Theme::withOpacity(Theme::green, 0.6), Theme::green};
    };
    const Colours monitoring = [](Appearance) { return ControlColours::tinted(Theme::coral, 0.15, true); };
    const QString sync = QStringLiteral("Sync to camera");
    return {
        {"active pill", pillSize(CapsuleStyles::pill, QStringLiteral("camera.viewfinder"), sync),
         [sync](QPainter& p, const QRectF& r, Appearance a) {
             paintPill(p, r, CapsuleStyles::pill, QStringLiteral("camera.viewfinder"), sync, true, a);
         }},
        capsule("pill without a title", label("bell", {}), CapsuleStyles::pill, plain),
        capsule("compact pill", label("bell.badge", QStringLiteral("Alerts")), CapsuleStyles::compactPill, plain),
        capsule("pill with a long title", label("folder", kLong), CapsuleStyles::pill, plain),
        capsule("start button", {{}, Theme::coral, QStringLiteral("Stop"), {}}, CapsuleStyles::pill, plain),
        capsule("kind chip", label("", QStringLiteral("B-roll")), CapsuleStyles::kindChip, kind),
        capsule("word chip", label("", QStringLiteral("quota"), "xmark"), CapsuleStyles::wordChip, plain),
        capsule("used badge", label("", QStringLiteral("SELECTED")), CapsuleStyles::usedBadge, coral),
        capsule("scan badge", label("", QStringLiteral("SPEECH")), CapsuleStyles::scanBadge, scan),
        tile("mute tile", {QStringLiteral("M"), {}}, TileStyles::stripToggle, coral),
        tile("watch tile", {{}, QStringLiteral("eye.slash")}, TileStyles::stripToggle, idle),
        tile("headphones tile", {{}, QStringLiteral("headphones.circle.fill")}, TileStyles::stripHeadphones,
             monitoring),
        tile("compact tile", {{}, QStringLiteral("sparkles")}, TileStyles::compactRow, coral),
        {"kept marker chip",
         {200, 50},
         [kLong](QPainter& p, const QRectF& r, Appearance a) {
             paintMarkerChip(p, r, {kLong, QStringLiteral("⌘1"), Theme::amber, true, false}, a);
         }},
        {"recording marker chip",
         {200, 50},
         [](QPainter& p, const QRectF& r, Appearance a) {
             paintMarkerChip(p, r, {QStringLiteral("Interview"), {}, channelColor(a, 0), false, true}, a);
         }},
    };
}

struct Painted {
    int inside = 0;
    int outside = 0;
    // The painter's clip and pen are as they were before.
    bool restored = false;
};

// Paints into a transparent canvas with a margin round `rect`.
Painted paintedPixels(const Paint& paint, const QSizeF& size, qreal ratio)
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
        paint(painter, rect, Appearance::Dark);
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

    // A picture of every case at its natural size, light and dark, at twice the size, for a person
    // to look at. Runs only when PINDLE_SCREENSHOTS names a folder to write it to.
    void strip()
    {
        const QString folder = qEnvironmentVariable("PINDLE_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
        constexpr qreal kWidth = 760, kHalf = 200, kGap = 8;
        QImage image(QSize(kWidth, 2 * kHalf) * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        QPainter painter(&image);
        for (const Appearance appearance : {Appearance::Light, Appearance::Dark}) {
            const qreal top = appearance == Appearance::Light ? 0 : kHalf;
            painter.fillRect(QRectF(0, top, kWidth, kHalf), Theme::background.resolve(appearance));
            QPointF at(kGap, top + kGap);
            qreal rowHeight = 0;
            for (const Case& item : cases()) {
                if (at.x() + item.natural.width() > kWidth) {
                    at = QPointF(kGap, at.y() + rowHeight + kGap);
                    rowHeight = 0;
                }
                item.paint(painter, QRectF(at, item.natural), appearance);
                at.rx() += item.natural.width() + kGap;
                rowHeight = std::max(rowHeight, item.natural.height());
            }
        }
        painter.end();
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(image.save(QDir(folder).filePath(QStringLiteral("kit-strip.png"))));
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
