#pragma once

#include "ui/theme/Capsule.h"

#include <QAbstractButton>
#include <QMenu>
#include <QPointer>

// A capsule control of the header's top bar: a toolbar pill (symbol and title, symbol only when
// compact), a menu's label (Sessions, Input) or the Start/Stop button (a dot and its text). With
// a menu it opens the menu under itself when clicked. The title is drawn as written (no "&"
// mnemonic) and is the control's accessible name.
//
// Help texts: the whole control's, and optionally the title on the content itself, as a toolbar
// pill carries both; the one under the pointer shows.
class HeaderPillButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Dot { None, Lit, Unlit };

    struct Style {
        CapsuleStyle full = CapsuleStyles::pill;
        CapsuleStyle compact = CapsuleStyles::compactPill;
        qreal pressedOpacity = 0.6;
        // A disabled control (the Export menu of an empty log) reads as one.
        qreal disabledOpacity = 0.45;
    };

    explicit HeaderPillButton(QWidget* parent = nullptr);

    void setContent(const QString& symbol, const QString& title);
    [[nodiscard]] const QString& symbol() const { return m_label.symbol; }
    [[nodiscard]] const QString& title() const { return m_label.title; }
    // In place of a symbol: coral when lit, faint when not.
    void setDot(Dot dot);
    [[nodiscard]] Dot dot() const { return m_dot; }
    // Symbol only, with narrower sides.
    void setCompact(bool compact);
    [[nodiscard]] bool isCompact() const { return m_compact; }
    // Outlined in coral.
    void setActive(bool active);
    [[nodiscard]] bool isActive() const { return m_active; }
    void setHelp(const QString& help);
    [[nodiscard]] const QString& help() const { return m_help; }
    // The content (symbol and title) says its title when pointed at.
    void setTitleHelp(bool on) { m_titleHelp = on; }
    // What the pointer at `pos` is told; empty: nothing.
    [[nodiscard]] QString helpAt(const QPoint& pos) const;

    // Opened under the pill when clicked; the pill does not own it.
    void setMenu(QMenu* menu) { m_menu = menu; }
    [[nodiscard]] QMenu* menu() const { return m_menu; }

    // The symbol (or dot) and title as laid out in the pill.
    [[nodiscard]] QRectF contentRect() const;
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    [[nodiscard]] const CapsuleStyle& capsuleStyle() const { return m_compact ? m_style.compact : m_style.full; }
    void relabel();
    void openMenu();

    Style m_style;
    CapsuleLabel m_label;
    Dot m_dot = Dot::None;
    bool m_compact = false;
    bool m_active = false;
    bool m_titleHelp = false;
    bool m_keyboardFocus = false;
    QString m_help;
    QSize m_size;
    QPointer<QMenu> m_menu;
};
