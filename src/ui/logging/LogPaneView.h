#pragma once

#include "platform/Spring.h"
#include "ui/logging/EntryRow.h"
#include "ui/theme/FrameClock.h"

#include <QHash>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>
#include <vector>

class LogHeader;
class QAbstractItemModel;
class QIdentityProxyModel;
class QLabel;
class QListView;
class QStackedWidget;
class ScrollGlide;

// The log pane: the column captions over the log's rows, newest at the bottom, or the help text
// while the log is empty. It draws a model with LogEntryListModel's roles and hands every click
// to its owner as a request; the only change it makes itself is the note text, which the note
// field writes through the model as it is typed.
//
// Rows move on the frame clock, as values read when painting: a new row comes in from the
// trailing edge and pops its badge, a row taken out fades where it was, a flash fades out as the
// model's FlashLevelRole falls, and the list glides to its end when the count changes. All of it
// only while the pane is on screen and motion is not reduced: otherwise rows are drawn at their
// end state and no frame runs.
class LogPaneView : public QWidget {
    Q_OBJECT
public:
    struct Style {
        qreal emptyTopPadding = 44;
        qreal emptySidePadding = 24;
        // New rows arriving together beyond this are a load, not news: their badges do not pop.
        int maximumPoppingRows = 32;
    };

    // `model`: as setModel. `frames` null: the application's frame clock.
    explicit LogPaneView(QAbstractItemModel* model = nullptr, QWidget* parent = nullptr, FrameClock* frames = nullptr);
    ~LogPaneView() override;

    // The rows to draw; not owned. Rows present when it is set do not pop in.
    void setModel(QAbstractItemModel* model);
    [[nodiscard]] QAbstractItemModel* model() const { return m_source; }

    [[nodiscard]] QListView* listView() const { return m_list; }
    [[nodiscard]] LogHeader* header() const { return m_header; }
    [[nodiscard]] EntryRow* delegate() const { return m_delegate; }
    [[nodiscard]] bool showsEmptyHelp() const;
    [[nodiscard]] std::optional<QUuid> focusedNote() const { return m_focusedNote; }
    // Rows still coming in (sliding or popping their badge).
    [[nodiscard]] int poppingCount() const { return int(m_pops.size()); }
    // Rows whose flash is fading, and rows taken out that still fade where they were.
    [[nodiscard]] int fadingFlashCount() const { return int(m_fades.size()); }
    [[nodiscard]] int leavingCount() const { return int(m_leaving.size()); }
    // Some row moves, or the list glides: the pane asks the frame clock for frames.
    [[nodiscard]] bool isMoving() const;

    // What a click on `control` of the row of entry `id` does (for assistive tools, which press the
    // painted controls by name); nothing for a row no longer there.
    void activate(const QUuid& id, EntryRow::Control control);

public Q_SLOTS:
    // The row whose note field has the keyboard: its field opens and takes the focus. None: the
    // field lets the keyboard go, and closes unless its row is still editing its note.
    void setFocusedNote(std::optional<QUuid> id);

Q_SIGNALS:
    void selectRequested(QUuid id);
    void deleteRequested(QUuid id);
    void keepRequested(QUuid id);
    void startNoteRequested(QUuid id);
    // Return or Escape in a note field, after its text was written.
    void endNoteRequested();
    // The user moved the keyboard into a note field or out of it (a click, Tab, Return or
    // Escape): the other half of setFocusedNote.
    void focusedNoteChanged(std::optional<QUuid> id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // A new row: its slide in, and its badge's pop after a delay.
    struct Pop {
        QPersistentModelIndex row;
        double delay = 0;
        Spring spring;
        Spring enter;
    };
    // A row taken out, as it was drawn, fading at its place in the list's content.
    struct Leaving {
        QPixmap picture;
        QRect contentRect;
        Spring fade;
    };

    void rowsInserted(int first, int last);
    void rowsAboutToBeRemoved(int first, int last);
    void countChanged();
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles);
    void modelReset();
    void followEditing(int first, int last);
    void syncEditor();
    void noteEnded();
    void fieldFocusChanged(QEvent* event);
    void setHovered(const QModelIndex& index);
    void act(const QModelIndex& index, EntryRow::Control control);
    void hoverAtCursor();
    bool tickRows(double elapsed);
    void tickPops(double elapsed);
    void tickFades();
    void tickLeaving(double elapsed);
    // Every row at its end state and no frame asked for.
    void settleRows();
    void startRowMotion();
    void followFlash(int first, int last);
    void paintLeaving(QWidget* viewport) const;
    // Tells the delegate where the rows taken out still keep room.
    void placeGaps();
    [[nodiscard]] bool mayAnimate() const;
    void updateEmptyState();
    [[nodiscard]] QModelIndex rowOf(const QUuid& id) const;
    [[nodiscard]] QUuid idAt(const QModelIndex& index) const;

    Style m_style;
    FrameClock& m_frames;
    LogHeader* m_header;
    QStackedWidget* m_stack;
    QLabel* m_emptyHelp;
    QListView* m_list;
    EntryRow* m_delegate;
    QIdentityProxyModel* m_rows;
    QPointer<QAbstractItemModel> m_source;

    std::optional<QUuid> m_focusedNote;
    // The row the screen says is editing its note, and the row whose field is open.
    QPersistentModelIndex m_editingRow;
    QPersistentModelIndex m_editorRow;
    QPersistentModelIndex m_pressedRow;
    EntryRow::Control m_pressedControl = EntryRow::Control::None;
    bool m_scrollPending = false;
    int m_laidOutWidth = -1;
    bool m_layingOut = false;

    QHash<QUuid, Pop> m_pops;
    QHash<QUuid, QPersistentModelIndex> m_fades;
    std::vector<Leaving> m_leaving;
    FrameClock::Animation m_rowMotion;
    ScrollGlide* m_glide;
};
