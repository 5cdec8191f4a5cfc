#include "ui/logging/MarkerChipButton.h"

#include "model/LogButtonKind.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/MarkerChip.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace {

// Antialiased edges reach half a pixel past the shape.
constexpr int kEdgeSlack = 1;
// The keyboard focus ring, drawn inside the chip's outline.
constexpr qreal kFocusRingWidth = 2;
constexpr qreal kFocusRingInset = 4;

MarkerChip markerChipOf(const LogButtonChip& chip, Appearance appearance)
{
    return MarkerChip{chip.button.name, chip.hotkey, LogButtonKind::color(chip.button.kind).resolve(appearance),
                      chip.kept, chip.recording};
}

} // namespace

namespace ButtonDrag {

std::unique_ptr<QMimeData> mimeData(const QString& kind)
{
    const QString payload = QLatin1String(kPrefix) + kind;
    auto data = std::make_unique<QMimeData>();
    data->setText(payload);
    data->setData(QString::fromLatin1(kMimeType), payload.toUtf8());
    return data;
}

std::optional<QString> kind(const QMimeData& data)
{
    QString payload;
    if (data.hasFormat(QString::fromLatin1(kMimeType)))
        payload = QString::fromUtf8(data.data(QString::fromLatin1(kMimeType)));
    else if (data.hasText())
        payload = data.text();
    const QLatin1StringView prefix(kPrefix);
    if (!payload.startsWith(prefix) || payload.size() == prefix.size())
        return std::nullopt;
    return payload.mid(prefix.size());
}

QPixmap preview(const LogButton& button, qreal devicePixelRatio, Appearance appearance)
{
    const qreal ratio = std::isfinite(devicePixelRatio) && devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSizeF size(kPreviewWidth, MarkerChipStyle{}.height);
    QPixmap pixmap((size * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const LogButtonChip dragged{button, QString(), true, false, false, QString()};
    paintMarkerChip(painter, QRectF(QPointF(), size), markerChipOf(dragged, appearance), appearance);
    return pixmap;
}

} // namespace ButtonDrag

MarkerChipButton::MarkerChipButton(FrameClock& frames, const QKeySequence& shortcut, QWidget* parent)
    : QAbstractButton(parent), m_popAnimation(frames.add([this](double seconds) { return stepPop(seconds); }))
{
    // A click must leave the keyboard where it was (the composer); Tab still reaches the chip.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, &MarkerChipButton::tapped);
    if (!shortcut.isEmpty()) {
        // Not the button's own shortcut: that one animates a click and reports it a moment later.
        m_shortcut = new QShortcut(shortcut, this);
        m_shortcut->setContext(Qt::WindowShortcut);
        connect(m_shortcut, &QShortcut::activated, this, &MarkerChipButton::tapped);
    }
}

QString MarkerChipButton::title() const
{
    return m_chip.recording ? QStringLiteral("Stop ") + m_chip.button.name : m_chip.button.name;
}

void MarkerChipButton::setChip(const LogButtonChip& chip)
{
    // The screen hands the whole bar over on every change of any chip.
    if (chip == m_chip)
        return;
    const bool wasPopped = m_chip.popped;
    m_chip = chip;
    setAccessibleName(title());
    // Tooltips guess at rich text; the help is shown as written.
    setToolTip(Qt::mightBeRichText(chip.help) ? Qt::convertFromPlainText(chip.help) : chip.help);
    if (chip.popped && !wasPopped) {
        // The pop itself is immediate; only the way back springs.
        m_popAnimation.stop();
        m_pop.setTarget(kPopScale);
        m_pop.snap();
    } else if (!chip.popped && wasPopped) {
        m_pop.setTarget(1.0);
        m_popAnimation.start();
    }
    update();
}

void MarkerChipButton::setCell(const QRect& cell)
{
    const auto room = [](int side) { return static_cast<int>(std::ceil(side * (kPopScale - 1) / 2)) + kEdgeSlack; };
    const int x = room(cell.width());
    const int y = room(cell.height());
    m_popRoom = QMargins(x, y, x, y);
    setGeometry(cell.marginsAdded(m_popRoom));
}

QRectF MarkerChipButton::chipRect() const
{
    return QRectF(rect().marginsRemoved(m_popRoom));
}

bool MarkerChipButton::stepPop(double seconds)
{
    m_pop.step(seconds);
    const bool settled = m_pop.isSettled();
    if (settled)
        m_pop.snap();
    update();
    return !settled;
}

void MarkerChipButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF chip = chipRect();
    const qreal scale = m_pop.value();
    if (scale != 1.0) {
        painter.translate(chip.center());
        painter.scale(scale, scale);
        painter.translate(-chip.center());
    }
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    paintMarkerChip(painter, chip, markerChipOf(m_chip, appearance), appearance);

    // Only for focus the keyboard brought: the first chip takes focus whenever the window opens.
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        const qreal inset = kFocusRingInset;
        const qreal radius = std::max<qreal>(MarkerChipStyle{}.cornerRadius - inset, 0);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::ink.resolve(appearance), kFocusRingWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(chip.adjusted(inset, inset, -inset, -inset), radius, radius);
    }
}

bool MarkerChipButton::hitButton(const QPoint& pos) const
{
    return chipRect().contains(pos);
}

void MarkerChipButton::mousePressEvent(QMouseEvent* event)
{
    m_pressAt.reset();
    if (event->button() == Qt::LeftButton && hitButton(event->position().toPoint()))
        m_pressAt = event->position().toPoint();
    QAbstractButton::mousePressEvent(event);
}

void MarkerChipButton::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (m_pressAt && (event->buttons() & Qt::LeftButton) &&
        (at - *m_pressAt).manhattanLength() >= QApplication::startDragDistance()) {
        const QPoint grabbed = *m_pressAt;
        m_pressAt.reset();
        // A drag is not a click: the release that ends it must not press the button.
        setDown(false);
        startDrag(grabbed);
        return;
    }
    QAbstractButton::mouseMoveEvent(event);
}

void MarkerChipButton::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressAt.reset();
    QAbstractButton::mouseReleaseEvent(event);
}

void MarkerChipButton::startDrag(QPoint grabbed)
{
    auto* drag = new QDrag(this);
    drag->setMimeData(ButtonDrag::mimeData(m_chip.button.kind).release());
    drag->setPixmap(ButtonDrag::preview(m_chip.button, devicePixelRatioF(), AppearanceNotifier::shared().appearance()));
    // The preview is narrower than most cells: keep the grabbed point at the same share of it.
    const QRectF chip = chipRect();
    const qreal across = chip.width() > 0 ? (grabbed.x() - chip.left()) / chip.width() : 0.5;
    const qreal height = MarkerChipStyle{}.height;
    drag->setHotSpot(QPoint(qRound(std::clamp<qreal>(across, 0, 1) * ButtonDrag::kPreviewWidth),
                            qRound(std::clamp<qreal>(grabbed.y() - chip.top(), 0, height))));
    drag->exec(Qt::CopyAction);
}
