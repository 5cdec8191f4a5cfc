#include "speech/PocketsphinxDecoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pocketsphinx.h>
#include <sphinxbase/err.h>
#include <sphinxbase/logmath.h>
#include <sphinxbase/ngram_model.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <unordered_set>

namespace Pocketsphinx {

namespace {

// pocketsphinx counts 100 frames a second: 160 samples each.
constexpr qint64 kSamplesPerFrame = 160;
// The silence detection is asked after every slice this long, so that a short pause inside a
// large buffer still ends the utterance.
constexpr qint64 kSliceSamples = 1600;
// A guess at most this often, in samples of speech.
constexpr qint64 kGuessEverySamples = 8000;

// The decoder's settings beyond its model files. By default pocketsphinx decodes every utterance
// a second time once it ends (the flat-lexicon pass); on the long utterances of continuous speech
// that costs a third of the decoding and changes few words, so it is off. The first pass keeps at
// most this many HMMs per 10 ms frame, and word ends and words' last phones within these beams of
// the best: beyond them it only carried paths far below the best. Measured on read speech, the
// words came out as right as with the library's defaults at about half the work. (Capping the
// word ends per frame as well saves little more and can leave a long utterance without a path to
// its end: no words at all.)
constexpr const char* kMaxHmmsPerFrame = "5000";
constexpr const char* kWordEndBeam = "1e-25";
constexpr const char* kLastPhoneBeam = "1e-35";

// pocketsphinx keeps one log stream for the whole process, and a load that names a log file
// closes the stream before it: two loads at once close it twice. Logging goes off once and loads
// take turns. Never destroyed, so a load still running at exit finds it.
std::mutex& loadMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

// The words of the language model at `path`; empty when it cannot be read.
std::unordered_set<std::string> languageModelWords(const QByteArray& path)
{
    std::unordered_set<std::string> words;
    logmath_t* logmath = logmath_init(1.0001, 0, 0);
    if (!logmath)
        return words;
    if (ngram_model_t* model = ngram_model_read(nullptr, path.constData(), NGRAM_AUTO, logmath)) {
        const auto count = static_cast<int32>(ngram_model_get_counts(model)[0]);
        words.reserve(static_cast<size_t>(count));
        for (int32 id = 0; id < count; ++id) {
            if (const char* word = ngram_word(model, id))
                words.emplace(word);
        }
        ngram_model_free(model);
    }
    logmath_free(logmath);
    return words;
}

// The dictionary cut to the words the language model has: the search never uses the others, yet
// each decoder would hold all of them (about 55,000 of 134,000 in the English model, some 13 MB).
// pocketsphinx reads a dictionary only by path, so the cut one is an anonymous in-memory file,
// made once per process and kept open for its life (a load still running at exit finds it).
// Empty when it cannot be made: the whole dictionary serves. Under loadMutex().
QByteArray cutDictionary(const QByteArray& languageModel, const QByteArray& dictionary)
{
    static auto* made = new std::map<QByteArray, QByteArray>;
    const QByteArray key = languageModel + '\n' + dictionary;
    if (const auto found = made->find(key); found != made->end())
        return found->second;
    QByteArray path;
    QFile file(QFile::decodeName(dictionary));
    const std::unordered_set<std::string> words = languageModelWords(languageModel);
    if (!words.empty() && file.open(QIODevice::ReadOnly)) {
        const QByteArray lines = dictionaryLinesFor(file.readAll(), [&words](QByteArrayView word) {
            return words.contains(std::string(word.data(), static_cast<size_t>(word.size())));
        });
        const int fd = memfd_create("pindle-dictionary", MFD_CLOEXEC);
        if (fd >= 0) {
            qsizetype written = 0;
            while (written < lines.size()) {
                const ssize_t n = ::write(fd, lines.constData() + written, static_cast<size_t>(lines.size() - written));
                if (n <= 0)
                    break;
                written += n;
            }
            if (written == lines.size() && !lines.isEmpty())
                path = "/proc/self/fd/" + QByteArray::number(fd);
            else
                ::close(fd);
        }
    }
    made->emplace(key, path);
    return path;
}

// Filler and silence markers ("<s>", "<sil>", "[NOISE]") are no words; "read(2)" is the second
// pronunciation of "read".
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

} // namespace

struct Decoder::Handle {
    cmd_ln_t* config = nullptr;
    ps_decoder_t* decoder = nullptr;
    ~Handle()
    {
        if (decoder)
            ps_free(decoder);
        if (config)
            cmd_ln_free_r(config);
    }
};

bool hasModel(const QString& modelDir)
{
    const QDir dir(modelDir);
    return QFileInfo(dir.filePath(QStringLiteral("en-us"))).isDir() &&
           QFileInfo::exists(dir.filePath(QStringLiteral("en-us.lm.bin"))) &&
           QFileInfo::exists(dir.filePath(QStringLiteral("cmudict-en-us.dict")));
}

QByteArray dictionaryLinesFor(QByteArrayView dictionary, const std::function<bool(QByteArrayView word)>& known)
{
    QByteArray out;
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    while (!dictionary.isEmpty()) {
        const qsizetype newline = dictionary.indexOf('\n');
        QByteArrayView line = newline < 0 ? dictionary : dictionary.first(newline);
        dictionary = newline < 0 ? QByteArrayView() : dictionary.sliced(newline + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        qsizetype end = 0;
        while (end < line.size() && !isSpace(line[end]))
            ++end;
        qsizetype phones = end;
        while (phones < line.size() && isSpace(line[phones]))
            ++phones;
        if (end == 0 || phones == line.size())
            continue;
        QByteArrayView word = line.first(end);
        const qsizetype paren = word.indexOf('(');
        if (paren > 0 && word.endsWith(')'))
            word = word.first(paren);
        if (known(word)) {
            out += line;
            out += '\n';
        }
    }
    return out;
}

Decoder::Decoder(Limits limits) : m_limits(limits), m_handle(std::make_unique<Handle>())
{
}

Decoder::~Decoder()
{
    dropUtterance();
}

std::unique_ptr<Decoder> Decoder::load(const QString& modelDir, Limits limits, std::optional<LoadFailure>& failure)
{
    failure.reset();
    if (!hasModel(modelDir)) {
        failure = LoadFailure::NoModel;
        return nullptr;
    }
    const QDir dir(modelDir);
    const QByteArray hmm = QFile::encodeName(dir.filePath(QStringLiteral("en-us")));
    const QByteArray lm = QFile::encodeName(dir.filePath(QStringLiteral("en-us.lm.bin")));
    const QByteArray dict = QFile::encodeName(dir.filePath(QStringLiteral("cmudict-en-us.dict")));
    limits.longSamples = std::max<qint64>(limits.longSamples, static_cast<qint64>(kRate));
    limits.maxSamples = std::max(limits.maxSamples, limits.longSamples);
    limits.maxTextChars = std::max<qsizetype>(limits.maxTextChars, 1);

    const std::lock_guard lock(loadMutex());
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });
    std::unique_ptr<Decoder> decoder(new Decoder(limits));
    const auto tryLoad = [&](const QByteArray& dictionary) {
        Handle& handle = *decoder->m_handle;
        handle.config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(), "-dict",
                                    dictionary.constData(), "-fwdflat", "no", "-maxhmmpf", kMaxHmmsPerFrame, "-wbeam",
                                    kWordEndBeam, "-lpbeam", kLastPhoneBeam, nullptr);
        if (!handle.config) {
            failure = LoadFailure::SettingsRefused;
            return false;
        }
        handle.decoder = ps_init(handle.config);
        if (!handle.decoder) {
            failure = LoadFailure::ModelRefused;
            return false;
        }
        return true;
    };
    const QByteArray cut = cutDictionary(lm, dict);
    if (!cut.isEmpty() && tryLoad(cut)) {
        failure.reset();
        return decoder;
    }
    decoder->m_handle = std::make_unique<Handle>();
    if (!tryLoad(dict))
        return nullptr;
    failure.reset();
    return decoder;
}

void Decoder::feed(std::span<const qint16> samples, QList<Heard>& out)
{
    // Slices fall on fixed places in the audio, whatever pieces it comes in, so the silence
    // detection and with it the results do not depend on timing.
    while (!samples.empty()) {
        const auto toBoundary = static_cast<size_t>(kSliceSamples - (m_samplesFed - m_base) % kSliceSamples);
        const size_t count = std::min(samples.size(), toBoundary);
        processSlice(samples.first(count), out);
        samples = samples.subspan(count);
    }
}

void Decoder::processSlice(std::span<const qint16> slice, QList<Heard>& out)
{
    ps_decoder_t* decoder = m_handle->decoder;
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
        if (length >= m_limits.maxSamples || (paused && length >= m_limits.longSamples)) {
            endUtterance(out);
            return;
        }
        if (m_samplesFed - m_lastGuessAt >= kGuessEverySamples) {
            m_lastGuessAt = m_samplesFed;
            const char* hypothesis = ps_get_hyp(decoder, nullptr);
            const QString guess = capped(QString::fromUtf8(hypothesis ? hypothesis : "").simplified());
            if (!guess.isEmpty() && guess != m_lastGuess) {
                m_lastGuess = guess;
                out.append(Heard{false, guess, m_speechStart - m_base, m_samplesFed - m_base, {}});
            }
        }
    } else if (m_speaking) {
        endUtterance(out);
    } else if (m_samplesFed - m_utteranceStart >= m_limits.maxSamples) {
        // Long silence: a fresh utterance keeps the decoder's work per second flat.
        dropUtterance();
    }
}

void Decoder::dropUtterance()
{
    if (m_inUtterance && m_handle && m_handle->decoder)
        ps_end_utt(m_handle->decoder);
    m_inUtterance = false;
    m_speaking = false;
}

qint64 Decoder::earliestPending() const
{
    return (m_inUtterance ? m_utteranceStart : m_samplesFed) - m_base;
}

void Decoder::finish(QList<Heard>& out)
{
    if (m_inUtterance && m_speaking)
        endUtterance(out);
    else
        dropUtterance();
}

void Decoder::reset()
{
    dropUtterance();
    m_lastGuess.clear();
    m_base = m_samplesFed;
}

void Decoder::endUtterance(QList<Heard>& out)
{
    ps_decoder_t* decoder = m_handle->decoder;
    ps_end_utt(decoder);
    m_inUtterance = false;
    m_speaking = false;
    Heard heard;
    heard.isFinal = true;
    heard.startSample = m_speechStart - m_base;
    heard.endSample = m_samplesFed - m_base;
    // The decoder numbers frames from its load, so a frame is a place in all the audio fed;
    // kept within this utterance all the same.
    const auto place = [this](int frame) {
        return std::clamp(static_cast<qint64>(frame) * kSamplesPerFrame, m_utteranceStart, m_samplesFed) - m_base;
    };
    for (ps_seg_t* seg = ps_seg_iter(decoder); seg; seg = ps_seg_next(seg)) {
        const QString word = spokenWord(ps_seg_word(seg));
        if (word.isEmpty())
            continue;
        if (heard.text.size() + word.size() + 1 > m_limits.maxTextChars) {
            ps_seg_free(seg);
            break;
        }
        int startFrame = 0;
        int endFrame = 0;
        ps_seg_frames(seg, &startFrame, &endFrame);
        Word timed{word, place(startFrame), place(endFrame + 1)};
        if (heard.words.isEmpty())
            heard.startSample = timed.startSample;
        heard.endSample = timed.endSample;
        if (!heard.text.isEmpty())
            heard.text += u' ';
        heard.text += word;
        heard.words.append(std::move(timed));
    }
    // A final also ends the guess shown, so it is given even when empty, but only after a guess.
    if (!heard.text.isEmpty() || !m_lastGuess.isEmpty())
        out.append(std::move(heard));
    m_lastGuess.clear();
}

QString Decoder::capped(const QString& text) const
{
    if (text.size() <= m_limits.maxTextChars)
        return text;
    // Whole words only; the recogniser's words are plain ASCII.
    const qsizetype space = text.lastIndexOf(u' ', m_limits.maxTextChars);
    return text.left(space > 0 ? space : m_limits.maxTextChars);
}

} // namespace Pocketsphinx
