#include "screens/TimecodePanelModel.h"

#include "screens/LoggingScreenModel.h"

#include <cmath>

namespace {

const QString kSyncedPrefix = QStringLiteral("CAMERA TC · ");
const QString kComputerClockLine = QStringLiteral("COMPUTER CLOCK · NOT SYNCED TO CAMERA");

} // namespace

TimecodePanelModel::TimecodePanelModel(CameraTimecode& camera, std::function<void()> typeTimecode, QObject* parent)
    : QObject(parent), m_camera(camera), m_typeTimecode(std::move(typeTimecode))
{
    connect(&m_camera, &CameraTimecode::formatChanged, this, &TimecodePanelModel::refresh);
    connect(&m_camera, &CameraTimecode::sourceChanged, this, &TimecodePanelModel::refresh);
    connect(&m_camera, &CameraTimecode::scanChanged, this, &TimecodePanelModel::refresh);
    refresh();
}

TimecodePanelModel::TimecodePanelModel(LoggingScreenModel& screen, QObject* parent)
    : TimecodePanelModel(
          screen.camera(), [&screen] { screen.beginTypedTimecode(); }, parent)
{
    setCompact(screen.compactHeader());
    connect(&screen, &LoggingScreenModel::layoutStateChanged, this,
            [this, &screen] { setCompact(screen.compactHeader()); });
}

const QList<FrameRateRow>& TimecodePanelModel::frameRateRows()
{
    static const QList<FrameRateRow> rows = [] {
        QList<FrameRateRow> out;
        for (const CameraTimecode::Format& format : CameraTimecode::menuFormats())
            out.append({format.label(), format});
        return out;
    }();
    return rows;
}

QString TimecodePanelModel::sourceText(const CameraTimecode::Source& source, const QLocale& locale)
{
    const auto* camera = std::get_if<CameraTimecode::Camera>(&source);
    if (!camera)
        return kComputerClockLine;
    const QDateTime at = camera->scannedAt.toQDateTime().toLocalTime();
    const QString how = camera->viaPhone ? QStringLiteral("SCANNED ") : QStringLiteral("TYPED ");
    return kSyncedPrefix + how + locale.toString(at.time(), QLocale::ShortFormat);
}

ScanRowState TimecodePanelModel::scanRow(const CameraTimecode::ScanState& scan)
{
    if (const auto* waiting = std::get_if<CameraTimecode::Waiting>(&scan)) {
        // Until the service has reached a phone there is nothing on the phone to look at yet.
        const QString text = waiting->pushed > 0 ? QStringLiteral("Check your phone and scan the camera")
                                                 : QStringLiteral("Asking your phone…");
        return {ScanRowState::Kind::Waiting, text, QStringLiteral("Cancel")};
    }
    if (const auto* failed = std::get_if<CameraTimecode::Failed>(&scan))
        return {ScanRowState::Kind::Failed, failed->message, QStringLiteral("Try again")};
    return {};
}

double TimecodePanelModel::frameAt(Date date) const
{
    return std::floor(m_camera.secondsOfDay(date) * m_camera.format().rate() + m_camera.offsetFrames() + kFrameLift);
}

double TimecodePanelModel::frameSeconds() const
{
    const double rate = m_camera.format().rate();
    return rate > 0.0 ? 1.0 / rate : 0.0;
}

void TimecodePanelModel::chooseFrameRate(int row)
{
    const QList<FrameRateRow>& rows = frameRateRows();
    if (row < 0 || row >= rows.size())
        return;
    m_camera.setFormat(rows.at(row).format);
}

void TimecodePanelModel::startScan()
{
    m_camera.startScan();
}

void TimecodePanelModel::cancelScan()
{
    m_camera.cancelScan();
}

void TimecodePanelModel::beginTypedTimecode()
{
    if (m_typeTimecode)
        m_typeTimecode();
}

void TimecodePanelModel::useMacClock()
{
    m_camera.useMacClock();
}

void TimecodePanelModel::setCompact(bool compact)
{
    if (m_state.compact == compact)
        return;
    m_state.compact = compact;
    Q_EMIT stateChanged();
}

void TimecodePanelModel::refresh()
{
    TimecodePanelState next;
    next.synced = std::holds_alternative<CameraTimecode::Camera>(m_camera.source());
    next.sourceLine = sourceText(m_camera.source());
    next.formatLabel = m_camera.format().label();
    next.syncPillTitle = next.synced ? QStringLiteral("Rescan") : QStringLiteral("Sync to camera");
    next.syncPillActive = !next.synced;
    const QList<FrameRateRow>& rows = frameRateRows();
    for (int i = 0; i < rows.size(); ++i) {
        if (rows.at(i).format == m_camera.format())
            next.formatRow = i;
    }
    next.scan = scanRow(m_camera.scan());
    next.compact = m_state.compact;
    // Published even when the words stay: a new format can change the digits under the same
    // frame count, and the view reads them again on every publish.
    m_state = std::move(next);
    Q_EMIT stateChanged();
}
