#pragma once

#include "platform/PauseDetector.h"

#include <QJsonArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <span>
#include <vector>

struct cmd_ln_s;
struct ps_decoder_s;

namespace standin {

// What the recogniser heard: an interim guess while someone speaks, a final text when the speech
// ends. Word times are seconds from the start of the audio fed since the last reset().
struct Heard {
    bool final = false;
    QString text;
    QJsonArray words; // [{"word", "start", "end"}], as the socket's results carry them
};

// How long an utterance may grow. The voice detector never ends one in continuous sound (a crowd,
// a generator), and the decoder's memory and the cost of each guess grow with its length.
struct UtteranceLimits {
    qint64 longSamples = 15 * 16000; // past this, the next short pause ends the utterance
    qint64 maxSamples = 30 * 16000;  // ends it in any case
    qsizetype maxTextChars = 1000;   // of a guess or a final; later words are left out
};

// pocketsphinx over 16 kHz 16-bit mono audio, cut into utterances by its voice detector. One
// thread at a time; loading the model takes a while, so decoders are kept for reuse
// (RecognizerPool).
class Recognizer {
public:
    static constexpr const char* kDefaultModelDir = "/usr/share/pocketsphinx/model/en-us";

    // Null with `problem` set when the model cannot be loaded. Loads take turns: pocketsphinx
    // is not safe for two at once.
    [[nodiscard]] static std::unique_ptr<Recognizer> load(const QString& modelDir, QString& problem,
                                                          UtteranceLimits limits = {});
    ~Recognizer();
    Recognizer(const Recognizer&) = delete;
    Recognizer& operator=(const Recognizer&) = delete;

    // Feeds samples; appends to `out` an interim when the guess changed (at most every half
    // second of speech) and a final at the end of each utterance.
    void feed(std::span<const qint16> samples, QList<Heard>& out);
    // The end of the audio: the final of the utterance under way, if any.
    void finish(QList<Heard>& out);
    // Forgets the audio so far, for the next connection.
    void reset();

private:
    struct ConfigFree {
        void operator()(cmd_ln_s* config) const;
    };
    struct DecoderFree {
        void operator()(ps_decoder_s* decoder) const;
    };

    explicit Recognizer(UtteranceLimits limits) : m_limits(limits) {}
    void beginUtterance();
    void endUtterance(QList<Heard>& out);
    void processSlice(std::span<const qint16> slice, QList<Heard>& out);
    // Whether the slice holds a short pause: a few 10 ms frames far quieter than the utterance.
    [[nodiscard]] QString capped(const QString& text) const;

    const UtteranceLimits m_limits;
    std::unique_ptr<cmd_ln_s, ConfigFree> m_config;
    std::unique_ptr<ps_decoder_s, DecoderFree> m_decoder;
    qint64 m_samplesFed = 0;
    qint64 m_utteranceStart = 0; // in samples
    qint64 m_lastGuessAt = 0;
    bool m_inUtterance = false; // ps_start_utt called
    bool m_speaking = false;    // the voice detector heard speech in this utterance
    QString m_lastGuess;
    qint64 m_speechStart = 0; // in samples
    PauseDetector m_pauses;
};

// Loaded recognisers waiting for their next connection. Thread-safe.
class RecognizerPool {
public:
    explicit RecognizerPool(QString modelDir, UtteranceLimits limits = {})
        : m_modelDir(std::move(modelDir)), m_limits(limits)
    {
    }

    // A waiting recogniser, or a newly loaded one (null with `problem` when that fails).
    [[nodiscard]] std::unique_ptr<Recognizer> take(QString& problem);
    void give(std::unique_ptr<Recognizer> recognizer);

private:
    const QString m_modelDir;
    const UtteranceLimits m_limits;
    QMutex m_mutex;
    std::vector<std::unique_ptr<Recognizer>> m_idle;
};

} // namespace standin
