// The agent's state, settings, timers, hop and ask tick, and the demo shoot's canned briefs.
#include "agent/ChannelAgent.h"

#include "platform/Defaults.h"
#include "service/APIService.h"

#include <array>
#include <cmath>

namespace {

struct CannedBrief {
    int channel;
    const char* topic;
    const char* verdict;
    const char* why;
};

// What the demo shoot's channels are on, in turn, a row every 15 seconds.
constexpr std::array<CannedBrief, 9> kCannedBriefs{{
    {0, "asking why the fishing stopped", "same", "Covered by your earlier selects"},
    {0, "asking if he'll be the last one", "new", "A question you haven't logged yet"},
    {1, "the second winter and the quota", "same", "You've selected this already"},
    {1, "his dad mending nets on the step", "new", "Family memory, not in your selects"},
    {1, "the four o'clock mornings", "new", "A strong personal moment"},
    {2, "a row about selling the boat", "new", "Conflict nobody's logged"},
    {2, "mum upset in the car", "new", "Strong feeling off camera"},
    {2, "the buyer's papers arriving", "new", "A turn in the story"},
    {3, "crew chat between takes", "quiet", "Logistics, nothing to log"},
}};
constexpr qint64 kCannedSlotSeconds = 15;

ChannelAgent::Brief cannedBrief(int channel, Date at)
{
    QList<const CannedBrief*> rows;
    for (const CannedBrief& row : kCannedBriefs) {
        if (row.channel == channel)
            rows.append(&row);
    }
    if (rows.isEmpty())
        return {QStringLiteral("talking"), QStringLiteral("same"), QString(), at};
    const double seconds = std::floor(at.secondsSince1970());
    const qint64 whole = std::isfinite(seconds) && std::abs(seconds) < 9.0e15 ? static_cast<qint64>(seconds) : 0;
    // Floor division and a positive remainder, also before 1970.
    qint64 slot = whole / kCannedSlotSeconds - (whole % kCannedSlotSeconds < 0 ? 1 : 0);
    slot %= rows.size();
    if (slot < 0)
        slot += rows.size();
    const CannedBrief& row = *rows.at(slot);
    return {QString::fromUtf8(row.topic), QString::fromUtf8(row.verdict), QString::fromUtf8(row.why), at};
}

} // namespace

QString ChannelAgent::rawValue(Sensitivity sensitivity)
{
    switch (sensitivity) {
    case Sensitivity::Low:
        return QStringLiteral("low");
    case Sensitivity::High:
        return QStringLiteral("high");
    case Sensitivity::Normal:
        break;
    }
    return QStringLiteral("normal");
}

std::optional<ChannelAgent::Sensitivity> ChannelAgent::sensitivityFromRaw(const QString& raw)
{
    for (const Sensitivity s : {Sensitivity::Low, Sensitivity::Normal, Sensitivity::High}) {
        if (rawValue(s) == raw)
            return s;
    }
    return std::nullopt;
}

QString ChannelAgent::label(Sensitivity sensitivity)
{
    switch (sensitivity) {
    case Sensitivity::Low:
        return QStringLiteral("Only big moments");
    case Sensitivity::High:
        return QStringLiteral("Everything");
    case Sensitivity::Normal:
        break;
    }
    return QStringLiteral("Normal");
}

std::chrono::milliseconds ChannelAgent::askInterval(Sensitivity sensitivity)
{
    using namespace std::chrono_literals;
    switch (sensitivity) {
    case Sensitivity::Low:
        return 60s;
    case Sensitivity::High:
        return 15s;
    case Sensitivity::Normal:
        break;
    }
    return 30s;
}

int ChannelAgent::minimumWords(Sensitivity sensitivity)
{
    switch (sensitivity) {
    case Sensitivity::Low:
        return 25;
    case Sensitivity::High:
        return 6;
    case Sensitivity::Normal:
        break;
    }
    return 12;
}

ChannelAgent::ChannelAgent(AgentEnvironment environment, QObject* parent)
    : QObject(parent), m_defaults(environment.defaults ? *environment.defaults : Defaults::shared()),
      m_service(environment.service ? *environment.service : APIService::shared()),
      m_clock(Clock::orSystem(environment.clock)), m_demo(environment.demo)
{
    m_enabled = m_defaults.boolValue(kEnabledKey).value_or(true);
    if (const std::optional<QString> raw = m_defaults.string(kSensitivityKey))
        m_sensitivity = sensitivityFromRaw(*raw).value_or(Sensitivity::Normal);
}

ChannelAgent::~ChannelAgent() = default;

void ChannelAgent::setEnabled(bool enabled)
{
    m_defaults.set(kEnabledKey, enabled);
    if (m_enabled != enabled) {
        m_enabled = enabled;
        Q_EMIT enabledChanged();
    }
    if (enabled)
        start();
    else
        stop();
}

void ChannelAgent::setSensitivity(Sensitivity sensitivity)
{
    m_defaults.set(kSensitivityKey, rawValue(sensitivity));
    if (m_sensitivity == sensitivity)
        return;
    m_sensitivity = sensitivity;
    Q_EMIT sensitivityChanged();
    if (isRunning()) {
        stop();
        start();
    }
}

int ChannelAgent::minimumWords() const
{
    const int words = minimumWords(m_sensitivity);
    return m_demo ? std::max(4, words / 2) : words;
}

void ChannelAgent::start()
{
    if (!m_enabled || isRunning())
        return;
    const auto interval = askInterval(m_sensitivity);
    const auto pace = m_demo ? std::chrono::duration_cast<std::chrono::milliseconds>(interval / kDemoPace) : interval;
    // The timers belong to the agent: once it is gone they are too, and never fire.
    m_askTimer = m_clock.makeTimer([this] { askTick(); });
    m_hopTimer = m_clock.makeTimer([this] { hop(); });
    m_askTimer->start(pace);
    m_hopTimer->start(kHopInterval);
    m_mark.setAgentState(PindleAgentState::Listening);
    hop();
}

void ChannelAgent::stop()
{
    m_askTimer.reset();
    m_hopTimer.reset();
    m_mark.setAgentState(PindleAgentState::Idle);
    setAsking(false);
}

QList<ChannelAgent::Watched> ChannelAgent::watchedChannels() const
{
    if (!m_transcriber)
        return {};
    const QList<ChannelConfig>& channels = m_transcriber->channels();
    if (channels.isEmpty())
        return {Watched{-1, QStringLiteral("Mic")}};
    QList<Watched> watched;
    for (const ChannelConfig& config : channels) {
        if (config.isLive() && config.agent)
            watched.append(Watched{config.index, config.name});
    }
    return watched;
}

QString ChannelAgent::channelName(int index) const
{
    if (m_transcriber) {
        for (const ChannelConfig& config : m_transcriber->channels()) {
            if (config.index == index)
                return config.name;
        }
    }
    return QStringLiteral("Mic");
}

void ChannelAgent::toggleBubble(int channel)
{
    setBubble(m_bubble == channel ? std::nullopt : std::optional<int>(channel));
}

void ChannelAgent::setBubble(std::optional<int> channel)
{
    if (m_bubble == channel)
        return;
    m_bubble = channel;
    Q_EMIT bubbleChanged();
}

void ChannelAgent::setFocus(std::optional<int> focus, std::optional<Spring::Params> motion)
{
    m_focusMotion = motion;
    if (m_focus == focus)
        return;
    m_focus = focus;
    Q_EMIT focusChanged();
}

void ChannelAgent::setAsking(bool asking)
{
    if (m_asking == asking)
        return;
    m_asking = asking;
    Q_EMIT askingChanged();
}

void ChannelAgent::hop()
{
    if (m_bubble || m_asking)
        return;
    const QList<Watched> watched = watchedChannels();
    if (watched.isEmpty())
        return setFocus(std::nullopt, std::nullopt);
    m_hopIndex = static_cast<int>((qint64(m_hopIndex) + 1) % watched.size());
    setFocus(watched.at(m_hopIndex).index, kFocusMotion);
}

void ChannelAgent::askTick()
{
    // A request that outlived a stop still counts: never two at once.
    if (!m_enabled || m_asking || m_pendingRequest != 0 || !m_transcriber || !m_transcriber->running())
        return;
    const QList<Watched> watched = watchedChannels();
    if (watched.isEmpty())
        return;
    const std::optional<double> now = m_transcriber->currentTranscriptTime();
    if (!now)
        return;
    const QList<Pick> picks =
        pickChannels(m_transcriber->segments(), watched, *now, minimumWords(), m_cursor, m_judgedUpTo,
                     m_transcriber->transcript().firstEndingFrom(*now - kWindowSeconds));
    if (picks.isEmpty())
        return;
    if (m_transcriber->isDemo())
        askDemo(picks);
    else
        requestBriefs(picks);
}

quint64 ChannelAgent::beginAsking(const QList<Pick>& picks)
{
    const quint64 request = ++m_requestCount;
    m_pendingRequest = request;
    setAsking(true);
    setBubble(std::nullopt);
    m_mark.setAgentState(PindleAgentState::Thinking);
    setFocus(picks.constFirst().index, kFocusMotion);
    return request;
}

bool ChannelAgent::finishAsking(quint64 request)
{
    if (request != m_pendingRequest)
        return false;
    m_pendingRequest = 0;
    setAsking(false);
    // A stopped agent stays idle; the answer is still applied.
    if (isRunning())
        m_mark.setAgentState(PindleAgentState::Listening);
    return true;
}

void ChannelAgent::askDemo(const QList<Pick>& picks)
{
    const quint64 request = beginAsking(picks);
    m_clock.singleShot(kDemoThinking, this, [this, request, picks] { finishDemo(request, picks); });
}

void ChannelAgent::finishDemo(quint64 request, const QList<Pick>& picks)
{
    if (!finishAsking(request))
        return;
    for (const Pick& pick : picks) {
        const Brief brief = cannedBrief(pick.index, now());
        const auto previous = m_briefs.constFind(pick.index);
        const bool changed = previous == m_briefs.constEnd() || previous->topic != brief.topic;
        apply(pick.index, brief, changed);
    }
    flushBubbles();
}
