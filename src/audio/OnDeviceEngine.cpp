#include "audio/OnDeviceEngine.h"

#include "audio/Resampler16k.h"
#include "audio/StreamMessages.h"
#include "platform/MemoryRelease.h"
#include "speech/PocketsphinxDecoder.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRate = Pocketsphinx::kRate;
// The worker takes at most this much from the queue at a time.
constexpr size_t kTakeSamples = 8000;

// Gaps at or before `horizon` count in full for every later result: one entry holds them all.
void mergeGapsBefore(std::vector<std::pair<qint64, qint64>>& gaps, qint64 horizon)
{
    const auto kept =
        std::find_if(gaps.begin(), gaps.end(), [horizon](const auto& gap) { return gap.first > horizon; });
    if (kept - gaps.begin() < 2)
        return;
    qint64 missing = 0;
    for (auto gap = gaps.begin(); gap != kept; ++gap)
        missing += gap->second;
    const qint64 at = std::prev(kept)->first;
    const auto next = gaps.erase(gaps.begin() + 1, kept);
    *std::prev(next) = {at, missing};
}

} // namespace

namespace OnDeviceModel {

QString unavailableMessage()
{
    return QStringLiteral("This computer has no on-device speech model for your language.");
}

std::optional<QString> folderFor(const QLocale& locale, const QString& root)
{
    const auto installed = [&](const QString& name) -> std::optional<QString> {
        const QString folder = QDir(root).filePath(name);
        if (Pocketsphinx::hasModel(folder))
            return folder;
        return std::nullopt;
    };
    // The only model there is serves every English locale.
    const auto modelFor = [&](QLocale::Language language) -> std::optional<QString> {
        if (language == QLocale::English)
            return installed(QStringLiteral("en-us"));
        return std::nullopt;
    };
    const QLocale::Language language = locale.language();
    if (language != QLocale::C && language != QLocale::AnyLanguage) {
        if (auto folder = modelFor(language))
            return folder;
    }
    return modelFor(QLocale(QStringLiteral("en_GB")).language());
}

bool isAvailable(const QString& root)
{
    return folderFor(QLocale(), root).has_value();
}

RecogniserFactory pocketsphinxFactory(const QString& root, UtteranceLimits limits)
{
    return [root, limits](QString& error) -> std::unique_ptr<SpeechRecogniser> {
        const std::optional<QString> folder = folderFor(QLocale(), root);
        if (!folder) {
            error = unavailableMessage();
            return nullptr;
        }
        QString problem;
        auto recogniser = PocketsphinxRecogniser::create(*folder, problem, limits);
        if (!recogniser)
            error = QStringLiteral("On-device transcription stopped: %1.").arg(problem);
        return recogniser;
    };
}

} // namespace OnDeviceModel

std::unique_ptr<PocketsphinxRecogniser> PocketsphinxRecogniser::create(const QString& modelFolder, QString& problem,
                                                                       OnDeviceModel::UtteranceLimits limits)
{
    const auto samples = [](double seconds) { return static_cast<qint64>(std::max(seconds, 1.0) * kRate); };
    Pocketsphinx::Limits bounds;
    bounds.longSamples = samples(limits.longSeconds);
    bounds.maxSamples = samples(limits.maxSeconds);
    bounds.maxTextChars = StreamMessages::kMaxTextChars;
    std::optional<Pocketsphinx::LoadFailure> failure;
    auto decoder = Pocketsphinx::Decoder::load(modelFolder, bounds, failure);
    if (!decoder) {
        problem = failure == Pocketsphinx::LoadFailure::SettingsRefused
                      ? QStringLiteral("the speech model's settings were refused")
                      : QStringLiteral("the speech model could not be loaded");
        return nullptr;
    }
    return std::unique_ptr<PocketsphinxRecogniser>(new PocketsphinxRecogniser(std::move(decoder)));
}

PocketsphinxRecogniser::PocketsphinxRecogniser(std::unique_ptr<Pocketsphinx::Decoder> decoder)
    : m_decoder(std::move(decoder))
{
}

PocketsphinxRecogniser::~PocketsphinxRecogniser() = default;

void PocketsphinxRecogniser::feed(std::span<const qint16> samples, QList<RecognisedResult>& out)
{
    QList<Pocketsphinx::Heard> heard;
    m_decoder->feed(samples, heard);
    for (const Pocketsphinx::Heard& one : heard)
        out.append(RecognisedResult{one.text, one.isFinal, one.startSample, one.endSample});
}

void PocketsphinxRecogniser::finish(QList<RecognisedResult>& out)
{
    QList<Pocketsphinx::Heard> heard;
    m_decoder->finish(heard);
    for (const Pocketsphinx::Heard& one : heard)
        out.append(RecognisedResult{one.text, one.isFinal, one.startSample, one.endSample});
}

qint64 PocketsphinxRecogniser::earliestPending() const
{
    return m_decoder->earliestPending();
}

OnDeviceEngine::OnDeviceEngine(RecogniserFactory factory, Callbacks callbacks, Clock* clock)
    : m_callbacks(std::move(callbacks)), m_clock(Clock::orSystem(clock)), m_madeAt(m_clock.monotonic())
{
    const double capacity = kMaxQueuedSeconds * kRate;
    m_ring.resize(static_cast<size_t>(capacity));
    m_thread = std::thread([this, factory = std::move(factory)]() mutable { run(std::move(factory)); });
}

OnDeviceEngine::~OnDeviceEngine()
{
    stopSoon();
    if (m_thread.joinable())
        m_thread.join();
}

void OnDeviceEngine::stopSoon()
{
    m_closed.store(true);
    {
        const std::lock_guard lock(m_mutex);
        m_abort = true;
    }
    m_wake.notify_all();
}

void OnDeviceEngine::release(std::unique_ptr<OnDeviceEngine> engine)
{
    if (!engine)
        return;
    engine->stopSoon();
    std::thread([engine = std::move(engine)]() mutable {
        engine.reset();
        // A decoder is some 80 MB of the process, freed in pieces on its own thread's heap.
        MemoryRelease::returnFreed();
    }).detach();
}

void OnDeviceEngine::feed(std::span<const float> mono, double sampleRate)
{
    if (m_closed.load(std::memory_order_relaxed) || mono.empty())
        return;
    // NaN rates compare equal here, so a bad rate is tried (and reported) once.
    const bool sameRate = m_rate == sampleRate || (std::isnan(m_rate) && std::isnan(sampleRate));
    if (!m_resampler || !sameRate) {
        if (m_formatReported && sameRate)
            return;
        m_rate = sampleRate;
        m_resampler = std::make_unique<Resampler16k>(sampleRate);
        if (!m_resampler->isValid()) {
            const QString why = m_resampler->errorString();
            m_resampler.reset();
            if (!m_formatReported) {
                m_formatReported = true;
                postError(QStringLiteral("On-device transcription stopped: the audio cannot be converted for the "
                                         "recogniser (%1).")
                              .arg(why));
            }
            return;
        }
    }
    const std::span<const qint16> converted = m_resampler->process(mono);
    if (!m_accepted) {
        m_accepted = true;
        const std::chrono::duration<double> since = m_clock.monotonic() - m_madeAt;
        const std::lock_guard lock(m_mutex);
        m_origin = since.count();
    }
    if (!converted.empty() && enqueue(converted))
        m_wake.notify_one();
}

bool OnDeviceEngine::enqueue(std::span<const qint16> samples)
{
    const std::lock_guard lock(m_mutex);
    if (m_finished || m_abort)
        return false;
    const size_t capacity = m_ring.size();
    if (samples.size() > capacity - m_size) {
        m_pendingGap += static_cast<qint64>(samples.size());
        m_droppedTotal += static_cast<qint64>(samples.size());
        return false;
    }
    if (m_pendingGap > 0) {
        m_gaps.emplace_back(m_queuedTotal, m_pendingGap);
        m_pendingGap = 0;
    }
    size_t tail = (m_head + m_size) % capacity;
    for (const qint16 sample : samples) {
        m_ring[tail] = sample;
        tail = tail + 1 == capacity ? 0 : tail + 1;
    }
    m_size += samples.size();
    m_queuedTotal += static_cast<qint64>(samples.size());
    return true;
}

void OnDeviceEngine::finish()
{
    m_closed.store(true);
    {
        const std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_wake.notify_all();
}

qint64 OnDeviceEngine::queuedSamples() const
{
    const std::lock_guard lock(m_mutex);
    return static_cast<qint64>(m_size);
}

qint64 OnDeviceEngine::droppedSamples() const
{
    const std::lock_guard lock(m_mutex);
    return m_droppedTotal;
}

void OnDeviceEngine::run(RecogniserFactory factory)
{
    QString error;
    std::unique_ptr<SpeechRecogniser> recogniser = factory ? factory(error) : nullptr;
    if (!recogniser) {
        // Nobody reads the queue any more: later buffers are dropped.
        m_closed.store(true);
        postError(error.isEmpty() ? OnDeviceModel::unavailableMessage() : error);
        m_done.store(true);
        return;
    }
    std::vector<qint16> taken;
    taken.reserve(kTakeSamples);
    std::vector<std::pair<qint64, qint64>> gaps; // (decoded position, samples missing before it)
    QList<RecognisedResult> results;
    for (;;) {
        double origin = 0.0;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_abort || m_finished || m_size > 0; });
            if (m_abort)
                break;
            if (m_size == 0 && m_finished) {
                origin = m_origin;
                lock.unlock();
                recogniser->finish(results);
                deliver(results, gaps, origin);
                break;
            }
            for (const auto& gap : m_gaps)
                gaps.push_back(gap);
            m_gaps.clear();
            const size_t count = std::min(m_size, kTakeSamples);
            taken.resize(count);
            for (size_t i = 0; i < count; ++i) {
                taken[i] = m_ring[m_head];
                m_head = m_head + 1 == m_ring.size() ? 0 : m_head + 1;
            }
            m_size -= count;
            origin = m_origin;
        }
        results.clear();
        recogniser->feed(taken, results);
        deliver(results, gaps, origin);
        results.clear();
        mergeGapsBefore(gaps, recogniser->earliestPending());
        m_keptGaps.store(gaps.size());
    }
    m_done.store(true);
}

void OnDeviceEngine::deliver(const QList<RecognisedResult>& results, const std::vector<std::pair<qint64, qint64>>& gaps,
                             double origin) const
{
    // A decoded position maps back to the audio's own time by adding what was dropped before it.
    const auto seconds = [&gaps](qint64 sample) {
        qint64 missing = 0;
        for (const auto& [at, count] : gaps) {
            if (at > sample)
                break;
            missing += count;
        }
        return static_cast<double>(sample + missing) / kRate;
    };
    for (const RecognisedResult& result : results)
        post(Result{result.text, result.isFinal, seconds(result.startSample), seconds(result.endSample), origin});
}

void OnDeviceEngine::post(Result result) const
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !m_callbacks.onResult)
        return;
    QMetaObject::invokeMethod(
        app, [call = m_callbacks.onResult, result = std::move(result)] { call(result); }, Qt::QueuedConnection);
}

void OnDeviceEngine::postError(const QString& message) const
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !m_callbacks.onError)
        return;
    QMetaObject::invokeMethod(
        app, [call = m_callbacks.onError, message] { call(message); }, Qt::QueuedConnection);
}
