#pragma once

#include "platform/Spring.h"
#include "ui/theme/FrameClock.h"

#include <QHash>
#include <QListView>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QPointer>

#include <vector>

class QMimeData;
class ScrollGlide;
class Transition;
class TranscriptRowDelegate;

// The transcript's rows as a lazy list, over a model with TranscriptListModel's roles.
//
// A stock list view measures every row again whenever one row comes or changes, which on a
// long shoot day costs milliseconds per line. Here each row keeps a height (a guess from its
// text's length until it is first shown, exact once the delegate has laid it out) and row tops
// are summed lazily from the first changed row, so a new line or a changed one costs the same on
// 50,000 rows as on 50. Rows are measured as they come into view; the first row already measured
// stays in place meanwhile, or the end when the list follows the newest lines.
//
// It draws and hit-tests only: clicks, hover, the context menu and drops of marker buttons come
// out as signals with the row's index or id. The composer widget lives under the selected row.
//
// Motion, on the frame clock and only while the list is on screen and motion is not reduced:
// glides to the end or to a row, the "SELECTED" badge growing in when a line becomes used, and the
// composer sliding down from the top edge as it fades in (and back up as it fades out).
class TranscriptListView : public QListView {
    Q_OBJECT
public:
    struct Style {
        // Around the rows and between them.
        int padding = 16;
        int spacing = 16;
        // A line's background reaches this far out into the padding on either side.
        int inset = 8;
        int scrollStep = 20;
        // Rounds of measuring the rows in view until their heights stop moving.
        int layoutRounds = 4;
    };

    // `frames` null: the application's frame clock.
    explicit TranscriptListView(QWidget* parent = nullptr, FrameClock* frames = nullptr);
    ~TranscriptListView() override;

    void setModel(QAbstractItemModel* model) override;
    [[nodiscard]] TranscriptRowDelegate* rowDelegate() const { return m_delegate; }

    [[nodiscard]] QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    [[nodiscard]] QModelIndex indexAt(const QPoint& point) const override;
    void doItemsLayout() override;
    void reset() override;

    // The row whose line (not its composer) is at `point` of the viewport.
    [[nodiscard]] QModelIndex lineAt(const QPoint& point) const;
    // The row under the pointer or under a dragged button.
    [[nodiscard]] QModelIndex hoveredRow() const { return m_hovered; }
    // Scrolls to the newest row and keeps to the end as rows come, until the logger scrolls away.
    void scrollToEnd();
    // The same, animated.
    void glideToEnd();
    // Scrolls to `index` as scrollTo does, animated.
    void glideTo(const QModelIndex& index, ScrollHint hint);
    [[nodiscard]] bool isAtEnd() const;
    // The list keeps to its end as rows come (it may still be gliding there).
    [[nodiscard]] bool followsEnd() const { return m_stickToEnd; }
    // A glide, a badge or the composer moves: the list asks the frame clock for frames.
    [[nodiscard]] bool isMoving() const;
    [[nodiscard]] int poppingBadgeCount() const { return int(m_badgePops.size()); }
    // How far the composer has come in (1 in place), and whether the one that left still fades.
    [[nodiscard]] double composerProgress() const;
    [[nodiscard]] bool composerLeaving() const { return !m_composerGhost.isNull(); }
    [[nodiscard]] int contentHeight() const;
    // Rows laid out at the current width.
    [[nodiscard]] qsizetype measuredRowCount() const;

    // Shown under the row whose SelectedRole is true; not owned, the viewport becomes its parent.
    void setComposer(QWidget* composer);

    // A drag or drop carrying one of these starts a marker button's payload.
    [[nodiscard]] static QStringList droppedTexts(const QMimeData* data);
    [[nodiscard]] static bool carriesButton(const QStringList& texts);

Q_SIGNALS:
    void hoverEntered(const QString& id);
    void hoverLeft(const QString& id);
    void lineClicked(const QModelIndex& row);
    void menuRequested(const QModelIndex& row, const QPoint& globalPosition);
    void dropped(const QModelIndex& row, const QStringList& texts);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    [[nodiscard]] QSize viewportSizeHint() const override { return QAbstractItemView::viewportSizeHint(); }
    [[nodiscard]] int verticalOffset() const override;
    // Rows are read, not selected or walked with the keyboard.
    [[nodiscard]] int horizontalOffset() const override { return 0; }
    QModelIndex moveCursor(CursorAction, Qt::KeyboardModifiers) override { return {}; }
    [[nodiscard]] bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect&, QItemSelectionModel::SelectionFlags) override {}
    [[nodiscard]] QRegion visualRegionForSelection(const QItemSelection&) const override { return {}; }

    void rowsInserted(const QModelIndex& parent, int first, int last) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int first, int last) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rowsRemoved(int first, int last);
    void rebuildRows();
    [[nodiscard]] int rowWidth() const;
    [[nodiscard]] int composerPart() const;
    [[nodiscard]] int estimate(int row) const;
    // Lays row `row` out; whether its height moved.
    bool measure(int row);
    void invalidateTops(int row) { m_validTops = std::min(m_validTops, row); }
    // Sums the tops of the rows up to `row` from the first one not summed since a change.
    void ensureTops(int row) const;
    [[nodiscard]] int rowTop(int row) const;
    // The row whose top is at or above content height `y` (the first row above the first top).
    [[nodiscard]] int rowAt(int y) const;
    void scrollToRow(int row, ScrollHint hint);
    // Measures row `row` and a screen of rows around it, so it lands where it is asked to.
    void measureAround(int row);
    [[nodiscard]] int valueFor(int row, ScrollHint hint) const;
    void setGlidingValue(int value);
    void followBadges(int first, int last, const QHash<QString, bool>& before);
    bool tickBadges(double seconds);
    void settleBadges();
    void leaveComposer();
    void showComposerStep();
    void layoutPass();
    void updateScrollRange();
    void updateComposerHeight();
    void placeComposer();
    void followSelection(int first, int last);
    void setHovered(const QModelIndex& row);
    void hoverAtCursor();

    Style m_style;
    FrameClock& m_frames;
    TranscriptRowDelegate* m_delegate;
    // Per row: its height (exact once measured at m_width) and its top, valid below m_validTops.
    std::vector<int> m_heights;
    std::vector<bool> m_exact;
    mutable std::vector<int> m_tops;
    mutable int m_validTops = 0;
    int m_width = -1;
    bool m_layingOut = false;
    bool m_stickToEnd = false;

    QPointer<QWidget> m_composer;
    QPersistentModelIndex m_composerRow;
    // Where the composer was last placed: a change of row is a composer leaving and one entering.
    QPersistentModelIndex m_placedRow;
    Transition* m_composerIn;
    Transition* m_composerOut;
    // The composer that left, as it was drawn, and where in the content it was.
    QPixmap m_composerGhost;
    QRect m_ghostRect;
    // The room it took under its line, with the spacing above it.
    int m_ghostGap = 0;

    ScrollGlide* m_glide;
    bool m_gliding = false;
    struct BadgePop {
        QPersistentModelIndex row;
        Spring spring;
    };
    QHash<QString, BadgePop> m_badgePops;
    FrameClock::Animation m_badgeMotion;
    QPersistentModelIndex m_hovered;
    QString m_hoveredId;
    QPersistentModelIndex m_pressed;
};
