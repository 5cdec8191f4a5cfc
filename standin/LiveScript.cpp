#include "LiveScript.h"

#include "JsonFields.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace standin {

namespace {

constexpr qint64 kLongestDelayMs = 600000;
constexpr qint64 kLongestAudioMs = 3600000;
constexpr qint64 kLargestPad = 2 * 1024 * 1024;
constexpr int kMostSteps = 10000;

struct KindName {
    const char* name;
    ScriptStep::Kind kind;
};

constexpr KindName kKinds[] = {
    {"interim", ScriptStep::Kind::Interim}, {"final", ScriptStep::Kind::Final},   {"error", ScriptStep::Kind::Error},
    {"raw", ScriptStep::Kind::Raw},         {"binary", ScriptStep::Kind::Binary}, {"close", ScriptStep::Kind::Close},
    {"abort", ScriptStep::Kind::Abort},
};

std::optional<ScriptStep> parseStep(const QJsonObject& object, QString& problem)
{
    JsonFields fields(object);
    const QString type = fields.string(QLatin1StringView("type"), true);
    const auto afterMs = fields.integer(QLatin1StringView("after_ms"), false);
    const auto afterAudioMs = fields.integer(QLatin1StringView("after_audio_ms"), false);
    const auto pad = fields.integer(QLatin1StringView("pad_bytes"), false);
    const auto closeCode = fields.integer(QLatin1StringView("close_code"), false);
    const auto omit = fields.stringArray(QLatin1StringView("omit"), false);
    if (!fields.ok()) {
        problem = fields.problem();
        return std::nullopt;
    }
    ScriptStep step;
    const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                   [&](const KindName& k) { return type == QLatin1StringView(k.name); });
    if (kind == std::end(kKinds)) {
        problem = QStringLiteral("unknown step type \"%1\"").arg(type);
        return std::nullopt;
    }
    step.kind = kind->kind;
    if (afterMs && afterAudioMs) {
        problem = QStringLiteral("a step takes \"after_ms\" or \"after_audio_ms\", not both");
        return std::nullopt;
    }
    if ((afterMs && (*afterMs < 0 || *afterMs > kLongestDelayMs)) ||
        (afterAudioMs && (*afterAudioMs < 0 || *afterAudioMs > kLongestAudioMs))) {
        problem = QStringLiteral("step times must lie between 0 and %1 ms").arg(kLongestDelayMs);
        return std::nullopt;
    }
    if (afterAudioMs)
        step.afterAudioMs = *afterAudioMs;
    else
        step.afterMs = static_cast<int>(afterMs.value_or(0));
    if (pad && (*pad < 0 || *pad > kLargestPad)) {
        problem = QStringLiteral("\"pad_bytes\" must lie between 0 and %1").arg(kLargestPad);
        return std::nullopt;
    }
    step.padBytes = static_cast<qsizetype>(pad.value_or(0));
    if (closeCode && (*closeCode < 1000 || *closeCode > 4999)) {
        problem = QStringLiteral("\"close_code\" must lie between 1000 and 4999");
        return std::nullopt;
    }
    step.closeCode = static_cast<int>(closeCode.value_or(1011));
    if (step.kind == ScriptStep::Kind::Raw && !object.value(QLatin1StringView("text")).isString()) {
        problem = QStringLiteral("a raw step needs its \"text\"");
        return std::nullopt;
    }
    step.fields = object;
    return step;
}

} // namespace

bool ScriptStep::needsUtteranceId() const
{
    return (kind == Kind::Interim || kind == Kind::Final) && !fields.contains(QLatin1StringView("id"));
}

QByteArray ScriptStep::textFrame(const QJsonValue& utteranceId) const
{
    QByteArray frame;
    if (kind == Kind::Raw) {
        frame = fields.value(QLatin1StringView("text")).toString().toUtf8();
    } else if (kind == Kind::Error) {
        QJsonObject error{{QStringLiteral("type"), QStringLiteral("error")},
                          {QStringLiteral("code"), fields.value(QLatin1StringView("code"))}};
        if (fields.contains(QLatin1StringView("message")))
            error.insert(QStringLiteral("message"), fields.value(QLatin1StringView("message")));
        if (error.value(QLatin1StringView("code")).isUndefined())
            error.insert(QStringLiteral("code"), QStringLiteral("refused"));
        frame = QJsonDocument(error).toJson(QJsonDocument::Compact);
    } else {
        QJsonObject result{{QStringLiteral("type"), QStringLiteral("live_transcript")},
                           {QStringLiteral("interim"), kind == Kind::Interim},
                           {QStringLiteral("id"), fields.contains(QLatin1StringView("id"))
                                                      ? fields.value(QLatin1StringView("id"))
                                                      : utteranceId},
                           {QStringLiteral("text"), fields.value(QLatin1StringView("text")).isUndefined()
                                                        ? QJsonValue(QString())
                                                        : fields.value(QLatin1StringView("text"))}};
        result.insert(QStringLiteral("speaker"), fields.contains(QLatin1StringView("speaker"))
                                                     ? fields.value(QLatin1StringView("speaker"))
                                                     : QJsonValue(QLatin1StringView(kDefaultSpeaker)));
        if (fields.contains(QLatin1StringView("words")))
            result.insert(QStringLiteral("wordTimings"), fields.value(QLatin1StringView("words")));
        const QJsonArray omit = fields.value(QLatin1StringView("omit")).toArray();
        for (const QJsonValue& key : omit)
            result.remove(key.toString());
        frame = QJsonDocument(result).toJson(QJsonDocument::Compact);
    }
    if (padBytes > 0)
        frame.append(padBytes, ' ');
    return frame;
}

std::optional<QList<ScriptStep>> parseScript(const QJsonObject& body, QString& problem)
{
    JsonFields fields(body);
    const auto results = fields.objectArray(QLatin1StringView("results"), true);
    if (!fields.ok()) {
        problem = fields.problem();
        return std::nullopt;
    }
    if (results->size() > kMostSteps) {
        problem = QStringLiteral("a script holds at most %1 steps").arg(kMostSteps);
        return std::nullopt;
    }
    QList<ScriptStep> steps;
    for (const QJsonValue& value : *results) {
        auto step = parseStep(value.toObject(), problem);
        if (!step)
            return std::nullopt;
        steps.append(std::move(*step));
    }
    return steps;
}

} // namespace standin
