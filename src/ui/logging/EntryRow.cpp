#include "ui/logging/EntryRow.h"

#include "export/MarkerBadge.h"
#include "screens/LogEntryListModel.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/PainterState.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolTip>

#include <cmath>

namespace {

using Role = LogEntryListModel::Role;

const QString kNoteFieldName = QStringLiteral("noteField");
const QString kNotePlaceholder = QStringLiteral("Note");
const QString kAddNoteTitle = QStringLiteral("+ Note");
const QString kEllipsis = QStringLiteral("…");
constexpr qsizetype kMaximumCachedWords = 50000;
// Nearer full size than this a growing row is drawn directly: the difference does not show.
constexpr qreal kFullScale = 0.995;

QStaticText staticText(const QString& text)
{
    QStaticText result(text);
    // User text is never markup.
    result.setTextFormat(Qt::PlainText);
    return result;
}

// One line cut with an ellipsis to `width`; line breaks in it read as spaces.
QStaticText singleLine(QString text, const QFontMetricsF& metrics, qreal width)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return staticText(metrics.horizontalAdvance(text) <= width ? text
                                                               : metrics.elidedText(text, Qt::ElideRight, width));
}

// Text whose lines break at spaces only: no line breaks or tabs of its own, and in scripts that
// put spaces between words (CJK, Thai and the right-to-left scripts need the full line breaker).
bool breaksAtSpaces(QStringView text)
{
    constexpr char16_t kFirstComplexScript = 0x0590;
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() == u' ' || (c.unicode() >= 0x20 && c.unicode() < kFirstComplexScript && !c.isSpace());
    });
}

QString trimmedLine(QString line)
{
    while (!line.isEmpty() && (line.back() == QChar::LineSeparator || line.back().isSpace()))
        line.chop(1);
    return line;
}

// Roles whose text is laid out and kept per row; the others are read when painting.
constexpr std::array<int, 7> kLaidOutRoles = {Role::BadgeRole,    Role::TimecodeRole, Role::SpeakerRole,
                                              Role::SaidTextRole, Role::NoteRole,     Role::EditingNoteRole,
                                              Qt::DisplayRole};

bool changesLaidOutText(const QList<int>& roles)
{
    return roles.isEmpty() ||
           std::any_of(kLaidOutRoles.begin(), kLaidOutRoles.end(), [&](int role) { return roles.contains(role); });
}

QUuid idOf(const QModelIndex& index)
{
    return index.data(Role::IdRole).toUuid();
}

bool isNoteField(QObject* object)
{
    return qobject_cast<QPlainTextEdit*>(object) && object->objectName() == kNoteFieldName;
}

// `over` laid on `under` at `amount`, as colours with their alpha blend: the mix of the two
// premultiplied, so a colour fading to none keeps its hue.
QColor blend(const QColor& under, const QColor& over, qreal amount)
{
    const auto premultiplied = [](const QColor& c) {
        return std::array<qreal, 4>{c.redF() * c.alphaF(), c.greenF() * c.alphaF(), c.blueF() * c.alphaF(), c.alphaF()};
    };
    const std::array<qreal, 4> a = under.isValid() ? premultiplied(under) : std::array<qreal, 4>{};
    const std::array<qreal, 4> b = premultiplied(over);
    std::array<qreal, 4> mixed{};
    for (size_t i = 0; i < mixed.size(); ++i)
        mixed[i] = a[i] + (b[i] - a[i]) * amount;
    if (mixed[3] <= 0)
        return {};
    return QColor::fromRgbF(float(mixed[0] / mixed[3]), float(mixed[1] / mixed[3]), float(mixed[2] / mixed[3]),
                            float(mixed[3]));
}

void restyleNoteField(QPlainTextEdit* field)
{
    QPalette palette = field->palette();
    // The delegate paints the field's surface; the editor only draws its text over it.
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Theme::ink.current());
    palette.setColor(QPalette::PlaceholderText, Theme::muted.current());
    palette.setColor(QPalette::Highlight, Theme::coral);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    field->setPalette(palette);
}

} // namespace

EntryRow::Face::Face(const TextStyle& style)
    : font(style.font()), metrics(font), ascent(metrics.ascent()), height(metrics.height()),
      space(metrics.horizontalAdvance(QLatin1Char(' '))), ellipsis(metrics.horizontalAdvance(kEllipsis))
{
}

qreal EntryRow::Face::wordWidth(QStringView word) const
{
    if (word.isEmpty())
        return 0;
    QString key = word.toString();
    const auto known = wordWidths.constFind(key);
    if (known != wordWidths.cend())
        return *known;
    // A day's words are a few thousand; a flood of unique ones starts the cache again.
    if (wordWidths.size() >= kMaximumCachedWords)
        wordWidths.clear();
    const qreal width = metrics.horizontalAdvance(key);
    wordWidths.insert(std::move(key), width);
    return width;
}

EntryRow::EntryRow(QObject* parent, const EntryRowStyle& style)
    : QStyledItemDelegate(parent), m_style(style), m_badge(style.badge), m_timecode(style.timecode),
      m_speaker(style.speaker), m_said(style.said), m_note(style.note), m_addNote(style.addNote),
      m_addNoteText(staticText(kAddNoteTitle)), m_addNoteWidth(m_addNote.metrics.horizontalAdvance(kAddNoteTitle)),
      m_keepSide(Symbols::side(style.keepSymbol)), m_removeSide(Symbols::side(style.deleteSymbol)),
      m_glyph(markerBadgePath(markerGlyphRect(QPointF(0, 0), style.glyphSize)))
{
    m_addNoteText.prepare(QTransform(), m_addNote.font);
}

qreal EntryRow::typeCellHeight() const
{
    return std::max(m_style.glyphSize, m_badge.height);
}

EntryRow::Lines EntryRow::breakLines(const QString& text, const Face& face, qreal width, int maximumLines, bool exact)
{
    Lines lines;
    const int most = std::min<int>(maximumLines, int(lines.text.size()));
    if (text.isEmpty() || most <= 0)
        return lines;
    if (!exact && breaksAtSpaces(text)) {
        // Greedy, word by word; the first line that would start beyond the last one shown means
        // the last one is cut.
        struct Span {
            qsizetype start = 0;
            qsizetype end = 0;
        };
        std::array<Span, 3> spans{};
        int count = 0;
        bool more = false;
        bool wordTooLong = false;
        qreal filled = -1;
        for (qsizetype start = 0; start <= text.size() && !more && !wordTooLong;) {
            qsizetype end = text.indexOf(QLatin1Char(' '), start);
            if (end < 0)
                end = text.size();
            const qreal word = face.wordWidth(QStringView(text).mid(start, end - start));
            wordTooLong = word > width;
            if (filled >= 0 && filled + face.space + word <= width) {
                filled += face.space + word;
                spans[count - 1].end = end;
            } else if (count < most) {
                spans[count++] = {start, end};
                filled = word;
            } else {
                more = true;
            }
            start = end + 1;
        }
        if (!wordTooLong) {
            for (int i = 0; i < count; ++i)
                lines.text[i] = staticText(text.mid(spans[i].start, spans[i].end - spans[i].start));
            lines.count = count;
            if (!more)
                return lines;
            // The last line shown ends in an ellipsis after the words that still fit beside it.
            const Span last = spans[count - 1];
            qreal used = -face.space;
            qsizetype end = last.start;
            for (qsizetype start = last.start; start < text.size();) {
                qsizetype next = text.indexOf(QLatin1Char(' '), start);
                if (next < 0)
                    next = text.size();
                const qreal word = face.wordWidth(QStringView(text).mid(start, next - start));
                if (used + face.space + word + face.ellipsis > width)
                    break;
                used += face.space + word;
                end = next;
                start = next + 1;
            }
            if (end > last.start) {
                lines.text[count - 1] = staticText(text.mid(last.start, end - last.start) + kEllipsis);
                return lines;
            }
        }
        lines = Lines();
    }
    // A line break the user typed breaks the line here too.
    QString laidOut = text;
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(laidOut, face.font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (lines.count < most) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const bool last = lines.count == most - 1;
        const int start = line.textStart();
        if (last && start + line.textLength() < laidOut.size()) {
            // More than fits: the last line takes the rest, cut with an ellipsis.
            QString rest = laidOut.mid(start);
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            lines.text[lines.count++] = staticText(face.metrics.elidedText(rest, Qt::ElideRight, width));
            break;
        }
        lines.text[lines.count++] = staticText(trimmedLine(laidOut.mid(start, line.textLength())));
    }
    layout.endLayout();
    return lines;
}

void EntryRow::layOut(RowLayout& layout, const QModelIndex& index) const
{
    const LogColumns columns = LogColumns::layout(0, layout.width, m_style.columns);
    layout.cellsCut = false;
    layout.said = breakLines(index.data(Role::SaidTextRole).toString(), m_said, columns[LogColumns::Said].width,
                             m_style.saidMaximumLines);

    const QString note = index.data(Role::NoteRole).toString();
    const qreal noteWidth = columns[LogColumns::Note].width - 2 * m_style.noteHorizontalPadding;
    const bool editing = index.data(Role::EditingNoteRole).toBool();
    // The field being edited breaks its lines as the editor does, so the row fits it exactly.
    layout.note = breakLines(note, m_note, noteWidth, m_style.noteMaximumLines, editing);
    const bool field = !note.isEmpty() || editing;
    layout.fieldLines = field ? std::max(layout.note.count, 1) : 0;

    // The cells line up on their first baselines; the row is as tall as the cell reaching lowest.
    struct Cell {
        qreal baseline;
        qreal height;
    };
    const qreal typeHeight = typeCellHeight();
    const int saidLines = std::max(layout.said.count, 1);
    const std::array<Cell, 5> cells = {
        Cell{(typeHeight - m_badge.height) / 2 + m_badge.ascent, typeHeight},
        Cell{m_timecode.ascent, m_timecode.height},
        Cell{m_speaker.ascent, m_speaker.height},
        Cell{m_said.ascent, m_said.height + (saidLines - 1) * m_said.metrics.lineSpacing()},
        field ? Cell{m_style.noteVerticalPadding + m_note.ascent,
                     2 * m_style.noteVerticalPadding + layout.fieldLines * m_note.height}
              : Cell{m_addNote.ascent, m_addNote.height},
    };
    layout.baseline = 0;
    for (const Cell& cell : cells)
        layout.baseline = std::max(layout.baseline, cell.baseline);
    qreal bottom = 0;
    for (const Cell& cell : cells)
        bottom = std::max(bottom, layout.baseline - cell.baseline + cell.height);
    layout.height = int(std::ceil(bottom + 2 * m_style.verticalPadding + m_style.dividerWidth));
}

void EntryRow::cutCells(RowLayout& layout, const QModelIndex& index) const
{
    const LogColumns columns = LogColumns::layout(0, layout.width, m_style.columns);
    layout.badge = singleLine(index.data(Role::BadgeRole).toString(), m_badge.metrics,
                              columns[LogColumns::Type].width - m_style.glyphSize - m_style.badgeSpacing);
    layout.timecode =
        singleLine(index.data(Role::TimecodeRole).toString(), m_timecode.metrics, columns[LogColumns::Timecode].width);
    layout.speaker =
        singleLine(index.data(Role::SpeakerRole).toString(), m_speaker.metrics, columns[LogColumns::Who].width);
    layout.cellsCut = true;
}

EntryRow::RowLayout& EntryRow::layoutOf(const QModelIndex& index, int width) const
{
    RowLayout& layout = m_layouts[idOf(index)];
    if (layout.width != width) {
        layout.width = width;
        layOut(layout, index);
    }
    return layout;
}

EntryRow::Geometry EntryRow::geometryOf(const RowLayout& layout, const QRectF& rect, bool suggested) const
{
    Geometry g;
    g.columns = LogColumns::layout(rect.left(), rect.width(), m_style.columns);
    g.contentTop = rect.top() + m_style.verticalPadding;
    g.baselineY = g.contentTop + layout.baseline;

    const LogColumns::Span& note = g.columns[LogColumns::Note];
    const qreal fieldTop = g.baselineY - m_style.noteVerticalPadding - m_note.ascent;
    g.noteField = QRectF(note.left, fieldTop, note.width,
                         2 * m_style.noteVerticalPadding + std::max(layout.fieldLines, 1) * m_note.height);
    g.noteText = g.noteField.adjusted(m_style.noteHorizontalPadding, m_style.noteVerticalPadding,
                                      -m_style.noteHorizontalPadding, -m_style.noteVerticalPadding);
    g.addNote = QRectF(note.left, g.baselineY - m_addNote.ascent, m_addNoteWidth, m_addNote.height);

    // The symbols stand on the first line of text as its letters do.
    g.controlCentreY = g.baselineY - m_said.metrics.capHeight() / 2;
    const LogColumns::Span& slot = g.columns[LogColumns::Control];
    const qreal total = (suggested ? m_keepSide + m_style.controlSpacing : 0) + m_removeSide;
    qreal x = slot.left + (slot.width - total) / 2;
    if (suggested) {
        g.keep = QRectF(x, g.controlCentreY - m_keepSide / 2, m_keepSide, m_keepSide);
        x += m_keepSide + m_style.controlSpacing;
    }
    g.remove = QRectF(x, g.controlCentreY - m_removeSide / 2, m_removeSide, m_removeSide);
    return g;
}

const EntryRow::SymbolSet& EntryRow::symbolsFor(Appearance appearance, qreal ratio) const
{
    if (m_symbols.appearance != appearance || m_symbols.ratio != ratio || m_symbols.remove.isNull()) {
        m_symbols.appearance = appearance;
        m_symbols.ratio = ratio;
        m_symbols.keep = Symbols::pixmap(QStringLiteral("checkmark"), m_style.keepSymbol, Theme::green, ratio);
        m_symbols.remove =
            Symbols::pixmap(QStringLiteral("xmark"), m_style.deleteSymbol, Theme::muted.resolve(appearance), ratio);
    }
    return m_symbols;
}

QSize EntryRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // Rows are as wide as the list's viewport; the option's rect may be the viewport's size
    // without its scroll bar.
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    const int width = view ? view->viewport()->width() : option.rect.width();
    const LogColumns columns = LogColumns::layout(0, 0, m_style.columns);
    const int minimum = int(std::ceil(columns[LogColumns::Control].right() + m_style.columns.horizontalPadding));
    return {minimum, layoutOf(index, std::max(width, minimum)).height};
}

void EntryRow::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    RowLayout& layout = layoutOf(index, option.rect.width());
    if (!layout.cellsCut)
        cutCells(layout, index);
    const QRectF rect(option.rect);
    const Appearance appearance = currentAppearance();
    const bool suggested = index.data(Role::SuggestedRole).toBool();
    const bool hovered = index == m_hovered;
    PainterState state(*painter);

    if (!m_paintingPicture) {
        for (const Gap& gap : m_gaps)
            if (rect.top() >= gap.top)
                painter->translate(0, gap.height);

        // A new row slides in from the trailing edge, growing about it as it fades in.
        if (const auto enter = m_enters.constFind(idOf(index)); enter != m_enters.cend()) {
            const qreal progress = *enter;
            // Held at full size: past it the row would reach over its neighbours.
            const qreal scale = std::min<qreal>(1, m_style.enterStartScale + (1 - m_style.enterStartScale) * progress);
            painter->setOpacity(painter->opacity() * std::clamp<qreal>(progress, 0, 1));
            painter->translate((1 - progress) * rect.width() + rect.right(), rect.center().y());
            painter->scale(scale, scale);
            painter->translate(-rect.right(), -rect.center().y());
            if (scale < kFullScale) {
                // Text set at a scale that changes every frame would be rasterised anew each
                // time: the row is drawn once at its own size and the picture scaled.
                painter->setRenderHint(QPainter::SmoothPixmapTransform);
                painter->drawImage(rect.topLeft(), enteringPicture(option, index, appearance, hovered,
                                                                   painter->device()->devicePixelRatioF()));
                return;
            }
        }
    }

    const QRectF padded(rect.left(), rect.top(), rect.width(), rect.height() - m_style.dividerWidth);
    if (const QColor background = backgroundOf(index); background.isValid())
        painter->fillRect(padded, background);
    painter->fillRect(QRectF(rect.left(), padded.bottom(), rect.width(), m_style.dividerWidth),
                      Theme::withOpacity(Theme::line.resolve(appearance), m_style.dividerOpacity));

    const Geometry g = geometryOf(layout, rect, suggested);
    const QColor ink = Theme::ink.resolve(appearance);
    const QColor muted = Theme::muted.resolve(appearance);
    painter->setRenderHint(QPainter::Antialiasing);

    // Type cell: the glyph and the badge, popping in from the leading edge on a new row.
    {
        PainterState cell(*painter);
        const LogColumns::Span& type = g.columns[LogColumns::Type];
        const qreal typeHeight = typeCellHeight();
        const qreal top = g.baselineY - ((typeHeight - m_badge.height) / 2 + m_badge.ascent);
        const qreal middle = top + typeHeight / 2;
        const auto reveal = m_reveals.constFind(idOf(index));
        if (reveal != m_reveals.cend()) {
            const qreal scale = m_style.popStartScale + (1 - m_style.popStartScale) * *reveal;
            painter->setOpacity(painter->opacity() * std::clamp<qreal>(*reveal, 0, 1));
            painter->translate(type.left, middle);
            painter->scale(scale, scale);
            painter->translate(-type.left, -middle);
        }
        {
            PainterState glyph(*painter);
            painter->translate(type.left + m_style.glyphSize / 2, middle);
            painter->fillPath(m_glyph, index.data(Role::BadgeColorRole).value<QColor>());
        }
        painter->setPen(ink);
        painter->setFont(m_badge.font);
        painter->drawStaticText(
            QPointF(type.left + m_style.glyphSize + m_style.badgeSpacing, middle - m_badge.height / 2), layout.badge);
    }

    painter->setFont(m_timecode.font);
    painter->setPen(index.data(Role::OpenRole).toBool() ? Theme::coral : ink);
    painter->drawStaticText(QPointF(g.columns[LogColumns::Timecode].left, g.baselineY - m_timecode.ascent),
                            layout.timecode);

    const int channel = index.data(Role::SpeakerChannelRole).toInt();
    painter->setFont(m_speaker.font);
    painter->setPen(channel < 0 ? Theme::coral : channelColor(appearance, channel));
    painter->drawStaticText(QPointF(g.columns[LogColumns::Who].left, g.baselineY - m_speaker.ascent), layout.speaker);

    painter->setFont(m_said.font);
    painter->setPen(index.data(Role::SaidMutedRole).toBool() ? muted : ink);
    const qreal saidTop = g.baselineY - m_said.ascent;
    for (int i = 0; i < layout.said.count; ++i)
        painter->drawStaticText(QPointF(g.columns[LogColumns::Said].left, saidTop + i * m_said.metrics.lineSpacing()),
                                layout.said.text[i]);

    if (layout.fieldLines > 0) {
        if (index.data(Role::EditingNoteRole).toBool()) {
            QPainterPath field;
            field.addRoundedRect(g.noteField, m_style.noteCornerRadius, m_style.noteCornerRadius);
            painter->fillPath(field, Theme::surface.resolve(appearance));
        }
        // An open editor draws the text itself.
        if (index != m_editorRow) {
            painter->setFont(m_note.font);
            painter->setPen(ink);
            for (int i = 0; i < layout.note.count; ++i)
                painter->drawStaticText(g.noteText.topLeft() + QPointF(0, i * m_note.height), layout.note.text[i]);
        }
    } else if (hovered) {
        painter->setFont(m_addNote.font);
        painter->setPen(muted);
        painter->drawStaticText(g.addNote.topLeft(), m_addNoteText);
    }

    if (hovered || suggested) {
        const SymbolSet& symbols = symbolsFor(appearance, painter->device()->devicePixelRatioF());
        if (suggested)
            painter->drawPixmap(g.keep.topLeft(), symbols.keep);
        painter->drawPixmap(g.remove.topLeft(), symbols.remove);
    }
}

QRectF EntryRow::controlRect(const QModelIndex& index, const QRect& rect, Control control) const
{
    if (!index.isValid() || control == Control::None)
        return {};
    if (control == Control::Row)
        return QRectF(rect);
    const RowLayout& layout = layoutOf(index, rect.width());
    const bool suggested = index.data(Role::SuggestedRole).toBool();
    const bool hovered = index == m_hovered;
    const Geometry g = geometryOf(layout, QRectF(rect), suggested);
    switch (control) {
    case Control::Keep:
        return suggested ? g.keep : QRectF();
    case Control::Delete:
        return hovered || suggested ? g.remove : QRectF();
    case Control::AddNote:
        return hovered && layout.fieldLines == 0 ? g.addNote : QRectF();
    case Control::Note:
        return layout.fieldLines > 0 ? g.noteField : QRectF();
    case Control::None:
    case Control::Row:
        break;
    }
    return {};
}

EntryRow::Control EntryRow::controlAt(const QModelIndex& index, const QRect& rect, const QPoint& point) const
{
    if (!index.isValid() || !rect.contains(point))
        return Control::None;
    const qreal slop = m_style.controlSlop;
    const QPointF at(point);
    for (const Control control : {Control::Keep, Control::Delete, Control::AddNote}) {
        const QRectF drawn = controlRect(index, rect, control);
        if (!drawn.isEmpty() && drawn.adjusted(-slop, -slop, slop, slop).contains(at))
            return control;
    }
    if (controlRect(index, rect, Control::Note).contains(at))
        return Control::Note;
    return Control::Row;
}

QString EntryRow::toolTipOf(Control control, bool suggested)
{
    switch (control) {
    case Control::AddNote:
        return QStringLiteral("Add a note (Ctrl+N for the newest row)");
    case Control::Keep:
        return QStringLiteral("Keep this alert");
    case Control::Delete:
        return suggested ? QStringLiteral("Dismiss") : QStringLiteral("Delete");
    case Control::None:
    case Control::Row:
    case Control::Note:
        break;
    }
    return {};
}

bool EntryRow::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                         const QModelIndex& index)
{
    if (!event || !view || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const bool suggested = index.data(Role::SuggestedRole).toBool();
    const Control control = controlAt(index, option.rect, event->pos());
    QString text = toolTipOf(control, suggested);
    // The tip goes once the pointer leaves what it is about, as far as it takes clicks.
    const qreal slop = m_style.controlSlop;
    QRect area = controlRect(index, option.rect, control).adjusted(-slop, -slop, slop, slop).toAlignedRect();
    if (text.isEmpty() && control == Control::Row) {
        const LogColumns::Span said =
            LogColumns::layout(option.rect.left(), option.rect.width(), m_style.columns)[LogColumns::Said];
        const QString summary = index.data(Qt::ToolTipRole).toString();
        if (!summary.isEmpty() && event->pos().x() >= said.left && event->pos().x() < said.right()) {
            // The summary is the service's text, never markup.
            text = Qt::convertFromPlainText(summary, Qt::WhiteSpaceNormal);
            area = QRect(int(said.left), option.rect.top(), int(said.width), option.rect.height());
        }
    }
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(event->globalPos(), text, view->viewport(), area);
    return true;
}

void EntryRow::setHoveredRow(const QModelIndex& index)
{
    m_hovered = index;
}

void EntryRow::setEditorRow(const QModelIndex& index)
{
    m_editorRow = index;
}

void EntryRow::setBadgeReveal(const QUuid& id, double reveal)
{
    m_reveals.insert(id, reveal);
}

void EntryRow::clearBadgeReveal(const QUuid& id)
{
    m_reveals.remove(id);
}

void EntryRow::setEnterProgress(const QUuid& id, double progress)
{
    m_enters.insert(id, progress);
}

void EntryRow::clearEnterProgress(const QUuid& id)
{
    m_enters.remove(id);
    m_enterPictures.remove(id);
}

const QImage& EntryRow::enteringPicture(const QStyleOptionViewItem& option, const QModelIndex& index,
                                        Appearance appearance, bool hovered, qreal ratio) const
{
    EnterPicture& kept = m_enterPictures[idOf(index)];
    const double reveal = m_reveals.value(idOf(index), 1.0);
    const QSize pixels = (QSizeF(option.rect.size()) * ratio).toSize();
    if (kept.image.size() != pixels || kept.image.devicePixelRatio() != ratio || kept.reveal != reveal ||
        kept.hovered != hovered || kept.appearance != appearance) {
        kept.image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        kept.image.setDevicePixelRatio(ratio);
        kept.image.fill(Qt::transparent);
        kept.reveal = reveal;
        kept.hovered = hovered;
        kept.appearance = appearance;
        QPainter picture(&kept.image);
        QStyleOptionViewItem atOrigin = option;
        atOrigin.rect.moveTopLeft(QPoint(0, 0));
        const QScopedValueRollback<bool> plain(m_paintingPicture, true);
        paint(&picture, atOrigin, index);
    }
    return kept.image;
}

std::optional<double> EntryRow::enterProgress(const QUuid& id) const
{
    const auto it = m_enters.constFind(id);
    return it != m_enters.cend() ? std::optional(*it) : std::nullopt;
}

QColor EntryRow::backgroundOf(const QModelIndex& index) const
{
    QColor under;
    if (index.data(Role::SelectedRole).toBool())
        under = Theme::withOpacity(Theme::coral, m_style.selectedOpacity);
    else if (index.data(Role::SuggestedRole).toBool())
        under = Theme::withOpacity(Theme::amber, m_style.suggestedOpacity);
    const QVariant level = index.data(Role::FlashLevelRole);
    const qreal flash =
        level.isValid() ? std::clamp(level.toReal(), 0.0, 1.0) : (index.data(Role::FlashingRole).toBool() ? 1.0 : 0.0);
    if (flash <= 0)
        return under;
    return blend(under, Theme::withOpacity(Theme::coral, m_style.flashingOpacity), flash);
}

void EntryRow::rowsChanged(const QAbstractItemModel* model, int first, int last, const QList<int>& roles)
{
    if (!model)
        return;
    if (!m_enterPictures.isEmpty())
        for (int row = first; row <= last; ++row)
            m_enterPictures.remove(idOf(model->index(row, 0)));
    if (!changesLaidOutText(roles))
        return;
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model->index(row, 0);
        const auto cached = m_layouts.find(idOf(index));
        if (cached == m_layouts.end())
            continue;
        const int height = cached->height;
        layOut(*cached, index);
        if (cached->height != height)
            Q_EMIT sizeHintChanged(index);
    }
}

void EntryRow::forgetRows(const QAbstractItemModel* model, int first, int last)
{
    if (!model)
        return;
    for (int row = first; row <= last; ++row) {
        const QUuid id = idOf(model->index(row, 0));
        m_layouts.remove(id);
        m_reveals.remove(id);
        m_enters.remove(id);
        m_enterPictures.remove(id);
    }
}

void EntryRow::forgetAll()
{
    m_layouts.clear();
    m_reveals.clear();
    m_enters.clear();
    m_enterPictures.clear();
}

QWidget* EntryRow::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const
{
    auto* field = new QPlainTextEdit(parent);
    field->setObjectName(kNoteFieldName);
    field->setAccessibleName(kNotePlaceholder);
    field->setPlaceholderText(kNotePlaceholder);
    field->setFont(m_note.font);
    field->setFrameShape(QFrame::NoFrame);
    field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    field->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    field->setTabChangesFocus(true);
    field->document()->setDocumentMargin(0);
    field->viewport()->setAutoFillBackground(false);
    restyleNoteField(field);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, field,
            [field] { restyleNoteField(field); });
    auto* self = const_cast<EntryRow*>(this);
    // The field is bound to the note: every edit is written at once.
    connect(field, &QPlainTextEdit::textChanged, self, [self, field] { Q_EMIT self->commitData(field); });
    field->installEventFilter(self);
    return field;
}

void EntryRow::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* field = qobject_cast<QPlainTextEdit*>(editor);
    const QString note = index.data(Role::NoteRole).toString();
    if (!field || field->toPlainText() == note)
        return;
    // The note itself, not an edit to write back.
    const QSignalBlocker quiet(field);
    field->setPlainText(note);
}

void EntryRow::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    auto* field = qobject_cast<QPlainTextEdit*>(editor);
    if (!field || !model)
        return;
    const QString text = field->toPlainText();
    if (text != index.data(Role::NoteRole).toString())
        model->setData(index, text, Role::NoteRole);
}

void EntryRow::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const RowLayout& layout = layoutOf(index, option.rect.width());
    const Geometry g = geometryOf(layout, QRectF(option.rect), index.data(Role::SuggestedRole).toBool());
    editor->setGeometry(g.noteText.toAlignedRect());
}

bool EntryRow::eventFilter(QObject* watched, QEvent* event)
{
    if (!isNoteField(watched))
        return QStyledItemDelegate::eventFilter(watched, event);
    auto* field = static_cast<QPlainTextEdit*>(watched);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape)
            return false;
        // Claimed before any window shortcut on these keys can take them.
        event->accept();
        if (event->type() == QEvent::KeyPress) {
            Q_EMIT commitData(field);
            Q_EMIT noteEnded(field);
        }
        return true;
    }
    default:
        // Not the item view's own editing (Tab to the next item, Escape to revert, a commit on
        // focus out): every keystroke is written already.
        return false;
    }
}
