#pragma once

#include "screens/TranscriptPaneModel.h"
#include "ui/theme/FrameClock.h"
#include "ui/theme/TextStyle.h"

#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QMenu;
class QModelIndex;
class QStackedWidget;
class Transition;
class TranscriptListModel;
class TranscriptListView;
class TranscriptRowDelegate;

// The transcript pane, top to bottom: the waiting banner while the rows are held, the engine's
// status line, then the lines (or, before the first line, what to do to get some). It draws the
// pane's state and the list model's rows and hands every click, hover, rename and drop to its
// owner as a signal; the owner passes them to the pane model (drops to the screen's drop).
//
// The list follows the newest lines when their count changes, unless the rows are held or a
// jump target is set; it scrolls to a jump target centred, and to the end when a hold ends. Those
// scrolls glide, and the banner fades in and out, on the frame clock while the pane is on screen.
//
// Wiring: make the list model before this view, so that on the pane's stateChanged the rows have
// followed the hold before setState(pane.state()) reads them.
class TranscriptPaneView : public QWidget {
    Q_OBJECT
public:
    struct Style {
        int bannerVerticalPadding = 5;
        int statusHorizontalPadding = 16;
        int statusBottomPadding = 10;
        int emptyPadding = 16;
        TextStyle banner = TextStyle::bundled("DMSans-SemiBold", 11);
        TextStyle status = TextStyle::note;
        TextStyle empty = TextStyle::bodyLarge;
    };

    // `model` is not owned. `frames` null: the application's frame clock.
    explicit TranscriptPaneView(TranscriptListModel* model, QWidget* parent = nullptr, FrameClock* frames = nullptr);
    ~TranscriptPaneView() override;

    void setState(const TranscriptPaneState& state);
    // Shown under the selected line; not owned.
    void setComposer(QWidget* composer);

    [[nodiscard]] TranscriptListView* listView() const { return m_list; }
    [[nodiscard]] TranscriptRowDelegate* delegate() const;
    // The state asks for the banner (it may still be fading in); its opacity as drawn now.
    [[nodiscard]] bool showsBanner() const;
    [[nodiscard]] double bannerOpacity() const;
    [[nodiscard]] QString bannerText() const;
    [[nodiscard]] bool showsStatus() const;
    [[nodiscard]] QString statusText() const;
    [[nodiscard]] bool showsEmptyText() const;
    [[nodiscard]] QString emptyText() const;

    // A row's context menu: one item renaming the line's speaker; null for a line without one.
    [[nodiscard]] std::unique_ptr<QMenu> menuFor(const QModelIndex& row);
    [[nodiscard]] static QString renameTitle(const QString& speaker);

Q_SIGNALS:
    void selectRequested(const QString& lineID);
    // The pointer or a dragged button entered a line, or left it.
    void hoverChanged(const QString& lineID);
    void hoverLeft(const QString& lineID);
    void renameRequested(const QString& lineID);
    // A marker button dropped on a line (for the screen's drop).
    void dropped(const QStringList& texts, const QString& lineID);

private:
    void showMenu(const QModelIndex& row, const QPoint& at);
    void jumpTo(const QString& lineID);
    void restyle();

    class Banner;

    Style m_style;
    TranscriptListModel* m_model;
    Banner* m_banner;
    QWidget* m_statusRow;
    QLabel* m_status;
    QStackedWidget* m_stack;
    QLabel* m_empty;
    TranscriptListView* m_list;
    std::optional<TranscriptPaneState> m_state;
};
