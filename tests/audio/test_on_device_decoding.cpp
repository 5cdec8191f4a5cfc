#include "common/TestMain.h"

#include "audio/LocalChannelStream.h"
#include "audio/OnDeviceEngine.h"
#include "audio/Resampler16k.h"
#include "speech/PocketsphinxDecoder.h"
#include "test_speech.h"

#include <QSet>

#include <cmath>

namespace {

// Where the speech in `samples` begins and ends, in seconds: the first and last sample above a
// whisper.
std::pair<double, double> speechExtent(const std::vector<float>& samples, double rate)
{
    constexpr float kWhisper = 0.02f;
    const auto loud = [](float x) { return std::abs(x) > kWhisper; };
    const auto first = std::find_if(samples.begin(), samples.end(), loud);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud);
    if (first == samples.end())
        return {0.0, 0.0};
    return {double(first - samples.begin()) / rate, double(samples.rend() - last) / rate};
}

// The finals of the installed model on `audio`, fed at 16 kHz in pieces of an odd size.
QList<RecognisedResult> finalsOf(const std::vector<float>& audio, double rate, OnDeviceModel::UtteranceLimits limits)
{
    QString error;
    std::unique_ptr<SpeechRecogniser> recogniser =
        OnDeviceModel::pocketsphinxFactory(QString::fromLatin1(OnDeviceModel::kDefaultRoot), limits)(error);
    if (!recogniser)
        return {};
    Resampler16k resampler(rate);
    const std::span<const qint16> head = resampler.process(audio);
    std::vector<qint16> converted(head.begin(), head.end());
    const std::span<const qint16> rest = resampler.flush();
    converted.insert(converted.end(), rest.begin(), rest.end());
    QList<RecognisedResult> results;
    const std::span<const qint16> all(converted);
    for (size_t at = 0; at < all.size(); at += 1531)
        recogniser->feed(all.subspan(at, std::min<size_t>(1531, all.size() - at)), results);
    recogniser->finish(results);
    QList<RecognisedResult> finals;
    for (const RecognisedResult& result : results) {
        if (result.isFinal && !result.text.isEmpty())
            finals.append(result);
    }
    return finals;
}

QStringList texts(const QList<DisplaySegment>& lines)
{
    QStringList out;
    for (const DisplaySegment& line : lines)
        out.append(line.text);
    return out;
}

} // namespace

class OnDeviceDecodingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The dictionary is cut to the words the language model has: a line stays when its word (an
    // alternate "word(2)" counting as "word") is known; lines without a pronunciation, blank ones
    // and unknown words go; line ends and separators of either kind are read.
    void dictionaryCutToKnownWords_data()
    {
        QTest::addColumn<QByteArray>("dictionary");
        QTest::addColumn<QByteArray>("cut");
        QTest::newRow("known and unknown")
            << QByteArray("rolling R OW L IH NG\nzyzzyva Z IH Z AH V AH\nspeed S P IY D\n")
            << QByteArray("rolling R OW L IH NG\nspeed S P IY D\n");
        QTest::newRow("alternates follow their word") << QByteArray("take T EY K\ntake(2) T AE K\nzyzzyva(2) Z AY\n")
                                                      << QByteArray("take T EY K\ntake(2) T AE K\n");
        QTest::newRow("windows line ends and tabs")
            << QByteArray("mark\tM AA R K\r\nzyzzyva Z\r\nit IH T\r\n") << QByteArray("mark\tM AA R K\nit IH T\n");
        QTest::newRow("no last line end") << QByteArray("speed S P IY D") << QByteArray("speed S P IY D\n");
        QTest::newRow("no pronunciation")
            << QByteArray("speed\nspeed   \nmark M AA R K\n") << QByteArray("mark M AA R K\n");
        QTest::newRow("blank and leading space")
            << QByteArray("\n\n  speed S P IY D\nit IH T\n\n") << QByteArray("it IH T\n");
        QTest::newRow("parenthesis that is no alternate")
            << QByteArray("(mark M AA R K\nmark(two M\nit( IH T\n") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void dictionaryCutToKnownWords()
    {
        QFETCH(QByteArray, dictionary);
        QFETCH(QByteArray, cut);
        const QSet<QByteArray> known{"rolling", "speed", "take", "mark", "it"};
        QStringList asked;
        const QByteArray got = Pocketsphinx::dictionaryLinesFor(dictionary, [&](QByteArrayView word) {
            asked.append(QString::fromLatin1(word.toByteArray()));
            return known.contains(word.toByteArray());
        });
        QCOMPARE(got, cut);
        for (const QString& word : std::as_const(asked))
            QVERIFY2(!word.contains(u' ') && !word.contains(u'\t') && !word.contains(u'\r'), qPrintable(word));
    }

    // Steps "v:text" (a guess) and "f:text" (a final): after each, the lines shown are the finals
    // then the guess, the change starts at the first row that is not an earlier final, and a copy
    // of the lines taken before stays as it was.
    void shownLinesAreFinalsThenGuess_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("guesses then a final") << QStringList{"v:a", "v:a b", "f:a b c"};
        QTest::newRow("finals without guesses") << QStringList{"f:a", "f:b", "f:c"};
        QTest::newRow("a guess after each final")
            << QStringList{"f:a", "v:b", "f:b c", "v:d", "v:d e", "f:d e", "v:f", "f:f", "v:g"};
        QTest::newRow("blank steps change nothing") << QStringList{"v:a", "f: ", "v:  ", "f:a", "v:	", "f:b"};
    }
    void shownLinesAreFinalsThenGuess()
    {
        QFETCH(QStringList, steps);
        LocalChannelStream stream(6, QStringLiteral("Lav"), 2.0);
        double at = 0.0;
        for (const QString& step : steps) {
            const QList<DisplaySegment> before = stream.display();
            const QStringList shownBefore = texts(before);
            const qsizetype finalsBefore = stream.finals().size();
            stream.publish(step.mid(2), step.startsWith(u'f'), at, at + 0.5);
            at += 1.0;
            QCOMPARE(texts(before), shownBefore);
            QList<DisplaySegment> expected = stream.finals();
            if (stream.provisional())
                expected.append(*stream.provisional());
            QCOMPARE(texts(stream.display()), texts(expected));
            for (qsizetype row = 0; row < expected.size(); ++row) {
                QCOMPARE(stream.display()[row].id, expected[row].id);
                QCOMPARE(stream.display()[row].startSecs, expected[row].startSecs);
            }
            if (!step.mid(2).trimmed().isEmpty())
                QCOMPARE(stream.displayChangedFrom(), finalsBefore);
        }
    }

    // Lines said at known times with silence between them: one final each, starting and ending
    // where its speech does (the decoder's frame times mapped back to the audio), whatever the
    // decoder's pruning and passes.
    void finalsKeepTheSpeechTimes_data()
    {
        QTest::addColumn<QList<double>>("at");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("two lines") << QList<double>{0.8, 5.5}
                                   << QStringList{"the camera is rolling", "sound is at speed"};
        QTest::newRow("late first line, three lines")
            << QList<double>{6.3, 10.9, 14.2}
            << QStringList{"quiet on the set please", "scene twelve take three", "action"};
    }
    void finalsKeepTheSpeechTimes()
    {
        QFETCH(QList<double>, at);
        QFETCH(QStringList, said);
        if (!speech_test::canSpeak() || !OnDeviceModel::isAvailable())
            QSKIP("espeak-ng or the pocketsphinx model is not installed");
        std::vector<float> audio;
        double rate = 0.0;
        QList<std::pair<double, double>> spoken;
        for (qsizetype i = 0; i < said.size(); ++i) {
            const speech_test::Speech speech = speech_test::speak(said[i]);
            QVERIFY(!speech.samples.empty());
            rate = speech.rate;
            audio.resize(size_t(at[i] * rate), 0.0f);
            const auto [from, to] = speechExtent(speech.samples, rate);
            spoken.append({at[i] + from, at[i] + to});
            audio.insert(audio.end(), speech.samples.begin(), speech.samples.end());
        }
        audio.resize(audio.size() + size_t(2 * rate), 0.0f);
        const QList<RecognisedResult> finals = finalsOf(audio, rate, {});
        QCOMPARE(finals.size(), said.size());
        for (qsizetype i = 0; i < finals.size(); ++i) {
            const double start = double(finals[i].startSample) / 16000.0;
            const double end = double(finals[i].endSample) / 16000.0;
            const QString where = QStringLiteral("line %1 \"%6\" heard %2...%3, said %4...%5")
                                      .arg(i)
                                      .arg(start)
                                      .arg(end)
                                      .arg(spoken[i].first)
                                      .arg(spoken[i].second)
                                      .arg(finals[i].text);
            // The first words of a stream may go unheard while the decoder settles on the voice:
            // a final starts where its first heard word was said, within the line.
            QVERIFY2(start > spoken[i].first - 0.3 && start < end, qPrintable(where));
            QVERIFY2(std::abs(end - spoken[i].second) < 0.4, qPrintable(where));
        }
    }

    // Speech without a pause: the decoder's silence detection never ends an utterance, so past
    // the long limit one ends at the next short pause and at the hard limit in any case. No final
    // spans more than the hard limit, none starts before the previous one ended, and finals are
    // never more than the hard limit of audio apart.
    void utterancesStayWithinTheirLimits_data()
    {
        QTest::addColumn<double>("longSeconds");
        QTest::addColumn<double>("maxSeconds");
        QTest::addColumn<int>("repeats"); // of a line of about 2.2 s
        QTest::newRow("4 s, at most 8") << 4.0 << 8.0 << 10;
        QTest::newRow("the app's 15 s, at most 30") << 15.0 << 30.0 << 32;
    }
    void utterancesStayWithinTheirLimits()
    {
        QFETCH(double, longSeconds);
        QFETCH(double, maxSeconds);
        QFETCH(int, repeats);
        if (!speech_test::canSpeak() || !OnDeviceModel::isAvailable())
            QSKIP("espeak-ng or the pocketsphinx model is not installed");
        const speech_test::Speech speech =
            speech_test::speak(QString("the camera is rolling and the sound is at speed ").repeated(repeats));
        QVERIFY(!speech.samples.empty());
        const double seconds = double(speech.samples.size()) / speech.rate;
        QVERIFY(seconds > 2.0 * maxSeconds);
        const QList<RecognisedResult> finals = finalsOf(speech.samples, speech.rate, {longSeconds, maxSeconds});
        QVERIFY(finals.size() >= int(seconds / maxSeconds));
        // One 0.1 s slice of slack: a limit is checked once per slice.
        const double slack = 0.1 + 1e-9;
        double previousEnd = 0.0;
        for (const RecognisedResult& final : finals) {
            const double start = double(final.startSample) / 16000.0;
            const double end = double(final.endSample) / 16000.0;
            const QString where = QStringLiteral("%1...%2 after %3").arg(start).arg(end).arg(previousEnd);
            QVERIFY2(start < end, qPrintable(where));
            QVERIFY2(start >= previousEnd - 1e-9, qPrintable(where));
            QVERIFY2(end - start <= maxSeconds + slack, qPrintable(where));
            QVERIFY2(end - previousEnd <= maxSeconds + slack, qPrintable(where));
            previousEnd = end;
        }
        QVERIFY2(seconds - previousEnd <= maxSeconds, qPrintable(QString::number(previousEnd)));
    }
};

PINDLE_TEST(OnDeviceDecodingTest)
#include "test_on_device_decoding.moc"
