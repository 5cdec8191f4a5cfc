#include "Recognizer.h"

#include <QJsonObject>
#include <QMutexLocker>

namespace standin {

namespace {

// Idle decoders kept at most (each holds the language model and dictionary, tens of MB).
constexpr size_t kMaxIdle = 2;

double seconds(qint64 samples)
{
    return static_cast<double>(samples) / Pocketsphinx::kRate;
}

} // namespace

std::unique_ptr<Recognizer> Recognizer::load(const QString& modelDir, QString& problem, UtteranceLimits limits)
{
    std::optional<Pocketsphinx::LoadFailure> failure;
    auto decoder = Pocketsphinx::Decoder::load(modelDir, limits, failure);
    if (decoder)
        return std::unique_ptr<Recognizer>(new Recognizer(std::move(decoder)));
    switch (failure.value_or(Pocketsphinx::LoadFailure::ModelRefused)) {
    case Pocketsphinx::LoadFailure::NoModel:
        problem = QStringLiteral("no pocketsphinx model in %1").arg(modelDir);
        break;
    case Pocketsphinx::LoadFailure::SettingsRefused:
        problem = QStringLiteral("pocketsphinx refused its configuration");
        break;
    case Pocketsphinx::LoadFailure::ModelRefused:
        problem = QStringLiteral("pocketsphinx could not load the model in %1").arg(modelDir);
        break;
    }
    return nullptr;
}

void Recognizer::feed(std::span<const qint16> samples, QList<Heard>& out)
{
    QList<Pocketsphinx::Heard> heard;
    m_decoder->feed(samples, heard);
    convert(heard, out);
}

void Recognizer::finish(QList<Heard>& out)
{
    QList<Pocketsphinx::Heard> heard;
    m_decoder->finish(heard);
    convert(heard, out);
}

void Recognizer::convert(const QList<Pocketsphinx::Heard>& heard, QList<Heard>& out)
{
    for (const Pocketsphinx::Heard& one : heard) {
        Heard result{one.isFinal, one.text, {}};
        for (const Pocketsphinx::Word& word : one.words) {
            result.words.append(QJsonObject{{QStringLiteral("word"), word.text},
                                            {QStringLiteral("start"), seconds(word.startSample)},
                                            {QStringLiteral("end"), seconds(word.endSample)}});
        }
        out.append(std::move(result));
    }
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
