#include "screens/HeaderModel.h"

#include "platform/DateFormat.h"
#include "screens/LoggingScreenModel.h"

#include <QLocale>
#include <QPointer>

#include <algorithm>
#include <array>
#include <utility>

namespace {

const QString kRowSeparator = QStringLiteral("  \u00B7  ");
const QString kCheckSuffix = QStringLiteral("  \u2713");
// The formatted dates kept for the Sessions menu; more are formatted again when asked.
constexpr qsizetype kWhenCacheLimit = 200;

QString shortTime(Date date)
{
    return QLocale().toString(date.toQDateTime().toLocalTime().time(), QLocale::ShortFormat);
}

HeaderMenuItem divider()
{
    return {HeaderMenuItem::Kind::Divider, QString(), true, false, {}};
}

HeaderMenuItem heading(const QString& title)
{
    return {HeaderMenuItem::Kind::Heading, title, false, false, {}};
}

HeaderMenuItem action(const QString& title, HeaderCommand::Kind kind, const QString& argument = {}, bool enabled = true)
{
    return {HeaderMenuItem::Kind::Action, title, enabled, false, {kind, argument}};
}

HeaderMenuItem toggle(const QString& title, bool on, HeaderCommand::Kind kind)
{
    return {HeaderMenuItem::Kind::Toggle, title, true, on, {kind, QString()}};
}

HeaderMenuItem choice(const QString& title, bool chosen, HeaderCommand::Kind kind, const QString& argument)
{
    return {HeaderMenuItem::Kind::Choice, title, true, chosen, {kind, argument}};
}

} // namespace

HeaderModel::HeaderModel(LoggingScreenModel& screen, QObject* parent) : QObject(parent), m_screen(screen)
{
    LoggingLog* log = &screen.log();
    LoggerCloud* cloud = &screen.cloud();
    DesktopTranscriber* engine = &screen.transcriber();
    ChannelAgent* agent = &screen.agent();

    connect(log, &LoggingLog::createdAtChanged, this, &HeaderModel::brandChanged);
    connect(cloud, &LoggerCloud::lastSavedChanged, this, &HeaderModel::brandChanged);

    // The ✓ follows the open log's id; the wrap item follows the token.
    connect(log, &LoggingLog::idChanged, this, &HeaderModel::sessionsMenuChanged);
    connect(cloud, &LoggerCloud::tokenChanged, this, &HeaderModel::sessionsMenuChanged);
    connect(&screen.sessions(), &LogSessionStore::sessionsChanged, this, &HeaderModel::sessionsMenuChanged);

    for (const auto signal : {&DesktopTranscriber::devicesChanged, &DesktopTranscriber::deviceUIDChanged,
                              &DesktopTranscriber::channelsChanged, &DesktopTranscriber::scanningChanged})
        connect(engine, signal, this, &HeaderModel::inputChanged);
    connect(agent, &ChannelAgent::enabledChanged, this, &HeaderModel::inputChanged);

    connect(&screen.keywords(), &LogKeywordStore::wordsChanged, this, &HeaderModel::pillsChanged);
    connect(&screen, &LoggingScreenModel::layoutStateChanged, this, &HeaderModel::pillsChanged);

    connect(&screen, &LoggingScreenModel::settingsChanged, this, &HeaderModel::layoutMenuChanged);
    connect(agent, &ChannelAgent::enabledChanged, this, &HeaderModel::layoutMenuChanged);
    connect(agent, &ChannelAgent::sensitivityChanged, this, &HeaderModel::layoutMenuChanged);

    connect(engine, &DesktopTranscriber::runningChanged, this, &HeaderModel::startStopChanged);
    connect(&screen, &LoggingScreenModel::startPendingChanged, this, &HeaderModel::startStopChanged);

    // Every save while logging changes the entries: only a turn of the flag is news.
    m_exportEnabled = exportEnabled();
    connect(log, &LoggingLog::entriesChanged, this, [this] {
        if (std::exchange(m_exportEnabled, exportEnabled()) != m_exportEnabled)
            Q_EMIT exportEnabledChanged();
    });

    connect(engine, &DesktopTranscriber::noticeChanged, this, &HeaderModel::bannersChanged);
    connect(cloud, &LoggerCloud::problemChanged, this, [this] {
        // A dismissal holds for the problem it was given for only.
        if (m_dismissedProblem && m_screen.cloud().problem() != m_dismissedProblem)
            m_dismissedProblem.reset();
        Q_EMIT bannersChanged();
    });
}

// --- values ---

HeaderBrand HeaderModel::brand() const
{
    HeaderBrand brand{kTitle, formatDate(m_screen.log().createdAt(), DateStyle::Complete), std::nullopt};
    if (const std::optional<Date> saved = m_screen.cloud().lastSaved())
        brand.savedLine = QStringLiteral("Saved to your Pindle account %1").arg(shortTime(*saved));
    return brand;
}

QString HeaderModel::sessionWhen(const LogSession& session) const
{
    const qint64 key = session.createdAt.millisecondsSince1970().value_or(0);
    if (const auto cached = m_whenCache.constFind(key); cached != m_whenCache.cend())
        return *cached;
    if (m_whenCache.size() >= kWhenCacheLimit)
        m_whenCache.clear();
    const QString when = formatDate(session.createdAt, DateStyle::Abbreviated) + u' ' + shortTime(session.createdAt);
    m_whenCache.insert(key, when);
    return when;
}

QList<HeaderMenuItem> HeaderModel::sessionsMenu() const
{
    using Kind = HeaderCommand::Kind;
    QList<HeaderMenuItem> items{
        action(kWrapTitle, Kind::WrapLog, {}, m_screen.cloud().token().has_value()),
        divider(),
        action(kNewSessionTitle, Kind::NewSession),
    };
    const QList<LogSession>& sessions = m_screen.sessions().sessions();
    if (sessions.isEmpty())
        return items;
    items << divider() << heading(kSavedSessionsTitle);
    const QUuid open = m_screen.log().id();
    const qsizetype listed = std::min<qsizetype>(sessions.size(), kListedSessions);
    for (qsizetype i = 0; i < listed; ++i) {
        const LogSession& session = sessions.at(i);
        items << action(sessionRowTitle(sessionWhen(session), session.entries.size(), session.id == open),
                        Kind::OpenSession, session.id.toString(QUuid::WithoutBraces));
    }
    return items;
}

QString HeaderModel::inputLabel() const
{
    const DesktopTranscriber& engine = m_screen.transcriber();
    return inputLabelFor(engine.liveChannelCount(), engine.channels().size());
}

QString HeaderModel::inputHelp() const
{
    if (const std::optional<AudioInputDevice> device = m_screen.transcriber().currentDevice())
        return QStringLiteral("Listening to %1").arg(device->name);
    return QStringLiteral("Choose the audio input");
}

QList<HeaderMenuItem> HeaderModel::inputMenu() const
{
    using Kind = HeaderCommand::Kind;
    const DesktopTranscriber& engine = m_screen.transcriber();
    const std::optional<QString>& chosen = engine.deviceUID();
    QList<HeaderMenuItem> items{
        heading(kListenToTitle),
        action(systemDefaultRowTitle(!chosen), Kind::UseSystemDefaultInput),
    };
    for (const AudioInputDevice& device : engine.devices())
        items << action(inputRowTitle(device, chosen && *chosen == device.uid), Kind::SelectInput, device.uid);
    items << divider() << action(kScanTitle, Kind::ScanChannels, {}, !engine.channels().isEmpty() && !engine.scanning())
          << toggle(kAgentSwitchTitle, m_screen.agent().enabled(), Kind::SetAgentEnabled) << divider()
          << action(kRefreshTitle, Kind::RefreshInputs);
    return items;
}

QList<ToolbarPill> HeaderModel::pills() const
{
    using Kind = ToolbarPill::Kind;
    const bool anyKeyword = !m_screen.keywords().words().isEmpty();
    return {
        {Kind::Search, QStringLiteral("magnifyingglass"), QStringLiteral("Search"),
         QStringLiteral("Search this log, or ask across all your shoots (Ctrl+F)"), false},
        {Kind::Buttons, QStringLiteral("slider.horizontal.3"), QStringLiteral("Buttons"),
         QStringLiteral("Your buttons: names, which show, and how far back each one grabs"), false},
        {Kind::Alerts, anyKeyword ? QStringLiteral("bell.badge") : QStringLiteral("bell"), QStringLiteral("Alerts"),
         QStringLiteral("Keyword alerts: get told when a word is said on any channel"), false},
        {Kind::Layout, QStringLiteral("rectangle.3.group"), QStringLiteral("Layout"),
         QStringLiteral("Arrange the window: show or hide the mixer, Mark's chat and the tag bar"), false},
    };
}

bool HeaderModel::compact() const
{
    return m_screen.compactHeader();
}

QList<HeaderMenuItem> HeaderModel::layoutMenu() const
{
    using Kind = HeaderCommand::Kind;
    using Sensitivity = ChannelAgent::Sensitivity;
    const ChannelAgent& agent = m_screen.agent();
    QList<HeaderMenuItem> items{
        toggle(QStringLiteral("Mixer"), m_screen.showMixer(), Kind::SetShowMixer),
        toggle(QStringLiteral("Mark's chat"), agent.enabled(), Kind::SetAgentEnabled),
        divider(),
        heading(QStringLiteral("How much Mark speaks up")),
    };
    for (const Sensitivity level : std::array{Sensitivity::Low, Sensitivity::Normal, Sensitivity::High})
        items << choice(ChannelAgent::label(level), agent.sensitivity() == level, Kind::SetSensitivity,
                        ChannelAgent::rawValue(level));
    const QString& place = m_screen.agentPlace();
    items << divider() << heading(QStringLiteral("Mark's chat sits"))
          << choice(QStringLiteral("By the channels"), place == QLatin1String("channels"), Kind::SetAgentPlace,
                    QStringLiteral("channels"))
          << choice(QStringLiteral("Under the log"), place == QLatin1String("log"), Kind::SetAgentPlace,
                    QStringLiteral("log"))
          << divider() << toggle(QStringLiteral("Tag bar"), m_screen.showTags(), Kind::SetShowTags);
    return items;
}

HeaderStartStop HeaderModel::startStop() const
{
    if (m_screen.transcriber().running())
        return {kStopTitle, true, false};
    if (m_startQueued || m_screen.startPending())
        return {kStartingTitle, false, true};
    return {kStartTitle, false, false};
}

bool HeaderModel::exportEnabled() const
{
    return !m_screen.log().entries().isEmpty();
}

std::optional<QString> HeaderModel::notice() const
{
    return m_screen.transcriber().notice();
}

std::optional<QString> HeaderModel::syncProblem() const
{
    std::optional<QString> problem = m_screen.cloud().problem();
    if (problem && problem == m_dismissedProblem)
        return std::nullopt;
    return problem;
}

// --- row texts ---

QString HeaderModel::sessionRowTitle(const QString& when, qsizetype markers, bool open)
{
    // The word stays plural for one marker, as the row has always read.
    QString title = when + kRowSeparator + QString::number(markers) + QStringLiteral(" markers");
    return open ? title + kCheckSuffix : title;
}

QString HeaderModel::systemDefaultRowTitle(bool chosen)
{
    const QString title = QStringLiteral("System default");
    return chosen ? title + kCheckSuffix : title;
}

QString HeaderModel::inputRowTitle(const AudioInputDevice& device, bool chosen)
{
    QString title = device.name + kRowSeparator + QString::number(device.channelCount) + QStringLiteral(" ch");
    return chosen ? title + kCheckSuffix : title;
}

QString HeaderModel::inputLabelFor(int liveChannels, qsizetype channels)
{
    if (channels == 0)
        return QStringLiteral("Input");
    return QStringLiteral("%1 of %2 ch").arg(liveChannels).arg(channels);
}

HeaderModel::~HeaderModel()
{
    // The screen is going (a sign-out, say) before the cloud has answered: a wrap drops the log's
    // token whether it succeeds or not, and a log kept with the token of a wrapped shoot would
    // sync to it in vain once reopened.
    for (const QUuid& wrapped : std::exchange(m_wrappedLogs, {}))
        forgetShootToken(wrapped);
}

// --- commands ---

void HeaderModel::saveOpenLog()
{
    m_screen.sessions().upsert(m_screen.log().snapshotSession());
}

void HeaderModel::stopIfRunning()
{
    if (m_screen.transcriber().running())
        m_screen.transcriber().stop();
}

void HeaderModel::startWrap(std::function<void()> then)
{
    if (m_wrapsOut++ == 0)
        Q_EMIT wrappingChanged();
    QPointer<HeaderModel> self(this);
    m_screen.cloud().wrap([self, then = std::move(then)] {
        if (!self)
            return;
        if (then)
            then();
        self->wrapReturned();
    });
}

void HeaderModel::wrapReturned()
{
    if (--m_wrapsOut > 0)
        return;
    Q_EMIT wrappingChanged();
    if (!std::exchange(m_startQueued, false))
        return;
    if (!m_screen.transcriber().running())
        m_screen.toggleLogging();
    Q_EMIT startStopChanged();
}

void HeaderModel::forgetShootToken(const QUuid& wrapped)
{
    LoggingLog& log = m_screen.log();
    if (log.id() == wrapped) {
        log.setShootToken(std::nullopt);
        saveOpenLog();
        return;
    }
    // Another log was opened meanwhile; the wrapped one was saved with its token on the way out.
    for (const LogSession& session : m_screen.sessions().sessions()) {
        if (session.id != wrapped)
            continue;
        if (session.shootToken) {
            LogSession updated = session;
            updated.shootToken.reset();
            m_screen.sessions().upsert(updated);
        }
        return;
    }
}

void HeaderModel::wrapLog()
{
    stopIfRunning();
    const QUuid wrapped = m_screen.log().id();
    m_wrappedLogs.append(wrapped);
    startWrap([this, wrapped] {
        m_wrappedLogs.removeOne(wrapped);
        forgetShootToken(wrapped);
    });
}

void HeaderModel::newSession()
{
    saveOpenLog();
    stopIfRunning();
    startWrap({});
    m_screen.log().reset();
    m_screen.setSelectedEntry(std::nullopt);
}

void HeaderModel::openSavedSession(const QUuid& id)
{
    const auto find = [this, &id]() -> std::optional<LogSession> {
        for (const LogSession& session : m_screen.sessions().sessions())
            if (session.id == id)
                return session;
        return std::nullopt;
    };
    const std::optional<LogSession> chosen = find();
    if (!chosen)
        return;
    saveOpenLog();
    stopIfRunning();
    startWrap({});
    // The open log's own row is read again: the stop saved the lines it merged last.
    m_screen.log().load(find().value_or(*chosen));
    m_screen.setSelectedEntry(std::nullopt);
}

void HeaderModel::useSystemDefaultInput()
{
    m_screen.transcriber().selectDevice(std::nullopt);
}

void HeaderModel::selectInputDevice(const QString& uid)
{
    m_screen.transcriber().selectDevice(uid);
}

void HeaderModel::scanChannels()
{
    m_screen.transcriber().scanChannels();
}

void HeaderModel::refreshInputs()
{
    m_screen.transcriber().refreshDevices();
}

void HeaderModel::setAgentEnabled(bool enabled)
{
    m_screen.agent().setEnabled(enabled);
}

void HeaderModel::setShowMixer(bool show)
{
    m_screen.setShowMixer(show);
}

void HeaderModel::setShowTags(bool show)
{
    m_screen.setShowTags(show);
}

void HeaderModel::setSensitivity(ChannelAgent::Sensitivity sensitivity)
{
    m_screen.agent().setSensitivity(sensitivity);
}

void HeaderModel::setAgentPlace(const QString& place)
{
    m_screen.setAgentPlace(place);
}

void HeaderModel::openSearch()
{
    m_screen.openSearch();
}

void HeaderModel::openButtons()
{
    m_screen.setShowButtons(true);
}

void HeaderModel::openKeywords()
{
    m_screen.setShowKeywords(true);
}

void HeaderModel::toggleLogging()
{
    if (m_screen.transcriber().running() || !wrapping()) {
        m_screen.toggleLogging();
        return;
    }
    if (!std::exchange(m_startQueued, true))
        Q_EMIT startStopChanged();
}

void HeaderModel::dismissNotice()
{
    m_screen.dismissBanner();
}

void HeaderModel::dismissSyncProblem()
{
    const std::optional<QString> problem = m_screen.cloud().problem();
    if (!problem || m_dismissedProblem == problem)
        return;
    m_dismissedProblem = problem;
    Q_EMIT bannersChanged();
}

void HeaderModel::run(const HeaderCommand& command, bool checked)
{
    using Kind = HeaderCommand::Kind;
    switch (command.kind) {
    case Kind::None:
        break;
    case Kind::WrapLog:
        wrapLog();
        break;
    case Kind::NewSession:
        newSession();
        break;
    case Kind::OpenSession: {
        const QUuid id = QUuid::fromString(command.argument);
        if (!id.isNull())
            openSavedSession(id);
        break;
    }
    case Kind::UseSystemDefaultInput:
        useSystemDefaultInput();
        break;
    case Kind::SelectInput:
        selectInputDevice(command.argument);
        break;
    case Kind::ScanChannels:
        scanChannels();
        break;
    case Kind::SetAgentEnabled:
        setAgentEnabled(checked);
        break;
    case Kind::RefreshInputs:
        refreshInputs();
        break;
    case Kind::SetShowMixer:
        setShowMixer(checked);
        break;
    case Kind::SetSensitivity:
        if (const std::optional<ChannelAgent::Sensitivity> level = ChannelAgent::sensitivityFromRaw(command.argument))
            setSensitivity(*level);
        break;
    case Kind::SetAgentPlace:
        if (command.argument == QLatin1String("channels") || command.argument == QLatin1String("log"))
            setAgentPlace(command.argument);
        break;
    case Kind::SetShowTags:
        setShowTags(checked);
        break;
    }
}
