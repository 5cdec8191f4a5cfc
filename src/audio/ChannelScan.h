#pragma once

#include "audio/ChannelConfig.h"
#include "audio/ScanKind.h"
#include "platform/Clock.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class ChannelSettings;

// A channel scan: whether one runs, how far it got, which channel its sweep points at, and the
// verdicts, with the judgement itself as pure functions of the series the capture gathered.
// Its steps run on the engine's clock; a scan called off leaves the steps still pending without
// effect. Where the audio comes from and what a verdict does to the mixer are the engine's.
// Main thread only.
class ChannelScan final : public QObject {
    Q_OBJECT

public:
    // Steps of a listening scan: the progress bar and the sweeping pin move this many times.
    static constexpr int kSteps = 32;

    // A channel to switch off after a scan, and the verdict's word for why.
    struct Mute {
        int index = -1;
        QString name;
        ScanKind verdict;
        friend bool operator==(const Mute&, const Mute&) = default;
    };

    // The sweep follows `settings`' channels as they are at each step.
    ChannelScan(const ChannelSettings& settings, Clock& clock, QObject* parent = nullptr);

    [[nodiscard]] bool scanning() const { return m_scanning; }
    [[nodiscard]] double progress() const { return m_progress; }
    [[nodiscard]] std::optional<int> focus() const { return m_focus; }
    [[nodiscard]] const QMap<int, ScanKind>& results() const { return m_results; }

    // Starts a scan from nothing (progress 0, no verdicts); false, changing nothing, while one
    // runs.
    [[nodiscard]] bool begin();
    // Listens for `durationMs`: kSteps steps move the progress and the sweep; after the last,
    // onListened.
    void listen(int durationMs);
    // The demo's pretend scan: the sweep visits `indices` one every `stepMs`; `settleMs` after the
    // last visit `verdicts` are published and onJudged runs.
    void pretend(const QList<int>& indices, int stepMs, int settleMs, const QMap<int, ScanKind>& verdicts);
    // Steps still pending do nothing from now on.
    void callOff() { ++m_generation; }
    // Publishes the verdicts, even the same again (a scan always ends with its own).
    void setResults(const QMap<int, ScanKind>& results);
    // Ends the scan: no longer scanning, the sweep points nowhere.
    void end();

    // A listening scan heard all it will: the engine judges.
    std::function<void()> onListened;
    // Verdicts of a pretend scan are in: the engine applies them.
    std::function<void()> onJudged;

    // The verdicts for `indices` from their dB and zero-crossing-rate series (one series per
    // device channel); an index without a dB series gets none.
    [[nodiscard]] static QMap<int, ScanKind> classify(const QList<QList<float>>& db, const QList<QList<float>>& zcr,
                                                      const QList<int>& indices);
    // Pearson correlation of the common length of two series; 0 below 5 values or when either
    // is flat.
    [[nodiscard]] static float correlation(const QList<float>& a, const QList<float>& b);
    // The mixer position the sweep points at after `step` of `total` over `count` channels.
    [[nodiscard]] static qsizetype sweepPosition(int step, int total, qsizetype count);
    // The channels of `channels` that are on and got a verdict that is not their own voice.
    [[nodiscard]] static QList<Mute> mutesFor(const QList<ChannelConfig>& channels,
                                              const QMap<int, ScanKind>& verdicts);
    // The notice at a scan's end over `channelCount` channels.
    [[nodiscard]] static QString summary(qsizetype channelCount, const QMap<int, ScanKind>& verdicts,
                                         const QList<Mute>& muted);
    // The notice of a scan that lost its input (`why` is a sentence).
    [[nodiscard]] static QString abandoned(const QString& why);

Q_SIGNALS:
    void scanningChanged();
    void progressChanged();
    void resultsChanged();
    void focusChanged();

private:
    void advance(int step);
    void setFocus(std::optional<int> focus);
    void setProgress(double progress);

    const ChannelSettings& m_settings;
    Clock& m_clock;
    bool m_scanning = false;
    double m_progress = 0.0;
    std::optional<int> m_focus;
    QMap<int, ScanKind> m_results;
    // Bumped at every start and calling off, so steps of an earlier scan do nothing.
    quint64 m_generation = 0;
};
