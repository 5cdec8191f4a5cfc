#pragma once

#include "platform/Appearance.h"
#include "platform/Spring.h"
#include "screens/LoggingScreenModel.h"
#include "ui/theme/FrameClock.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QMargins>
#include <QPixmap>

#include <memory>
#include <optional>

class QMimeData;
class QShortcut;

// What a marker button carries when it is dragged onto a transcript line: the text
// "pindle-button:" + kind, both as plain text (other applications) and as our own type.
namespace ButtonDrag {

inline constexpr char kPrefix[] = "pindle-button:";
inline constexpr char kMimeType[] = "application/x-pindle-button";
// The preview under the pointer: the chip at this width, its usual height.
inline constexpr qreal kPreviewWidth = 150;

[[nodiscard]] std::unique_ptr<QMimeData> mimeData(const QString& kind);
// The kind a drop carries: our own type first, else plain text with the prefix. None for
// anything else, and for the prefix alone.
[[nodiscard]] std::optional<QString> kind(const QMimeData& data);
// The chip of `button` as dragged: no shortcut label, kept, neither popped nor recording.
[[nodiscard]] QPixmap preview(const LogButton& button, qreal devicePixelRatio, Appearance appearance);

} // namespace ButtonDrag

// One chip of the button bar: paints its marker chip, springs back from a pop on the shared frame
// clock, carries its position's shortcut, and starts a drag of its button. The widget is larger
// than the chip by the room a pop needs; beside a neighbour that room is narrower than the bar's
// spacing, so it never reaches the neighbouring chip. Only the chip itself takes clicks.
class MarkerChipButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr qreal kPopScale = 1.07;
    static constexpr Spring::Params kPopSpring{0.35, 0.55};

    // `shortcut` empty: none. The shortcut works anywhere in the chip's window while it is shown.
    MarkerChipButton(FrameClock& frames, const QKeySequence& shortcut, QWidget* parent = nullptr);

    void setChip(const LogButtonChip& chip);
    [[nodiscard]] const LogButtonChip& chip() const { return m_chip; }
    // The name, or "Stop " + name while a range is open: shown and read out.
    [[nodiscard]] QString title() const;
    // Null from the tenth chip on.
    [[nodiscard]] QShortcut* shortcut() const { return m_shortcut; }

    // Places the chip on `cell` of the parent; the widget takes the pop's room around it.
    void setCell(const QRect& cell);
    [[nodiscard]] QRect cell() const { return geometry().marginsRemoved(m_popRoom); }
    // The drawn scale about the chip's centre: 1 at rest.
    [[nodiscard]] qreal scale() const { return m_pop.value(); }

Q_SIGNALS:
    // A click or the shortcut.
    void tapped();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    [[nodiscard]] QRectF chipRect() const;
    bool stepPop(double seconds);
    void startDrag(QPoint hotSpot);

    LogButtonChip m_chip;
    QShortcut* m_shortcut = nullptr;
    Spring m_pop{kPopSpring, 1.0};
    FrameClock::Animation m_popAnimation;
    QMargins m_popRoom;
    // Where a left press began, until it becomes a click or a drag.
    std::optional<QPoint> m_pressAt;
};
