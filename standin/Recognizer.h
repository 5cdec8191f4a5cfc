#pragma once

#include "speech/PocketsphinxDecoder.h"

#include <QJsonArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <span>
#include <vector>

namespace standin {

// What the recogniser heard: an interim guess while someone speaks, a final text when the speech
// ends. Word times are seconds from the start of the audio fed since the last reset().
struct Heard {
    bool final = false;
    QString text;
    QJsonArray words; // [{"word", "start", "end"}], as the socket's results carry them
};

// How long an utterance may grow, and how long its text; the socket's texts stop at 1000
// characters.
struct UtteranceLimits : Pocketsphinx::Limits {
    UtteranceLimits() { maxTextChars = 1000; }
};

// The shared pocketsphinx decoder, its results as the socket sends them. One thread at a time;
// loading the model takes a while, so recognisers are kept for reuse (RecognizerPool).
class Recognizer {
public:
    static constexpr const char* kDefaultModelDir = Pocketsphinx::kDefaultModelDir;

    // Null with `problem` set when the model cannot be loaded.
    [[nodiscard]] static std::unique_ptr<Recognizer> load(const QString& modelDir, QString& problem,
                                                          UtteranceLimits limits = {});

    // Feeds samples; appends to `out` an interim when the guess changed (at most every half
    // second of speech) and a final at the end of each utterance.
    void feed(std::span<const qint16> samples, QList<Heard>& out);
    // The end of the audio: the final of the utterance under way, if any.
    void finish(QList<Heard>& out);
    // Forgets the audio so far, for the next connection.
    void reset() { m_decoder->reset(); }

private:
    explicit Recognizer(std::unique_ptr<Pocketsphinx::Decoder> decoder) : m_decoder(std::move(decoder)) {}
    static void convert(const QList<Pocketsphinx::Heard>& heard, QList<Heard>& out);

    std::unique_ptr<Pocketsphinx::Decoder> m_decoder;
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
