#include "audio/OnDeviceEngine.h"

#include "audio/Resampler16k.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "audio/StreamMessages.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double kRate = 16000.0;
// pocketsphinx counts 100 frames a second: 160 samples each.
constexpr qint64 kSamplesPerFrame = 160;
// Small slices keep the voice activity detection responsive.
constexpr size_t kSliceSamples = 1600;
constexpr qint64 kGuessEverySamples = 8000;
// The worker takes at most this much from the queue at a time.
constexpr size_t kTakeSamples = 8000;

// pocketsphinx keeps one log stream for the whole process, and a load that names a log file
// closes the stream before it: two loads at once close it twice. Logging goes off once and loads
// take turns. Never destroyed, so a load still running at exit finds it.
std::mutex& loadMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

// Whole words only; the recogniser's words are plain ASCII.
QString capped(const QString& text)
{
    if (text.size() <= StreamMessages::kMaxTextChars)
        return text;
    const qsizetype space = text.lastIndexOf(u' ', StreamMessages::kMaxTextChars);
    return text.left(space > 0 ? space : StreamMessages::kMaxTextChars);
}

// Filler and silence markers are not words; alternates read "word(2)".
QString spokenWord(const char* raw)
{
    QString word = QString::fromUtf8(raw ? raw : "");
    if (word.startsWith(u'<') || word.startsWith(u'[') || word.isEmpty())
        return {};
    const qsizetype paren = word.indexOf(u'(');
    if (paren > 0)
        word.truncate(paren);
    return word;
}

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
    return QStringLiteral("This Mac has no on-device speech model for your language.");
}

std::optional<QString> folderFor(const QLocale& locale, const QString& root)
{
    const auto installed = [&](const QString& name) -> std::optional<QString> {
        const QString folder = QDir(root).filePath(name);
        const QDir dir(folder);
        if (QFileInfo(dir.filePath(QStringLiteral("en-us"))).isDir() &&
            QFileInfo::exists(dir.filePath(QStringLiteral("en-us.lm.bin"))) &&
            QFileInfo::exists(dir.filePath(QStringLiteral("cmudict-en-us.dict"))))
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

struct PocketsphinxRecogniser::Decoder {
    cmd_ln_t* config = nullptr;
    ps_decoder_t* decoder = nullptr;
    ~Decoder()
    {
        if (decoder)
            ps_free(decoder);
        if (config)
            cmd_ln_free_r(config);
    }
};

std::unique_ptr<PocketsphinxRecogniser> PocketsphinxRecogniser::create(const QString& modelFolder, QString& problem,
                                                                       OnDeviceModel::UtteranceLimits limits)
{
    const QDir dir(modelFolder);
    const QByteArray hmm = QFile::encodeName(dir.filePath(QStringLiteral("en-us")));
    const QByteArray lm = QFile::encodeName(dir.filePath(QStringLiteral("en-us.lm.bin")));
    const QByteArray dict = QFile::encodeName(dir.filePath(QStringLiteral("cmudict-en-us.dict")));

    const std::lock_guard lock(loadMutex());
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });
    std::unique_ptr<PocketsphinxRecogniser> recogniser(new PocketsphinxRecogniser);
    recogniser->m_decoder = std::make_unique<Decoder>();
    const auto samples = [](double seconds) { return static_cast<qint64>(std::max(seconds, 1.0) * kRate); };
    recogniser->m_longSamples = samples(limits.longSeconds);
    recogniser->m_maxSamples = std::max(samples(limits.maxSeconds), recogniser->m_longSamples);
    recogniser->m_decoder->config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm",
                                                lm.constData(), "-dict", dict.constData(), nullptr);
    if (!recogniser->m_decoder->config) {
        problem = QStringLiteral("the speech model's settings were refused");
        return nullptr;
    }
    recogniser->m_decoder->decoder = ps_init(recogniser->m_decoder->config);
    if (!recogniser->m_decoder->decoder) {
        problem = QStringLiteral("the speech model could not be loaded");
        return nullptr;
    }
    return recogniser;
}

PocketsphinxRecogniser::~PocketsphinxRecogniser()
{
    if (m_decoder && m_decoder->decoder && m_inUtterance)
        ps_end_utt(m_decoder->decoder);
}

void PocketsphinxRecogniser::feed(std::span<const qint16> samples, QList<RecognisedResult>& out)
{
    // Slices fall on fixed places in the audio, whatever pieces it comes in, so the silence
    // detection and with it the results do not depend on timing.
    while (!samples.empty()) {
        const size_t toBoundary = kSliceSamples - static_cast<size_t>(m_samplesFed % qint64(kSliceSamples));
        const size_t count = std::min(samples.size(), toBoundary);
        processSlice(samples.first(count), out);
        samples = samples.subspan(count);
    }
}

void PocketsphinxRecogniser::processSlice(std::span<const qint16> slice, QList<RecognisedResult>& out)
{
    ps_decoder_t* decoder = m_decoder->decoder;
    if (!m_inUtterance) {
        ps_start_utt(decoder);
        m_inUtterance = true;
        m_speaking = false;
        m_utteranceStart = m_samplesFed;
        m_lastGuess.clear();
    }
    ps_process_raw(decoder, slice.data(), slice.size(), FALSE, FALSE);
    m_samplesFed += static_cast<qint64>(slice.size());
    const bool inSpeech = ps_get_in_speech(decoder) != 0;
    if (inSpeech) {
        // Length and loudness count from the speech, not from the silence waited through before it.
        if (!m_speaking) {
            m_speaking = true;
            m_speechStart = m_samplesFed - static_cast<qint64>(slice.size());
            m_lastGuessAt = m_samplesFed;
            m_pauses.reset();
        }
        const bool paused = m_pauses.heardPause(slice);
        const qint64 length = m_samplesFed - m_speechStart;
        if (length >= m_maxSamples || (paused && length >= m_longSamples)) {
            endUtterance(out);
            return;
        }
        if (m_samplesFed - m_lastGuessAt >= kGuessEverySamples) {
            m_lastGuessAt = m_samplesFed;
            const char* hypothesis = ps_get_hyp(decoder, nullptr);
            const QString guess = capped(QString::fromUtf8(hypothesis ? hypothesis : "").simplified());
            if (!guess.isEmpty() && guess != m_lastGuess) {
                m_lastGuess = guess;
                out.append(RecognisedResult{guess, false, m_speechStart, m_samplesFed});
            }
        }
    } else if (m_speaking) {
        endUtterance(out);
    } else if (m_samplesFed - m_utteranceStart >= m_maxSamples) {
        // Long silence: a fresh utterance keeps the decoder's work per second flat.
        ps_end_utt(decoder);
        m_inUtterance = false;
    }
}

qint64 PocketsphinxRecogniser::earliestPending() const
{
    return m_inUtterance ? m_utteranceStart : m_samplesFed;
}

void PocketsphinxRecogniser::finish(QList<RecognisedResult>& out)
{
    if (m_inUtterance && m_speaking) {
        endUtterance(out);
    } else if (m_inUtterance) {
        ps_end_utt(m_decoder->decoder);
        m_inUtterance = false;
    }
}

void PocketsphinxRecogniser::endUtterance(QList<RecognisedResult>& out)
{
    ps_decoder_t* decoder = m_decoder->decoder;
    ps_end_utt(decoder);
    m_inUtterance = false;
    m_speaking = false;
    RecognisedResult result;
    result.isFinal = true;
    result.startSample = m_speechStart;
    result.endSample = m_samplesFed;
    // The decoder numbers frames from its first utterance, so a frame is a place in all the
    // audio fed; kept within this utterance all the same.
    const auto place = [this](int frame) {
        return std::clamp(static_cast<qint64>(frame) * kSamplesPerFrame, m_utteranceStart, m_samplesFed);
    };
    bool first = true;
    for (ps_seg_t* seg = ps_seg_iter(decoder); seg; seg = ps_seg_next(seg)) {
        const QString word = spokenWord(ps_seg_word(seg));
        if (word.isEmpty())
            continue;
        if (result.text.size() + word.size() + 1 > StreamMessages::kMaxTextChars) {
            ps_seg_free(seg);
            break;
        }
        int startFrame = 0;
        int endFrame = 0;
        ps_seg_frames(seg, &startFrame, &endFrame);
        if (first)
            result.startSample = place(startFrame);
        first = false;
        result.endSample = place(endFrame + 1);
        if (!result.text.isEmpty())
            result.text += u' ';
        result.text += word;
    }
    // An empty final still ends a guess that was shown.
    if (!result.text.isEmpty() || !m_lastGuess.isEmpty())
        out.append(result);
    m_lastGuess.clear();
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
    std::thread([engine = std::move(engine)]() mutable { engine.reset(); }).detach();
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
