#include "agent/PindleCharacter.h"
#include "common/TestMain.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

using State = PindleCharacter::State;
using Spring = PindleCharacter::Spring;

namespace {

QList<Spring*> springs(State& s)
{
    QList<Spring*> all{&s.squash,      &s.lean,   &s.rot,   &s.x,      &s.y,      &s.wob,    &s.dent,
                       &s.blinkL,      &s.blinkR, &s.lookX, &s.lookY,  &s.glow,   &s.spread, &s.grow,
                       &s.privateTint, &s.square, &s.ink,   &s.bubble, &s.placeS, &s.placeX, &s.placeY};
    for (PindleCharacter::Eye* eye : {&s.eyeL, &s.eyeR})
        all << &eye->length << &eye->angle << &eye->bend << &eye->width << &eye->lift << &eye->stretch;
    return all;
}

bool settled(State& s)
{
    return std::ranges::all_of(springs(s),
                               [](Spring* p) { return std::abs(p->x - p->t) < 1e-3 && std::abs(p->v) < 1e-3; });
}

State steppedFor(State s, double seconds)
{
    for (double t = 0.0; t < seconds; t += 1.0 / 60.0)
        s = PindleCharacter::step(std::move(s), 1.0 / 60.0);
    return s;
}

} // namespace

class PindleCharacterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each agent state undoes the pose of the one before and settles into its own face and pose.
    void statesSettleIntoTheirPose_data()
    {
        QTest::addColumn<PindleAgentState>("from");
        QTest::addColumn<PindleAgentState>("to");
        QTest::addColumn<PindleFace>("face");
        // bubble, lookX, lookY, squash and baseY once settled.
        QTest::addColumn<QList<double>>("pose");
        QTest::newRow("thinking to listening") << PindleAgentState::Thinking << PindleAgentState::Listening
                                               << PindleFace::Neutral << QList<double>{0, 0, 0.35, 0.04, 0};
        QTest::newRow("listening to thinking") << PindleAgentState::Listening << PindleAgentState::Thinking
                                               << PindleFace::Thinking << QList<double>{1, 0.45, 0.55, 0, 0};
        QTest::newRow("error to idle") << PindleAgentState::Error << PindleAgentState::Idle << PindleFace::Neutral
                                       << QList<double>{0, 0, 0, 0, 0};
        QTest::newRow("idle to error") << PindleAgentState::Idle << PindleAgentState::Error << PindleFace::Worried
                                       << QList<double>{0, 0, -0.5, -0.06, 12};
    }
    void statesSettleIntoTheirPose()
    {
        QFETCH(PindleAgentState, from);
        QFETCH(PindleAgentState, to);
        QFETCH(PindleFace, face);
        QFETCH(QList<double>, pose);
        State s;
        s.reduceMotion = true;
        s.setAgentState(from);
        s = steppedFor(std::move(s), 1.0);
        s.setAgentState(to);
        s = steppedFor(std::move(s), 6.0);
        QCOMPARE(s.face, face);
        const QList<double> reached{s.bubble.x, s.lookX.x, s.lookY.x, s.squash.x, s.baseY};
        for (qsizetype i = 0; i < pose.size(); ++i)
            QVERIFY2(std::abs(reached[i] - pose[i]) < 1e-3, qPrintable(QString::number(i)));
        QVERIFY(settled(s));
    }

    // The same state again changes nothing; every setFace notifies, and only a real change pops
    // the eyes. A poke at rest smiles for 0.9 s, unless a state takes over first.
    void facesStatesAndPokes()
    {
        State s;
        s.setAgentState(PindleAgentState::Listening);
        s.lookY.t = 0.9;
        const quint64 faceWrites = s.faceWrites;
        s.setAgentState(PindleAgentState::Listening);
        s.setFace(PindleFace::Neutral);
        QVERIFY(s.lookY.t == 0.9 && s.faceWrites == faceWrites + 1 && s.eyeL.width.v == 0.0);
        s = State();
        s.poke(1.0);
        QCOMPARE(s.face, PindleFace::Happy);
        QVERIFY(s.eyeL.width.v > 0.0 && s.dent.v == 9.0);
        // One frame is one semi-implicit Euler step of the law.
        const State one = PindleCharacter::step(s, 1.0 / 60.0);
        QVERIFY(std::abs(one.squash.v - (-2.2 + 11.0 * 2.2 / 60.0)) < 1e-12 && one.squash.x == one.squash.v / 60.0);
        s = steppedFor(std::move(s), 0.85);
        QCOMPARE(s.face, PindleFace::Happy);
        s = steppedFor(std::move(s), 0.1);
        QCOMPARE(s.face, PindleFace::Neutral);
        s.poke(1.0);
        s.setAgentState(PindleAgentState::Thinking);
        s.setAgentState(PindleAgentState::Listening);
        s = steppedFor(std::move(s), 1.0);
        QCOMPARE(s.face, PindleFace::Neutral);
        s.setAgentState(PindleAgentState::Thinking);
        s.poke(0.0);
        QCOMPARE(s.face, PindleFace::Thinking);
    }

    // The first frame only notes its date; later ones step by the time since the last, at most
    // 1/30 s, never backwards; a date that is no number is ignored. A glance that falls due while
    // the agent is busy waits for the first frame back at rest.
    void framesAndGlances()
    {
        PindleCharacter mark;
        mark.setAgentState(PindleAgentState::Listening);
        const Date start = Date::fromSecondsSince1970(1e9);
        const double dates[] = {0.0, 0.5, 0.2, std::numeric_limits<double>::quiet_NaN(), 0.21, 1e300};
        const double clocks[] = {0.0, 1.0 / 30, 1.0 / 30, 1.0 / 30, 1.0 / 30 + 0.01, 2.0 / 30 + 0.01};
        for (std::size_t i = 0; i < std::size(dates); ++i) {
            mark.advance(start.addingSeconds(dates[i]));
            QVERIFY2(std::abs(mark.state().clock - clocks[i]) < 1e-6, qPrintable(QString::number(i)));
        }
        State s;
        s.setAgentState(PindleAgentState::Listening);
        s = steppedFor(std::move(s), 5.0);
        QCOMPARE(s.lookX.t, 0.0);
        s.setAgentState(PindleAgentState::Idle);
        s = PindleCharacter::step(std::move(s), 1.0 / 60.0);
        QVERIFY(std::abs(s.lookX.t) >= 0.45 && std::abs(s.lookX.t) <= 0.75);
        QVERIFY(s.glanceEndsAt && *s.glanceEndsAt - s.realTime >= 0.9 - 1e-9 && *s.glanceEndsAt - s.realTime <= 1.4);
    }

    // The smile of a poke and the look of a glance last their real time at any frame rate: a
    // slow frame moves the springs at most 1/30 s but must not stretch them.
    void returnsKeepRealTime_data()
    {
        QTest::addColumn<double>("frame");
        QTest::newRow("60 fps") << 1.0 / 60;
        QTest::newRow("10 fps") << 0.1;
        QTest::newRow("2 fps") << 0.5;
    }
    void returnsKeepRealTime()
    {
        QFETCH(double, frame);
        PindleCharacter mark;
        Date now = Date::fromSecondsSince1970(1e9);
        // Real seconds of frames until `done`.
        const auto framesUntil = [&](auto done) {
            double waited = 0.0;
            while (!done() && waited < 30.0) {
                now = now.addingSeconds(frame);
                waited += frame;
                mark.advance(now);
            }
            return waited;
        };
        mark.advance(now);
        mark.poke(0.0);
        const double smile = framesUntil([&] { return mark.face() != PindleFace::Happy; });
        QVERIFY2(smile > 0.9 - 1e-6 && smile < 0.9 + frame + 1e-6, qPrintable(QString::number(smile)));
        mark.state().nextGlance = mark.state().clock;
        framesUntil([&] { return mark.state().lookX.t != 0.0; });
        const double glance = framesUntil([&] { return mark.state().lookX.t == 0.0; });
        QVERIFY2(glance > 0.9 - 1e-6 && glance < 1.4 + frame + 1e-6, qPrintable(QString::number(glance)));
    }

    // No frames while the view is hidden: the smile and the glance are over by the next one.
    void returnsEndWhileHidden()
    {
        PindleCharacter mark;
        const Date start = Date::fromSecondsSince1970(1e9);
        mark.advance(start);
        mark.poke(0.0);
        mark.advance(start.addingSeconds(5.0));
        QCOMPARE(mark.face(), PindleFace::Neutral);
        mark.state().nextGlance = mark.state().clock;
        mark.advance(start.addingSeconds(5.01));
        QVERIFY(mark.state().lookX.t != 0.0);
        mark.advance(start.addingSeconds(10.0));
        QCOMPARE(mark.state().lookX.t, 0.0);
    }

    // At rest, glances come 6 to 11 s apart, the whole range used.
    void glanceSpacing()
    {
        State s;
        QList<double> starts;
        while (starts.size() < 200) {
            const double due = s.nextGlance;
            s = PindleCharacter::step(std::move(s), PindleCharacter::kMaxStep);
            if (s.nextGlance != due)
                starts.append(s.clock);
        }
        QList<double> gaps;
        for (qsizetype i = 1; i < starts.size(); ++i)
            gaps.append(starts[i] - starts[i - 1]);
        const auto [shortest, longest] = std::ranges::minmax(gaps);
        QVERIFY2(shortest >= 6.0 && shortest < 6.2, qPrintable(QString::number(shortest)));
        QVERIFY2(longest > 10.8 && longest <= 11.0 + PindleCharacter::kMaxStep, qPrintable(QString::number(longest)));
    }

    // Ten minutes of frames of any length, in any state, poked and dragged: every spring stays
    // finite and bounded, and once left alone everything settles on its target.
    void tenMinutesOfHostileFrames()
    {
        QRandomGenerator random(11);
        const double odd[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), -1.0,
                              0.0, 1e9};
        State s;
        for (double t = 0.0; t < 600.0; t += 1.0 / 60.0) {
            const double dt = random.bounded(20) == 0 ? odd[random.bounded(int(std::size(odd)))] : random.bounded(0.1);
            if (random.bounded(100) == 0)
                s.setAgentState(PindleAgentState(random.bounded(8)));
            if (random.bounded(200) == 0)
                s.poke(random.bounded(2 * std::numbers::pi));
            s.dragging = random.bounded(300) == 0 ? !s.dragging : s.dragging;
            if (s.dragging)
                s.placeX.v += random.bounded(200.0) - 100.0;
            s = PindleCharacter::step(std::move(s), dt);
            for (Spring* spring : springs(s))
                QVERIFY(std::isfinite(spring->x) && std::abs(spring->x) < 1e4 && std::isfinite(spring->v));
            QVERIFY(std::isfinite(s.travelStretch) && std::isfinite(s.clock));
        }
        s.reduceMotion = true;
        s.dragging = false;
        s.setAgentState(PindleAgentState::Idle);
        s = steppedFor(std::move(s), 10.0);
        QVERIFY(settled(s));
    }
};

PINDLE_TEST(PindleCharacterTest)
#include "PindleCharacterTest.moc"
