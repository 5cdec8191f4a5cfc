#include "ui/logging/TranscriptRowDelegate.h"

#include "screens/TranscriptListModel.h"
#include "ui/theme/PainterState.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>

namespace {

using Role = TranscriptListModel::Role;

const QString kBellSymbol = QStringLiteral("bell.fill");
// Far more names than a shoot has speakers: past it the kept names start again.
constexpr qsizetype kMaximumKeptNames = 256;

QStaticText staticText(const QString& text, const QFont& font)
{
    QStaticText result(text);
    // Speaker names come from people and the service: never markup.
    result.setTextFormat(Qt::PlainText);
    result.prepare(QTransform(), font);
    return result;
}

// Roles whose text is laid out and kept per row; hover, selection and the jump only repaint.
constexpr std::array<int, 7> kLaidOutRoles = {Role::TimecodeRole, Role::SpeakerRole, Role::TextRole, Role::MarksRole,
                                              Role::UseRole,      Role::FlaggedRole, Qt::DisplayRole};

} // namespace

TranscriptRowDelegate::Face::Face(const TextStyle& style) : font(style.font()), metrics(font)
{
}

TranscriptRowDelegate::TranscriptRowDelegate(QObject* parent, const TranscriptRowStyle& style)
    : QStyledItemDelegate(parent), m_style(style), m_timecode(style.timecode), m_speaker(style.speaker),
      m_badge(style.badge), m_text(style.text), m_timecodeDigits(m_timecode.font),
      m_badgeText(staticText(QString::fromLatin1(kBadgeText), m_badge.font)),
      m_badgeSize(m_badge.metrics.horizontalAdvance(QString::fromLatin1(kBadgeText)) + 2 * style.badgeHorizontalPadding,
                  m_badge.metrics.height() + 2 * style.badgeVerticalPadding),
      m_bellSide(Symbols::side(style.bell))
{
    m_layouts.setMaxCost(std::max(1, style.keptLayouts));
}

TranscriptRowDelegate::~TranscriptRowDelegate() = default;

bool TranscriptRowDelegate::changesLayout(const QList<int>& roles)
{
    return roles.isEmpty() ||
           std::any_of(kLaidOutRoles.begin(), kLaidOutRoles.end(), [&](int role) { return roles.contains(role); });
}

qreal TranscriptRowDelegate::headerHeight(bool speaker, bool bell, bool badge) const
{
    qreal height = m_timecode.metrics.height();
    if (speaker)
        height = std::max(height, m_speaker.metrics.height());
    if (bell)
        height = std::max(height, m_bellSide);
    if (badge)
        height = std::max(height, m_badgeSize.height());
    return height;
}

TranscriptRowDelegate::Name TranscriptRowDelegate::speakerName(const QString& name, qreal room) const
{
    auto kept = m_names.constFind(name);
    if (kept == m_names.cend()) {
        if (m_names.size() >= kMaximumKeptNames)
            m_names.clear();
        kept = m_names.insert(name, Name{staticText(name, m_speaker.font), m_speaker.metrics.horizontalAdvance(name)});
    }
    if (kept->width <= room)
        return *kept;
    const QString cut = m_speaker.metrics.elidedText(name, Qt::ElideRight, room);
    return Name{staticText(cut, m_speaker.font), m_speaker.metrics.horizontalAdvance(cut)};
}

void TranscriptRowDelegate::layOut(RowLayout& layout, const QModelIndex& index) const
{
    const qreal contentWidth = std::max<qreal>(1, layout.width - 2 * m_style.horizontalPadding);
    const QString speaker = index.data(Role::SpeakerRole).toString();
    const bool flagged = index.data(Role::FlaggedRole).toBool();
    const bool used = index.data(Role::UseRole).toInt() != int(LineUse::State::Unused);

    qreal timecodeWidth = 0;
    layout.timecode = m_timecodeDigits.run(index.data(Role::TimecodeRole).toString(), &timecodeWidth);
    qreal x = timecodeWidth + m_style.headerSpacing;
    const qreal bellRoom = flagged ? m_bellSide + m_style.headerSpacing : 0;
    const qreal badgeRoom = used ? m_badgeSize.width() : 0;
    layout.speaker = Name();
    layout.speakerX = x;
    if (!speaker.isEmpty()) {
        // A long name gives way to the bell and the badge.
        const qreal room = std::max<qreal>(0, contentWidth - x - bellRoom - badgeRoom - m_style.headerSpacing);
        layout.speaker = speakerName(speaker, room);
        x += layout.speaker.width + m_style.headerSpacing;
    }
    layout.bellX = flagged ? x : -1;
    x += bellRoom;
    layout.badgeX = used ? x : -1;
    layout.headerHeight = headerHeight(!speaker.isEmpty(), flagged, used);

    // A line break in a line keeps its place, so the marks' positions still hold.
    QString text = index.data(Role::TextRole).toString();
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    layout.text.clearLayout();
    layout.text.setText(text);
    layout.text.setFont(m_text.font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.text.setTextOption(option);
    layout.text.setCacheEnabled(true);
    qreal height = 0;
    layout.text.beginLayout();
    for (QTextLine line = layout.text.createLine(); line.isValid(); line = layout.text.createLine()) {
        line.setLineWidth(contentWidth);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.text.endLayout();

    layout.marks.clear();
    const auto marks = index.data(Role::MarksRole).value<TranscriptListModel::Marks>();
    for (const auto& [start, length] : marks) {
        for (int i = 0; i < layout.text.lineCount(); ++i) {
            const QTextLine line = layout.text.lineAt(i);
            const qsizetype from = std::max<qsizetype>(start, line.textStart());
            const qsizetype to = std::min<qsizetype>(start + length, line.textStart() + line.textLength());
            if (from >= to)
                continue;
            const qreal left = line.cursorToX(int(from));
            const qreal right = line.cursorToX(int(to));
            layout.marks.append(QRectF(std::min(left, right), line.y(), std::abs(right - left), line.height()));
        }
    }
    layout.height = int(std::ceil(2 * m_style.verticalPadding + layout.headerHeight + m_style.textSpacing + height));
}

TranscriptRowDelegate::RowLayout& TranscriptRowDelegate::layoutOf(const QModelIndex& index, int width) const
{
    const QString id = index.data(Role::IdRole).toString();
    RowLayout* layout = m_layouts.object(id);
    if (!layout) {
        layout = new RowLayout;
        m_layouts.insert(id, layout);
    }
    if (layout->width != width) {
        layout->width = width;
        layOut(*layout, index);
    }
    return *layout;
}

std::optional<bool> TranscriptRowDelegate::drawsBadge(const QString& id) const
{
    const RowLayout* layout = m_layouts.object(id);
    return layout ? std::optional(layout->badgeX >= 0) : std::nullopt;
}

std::optional<double> TranscriptRowDelegate::badgeProgress(const QString& id) const
{
    const auto it = m_badgeProgress.constFind(id);
    return it != m_badgeProgress.cend() ? std::optional(*it) : std::nullopt;
}

int TranscriptRowDelegate::lineHeight(const QModelIndex& index, int width) const
{
    return layoutOf(index, width).height;
}

QSize TranscriptRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int width = option.rect.width();
    int height = lineHeight(index, width);
    if (m_composerHeight > 0 && index.data(Role::SelectedRole).toBool())
        height += int(std::ceil(m_style.composerSpacing)) + m_composerHeight;
    return {width, height};
}

int TranscriptRowDelegate::estimatedHeight(const QModelIndex& index, int width) const
{
    const qreal contentWidth = std::max<qreal>(1, width - 2 * m_style.horizontalPadding);
    const qsizetype letters = index.data(Role::TextRole).toString().size();
    const qreal perLine = std::max<qreal>(1, std::floor(contentWidth / m_text.metrics.averageCharWidth()));
    const qreal lines = std::max<qreal>(1, std::ceil(qreal(letters) / perLine));
    const bool speaker = !index.data(Role::SpeakerLabelRole).toString().isEmpty();
    return int(std::ceil(2 * m_style.verticalPadding + headerHeight(speaker, false, false) + m_style.textSpacing +
                         lines * m_text.metrics.height()));
}

QRect TranscriptRowDelegate::lineRect(const QModelIndex& index, const QRect& rect) const
{
    return {rect.left(), rect.top(), rect.width(), lineHeight(index, rect.width())};
}

QRect TranscriptRowDelegate::composerRect(const QModelIndex& index, const QRect& rect) const
{
    const int top = rect.top() + lineHeight(index, rect.width()) + int(std::ceil(m_style.composerSpacing));
    return {rect.left(), top, rect.width(), m_composerHeight};
}

const QPixmap& TranscriptRowDelegate::bellFor(qreal ratio) const
{
    if (m_bell.isNull() || m_bell.devicePixelRatio() != ratio)
        m_bell = Symbols::pixmap(kBellSymbol, m_style.bell, Theme::amber, ratio);
    return m_bell;
}

void TranscriptRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const RowLayout& layout = layoutOf(index, option.rect.width());
    const Appearance appearance = currentAppearance();
    PainterState state(*painter);
    painter->setRenderHint(QPainter::Antialiasing);

    const QRectF line(option.rect.left(), option.rect.top(), option.rect.width(), layout.height);
    QColor fill;
    if (index.data(Role::JumpTargetRole).toBool())
        fill = Theme::withOpacity(Theme::amber, m_style.jumpOpacity);
    else if (index.data(Role::SelectedRole).toBool())
        fill = Theme::withOpacity(Theme::coral, m_style.selectedOpacity);
    else if (index.data(Role::HoverRole).toBool())
        fill = Theme::surface.resolve(appearance);
    if (fill.isValid()) {
        QPainterPath background;
        background.addRoundedRect(line, m_style.cornerRadius, m_style.cornerRadius);
        painter->fillPath(background, fill);
    }

    const QPointF content = line.topLeft() + QPointF(m_style.horizontalPadding, m_style.verticalPadding);
    const qreal middle = content.y() + layout.headerHeight / 2;
    painter->setPen(Theme::muted.resolve(appearance));
    const qreal timecodeBaseline = middle - m_timecode.metrics.height() / 2 + m_timecode.metrics.ascent();
    painter->drawGlyphRun(QPointF(content.x(), timecodeBaseline), layout.timecode);

    if (!layout.speaker.text.text().isEmpty()) {
        const int channel = index.data(Role::ChannelRole).toInt();
        painter->setFont(m_speaker.font);
        painter->setPen(channel < 0 ? Theme::coral : channelColor(appearance, channel));
        painter->drawStaticText(QPointF(content.x() + layout.speakerX, middle - m_speaker.metrics.height() / 2),
                                layout.speaker.text);
    }
    if (layout.bellX >= 0)
        painter->drawPixmap(QPointF(content.x() + layout.bellX, middle - m_bellSide / 2),
                            bellFor(painter->device()->devicePixelRatioF()));
    if (layout.badgeX >= 0) {
        const QRectF capsule(QPointF(content.x() + layout.badgeX, middle - m_badgeSize.height() / 2), m_badgeSize);
        PainterState badge(*painter);
        if (const auto progress = m_badgeProgress.constFind(index.data(Role::IdRole).toString());
            progress != m_badgeProgress.cend()) {
            const qreal scale = m_style.badgeStartScale + (1 - m_style.badgeStartScale) * *progress;
            painter->setOpacity(painter->opacity() * std::clamp<qreal>(*progress, 0, 1));
            painter->translate(capsule.center());
            painter->scale(scale, scale);
            painter->translate(-capsule.center());
        }
        QPainterPath shape;
        shape.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
        painter->fillPath(shape, Theme::coral);
        painter->setFont(m_badge.font);
        painter->setPen(Qt::white);
        painter->drawStaticText(
            capsule.topLeft() + QPointF(m_style.badgeHorizontalPadding, m_style.badgeVerticalPadding), m_badgeText);
    }

    const QPointF textTop(content.x(), content.y() + layout.headerHeight + m_style.textSpacing);
    const QColor mark = Theme::withOpacity(Theme::coral, m_style.markOpacity);
    for (const QRectF& rect : layout.marks)
        painter->fillRect(rect.translated(textTop), mark);
    painter->setPen(Theme::ink.resolve(appearance));
    layout.text.draw(painter, textTop);
}
