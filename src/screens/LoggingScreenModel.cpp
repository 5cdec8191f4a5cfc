// The logging screen's state, its wiring to the log and the engine, and the start, stop and
// change handlers.
#include "screens/LoggingScreenModel.h"

#include "platform/Defaults.h"
#include "screens/ShootSyncRows.h"
#include "service/APIService.h"
#include "timecode/CameraTimecode.h"

#include <QFileInfo>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

bool readBool(const Defaults& defaults, const QString& key, bool fallback)
{
    const QJsonValue value = defaults.value(key);
    return value.isBool() ? value.toBool() : fallback;
}

} // namespace

LoggingScreenModel::LoggingScreenModel(LoggingScreenEnvironment environment, QObject* parent)
    : QObject(parent), m_clock(Clock::orSystem(environment.clock)),
      m_defaults(environment.defaults ? *environment.defaults : Defaults::shared()),
      m_service(environment.service ? *environment.service : APIService::shared()),
      m_cloud(environment.cloud ? *environment.cloud : LoggerCloud::shared()),
      m_camera(environment.camera ? *environment.camera : CameraTimecode::shared()), m_demo(environment.demo)
{
    m_tags = std::make_unique<LogTagStore>(m_defaults);
    m_soundCues = std::make_unique<SoundCueSettings>(m_defaults);
    // The saved logs of a long shoot take a while to read: the screen is up before they are.
    constexpr auto background = LogSessionStore::LoadMode::Background;
    m_sessions = environment.sessionsFile.isEmpty()
                     ? std::make_unique<LogSessionStore>(background)
                     : std::make_unique<LogSessionStore>(environment.sessionsFile, background);
    m_buttons = std::make_unique<LogButtonStore>(m_defaults);
    m_keywords = std::make_unique<LogKeywordStore>(m_defaults);
    m_log = std::make_unique<LoggingLog>(m_camera, &m_clock);

    TranscriberEnvironment engine = std::move(environment.transcriber);
    if (!engine.defaults)
        engine.defaults = &m_defaults;
    if (!engine.service)
        engine.service = &m_service;
    if (!engine.clock)
        engine.clock = &m_clock;
    m_transcriber = std::make_unique<DesktopTranscriber>(std::move(engine));

    AgentEnvironment agent = environment.agent;
    if (!agent.defaults)
        agent.defaults = &m_defaults;
    if (!agent.service)
        agent.service = &m_service;
    if (!agent.clock)
        agent.clock = &m_clock;
    agent.demo = agent.demo || m_demo;
    m_agent = std::make_unique<ChannelAgent>(agent);
    m_logPane = std::make_unique<LogPaneModel>(*m_log, *m_tags, m_clock);
    updateRowLook();

    m_showMixer = readBool(m_defaults, kShowMixerKey, true);
    m_showTags = readBool(m_defaults, kShowTagsKey, true);
    const QJsonValue place = m_defaults.value(kAgentPlaceKey);
    if (place.isString())
        m_agentPlace = place.toString();

    if (environment.notifications) {
        m_notifications = environment.notifications;
    } else {
        m_ownNotifications = std::make_unique<DesktopNotifications>();
        m_notifications = m_ownNotifications.get();
    }
    connect(m_notifications, &DesktopNotifications::opened, this, [this](const QVariantMap& userInfo) {
        Q_EMIT raiseRequested();
        openAlert(userInfo);
    });

    m_transcriptSaveTimer = m_clock.makeTimer([this] { saveTranscriptNow(); });
    m_transcriptSaveTimer->setSingleShot(true);

    connect(m_log.get(), &LoggingLog::entriesChanged, this, &LoggingScreenModel::entriesChanged);
    const TranscriptBook* book = &m_transcriber->transcript();
    connect(book, &TranscriptBook::rowsInserted, this, &LoggingScreenModel::collectLines);
    connect(book, &TranscriptBook::rowsChanged, this, &LoggingScreenModel::collectLines);
    connect(book, &TranscriptBook::wasReset, this, [this] {
        m_unmerged.clear();
        m_mergeAll = true;
    });
    m_syncRows = std::make_unique<ShootSyncRows>(ShootSyncRows::Sources{
        .book = book,
        .log = m_log.get(),
        .camera = &m_camera,
        .engineStart = [this] { return m_transcriber->engineStart(); },
        .runStart = [this] { return runStart(); },
        .speakerName = [this](const QString& label) { return displayedSpeaker(label); },
        .buttonLabel = [this](const QString& kind) { return buttonLabel(kind); },
    });
    // A renamed speaker or button re-labels rows all through a long day's sync.
    connect(this, &LoggingScreenModel::speakerNamesChanged, m_syncRows.get(), &ShootSyncRows::catchUp);
    connect(m_buttons.get(), &LogButtonStore::buttonsChanged, m_syncRows.get(), &ShootSyncRows::catchUp);
    connect(m_transcriber.get(), &DesktopTranscriber::segmentsChanged, this, &LoggingScreenModel::segmentsChanged);
    connect(m_transcriber.get(), &DesktopTranscriber::runningChanged, this, &LoggingScreenModel::runningChanged);
    connect(m_transcriber.get(), &DesktopTranscriber::scanningChanged, this, &LoggingScreenModel::scanningChanged);
    connect(m_sessions.get(), &LogSessionStore::saveFailed, this, &LoggingScreenModel::saveFailed);
    connect(m_sessions.get(), &LogSessionStore::saveErrorChanged, this, [this] {
        if (m_sessions->saveError().isEmpty())
            m_writeFailureShown = false;
    });
    connect(m_sessions.get(), &LogSessionStore::movedAsidePathChanged, this,
            [this] { reportFileKeptAside(m_sessions->movedAsidePath()); });
    if (!m_defaults.movedAsidePath().isEmpty())
        reportFileKeptAside(m_defaults.movedAsidePath());
    connect(m_keywords.get(), &LogKeywordStore::wordsChanged, this, [this] { syncKeywords(m_keywords->words()); });
    connect(m_buttons.get(), &LogButtonStore::buttonsChanged, this, &LoggingScreenModel::updateRowLook);
    connect(m_transcriber.get(), &DesktopTranscriber::channelsChanged, this, &LoggingScreenModel::updateRowLook);
    for (const auto signal : {&LoggingScreenModel::poppedKindChanged, &LoggingScreenModel::composerChanged})
        connect(this, signal, this, &LoggingScreenModel::buttonChipsChanged);
    connect(m_buttons.get(), &LogButtonStore::buttonsChanged, this, &LoggingScreenModel::buttonChipsChanged);
    connect(m_log.get(), &LoggingLog::entriesChanged, this, &LoggingScreenModel::buttonChipsChanged);
    followLineUse();
    // Last: it follows the screen's own state from the start.
    m_transcriptPane = std::make_unique<TranscriptPaneModel>(*this);
    m_mixer = std::make_unique<MixerModel>(*m_transcriber, m_agent.get(), m_defaults, m_clock);
    connect(m_mixer.get(), &MixerModel::renameRequested, this, &LoggingScreenModel::renameChannel);
}

void LoggingScreenModel::updateRowLook()
{
    LogRowLook look;
    for (const LogButton& button : m_buttons->buttons())
        if (!look.buttons.contains(button.kind))
            look.buttons.insert(button.kind, button);
    for (const ChannelConfig& config : m_transcriber->channels())
        if (!look.speakerChannels.contains(config.name))
            look.speakerChannels.insert(config.name, config.index);
    m_logPane->setLook(std::move(look));
}

LoggingScreenModel::~LoggingScreenModel()
{
    disappear();
}

void LoggingScreenModel::appear()
{
    if (m_appeared)
        return;
    m_appeared = true;
    QPointer<LoggingScreenModel> self(this);
    m_agent->setTranscriber(m_transcriber.get());
    m_agent->logged = [self] { return self ? self->agentLoggedEntries() : QJsonArray(); };
    m_agent->token = [self]() -> std::optional<QString> { return self ? self->m_log->shootToken() : std::nullopt; };
    m_agent->onNew = [self](int channel, const ChannelAgent::Brief& brief) {
        if (self)
            self->postAgentAlert(channel, brief);
    };
    m_transcriber->setOnKeyword([self](int channel, const QString& keyword, const DisplaySegment& line) {
        if (self)
            self->onKeywordHit(channel, keyword, line);
    });
    syncKeywords(m_keywords->words());
    followRunning(m_transcriber->running());
    // The cloud outlives any one screen: a gone screen has no log to send, not an empty one.
    m_cloud.setSnapshot(
        [self]() -> std::optional<LoggerCloud::Snapshot> {
            if (!self)
                return std::nullopt;
            return self->cloudSnapshot();
        },
        this);
}

void LoggingScreenModel::disappear()
{
    if (m_gone)
        return;
    m_gone = true;
    m_transcriptSaveTimer->stop();
    mergeTranscript();
    saveSession();
    m_transcriber->stop();
    m_transcriber->onShootEnded = nullptr;
    // The log as it stands goes up once more; then the cloud lets go of this screen's shoot, so
    // that no later sync takes another screen's log for it.
    m_cloud.release(this);
}

// --- state ---

void LoggingScreenModel::setPoppedKind(const std::optional<QString>& kind)
{
    if (m_poppedKind == kind)
        return;
    m_poppedKind = kind;
    Q_EMIT poppedKindChanged();
}

void LoggingScreenModel::setPickingFor(const std::optional<QUuid>& id)
{
    if (m_pickingFor == id)
        return;
    m_pickingFor = id;
    Q_EMIT pickingChanged();
}

void LoggingScreenModel::setPicked(const QString& lineID, bool picked)
{
    const bool had = m_pickIDs.contains(lineID);
    if (had == picked)
        return;
    if (picked)
        m_pickIDs.insert(lineID);
    else
        m_pickIDs.remove(lineID);
    Q_EMIT pickingChanged();
}

void LoggingScreenModel::setComposingLine(const std::optional<QString>& lineID)
{
    if (m_composingLine == lineID)
        return;
    m_composingLine = lineID;
    m_composerFocused = lineID.has_value();
    Q_EMIT composerChanged();
}

void LoggingScreenModel::setRenamingSpeaker(const std::optional<QString>& speaker)
{
    // The field starts with the name given so far, empty for a speaker never named.
    if (speaker)
        renameText = m_speakerNames.value(*speaker);
    m_renamingSpeaker = speaker;
    Q_EMIT renamingChanged();
}

void LoggingScreenModel::setRenamingChannel(const std::optional<int>& index)
{
    m_renamingChannel = index;
    Q_EMIT renamingChanged();
}

void LoggingScreenModel::setShowTCEntry(bool show)
{
    if (m_showTCEntry == show)
        return;
    m_showTCEntry = show;
    Q_EMIT showTCEntryChanged();
}

void LoggingScreenModel::setTab(int tab)
{
    if (m_tab == tab)
        return;
    m_tab = tab;
    Q_EMIT layoutStateChanged();
}

void LoggingScreenModel::setCompactHeader(bool compact)
{
    if (m_compactHeader == compact)
        return;
    m_compactHeader = compact;
    Q_EMIT layoutStateChanged();
}

void LoggingScreenModel::setShowMixer(bool show)
{
    m_showMixer = show;
    m_defaults.set(kShowMixerKey, show);
    Q_EMIT settingsChanged();
}

void LoggingScreenModel::setShowTags(bool show)
{
    m_showTags = show;
    m_defaults.set(kShowTagsKey, show);
    Q_EMIT settingsChanged();
}

void LoggingScreenModel::setAgentPlace(const QString& place)
{
    m_agentPlace = place;
    m_defaults.set(kAgentPlaceKey, place);
    Q_EMIT settingsChanged();
}

// --- derived ---

QSet<int> LoggingScreenModel::watchOnlyChannels() const
{
    QSet<int> watchOnly;
    for (const ChannelConfig& config : m_transcriber->channels())
        if (config.hidden)
            watchOnly.insert(config.index);
    return watchOnly;
}

bool LoggingScreenModel::isVisible(const DisplaySegment& segment, const QSet<int>& watchOnly) const
{
    // A watch-only channel's line that raised a keyword alert stays in the transcript.
    return !watchOnly.contains(segment.channel) || m_flaggedLines.contains(segment.id);
}

QList<DisplaySegment> LoggingScreenModel::visibleSegments() const
{
    const QSet<int> watchOnly = watchOnlyChannels();
    if (watchOnly.isEmpty())
        return m_transcriber->segments();
    QList<DisplaySegment> out;
    for (const DisplaySegment& segment : m_transcriber->segments())
        if (isVisible(segment, watchOnly))
            out.append(segment);
    return out;
}

QList<DisplaySegment> LoggingScreenModel::pickedLines() const
{
    std::vector<qsizetype> rows;
    for (const QString& id : m_pickIDs)
        if (const std::optional<qsizetype> row = m_transcriptPane->shownRowOf(id))
            rows.push_back(*row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<DisplaySegment> picked;
    picked.reserve(qsizetype(rows.size()));
    for (const qsizetype row : rows)
        picked.append(m_transcriptPane->shownLine(row));
    return picked;
}

QString LoggingScreenModel::displayedSpeaker(const QString& label) const
{
    return m_speakerNames.value(label, label);
}

QString LoggingScreenModel::lineTimecode(const DisplaySegment& segment) const
{
    if (segment.startSecs >= 0.0)
        return m_camera.timecodeAt(m_transcriber->engineStart().addingSeconds(segment.startSecs));
    return segment.timecode;
}

qint64 LoggingScreenModel::runStart() const
{
    // The engine's run key is its start in whole seconds, kept apart from the previous run's.
    if (m_transcriber->runKey() > 0)
        return m_transcriber->runKey();
    return qint64(std::trunc(m_transcriber->engineStart().secondsSince1970()));
}

// --- change rules ---

void LoggingScreenModel::entriesChanged()
{
    forgetGoneEntries();
    saveSession();
    m_cloud.setDirty(true);
}

void LoggingScreenModel::forgetGoneEntries()
{
    // The log pane forgets its own; the picker and the summaries are the screen's.
    if (m_pickingFor && !m_log->entryRowOf(*m_pickingFor)) {
        setPickingFor(std::nullopt);
        m_pickIDs.clear();
    }
    m_summaryRequests.removeIf([this](const auto& it) { return !m_log->entryRowOf(it.key()); });
}

void LoggingScreenModel::segmentsChanged()
{
    // Every change, in place or new, reaches the disk within the delay; a running timer is not
    // pushed back, so a steady stream of lines still saves.
    if (!m_transcriptSaveTimer->isActive())
        m_transcriptSaveTimer->start(kTranscriptSaveDelay);
    const qsizetype count = m_transcriber->segments().size();
    if (count == m_segmentCount)
        return;
    m_segmentCount = count;
    mergeTranscript();
    if (count % 10 == 0)
        saveTranscriptNow();
    m_cloud.setDirty(true);
}

void LoggingScreenModel::runningChanged()
{
    const bool running = m_transcriber->running();
    followRunning(running);
    if (!running)
        saveTranscriptNow();
}

void LoggingScreenModel::followRunning(bool running)
{
    if (running) {
        // The demo's line ids repeat each run: what was judged before says nothing now.
        m_agent->setJudgedUpTo({});
        m_agent->start();
    } else
        m_agent->stop();
}

void LoggingScreenModel::collectLines(int first, int last)
{
    if (m_mergeAll)
        return;
    const QList<DisplaySegment>& rows = m_transcriber->segments();
    for (int row = std::max(first, 0); row <= last && row < rows.size(); ++row)
        m_unmerged.append(rows.at(row));
}

void LoggingScreenModel::mergeTranscript()
{
    // Only what changed since the last merge: a new line on a long transcript costs what it costs
    // on a short one.
    const auto timecode = [this](const DisplaySegment& segment) { return lineTimecode(segment); };
    if (m_mergeAll)
        m_log->mergeSegments(m_transcriber->segments(), runStart(), timecode);
    else if (!m_unmerged.isEmpty())
        m_log->mergeSegments(m_unmerged, runStart(), timecode);
    m_mergeAll = false;
    m_unmerged.clear();
}

void LoggingScreenModel::saveTranscriptNow()
{
    m_transcriptSaveTimer->stop();
    mergeTranscript();
    saveSession();
}

void LoggingScreenModel::saveSession()
{
    m_sessions->upsert(m_log->snapshotSession());
}

void LoggingScreenModel::saveFailed(const QString& message)
{
    // Said once until a save reaches the disk again: a full disk fails every save.
    if (!m_writeFailureShown)
        setNotice(message);
    m_writeFailureShown = true;
}

void LoggingScreenModel::setNotice(const QString& text)
{
    m_transcriber->setNotice(text);
}

void LoggingScreenModel::reportFileKeptAside(const QString& path)
{
    if (path.isEmpty() || m_keptAsideShown.contains(path))
        return;
    m_keptAsideShown.insert(path);
    setNotice(QStringLiteral("A saved file couldn't be read, so it was kept aside as %1 and a fresh one started.")
                  .arg(QFileInfo(path).fileName()));
}

// --- start, stop and screen handlers ---

void LoggingScreenModel::toggleLogging()
{
    if (m_transcriber->running()) {
        m_transcriber->stop();
        return;
    }
    if (m_demo) {
        m_transcriber->startDemo();
        return;
    }
    startCloudLogging(false);
}

void LoggingScreenModel::startCloudLogging(bool forceNew)
{
    if (m_startPending)
        return;
    QPointer<LoggingScreenModel> self(this);
    m_transcriber->onShootEnded = [self] {
        // The engine reports from inside its stream handling: restart on the next turn.
        if (self)
            self->m_clock.singleShot(std::chrono::milliseconds(0), self, [self] { self->restartLogging(); });
    };
    m_startPending = true;
    Q_EMIT startPendingChanged();
    // The shoot is for this log: if another log is open by the time it comes, nothing starts.
    const QUuid logID = m_log->id();
    m_cloud.startShoot(m_log->shootToken(), shootTitle(), m_camera.format().storageString(), forceNew,
                       [self, logID](std::optional<QString> token) {
                           if (!self)
                               return;
                           if (self->m_log->id() == logID) {
                               self->beginShoot(token);
                               return;
                           }
                           self->m_startPending = false;
                           Q_EMIT self->startPendingChanged();
                       });
}

void LoggingScreenModel::syncKeywords(const QStringList& words)
{
    m_transcriber->setKeywords(words);
}

void LoggingScreenModel::openAlert(const QVariantMap& userInfo)
{
    const QVariant channel = userInfo.value(QStringLiteral("channel"));
    const int type = channel.metaType().id();
    if ((type == QMetaType::Int || type == QMetaType::LongLong) && channel.toLongLong() >= 0 &&
        channel.toLongLong() <= std::numeric_limits<int>::max())
        m_transcriber->setMonitorChannel(channel.toInt());
    const QVariant line = userInfo.value(QStringLiteral("line"));
    if (line.metaType().id() == QMetaType::QString)
        scrollTo(line.toString());
}

bool LoggingScreenModel::lockTypedTimecode()
{
    // Spaces around a typed timecode are not part of it.
    if (m_camera.lockTyped(tcDraft.trimmed()))
        return true;
    setNotice(QStringLiteral("That isn't a timecode at %1. Use HH:MM:SS:FF.").arg(m_camera.format().label()));
    return false;
}

void LoggingScreenModel::saveSpeakerName()
{
    if (!m_renamingSpeaker)
        return;
    // Spaces and tabs only: a line break typed into the name stays.
    qsizetype first = 0;
    qsizetype last = renameText.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (first < last && blank(renameText.at(first)))
        ++first;
    while (last > first && blank(renameText.at(last - 1)))
        --last;
    const QString name = renameText.mid(first, last - first);
    if (name.isEmpty())
        m_speakerNames.remove(*m_renamingSpeaker);
    else
        m_speakerNames.insert(*m_renamingSpeaker, name);
    Q_EMIT speakerNamesChanged();
    setRenamingSpeaker(std::nullopt);
}

void LoggingScreenModel::renameChannel(int index)
{
    channelNameText.clear();
    for (const ChannelConfig& config : m_transcriber->channels())
        if (config.index == index) {
            channelNameText = config.name;
            break;
        }
    setRenamingChannel(index);
}

void LoggingScreenModel::saveChannelName()
{
    if (!m_renamingChannel)
        return;
    m_transcriber->renameChannel(*m_renamingChannel, channelNameText);
    setRenamingChannel(std::nullopt);
}

void LoggingScreenModel::openChannel(std::optional<int> channel)
{
    if (!channel)
        return;
    if (*channel >= 0)
        m_transcriber->setMonitorChannel(*channel);
    const QList<DisplaySegment>& segments = m_transcriber->segments();
    for (auto it = segments.crbegin(); it != segments.crend(); ++it)
        if (it->channel == *channel) {
            scrollTo(it->id);
            return;
        }
}

void LoggingScreenModel::jumpToHit(const std::optional<QUuid>& entryID, const std::optional<QString>& lineID)
{
    if (entryID)
        setSelectedEntry(entryID);
    if (lineID)
        scrollTo(*lineID);
}

void LoggingScreenModel::scrollTo(const QString& lineID)
{
    m_scrollTarget = lineID;
    Q_EMIT scrollTargetChanged();
    m_clock.singleShot(kJumpHold, this, [this, lineID] {
        if (m_scrollTarget != lineID)
            return;
        m_scrollTarget.reset();
        Q_EMIT scrollTargetChanged();
    });
}

void LoggingScreenModel::scanningChanged()
{
    const bool wasScanning = std::exchange(m_wasScanning, m_transcriber->scanning());
    if (wasScanning && !m_wasScanning)
        postScanSummary();
}

void LoggingScreenModel::postScanSummary()
{
    const QMap<int, ScanKind>& results = m_transcriber->scanResults();
    if (results.isEmpty())
        return;
    const QList<ChannelConfig>& channels = m_transcriber->channels();
    int speech = 0;
    QStringList muted;
    for (auto it = results.cbegin(); it != results.cend(); ++it) {
        if (it->kind == ScanKind::Kind::Speech) {
            ++speech;
            continue;
        }
        if (it->kind == ScanKind::Kind::Quiet)
            continue;
        QString name = QStringLiteral("Ch %1").arg(it.key() + 1);
        for (const ChannelConfig& config : channels)
            if (config.index == it.key()) {
                name = config.name;
                break;
            }
        muted.append(name + u' ' + it->description().toLower());
    }
    std::sort(muted.begin(), muted.end());
    ChannelAgent::FeedItem item;
    item.kind = ChannelAgent::FeedItem::Kind::Scan;
    item.text = QStringLiteral("%1 channels, %2 with speech").arg(channels.size()).arg(speech);
    item.detail = muted.isEmpty() ? QString() : QStringLiteral("Muted ") + muted.join(QStringLiteral(", "));
    item.at = m_clock.now();
    m_agent->appendFeedItem(item);
}
