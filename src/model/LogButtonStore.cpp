#include "model/LogButtonStore.h"

#include "model/LogButtonKind.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <set>

namespace {

// Kinds outside the default four sort behind them, keeping their order.
constexpr qsizetype unrankedPosition = 99;

qsizetype defaultRank(const QString& kind)
{
    const qsizetype rank = LogButtonStore::defaultEnabledKinds().indexOf(kind);
    return rank < 0 ? unrankedPosition : rank;
}

// One stored button, field by field, so that one bad value costs that value and not the user's
// list: a field that does not read keeps the kind's default (its label, whether it shows by
// default, 10 s). The kind is the button's identity; without a readable one the table knows, the
// button is dropped.
std::optional<LogButton> decodeButton(const QJsonValue& value, const QList<LogButton>& defaults)
{
    const QJsonObject object = value.toObject();
    QString kind;
    if (!JsonRead::required(object, QLatin1StringView("kind"), kind))
        return std::nullopt;
    const auto fallback =
        std::find_if(defaults.cbegin(), defaults.cend(), [&](const LogButton& b) { return b.kind == kind; });
    if (fallback == defaults.cend())
        return std::nullopt;
    LogButton button = *fallback;
    // Each read leaves the default in place when the key is missing or of another type.
    JsonRead::required(object, QLatin1StringView("name"), button.name);
    JsonRead::required(object, QLatin1StringView("enabled"), button.enabled);
    JsonRead::required(object, QLatin1StringView("reach"), button.reach);
    // Held to the rules of `rename` and `setReach`, as an edit would have left them.
    button.name = LogButtonStore::heldName(kind, button.name);
    button.reach = LogButtonStore::heldReach(button.reach);
    return button;
}

// The stored buttons in stored order, or nothing when no list is stored.
std::optional<QList<LogButton>> decodeButtons(const QJsonValue& value, const QList<LogButton>& defaults)
{
    if (!value.isArray())
        return std::nullopt;
    QList<LogButton> list;
    for (const QJsonValue& element : value.toArray()) {
        if (std::optional<LogButton> button = decodeButton(element, defaults))
            list.append(std::move(*button));
    }
    return list;
}

} // namespace

LogButtonStore::LogButtonStore(Defaults& defaults, QObject* parent) : QObject(parent), m_defaults(defaults)
{
    load();
}

QStringList LogButtonStore::defaultEnabledKinds()
{
    return {QStringLiteral("earmark"), QStringLiteral("cutaway"), QStringLiteral("funny"), QStringLiteral("sad")};
}

QList<LogButton> LogButtonStore::defaultButtons()
{
    const QStringList enabledKinds = defaultEnabledKinds();
    QList<LogButton> list;
    for (const LogButtonKind& row : LogButtonKind::all())
        list.append(LogButton{row.kind, row.label, enabledKinds.contains(row.kind), defaultReach});
    return inDefaultOrder(std::move(list));
}

QList<LogButton> LogButtonStore::inDefaultOrder(QList<LogButton> buttons)
{
    std::stable_sort(buttons.begin(), buttons.end(), [](const LogButton& a, const LogButton& b) {
        return defaultRank(a.kind) < defaultRank(b.kind);
    });
    return buttons;
}

void LogButtonStore::load()
{
    const QList<LogButton> defaults = defaultButtons();

    const std::optional<QList<LogButton>> stored = decodeButtons(m_defaults.value(buttonsKey), defaults);
    if (!stored) {
        // A first start (or a value that is no list): the list is first stored by the first change.
        m_buttons = defaults;
        m_defaults.set(defaultsFlagKey, true);
        return;
    }

    // Kinds added since are appended hidden. Several buttons of one kind are kept as stored;
    // lookups act on the first.
    QList<LogButton> list = *stored;
    for (const LogButton& fallback : defaults) {
        const bool present = std::any_of(list.cbegin(), list.cend(),
                                         [&](const LogButton& b) { return b.kind == fallback.kind; });
        if (!present)
            list.append(fallback);
    }
    m_buttons = list;

    // The cutaway kind was once labelled "B-roll"; a user's own spelling of it is left alone.
    const qsizetype cutaway = std::find_if(m_buttons.cbegin(), m_buttons.cend(), [](const LogButton& b) {
                                  return b.kind == u"cutaway" && b.name == u"B-roll";
                              }) - m_buttons.cbegin();
    if (cutaway < m_buttons.size()) {
        QList<LogButton> renamed = m_buttons;
        renamed[cutaway].name = LogButtonKind::lookup(u"cutaway")->label;
        assign(std::move(renamed));
    }

    // Once per user: bring the bar back to the four default kinds and their order.
    if (m_defaults.boolValue(defaultsFlagKey) != true) {
        const QStringList enabledKinds = defaultEnabledKinds();
        QList<LogButton> reset = m_buttons;
        for (LogButton& button : reset)
            button.enabled = enabledKinds.contains(button.kind);
        assign(std::move(reset));
        assign(inDefaultOrder(m_buttons));
        m_defaults.set(defaultsFlagKey, true);
    }

    // Once per user: Note became a composer of its own, so its button is hidden, unless it is
    // the only one shown (then the next start tries again).
    if (m_defaults.boolValue(noteOffFlagKey) != true) {
        const qsizetype note = indexOf(QStringLiteral("note"));
        if (note < 0)
            return;
        const auto shown = std::count_if(m_buttons.cbegin(), m_buttons.cend(),
                                         [](const LogButton& b) { return b.enabled; });
        if (shown < 2)
            return;
        QList<LogButton> changed = m_buttons;
        changed[note].enabled = false;
        assign(std::move(changed));
        m_defaults.set(noteOffFlagKey, true);
    }
}

QList<LogButton> LogButtonStore::visible() const
{
    QList<LogButton> shown;
    for (const LogButton& button : m_buttons) {
        if (button.enabled)
            shown.append(button);
    }
    return shown;
}

std::optional<LogButton> LogButtonStore::button(const QString& kind) const
{
    const qsizetype index = indexOf(kind);
    if (index < 0)
        return std::nullopt;
    return m_buttons.at(index);
}

void LogButtonStore::toggle(const QString& kind)
{
    const qsizetype index = indexOf(kind);
    if (index < 0)
        return;
    if (m_buttons.at(index).enabled && visible().size() < 2)
        return;
    QList<LogButton> changed = m_buttons;
    changed[index].enabled = !changed[index].enabled;
    assign(std::move(changed));
}

void LogButtonStore::rename(const QString& kind, const QString& text)
{
    const qsizetype index = indexOf(kind);
    if (index < 0)
        return;
    QList<LogButton> changed = m_buttons;
    changed[index].name = heldName(kind, text);
    assign(std::move(changed));
}

QString LogButtonStore::heldName(const QString& kind, const QString& text)
{
    const QString name = text.trimmed();
    if (!name.isEmpty())
        return name;
    const auto row = LogButtonKind::lookup(kind);
    return row ? row->label : LogButtonKind::capitalized(kind);
}

double LogButtonStore::heldReach(double seconds)
{
    // std::round takes halves away from zero; infinities clamp to the ends.
    return std::clamp(std::round(seconds), minReach, maxReach);
}

void LogButtonStore::setReach(const QString& kind, double seconds)
{
    const qsizetype index = indexOf(kind);
    if (index < 0 || std::isnan(seconds))
        return;
    QList<LogButton> changed = m_buttons;
    changed[index].reach = heldReach(seconds);
    assign(std::move(changed));
}

void LogButtonStore::move(const QList<int>& sources, int destination)
{
    const qsizetype count = m_buttons.size();
    const qsizetype target = std::clamp<qsizetype>(destination, 0, count);

    std::set<qsizetype> moving;
    for (const int source : sources) {
        if (source >= 0 && source < count)
            moving.insert(source);
    }

    QList<LogButton> moved;
    QList<LogButton> rest;
    qsizetype insertAt = target;
    for (qsizetype i = 0; i < count; ++i) {
        if (moving.count(i)) {
            moved.append(m_buttons.at(i));
            // Each moved button before the destination shifts the insertion point down by one.
            if (i < target)
                --insertAt;
        } else {
            rest.append(m_buttons.at(i));
        }
    }
    for (qsizetype i = 0; i < moved.size(); ++i)
        rest.insert(insertAt + i, moved.at(i));
    assign(std::move(rest));
}

void LogButtonStore::save()
{
    QJsonArray array;
    for (const LogButton& button : m_buttons)
        array.append(button.toJson());
    m_defaults.set(buttonsKey, array);
}

void LogButtonStore::assign(QList<LogButton> buttons)
{
    m_buttons = std::move(buttons);
    // Stored first, so whoever reacts to the change finds it already kept.
    save();
    Q_EMIT buttonsChanged();
}

qsizetype LogButtonStore::indexOf(const QString& kind) const
{
    for (qsizetype i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons.at(i).kind == kind)
            return i;
    }
    return -1;
}
