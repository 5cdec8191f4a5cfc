#include "timecode/CameraTimecode.h"

#include "platform/Defaults.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

const QString formatKey = QStringLiteral("pindle_logger_tc_format");

constexpr double secondsPerDay = 86400.0;
// Lifts a moment that sits a hair below a frame boundary (binary fractions of 1/rate) onto it.
constexpr double frameEpsilon = 0.0001;
// Beyond 2^53 a double no longer holds every whole number, and the cast could overflow.
constexpr double exactIntegerLimit = 9007199254740992.0;
// The demo camera shows 14:32:10:00 (in a format without drop-frame): this many seconds of day.
constexpr qint64 demoCameraSeconds = 52330;

enum class Reading { NotInteger, Value, Overflow };

// Reads an optionally signed run of ASCII decimal digits, the whole piece and nothing else.
Reading readInteger(QStringView piece, qint64& value)
{
    qsizetype i = 0;
    bool negative = false;
    if (!piece.isEmpty() && (piece[0] == u'+' || piece[0] == u'-')) {
        negative = piece[0] == u'-';
        i = 1;
    }
    if (i == piece.size())
        return Reading::NotInteger;
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    qint64 magnitude = 0;
    bool overflow = false;
    for (; i < piece.size(); ++i) {
        const char16_t c = piece[i].unicode();
        if (c < u'0' || c > u'9')
            return Reading::NotInteger;
        const int digit = c - u'0';
        if (magnitude > (max - digit) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (overflow)
        return Reading::Overflow;
    value = negative ? -magnitude : magnitude;
    return Reading::Value;
}

bool isTimecodeSeparator(QChar c)
{
    return c == u':' || c == u';' || c == u'.';
}

// Writes at least two digits of a non-negative value and returns the position after them.
char16_t* putDigits(char16_t* out, qint64 value)
{
    if (value < 100) {
        out[0] = static_cast<char16_t>(u'0' + value / 10);
        out[1] = static_cast<char16_t>(u'0' + value % 10);
        return out + 2;
    }
    char16_t reversed[20];
    int count = 0;
    while (value > 0) {
        reversed[count++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    }
    while (count > 0)
        *out++ = reversed[--count];
    return out;
}

// The frame of the day a frame position falls in. Works in double space so that no position,
// however far off or not finite, reaches an integer conversion out of range.
qint64 frameOfDay(double frames, qint64 perDay)
{
    if (perDay <= 0 || !std::isfinite(frames))
        return 0;
    const double day = static_cast<double>(perDay);
    double wrapped = std::fmod(std::floor(frames + frameEpsilon), day);
    if (wrapped < 0.0)
        wrapped += day;
    return wrapped >= 0.0 && wrapped < day ? static_cast<qint64>(wrapped) : 0;
}

} // namespace

double CameraTimecode::Format::rate() const
{
    return pulldown ? base * 1000.0 / 1001.0 : static_cast<double>(base);
}

QString CameraTimecode::Format::storageString() const
{
    return QString::number(base) + u'|' + (pulldown ? u'1' : u'0') + u'|' + (dropFrame ? u'1' : u'0');
}

std::optional<CameraTimecode::Format> CameraTimecode::Format::fromStorage(const QString& text)
{
    qint64 fields[3] = {};
    int count = 0;
    for (const QStringView piece : QStringView(text).split(u'|', Qt::SkipEmptyParts)) {
        qint64 value = 0;
        if (count == 3 || readInteger(piece, value) != Reading::Value)
            return std::nullopt;
        fields[count++] = value;
    }
    if (count != 3)
        return std::nullopt;
    const qint64 b = fields[0];
    if (b != 24 && b != 25 && b != 30 && b != 48 && b != 50 && b != 60)
        return std::nullopt;
    Format format;
    format.base = static_cast<int>(b);
    format.pulldown = fields[1] == 1;
    // Only 30 and 60 have a drop-frame count.
    format.dropFrame = fields[2] == 1 && (b == 30 || b == 60);
    return format;
}

QString CameraTimecode::Format::label() const
{
    QString text;
    if (pulldown) {
        text = QString::number(rate(), 'f', 3);
        while (text.endsWith(u'0'))
            text.chop(1);
    } else {
        text = QString::number(base);
    }
    if (dropFrame)
        text += QLatin1String(" DF");
    return text + QLatin1String(" fps");
}

qint64 CameraTimecode::Format::framesPerDay() const
{
    if (base < 1)
        return 0;
    // Drop-frame skips D labels in 9 of every 10 minutes: 9 × 6 × 24 = 1296 minutes a day.
    const qint64 drop = dropFrame ? base / 15 : 0;
    return qint64(base) * 86400 - drop * 1296;
}

std::optional<qint64> CameraTimecode::Format::parseFrames(QStringView text) const
{
    if (base < 1)
        return std::nullopt;
    qint64 fields[4] = {};
    int count = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isTimecodeSeparator(text[i]))
            continue;
        const QStringView piece = text.sliced(start, i - start);
        start = i + 1;
        if (piece.isEmpty())
            continue;
        qint64 value = 0;
        switch (readInteger(piece, value)) {
        case Reading::NotInteger:
            continue; // stray words between the fields do not count
        case Reading::Overflow:
            return std::nullopt;
        case Reading::Value:
            if (count == 4 || piece[0] == u'-') // every field is 0 or more, "-0" too
                return std::nullopt;
            fields[count++] = value;
            break;
        }
    }
    if (count != 4)
        return std::nullopt;
    const qint64 hours = fields[0];
    const qint64 minutes = fields[1];
    const qint64 seconds = fields[2];
    const qint64 frame = fields[3];
    if (hours > 23 || minutes > 59 || seconds > 59 || frame >= base)
        return std::nullopt;
    // Bounded fields keep every product below 24 × 3600 × INT_MAX: no overflow is possible.
    qint64 frames = ((hours * 60 + minutes) * 60 + seconds) * base + frame;
    if (dropFrame) {
        const qint64 totalMinutes = hours * 60 + minutes;
        frames -= (base / 15) * (totalMinutes - totalMinutes / 10);
    }
    return frames;
}

QString CameraTimecode::Format::formatFrames(qint64 frames) const
{
    const qint64 perDay = framesPerDay();
    if (perDay <= 0)
        return QStringLiteral("00:00:00:00");
    // C++ % keeps the dividend's sign; |frames % perDay| < perDay, so the sum cannot overflow.
    qint64 f = ((frames % perDay) + perDay) % perDay;
    const qint64 b = base;
    if (dropFrame) {
        // Put back the labels drop-frame skips: D at the start of each minute but every tenth.
        const qint64 drop = b / 15;
        const qint64 perTen = b * 600 - 9 * drop;
        const qint64 perMinute = b * 60 - drop;
        const qint64 tens = f / perTen;
        const qint64 rest = f - tens * perTen;
        f += 9 * drop * tens;
        if (rest > drop)
            f += drop * ((rest - drop) / perMinute);
    }
    char16_t buffer[32];
    char16_t* out = putDigits(buffer, f / (b * 3600));
    *out++ = u':';
    out = putDigits(out, (f / (b * 60)) % 60);
    *out++ = u':';
    out = putDigits(out, (f / b) % 60);
    *out++ = dropFrame ? u';' : u':';
    out = putDigits(out, f % b);
    return QString(reinterpret_cast<const QChar*>(buffer), out - buffer);
}

const QList<CameraTimecode::Format>& CameraTimecode::menuFormats()
{
    static const QList<Format> formats = {
        {24, true, false}, {24, false, false}, {25, false, false}, {30, true, true},
        {30, true, false}, {30, false, false}, {50, false, false}, {60, true, true},
    };
    return formats;
}

CameraTimecode::CameraTimecode(Defaults& defaults, Clock* clock, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_clock(Clock::orSystem(clock)),
      m_tzOffsetSeconds(currentTimeZoneOffsetSeconds())
{
    if (const auto stored = m_defaults.string(formatKey)) {
        if (const auto format = Format::fromStorage(*stored))
            m_format = *format;
    }
}

CameraTimecode& CameraTimecode::shared()
{
    static CameraTimecode instance(Defaults::shared());
    return instance;
}

void CameraTimecode::setOffsetFrames(double frames)
{
    m_offsetFrames = std::isfinite(frames) ? frames : 0.0;
}

void CameraTimecode::setTzOffsetSeconds(int seconds)
{
    m_tzOffsetSeconds = seconds;
}

void CameraTimecode::setSource(const Source& source)
{
    m_source = source;
    Q_EMIT sourceChanged();
}

void CameraTimecode::setScan(const ScanState& state)
{
    m_scan = state;
    Q_EMIT scanChanged();
}

double CameraTimecode::secondsOfDay(Date date) const
{
    const double t = date.secondsSince1970() + m_tzOffsetSeconds;
    if (!std::isfinite(t))
        return 0.0;
    // fmod is exact; the guard catches a tiny negative remainder rounding up to a whole day.
    double seconds = std::fmod(t, secondsPerDay);
    if (seconds < 0.0)
        seconds += secondsPerDay;
    return seconds < secondsPerDay ? seconds : 0.0;
}

QString CameraTimecode::timecodeAt(Date date) const
{
    const double frames = secondsOfDay(date) * m_format.rate() + m_offsetFrames;
    return m_format.formatFrames(frameOfDay(frames, m_format.framesPerDay()));
}

std::optional<qint64> CameraTimecode::offsetMilliseconds() const
{
    if (!std::holds_alternative<Camera>(m_source))
        return std::nullopt;
    const double rate = m_format.rate();
    if (!(rate > 0.0))
        return std::nullopt;
    // std::round rounds half away from zero.
    const double ms = std::round(m_offsetFrames / rate * 1000.0);
    if (!std::isfinite(ms) || std::fabs(ms) > exactIntegerLimit)
        return std::nullopt;
    return static_cast<qint64>(ms);
}

void CameraTimecode::setFormat(const Format& format)
{
    setFormat(format, m_clock.now());
}

void CameraTimecode::setFormat(const Format& format, Date now)
{
    const QString shown = timecodeAt(now);
    const double oldRate = m_format.rate();
    m_format = format;
    storeFormat();
    // Keep the label on screen and let it run on at the new rate. A frame number the new base
    // cannot show keeps the camera's moment instead: the offset is a time, so it is counted
    // again in frames of the new rate (left in the old rate's frames, it would move the clock by
    // minutes or hours).
    if (std::holds_alternative<Camera>(m_source)) {
        if (const auto frames = m_format.parseFrames(shown))
            m_offsetFrames = static_cast<double>(*frames) - secondsOfDay(now) * m_format.rate();
        else if (oldRate > 0.0)
            setOffsetFrames(m_offsetFrames / oldRate * m_format.rate());
    }
    Q_EMIT formatChanged();
}

bool CameraTimecode::lockTyped(const QString& text)
{
    return lockTyped(text, m_clock.now(), currentTimeZoneOffsetSeconds());
}

bool CameraTimecode::lockTyped(const QString& text, Date now, int tzOffsetSeconds)
{
    const auto frames = m_format.parseFrames(text);
    if (!frames)
        return false;
    m_tzOffsetSeconds = tzOffsetSeconds;
    // The camera shows the typed label at this moment; no half frame is added for a typed lock.
    m_offsetFrames = static_cast<double>(*frames) - secondsOfDay(now) * m_format.rate();
    m_source = Camera{now, false};
    Q_EMIT sourceChanged();
    return true;
}

void CameraTimecode::useMacClock()
{
    useMacClock(currentTimeZoneOffsetSeconds());
}

void CameraTimecode::useMacClock(int tzOffsetSeconds)
{
    m_offsetFrames = 0.0;
    m_tzOffsetSeconds = tzOffsetSeconds;
    m_source = MacClock{};
    Q_EMIT sourceChanged();
}

void CameraTimecode::storeFormat()
{
    m_defaults.set(formatKey, m_format.storageString());
}

void CameraTimecode::setScanBackend(std::unique_ptr<ScanBackend> backend)
{
    if (m_scanRunning)
        cancelScan();
    m_scanBackend = std::move(backend);
}

void CameraTimecode::setDemoMode(bool on)
{
    setDemoMode(on, DemoScanTiming());
}

void CameraTimecode::setDemoMode(bool on, DemoScanTiming timing)
{
    m_demoMode = on;
    m_demoTiming = timing;
}

void CameraTimecode::startScan()
{
    stopRunningScan();
    const quint64 scan = ++m_scanNumber;
    m_scanRunning = true;
    setScan(Waiting{0});
    if (m_demoMode)
        runDemoScan(scan);
    else if (m_scanBackend)
        m_scanBackend->startScan(*this, scan);
    else
        reportScanFailed(scan, QString::fromLatin1(kNoScanServiceMessage));
}

void CameraTimecode::cancelScan()
{
    stopRunningScan();
    setScan(Idle{});
}

void CameraTimecode::stopRunningScan()
{
    if (!m_scanRunning)
        return;
    m_scanRunning = false;
    // The demo scan's timers see that their scan no longer runs; the backend is told.
    if (m_scanBackend)
        m_scanBackend->cancelScan(m_scanNumber);
}

bool CameraTimecode::reportScanWaiting(quint64 scan, int pushed)
{
    if (!isRunningScan(scan))
        return false;
    setScan(Waiting{pushed > 0 ? pushed : 0});
    return true;
}

bool CameraTimecode::reportScanFailed(quint64 scan, const QString& message)
{
    if (!isRunningScan(scan))
        return false;
    m_scanRunning = false;
    setScan(Failed{message});
    return true;
}

bool CameraTimecode::reportScanResult(quint64 scan, const ScanResult& result)
{
    if (!isRunningScan(scan))
        return false;
    m_scanRunning = false;
    applyScanResult(result);
    return true;
}

void CameraTimecode::applyScanResult(const ScanResult& result)
{
    applyScanResult(result, m_clock.now(), currentTimeZoneOffsetSeconds());
}

void CameraTimecode::applyScanResult(const ScanResult& result, Date now, int tzOffsetSeconds)
{
    const auto unreadable = [this] { setScan(Failed{QString::fromLatin1(kUnreadableScanMessage)}); };
    if (!result.readable)
        return unreadable();
    if (result.seenAt && !std::isfinite(result.seenAt->sinceReferenceDate))
        return unreadable();
    if (result.tzOffsetMinutes && std::abs(*result.tzOffsetMinutes) > kMaxTzOffsetMinutes)
        return unreadable();

    Format format = m_format;
    if (result.tcFormat) {
        if (const auto reported = Format::fromStorage(*result.tcFormat))
            format = *reported;
    }
    const auto frames = format.parseFrames(result.cameraTC.value_or(QString()));
    if (!frames)
        return unreadable();
    const int tz = result.tzOffsetMinutes ? *result.tzOffsetMinutes * 60 : tzOffsetSeconds;
    syncToScannedFrame(format, *frames, result.seenAt.value_or(now), tz);
}

void CameraTimecode::syncToScannedFrame(const Format& format, qint64 frames, Date seen, int tzOffsetSeconds)
{
    m_tzOffsetSeconds = tzOffsetSeconds;
    const bool newFormat = format != m_format;
    if (newFormat) {
        m_format = format;
        storeFormat();
    }
    m_offsetFrames = static_cast<double>(frames) + 0.5 - secondsOfDay(seen) * m_format.rate();
    m_source = Camera{seen, true};
    if (newFormat)
        Q_EMIT formatChanged();
    Q_EMIT sourceChanged();
    setScan(Idle{});
}

void CameraTimecode::runDemoScan(quint64 scan)
{
    m_clock.singleShot(m_demoTiming.ask, this, [this, scan] {
        if (!reportScanWaiting(scan, 1))
            return;
        m_clock.singleShot(m_demoTiming.read, this, [this, scan] {
            if (!isRunningScan(scan))
                return;
            m_scanRunning = false;
            // The label the camera shows, read back in the current format.
            const qint64 shown = qint64(m_format.base) * demoCameraSeconds;
            const qint64 frames = m_format.parseFrames(m_format.formatFrames(shown)).value_or(0);
            syncToScannedFrame(m_format, frames, m_clock.now(), currentTimeZoneOffsetSeconds());
        });
    });
}
