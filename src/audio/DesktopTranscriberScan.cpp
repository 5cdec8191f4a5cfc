// A channel scan as the engine runs it: where its audio comes from, and what its verdicts do to
// the mixer. The scan's own state and rules are ChannelScan's.
#include "audio/DesktopTranscriber.h"

#include "audio/CapturePath.h"
#include "audio/CaptureSession.h"
#include "audio/DemoPlayer.h"

void DesktopTranscriber::scanChannels()
{
    if (m_settings->channels().isEmpty() || !m_scan->begin()) {
        return;
    }
    if (m_demo->started()) {
        const QList<int> indices = m_settings->indices();
        m_scan->pretend(indices, m_env.demoScanStepMs, m_env.demoScanSettleMs, DemoPlayer::verdicts(indices));
        return;
    }
    m_session->path().setScanActive(true);
    if (m_session->isOpen()) {
        // Logging already captures the device: the scan only listens along.
        m_scan->listen(m_env.scanDurationMs);
        return;
    }
    // Idle: the scan opens the input itself and closes it at its end, unless a start takes the
    // capture over in between.
    if (!openCapture(true)) {
        m_session->path().setScanActive(false);
        m_scan->end();
        setStatus(EngineStatus::of(EngineStatus::Kind::ScanCouldNotOpen));
        return;
    }
    m_scan->listen(m_env.scanDurationMs);
}

QMap<int, ScanKind> DesktopTranscriber::classifyScan(const QList<QList<float>>& db, const QList<QList<float>>& zcr,
                                                     const QList<int>& indices)
{
    return ChannelScan::classify(db, zcr, indices);
}

float DesktopTranscriber::scanCorrelation(const QList<float>& a, const QList<float>& b)
{
    return ChannelScan::correlation(a, b);
}

void DesktopTranscriber::cancelScan()
{
    if (!m_scan->scanning()) {
        return;
    }
    m_scan->callOff();
    m_session->path().setScanActive(false);
    if (m_session->openedByScan()) {
        closeCapture();
        m_session->zeroLevels();
    }
    m_scan->end();
}

void DesktopTranscriber::abandonScan(const QString& why)
{
    // A pretend scan has no input to lose.
    if (!m_scan->scanning() || m_demo->started()) {
        return;
    }
    cancelScan();
    setNotice(ChannelScan::abandoned(why));
}

void DesktopTranscriber::finishScan()
{
    m_session->path().setScanActive(false);
    const ScanStatistics statistics = m_session->path().takeScanStatistics();
    if (m_session->openedByScan()) {
        // Also stops monitoring.
        closeCapture();
        m_session->zeroLevels();
    }
    m_scan->setResults(ChannelScan::classify(statistics.db, statistics.zcr, m_settings->indices()));
    applyScanResults();
}

void DesktopTranscriber::applyScanResults()
{
    const QList<ChannelScan::Mute> mutes = ChannelScan::mutesFor(m_settings->channels(), m_scan->results());
    for (const ChannelScan::Mute& mute : mutes) {
        // While logging this also closes the channel's stream.
        setOn(mute.index, false);
    }
    m_settings->settle();
    m_scan->end();
    setNotice(ChannelScan::summary(m_settings->channels().size(), m_scan->results(), mutes));
}
