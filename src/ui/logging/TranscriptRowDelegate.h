#pragma once

#include "ui/theme/TabularDigits.h"
#include "ui/theme/TextStyle.h"

#include <QCache>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPixmap>
#include <QRawFont>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <memory>
#include <optional>

// How a transcript row looks: the line's rounded background, its header (timecode, speaker,
// keyword bell, "SELECTED" badge) and its wrapped text with the logged words marked.
struct TranscriptRowStyle {
    qreal horizontalPadding = 8;
    qreal verticalPadding = 6;
    qreal cornerRadius = 8;
    qreal headerSpacing = 8;
    // Between the header and the text.
    qreal textSpacing = 4;
    // Between the line and the composer under it.
    qreal composerSpacing = 6;

    TextStyle timecode = TextStyle::note;
    TextStyle speaker = TextStyle::speaker;
    TextStyle bell = TextStyle::system(10);
    TextStyle badge = TextStyle::badge;
    qreal badgeHorizontalPadding = 6;
    qreal badgeVerticalPadding = 2;
    TextStyle text = TextStyle::transcript;

    // The "SELECTED" badge comes in growing from this scale about its centre as it fades in.
    qreal badgeStartScale = 0.3;

    qreal jumpOpacity = 0.22;
    qreal selectedOpacity = 0.13;
    qreal markOpacity = 0.22;

    // Rows whose laid-out text is kept: a few screens of them.
    int keptLayouts = 256;
};

// Draws the transcript's rows from the roles of TranscriptListModel. A row's header and text are
// laid out once per width and kept by the row's id until its data changes, so painting lays out
// no text; only a few screens of rows are kept. The row of the open composer is taller by the
// composer's height, which the view places there.
class TranscriptRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr char kBadgeText[] = "SELECTED";

    explicit TranscriptRowDelegate(QObject* parent = nullptr, const TranscriptRowStyle& style = {});
    ~TranscriptRowDelegate() override;

    [[nodiscard]] const TranscriptRowStyle& style() const { return m_style; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // As wide as the option's rect; the line's height, and the composer's below it on the
    // selected row.
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The line alone (no composer) at row width `width`.
    [[nodiscard]] int lineHeight(const QModelIndex& index, int width) const;
    // The row's height guessed from its text's length, for rows not laid out yet.
    [[nodiscard]] int estimatedHeight(const QModelIndex& index, int width) const;
    // The line's clickable rectangle, and where the composer goes, in the row drawn in `rect`.
    [[nodiscard]] QRect lineRect(const QModelIndex& index, const QRect& rect) const;
    [[nodiscard]] QRect composerRect(const QModelIndex& index, const QRect& rect) const;

    void setComposerHeight(int height) { m_composerHeight = height; }
    [[nodiscard]] int composerHeight() const { return m_composerHeight; }

    // Whether a change in `roles` (all when empty) moves text, and so the row's layout.
    [[nodiscard]] static bool changesLayout(const QList<int>& roles);
    void forgetRow(const QString& id) { m_layouts.remove(id); }
    void forgetAll() { m_layouts.clear(); }

    // Whether the row's kept layout has the "SELECTED" badge; none for a row not laid out.
    [[nodiscard]] std::optional<bool> drawsBadge(const QString& id) const;
    // How far the row's badge has come in, 0 to about 1; rows with no value show it in place.
    void setBadgeProgress(const QString& id, double progress) { m_badgeProgress.insert(id, progress); }
    void clearBadgeProgress(const QString& id) { m_badgeProgress.remove(id); }
    [[nodiscard]] std::optional<double> badgeProgress(const QString& id) const;

private:
    struct Face {
        explicit Face(const TextStyle& style);
        QFont font;
        QFontMetricsF metrics;
    };

    // A speaker's name set in its face, kept by name: a shoot has a handful of speakers.
    struct Name {
        QStaticText text;
        qreal width = 0;
    };

    struct RowLayout {
        int width = -1;
        int height = 0;
        qreal headerHeight = 0;
        QGlyphRun timecode;
        Name speaker;
        // From the content's left edge.
        qreal speakerX = 0;
        qreal bellX = -1;
        qreal badgeX = -1;
        QTextLayout text;
        // Behind the logged words, from the text's top left.
        QList<QRectF> marks;
    };

    [[nodiscard]] RowLayout& layoutOf(const QModelIndex& index, int width) const;
    void layOut(RowLayout& layout, const QModelIndex& index) const;
    // The timecode with digits of one width; `width` takes its advance.
    [[nodiscard]] qreal headerHeight(bool speaker, bool bell, bool badge) const;
    // The name, cut with an ellipsis when wider than `room`.
    [[nodiscard]] Name speakerName(const QString& name, qreal room) const;
    [[nodiscard]] const QPixmap& bellFor(qreal ratio) const;

    TranscriptRowStyle m_style;
    Face m_timecode;
    Face m_speaker;
    Face m_badge;
    Face m_text;
    // Every digit takes the widest digit's advance, so timecodes line up digit under digit.
    TabularDigits m_timecodeDigits;
    QStaticText m_badgeText;
    QSizeF m_badgeSize;
    qreal m_bellSide = 0;
    int m_composerHeight = 0;

    mutable QCache<QString, RowLayout> m_layouts;
    QHash<QString, double> m_badgeProgress;
    mutable QHash<QString, Name> m_names;
    mutable QPixmap m_bell;
};
