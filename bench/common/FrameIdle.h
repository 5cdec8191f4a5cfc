#pragma once

// Whether a screen comes to rest: the application's frame clock runs only while something
// moves, so once the motions a change started are over it must stop, and stay stopped.

#include "ui/theme/FrameClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <chrono>

struct FrameRest {
    // How long the motions went on after the last change, and whether the clock then stopped.
    double settleMs = 0;
    bool idle = false;
    // Frames that ran once idle, over a quiet spell with the event loop turning.
    int framesWhileIdle = 0;
};

// Turns the event loop until the application's frame clock stops (at most `limit`), then for
// `quiet` more, counting any frame that runs.
inline FrameRest waitForRest(std::chrono::milliseconds limit = std::chrono::seconds(5),
                             std::chrono::milliseconds quiet = std::chrono::milliseconds(300))
{
    FrameClock& frames = FrameClock::shared();
    FrameRest rest;
    QElapsedTimer timer;
    timer.start();
    while (frames.isTicking() && timer.elapsed() < limit.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    rest.settleMs = double(timer.nsecsElapsed()) / 1e6;
    rest.idle = !frames.isTicking();
    timer.start();
    while (timer.elapsed() < quiet.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        rest.framesWhileIdle += frames.isTicking() ? 1 : 0;
        QThread::msleep(1);
    }
    return rest;
}
