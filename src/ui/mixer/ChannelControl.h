#pragma once

#include "screens/MixerModel.h"
#include "ui/mixer/Fade.h"
#include "ui/theme/FrameClock.h"

#include <QColor>
#include <QWidget>

class ChannelNameButton;
class ChannelTile;
class MiniMeter;
class MeterMotion;
class MixerFader;

// What a channel's strip and its compact row share: the name button, a meter, the fader and the
// four buttons, the clicks they report, and the opacity that eases as the channel turns live or
// quiet. Each shows what it is given; the mixer maps the clicks to the engine.
class ChannelControl : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Strip, Row };

    [[nodiscard]] const MixerModel::Channel& channel() const { return m_channel; }
    [[nodiscard]] int index() const { return m_channel.config.index; }
    [[nodiscard]] MiniMeter* meter() const { return m_meter; }
    [[nodiscard]] MixerFader* fader() const { return m_fader; }
    [[nodiscard]] ChannelNameButton* nameButton() const { return m_name; }
    [[nodiscard]] ChannelTile* muteButton() const { return m_mute; }
    [[nodiscard]] ChannelTile* watchButton() const { return m_watch; }
    [[nodiscard]] ChannelTile* listenButton() const { return m_listen; }
    [[nodiscard]] ChannelTile* agentButton() const { return m_agent; }
    // The opacity as drawn now (1 live, 0.6 otherwise, once settled).
    [[nodiscard]] double opacity() const { return m_opacity.value(); }
    // The band's share of the opacity while the strips come in; 1 at rest.
    void setBandOpacity(double opacity);
    [[nodiscard]] double drawnOpacity() const { return m_opacity.value() * m_bandOpacity; }

Q_SIGNALS:
    void renameClicked();
    void muteClicked();
    void watchClicked();
    void listenClicked();
    void agentClicked();
    void faderMoved(double value);
    void faderReleased();

protected:
    ChannelControl(Kind kind, MeterMotion& motion, FrameClock& frames, QWidget* parent);

    // Takes the channel and shows its name and fader; false when nothing changed.
    bool takeChannel(const MixerModel::Channel& channel, const QColor& colour);
    [[nodiscard]] const QColor& colour() const { return m_colour; }
    // Eases the opacity to `target` over `seconds` (at once the first time a channel is shown).
    void fadeTo(double target, double seconds);
    // Moves any fades of the subclass; true while one still moves.
    virtual bool stepFades(double seconds);
    void applyOpacity();
    // The rounded body, filled and outlined. A repaint that lies inside its straight middle (a
    // meter moving) only fills: the meters repaint many times a second.
    void paintBody(QPainter& painter, const QRect& dirty, qreal radius, qreal outlineWidth, const QColor& fill,
                   const QColor& outline) const;

    Fade m_opacity;
    FrameClock& m_frames;
    FrameClock::Animation m_fade;

private:
    MixerModel::Channel m_channel;
    QColor m_colour;
    bool m_shown = false;
    double m_bandOpacity = 1.0;
    ChannelNameButton* m_name;
    MiniMeter* m_meter;
    MixerFader* m_fader;
    ChannelTile* m_mute;
    ChannelTile* m_watch;
    ChannelTile* m_listen;
    ChannelTile* m_agent;
};
