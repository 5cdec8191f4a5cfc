#include "Recognizer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QMutexLocker>

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <cstdlib>
#include <mutex>

namespace standin {

namespace {

constexpr double kSampleRate = 16000.0;
// pocketsphinx's frame rate (frames per second).
constexpr double kFrameRate = 100.0;
// The voice detector is asked after every slice this long, so that a short pause inside a large
// message still ends the utterance.
constexpr size_t kSliceSamples = 1600;
// An interim guess at most this often, in samples of speech.
constexpr qint64 kGuessEverySamples = 8000;
// Idle decoders kept at most (each holds about 90 MB: the language model and dictionary).
constexpr size_t kMaxIdle = 2;

// pocketsphinx keeps one log stream for the whole process, and a load that names a log file
// closes the stream before it; two loads at once close it twice. Logging is switched off once
// instead, and loads take turns.
QMutex& loadMutex()
{
    static QMutex mutex;
    return mutex;
}

// "<s>", "</s>", "<sil>", "[NOISE]" and the like are no words; "read(2)" is the second
// pronunciation of "read".
QString spokenWord(const char* token)
{
    QString word = QString::fromUtf8(token);
    if (word.isEmpty() || word.startsWith(u'<') || word.startsWith(u'['))
        return {};
    const qsizetype paren = word.indexOf(u'(');
    if (paren > 0)
        word.truncate(paren);
    return word;
}

} // namespace

void Recognizer::ConfigFree::operator()(cmd_ln_s* config) const
{
    cmd_ln_free_r(config);
}

void Recognizer::DecoderFree::operator()(ps_decoder_s* decoder) const
{
    ps_free(decoder);
}

std::unique_ptr<Recognizer> Recognizer::load(const QString& modelDir, QString& problem, UtteranceLimits limits)
{
    const QDir dir(modelDir);
    const QString hmm = dir.filePath(QStringLiteral("en-us"));
    const QString lm = dir.filePath(QStringLiteral("en-us.lm.bin"));
    const QString dict = dir.filePath(QStringLiteral("cmudict-en-us.dict"));
    if (!QFileInfo(hmm).isDir() || !QFileInfo::exists(lm) || !QFileInfo::exists(dict)) {
        problem = QStringLiteral("no pocketsphinx model in %1").arg(modelDir);
        return nullptr;
    }
    const QByteArray hmmPath = QFile::encodeName(hmm);
    const QByteArray lmPath = QFile::encodeName(lm);
    const QByteArray dictPath = QFile::encodeName(dict);

    const QMutexLocker lock(&loadMutex());
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });
    std::unique_ptr<Recognizer> recognizer(new Recognizer(limits));
    recognizer->m_config.reset(cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmmPath.constData(), "-lm",
                                           lmPath.constData(), "-dict", dictPath.constData(), nullptr));
    if (!recognizer->m_config) {
        problem = QStringLiteral("pocketsphinx refused its configuration");
        return nullptr;
    }
    recognizer->m_decoder.reset(ps_init(recognizer->m_config.get()));
    if (!recognizer->m_decoder) {
        problem = QStringLiteral("pocketsphinx could not load the model in %1").arg(modelDir);
        return nullptr;
    }
    return recognizer;
}

Recognizer::~Recognizer()
{
    if (m_decoder && m_inUtterance)
        ps_end_utt(m_decoder.get());
}

void Recognizer::reset()
{
    if (m_inUtterance)
        ps_end_utt(m_decoder.get());
    m_inUtterance = false;
    m_speaking = false;
    m_samplesFed = 0;
    m_utteranceStart = 0;
    m_lastGuessAt = 0;
    m_lastGuess.clear();
}

void Recognizer::beginUtterance()
{
    ps_start_utt(m_decoder.get());
    m_inUtterance = true;
    m_speaking = false;
    m_utteranceStart = m_samplesFed;
    m_lastGuessAt = m_samplesFed;
    m_lastGuess.clear();
}

void Recognizer::feed(std::span<const qint16> samples, QList<Heard>& out)
{
    while (!samples.empty()) {
        const size_t count = std::min(samples.size(), kSliceSamples);
        processSlice(samples.first(count), out);
        samples = samples.subspan(count);
    }
}

void Recognizer::processSlice(std::span<const qint16> slice, QList<Heard>& out)
{
    if (!m_inUtterance)
        beginUtterance();
    ps_process_raw(m_decoder.get(), slice.data(), slice.size(), FALSE, FALSE);
    m_samplesFed += static_cast<qint64>(slice.size());
    const bool inSpeech = ps_get_in_speech(m_decoder.get()) != 0;
    if (inSpeech) {
        // An utterance's length and loudness count from its speech, not from the silence the
        // decoder waited through before it.
        if (!m_speaking) {
            m_speaking = true;
            m_speechStart = m_samplesFed - static_cast<qint64>(slice.size());
            m_pauses.reset();
        }
        const bool paused = m_pauses.heardPause(slice);
        const qint64 length = m_samplesFed - m_speechStart;
        if (length >= m_limits.maxSamples || (paused && length >= m_limits.longSamples)) {
            endUtterance(out);
            return;
        }
        if (m_samplesFed - m_lastGuessAt >= kGuessEverySamples) {
            m_lastGuessAt = m_samplesFed;
            const char* hypothesis = ps_get_hyp(m_decoder.get(), nullptr);
            const QString guess = capped(QString::fromUtf8(hypothesis ? hypothesis : "").simplified());
            if (!guess.isEmpty() && guess != m_lastGuess) {
                m_lastGuess = guess;
                out.append(Heard{false, guess, {}});
            }
        }
    } else if (m_speaking) {
        endUtterance(out);
    }
}

void Recognizer::finish(QList<Heard>& out)
{
    if (m_inUtterance && m_speaking)
        endUtterance(out);
    else
        reset();
}

void Recognizer::endUtterance(QList<Heard>& out)
{
    ps_end_utt(m_decoder.get());
    m_inUtterance = false;
    m_speaking = false;
    const double start = static_cast<double>(m_utteranceStart) / kSampleRate;
    Heard heard;
    heard.final = true;
    for (ps_seg_t* seg = ps_seg_iter(m_decoder.get()); seg; seg = ps_seg_next(seg)) {
        const QString word = spokenWord(ps_seg_word(seg));
        if (word.isEmpty())
            continue;
        if (heard.text.size() + word.size() + 1 > m_limits.maxTextChars) {
            ps_seg_free(seg);
            break;
        }
        if (!heard.text.isEmpty())
            heard.text += u' ';
        heard.text += word;
        int startFrame = 0;
        int endFrame = 0;
        ps_seg_frames(seg, &startFrame, &endFrame);
        heard.words.append(QJsonObject{{QStringLiteral("word"), word},
                                       {QStringLiteral("start"), start + startFrame / kFrameRate},
                                       {QStringLiteral("end"), start + (endFrame + 1) / kFrameRate}});
    }
    // A final also ends the interim guess the client shows, so it is sent even when empty, but
    // only when a guess was sent.
    if (!heard.text.isEmpty() || !m_lastGuess.isEmpty())
        out.append(heard);
    m_lastGuess.clear();
}

QString Recognizer::capped(const QString& text) const
{
    if (text.size() <= m_limits.maxTextChars)
        return text;
    // Whole words only; the recogniser's words are plain ASCII.
    const qsizetype space = text.lastIndexOf(u' ', m_limits.maxTextChars);
    return text.left(space > 0 ? space : m_limits.maxTextChars);
}

std::unique_ptr<Recognizer> RecognizerPool::take(QString& problem)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_idle.empty()) {
            std::unique_ptr<Recognizer> recognizer = std::move(m_idle.back());
            m_idle.pop_back();
            return recognizer;
        }
    }
    return Recognizer::load(m_modelDir, problem, m_limits);
}

void RecognizerPool::give(std::unique_ptr<Recognizer> recognizer)
{
    if (!recognizer)
        return;
    recognizer->reset();
    const QMutexLocker lock(&m_mutex);
    if (m_idle.size() < kMaxIdle)
        m_idle.push_back(std::move(recognizer));
}

} // namespace standin
