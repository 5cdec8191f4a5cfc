#pragma once

#include "platform/Appearance.h"
#include "platform/Spring.h"
#include "ui/logging/LogHeader.h"
#include "ui/theme/TextStyle.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPainterPath>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QUuid>

#include <array>
#include <optional>

// How a log row looks: its columns, text styles, the note field, the hover controls, the row
// backgrounds and the badge's pop-in.
struct EntryRowStyle {
    LogColumnsStyle columns;
    qreal verticalPadding = 8;

    qreal glyphSize = 12;
    qreal badgeSpacing = 5;
    TextStyle badge = TextStyle::bundled("DMSans-SemiBold", 12);
    TextStyle timecode = TextStyle::timecode;
    TextStyle speaker = TextStyle::bundled("DMSans-SemiBold", 12);
    TextStyle said = TextStyle::body;
    int saidMaximumLines = 3;

    TextStyle note = TextStyle::detail;
    int noteMaximumLines = 3;
    qreal noteHorizontalPadding = 6;
    qreal noteVerticalPadding = 3;
    qreal noteCornerRadius = 5;
    TextStyle addNote = TextStyle::chipTitle;

    TextStyle keepSymbol = TextStyle::system(10, QFont::Bold);
    TextStyle deleteSymbol = TextStyle::system(10, QFont::DemiBold);
    qreal controlSpacing = 4;
    // Room around a small control that still takes its click.
    qreal controlSlop = 3;

    qreal flashingOpacity = 0.2;
    qreal selectedOpacity = 0.08;
    qreal suggestedOpacity = 0.07;
    qreal dividerOpacity = 0.5;
    qreal dividerWidth = 1;

    // A new row's type cell grows from this scale at its leading edge while it fades in.
    qreal popStartScale = 0.6;
    double popDelaySeconds = 0.15;
    Spring::Params popSpring{0.35, 0.5};

    // A new row comes in from the trailing edge, growing from this scale about that edge as it
    // fades in, on the new entry's spring; a row taken out fades where it was.
    qreal enterStartScale = 0.9;
    Spring::Params enterSpring{0.5, 0.62};
    Spring::Params leaveSpring{0.55, 1.0};
};

// Draws the log's rows from the roles of LogEntryListModel, and edits a row's note in place.
// Each row's text is broken into lines once per width and kept, by the row's IdRole, until the
// row's data changes, so painting lays out no text. It does not change the log: the view asks it
// what a click hit.
class EntryRow : public QStyledItemDelegate {
    Q_OBJECT
public:
    enum class Control { None, Row, AddNote, Note, Keep, Delete };

    explicit EntryRow(QObject* parent = nullptr, const EntryRowStyle& style = {});

    [[nodiscard]] const EntryRowStyle& style() const { return m_style; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The note field: a borderless plain text editor bound to NoteRole.
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // What a click at `point` hits in the row drawn in `rect`, as drawn now: the hover controls
    // only on the hovered row, the check mark only on a suggested one.
    [[nodiscard]] Control controlAt(const QModelIndex& index, const QRect& rect, const QPoint& point) const;
    // Where `control` is drawn in the row drawn in `rect`; empty while it is not shown.
    [[nodiscard]] QRectF controlRect(const QModelIndex& index, const QRect& rect, Control control) const;
    [[nodiscard]] static QString toolTipOf(Control control, bool suggested);

    // The row under the pointer: it shows "+ Note" and its controls.
    void setHoveredRow(const QModelIndex& index);
    [[nodiscard]] QModelIndex hoveredRow() const { return m_hovered; }
    // The row whose note an editor shows: its note text is the editor's to draw.
    void setEditorRow(const QModelIndex& index);

    // How far the badge of a new row has popped in, 0 to about 1 (a spring overshoots); rows
    // with no value are fully shown.
    void setBadgeReveal(const QUuid& id, double reveal);
    void clearBadgeReveal(const QUuid& id);
    // How far a new row has come in, 0 to about 1; rows with no value are in place.
    void setEnterProgress(const QUuid& id, double progress);
    void clearEnterProgress(const QUuid& id);
    [[nodiscard]] std::optional<double> enterProgress(const QUuid& id) const;

    // Room kept where rows were taken out, closing as they fade: a row drawn at or below a gap's
    // top is drawn lower by the gap's height. In the list's viewport coordinates.
    struct Gap {
        qreal top = 0;
        qreal height = 0;
    };
    void setGaps(QList<Gap> gaps) { m_gaps = std::move(gaps); }

    // The row's background: the flash (FlashLevelRole, else FlashingRole as full) blended over
    // what the row shows without it (selected, suggested or nothing). Invalid for none.
    [[nodiscard]] QColor backgroundOf(const QModelIndex& index) const;

    // Rows `first` to `last` changed in `roles` (all when empty): their text is laid out again
    // when it depends on those roles, and sizeHintChanged is emitted for a row whose height moved.
    void rowsChanged(const QAbstractItemModel* model, int first, int last, const QList<int>& roles);
    // The rows are going away, or all of them changed.
    void forgetRows(const QAbstractItemModel* model, int first, int last);
    void forgetAll();

Q_SIGNALS:
    // Return or Escape in a note field; its text has been written already.
    void noteEnded(QWidget* editor);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One face with what painting and layout need of it.
    struct Face {
        explicit Face(const TextStyle& style);

        // A word's advance, measured once: a row's text is broken into lines by adding them up,
        // so a new width costs arithmetic, not shaping.
        qreal wordWidth(QStringView word) const;

        QFont font;
        QFontMetricsF metrics;
        qreal ascent;
        qreal height;
        qreal space;
        qreal ellipsis;
        mutable QHash<QString, qreal> wordWidths;
    };

    struct Lines {
        std::array<QStaticText, 3> text;
        int count = 0;
    };

    // A row's text at one width, and where its cells sit.
    // Rows are measured long before they are painted, if ever: only what the height needs is
    // laid out then, and the one-line cells when the row is first painted.
    struct RowLayout {
        int width = -1;
        int height = 0;
        // From the top of the padded content to the first text baseline all cells share.
        qreal baseline = 0;
        Lines said;
        Lines note;
        // The note is shown as a field (it has text, or is being edited), this many lines high.
        int fieldLines = 0;
        bool cellsCut = false;
        QStaticText badge;
        QStaticText timecode;
        QStaticText speaker;
    };

    // Where the parts of a row go, from its rect and layout.
    struct Geometry {
        LogColumns columns;
        qreal contentTop = 0;
        qreal baselineY = 0;
        QRectF noteField;
        QRectF noteText;
        QRectF addNote;
        QRectF keep;
        QRectF remove;
        qreal controlCentreY = 0;
    };

    // Colours and symbols drawn on every row, for the appearance and pixel ratio they were made for.
    struct SymbolSet {
        Appearance appearance = Appearance::Unmatched;
        qreal ratio = 0;
        QPixmap keep;
        QPixmap remove;
    };

    RowLayout& layoutOf(const QModelIndex& index, int width) const;
    void layOut(RowLayout& layout, const QModelIndex& index) const;
    void cutCells(RowLayout& layout, const QModelIndex& index) const;
    // `exact`: as a text field would break it (the note being edited), not word by word.
    [[nodiscard]] static Lines breakLines(const QString& text, const Face& face, qreal width, int maximumLines,
                                          bool exact = false);
    [[nodiscard]] Geometry geometryOf(const RowLayout& layout, const QRectF& rect, bool suggested) const;
    const SymbolSet& symbolsFor(Appearance appearance, qreal ratio) const;
    const QImage& enteringPicture(const QStyleOptionViewItem& option, const QModelIndex& index, Appearance appearance,
                                  bool hovered, qreal ratio) const;
    [[nodiscard]] qreal typeCellHeight() const;

    EntryRowStyle m_style;
    Face m_badge;
    Face m_timecode;
    Face m_speaker;
    Face m_said;
    Face m_note;
    Face m_addNote;
    QStaticText m_addNoteText;
    qreal m_addNoteWidth = 0;
    qreal m_keepSide = 0;
    qreal m_removeSide = 0;
    // The badge at the glyph size, centred on the origin.
    QPainterPath m_glyph;

    mutable QHash<QUuid, RowLayout> m_layouts;
    mutable SymbolSet m_symbols;
    QHash<QUuid, double> m_reveals;
    QHash<QUuid, double> m_enters;
    QList<Gap> m_gaps;
    // A row coming in while it still grows is drawn into a picture, kept while it looks the
    // same, and the picture scaled.
    struct EnterPicture {
        QImage image;
        double reveal = -1;
        bool hovered = false;
        Appearance appearance = Appearance::Unmatched;
    };
    mutable QHash<QUuid, EnterPicture> m_enterPictures;
    mutable bool m_paintingPicture = false;
    QPersistentModelIndex m_hovered;
    QPersistentModelIndex m_editorRow;
};
