#include "screens/LogPaneModel.h"

#include "model/LogButtonKind.h"
#include "model/LogTagStore.h"

#include <QEasingCurve>

namespace {

// The standard ease-out: quick at first, settling gently.
const QEasingCurve& easeOut()
{
    static const QEasingCurve curve = [] {
        QEasingCurve bezier(QEasingCurve::BezierSpline);
        bezier.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
        return bezier;
    }();
    return curve;
}

} // namespace

LogPaneModel::LogPaneModel(LoggingLog& log, LogTagStore& tags, Clock& clock, QObject* parent)
    : QObject(parent), m_log(log), m_tags(tags), m_clock(clock)
{
    connect(&m_log, &LoggingLog::entriesChanged, this, &LogPaneModel::forgetGoneEntries);
}

void LogPaneModel::update(const std::function<void(LogPaneState&)>& change)
{
    LogPaneState next = m_state;
    change(next);
    if (next == m_state)
        return;
    m_state = std::move(next);
    Q_EMIT stateChanged();
}

void LogPaneModel::setLook(LogRowLook look)
{
    m_look = std::move(look);
    Q_EMIT lookChanged();
}

QString LogPaneModel::badge(const QString& kind) const
{
    const auto it = m_look.buttons.constFind(kind);
    return it != m_look.buttons.cend() ? it->name : LogButtonKind::capitalized(kind);
}

QColor LogPaneModel::badgeColor(const QString& kind) const
{
    if (m_look.buttons.contains(kind))
        return LogButtonKind::color(kind).current();
    return QColor::fromRgb(kUnknownBadgeHex);
}

int LogPaneModel::speakerChannel(const std::optional<QString>& speaker) const
{
    return speaker ? m_look.speakerChannels.value(*speaker, -1) : -1;
}

void LogPaneModel::setSelected(const std::optional<QUuid>& id)
{
    update([&](LogPaneState& s) { s.selected = id; });
}

void LogPaneModel::selectEntry(const QUuid& id)
{
    setSelected(m_state.selected == id ? std::nullopt : std::optional(id));
}

void LogPaneModel::deleteEntry(const QUuid& id)
{
    m_log.removeEntry(id);
}

void LogPaneModel::keepEntry(const QUuid& id)
{
    m_log.keep(id);
}

void LogPaneModel::removeTag(const QUuid& id, const QString& tag)
{
    m_log.removeTag(tag, id);
}

void LogPaneModel::setNote(const QUuid& id, const QString& note)
{
    m_log.setNote(id, note);
}

void LogPaneModel::startNote(const QUuid& id)
{
    update([&](LogPaneState& s) {
        s.selected = id;
        s.editingNote = id;
    });
    // The row's note field exists only once the view has redrawn the row as editing.
    m_clock.singleShot(std::chrono::milliseconds(0), this, [this, id] {
        if (m_state.editingNote == id)
            setFocusedNote(id);
    });
}

void LogPaneModel::endNote()
{
    update([](LogPaneState& s) {
        s.focusedNote.reset();
        s.editingNote.reset();
    });
}

void LogPaneModel::setEditingNote(const std::optional<QUuid>& id)
{
    update([&](LogPaneState& s) { s.editingNote = id; });
}

void LogPaneModel::setFocusedNote(const std::optional<QUuid>& id)
{
    update([&](LogPaneState& s) { s.focusedNote = id; });
}

void LogPaneModel::flash(const QUuid& id)
{
    const Clock::Duration started = m_clock.monotonic();
    m_flashStarts.insert(id, started);
    update([&](LogPaneState& s) { s.flashing.insert(id); });
    // A row flashed again meanwhile keeps the later flash's times.
    const auto stillThisFlash = [this, id, started] {
        const auto it = m_flashStarts.constFind(id);
        return it != m_flashStarts.cend() && *it == started;
    };
    m_clock.singleShot(kFlashHold, this, [this, id, stillThisFlash] {
        if (stillThisFlash())
            update([&](LogPaneState& s) { s.flashing.remove(id); });
    });
    m_clock.singleShot(kFlashHold + kFlashFade, this, [this, id, stillThisFlash] {
        if (stillThisFlash())
            m_flashStarts.remove(id);
    });
}

double LogPaneModel::flashLevelAfter(Clock::Duration elapsed, bool reduceMotion)
{
    if (elapsed < Clock::Duration::zero())
        return 0;
    if (elapsed <= kFlashHold)
        return 1;
    const Clock::Duration fading = elapsed - kFlashHold;
    if (reduceMotion || fading >= kFlashFade)
        return 0;
    const double progress = std::chrono::duration<double>(fading) / std::chrono::duration<double>(kFlashFade);
    return 1 - easeOut().valueForProgress(progress);
}

double LogPaneModel::flashLevel(const QUuid& id) const
{
    const auto it = m_flashStarts.constFind(id);
    if (it == m_flashStarts.cend())
        return 0;
    return flashLevelAfter(m_clock.monotonic() - *it, m_reduceMotion);
}

void LogPaneModel::forgetGoneEntries()
{
    const auto gone = [this](const std::optional<QUuid>& id) { return id && !m_log.entryRowOf(*id); };
    update([&](LogPaneState& s) {
        if (gone(s.selected))
            s.selected.reset();
        if (gone(s.editingNote))
            s.editingNote.reset();
        if (gone(s.focusedNote))
            s.focusedNote.reset();
        s.flashing.removeIf([this](const QUuid& id) { return !m_log.entryRowOf(id); });
    });
    m_flashStarts.removeIf([this](const auto& flash) { return !m_log.entryRowOf(flash.key()); });
}

std::optional<QUuid> LogPaneModel::tagTarget() const
{
    if (m_state.selected)
        return m_state.selected;
    const LogEntries& entries = m_log.entries();
    for (qsizetype row = entries.size() - 1; row >= 0; --row)
        if (entries.at(row).open)
            return entries.at(row).id;
    if (!entries.isEmpty())
        return entries.constLast().id;
    return std::nullopt;
}

QString LogPaneModel::tagTargetLabel() const
{
    if (m_state.selected)
        return QStringLiteral("selected clip");
    for (const LogEntry& entry : m_log.entries())
        if (entry.open)
            return QStringLiteral("open range");
    return QStringLiteral("latest clip");
}

QString LogPaneModel::tagChipHelp(const QString& targetLabel, const QString& tag)
{
    return QStringLiteral("Tag the ") + targetLabel + QStringLiteral(" with ") + tag;
}

void LogPaneModel::applyTag(const QString& tag)
{
    if (const std::optional<QUuid> target = tagTarget())
        m_log.addTag(tag, *target);
}

void LogPaneModel::setShowAddTag(bool show)
{
    update([&](LogPaneState& s) { s.showAddTag = show; });
}

void LogPaneModel::addNewTag()
{
    m_tags.add(newTag);
    newTag.clear();
    setShowAddTag(false);
}
