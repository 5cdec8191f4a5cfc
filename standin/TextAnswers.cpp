#include "TextAnswers.h"

#include <QMap>
#include <QSet>

namespace standin::text {

namespace {

const QSet<QString>& stopWords()
{
    static const QSet<QString> words = {
        QStringLiteral("the"),   QStringLiteral("and"),   QStringLiteral("that"),   QStringLiteral("this"),
        QStringLiteral("with"),  QStringLiteral("for"),   QStringLiteral("you"),    QStringLiteral("your"),
        QStringLiteral("are"),   QStringLiteral("was"),   QStringLiteral("were"),   QStringLiteral("have"),
        QStringLiteral("has"),   QStringLiteral("had"),   QStringLiteral("not"),    QStringLiteral("but"),
        QStringLiteral("they"),  QStringLiteral("them"),  QStringLiteral("their"),  QStringLiteral("there"),
        QStringLiteral("then"),  QStringLiteral("than"),  QStringLiteral("what"),   QStringLiteral("when"),
        QStringLiteral("where"), QStringLiteral("which"), QStringLiteral("who"),    QStringLiteral("will"),
        QStringLiteral("would"), QStringLiteral("could"), QStringLiteral("should"), QStringLiteral("can"),
        QStringLiteral("just"),  QStringLiteral("like"),  QStringLiteral("about"),  QStringLiteral("from"),
        QStringLiteral("into"),  QStringLiteral("out"),   QStringLiteral("all"),    QStringLiteral("its"),
        QStringLiteral("it's"),  QStringLiteral("i'm"),   QStringLiteral("don't"),  QStringLiteral("yeah"),
        QStringLiteral("okay"),  QStringLiteral("well"),  QStringLiteral("our"),    QStringLiteral("we're"),
        QStringLiteral("let's"), QStringLiteral("get"),   QStringLiteral("got"),    QStringLiteral("one"),
        QStringLiteral("now"),   QStringLiteral("here"),  QStringLiteral("some"),   QStringLiteral("been"),
        QStringLiteral("being"), QStringLiteral("also"),  QStringLiteral("very"),   QStringLiteral("really"),
        QStringLiteral("know"),  QStringLiteral("think"), QStringLiteral("going"),
    };
    return words;
}

// Lower-case words of letters and digits; an apostrophe inside a word belongs to it.
QStringList wordsOf(const QString& text)
{
    QStringList words;
    QString current;
    const auto flush = [&] {
        while (current.startsWith(u'\''))
            current.remove(0, 1);
        while (current.endsWith(u'\''))
            current.chop(1);
        if (!current.isEmpty())
            words.append(current.toLower());
        current.clear();
    };
    for (const QChar c : text) {
        if (c.isLetterOrNumber() || c == u'\'' || c == QChar(0x2019))
            current.append(c == QChar(0x2019) ? QChar(u'\'') : c);
        else
            flush();
    }
    flush();
    return words;
}

QByteArray escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

} // namespace

QString summarise(const QString& transcript)
{
    const QString text = transcript.simplified();
    if (text.isEmpty())
        return {};
    qsizetype end = text.size();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if ((c == u'.' || c == u'!' || c == u'?') && (i + 1 == text.size() || text[i + 1] == u' ')) {
            end = i + 1;
            break;
        }
    }
    QStringList words = text.left(end).split(u' ', Qt::SkipEmptyParts);
    QString sentence;
    if (words.size() > kSummaryWords) {
        words.resize(kSummaryWords);
        sentence = words.join(u' ') + QChar(0x2026);
    } else {
        sentence = words.join(u' ');
    }
    return QStringLiteral("Summary: ") + sentence;
}

QString topWord(const QStringList& lines, int& count)
{
    QMap<QString, int> uses; // sorted: the first of equal counts is the alphabetically first
    for (const QString& line : lines) {
        for (const QString& word : wordsOf(line)) {
            if (word.size() >= 3 && !stopWords().contains(word))
                ++uses[word];
        }
    }
    QString best;
    count = 0;
    for (auto it = uses.constBegin(); it != uses.constEnd(); ++it) {
        if (it.value() > count) {
            best = it.key();
            count = it.value();
        }
    }
    return best;
}

QJsonObject briefFor(qint64 index, const QStringList& lines, const QString& previousTopic, int minUses)
{
    int count = 0;
    const QString word = topWord(lines, count);
    if (word.isEmpty() || count < minUses) {
        return QJsonObject{
            {QStringLiteral("index"), static_cast<double>(index)},
            {QStringLiteral("topic"), previousTopic.isEmpty() ? QStringLiteral("quiet") : previousTopic},
            {QStringLiteral("verdict"), QStringLiteral("quiet")},
            {QStringLiteral("why"), QStringLiteral("Not enough talk to tell.")},
            {QStringLiteral("changed"), false},
        };
    }
    const bool changed = previousTopic.compare(word, Qt::CaseInsensitive) != 0;
    return QJsonObject{
        {QStringLiteral("index"), static_cast<double>(index)},
        {QStringLiteral("topic"), word},
        {QStringLiteral("verdict"), changed ? QStringLiteral("new") : QStringLiteral("same")},
        {QStringLiteral("why"), QStringLiteral("\"%1\" came up %2 times.").arg(word).arg(count)},
        {QStringLiteral("changed"), changed},
    };
}

QJsonArray search(const QList<const Shoot*>& shoots, const QString& query)
{
    QJsonArray results;
    for (const Shoot* shoot : shoots) {
        for (qsizetype i = 0; i < shoot->log.segments.size(); ++i) {
            const QString text = shoot->log.segmentText(i);
            if (!text.contains(query, Qt::CaseInsensitive))
                continue;
            const QJsonObject segment = shoot->log.segment(i);
            results.append(QJsonObject{
                {QStringLiteral("share_token"), shoot->shareToken},
                {QStringLiteral("title"), shoot->title},
                {QStringLiteral("timecode"), segment.value(QStringLiteral("timecode")).toString()},
                {QStringLiteral("speaker"), segment.value(QStringLiteral("speaker")).toString()},
                {QStringLiteral("text"), text},
                {QStringLiteral("why"), QStringLiteral("Mentions \"%1\".").arg(query)},
            });
            if (results.size() >= kMaxSearchResults)
                return results;
        }
    }
    return results;
}

QByteArray sharePage(const Shoot& shoot)
{
    const QByteArray title = escaped(shoot.title.isEmpty() ? QStringLiteral("Untitled shoot") : shoot.title);
    return "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head>\n<body><h1>" +
           title + "</h1>\n<p>" + QByteArray::number(shoot.log.segments.size()) + " transcript lines, " +
           QByteArray::number(shoot.log.markers.size()) + " markers" + (shoot.ended ? ", wrapped" : "") +
           ".</p></body></html>\n";
}

} // namespace standin::text
