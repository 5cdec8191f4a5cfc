#pragma once

#include "agent/ChannelAgent.h"
#include "audio/DesktopTranscriber.h"
#include "export/ScriptSyncWriter.h"
#include "model/LogButtonStore.h"
#include "model/LogKeywordStore.h"
#include "model/LogSessionStore.h"
#include "model/LogTagStore.h"
#include "model/LoggingLog.h"
#include "model/SoundCueSettings.h"
#include "platform/Clock.h"
#include "platform/DesktopNotifications.h"
#include "screens/LineUse.h"
#include "screens/LogPaneModel.h"
#include "screens/MixerModel.h"
#include "screens/TranscriptPaneModel.h"
#include "service/LoggerCloud.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <QVariantMap>

#include <chrono>
#include <memory>
#include <optional>

class APIService;
class CameraTimecode;
class Defaults;
class ShootSyncRows;

// What the logging screen is built on. Empty members take the application's own.
struct LoggingScreenEnvironment {
    Defaults* defaults = nullptr;
    // Summaries (APIService::shared()).
    APIService* service = nullptr;
    // The shoot sync (LoggerCloud::shared()).
    LoggerCloud* cloud = nullptr;
    // The camera clock that stamps every entry (CameraTimecode::shared()).
    CameraTimecode* camera = nullptr;
    // Time and the screen's short timers (Clock::system()).
    Clock* clock = nullptr;
    // The saved sessions file; empty for the one in the application's support folder.
    QString sessionsFile;
    TranscriberEnvironment transcriber;
    AgentEnvironment agent;
    // Keyword and new-topic alerts; null for the screen's own on the session bus.
    DesktopNotifications* notifications = nullptr;
    // The launch's demo mode: Start plays the pretend shoot and never asks for a shoot token.
    bool demo = false;
};

// One chip of the marker-button bar, as the view draws it.
struct LogButtonChip {
    LogButton button;
    // "Ctrl+1" … "Ctrl+9" for the first nine chips, empty after.
    QString hotkey;
    bool kept = false;
    bool popped = false;
    bool recording = false;
    QString help;

    friend bool operator==(const LogButtonChip&, const LogButtonChip&) = default;
};

// The logging screen without widgets: it owns the log, the stores, the engine and the agent,
// holds the screen's state that carries behaviour (selection, pop, flashes, picker, composer,
// renames, jump target), and runs every handler and change rule of the screen. Views observe
// it and forward the logger's actions.
//
// Main thread only. Time and every short timer come from the environment's clock. Late answers
// (summaries, shoot tokens) are checked against what they were asked for and dropped once that
// moved on.
class LoggingScreenModel : public QObject {
    Q_OBJECT

public:
    // A B-roll mark-in is stamped this long before the press.
    static constexpr double kPreRoll = 5.0;
    // The summary's lead-in: lines that ended this long before the entry's window.
    static constexpr double kLeadInSeconds = 45.0;
    static constexpr std::chrono::milliseconds kPopHold{120};
    static constexpr std::chrono::milliseconds kJumpHold{6000};
    // A transcript change reaches the saved session at most this long after it happened: the
    // tenth-line save alone would lose up to nine lines and every in-place edit in a crash.
    static constexpr std::chrono::milliseconds kTranscriptSaveDelay{2000};
    // A second refusal of the shoot this soon after a restart stops logging instead of making
    // yet another shoot.
    static constexpr double kRefusalWindowSeconds = 60.0;
    static constexpr int kHotkeyChips = 9;
    // A typed timecode is drafted this far ahead, for the logger to lock when the camera shows it.
    static constexpr double kTypedTimecodeLead = 5.0;
    static constexpr int kAgentEntryLimit = 40;
    static constexpr int kAgentQuoteCharacters = 200;

    static inline const QString kInOutKind = QStringLiteral("broll");
    static inline const QString kShowMixerKey = QStringLiteral("pindle_logger_show_mixer");
    static inline const QString kShowTagsKey = QStringLiteral("pindle_logger_show_tags");
    static inline const QString kAgentPlaceKey = QStringLiteral("pindle_logger_agent_place");
    static constexpr char kShootRefusedNotice[] =
        "The service keeps refusing this shoot, so logging stopped. Press Start to try again.";

    explicit LoggingScreenModel(LoggingScreenEnvironment environment = {}, QObject* parent = nullptr);
    // Saves and stops, as going away does.
    ~LoggingScreenModel() override;

    // --- owned and shared objects ---
    [[nodiscard]] LoggingLog& log() { return *m_log; }
    [[nodiscard]] LogTagStore& tags() { return *m_tags; }
    [[nodiscard]] SoundCueSettings& soundCues() { return *m_soundCues; }
    [[nodiscard]] LogSessionStore& sessions() { return *m_sessions; }
    [[nodiscard]] DesktopTranscriber& transcriber() { return *m_transcriber; }
    [[nodiscard]] LogButtonStore& buttons() { return *m_buttons; }
    [[nodiscard]] LogKeywordStore& keywords() { return *m_keywords; }
    [[nodiscard]] ChannelAgent& agent() { return *m_agent; }
    [[nodiscard]] CameraTimecode& camera() { return m_camera; }
    [[nodiscard]] Defaults& defaults() { return m_defaults; }
    // Summaries, shoots and the search across shoots.
    [[nodiscard]] APIService& service() { return m_service; }
    [[nodiscard]] LoggerCloud& cloud() { return m_cloud; }
    [[nodiscard]] bool isDemo() const { return m_demo; }
    // The log pane and tag bar.
    [[nodiscard]] LogPaneModel& logPane() { return *m_logPane; }
    // The transcript pane: its hover, hold and the lines it shows.
    [[nodiscard]] TranscriptPaneModel& transcriptPane() { return *m_transcriptPane; }
    // The mixer band; its rename asks for the "Name this channel" alert.
    [[nodiscard]] MixerModel& mixer() { return *m_mixer; }

    // The screen is first shown: agent and keyword wiring, the keyword sync, the agent following
    // `running`, and the shoot-sync snapshot. Once.
    void appear();
    // The screen goes away: the session is saved and the engine stopped. Once.
    void disappear();

    // --- state ---
    [[nodiscard]] const std::optional<QUuid>& selectedEntry() const { return m_logPane->state().selected; }
    void setSelectedEntry(const std::optional<QUuid>& id) { m_logPane->setSelected(id); }
    [[nodiscard]] const std::optional<QString>& poppedKind() const { return m_poppedKind; }
    [[nodiscard]] const QSet<QUuid>& flashing() const { return m_logPane->state().flashing; }
    [[nodiscard]] const std::optional<QUuid>& pickingFor() const { return m_pickingFor; }
    [[nodiscard]] const QSet<QString>& pickIDs() const { return m_pickIDs; }
    void setPicked(const QString& lineID, bool picked);
    [[nodiscard]] const std::optional<QString>& composingLine() const { return m_composingLine; }
    void setComposingLine(const std::optional<QString>& lineID);
    [[nodiscard]] const std::optional<QString>& draftKind() const { return m_draftKind; }
    [[nodiscard]] bool composerFocused() const { return m_composerFocused; }
    [[nodiscard]] const QString& draftNote() const { return m_draftNote; }
    [[nodiscard]] const std::optional<QUuid>& editingNote() const { return m_logPane->state().editingNote; }
    [[nodiscard]] const QHash<QString, QString>& speakerNames() const { return m_speakerNames; }
    [[nodiscard]] const QSet<QString>& flaggedLines() const { return m_flaggedLines; }
    [[nodiscard]] const std::optional<QString>& scrollTarget() const { return m_scrollTarget; }
    [[nodiscard]] bool startPending() const { return m_startPending; }

    [[nodiscard]] bool showMixer() const { return m_showMixer; }
    void setShowMixer(bool show);
    [[nodiscard]] bool showTags() const { return m_showTags; }
    void setShowTags(bool show);
    [[nodiscard]] const QString& agentPlace() const { return m_agentPlace; }
    void setAgentPlace(const QString& place);
    // The tab a narrow window shows: 0 Log, 1 Transcript; kept across width changes.
    [[nodiscard]] int tab() const { return m_tab; }
    void setTab(int tab);
    // The window is narrower than the full header needs.
    [[nodiscard]] bool compactHeader() const { return m_compactHeader; }
    void setCompactHeader(bool compact);

    // Typed timecode and the two rename alerts: the alert's field text and what it is about.
    QString tcDraft;
    // The "Type the camera's timecode" alert is shown.
    [[nodiscard]] bool showTCEntry() const { return m_showTCEntry; }
    void setShowTCEntry(bool show);
    QString renameText;
    QString channelNameText;
    [[nodiscard]] const std::optional<QString>& renamingSpeaker() const { return m_renamingSpeaker; }
    void setRenamingSpeaker(const std::optional<QString>& speaker);
    [[nodiscard]] const std::optional<int>& renamingChannel() const { return m_renamingChannel; }
    void setRenamingChannel(const std::optional<int>& index);

    // --- derived ---
    // The transcript without the lines of watch-only channels, as one list: for tests and small
    // transcripts (the screen itself reads them through the transcript pane's rows).
    [[nodiscard]] QList<DisplaySegment> visibleSegments() const;
    [[nodiscard]] QString displayedSpeaker(const QString& label) const;
    // The saved line's timecode: camera timecode of the line's start when placed, else its own.
    [[nodiscard]] QString lineTimecode(const DisplaySegment& segment) const;
    // The run start under which lines are saved and synced.
    [[nodiscard]] qint64 runStart() const;

    // --- start, stop and screen handlers ---
    void toggleLogging();
    // Installs the restart on a refused shoot, then fetches the shoot token and starts the engine
    // with it. A press while an earlier token fetch is under way does nothing.
    void startCloudLogging(bool forceNew);
    void syncKeywords(const QStringList& words);
    // A clicked alert: "channel" (non-negative int) is monitored, "line" (text) is jumped to.
    void openAlert(const QVariantMap& userInfo);
    // False (with the notice set) when `tcDraft` is not a timecode in the clock's format.
    bool lockTypedTimecode();
    void saveSpeakerName();
    void renameChannel(int index);
    void saveChannelName();
    void openChannel(std::optional<int> channel);
    void jumpToHit(const std::optional<QUuid>& entryID, const std::optional<QString>& lineID);
    // Scrolls the transcript to `lineID`; the target clears 6 s later unless it moved on.
    void scrollTo(const QString& lineID);
    // A store could not read its file and kept it aside at `path`: said once per file.
    void reportFileKeptAside(const QString& path);

    // --- marking ---
    [[nodiscard]] QList<LogButtonChip> buttonChips() const;
    [[nodiscard]] static QString chipHelp(const LogButton& button);
    void tapButton(const LogButton& button);
    QUuid tapEntry(const LogButton& button, Date start, Date end, const QString& highlight);
    void toggleRange(const QString& kind, const std::optional<QUuid>& openRange);
    QUuid markIn(const QString& kind);
    // Asks for the summary of `id`; an answer applies only while the entry is the one asked about
    // (not deleted, not rebuilt since).
    void requestSummary(const QUuid& id, const QString& text, const std::optional<QString>& kind,
                        std::optional<double> startSecs);
    [[nodiscard]] QString summaryContext(const std::optional<QString>& kind) const;
    [[nodiscard]] QString leadInText(std::optional<double> startSecs) const;
    [[nodiscard]] QStringList summarySpeakers() const;
    void openPicker(const QUuid& id);
    void closePicker();
    // The picker's Save: rebuilds the entry from the ticked lines.
    void applyPickedLines();
    // The picker's "Keep the last few seconds", and any other dismissal.
    void keepWindowText();
    void flash(const QUuid& id) { m_logPane->flash(id); }

    // --- transcript lines in the log ---
    // Which lines the log uses and which of their words; follows the entries.
    [[nodiscard]] const LineUse& lineUse() const { return m_lineUse; }
    // The transcript line with this id, among all of the engine's lines.
    [[nodiscard]] std::optional<DisplaySegment> segment(const QString& lineID) const;
    // A click on a line: a line logged whole selects its first entry; any other opens the
    // composer under it with an empty note and the first chip's kind, the note field taking the
    // keyboard on the next turn.
    void selectLine(const QString& lineID);

    // --- note composer and drops ---
    // The composer's kind: the one picked, else the first visible button's, else "earmark".
    [[nodiscard]] QString composerKind() const;
    void setDraftNote(const QString& note);
    // A kind chip of the composer: picks the kind and gives the note field the keyboard.
    void setDraftKind(const QString& kind);
    // Enter, "Log ⏎" and drops: the line becomes an entry of the composer's kind and note.
    void commitComposer(const QString& lineID);
    // Esc and the end of every commit.
    void cancelComposer();
    QUuid lineEntry(const QString& kind, Date time, Date end, const QString& text,
                    const std::optional<QString>& speaker, const QString& note, const DisplaySegment& line);
    // Dropped texts on a line: false unless one is a marker button's payload.
    bool dropOnLine(const QStringList& texts, const QString& lineID);
    void dropButtonOnLine(const QString& kind, const QString& lineID);

    // --- line picker ---
    struct LinePicker {
        QString title;
        QColor color;
        // The held or visible lines, the last 40 of them.
        QList<DisplaySegment> lines;
    };
    static constexpr int kPickerLines = 40;
    [[nodiscard]] LinePicker linePicker() const;

    // --- window-wide shortcuts ---
    // Ctrl+Return: selects the newest line no entry uses.
    void selectNewestLine();
    // Ctrl+N: saves an open picker, then edits the note of the newest entry not suggested.
    void noteOnLastEntry();
    // Ctrl+F.
    void openSearch() { setShowSearch(true); }
    [[nodiscard]] bool showSearch() const { return m_showSearch; }
    void setShowSearch(bool show);

    // --- sheets the header opens ---
    [[nodiscard]] bool showButtons() const { return m_showButtons; }
    void setShowButtons(bool show);
    [[nodiscard]] bool showKeywords() const { return m_showKeywords; }
    void setShowKeywords(bool show);
    [[nodiscard]] bool showExport() const { return m_showExport; }
    void setShowExport(bool show);
    // The timecode menu's "Type the camera's timecode…": a draft 5 s ahead, and the alert.
    void beginTypedTimecode();
    // The notice banner's dismiss control.
    void dismissBanner();

    // --- keyword and new-topic alerts ---
    // A keyword heard on a line: the line is flagged, an alert posted, a suggested entry made
    // and a chat item added. No summary is asked and the selection stays.
    void onKeywordHit(int channel, const QString& keyword, const DisplaySegment& line);
    QUuid keywordEntry(Date start, Date end, const DisplaySegment& line);
    // A watch-only channel turned to something new.
    void postAgentAlert(int channel, const ChannelAgent::Brief& brief);
    [[nodiscard]] DesktopNotifications::Alert keywordAlert(const QString& keyword, const QString& channelName,
                                                           const DisplaySegment& line) const;

    // --- shoot sync ---
    void beginShoot(const std::optional<QString>& token);
    // The service refused the shoot: a new one is made, unless it refused again just now.
    void restartLogging();
    // The log as the next sync sends it; rows unchanged since the last snapshot are not encoded
    // again.
    [[nodiscard]] LoggerCloud::Snapshot cloudSnapshot() const;
    // One line and one entry as the sync sends them.
    [[nodiscard]] std::optional<QJsonObject> syncSegment(const DisplaySegment& segment) const;
    [[nodiscard]] QJsonObject syncMarker(const LogEntry& entry) const;
    [[nodiscard]] QString buttonLabel(const QString& kind) const;
    [[nodiscard]] QString shootTitle() const;
    // A saved line as a turn of the clean transcript export, under the speaker's given name.
    [[nodiscard]] LogExport::TranscriptTurn transcriptTurn(const LogLine& line) const;

Q_SIGNALS:
    void poppedKindChanged();
    void pickingChanged();
    void composerChanged();
    void speakerNamesChanged();
    void flaggedLinesChanged();
    void scrollTargetChanged();
    void renamingChanged();
    void showTCEntryChanged();
    // The lines whose use by the log may have changed, once after a change of the entries.
    void lineUseChanged(const QStringList& lines);
    void layoutStateChanged();
    void showSearchChanged();
    // showButtons, showKeywords or showExport changed.
    void sheetsChanged();
    void settingsChanged();
    void startPendingChanged();
    // The marker-button bar's chips changed (buttons, pop, composer kind, an open range).
    void buttonChipsChanged();
    // A clicked alert wants the window brought to the front.
    void raiseRequested();

private:
    // Change rules.
    void entriesChanged();
    void segmentsChanged();
    void runningChanged();
    void scanningChanged();
    void postScanSummary();
    void followRunning(bool running);
    void mergeTranscript();
    void collectLines(int first, int last);
    void saveSession();
    void saveFailed(const QString& message);
    void saveTranscriptNow();
    // Clears every state that names an entry the log no longer has.
    void forgetGoneEntries();
    void setPoppedKind(const std::optional<QString>& kind);
    // The chip of `kind` drawn pressed for a moment (a press or a drop).
    void popChip(const QString& kind);
    void setPickingFor(const std::optional<QUuid>& id);
    void updateRowLook();
    // Keeps the line use with the log's row news, and publishes the lines it touched.
    void followLineUse();
    void publishLineUse();
    // The picker offers and picks from the rows the transcript pane shows (the held ones, else
    // the visible lines). The ticked lines in that order, found by id through the pane's index.
    [[nodiscard]] QList<DisplaySegment> pickedLines() const;
    // The channels shown only when a line raised an alert, and whether a line is shown.
    [[nodiscard]] QSet<int> watchOnlyChannels() const;
    [[nodiscard]] bool isVisible(const DisplaySegment& segment, const QSet<int>& watchOnly) const;
    [[nodiscard]] QJsonArray agentLoggedEntries() const;
    [[nodiscard]] std::optional<ChannelConfig> channelConfig(int index) const;
    void setNotice(const QString& text);

    Clock& m_clock;
    Defaults& m_defaults;
    APIService& m_service;
    LoggerCloud& m_cloud;
    CameraTimecode& m_camera;
    const bool m_demo;

    std::unique_ptr<LogTagStore> m_tags;
    std::unique_ptr<SoundCueSettings> m_soundCues;
    std::unique_ptr<LogSessionStore> m_sessions;
    std::unique_ptr<LogButtonStore> m_buttons;
    std::unique_ptr<LogKeywordStore> m_keywords;
    std::unique_ptr<LoggingLog> m_log;
    std::unique_ptr<DesktopTranscriber> m_transcriber;
    std::unique_ptr<ChannelAgent> m_agent;
    std::unique_ptr<LogPaneModel> m_logPane;
    std::unique_ptr<TranscriptPaneModel> m_transcriptPane;
    std::unique_ptr<MixerModel> m_mixer;
    // The shoot sync's encoded rows; after the engine and the log, which it follows.
    std::unique_ptr<ShootSyncRows> m_syncRows;
    std::unique_ptr<Clock::Timer> m_transcriptSaveTimer;
    std::unique_ptr<DesktopNotifications> m_ownNotifications;
    DesktopNotifications* m_notifications = nullptr;

    bool m_appeared = false;
    bool m_gone = false;
    std::optional<QString> m_poppedKind;
    std::optional<QUuid> m_pickingFor;
    QSet<QString> m_pickIDs;
    std::optional<QString> m_composingLine;
    std::optional<QString> m_draftKind;
    bool m_composerFocused = false;
    QString m_draftNote;
    LineUse m_lineUse;
    // Lines touched by the row news of the change under way.
    QSet<QString> m_lineUseTouched;
    bool m_showSearch = false;
    bool m_showButtons = false;
    bool m_showKeywords = false;
    bool m_showExport = false;
    QHash<QString, QString> m_speakerNames;
    QSet<QString> m_flaggedLines;
    std::optional<QString> m_scrollTarget;
    std::optional<QString> m_renamingSpeaker;
    std::optional<int> m_renamingChannel;
    bool m_showMixer = true;
    bool m_showTags = true;
    bool m_showTCEntry = false;
    int m_tab = 0;
    bool m_compactHeader = false;
    QString m_agentPlace = QStringLiteral("channels");

    qsizetype m_segmentCount = 0;
    // Lines added or changed since the last merge, in the order the engine reported them; after
    // the engine's transcript was replaced, the next merge takes every line.
    QList<DisplaySegment> m_unmerged;
    bool m_mergeAll = false;
    bool m_wasScanning = false;
    bool m_startPending = false;
    // When the last restart on a refused shoot happened.
    std::optional<Date> m_lastRestart;
    // Per entry, the number of the summary request whose answer may still apply.
    QHash<QUuid, quint64> m_summaryRequests;
    quint64 m_summaryNumber = 0;
    bool m_writeFailureShown = false;
    QSet<QString> m_keptAsideShown;
};
