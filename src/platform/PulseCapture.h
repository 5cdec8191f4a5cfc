#pragma once

#include "platform/AudioCapture.h"

#include <QObject>

#include <memory>

class PulseConnection;
struct PulseSource;

// Capture from a sound server source through the server's own client library, recording with
// the source's own rate, channel count and channel map, so nothing is remixed: every input of a
// multichannel interface arrives on its own channel. The buffers arrive on the source's
// connection thread. A source that goes away ends the stream (it is never moved to another
// input) and is reported through `onLost`.
class PulseCaptureSource final : public AudioCaptureSource {
public:
    PulseCaptureSource();
    ~PulseCaptureSource() override;

    [[nodiscard]] CaptureOpenResult open(const std::optional<QString>& uid) override;
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] std::optional<CaptureFormat> format() const override;
    [[nodiscard]] QString errorString() const override;

private:
    struct Reader;
    CaptureOpenResult refuse(const QString& error);
    // Lock held: connects the reader's stream to the opened source; why it failed, or "".
    QString connectStream(Reader& reader);
    void reportLost(quint64 run, const QString& reason);

    // Lives on the main thread: the target of the connection thread's loss reports, which go
    // with it when the source is destroyed.
    std::unique_ptr<QObject> m_mainContext;
    std::unique_ptr<PulseConnection> m_connection;
    std::unique_ptr<PulseSource> m_source;
    // The running stream and what it fills; only while started.
    std::unique_ptr<Reader> m_reader;
    std::optional<CaptureFormat> m_format;
    QString m_error;
    // Counts starts, so a loss report of an earlier run does nothing.
    quint64 m_run = 0;
    bool m_started = false;
};
