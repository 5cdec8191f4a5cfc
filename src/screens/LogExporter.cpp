#include "screens/LogExporter.h"

#include "export/AleWriter.h"
#include "export/EdlWriter.h"
#include "export/LocatorsWriter.h"
#include "export/MarkersXmlWriter.h"
#include "export/ScriptSyncWriter.h"
#include "model/LogButtonKind.h"
#include "model/LogButtonStore.h"
#include "platform/DateFormat.h"
#include "screens/LoggingScreenModel.h"
#include "screens/SavePanel.h"
#include "timecode/CameraTimecode.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <unistd.h>

namespace {

const QString kPindleUser = QStringLiteral("Pindle");
const QString kSelectsTitle = QStringLiteral("Pindle Selects");
const QString kAleVideoFormat = QStringLiteral("1080");
const QString kEdlReel = QStringLiteral("AX");
// The selects sequence starts at the editors' customary hour.
const QString kEdlRecordStart = QStringLiteral("01:00:00:00");

// Note's table colour is near-white, unreadable on the printed page.
constexpr quint32 kNoteRowHex = 0x9A9388;

QString logTitle(Date created)
{
    return QStringLiteral("Log ") + formatDate(created, DateStyle::Abbreviated);
}

QList<LoggableMarker> markersOf(const QList<LogEntry>& entries)
{
    QList<LoggableMarker> markers;
    markers.reserve(entries.size());
    for (const LogEntry& entry : entries)
        markers.append(entry.asMarker());
    return markers;
}

// The ALE's FPS field is the bare rate: "29.97 DF fps" is written "29.97".
QString aleRate(const CameraTimecode::Format& format)
{
    QString label = format.label();
    label.remove(QStringLiteral(" fps"));
    label.remove(QStringLiteral(" DF"));
    return label;
}

// Times that are no number sort last, so the order stays strict.
bool earlier(Date a, Date b)
{
    const double x = a.secondsSince1970();
    const double y = b.secondsSince1970();
    return !std::isnan(x) && (std::isnan(y) || x < y);
}

quint32 rowColor(const QString& kind, bool hasButton)
{
    if (kind == u"note")
        return kNoteRowHex;
    if (hasButton)
        if (const std::optional<LogButtonKind> known = LogButtonKind::lookup(kind))
            return known->hex;
    return LogButtonKind::unknownHex;
}

// Why a file could not be opened, in the system's words ("Read-only file system", "No such file
// or directory"), rather than the save file's own text, which repeats the whole path.
QString openFailure(const QString& path, const QSaveFile& file)
{
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.exists() ? info.absoluteFilePath() : info.absolutePath());
    if (::access(target.constData(), W_OK) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return file.errorString();
}

// Writes the whole file or leaves the path as it was. Returns why it failed, or nullopt.
std::optional<QString> writeWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return openFailure(path, file);
    // A commit after a failed last flush would replace the old file with a short one (a full
    // disk), and a commit ignores a failed sync: every byte must be on the disk first.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (::fsync(file.handle()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace

LogExporter::LogExporter(LoggingScreenModel& screen, QObject* parent) : QObject(parent), m_screen(&screen)
{
    connect(&screen.log(), &LoggingLog::transcriptChanged, this, &LogExporter::followTranscript);
    connect(&screen.transcriber(), &DesktopTranscriber::segmentsChanged, this, &LogExporter::followTranscript);
    m_transcriptAvailable = cleanTranscriptAvailable();
}

bool LogExporter::cleanTranscriptAvailable() const
{
    return m_screen && (!m_screen->log().transcript().isEmpty() || !m_screen->transcriber().segments().isEmpty());
}

void LogExporter::followTranscript()
{
    const bool available = cleanTranscriptAvailable();
    if (available == m_transcriptAvailable)
        return;
    m_transcriptAvailable = available;
    Q_EMIT menuItemsChanged();
}

QList<LogExporter::MenuItem> LogExporter::menuItems() const
{
    return {
        {QStringLiteral("Export selects\u2026"), Action::ShowExportSheet},
        {QString(), std::nullopt},
        {QStringLiteral("Avid locators (.txt)"), Action::AvidLocators},
        {QStringLiteral("Avid locators 16-colour, MC 2024.6+ (.txt)"), Action::AvidLocators16},
        {QStringLiteral("Avid markers (.xml)"), Action::AvidMarkersXml},
        {QStringLiteral("Avid Log Exchange (.ale)"), Action::Ale},
        {QStringLiteral("ScriptSync selects (.txt)"), Action::ScriptSyncSelects},
        {QStringLiteral("Clean transcript for ScriptSync (.txt)"), Action::CleanTranscript, cleanTranscriptAvailable()},
        {QStringLiteral("Spreadsheet (.csv)"), Action::Csv},
        {QStringLiteral("Log sheet (.pdf)"), Action::Pdf},
    };
}

void LogExporter::trigger(Action action)
{
    if (!m_screen)
        return;
    if (action == Action::ShowExportSheet) {
        m_screen->setShowExport(true);
        return;
    }
    if (action == Action::CleanTranscript) {
        if (cleanTranscriptAvailable())
            run(cleanTranscriptJob());
        return;
    }
    static constexpr std::pair<Action, File> files[] = {
        {Action::AvidLocators, File::Locators},
        {Action::AvidLocators16, File::Locators16},
        {Action::AvidMarkersXml, File::MarkersXml},
        {Action::Ale, File::Ale},
        {Action::ScriptSyncSelects, File::ScriptSync},
        {Action::Csv, File::Csv},
        {Action::Pdf, File::Pdf},
    };
    for (const auto& [item, file] : files)
        if (item == action)
            return run(job(file, m_screen->log().entries().toList(), std::nullopt));
}

void LogExporter::exportChoice(const ExportChoice& choice)
{
    // The sheet is still closing: the save panel opens over the window once it has gone.
    QTimer::singleShot(0, this, [this, choice] {
        if (!m_screen)
            return;
        static constexpr std::pair<ExportFormat, File> files[] = {
            {ExportFormat::Ale, File::Ale},
            {ExportFormat::Edl, File::Edl},
            {ExportFormat::AvidLocators, File::Locators},
            {ExportFormat::AvidXml, File::MarkersXml},
            {ExportFormat::ScriptSync, File::ScriptSync},
            {ExportFormat::Csv, File::Csv},
            {ExportFormat::Pdf, File::Pdf},
        };
        for (const auto& [format, file] : files)
            if (format == choice.format)
                return run(job(file, choice.entries, choice.tape));
    });
}

LogExporter::Job LogExporter::job(File file, const QList<LogEntry>& entries, const std::optional<QString>& tape) const
{
    const CameraTimecode::Format format = m_screen->camera().format();
    const Date created = m_screen->log().createdAt();
    const auto text = [](QString content) { return std::optional<QByteArray>(content.toUtf8()); };
    const auto toFrames = [format](const QString& timecode) {
        return LogExport::eventTimecodeFrames(format, timecode);
    };
    const auto toText = [format](qint64 frames) { return LogExport::eventTimecodeText(format, frames); };

    switch (file) {
    case File::Locators:
    case File::Locators16: {
        const bool sixteen = file == File::Locators16;
        return {sixteen ? QStringLiteral("pindle-log-locators-16.txt") : QStringLiteral("pindle-log-locators.txt"),
                false, [text, format, sixteen, markers = markersOf(entries)] {
                    return text(LogExport::avidLocators(markers, format.base, sixteen));
                }};
    }
    case File::MarkersXml:
        return {QStringLiteral("pindle-log-markers.xml"), false, [format, markers = markersOf(entries)] {
                    return std::optional(LogExport::avidMarkersXML(markers, format.base, kPindleUser));
                }};
    case File::Ale:
        return {QStringLiteral("pindle-log.ale"), false,
                [text, format, tape, toFrames, toText, markers = markersOf(entries)] {
                    return text(LogExport::ale(markers, aleRate(format), kAleVideoFormat, tape, toFrames, toText));
                }};
    case File::ScriptSync:
        return {QStringLiteral("pindle-selects-script.txt"), false, [text, markers = markersOf(entries)] {
                    return text(LogExport::scriptSyncSelects(markers, kSelectsTitle));
                }};
    case File::Edl: {
        const QString title = QStringLiteral("Pindle selects ") + formatDate(created, DateStyle::Abbreviated);
        const qint64 recordStart = format.parseFrames(kEdlRecordStart).value_or(0);
        return {QStringLiteral("pindle-selects.edl"), false,
                [text, format, tape, title, recordStart, toFrames, toText, markers = markersOf(entries)] {
                    return text(LogExport::edl(markers, title, tape.value_or(kEdlReel), format.dropFrame, 0,
                                               recordStart, toFrames, toText));
                }};
    }
    case File::Csv:
        return {QStringLiteral("pindle-log.csv"), false,
                [text, rows = sheetRows(entries, m_screen->buttons())] { return text(LogSheetExport::csv(rows)); }};
    case File::Pdf: {
        LogSheetExport::Meta meta;
        meta.title = logTitle(created);
        meta.date = created;
        meta.frameRate = format.label();
        meta.cameraSynced = std::holds_alternative<CameraTimecode::Camera>(m_screen->camera().source());
        return {QStringLiteral("pindle-log.pdf"), true,
                [meta, rows = sheetRows(entries, m_screen->buttons())]() -> std::optional<QByteArray> {
                    // The sheet's fonts need a GUI application; without one no PDF can be drawn.
                    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
                        return std::nullopt;
                    return LogSheetExport::pdf(rows, meta);
                }};
    }
    }
    return {};
}

LogExporter::Job LogExporter::cleanTranscriptJob()
{
    LoggingScreenModel& screen = *m_screen;
    LoggingLog& log = screen.log();
    // The lines heard since the screen last folded them in belong in the transcript too.
    log.mergeSegments(screen.transcriber().segments(), screen.runStart(),
                      [&screen](const DisplaySegment& segment) { return screen.lineTimecode(segment); });
    QList<LogExport::TranscriptTurn> turns;
    turns.reserve(log.transcript().size());
    for (const LogLine& line : log.transcript())
        turns.append(screen.transcriptTurn(line));
    const Date created = log.createdAt();
    return {QStringLiteral("pindle-transcript-scriptsync.txt"), false, [turns, title = logTitle(created), created] {
                return std::optional(LogExport::cleanTranscript(turns, title, created).toUtf8());
            }};
}

void LogExporter::run(Job job)
{
    if (!job.render)
        return;
    if (!m_panel) {
        fail(QStringLiteral("Couldn't export %1: there's no save panel to ask where it goes.").arg(job.name));
        return;
    }
    QPointer<LogExporter> self(this);
    m_panel->ask(job.name, job.pdf, [self, job](const std::optional<QString>& path) {
        if (self && path)
            self->finish(job, *path);
    });
}

void LogExporter::finish(const Job& job, const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const std::optional<QByteArray> bytes = job.render();
    if (!bytes) {
        fail(QStringLiteral("Couldn't draw the log sheet, so %1 wasn't saved.").arg(name));
        return;
    }
    if (const std::optional<QString> reason = writeWhole(path, *bytes)) {
        fail(QStringLiteral("Couldn't save %1: %2. Nothing was exported.").arg(name, *reason));
        return;
    }
    // A failure this exporter reported is over once an export goes through.
    if (m_screen && m_shownNotice && m_screen->transcriber().notice() == m_shownNotice)
        m_screen->transcriber().setNotice(std::nullopt);
    m_shownNotice.reset();
    Q_EMIT saved(path);
}

void LogExporter::fail(const QString& message)
{
    if (m_screen) {
        m_screen->transcriber().setNotice(message);
        m_shownNotice = message;
    }
    Q_EMIT failed(message);
}

QList<LogSheetExport::Row> LogExporter::sheetRows(const QList<LogEntry>& entries, const LogButtonStore& buttons)
{
    QList<const LogEntry*> kept;
    for (const LogEntry& entry : entries)
        if (!entry.open && !entry.suggested)
            kept.append(&entry);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const LogEntry* a, const LogEntry* b) { return earlier(a->time, b->time); });

    QList<LogSheetExport::Row> rows;
    rows.reserve(kept.size());
    for (const LogEntry* entry : std::as_const(kept)) {
        const std::optional<LogButton> button = buttons.button(entry->type);
        LogSheetExport::Row row;
        row.type = button ? button->name : LogButtonKind::capitalized(entry->type);
        row.colorHex = rowColor(entry->type, button.has_value());
        row.timecode = entry->timecode;
        row.out = entry->timecodeOut.value_or(QString());
        row.who = entry->speaker.value_or(QString());
        row.said = entry->highlight;
        row.note = entry->note;
        row.summary = entry->summary;
        row.tags = entry->tags;
        rows.append(row);
    }
    return rows;
}
