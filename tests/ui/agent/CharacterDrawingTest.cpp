#include "common/TestMain.h"

#include "ui/agent/CharacterPainter.h"
#include "ui/agent/CharacterShape.h"
#include "ui/agent/PindleCharacterView.h"

#include <QImage>
#include <QPainter>

#include <cmath>

using State = PindleCharacter::State;

namespace {

constexpr double kPanelScale = 92.0 / 432;
const QColor kCoral(255, 92, 77);
const QColor kCream(255, 246, 230);
const QColor kPaleCoral(255, 226, 223);

struct Picture {
    QImage image;
    QPainterPath body;
    [[nodiscard]] QColor at(QPointF p) const { return image.pixelColor((p * image.devicePixelRatio()).toPoint()); }
};

// One frame of `s` fitted into `view` on a transparent canvas of `canvas` points.
Picture paint(State& s, QSize canvas, QRectF view, bool dark = false, double ratio = 1)
{
    CharacterShape::Placement placement;
    CharacterShape::place(s, placement, PindleCharacterView::kPanelStage, view, QSizeF(canvas));
    QImage image(canvas * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    CharacterPainter painter;
    QPainter p(&image);
    painter.draw(p, s, {QRectF(QPointF(), QSizeF(canvas)), view, std::nullopt, dark});
    p.end();
    return {image, painter.bodyPath()};
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3 &&
           std::abs(a.blue() - b.blue()) <= 3 && std::abs(a.alpha() - b.alpha()) <= 3;
}

const char* describe(QColor c)
{
    static QByteArray text;
    text = QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha()).toLatin1();
    return text.constData();
}

} // namespace

class CharacterDrawingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The outline runs evenly spaced through the drawing's points: the ends of each straight
    // edge, the bends and the rounded tip.
    void outlineFollowsTheShield_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QPointF>("point");
        const QList<std::pair<int, QPointF>> points{
            {0, {47.09, 0}},         {30, {164.77, 0}},       {31, {168.69, 0.07}},    {47, {211.8, 35.73}},
            {48, {211.91, 39.65}},   {69, {211.91, 122.03}},  {70, {211.29, 125.89}},  {71, {209.58, 129.4}},
            {72, {206.98, 132.32}},  {102, {116.76, 207.88}}, {103, {113.54, 210.09}}, {104, {109.87, 211.45}},
            {105, {105.98, 211.91}}, {106, {102.1, 211.46}},  {107, {98.42, 210.11}},  {108, {95.19, 207.91}},
            {138, {4.98, 132.35}},   {139, {2.36, 129.45}},   {140, {0.64, 125.94}},   {141, {0, 122.08}},
            {162, {0, 39.71}},       {163, {0.11, 35.79}},    {179, {43.17, 0.07}}};
        for (const auto& [index, point] : points)
            QTest::addRow("%d", index) << index << point;
    }
    void outlineFollowsTheShield()
    {
        QFETCH(int, index);
        QFETCH(QPointF, point);
        const CharacterShape::Outline& outline = CharacterShape::outline();
        const auto i = std::size_t(index);
        QVERIFY(QLineF(outline[i], point).length() < 0.08);
        const double step = QLineF(outline[i], outline[(i + 1) % outline.size()]).length();
        QVERIFY(step > 3.85 && step < 3.93);
    }

    // At rest the outline maps to itself. Squash keeps the tip on the ground and bottoms out at a
    // height factor of 0.4; lean shears the top and leaves the tip; a dent pushes in where the
    // poke landed and nowhere opposite.
    void deformation()
    {
        State s;
        CharacterShape::Outline points;
        CharacterShape::bodyPoints(s, points);
        for (std::size_t i = 0; i < points.size(); ++i)
            QVERIFY(QLineF(points[i], CharacterShape::outline()[i]).length() < 1e-9);

        s.squash.x = -0.6;
        const QPointF floor = CharacterShape::deform(s, {0, 0});
        QVERIFY(std::abs(floor.y() - 212 * 0.6) < 1e-9);
        s.squash.x = -5;
        QCOMPARE(CharacterShape::deform(s, {0, 0}), floor);
        QVERIFY(std::abs(CharacterShape::deform(s, {106, 212}).y() - 212) < 1e-9);

        State leaning;
        leaning.lean.x = 10;
        QVERIFY(std::abs(CharacterShape::deform(leaning, {106, 0}).x() - 116) < 1e-9);
        QVERIFY(std::abs(CharacterShape::deform(leaning, {106, 212}).x() - 106) < 1e-9);

        State dented;
        dented.dent.x = 1;
        QVERIFY(CharacterShape::deform(dented, {211.91, 105}).x() < 211.91 - 5);
        QVERIFY(std::abs(CharacterShape::deform(dented, {0, 105}).x()) < 0.01);
    }

    // Lean shears a point across by lean × jelly × h², h being how high it sits after squash
    // (0 at the tip, 1 at the top at rest, at most 1.2): a point halfway up moves a quarter as
    // far as the top.
    void leanGrowsWithHeightSquared_data()
    {
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<double>("squash");
        QTest::addColumn<double>("jelly");
        QTest::addColumn<double>("x");
        QTest::newRow("top") << QPointF(106, 0) << 0.0 << 1.0 << 116.0;
        QTest::newRow("halfway up") << QPointF(106, 106) << 0.0 << 1.0 << 108.5;
        QTest::newRow("a quarter up") << QPointF(106, 159) << 0.0 << 1.0 << 106.625;
        QTest::newRow("the tip") << QPointF(106, 212) << 0.0 << 1.0 << 106.0;
        QTest::newRow("halfway up, jelly 2") << QPointF(106, 106) << 0.0 << 2.0 << 111.0;
        QTest::newRow("stretched top: h 1.2") << QPointF(106, 0) << 0.2 << 1.0 << 120.4;
        QTest::newRow("stretched further: h stays 1.2") << QPointF(106, 0) << 0.5 << 1.0 << 120.4;
        QTest::newRow("squashed top: h 0.6") << QPointF(106, 0) << -0.4 << 1.0 << 109.6;
    }
    void leanGrowsWithHeightSquared()
    {
        QFETCH(QPointF, point);
        QFETCH(double, squash);
        QFETCH(double, jelly);
        QFETCH(double, x);
        State s;
        s.lean.x = 10;
        s.squash.x = squash;
        s.jelly = jelly;
        const QPointF moved = CharacterShape::deform(s, point);
        QVERIFY2(std::abs(moved.x() - x) < 1e-9, qPrintable(QString::number(moved.x(), 'g', 12)));
    }

    // Neutral eyes are loops 30 units tall, 26.5 units either side of the middle; an eye no wider
    // than 0.004 is an open stroke; a blink closes it to 8 % and widens it by 16 %. A bend that
    // cancels the stroke's built-in curvature must not divide by zero.
    void eyeStrokes_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("blink");
        QTest::addColumn<double>("bend");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("across");
        QTest::newRow("neutral") << 0.03 << 0.0 << 0.0 << true << 0.28 * 106 << 0.06 * 106;
        QTest::newRow("0.0041: loop") << 0.0041 << 0.0 << 0.0 << true << 0.28 * 106 << 0.0082 * 106;
        QTest::newRow("0.004: open") << 0.004 << 0.0 << 0.0 << false << 0.28 * 106 << 0.0;
        QTest::newRow("blinked") << 0.03 << 1.0 << 0.0 << true << 0.28 * 106 * 0.08 << 0.06 * 106 * 1.16;
        QTest::newRow("lid overshooting") << 0.03 << 3.0 << 0.0 << true << 0.28 * 106 * 0.08 << 0.06 * 106 * 1.16;
        QTest::newRow("straight bend") << 0.0 << 0.0 << -0.0001 << false << 0.28 * 106 << 0.0;
    }
    void eyeStrokes()
    {
        QFETCH(double, width);
        QFETCH(double, blink);
        QFETCH(double, bend);
        QFETCH(bool, closed);
        QFETCH(double, height);
        QFETCH(double, across);
        for (const auto side : {CharacterShape::Side::Left, CharacterShape::Side::Right}) {
            State s;
            s.eyeL.width.x = s.eyeR.width.x = width;
            s.eyeL.bend.x = s.eyeR.bend.x = bend;
            s.blinkL.x = s.blinkR.x = blink;
            CharacterShape::EyeStroke stroke;
            CharacterShape::eyePoints(s, side, stroke);
            QCOMPARE(stroke.closed, closed);
            QCOMPARE(stroke.count, closed ? 40u : 41u);
            QPolygonF polygon(stroke.span().begin(), stroke.span().end());
            const QRectF bounds = polygon.boundingRect();
            QVERIFY(std::isfinite(bounds.width()) && std::isfinite(bounds.height()));
            QVERIFY(std::abs(bounds.center().x() - (side == CharacterShape::Side::Left ? 79.5 : 132.5)) < 0.01);
            QVERIFY(std::abs(bounds.center().y() - 90) < 0.01);
            QVERIFY(std::abs(bounds.height() - height) < 0.05);
            QVERIFY(std::abs(bounds.width() - across) < 0.05);
        }
    }

    // At the panel's size on a high-density screen the coral body and cream eyes (3.08 points
    // wide) sit where the fit puts them, and nothing is painted outside the body's bounds. An
    // absent character paints nothing and leaves nothing to press.
    void panelFrame()
    {
        State s;
        const Picture picture = paint(s, {92, 92}, {0, 0, 92, 92}, false, 2);
        auto at = [](double x, double y) { return QPointF(x + 110, y + 70) * kPanelScale; };
        const QRectF bounds = picture.body.boundingRect();
        QVERIFY(QRectF(0, 0, 92, 92).contains(bounds));
        QVERIFY(std::abs(bounds.left() - at(0, 0).x()) < 0.3 && std::abs(bounds.bottom() - at(0, 212).y()) < 0.3);
        const QRect outside = bounds.adjusted(-1, -1, 1, 1).toAlignedRect();
        for (int y = 0; y < 184; ++y) {
            for (int x = 0; x < 184; ++x)
                QVERIFY(outside.contains(x / 2, y / 2) || picture.image.pixelColor(x, y).alpha() == 0);
        }
        QVERIFY2(near(picture.at(at(106, 150)), kCoral), describe(picture.at(at(106, 150))));
        QVERIFY2(near(picture.at(at(79.5, 90)), kCream), describe(picture.at(at(79.5, 90))));
        QVERIFY(near(picture.at(at(132.5, 90)), kCream));
        QVERIFY(near(picture.at(at(106, 90)), kCoral));
        QVERIFY(std::abs(CharacterPainter::eyeLineWidth(s, CharacterPainter::eyeWeight({}, kPanelScale)) - 3.08) <
                1e-9);

        s.presence = 0;
        const Picture absent = paint(s, {92, 92}, {0, 0, 92, 92});
        QVERIFY(absent.body.isEmpty());
        QImage clear(92, 92, QImage::Format_ARGB32_Premultiplied);
        clear.fill(Qt::transparent);
        QCOMPARE(absent.image, clear);
    }

    // The thought bubble at scale 1 over 128 points of room above the view: anchor A = (292,
    // 214), cloud centred at A + (84, -82). The trail shows first, the cloud from 0.28, pale
    // coral in the light and cream in the dark; with reduced motion the dots rest 8 above the
    // cloud's middle. In the panel (scale 0.3 for the bubble) only the trail and the cloud's
    // lower edge fall inside the view.
    void thoughtBubble_data()
    {
        QTest::addColumn<double>("bubble");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("trail");
        QTest::addColumn<bool>("cloud");
        QTest::newRow("0.01: none") << 0.01 << false << false << false;
        QTest::newRow("trail only") << 0.2 << false << true << false;
        QTest::newRow("light") << 1.0 << false << true << true;
        QTest::newRow("dark") << 1.0 << true << true << true;
        QTest::newRow("overshooting") << 1.3 << false << true << true;
    }
    void thoughtBubble()
    {
        QFETCH(double, bubble);
        QFETCH(bool, dark);
        QFETCH(bool, trail);
        QFETCH(bool, cloud);
        State s;
        s.reduceMotion = true;
        s.bubble.x = bubble;
        const Picture picture = paint(s, {432, 560}, {0, 128, 432, 432}, dark);
        const QPointF anchor(292, 214);
        const QPointF centre = anchor + QPointF(84, -82);
        QCOMPARE(picture.at(anchor + QPointF(14, -12)).alpha() > 0, trail);
        const QColor fill = dark ? kCream : kPaleCoral;
        const double m = std::min(bubble, 1.15);
        QVERIFY2(cloud ? near(picture.at(centre + QPointF(-36, 16)), fill) : picture.at(centre).alpha() == 0,
                 describe(picture.at(centre + QPointF(-36, 16))));
        if (cloud) {
            for (int i = -1; i <= 1; ++i)
                QVERIFY(near(picture.at(centre + QPointF(26 * i * m, -8 * m)), kCoral));
            QVERIFY(near(picture.at(centre + QPointF(0, -20 * m)), fill));
        }

        const Picture panel = paint(s, {92, 92}, {0, 0, 92, 92}, dark);
        const QPointF panelAnchor = QPointF(292, 86) * kPanelScale;
        QCOMPARE(panel.at(panelAnchor + 0.3 * QPointF(14, -12)).alpha() > 0, trail);
        const QPointF edge(panelAnchor.x() + 0.3 * 84, 1);
        QVERIFY2(cloud ? near(panel.at(edge), fill) : panel.at(edge).alpha() == 0, describe(panel.at(edge)));
    }

    // The cloud grows from a bubble of 0.28 and is whole 0.6 later (0.88), by G = (b - 0.28) /
    // 0.6; above 1 the overshoot enlarges it up to 1.15. Measured at scale 1 on the line through
    // its leftmost puff, (-48, 4) × G of radius 22 × G, whose left edge lies 70 × G left of the
    // cloud's centre.
    void cloudGrowsFrom028_data()
    {
        QTest::addColumn<double>("bubble");
        QTest::addColumn<double>("growth"); // 0: no cloud
        QTest::newRow("0.28: none yet") << 0.28 << 0.0;
        QTest::newRow("0.34") << 0.34 << 0.1;
        QTest::newRow("0.58") << 0.58 << 0.5;
        QTest::newRow("0.88: whole") << 0.88 << 1.0;
        QTest::newRow("0.95: still whole") << 0.95 << 1.0;
        QTest::newRow("1.1: overshooting") << 1.1 << 1.1;
        QTest::newRow("1.3: at most 1.15") << 1.3 << 1.15;
    }
    void cloudGrowsFrom028()
    {
        QFETCH(double, bubble);
        QFETCH(double, growth);
        constexpr double kRatio = 4;
        State s;
        s.reduceMotion = true;
        s.bubble.x = bubble;
        const Picture picture = paint(s, {432, 560}, {0, 128, 432, 432}, false, kRatio);
        const QPointF centre = QPointF(292, 214) + QPointF(84, -82);
        const int y = int(std::lround((centre.y() + 4 * std::max(growth, 0.05)) * kRatio));
        int left = -1;
        for (int x = int((centre.x() - 100) * kRatio); x <= int(centre.x() * kRatio); ++x)
            if (picture.image.pixelColor(x, y).alpha() > 0) {
                left = x;
                break;
            }
        if (growth == 0) {
            QCOMPARE(left, -1);
            QCOMPARE(picture.at(centre).alpha(), 0);
            return;
        }
        QVERIFY(left >= 0);
        const double reach = centre.x() - left / kRatio;
        QVERIFY2(std::abs(reach - 70 * growth) <= 0.5,
                 qPrintable(QStringLiteral("reaches %1, expected %2").arg(reach).arg(70 * growth)));
    }
};

PINDLE_TEST(CharacterDrawingTest)

#include "CharacterDrawingTest.moc"
