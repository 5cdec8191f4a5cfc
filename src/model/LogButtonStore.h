#pragma once

#include "model/LogButton.h"
#include "platform/Defaults.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

// The marker buttons of the bar: which kinds show, in what order, under what names and with what
// grab-back. Loaded (and migrated) when created; every change of `buttons` stores the whole list.
// Main thread only.
class LogButtonStore : public QObject {
    Q_OBJECT

public:
    static inline const QString buttonsKey = QStringLiteral("pindle_logger_buttons");
    static inline const QString defaultsFlagKey = QStringLiteral("pindle_logger_defaults_1026b");
    static inline const QString noteOffFlagKey = QStringLiteral("pindle_logger_note_off_1026");

    static constexpr double defaultReach = 10;
    static constexpr double minReach = 1;
    static constexpr double maxReach = 120;

    explicit LogButtonStore(Defaults& defaults = Defaults::shared(), QObject* parent = nullptr);

    // The kinds a new user sees in the bar, in bar order.
    [[nodiscard]] static QStringList defaultEnabledKinds();
    // One button per kind, named by the table, in the default order.
    [[nodiscard]] static QList<LogButton> defaultButtons();
    // The four default kinds first, in their order; every other button keeps its relative order.
    [[nodiscard]] static QList<LogButton> inDefaultOrder(QList<LogButton> buttons);
    // A name as `rename` keeps it: trimmed; nothing left gives the kind's label.
    [[nodiscard]] static QString heldName(const QString& kind, const QString& text);
    // A finite grab-back as `setReach` keeps it: whole seconds in 1 ... 120.
    [[nodiscard]] static double heldReach(double seconds);

    [[nodiscard]] const QList<LogButton>& buttons() const { return m_buttons; }
    // The enabled buttons in bar order.
    [[nodiscard]] QList<LogButton> visible() const;
    // The first button of `kind`.
    [[nodiscard]] std::optional<LogButton> button(const QString& kind) const;

    // Shows or hides a button; the last shown button cannot be hidden.
    void toggle(const QString& kind);
    // Renames a button; a name that trims to nothing restores the kind's default label.
    void rename(const QString& kind, const QString& text);
    // Sets the grab-back to whole seconds in 1 ... 120; NaN is ignored.
    void setReach(const QString& kind, double seconds);
    // Moves the buttons at `sources` (a set of positions) before the button at `destination`
    // (the end when it equals the count), as a dragged list move does. Positions outside the
    // list are ignored; the destination is clamped to the list.
    void move(const QList<int>& sources, int destination);
    // Stores the list as it is.
    void save();

Q_SIGNALS:
    void buttonsChanged();

private:
    void load();
    void assign(QList<LogButton> buttons);
    [[nodiscard]] qsizetype indexOf(const QString& kind) const;

    Defaults& m_defaults;
    QList<LogButton> m_buttons;
};
