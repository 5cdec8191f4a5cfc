#pragma once

#include "platform/PauseDetector.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
#include <span>

// pocketsphinx over 16 kHz 16-bit mono audio, cut into utterances: at the decoder's own silence
// detection, a long one at the next short pause, any one at a hard limit. Shared by the app's
// on-device streams and the stand-in's socket, so both hear alike.
//
// Loads take turns (the library's process-wide log stream is not safe for two at once); each
// decoder is then used by one thread at a time.
namespace Pocketsphinx {

inline constexpr double kRate = 16000.0;
// Where Debian installs the English acoustic model, language model and dictionary.
inline constexpr const char* kDefaultModelDir = "/usr/share/pocketsphinx/model/en-us";

// How long an utterance may grow. The silence detection never ends one in continuous sound (a
// crowd, a generator), and the decoder's memory and the cost of each guess grow with its length.
struct Limits {
    qint64 longSamples = 15 * 16000; // past this, the next short pause ends the utterance
    qint64 maxSamples = 30 * 16000;  // ends it in any case
    qsizetype maxTextChars = 10000;  // of a guess or a final; later words are left out
};

struct Word {
    QString text;
    qint64 startSample = 0;
    qint64 endSample = 0;
};

// A volatile guess while someone speaks, or the final text of an utterance. Samples count from
// the last reset() (or the decoder's load).
struct Heard {
    bool isFinal = false;
    QString text;
    // A guess: the speech so far. A final: its first word's start to its last word's end (the
    // speech's extent when it has no words).
    qint64 startSample = 0;
    qint64 endSample = 0;
    QList<Word> words; // finals only
};

enum class LoadFailure { NoModel, SettingsRefused, ModelRefused };

// True when `modelDir` holds the three parts of a model (acoustic model folder "en-us",
// "en-us.lm.bin" and "cmudict-en-us.dict").
[[nodiscard]] bool hasModel(const QString& modelDir);

// The lines of a pronouncing dictionary (one "word phone phone ..." a line) whose word `known`
// accepts; an alternate pronunciation "word(2)" counts as "word". Lines without a pronunciation
// are left out.
[[nodiscard]] QByteArray dictionaryLinesFor(QByteArrayView dictionary,
                                            const std::function<bool(QByteArrayView word)>& known);

class Decoder {
public:
    // The model in `modelDir`, or why not.
    [[nodiscard]] static std::unique_ptr<Decoder> load(const QString& modelDir, Limits limits,
                                                       std::optional<LoadFailure>& failure);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Decodes the next samples; appends a guess when it changed (at most every half second of
    // speech) and a final at the end of each utterance.
    void feed(std::span<const qint16> samples, QList<Heard>& out);
    // The end of the audio: the utterance under way becomes final when it holds speech.
    void finish(QList<Heard>& out);
    // Drops the utterance under way; later samples count from here.
    void reset();
    // No later result starts before this sample.
    [[nodiscard]] qint64 earliestPending() const;

    struct Handle;

private:
    explicit Decoder(Limits limits);
    void processSlice(std::span<const qint16> slice, QList<Heard>& out);
    void endUtterance(QList<Heard>& out);
    void dropUtterance();
    [[nodiscard]] QString capped(const QString& text) const;

    const Limits m_limits;
    std::unique_ptr<Handle> m_handle;
    // Since the load: the decoder numbers its frames from there, whatever reset() says.
    qint64 m_samplesFed = 0;
    qint64 m_base = 0; // m_samplesFed at the last reset()
    bool m_inUtterance = false;
    bool m_speaking = false;
    qint64 m_utteranceStart = 0;
    qint64 m_speechStart = 0;
    qint64 m_lastGuessAt = 0;
    QString m_lastGuess;
    PauseDetector m_pauses;
};

} // namespace Pocketsphinx
