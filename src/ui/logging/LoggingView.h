#pragma once

#include "screens/LoggingScreenModel.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class ButtonBar;
class LogEntryListModel;
class LogPaneView;
class QBoxLayout;
class TagBar;
class TextAlert;

// The logging screen: the one screen once the logger is signed in. It owns the screen model
// (and through it the log, the stores, the engine and the agent) and lays out thin views over
// it: the log pane, the tag bar and the marker-button bar. The views forward the logger's
// actions to the model and redraw from its values; nothing here decides anything.
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
    // The alert on screen now, if any.
    [[nodiscard]] TextAlert* openAlert() const;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void wireButtonBar();
    void wireLogPane();
    void wireTagBar();
    void wireAlerts();
    void followAlerts();
    void showAlert(TextAlert* alert, std::function<void(const QString&)> accept, std::function<void()> cancel);
    void followShowTags();

    std::unique_ptr<LoggingScreenModel> m_screen;
    std::unique_ptr<LogEntryListModel> m_rows;
    ButtonBar* m_buttonBar = nullptr;
    LogPaneView* m_logPane = nullptr;
    TagBar* m_tagBar = nullptr;
    QWidget* m_tagRow = nullptr;
    QWidget* m_tagDivider = nullptr;
    QPointer<TextAlert> m_alert;
    bool m_appeared = false;
};
