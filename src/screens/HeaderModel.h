#pragma once

#include "agent/ChannelAgent.h"
#include "model/LogSession.h"
#include "platform/AudioDevices.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class LoggingScreenModel;

// What choosing a header menu item does.
struct HeaderCommand {
    enum class Kind {
        None,
        WrapLog,
        NewSession,
        // argument: the session's id.
        OpenSession,
        UseSystemDefaultInput,
        // argument: the device's uid.
        SelectInput,
        ScanChannels,
        SetAgentEnabled,
        RefreshInputs,
        SetShowMixer,
        // argument: the sensitivity's stored value.
        SetSensitivity,
        // argument: "channels" or "log".
        SetAgentPlace,
        SetShowTags,
    };
    Kind kind = Kind::None;
    QString argument;

    friend bool operator==(const HeaderCommand&, const HeaderCommand&) = default;
};

// One row of a header menu as the menu shows it.
struct HeaderMenuItem {
    enum class Kind {
        Action,
        // A switch: its command takes the new state.
        Toggle,
        // One row of a picker; `checked` on the chosen one.
        Choice,
        // A title that does nothing.
        Heading,
        Divider,
    };
    Kind kind = Kind::Action;
    // Verbatim: a menu shows it as written, "&" included.
    QString title;
    bool enabled = true;
    bool checked = false;
    HeaderCommand command;

    friend bool operator==(const HeaderMenuItem&, const HeaderMenuItem&) = default;
};

// A toolbar pill of the top bar.
struct ToolbarPill {
    enum class Kind { Search, Buttons, Alerts, Layout };
    Kind kind = Kind::Search;
    QString symbol;
    QString title;
    // The whole control's help; the pill's own content carries its title.
    QString help;
    bool active = false;

    friend bool operator==(const ToolbarPill&, const ToolbarPill&) = default;
};

// The brand block's lines under the wordmark.
struct HeaderBrand {
    QString title;
    // The open log's creation date in the locale's complete style.
    QString dateLine;
    // Only after a successful sync of the open shoot.
    std::optional<QString> savedLine;

    friend bool operator==(const HeaderBrand&, const HeaderBrand&) = default;
};

struct HeaderStartStop {
    QString title;
    // The dot is lit.
    bool running = false;
    // A start is under way: the shoot is being asked for, or it waits for a wrap to return.
    bool starting = false;

    friend bool operator==(const HeaderStartStop&, const HeaderStartStop&) = default;
};

// Everything the logging screen's header decides, without widgets: the brand block's lines, the
// Sessions, Input and Layout menus, the toolbar pills, the Start/Stop button and the two banners,
// each a plain value with a change signal, and a command for every action in them.
//
// The session actions wrap the shoot open on the service. A wrap sends the log as it was when
// the action was chosen (the cloud takes its snapshot in the call, before the log moves on), and
// while any wrap is out a start waits for it: a run started meanwhile could reuse the shoot that
// is being wrapped, and the old task would end the new run's shoot under it.
//
// Main thread only. The screen model must outlive it.
class HeaderModel : public QObject {
    Q_OBJECT

public:
    static constexpr int kListedSessions = 20;

    static inline const QString kTitle = QStringLiteral("Log");
    static inline const QString kWrapTitle = QStringLiteral("Wrap this log and send the wrap email");
    static inline const QString kNewSessionTitle = QStringLiteral("New session");
    static inline const QString kSavedSessionsTitle = QStringLiteral("Saved sessions");
    static inline const QString kListenToTitle = QStringLiteral("Listen to");
    static inline const QString kScanTitle = QStringLiteral("Scan channels");
    static inline const QString kAgentSwitchTitle = QStringLiteral("Channel agent (Mark)");
    static inline const QString kRefreshTitle = QStringLiteral("Refresh inputs");
    static inline const QString kStartTitle = QStringLiteral("Start logging");
    static inline const QString kStopTitle = QStringLiteral("Stop");
    static inline const QString kStartingTitle = QStringLiteral("Starting…");

    explicit HeaderModel(LoggingScreenModel& screen, QObject* parent = nullptr);
    // A log whose wrap is still out keeps no token: its wrap will end without this header.
    ~HeaderModel() override;

    [[nodiscard]] LoggingScreenModel& screen() const { return m_screen; }

    // --- values ---
    [[nodiscard]] HeaderBrand brand() const;
    // Built when asked: the sessions change with every save, the menu is read when opened.
    [[nodiscard]] QList<HeaderMenuItem> sessionsMenu() const;
    [[nodiscard]] QString inputLabel() const;
    [[nodiscard]] QString inputHelp() const;
    [[nodiscard]] QList<HeaderMenuItem> inputMenu() const;
    [[nodiscard]] QList<ToolbarPill> pills() const;
    // Pills show their symbol alone.
    [[nodiscard]] bool compact() const;
    [[nodiscard]] QList<HeaderMenuItem> layoutMenu() const;
    [[nodiscard]] HeaderStartStop startStop() const;
    // The Export menu opens only on a log with entries: there is nothing to export before.
    [[nodiscard]] bool exportEnabled() const;
    // The first banner: the transcriber's notice.
    [[nodiscard]] std::optional<QString> notice() const;
    // The second banner: the cloud's sync problem, unless this very problem was dismissed.
    [[nodiscard]] std::optional<QString> syncProblem() const;
    // A wrap started here has not returned yet.
    [[nodiscard]] bool wrapping() const { return m_wrapsOut > 0; }
    // Start was pressed during a wrap and runs once the wrap is back.
    [[nodiscard]] bool startWaiting() const { return m_startQueued; }

    // --- row texts ---
    // "<when>  ·  <n> markers", with "  ✓" on the open log's row.
    [[nodiscard]] static QString sessionRowTitle(const QString& when, qsizetype markers, bool open);
    [[nodiscard]] static QString systemDefaultRowTitle(bool chosen);
    // "<name>  ·  <n> ch", with "  ✓" on the chosen input.
    [[nodiscard]] static QString inputRowTitle(const AudioInputDevice& device, bool chosen);
    // "Input" for an input without channel settings, else "<live> of <all> ch".
    [[nodiscard]] static QString inputLabelFor(int liveChannels, qsizetype channels);

    // --- commands ---
    void wrapLog();
    void newSession();
    // Nothing when the store no longer has the session.
    void openSavedSession(const QUuid& id);
    void useSystemDefaultInput();
    void selectInputDevice(const QString& uid);
    void scanChannels();
    void refreshInputs();
    void setAgentEnabled(bool enabled);
    void setShowMixer(bool show);
    void setShowTags(bool show);
    void setSensitivity(ChannelAgent::Sensitivity sensitivity);
    void setAgentPlace(const QString& place);
    void openSearch();
    void openButtons();
    void openKeywords();
    // Stop while running; else start, or, while a wrap is out, start once it is back.
    void toggleLogging();
    void dismissNotice();
    // Hides the banner until the cloud reports another problem (it clears its own after a sync).
    void dismissSyncProblem();
    // A menu item's command; a toggle takes `checked`, its new state.
    void run(const HeaderCommand& command, bool checked = false);

Q_SIGNALS:
    void brandChanged();
    void sessionsMenuChanged();
    // The Input menu's label, help or items.
    void inputChanged();
    void pillsChanged();
    void layoutMenuChanged();
    void startStopChanged();
    // Sent only when exportEnabled() turns.
    void exportEnabledChanged();
    void bannersChanged();
    void wrappingChanged();

private:
    void saveOpenLog();
    void stopIfRunning();
    // Wraps the open shoot now; `then` runs when the wrap is back, before a waiting start.
    void startWrap(std::function<void()> then);
    void wrapReturned();
    // After a wrap of the log `wrapped`: it keeps no token, wherever it is now.
    void forgetShootToken(const QUuid& wrapped);
    [[nodiscard]] QString sessionWhen(const LogSession& session) const;

    LoggingScreenModel& m_screen;
    int m_wrapsOut = 0;
    // The logs of the wraps out that drop their token when they end.
    QList<QUuid> m_wrappedLogs;
    bool m_startQueued = false;
    std::optional<QString> m_dismissedProblem;
    bool m_exportEnabled = false;
    // Saved sessions' dates as shown, by milliseconds since 1970: formatting is the menu's cost.
    mutable QHash<qint64, QString> m_whenCache;
};
