#include "screens/ExportSheetModel.h"

#include "model/LogButtonKind.h"
#include "platform/TextCuts.h"

#include <algorithm>

namespace {

// What an executive wants from a day: the moments worth showing, none of the housekeeping.
const QSet<QString> kExecPullKinds{
    QStringLiteral("great"),       QStringLiteral("earmark"), QStringLiteral("turning_point"),
    QStringLiteral("testimonial"), QStringLiteral("funny"),   QStringLiteral("sad"),
    QStringLiteral("soundbite"),   QStringLiteral("clip"),    QStringLiteral("reaction"),
};
// The kind a compliance review is after: moments flagged not to use.
const QString kComplianceKind = QStringLiteral("cut");

} // namespace

ExportSheetModel::ExportSheetModel(QList<LogEntry> entries, const LogButtonStore& buttons, Defaults& defaults,
                                   QObject* parent)
    : QObject(parent), m_entries(std::move(entries)), m_buttons(buttons), m_defaults(defaults),
      m_tape(defaults.string(tapeKey).value_or(QString()))
{
    QSet<QString> kinds;
    QSet<QString> tags;
    for (const LogEntry& entry : m_entries) {
        kinds.insert(entry.type);
        for (const QString& tag : entry.tags)
            tags.insert(tag);
    }
    m_presentTypes = QStringList(kinds.cbegin(), kinds.cend());
    sortPresentTypes();
    m_availableTags = QStringList(tags.cbegin(), tags.cend());
    std::sort(m_availableTags.begin(), m_availableTags.end());

    // A renamed button reorders the kinds.
    connect(&m_buttons, &LogButtonStore::buttonsChanged, this, [this] {
        sortPresentTypes();
        Q_EMIT changed();
    });
}

void ExportSheetModel::sortPresentTypes()
{
    std::sort(m_presentTypes.begin(), m_presentTypes.end(), [this](const QString& a, const QString& b) {
        const int byName = QString::compare(displayName(a), displayName(b));
        return byName != 0 ? byName < 0 : a < b;
    });
}

QSet<QString> ExportSheetModel::presentSet() const
{
    return QSet<QString>(m_presentTypes.cbegin(), m_presentTypes.cend());
}

void ExportSheetModel::setFormat(ExportFormat format)
{
    if (m_format == format)
        return;
    m_format = format;
    Q_EMIT changed();
}

void ExportSheetModel::setTag(const QString& tag)
{
    if (m_tag == tag)
        return;
    m_tag = tag;
    Q_EMIT changed();
}

void ExportSheetModel::setTape(const QString& tape)
{
    if (m_tape == tape)
        return;
    m_tape = tape;
    Q_EMIT changed();
}

void ExportSheetModel::setIncludeSuggested(bool include)
{
    if (m_includeSuggested == include)
        return;
    m_includeSuggested = include;
    Q_EMIT changed();
}

QString ExportSheetModel::displayName(const QString& kind) const
{
    if (const std::optional<LogButton> button = m_buttons.button(kind))
        return button->name;
    return LogButtonKind::capitalized(kind);
}

AdaptiveColor ExportSheetModel::kindColor(const QString& kind) const
{
    if (m_buttons.button(kind))
        return LogButtonKind::color(kind);
    return AdaptiveColor{kUnknownKindHex, kUnknownKindHex};
}

bool ExportSheetModel::includes(const LogEntry& entry) const
{
    if (entry.open)
        return false;
    if (entry.suggested && !m_includeSuggested)
        return false;
    if (!m_types.isEmpty() && !m_types.contains(entry.type))
        return false;
    return m_tag.isEmpty() || entry.tags.contains(m_tag);
}

qsizetype ExportSheetModel::passingCount() const
{
    return std::count_if(m_entries.cbegin(), m_entries.cend(),
                         [this](const LogEntry& entry) { return includes(entry); });
}

QString ExportSheetModel::countLine() const
{
    return QStringLiteral("%1 of %2 markers").arg(passingCount()).arg(m_entries.size());
}

bool ExportSheetModel::showsTape() const
{
    return m_format == ExportFormat::Ale || m_format == ExportFormat::Edl;
}

QString ExportSheetModel::tapeHelp() const
{
    switch (m_format) {
    case ExportFormat::Edl:
        return QStringLiteral("The selects in time order as one sequence. The reel name must match the rushes' reel "
                              "so the cut links to them.");
    case ExportFormat::Ale:
        return QStringLiteral("With a reel name Avid can merge these selects onto the rushes the DIT ingests, "
                              "matched by reel and timecode.");
    default:
        return {};
    }
}

QString ExportSheetModel::presetTitle(Preset preset)
{
    switch (preset) {
    case Preset::Everything:
        return QStringLiteral("Everything");
    case Preset::ExecPull:
        return QStringLiteral("Exec pull");
    case Preset::Compliance:
        return QStringLiteral("Compliance");
    }
    return {};
}

QString ExportSheetModel::trimmedTape(const QString& text)
{
    return TextCuts::trimSpacesAndTabs(text);
}

bool ExportSheetModel::isKindChecked(const QString& kind) const
{
    return m_types.isEmpty() || m_types.contains(kind);
}

void ExportSheetModel::setKindChecked(const QString& kind, bool checked)
{
    const QSet<QString> present = presentSet();
    QSet<QString> types = m_types.isEmpty() ? present : m_types;
    if (checked)
        types.insert(kind);
    else
        types.remove(kind);
    // Every kind ticked is no choice at all.
    if (types == present)
        types.clear();
    if (types == m_types)
        return;
    m_types = types;
    Q_EMIT changed();
}

void ExportSheetModel::applyPreset(Preset preset)
{
    const QSet<QString> present = presentSet();
    switch (preset) {
    case Preset::Everything:
        m_types.clear();
        m_includeSuggested = false;
        break;
    case Preset::ExecPull:
        m_types = present & kExecPullKinds;
        break;
    case Preset::Compliance:
        m_types = present.contains(kComplianceKind) ? QSet<QString>{kComplianceKind} : present;
        m_includeSuggested = true;
        m_format = ExportFormat::Csv;
        break;
    }
    m_tag.clear();
    Q_EMIT changed();
}

std::optional<ExportChoice> ExportSheetModel::exportNow()
{
    ExportChoice choice;
    for (const LogEntry& entry : m_entries) {
        if (includes(entry))
            choice.entries.append(entry);
    }
    if (choice.entries.isEmpty())
        return std::nullopt;
    m_defaults.set(tapeKey, m_tape);
    choice.format = m_format;
    if (const QString tape = trimmedTape(m_tape); !tape.isEmpty())
        choice.tape = tape;
    return choice;
}
