#pragma once

#include "platform/Spring.h"
#include "screens/AgentChatRows.h"
#include "ui/theme/TextStyle.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainterPath>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <memory>
#include <optional>
#include <vector>

// The speech-bubble look of Mark's chat, shared by the bubbles, the empty-state text and the
// live panel: body text in ink on the surface colour, in a rounded rectangle whose top-left
// corner is tighter, pointing at the character.
struct AgentBubbleStyle {
    TextStyle text = TextStyle::body;
    qreal horizontalPadding = 12;
    qreal verticalPadding = 9;
    qreal pointRadius = 4;
    qreal radius = 14;
    // Between a bubble's sentence, detail and time row, and between a live panel's lines.
    qreal stackSpacing = 3;
    // Between the pieces of one row.
    qreal rowSpacing = 6;
    qreal dotSize = 7;
    TextStyle detail = TextStyle::note;
    int detailLines = 2;
    TextStyle bell = TextStyle::system(8);
    TextStyle tag = TextStyle::bundled("DMSans-SemiBold", 9);
    TextStyle time = TextStyle::fine;
    TextStyle liveTitle = TextStyle::bundled("DMSans-SemiBold", 13);
    TextStyle close = TextStyle::note;
    // Drawn in italics.
    TextStyle liveLine = TextStyle::detail;
    int liveLineLines = 2;
    // The chat column: between bubbles, and before the first and after the last.
    qreal spacing = 8;
    qreal padding = 4;
    qreal pressedOpacity = 0.6;
    // How far below its place an arriving bubble starts, in its own heights.
    qreal arrivalOffset = 1.0;
};

// What the chat's view animates and presses, read when painting.
struct AgentChatMotion {
    // The row key of the pressed bubble ("live" while Close is held down).
    QString pressed;
    // Arriving rows by key, each moving from 0 (below, transparent) to 1 (in place).
    QHash<QString, Spring> arriving;
};

// Draws Mark's chat from AgentChatRows: the empty-state text, one bubble per feed item (dot and
// sentence, a detail cut at two lines, the bell, tag and time row) and the "Live on" panel with
// its Close link and last lines. A row is laid out once per width and data, so painting lays out
// no text. Each row's height takes the column's spacing above it.
class AgentBubbleDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    AgentBubbleDelegate(const AgentChatRows& rows, const AgentChatMotion& motion, QObject* parent = nullptr,
                        const AgentBubbleStyle& style = {});
    ~AgentBubbleDelegate() override;

    [[nodiscard]] const AgentBubbleStyle& style() const { return m_style; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // As wide as the view's viewport.
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // In the row drawn in `rect`: its bubble, and the live panel's Close link.
    [[nodiscard]] QRectF bubbleRect(int row, const QRect& rect) const;
    [[nodiscard]] std::optional<QRectF> closeRect(int row, const QRect& rect) const;

private:
    // A wrapped text cut with an ellipsis after its last allowed line.
    struct Block {
        QTextLayout layout;
        int lines = 0;
        qreal height = 0;
        qreal width = 0;
        [[nodiscard]] qreal firstBaseline() const;
        void draw(QPainter& painter, QPointF at) const;
    };
    struct Laid {
        int width = -1;
        AgentChatRow row;
        QSizeF bubble;
        QPainterPath shape;
        // From the content's top left.
        std::optional<QPointF> dot;
        QPointF mainAt;
        Block main;
        qreal detailY = 0;
        Block detail;
        qreal metaY = 0;
        qreal metaHeight = 0;
        qreal bellX = -1;
        qreal tagX = 0;
        qreal timeX = 0;
        QStaticText tag;
        QStaticText time;
        QList<qreal> lineY;
        std::vector<std::unique_ptr<Block>> lines;
        QRectF close;
    };
    struct Face {
        explicit Face(const TextStyle& style, bool italic = false);
        QFont font;
        QFontMetricsF metrics;
    };

    [[nodiscard]] const Laid& laidOut(int row, int width) const;
    void layOutBubble(Laid& laid, qreal room) const;
    void layOutLive(Laid& laid, qreal room) const;
    void wrap(Block& block, QString text, const Face& face, qreal width, int maxLines) const;
    [[nodiscard]] QPainterPath bubbleShape(QSizeF size) const;
    [[nodiscard]] qreal gapAbove(int row) const;
    [[nodiscard]] qreal gapBelow(int row) const;
    [[nodiscard]] static int viewWidth(const QStyleOptionViewItem& option);

    const AgentChatRows& m_rows;
    const AgentChatMotion& m_motion;
    AgentBubbleStyle m_style;
    Face m_text;
    Face m_detail;
    Face m_detailItalic;
    Face m_tag;
    Face m_time;
    Face m_liveTitle;
    Face m_close;
    Face m_liveLine;
    qreal m_bellSide = 0;
    QStaticText m_closeText;
    // By row key; QTextLayout cannot be copied, so each is held once.
    mutable QHash<QString, std::shared_ptr<Laid>> m_laid;
};
