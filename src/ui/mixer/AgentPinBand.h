#pragma once

#include "platform/Spring.h"
#include "ui/theme/FrameClock.h"

#include <QWidget>

#include <optional>

class MixerModel;

// The thin band over the channel strips in which the agent's coral pin slides to the channel
// the agent (or, during a scan, the scan) is on. Hidden from assistive tools: the strips say
// the same in words.
class AgentPinBand : public QWidget {
    Q_OBJECT
public:
    static constexpr Spring::Params kSlide{0.9, 0.8};

    AgentPinBand(MixerModel& mixer, FrameClock& frames, QWidget* parent = nullptr);

    // Where the pin is drawn now (its left edge) and its target; none when no pin is drawn.
    [[nodiscard]] std::optional<double> pinX() const;
    [[nodiscard]] std::optional<int> pinPosition() const { return m_position; }
    [[nodiscard]] double pinOpacity() const { return m_opacity; }

    // Follows the mixer's pin: a new channel slides, a first pin appears in place.
    void follow();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    MixerModel& m_mixer;
    std::optional<int> m_position;
    double m_opacity = 0.7;
    // In strip positions, so a resize needs no new motion.
    Spring m_slide{kSlide};
    FrameClock::Animation m_motion;
};
