#include "ui/logging/ComposerView.h"

#include "model/LogButtonKind.h"
#include "ui/theme/AccessibleParts.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

namespace {

QSize ceilSize(const QSizeF& size)
{
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

bool showsKeyboardFocus(const QWidget* widget)
{
    return widget->hasFocus() && widget->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

// Plain Return or keypad Enter; Ctrl+Return belongs to the window (the newest line).
bool isSubmit(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers extra = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && extra == Qt::NoModifier;
}

bool isCancel(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier;
}

} // namespace

// The note field's rounded surface with its coral outline; the borderless line edit sits in it.
class ComposerView::NoteBox final : public QWidget {
public:
    NoteBox(const Style& style, QLineEdit* field, QWidget* parent) : QWidget(parent), m_style(style)
    {
        field->setParent(this);
        field->setFrame(false);
        field->setAttribute(Qt::WA_MacShowFocusRect, false);
        setFocusProxy(field);
        setFixedHeight(style.controlHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(style.fieldPadding, 0, style.fieldPadding, 0);
        layout->addWidget(field);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const ControlColours colours{Theme::surface.current(), Theme::coral, QColor()};
        paintControlShape(painter, QRectF(rect()), m_style.cornerRadius, m_style.outlineWidth, colours);
    }

private:
    Style m_style;
};

// "Log ⏎": the title in white on a coral rounded rectangle.
class ComposerView::SubmitButton final : public QAbstractButton {
public:
    SubmitButton(const Style& style, QWidget* parent) : QAbstractButton(parent), m_style(style)
    {
        setText(kLogTitle);
        setAccessibleName(QStringLiteral("Log"));
        setToolTip(QStringLiteral("Log this line (Enter)"));
        setFont(style.logTitle.font());
        // A click must leave the keyboard in the note field; Tab still reaches the button.
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        setFixedSize(fontMetrics().horizontalAdvance(kLogTitle) + 2 * style.logPadding, style.controlHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds(rect());
        // Pressing dims only the fill.
        const QColor fill = isDown() ? Theme::withOpacity(Theme::coral, m_style.pressedOpacity) : Theme::coral;
        paintControlShape(painter, bounds, m_style.cornerRadius, 0, {fill, QColor(), QColor()});
        if (showsKeyboardFocus(this)) {
            const qreal inset = m_style.focusRingInset;
            const ControlColours ring{QColor(), Qt::white, QColor()};
            paintControlShape(painter, bounds.adjusted(inset, inset, -inset, -inset), m_style.cornerRadius - inset,
                              m_style.focusRingWidth, ring);
        }
        painter.setPen(Qt::white);
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    }

private:
    Style m_style;
};

// One marker kind on a capsule: filled in the kind's colour while it is the composer's kind.
// It reads as checked to assistive technology; only the owner changes that, never a click.
class ComposerView::KindChip final : public QAbstractButton {
public:
    KindChip(const ::LogButton& button, const Style& style, QWidget* parent)
        : QAbstractButton(parent), m_kind(button.kind), m_label{QString(), QColor(), button.name, QString()},
          m_style(style), m_size(ceilSize(capsuleSize(m_label, style.chip)))
    {
        AccessibleParts::ownerTicked(this);
        setAccessibleName(button.name);
        setCheckable(true);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        setFixedSize(m_size);
    }

    [[nodiscard]] const QString& kind() const { return m_kind; }
    [[nodiscard]] QSize sizeHint() const override { return m_size; }

protected:
    void nextCheckState() override {}

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (isDown())
            painter.setOpacity(m_style.pressedOpacity);
        const Appearance appearance = AppearanceNotifier::shared().appearance();
        ControlColours colours = ControlColours::plain(appearance);
        if (isChecked())
            colours = ControlColours::filled(LogButtonKind::color(m_kind).resolve(appearance),
                                             takesDarkTitle(m_kind) ? Theme::darkInk : QColor(Qt::white));
        if (showsKeyboardFocus(this))
            colours.outline = isChecked() ? Theme::ink.resolve(appearance) : Theme::coral;
        paintCapsule(painter, QRectF(rect()), m_label, m_style.chip, colours);
    }

private:
    QString m_kind;
    CapsuleLabel m_label;
    Style m_style;
    QSize m_size;
};

// The chips in a row, wrapping onto another row where the width runs out.
class ComposerView::ChipRow final : public QWidget {
public:
    ChipRow(int spacing, QWidget* parent) : QWidget(parent), m_spacing(spacing)
    {
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    void setChips(const QList<QAbstractButton*>& chips)
    {
        m_chips = chips;
        setVisible(!chips.isEmpty());
        updateGeometry();
        place(width(), true);
    }

    [[nodiscard]] bool hasHeightForWidth() const override { return true; }
    [[nodiscard]] int heightForWidth(int width) const override { return place(width, false); }
    [[nodiscard]] QSize sizeHint() const override
    {
        int width = 0;
        for (const QAbstractButton* chip : m_chips)
            width += chip->sizeHint().width() + (width > 0 ? m_spacing : 0);
        return {width, place(width, false)};
    }
    // One row: the height comes from heightForWidth, never from the narrowest width.
    [[nodiscard]] QSize minimumSizeHint() const override
    {
        int widest = 0;
        for (const QAbstractButton* chip : m_chips)
            widest = std::max(widest, chip->sizeHint().width());
        return {widest, place(QWIDGETSIZE_MAX, false)};
    }

protected:
    void resizeEvent(QResizeEvent*) override { place(width(), true); }

private:
    // The height the chips take at `width`; with `move`, they go there.
    int place(int width, bool move) const
    {
        int x = 0;
        int y = 0;
        int rowHeight = 0;
        for (QAbstractButton* chip : m_chips) {
            const QSize size = chip->sizeHint();
            if (x > 0 && x + size.width() > width) {
                x = 0;
                y += rowHeight + m_spacing;
                rowHeight = 0;
            }
            if (move)
                chip->setGeometry(x, y, size.width(), size.height());
            x += size.width() + m_spacing;
            rowHeight = std::max(rowHeight, size.height());
        }
        return y + rowHeight;
    }

    int m_spacing;
    QList<QAbstractButton*> m_chips;
};

ComposerView::ComposerView(QWidget* parent) : QWidget(parent), m_field(new QLineEdit)
{
    m_field->setFont(m_style.field.font());
    m_field->setPlaceholderText(kPlaceholder);
    m_field->setAccessibleName(kPlaceholder);
    m_field->installEventFilter(this);
    // Typed, or written by an assistive tool (which is no edit to Qt).
    connect(m_field, &QLineEdit::textChanged, this, &ComposerView::noteEdited);

    auto* note = new NoteBox(m_style, m_field, this);
    m_log = new SubmitButton(m_style, this);
    connect(m_log, &QAbstractButton::clicked, this, &ComposerView::commitRequested);
    auto* noteRow = new QHBoxLayout;
    noteRow->setSpacing(m_style.noteSpacing);
    noteRow->addWidget(note, 1, Qt::AlignVCenter);
    noteRow->addWidget(m_log, 0, Qt::AlignVCenter);

    m_chipRow = new ChipRow(m_style.chipSpacing, this);
    m_chipRow->setVisible(false);

    m_hint = new QLabel(this);
    m_hint->setTextFormat(Qt::PlainText);
    m_hint->setWordWrap(true);
    m_hint->setFont(m_style.hint.font());
    m_hint->setText(kHint);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(m_style.leadingPadding, 0, 0, m_style.bottomPadding);
    layout->setSpacing(m_style.rowSpacing);
    layout->addLayout(noteRow);
    layout->addWidget(m_chipRow);
    layout->addWidget(m_hint);

    setFocusProxy(m_field);
    restyle();
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &ComposerView::restyle);
}

QSize ComposerView::minimumSizeHint() const
{
    // The wrapped hint and chips would otherwise ask for their height at the narrowest width,
    // and that would become the window's minimum.
    return {QWidget::minimumSizeHint().width(), heightForWidth(QWIDGETSIZE_MAX)};
}

bool ComposerView::takesDarkTitle(const QString& kind)
{
    return kind == u"note" || kind == u"cutaway" || kind == u"proof_point";
}

void ComposerView::setContent(const Content& content)
{
    const Content previous = std::exchange(m_content, content);
    if (m_field->text() != content.note) {
        // The owner's own note, not an edit to hand back.
        const QSignalBlocker quiet(m_field);
        m_field->setText(content.note);
    }
    if (content.chips != previous.chips) {
        rebuildChips();
    } else if (content.kind != previous.kind) {
        for (QAbstractButton* chip : std::as_const(m_chips))
            chip->setChecked(static_cast<KindChip*>(chip)->kind() == content.kind);
    }
    if (content.focused && (!previous.focused || content.kind != previous.kind))
        takeKeyboard();
}

void ComposerView::rebuildChips()
{
    // Later, not now: the buttons may change from inside a chip's own click.
    for (QAbstractButton* chip : std::as_const(m_chips)) {
        chip->hide();
        chip->deleteLater();
    }
    m_chips.clear();
    for (const ::LogButton& button : std::as_const(m_content.chips)) {
        auto* chip = new KindChip(button, m_style, m_chipRow);
        chip->setChecked(button.kind == m_content.kind);
        connect(chip, &QAbstractButton::clicked, this, [this, kind = button.kind] { Q_EMIT kindPicked(kind); });
        chip->show();
        m_chips.append(chip);
    }
    m_chipRow->setChips(m_chips);
}

void ComposerView::takeKeyboard()
{
    // A hidden field cannot take it yet: showEvent does once it is shown.
    if (isVisible())
        m_field->setFocus(Qt::OtherFocusReason);
}

void ComposerView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_content.focused)
        m_field->setFocus(Qt::OtherFocusReason);
}

void ComposerView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Sent before Qt moves the keyboard on from a hidden widget: the owner's choice comes first.
    if (isAncestorOf(QApplication::focusWidget()))
        Q_EMIT keyboardLeaving();
}

bool ComposerView::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == m_field && (type == QEvent::KeyPress || type == QEvent::ShortcutOverride)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isSubmit(key) || isCancel(key)) {
            // Claimed at the override too: a window's Esc or Return shortcut must not take it first.
            event->accept();
            if (type == QEvent::KeyPress) {
                if (isSubmit(key))
                    Q_EMIT commitRequested();
                else
                    Q_EMIT cancelRequested();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ComposerView::restyle()
{
    QPalette palette = m_field->palette();
    // The note box paints the surface; the line edit only draws its text over it.
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Theme::ink.current());
    palette.setColor(QPalette::PlaceholderText, Theme::muted.current());
    palette.setColor(QPalette::Highlight, Theme::coral);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    m_field->setPalette(palette);
    setPaletteColour(m_hint, QPalette::WindowText, Theme::muted.current());
    update();
}
