#include "audio/StreamMessages.h"

#include "platform/TextCuts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace StreamMessages {

namespace {

// Largest magnitude below which every integer is exact in a double; beyond it "an integer id"
// no longer names one utterance.
constexpr double kExactIntegerLimit = 9007199254740992.0;

std::optional<QString> utteranceId(const QJsonValue& value)
{
    if (value.isString()) {
        QString id = value.toString();
        if (id.size() > kMaxIdChars)
            return std::nullopt;
        return id;
    }
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) <= kExactIntegerLimit)
            return QString::number(static_cast<qint64>(number));
    }
    return QStringLiteral("0");
}

bool plausibleTime(double seconds)
{
    return std::isfinite(seconds) && seconds >= 0.0 && seconds <= kMaxWordSeconds;
}

std::optional<Word> parseWord(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue word = object.value(QLatin1StringView("word"));
    const QJsonValue start = object.value(QLatin1StringView("start"));
    const QJsonValue end = object.value(QLatin1StringView("end"));
    if (!word.isString() || !start.isDouble() || !end.isDouble())
        return std::nullopt;
    Word out{word.toString(), start.toDouble(), end.toDouble()};
    if (out.text().size() > kMaxWordChars || !plausibleTime(out.start) || !plausibleTime(out.end) ||
        out.end < out.start)
        return std::nullopt;
    return out;
}

QList<Word> parseWords(const QJsonValue& value)
{
    QList<Word> words;
    if (!value.isArray())
        return words;
    const QJsonArray array = value.toArray();
    // A final line's words are kept all day: no room to grow into.
    words.reserve(std::min<qsizetype>(array.size(), kMaxWords));
    for (const QJsonValue& element : array) {
        if (words.size() >= kMaxWords)
            break;
        if (auto word = parseWord(element))
            words.append(std::move(*word));
    }
    return words;
}

Received parseTranscript(const QJsonObject& object)
{
    TranscriptResult result;
    const auto idValue = object.constFind(QLatin1StringView("id"));
    if (idValue != object.constEnd()) {
        auto id = utteranceId(*idValue);
        if (!id)
            return Ignored{};
        result.id = std::move(*id);
    }
    const QJsonValue interim = object.value(QLatin1StringView("interim"));
    result.interim = interim.isBool() && interim.toBool();
    const QJsonValue text = object.value(QLatin1StringView("text"));
    if (text.isString())
        result.text = trimSpacesAndTabs(TextCuts::cutToUnits(trimSpacesAndTabs(text.toString()), kMaxTextChars));
    const QJsonValue speaker = object.value(QLatin1StringView("speaker"));
    if (speaker.isString() && !speaker.toString().isEmpty())
        result.speaker = TextCuts::cutToUnits(speaker.toString(), kMaxSpeakerChars);
    result.words = parseWords(object.value(QLatin1StringView("wordTimings")));
    return result;
}

Received parseRefusal(const QJsonObject& object)
{
    const QJsonValue code = object.value(QLatin1StringView("code"));
    if (!code.isString() || code.toString().size() > kMaxCodeChars)
        return Ignored{};
    Refusal refusal{code.toString(), std::nullopt};
    const QJsonValue message = object.value(QLatin1StringView("message"));
    if (message.isString())
        refusal.message = TextCuts::cutToUnits(message.toString(), kMaxTextChars);
    return refusal;
}

} // namespace

QString trimSpacesAndTabs(const QString& text)
{
    return TextCuts::trimSpacesAndTabs(text);
}

Received parse(QByteArrayView utf8)
{
    if (utf8.size() > kMaxFrameBytes)
        return Ignored{};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(utf8.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return Ignored{};
    const QJsonObject object = document.object();
    const QJsonValue type = object.value(QLatin1StringView("type"));
    if (!type.isString())
        return Ignored{};
    const QString typeName = type.toString();
    if (typeName == QLatin1StringView("error"))
        return parseRefusal(object);
    if (typeName == QLatin1StringView("live_transcript"))
        return parseTranscript(object);
    return Ignored{};
}

QByteArray startMessage(bool countsAsStart, const std::optional<QString>& token)
{
    QJsonObject message{
        {QStringLiteral("type"), QStringLiteral("questions_transcribe_start")},
        {QStringLiteral("language"), QStringLiteral("en")},
        {QStringLiteral("encoding"), QStringLiteral("linear16")},
        {QStringLiteral("sample_rate"), 16000},
        {QStringLiteral("client"), QStringLiteral("logger")},
    };
    if (!countsAsStart)
        message.insert(QStringLiteral("resume"), true);
    if (token)
        message.insert(QStringLiteral("token"), *token);
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

QByteArray stopMessage()
{
    return QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("recording_stop")}})
        .toJson(QJsonDocument::Compact);
}

} // namespace StreamMessages
