#pragma once

#include "screens/LogSearchModel.h"
#include "ui/theme/TextStyle.h"

#include <QDialog>
#include <QList>
#include <QSize>
#include <QUuid>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

// The search sheet: "This log" searches the log and its transcript as the logger types, and a
// click on a hit jumps the screen to it and closes the sheet; "All my shoots" asks the service on
// Return or "Search", and each of its hits copies its line or opens its shoot in the browser.
//
// Local hits are rows of a list view drawn by a delegate and handed out a batch at a time, so a
// query that matches most of a long shoot day stays quick. A window-modal dialog over its parent,
// made afresh for each opening; it deletes itself once closed.
class LogSearchSheet : public QDialog {
    Q_OBJECT
public:
    struct Style {
        QSize size{600, 520};
        int padding = 18;
        int spacing = 12;
        int scopeWidth = 260;
        int scopeHeight = 26;
        int searchRowSpacing = 8;
        int resultSpacing = 8;
        TextStyle scope = TextStyle::bundled("DMSans-Medium", 12);
        TextStyle field = TextStyle::bodyLarge;
        TextStyle problem = TextStyle::detail;
        TextStyle nothing = TextStyle::detail;
        // A hit of either kind.
        TextStyle timecode = TextStyle::note;
        TextStyle who = TextStyle::bundled("DMSans-Bold", 12);
        TextStyle text = TextStyle::body;
        int headerSpacing = 8;
        int textSpacing = 3;
        // A local hit's row; a card's line and its header have the same vertical padding.
        int rowHorizontalPadding = 8;
        int rowVerticalPadding = 4;
        qreal rowCornerRadius = 8;
        TextStyle badge = TextStyle::badge;
        qreal badgeHorizontalPadding = 5;
        qreal badgeVerticalPadding = 2;
        // A hit of another shoot.
        int cardPadding = 10;
        int cardSpacing = 4;
        qreal cardCornerRadius = 8;
        int linkSpacing = 12;
        TextStyle shootTitle = TextStyle::bundled("DMSans-Bold", 11);
        TextStyle why = TextStyle::note;
        TextStyle link = TextStyle::note;
    };

    static constexpr char kThisLogPrompt[] = "Find a word, a name, a tag";
    static constexpr char kAllShootsPrompt[] = "Ask in plain words: where did anyone mention the quota?";

    explicit LogSearchSheet(LogSearchModel::Sources sources, QWidget* parent = nullptr);

    [[nodiscard]] LogSearchModel& model() { return *m_model; }
    [[nodiscard]] const Style& style() const { return m_style; }

    // "This log" (0) and "All my shoots" (1).
    [[nodiscard]] QAbstractButton* scopeButton(int scope) const;
    [[nodiscard]] QLineEdit* field() const { return m_field; }
    [[nodiscard]] QPushButton* doneButton() const { return m_done; }
    [[nodiscard]] QPushButton* searchButton() const { return m_search; }
    [[nodiscard]] QLabel* problemLabel() const { return m_problem; }
    [[nodiscard]] QListView* hitList() const { return m_list; }
    // "Nothing in this log."
    [[nodiscard]] QLabel* nothingLabel() const { return m_nothing; }
    [[nodiscard]] QScrollArea* cloudArea() const { return m_cloudArea; }
    // One card per hit of another shoot, in order.
    [[nodiscard]] QList<QWidget*> cloudCards() const { return m_cards; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildTop(QVBoxLayout* layout);
    void buildLocal();
    void buildCloud();
    void followScope();
    void followHits();
    void followCloud();
    void choose(const QModelIndex& index);
    void copyLine(const CloudSearchHit& hit);
    void openShoot(const CloudSearchHit& hit);
    void restyle();

    Style m_style;
    LogSearchModel* m_model;
    QList<QAbstractButton*> m_scopes;
    QLineEdit* m_field = nullptr;
    QPushButton* m_done = nullptr;
    QWidget* m_searchRow = nullptr;
    QPushButton* m_search = nullptr;
    QLabel* m_problem = nullptr;
    QStackedWidget* m_results = nullptr;
    QListView* m_list = nullptr;
    QLabel* m_nothing = nullptr;
    QScrollArea* m_cloudArea = nullptr;
    QVBoxLayout* m_cardLayout = nullptr;
    QList<QWidget*> m_cards;
    QList<QUuid> m_shownCloud;
    // A hit was chosen: the sheet is closing and takes no second choice.
    bool m_chosen = false;
};
