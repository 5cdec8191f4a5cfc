#pragma once

#include "model/LogEntry.h"

#include <QList>
#include <QString>

#include <array>
#include <optional>

// The formats a log leaves in from the export sheet, in the order the sheet lists them.
enum class ExportFormat { Ale, Edl, AvidLocators, AvidXml, ScriptSync, Csv, Pdf };

inline constexpr std::array<ExportFormat, 7> kExportFormats{
    ExportFormat::Ale,        ExportFormat::Edl, ExportFormat::AvidLocators, ExportFormat::AvidXml,
    ExportFormat::ScriptSync, ExportFormat::Csv, ExportFormat::Pdf};

// The format's label: what the sheet's picker shows.
[[nodiscard]] inline QString exportFormatLabel(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Ale:
        return QStringLiteral("Avid Log Exchange (.ale), for the DIT");
    case ExportFormat::Edl:
        return QStringLiteral("Selects sequence (.edl), a cut of the selects");
    case ExportFormat::AvidLocators:
        return QStringLiteral("Avid locators (.txt)");
    case ExportFormat::AvidXml:
        return QStringLiteral("Avid markers (.xml)");
    case ExportFormat::ScriptSync:
        return QStringLiteral("ScriptSync selects (.txt)");
    case ExportFormat::Csv:
        return QStringLiteral("Spreadsheet (.csv)");
    case ExportFormat::Pdf:
        return QStringLiteral("Log sheet (.pdf)");
    }
    return {};
}

// What the export sheet hands on: the chosen format, the entries that pass its filter in log
// order, and the trimmed tape name (none when empty).
struct ExportChoice {
    ExportFormat format = ExportFormat::Ale;
    QList<LogEntry> entries;
    std::optional<QString> tape;
};
