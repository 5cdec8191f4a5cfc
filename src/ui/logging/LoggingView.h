#pragma once

#include "screens/LoggingScreenModel.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class AgentPanel;
class AgentPanelModel;
class ButtonBar;
class ComposerView;
class TranscriptListModel;
class TranscriptPaneView;
class LogButtonsSheet;
class LogKeywordsSheet;
class LogExportSheet;
class LogSearchSheet;
class FileDialogSavePanel;
class HeaderPillButton;
class LogExporter;
class HeaderView;
class LinePickerSheet;
class QAbstractButton;
class QButtonGroup;
class LogEntryListModel;
class LogPaneView;
class MixerView;
class QBoxLayout;
class TagBar;
class TextAlert;

// The logging screen: the one screen once the logger is signed in. It owns the screen model
// (and through it the log, the stores, the engine and the agent) and lays out thin views over
// it: the log pane, the tag bar, the marker-button bar and the transcript, in two columns or, in
// a narrow window, one column with a Log and a Transcript tab. The views forward the logger's
// actions to the model and redraw from its values; nothing here decides anything.
//
// The header, the mixer band and Mark's chat have slots of their own, empty until their views
// are put in; an empty slot takes no room.
class LoggingView : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kMinimumSize{420, 560};

    explicit LoggingView(LoggingScreenEnvironment environment = {}, QWidget* parent = nullptr);
    // The screen model saves the session and stops the engine as it goes.
    ~LoggingView() override;

    [[nodiscard]] LoggingScreenModel& screen() { return *m_screen; }
    [[nodiscard]] ButtonBar* buttonBar() const { return m_buttonBar; }
    [[nodiscard]] LogPaneView* logPane() const { return m_logPane; }
    [[nodiscard]] TagBar* tagBar() const { return m_tagBar; }
    [[nodiscard]] TranscriptPaneView* transcriptPane() const { return m_transcript; }
    [[nodiscard]] ComposerView* composer() const { return m_composer; }
    // Slots for the header's top bar, the mixer band and Mark's chat in each of its two places.
    [[nodiscard]] QWidget* headerSlot() const { return m_headerSlot; }
    [[nodiscard]] HeaderView* header() const { return m_header; }
    [[nodiscard]] QWidget* mixerSlot() const { return m_mixerSlot; }
    [[nodiscard]] MixerView* mixer() const { return m_mixer; }
    [[nodiscard]] QWidget* chatUnderLogSlot() const { return m_chatUnderLog; }
    [[nodiscard]] QWidget* chatByChannelsSlot() const { return m_chatByChannels; }
    // Mark's chat in its two places: by the channels, under the log.
    [[nodiscard]] const QList<AgentPanel*>& agentPanels() const { return m_agentPanels; }
    [[nodiscard]] QWidget* transcriptSlot() const { return m_transcriptSlot; }
    // The narrow window's Log / Transcript picker.
    [[nodiscard]] QAbstractButton* tabButton(int tab) const;
    // The columns as laid out now.
    [[nodiscard]] QWidget* logColumn() const { return m_logColumn; }
    [[nodiscard]] QWidget* channelColumn() const { return m_channelColumn; }
    // The alert on screen now, if any.
    [[nodiscard]] TextAlert* openAlert() const;
    [[nodiscard]] LogExportSheet* openExportSheet() const;
    [[nodiscard]] LogSearchSheet* openSearchSheet() const;
    // The Export menu's pill in the header, and what its items do.
    [[nodiscard]] HeaderPillButton* exportButton() const { return m_exportButton; }
    [[nodiscard]] LogExporter& exporter() { return *m_exporter; }
    // Where the exports ask for their files.
    [[nodiscard]] FileDialogSavePanel& savePanel() { return *m_savePanel; }
    // The line picker on screen now, if any.
    [[nodiscard]] LinePickerSheet* openPicker() const;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void wireButtonBar();
    void wireLogPane();
    void wireTagBar();
    void wireAlerts();
    void wireShortcuts();
    void relayShortcuts(QWidget* dialog);
    void wirePicker();
    void followPicker();
    void followSheets();
    void followSearch();
    void followAlerts();
    void showAlert(TextAlert* alert, std::function<void(const QString&)> accept, std::function<void()> cancel);
    void buildLayout();
    void buildTranscript();
    void buildExport();
    void buildAgentChat();
    void applyLayout();
    void wireLayout();

    std::unique_ptr<LoggingScreenModel> m_screen;
    // Goes before the agent it reads.
    std::unique_ptr<AgentPanelModel> m_agentPanel;
    QList<AgentPanel*> m_agentPanels;
    // The panel outlives the exporter that asks it.
    std::unique_ptr<FileDialogSavePanel> m_savePanel;
    std::unique_ptr<LogExporter> m_exporter;
    HeaderPillButton* m_exportButton = nullptr;
    std::unique_ptr<LogEntryListModel> m_rows;
    std::unique_ptr<TranscriptListModel> m_transcriptRows;
    TranscriptPaneView* m_transcript = nullptr;
    ComposerView* m_composer = nullptr;
    ButtonBar* m_buttonBar = nullptr;
    LogPaneView* m_logPane = nullptr;
    TagBar* m_tagBar = nullptr;
    QWidget* m_tagRow = nullptr;
    QWidget* m_tagDivider = nullptr;
    QWidget* m_headerSlot = nullptr;
    HeaderView* m_header = nullptr;
    QWidget* m_tabs = nullptr;
    QButtonGroup* m_tabGroup = nullptr;
    QWidget* m_logColumn = nullptr;
    QWidget* m_logTitle = nullptr;
    QWidget* m_chatUnderLog = nullptr;
    QWidget* m_columnDivider = nullptr;
    QWidget* m_channelColumn = nullptr;
    QWidget* m_mixerSlot = nullptr;
    MixerView* m_mixer = nullptr;
    QWidget* m_chatByChannels = nullptr;
    QWidget* m_transcriptTitle = nullptr;
    QWidget* m_transcriptSlot = nullptr;
    // The channel column's panes, whose heights follow the layout.
    QBoxLayout* m_channelPanes = nullptr;
    QPointer<TextAlert> m_alert;
    QPointer<LinePickerSheet> m_picker;
    QPointer<LogButtonsSheet> m_buttonsSheet;
    QPointer<LogKeywordsSheet> m_keywordsSheet;
    QPointer<LogExportSheet> m_exportSheet;
    QPointer<LogSearchSheet> m_searchSheet;
    bool m_appeared = false;
};
