#pragma once

#include "common/StandinProcess.h"
#include "service/ServiceError.h"

#include <QTest>

#include <memory>
#include <optional>

// What the service tests share: one asynchronous completion, and the stand-in they talk to.
namespace servicetesting {

// Collects one asynchronous completion on the event loop.
template <typename T> struct Latch {
    std::optional<T> value;
    int calls = 0;

    auto callback()
    {
        return [this](T result) {
            ++calls;
            value = std::move(result);
        };
    }
    [[nodiscard]] bool wait(int timeoutMs = 20000)
    {
        return QTest::qWaitFor([this] { return value.has_value(); }, timeoutMs);
    }
};

using ErrorLatch = Latch<std::optional<ServiceError>>;

// The error a completion reported; empty for success.
inline QString errorText(const ErrorLatch& latch)
{
    return latch.value && *latch.value ? (*latch.value)->description() : QString();
}

// A running stand-in; null, with the reason logged, when it did not start.
inline std::unique_ptr<StandinProcess> startStandin()
{
    auto standin = std::make_unique<StandinProcess>();
    if (standin->isReady())
        return standin;
    qWarning("%s", qPrintable(standin->failure()));
    return nullptr;
}

} // namespace servicetesting
