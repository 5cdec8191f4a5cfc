#pragma once

#include "model/LogButtonStore.h"
#include "model/LogEntry.h"
#include "platform/Appearance.h"
#include "platform/Defaults.h"
#include "screens/ExportFormat.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The export sheet's choices over a copy of the log's entries: the format, which kinds and which
// tag pass, the tape name, and whether alerts and suggestions the logger never kept go too. An
// entry still waiting for its out point never passes.
//
// An empty kind set means every kind passes: ticking every box and ticking none of them are kept
// as that one state. Main thread only; the button store must outlive it.
class ExportSheetModel : public QObject {
    Q_OBJECT

public:
    static inline const QString tapeKey = QStringLiteral("pindle_logger_tape");
    // The dot of a kind no button stands for.
    static constexpr quint32 kUnknownKindHex = 0x9A9388;

    enum class Preset { Everything, ExecPull, Compliance };

    ExportSheetModel(QList<LogEntry> entries, const LogButtonStore& buttons, Defaults& defaults,
                     QObject* parent = nullptr);

    [[nodiscard]] const QList<LogEntry>& entries() const { return m_entries; }

    // --- state ---
    [[nodiscard]] ExportFormat format() const { return m_format; }
    void setFormat(ExportFormat format);
    // Empty: every kind passes.
    [[nodiscard]] const QSet<QString>& types() const { return m_types; }
    // Empty: any tag, or none.
    [[nodiscard]] const QString& tag() const { return m_tag; }
    void setTag(const QString& tag);
    // As typed.
    [[nodiscard]] const QString& tape() const { return m_tape; }
    void setTape(const QString& tape);
    [[nodiscard]] bool includeSuggested() const { return m_includeSuggested; }
    void setIncludeSuggested(bool include);

    // --- values ---
    // Every kind in the log, open and suggested entries too, by display name.
    [[nodiscard]] const QStringList& presentTypes() const { return m_presentTypes; }
    // The store's button name for the kind, else the id capitalized word by word.
    [[nodiscard]] QString displayName(const QString& kind) const;
    [[nodiscard]] AdaptiveColor kindColor(const QString& kind) const;
    // Every tag in the log, sorted by plain text comparison.
    [[nodiscard]] const QStringList& availableTags() const { return m_availableTags; }
    [[nodiscard]] bool includes(const LogEntry& entry) const;
    [[nodiscard]] qsizetype passingCount() const;
    // "<passing> of <all> markers".
    [[nodiscard]] QString countLine() const;
    [[nodiscard]] bool canExport() const { return passingCount() > 0; }
    // Only the edit-list formats carry a reel name.
    [[nodiscard]] bool showsTape() const;
    // What the tape name is for in the chosen format; empty where it shows no field.
    [[nodiscard]] QString tapeHelp() const;

    [[nodiscard]] static QString presetTitle(Preset preset);
    // Spaces and tabs off both ends; a line break is kept as the user put it there.
    [[nodiscard]] static QString trimmedTape(const QString& text);

    // --- commands ---
    [[nodiscard]] bool isKindChecked(const QString& kind) const;
    void setKindChecked(const QString& kind, bool checked);
    void applyPreset(Preset preset);
    // Keeps the tape as typed for next time and hands over the passing entries in log order.
    // Nothing, and nothing kept, when no entry passes.
    [[nodiscard]] std::optional<ExportChoice> exportNow();

Q_SIGNALS:
    void changed();

private:
    void sortPresentTypes();
    [[nodiscard]] QSet<QString> presentSet() const;

    const QList<LogEntry> m_entries;
    const LogButtonStore& m_buttons;
    Defaults& m_defaults;
    QStringList m_presentTypes;
    QStringList m_availableTags;

    ExportFormat m_format = ExportFormat::Ale;
    QSet<QString> m_types;
    QString m_tag;
    QString m_tape;
    bool m_includeSuggested = false;
};
