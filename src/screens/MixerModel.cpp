#include "screens/MixerModel.h"

#include <algorithm>
#include <cmath>

// One channel's drag: the value waiting to be written and the pacing timer.
struct MixerModel::PendingFader {
    std::optional<double> value;
    std::unique_ptr<Clock::Timer> timer;
};

MixerModel::MixerModel(DesktopTranscriber& transcriber, ChannelAgent* agent, Defaults& defaults, Clock& clock,
                       QObject* parent)
    : QObject(parent), m_transcriber(transcriber), m_agent(agent), m_defaults(defaults), m_clock(clock)
{
    for (const auto signal : {&DesktopTranscriber::channelsChanged, &DesktopTranscriber::scanResultsChanged,
                              &DesktopTranscriber::scanningChanged, &DesktopTranscriber::scanProgressChanged,
                              &DesktopTranscriber::monitorChannelChanged}) {
        connect(&transcriber, signal, this, &MixerModel::changed);
    }
    connect(&transcriber, &DesktopTranscriber::levelsChanged, this, &MixerModel::levelsChanged);
    // The scan's channel moves the strips' outline, the rows' focus and the pin.
    for (const auto signal : {&DesktopTranscriber::scanFocusChanged, &DesktopTranscriber::scanningChanged,
                              &DesktopTranscriber::channelsChanged}) {
        connect(&transcriber, signal, this, &MixerModel::pinChanged);
    }
    connect(&transcriber, &DesktopTranscriber::scanFocusChanged, this, &MixerModel::changed);
    // A drag still waiting belongs to the input it was made on, not to the same channel of the next.
    connect(&transcriber, &DesktopTranscriber::deviceUIDChanged, this, [this] { m_faders.clear(); });
    if (agent) {
        for (const auto signal :
             {&ChannelAgent::focusChanged, &ChannelAgent::enabledChanged, &ChannelAgent::briefsChanged})
            connect(agent, signal, this, &MixerModel::changed);
        for (const auto signal :
             {&ChannelAgent::focusChanged, &ChannelAgent::enabledChanged, &ChannelAgent::askingChanged})
            connect(agent, signal, this, &MixerModel::pinChanged);
    }
}

MixerModel::~MixerModel()
{
    // A drag cut short by the band going away still lands.
    for (auto it = m_faders.cbegin(); it != m_faders.cend(); ++it)
        if (it.value()->value)
            m_transcriber.setFader(it.key(), *it.value()->value);
}

bool MixerModel::isOpen() const
{
    return m_defaults.boolValue(kOpenKey).value_or(true);
}

void MixerModel::setOpen(bool open)
{
    if (open == isOpen())
        return;
    m_defaults.set(kOpenKey, open);
    Q_EMIT openChanged();
    Q_EMIT changed();
    Q_EMIT pinChanged();
}

MixerModel::Layout MixerModel::layout() const
{
    if (!isOpen())
        return Layout::Collapsed;
    return channelCount() >= kCompactFrom ? Layout::Compact : Layout::Strips;
}

bool MixerModel::showsScanLine() const
{
    return isOpen() && m_transcriber.scanning();
}

QString MixerModel::countText() const
{
    return QStringLiteral("%1 of %2 live").arg(m_transcriber.liveChannelCount()).arg(channelCount());
}

QString MixerModel::headerAccessibleName() const
{
    return isOpen() ? QStringLiteral("Collapse channels") : QStringLiteral("Expand channels");
}

MixerModel::Header MixerModel::header() const
{
    const QString count = countText();
    return {isOpen(), count, headerAccessibleName(), kCaption + QStringLiteral(", ") + count};
}

QList<MixerModel::Channel> MixerModel::channels() const
{
    QList<Channel> out;
    out.reserve(channelCount());
    for (int position = 0; position < channelCount(); ++position)
        out.append(channel(position));
    return out;
}

MixerModel::Channel MixerModel::channel(int position) const
{
    Channel out;
    const QList<ChannelConfig>& configs = m_transcriber.channels();
    if (position < 0 || position >= configs.size())
        return out;
    out.config = configs.at(position);
    const int index = out.config.index;
    const auto scan = m_transcriber.scanResults().constFind(index);
    if (scan != m_transcriber.scanResults().cend())
        out.scan = *scan;
    out.monitoring = m_transcriber.monitorChannel() == index;
    out.scanningThis = m_transcriber.scanFocus() == index;
    if (m_agent) {
        const auto brief = m_agent->briefs().constFind(index);
        if (brief != m_agent->briefs().cend())
            out.brief = *brief;
    }
    out.focused =
        m_transcriber.scanning() ? m_transcriber.scanFocus() == index : (m_agent && m_agent->focus() == index);
    return out;
}

float MixerModel::level(int index) const
{
    const QList<float>& levels = m_transcriber.levels();
    return index >= 0 && index < levels.size() ? levels.at(index) : 0.0f;
}

float MixerModel::collapsedLevel(const ChannelConfig& config) const
{
    return config.on ? level(config.index) : 0.0f;
}

bool MixerModel::showsPinBand() const
{
    return layout() == Layout::Strips && m_agent && (m_agent->enabled() || m_transcriber.scanning());
}

std::optional<int> MixerModel::pinPosition() const
{
    const std::optional<int> target =
        m_transcriber.scanning() ? m_transcriber.scanFocus() : (m_agent ? m_agent->focus() : std::nullopt);
    if (!target)
        return std::nullopt;
    const QList<ChannelConfig>& configs = m_transcriber.channels();
    const auto found = std::find_if(configs.cbegin(), configs.cend(),
                                    [&](const ChannelConfig& config) { return config.index == *target; });
    if (found == configs.cend())
        return std::nullopt;
    return static_cast<int>(found - configs.cbegin());
}

double MixerModel::pinOpacity() const
{
    return (m_agent && m_agent->asking()) || m_transcriber.scanning() ? 1.0 : 0.7;
}

double MixerModel::pinX(double position, double width, double stride)
{
    const double x = std::min(std::max(0.0, width - kPinSize), stride * position + kPinInset);
    return std::isfinite(x) ? std::max(0.0, x) : 0.0;
}

std::optional<ChannelConfig> MixerModel::config(int index) const
{
    for (const ChannelConfig& config : m_transcriber.channels())
        if (config.index == index)
            return config;
    return std::nullopt;
}

void MixerModel::toggleMute(int index)
{
    if (const auto c = config(index))
        m_transcriber.setOn(index, !c->on);
}

void MixerModel::toggleWatch(int index)
{
    if (const auto c = config(index))
        m_transcriber.setHidden(index, !c->hidden);
}

void MixerModel::toggleAgent(int index)
{
    if (const auto c = config(index))
        m_transcriber.setAgent(index, !c->agent);
}

void MixerModel::toggleListen(int index)
{
    if (!config(index))
        return;
    const bool already = m_transcriber.monitorChannel() == index;
    m_transcriber.setMonitorChannel(already ? std::nullopt : std::optional<int>(index));
}

void MixerModel::moveFader(int index, double value)
{
    if (std::isnan(value) || !config(index))
        return;
    std::shared_ptr<PendingFader>& pending = m_faders[index];
    if (!pending) {
        pending = std::make_shared<PendingFader>();
        pending->timer = m_clock.makeTimer([this, index] { writeFader(index); });
        pending->timer->setSingleShot(true);
    }
    pending->value = std::clamp(value, 0.0, 1.0);
    // The first move of a quiet fader lands at once; moves inside the interval wait for its end.
    if (!pending->timer->isActive())
        writeFader(index);
}

void MixerModel::finishFader(int index)
{
    const auto pending = m_faders.constFind(index);
    if (pending == m_faders.cend())
        return;
    if ((*pending)->value)
        writeFader(index);
    m_faders.remove(index);
}

void MixerModel::writeFader(int index)
{
    const auto found = m_faders.constFind(index);
    if (found == m_faders.cend())
        return;
    // The engine may publish (and a view call back in) while it is written: keep the entry alive.
    const std::shared_ptr<PendingFader> pending = *found;
    if (!pending->value)
        return;
    const double value = *std::exchange(pending->value, std::nullopt);
    pending->timer->start(kFaderInterval);
    m_transcriber.setFader(index, value);
}

void MixerModel::rename(int index)
{
    if (config(index))
        Q_EMIT renameRequested(index);
}

bool MixerModel::worthTranscribing(const ScanKind& scan)
{
    return scan.kind == ScanKind::Kind::Speech || scan.kind == ScanKind::Kind::Quiet;
}
