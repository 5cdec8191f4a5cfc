#pragma once

#include "platform/Date.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <array>
#include <optional>

// The nine faces, each a shape of the two eyes.
enum class PindleFace { Neutral, Warm, Happy, Wow, Sleepy, Thinking, Focused, Worried, Curious };
inline constexpr std::array<PindleFace, 9> kPindleFaces{PindleFace::Neutral, PindleFace::Warm,    PindleFace::Happy,
                                                        PindleFace::Wow,     PindleFace::Sleepy,  PindleFace::Thinking,
                                                        PindleFace::Focused, PindleFace::Worried, PindleFace::Curious};
// "neutral", "warm", ...
[[nodiscard]] QString rawValue(PindleFace face);
[[nodiscard]] std::optional<PindleFace> pindleFaceFromRaw(const QString& raw);

// What the character is doing for the agent; each state has a face and a pose.
enum class PindleAgentState { Idle, Listening, Thinking, Working, Talking, Asking, Done, Error };

// The character's colours. Components on a 0-255 scale.
struct PindlePalette {
    struct Rgb {
        double r = 0.0;
        double g = 0.0;
        double b = 0.0;
    };
    Rgb body;
    Rgb privateBody;
    QColor eyes;
    QColor confetti;
    Rgb eyesRGB;

    // Coral body, cream eyes: the agent's character.
    [[nodiscard]] static const PindlePalette& standard();
};

// Mark's body: a set of damped springs (squash, lean, position, eyes, glow ...), a face and the
// agent state that poses them, and its idle life (breathing, bobbing, blinks, glances).
//
// The whole model is the value `State`; `PindleCharacter::step` maps a state and an elapsed time
// to the next state and touches nothing else, so the behaviour is tested frame by frame. The
// QObject around it keeps the state of the one character the agent owns, turns frame dates into
// clamped steps and tells the views when the face changes. Main thread only.
class PindleCharacter final : public QObject {
    Q_OBJECT

public:
    // The longest step a frame may take: a late frame never moves the character further.
    static constexpr double kMaxStep = 1.0 / 30.0;

    // One spring of the body: value, velocity, target, and its multipliers of the character's
    // base stiffness (`bounce`) and damping (`settle`).
    struct Spring {
        double x = 0.0;
        double v = 0.0;
        double t = 0.0;
        double kMul = 1.0;
        double cMul = 1.0;

        // One step of the spring law (semi-implicit Euler), never leaving finite values.
        void integrate(double bounce, double settle, double dt);
        void snap()
        {
            x = t;
            v = 0.0;
        }
    };

    // One eye's stroke: an arc of `length` and curvature `bend`, turned by `angle` (radians),
    // a loop `width` wide when above 0.004, raised by `lift` and stretched by `stretch`.
    struct Eye {
        Spring length;
        Spring angle;
        Spring bend;
        Spring width;
        Spring lift;
        Spring stretch;
    };

    enum class Pace { Moving, Drifting, Still };

    struct State {
        explicit State(const PindlePalette& palette = PindlePalette::standard(), quint64 seed = 0x9E3779B97F4A7C15ull);

        // Tuning: base stiffness and damping of every spring; the drawing's gains on the lean's
        // shear and the wobble's ripple.
        double bounce = 190.0;
        double settle = 11.0;
        double jelly = 1.0;
        double wobble = 1.0;
        PindlePalette palette;

        PindleFace face = PindleFace::Neutral;
        PindleAgentState agentState = PindleAgentState::Idle;
        bool isBusy = false;
        // Kept equal to the system's reduce-motion setting by the view: no idle life, no kicks.
        bool reduceMotion = false;
        // No bob and no glances.
        bool calm = false;
        bool working = false;
        bool dragging = false;

        Spring squash{0.0, 0.0, 0.0, 1.0, 1.0};
        Spring lean{0.0, 0.0, 0.0, 0.8, 0.9};
        Spring rot{0.0, 0.0, 0.0, 0.7, 1.0};
        Spring x{0.0, 0.0, 0.0, 1.1, 1.4};
        Spring y{0.0, 0.0, 0.0, 1.1, 1.4};
        Spring wob{0.0, 0.0, 0.0, 0.5, 0.35};
        Spring dent{0.0, 0.0, 0.0, 1.2, 1.1};
        Spring blinkL{0.0, 0.0, 0.0, 3.0, 2.0};
        Spring blinkR{0.0, 0.0, 0.0, 3.0, 2.0};
        Spring lookX{0.0, 0.0, 0.0, 1.2, 1.0};
        Spring lookY{0.0, 0.0, 0.0, 1.2, 1.0};
        Spring glow{1.0, 0.0, 1.0, 0.6, 1.2};
        Spring privateTint{0.0, 0.0, 0.0, 0.6, 1.2};
        Spring square{0.0, 0.0, 0.0, 0.9, 1.1};
        Spring ink{0.0, 0.0, 0.0, 0.9, 1.2};
        Spring spread{0.0, 0.0, 0.0, 0.9, 1.0};
        Spring grow{1.0, 0.0, 1.0, 0.8, 1.1};
        // The thought bubble: rises toward 1 while thinking.
        Spring bubble{0.0, 0.0, 0.0, 0.9, 0.7};
        Eye eyeL;
        Eye eyeR;
        // Written by the view as it fits the stage into its frame and follows a drag.
        Spring placeS{1.0, 0.0, 1.0, 0.5, 0.75};
        Spring placeX{0.0, 0.0, 0.0, 0.5, 0.75};
        Spring placeY{0.0, 0.0, 0.0, 0.5, 0.75};

        double presence = 1.0;
        // Rest height of the body, in points.
        double baseY = 0.0;
        // Where the last poke landed, in radians.
        double dentAngle = 0.0;
        double wobPhase = 0.0;
        double breathe = 0.0;
        // Character time: seconds stepped so far.
        double clock = 0.0;
        // Real seconds the model has been advanced through, unclamped: the smile of a poke and a
        // glance last their real time at any frame rate, and are over by the first frame after
        // the view was hidden.
        double realTime = 0.0;
        double travelStretch = 0.0;

        // Schedules, in character time.
        double nextBlink = 1.5;
        double nextGlance = 4.0;
        // When a poke's happy face and a glance end, in `realTime`.
        std::optional<double> pokeEndsAt;
        std::optional<double> glanceEndsAt;

        // Bumped by every setFace, so observers hear of each one, even of the same face.
        quint64 faceWrites = 0;
        // The state of the generator behind blinks and glances (splitmix64).
        quint64 random;

        // Sets the eye and spread targets of `face`; a real change pops the eyes.
        void setFace(PindleFace face);
        // Undoes the pose of the current state and applies that of `state`; the same state again
        // does nothing.
        void setAgentState(PindleAgentState state);
        // Closes both eyes with a kick; the lids spring open again by themselves.
        void blink();
        // A tap on the body at `angle` (radians): a dent and a wobble; at rest it also smiles for
        // 0.9 s.
        void poke(double angle);

        // A uniform value in [a, b], both ends included.
        [[nodiscard]] double uniform(double a, double b);
        // A uniform integer in [lo, hi].
        [[nodiscard]] int integer(int lo, int hi);
        [[nodiscard]] bool coin();

        // At rest, the character glances around now and then.
        [[nodiscard]] bool atRest() const;
    };

    // The state `elapsed` real seconds after `state`: the delayed returns see all of it, the
    // clock and the springs move by at most kMaxStep. A negative or non-finite `elapsed` counts
    // as 0.
    [[nodiscard]] static State step(State state, double elapsed);

    explicit PindleCharacter(const PindlePalette& palette = PindlePalette::standard(), QObject* parent = nullptr);

    [[nodiscard]] const State& state() const { return m_state; }
    // For the view: the placement springs, the drag targets and the reduce-motion switch. Faces
    // and agent states go through the setters below, which notify.
    [[nodiscard]] State& state() { return m_state; }

    [[nodiscard]] PindleFace face() const { return m_state.face; }
    [[nodiscard]] bool isBusy() const { return m_state.isBusy; }
    // The redraw is never slowed down.
    [[nodiscard]] Pace pace() const { return Pace::Moving; }
    [[nodiscard]] PindleAgentState agentState() const { return m_state.agentState; }

    void setAgentState(PindleAgentState state);
    void setFace(PindleFace face);
    void blink();
    void poke(double angle);
    void setDragging(bool dragging) { m_state.dragging = dragging; }

    // Moves the character on to the frame at `date`. The first call only notes the date; later
    // ones step by the time since the previous call (see step), never backwards.
    void advance(Date date);

Q_SIGNALS:
    // After every setFace, also one that keeps the face.
    void faceChanged();

private:
    template <typename Change> void change(Change change);

    State m_state;
    std::optional<Date> m_lastTick;
};
