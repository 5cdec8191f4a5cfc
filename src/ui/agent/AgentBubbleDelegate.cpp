#include "ui/agent/AgentBubbleDelegate.h"

#include "screens/AgentPanelModel.h"
#include "ui/theme/PainterState.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

const QString kBellSymbol = QStringLiteral("bell.fill");

QStaticText staticText(const QString& text, const QFont& font)
{
    QStaticText result(text);
    // Channel names come from people: never markup.
    result.setTextFormat(Qt::PlainText);
    result.prepare(QTransform(), font);
    return result;
}

QColor dotColour(const AgentDot& dot, Appearance appearance)
{
    switch (dot.role) {
    case AgentDot::Role::Coral:
        return Theme::coral;
    case AgentDot::Role::Channel:
        return channelColor(appearance, dot.channel);
    case AgentDot::Role::Muted:
        break;
    }
    return Theme::muted.resolve(appearance);
}

} // namespace

AgentBubbleDelegate::Face::Face(const TextStyle& style, bool italic) : font(style.font()), metrics(font)
{
    if (italic) {
        font.setItalic(true);
        metrics = QFontMetricsF(font);
    }
}

qreal AgentBubbleDelegate::Block::firstBaseline() const
{
    if (layout.lineCount() == 0)
        return 0;
    const QTextLine line = layout.lineAt(0);
    return line.y() + line.ascent();
}

void AgentBubbleDelegate::Block::draw(QPainter& painter, QPointF at) const
{
    for (int i = 0; i < std::min(lines, layout.lineCount()); ++i)
        layout.lineAt(i).draw(&painter, at);
}

AgentBubbleDelegate::AgentBubbleDelegate(const AgentChatRows& rows, const AgentChatMotion& motion, QObject* parent,
                                         const AgentBubbleStyle& style)
    : QStyledItemDelegate(parent), m_rows(rows), m_motion(motion), m_style(style), m_text(style.text),
      m_detail(style.detail), m_detailItalic(style.detail, true), m_tag(style.tag), m_time(style.time),
      m_liveTitle(style.liveTitle), m_close(style.close), m_liveLine(style.liveLine, true),
      m_bellSide(Symbols::side(style.bell)), m_closeText(staticText(AgentPanelModel::kCloseTitle, m_close.font))
{
}

AgentBubbleDelegate::~AgentBubbleDelegate() = default;

int AgentBubbleDelegate::viewWidth(const QStyleOptionViewItem& option)
{
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
        return view->viewport()->width();
    return option.rect.width();
}

qreal AgentBubbleDelegate::gapAbove(int row) const
{
    return row == 0 ? m_style.padding : m_style.spacing;
}

qreal AgentBubbleDelegate::gapBelow(int row) const
{
    return row == m_rows.rowCount() - 1 ? m_style.padding : 0;
}

void AgentBubbleDelegate::wrap(Block& block, QString text, const Face& face, qreal width, int maxLines) const
{
    // A line break in a line or a name keeps the text one paragraph.
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    const auto layOut = [&](const QString& shown) {
        block.layout.clearLayout();
        block.layout.setText(shown);
        block.layout.setFont(face.font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        block.layout.setTextOption(option);
        block.layout.setCacheEnabled(true);
        qreal y = 0;
        block.layout.beginLayout();
        for (QTextLine line = block.layout.createLine(); line.isValid(); line = block.layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
        block.layout.endLayout();
    };
    layOut(text);
    if (maxLines > 0 && block.layout.lineCount() > maxLines) {
        // The lines before the last allowed one stay as they are; that one ends in an ellipsis.
        const int start = block.layout.lineAt(maxLines - 1).textStart();
        QString rest = text.sliced(start);
        rest.replace(QChar::LineSeparator, QLatin1Char(' '));
        layOut(text.first(start) + face.metrics.elidedText(rest, Qt::ElideRight, width));
    }
    block.lines = maxLines > 0 ? std::min(maxLines, block.layout.lineCount()) : block.layout.lineCount();
    block.height = 0;
    block.width = 0;
    for (int i = 0; i < block.lines; ++i) {
        const QTextLine line = block.layout.lineAt(i);
        block.height += line.height();
        block.width = std::max(block.width, std::ceil(line.naturalTextWidth()));
    }
}

QPainterPath AgentBubbleDelegate::bubbleShape(QSizeF size) const
{
    const qreal w = size.width();
    const qreal h = size.height();
    const qreal most = std::min(w, h) / 2;
    const qreal point = std::min(m_style.pointRadius, most);
    const qreal r = std::min(m_style.radius, most);
    QPainterPath path;
    path.moveTo(point, 0);
    path.lineTo(w - r, 0);
    path.arcTo(QRectF(w - 2 * r, 0, 2 * r, 2 * r), 90, -90);
    path.lineTo(w, h - r);
    path.arcTo(QRectF(w - 2 * r, h - 2 * r, 2 * r, 2 * r), 0, -90);
    path.lineTo(r, h);
    path.arcTo(QRectF(0, h - 2 * r, 2 * r, 2 * r), 270, -90);
    path.lineTo(0, point);
    path.arcTo(QRectF(0, 0, 2 * point, 2 * point), 180, -90);
    path.closeSubpath();
    return path;
}

void AgentBubbleDelegate::layOutBubble(Laid& laid, qreal room) const
{
    const AgentChatRow& row = laid.row;
    QSizeF content;
    if (row.kind == AgentChatRow::Kind::Empty) {
        wrap(laid.main, row.text, m_text, room, 0);
        laid.mainAt = QPointF(0, 0);
        content = QSizeF(laid.main.width, laid.main.height);
    } else {
        const AgentBubble& bubble = row.bubble;
        const qreal textX = bubble.showsDot() ? m_style.dotSize + m_style.rowSpacing : 0;
        wrap(laid.main, bubble.sentence, m_text, std::max<qreal>(1, room - textX), 0);
        qreal textY = 0;
        qreal rowHeight = laid.main.height;
        laid.dot.reset();
        if (bubble.showsDot()) {
            // The dot sits on the sentence's first baseline.
            const qreal dotTop = laid.main.firstBaseline() - m_style.dotSize;
            textY = std::max<qreal>(0, -dotTop);
            laid.dot = QPointF(0, std::max<qreal>(0, dotTop));
            rowHeight = std::max(textY + laid.main.height, laid.dot->y() + m_style.dotSize);
        }
        laid.mainAt = QPointF(textX, textY);
        qreal width = textX + laid.main.width;
        qreal y = rowHeight;

        laid.detail.lines = 0;
        if (!bubble.detail.isEmpty()) {
            y += m_style.stackSpacing;
            laid.detailY = y;
            wrap(laid.detail, bubble.detail, bubble.detailItalic ? m_detailItalic : m_detail, room,
                 m_style.detailLines);
            y += laid.detail.height;
            width = std::max(width, laid.detail.width);
        }

        y += m_style.stackSpacing;
        laid.metaY = y;
        qreal x = 0;
        laid.metaHeight = m_time.metrics.height();
        laid.bellX = -1;
        laid.tag = QStaticText();
        if (!bubble.tag.isEmpty()) {
            if (bubble.bell) {
                laid.bellX = x;
                x += m_bellSide + m_style.rowSpacing;
                laid.metaHeight = std::max(laid.metaHeight, m_bellSide);
            }
            laid.tag = staticText(bubble.tag, m_tag.font);
            laid.tagX = x;
            x += std::ceil(m_tag.metrics.horizontalAdvance(bubble.tag)) + m_style.rowSpacing;
            laid.metaHeight = std::max(laid.metaHeight, m_tag.metrics.height());
        }
        laid.time = staticText(bubble.time, m_time.font);
        laid.timeX = x;
        x += std::ceil(m_time.metrics.horizontalAdvance(bubble.time));
        width = std::max(width, x);
        content = QSizeF(std::min(width, room), y + laid.metaHeight);
    }
    laid.bubble = QSizeF(std::ceil(content.width() + 2 * m_style.horizontalPadding),
                         std::ceil(content.height() + 2 * m_style.verticalPadding));
}

void AgentBubbleDelegate::layOutLive(Laid& laid, qreal room) const
{
    const AgentLive& live = laid.row.live;
    const qreal titleX = m_style.dotSize + m_style.rowSpacing;
    const qreal closeWidth = std::ceil(m_close.metrics.horizontalAdvance(m_closeText.text()));
    const qreal titleRoom = std::max<qreal>(1, room - titleX - m_style.rowSpacing - closeWidth);
    wrap(laid.main, live.title, m_liveTitle, titleRoom, 1);
    const qreal closeHeight = m_close.metrics.height();
    const qreal header = std::max({m_style.dotSize, laid.main.height, closeHeight});
    laid.dot = QPointF(0, (header - m_style.dotSize) / 2);
    laid.mainAt = QPointF(titleX, (header - laid.main.height) / 2);
    laid.close = QRectF(room - closeWidth, (header - closeHeight) / 2, closeWidth, closeHeight);

    qreal y = header;
    laid.lines.clear();
    laid.lineY.clear();
    for (const AgentLiveLine& line : live.lines) {
        y += m_style.stackSpacing;
        laid.lineY.append(y);
        auto block = std::make_unique<Block>();
        wrap(*block, line.text, m_liveLine, room, m_style.liveLineLines);
        y += block->height;
        laid.lines.push_back(std::move(block));
    }
    laid.bubble = QSizeF(std::ceil(room + 2 * m_style.horizontalPadding), std::ceil(y + 2 * m_style.verticalPadding));
}

const AgentBubbleDelegate::Laid& AgentBubbleDelegate::laidOut(int row, int width) const
{
    const AgentChatRow& data = m_rows.at(row);
    const QString key = data.key();
    std::shared_ptr<Laid>& laid = m_laid[key];
    if (!laid)
        laid = std::make_shared<Laid>();
    if (laid->width == width && laid->row == data)
        return *laid;
    laid->width = width;
    laid->row = data;
    const qreal room = std::max<qreal>(1, width - 2 * m_style.horizontalPadding);
    if (data.kind == AgentChatRow::Kind::Live)
        layOutLive(*laid, room);
    else
        layOutBubble(*laid, room);
    laid->shape = bubbleShape(laid->bubble);

    // Items the agent dropped from its feed leave their layouts behind.
    if (m_laid.size() > m_rows.rowCount() * 2 + 8) {
        QSet<QString> shown;
        for (const AgentChatRow& each : m_rows.rows())
            shown.insert(each.key());
        m_laid.removeIf([&shown](const auto& entry) { return !shown.contains(entry.key()); });
    }
    return *m_laid.value(key);
}

QSize AgentBubbleDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int width = viewWidth(option);
    const Laid& laid = laidOut(index.row(), width);
    return {width, int(std::ceil(gapAbove(index.row()) + laid.bubble.height() + gapBelow(index.row())))};
}

QRectF AgentBubbleDelegate::bubbleRect(int row, const QRect& rect) const
{
    const Laid& laid = laidOut(row, rect.width());
    return {QPointF(rect.left(), rect.top() + gapAbove(row)), laid.bubble};
}

std::optional<QRectF> AgentBubbleDelegate::closeRect(int row, const QRect& rect) const
{
    const Laid& laid = laidOut(row, rect.width());
    if (laid.row.kind != AgentChatRow::Kind::Live)
        return std::nullopt;
    const QPointF content(rect.left() + m_style.horizontalPadding,
                          rect.top() + gapAbove(row) + m_style.verticalPadding);
    return laid.close.translated(content);
}

void AgentBubbleDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int row = index.row();
    const Laid& laid = laidOut(row, option.rect.width());
    const Appearance appearance = currentAppearance();
    const QString key = laid.row.key();
    PainterState state(*painter);
    painter->setRenderHint(QPainter::Antialiasing);

    qreal opacity = 1;
    qreal drop = 0;
    if (const auto arriving = m_motion.arriving.constFind(key); arriving != m_motion.arriving.cend()) {
        const qreal progress = arriving->value();
        opacity = std::clamp<qreal>(progress, 0, 1);
        drop = (1 - progress) * laid.bubble.height() * m_style.arrivalOffset;
    }
    const bool bubble = laid.row.kind == AgentChatRow::Kind::Bubble;
    if (bubble && m_motion.pressed == key)
        opacity *= m_style.pressedOpacity;
    painter->setOpacity(opacity);
    painter->translate(option.rect.left(), option.rect.top() + gapAbove(row) + drop);
    painter->fillPath(laid.shape, Theme::surface.resolve(appearance));

    painter->translate(m_style.horizontalPadding, m_style.verticalPadding);
    const QColor muted = Theme::muted.resolve(appearance);
    if (laid.dot) {
        const AgentDot& dot = laid.row.kind == AgentChatRow::Kind::Live ? laid.row.live.dot : laid.row.bubble.dot;
        painter->setPen(Qt::NoPen);
        painter->setBrush(dotColour(dot, appearance));
        painter->drawEllipse(QRectF(*laid.dot, QSizeF(m_style.dotSize, m_style.dotSize)));
    }
    painter->setPen(Theme::ink.resolve(appearance));
    laid.main.draw(*painter, laid.mainAt);

    if (laid.row.kind == AgentChatRow::Kind::Live) {
        painter->setPen(muted);
        for (std::size_t i = 0; i < laid.lines.size(); ++i)
            laid.lines[i]->draw(*painter, QPointF(0, laid.lineY.at(qsizetype(i))));
        if (m_motion.pressed == key)
            painter->setOpacity(opacity * m_style.pressedOpacity);
        painter->setFont(m_close.font);
        painter->setPen(option.palette.color(QPalette::Link));
        painter->drawStaticText(laid.close.topLeft(), m_closeText);
        return;
    }
    if (!bubble)
        return;

    if (laid.detail.lines > 0) {
        painter->setPen(muted);
        laid.detail.draw(*painter, QPointF(0, laid.detailY));
    }
    const qreal middle = laid.metaY + laid.metaHeight / 2;
    if (laid.bellX >= 0)
        Symbols::paint(*painter, QRectF(laid.bellX, middle - m_bellSide / 2, m_bellSide, m_bellSide), kBellSymbol,
                       m_style.bell, Theme::coral);
    if (!laid.tag.text().isEmpty()) {
        painter->setFont(m_tag.font);
        painter->setPen(Theme::coral);
        painter->drawStaticText(QPointF(laid.tagX, middle - m_tag.metrics.height() / 2), laid.tag);
    }
    painter->setFont(m_time.font);
    painter->setPen(muted);
    painter->drawStaticText(QPointF(laid.timeX, middle - m_time.metrics.height() / 2), laid.time);
}
