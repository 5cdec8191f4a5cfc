#include "ui/logging/TagBar.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"

#include <QAbstractButton>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>
#include <QWheelEvent>

#include <cmath>
#include <functional>

namespace {

const QString kAddHelp = QStringLiteral("Add a tag to the palette");

QSize ceilSize(const QSizeF& size)
{
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

// A plain button that rings itself in coral while the keyboard, not a click, has put focus on it.
class PlainButton : public QAbstractButton {
public:
    using QAbstractButton::QAbstractButton;

protected:
    [[nodiscard]] bool showsFocus() const { return hasFocus() && m_keyboardFocus; }

    void focusInEvent(QFocusEvent* event) override
    {
        m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
        QAbstractButton::focusInEvent(event);
    }

private:
    bool m_keyboardFocus = false;
};

// One tag on a capsule. The tag is drawn as it is: no "&" mnemonic, no markup.
class TagChip final : public PlainButton {
public:
    TagChip(const QString& tag, const TagBar::Style& style, QWidget* parent)
        : PlainButton(parent), m_label{QString(), QColor(), tag, QString()}, m_style(style),
          m_size(ceilSize(capsuleSize(m_label, style.chip)))
    {
        setObjectName(QStringLiteral("tagChip"));
        setAccessibleName(tag);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    [[nodiscard]] QString tag() const { return m_label.title; }
    [[nodiscard]] QSize sizeHint() const override { return m_size; }
    [[nodiscard]] QSize minimumSizeHint() const override { return m_size; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (isDown())
            painter.setOpacity(m_style.pressedOpacity);
        ControlColours colours = ControlColours::plain(currentAppearance());
        if (showsFocus())
            colours.outline = Theme::coral;
        paintCapsule(painter, QRectF(rect()), m_label, m_style.chip, colours);
    }

private:
    CapsuleLabel m_label;
    TagBar::Style m_style;
    QSize m_size;
};

// The "+": a bold plus on a surface-coloured rounded square.
class AddTagButton final : public PlainButton {
public:
    AddTagButton(const TagBar::Style& style, QWidget* parent)
        : PlainButton(parent), m_style(style),
          m_size(ceilSize(QSizeF(1, 1) * (Symbols::side(style.addSymbol) + 2 * style.addPadding)))
    {
        setObjectName(QStringLiteral("addTagButton"));
        setToolTip(kAddHelp);
        setAccessibleName(kAddHelp);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    [[nodiscard]] QSize sizeHint() const override { return m_size; }
    [[nodiscard]] QSize minimumSizeHint() const override { return m_size; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (isDown())
            painter.setOpacity(m_style.pressedOpacity);
        const Appearance appearance = currentAppearance();
        ControlColours colours = ControlColours::idle(appearance);
        colours.outline = showsFocus() ? Theme::coral : QColor();
        paintControlShape(painter, QRectF(rect()), m_style.addCornerRadius, 1, colours);
        Symbols::paint(painter, QRectF(rect()), QStringLiteral("plus"), m_style.addSymbol, colours.content);
    }

private:
    TagBar::Style m_style;
    QSize m_size;
};

// The new-tag popover: a popup window that tells its owner when it goes away.
class NewTagPopover final : public QWidget {
public:
    NewTagPopover(std::function<void()> hidden, QWidget* parent)
        : QWidget(parent, Qt::Popup), m_hidden(std::move(hidden))
    {
        setObjectName(QStringLiteral("newTagPopover"));
        setAccessibleName(QStringLiteral("New tag"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const ControlColours colours = ControlColours::plain(currentAppearance());
        painter.fillRect(rect(), colours.fill);
        painter.setPen(colours.outline);
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }

    void hideEvent(QHideEvent* event) override
    {
        QWidget::hideEvent(event);
        m_hidden();
    }

private:
    std::function<void()> m_hidden;
};

} // namespace

TagBar::TagBar(QWidget* parent)
    : QWidget(parent), m_scroll(new QScrollArea), m_strip(new QWidget), m_stripLayout(new QHBoxLayout(m_strip)),
      m_add(new AddTagButton(m_style, this)), m_popover(new NewTagPopover([this] { popoverHidden(); }, this)),
      m_field(new QLineEdit), m_submit(new QPushButton(QStringLiteral("Add")))
{
    m_stripLayout->setContentsMargins(0, m_style.chipsVerticalPadding, 0, m_style.chipsVerticalPadding);
    m_stripLayout->setSpacing(m_style.chipSpacing);
    m_stripLayout->setAlignment(Qt::AlignVCenter);
    m_stripLayout->addStretch(1);

    m_scroll->setObjectName(QStringLiteral("tagStrip"));
    m_scroll->setWidget(m_strip);
    // The scroll area fills its widget with the window colour; the bar lies on its owner's.
    m_strip->setAutoFillBackground(false);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->viewport()->installEventFilter(this);
    m_scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    const int chipHeight =
        ceilSize(capsuleSize({QString(), QColor(), QStringLiteral("Tag"), QString()}, m_style.chip)).height();
    m_scroll->setFixedHeight(chipHeight + 2 * m_style.chipsVerticalPadding);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(m_style.spacing);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(m_add, 0, Qt::AlignVCenter);
    connect(m_add, &QAbstractButton::clicked, this, &TagBar::addRequested);

    m_field->setObjectName(QStringLiteral("newTagField"));
    m_field->setPlaceholderText(QStringLiteral("New tag"));
    m_field->setAccessibleName(QStringLiteral("New tag"));
    m_field->setFixedWidth(m_style.newTagFieldWidth);
    m_submit->setAutoDefault(false);
    auto* popoverLayout = new QHBoxLayout(m_popover);
    const int pad = m_style.popoverPadding;
    popoverLayout->setContentsMargins(pad, pad, pad, pad);
    popoverLayout->setSpacing(m_style.popoverSpacing);
    popoverLayout->addWidget(m_field);
    popoverLayout->addWidget(m_submit);
    const auto submit = [this] { Q_EMIT newTagSubmitted(m_field->text()); };
    connect(m_field, &QLineEdit::textEdited, this, &TagBar::newTagEdited);
    connect(m_field, &QLineEdit::returnPressed, this, submit);
    connect(m_submit, &QPushButton::clicked, this, submit);

    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, [this] {
        update();
        m_popover->update();
    });
}

TagBar::~TagBar()
{
    // Going with the bar is not the user dismissing the popover.
    m_closingPopover = true;
    delete m_popover;
}

void TagBar::setTags(const QStringList& tags)
{
    if (tags == m_tags)
        return;
    m_tags = tags;
    qDeleteAll(m_chips);
    m_chips.clear();
    for (const QString& tag : tags) {
        auto* chip = new TagChip(tag, m_style, m_strip);
        connect(chip, &QAbstractButton::clicked, this, [this, tag] { Q_EMIT tagClicked(tag); });
        m_stripLayout->insertWidget(m_stripLayout->count() - 1, chip);
        m_chips.append(chip);
    }
    describeChips();
}

void TagBar::setTargetLabel(const QString& label)
{
    if (label == m_targetLabel)
        return;
    m_targetLabel = label;
    describeChips();
}

void TagBar::describeChips()
{
    for (QAbstractButton* chip : std::as_const(m_chips)) {
        const QString help =
            QStringLiteral("Tag the ") + m_targetLabel + QStringLiteral(" with ") + static_cast<TagChip*>(chip)->tag();
        // Tags are the user's text: shown as typed, never as markup.
        chip->setToolTip(Qt::convertFromPlainText(help, Qt::WhiteSpaceNormal));
        chip->setAccessibleDescription(help);
    }
}

bool TagBar::isAddPopoverOpen() const
{
    return m_popover->isVisible();
}

void TagBar::setAddPopoverOpen(bool open, const QString& text)
{
    if (!open) {
        if (m_popover->isVisible()) {
            m_closingPopover = true;
            m_popover->hide();
            m_closingPopover = false;
        }
        return;
    }
    if (m_field->text() != text)
        m_field->setText(text);
    if (m_popover->isVisible())
        return;
    placePopover();
    m_popover->show();
    m_field->setFocus(Qt::PopupFocusReason);
}

void TagBar::placePopover()
{
    m_popover->adjustSize();
    const QSize size = m_popover->size();
    const QRect anchor(m_add->mapToGlobal(QPoint(0, 0)), m_add->size());
    // Under the "+", its right edge on the button's; above it when the screen ends first.
    QPoint at(anchor.right() + 1 - size.width(), anchor.bottom() + 1 + m_style.popoverGap);
    const QScreen* screen = m_add->screen() ? m_add->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect room = screen->availableGeometry();
        if (at.y() + size.height() > room.bottom())
            at.setY(anchor.top() - m_style.popoverGap - size.height());
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - size.width())));
    }
    m_popover->move(at);
}

void TagBar::popoverHidden()
{
    if (!m_closingPopover)
        Q_EMIT addPopoverDismissed(m_field->text());
}

bool TagBar::eventFilter(QObject* watched, QEvent* event)
{
    // The strip has no scroll bars; a mouse wheel scrolls it sideways.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->angleDelta().x() == 0 && wheel->angleDelta().y() != 0) {
            QCoreApplication::sendEvent(m_scroll->horizontalScrollBar(), event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
