#pragma once

#include "export/LogSheetExport.h"
#include "model/LogEntry.h"
#include "screens/ExportFormat.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class LogButtonStore;
class LoggingScreenModel;
class SavePanel;

// The logging screen's exports: the Export menu's items, the export sheet's choice, the save
// panel, and a whole-or-nothing write of the file. Every writer is handed what the log holds when
// the action is chosen; the file is drawn and written once the panel has answered. A failed write
// leaves any file already at the path as it was, and says so in the screen's notice, naming the
// file and the reason; a cancelled panel writes nothing and says nothing.
//
// Main thread only. Acts only while the screen lives.
class LogExporter : public QObject {
    Q_OBJECT

public:
    // What an Export menu item does.
    enum class Action {
        // Opens the export sheet.
        ShowExportSheet,
        AvidLocators,
        AvidLocators16,
        AvidMarkersXml,
        Ale,
        ScriptSyncSelects,
        CleanTranscript,
        Csv,
        Pdf,
    };

    // One row of the Export menu; a row without an action is a separator. Texts have no "&".
    struct MenuItem {
        QString text;
        std::optional<Action> action;
        bool enabled = true;

        friend bool operator==(const MenuItem&, const MenuItem&) = default;
    };

    explicit LogExporter(LoggingScreenModel& screen, QObject* parent = nullptr);

    // The panel that asks for each file's path; not owned, and must outlive its installation
    // (install null before it goes). Without one an export only says it could not ask.
    void setSavePanel(SavePanel* panel) { m_panel = panel; }
    [[nodiscard]] SavePanel* savePanel() const { return m_panel; }

    // The Export menu, in order.
    [[nodiscard]] QList<MenuItem> menuItems() const;
    // The clean transcript needs lines: saved in the log, or heard since.
    [[nodiscard]] bool cleanTranscriptAvailable() const;
    // A chosen menu item, with every entry of the log. A disabled item does nothing.
    void trigger(Action action);

    // The export sheet's "Export…": runs on the next turn of the event loop, once the sheet has
    // closed, with the sheet's entries and tape.
    void exportChoice(const ExportChoice& choice);

    // The spreadsheet and PDF rows: entries neither open nor suggested, in time order (entries of
    // one time keep their order), each named by its button (else its capitalised kind) and
    // coloured by its kind.
    [[nodiscard]] static QList<LogSheetExport::Row> sheetRows(const QList<LogEntry>& entries,
                                                              const LogButtonStore& buttons);

Q_SIGNALS:
    void menuItemsChanged();
    // The whole file is at `path`.
    void saved(const QString& path);
    // Nothing was written; `message` is what the notice says.
    void failed(const QString& message);

private:
    // One file to export: its suggested name and how to make its bytes (nullopt when they could
    // not be made). Everything the bytes need is copied in when the job is made.
    struct Job {
        QString name;
        bool pdf = false;
        std::function<std::optional<QByteArray>()> render;
    };
    enum class File { Locators, Locators16, MarkersXml, Ale, ScriptSync, Csv, Pdf, Edl };

    [[nodiscard]] Job job(File file, const QList<LogEntry>& entries, const std::optional<QString>& tape) const;
    [[nodiscard]] Job cleanTranscriptJob();
    void run(Job job);
    void finish(const Job& job, const QString& path);
    void fail(const QString& message);
    void followTranscript();

    QPointer<LoggingScreenModel> m_screen;
    SavePanel* m_panel = nullptr;
    bool m_transcriptAvailable = false;
    // The notice this exporter last showed, cleared by the next export that succeeds.
    std::optional<QString> m_shownNotice;
};
