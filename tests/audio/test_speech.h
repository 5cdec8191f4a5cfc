#pragma once

// Real speech for the recogniser tests, spoken by espeak-ng at test time.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <vector>

namespace speech_test {

struct Speech {
    std::vector<float> samples; // mono
    double rate = 0.0;
};

inline bool canSpeak()
{
    return !QStandardPaths::findExecutable(QStringLiteral("espeak-ng")).isEmpty();
}

// `text` as espeak-ng says it; no samples when it fails or writes no 16-bit mono WAV.
inline Speech speak(const QString& text)
{
    Speech out;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("speech.wav"));
    const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
    QFile file(path);
    if (QProcess::execute(espeak, {QStringLiteral("-w"), path, text}) != 0 || !file.open(QIODevice::ReadOnly))
        return out;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return out;
    int channels = 0;
    int bits = 0;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        // espeak-ng streams its output and leaves the data size at its maximum.
        const qint64 size =
            std::min<qint64>(qFromLittleEndian<quint32>(bytes.constData() + at + 4), bytes.size() - at - 8);
        at += 8;
        if (id == "fmt " && size >= 16) {
            channels = qFromLittleEndian<quint16>(bytes.constData() + at + 2);
            out.rate = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
            bits = qFromLittleEndian<quint16>(bytes.constData() + at + 14);
        } else if (id == "data" && channels == 1 && bits == 16) {
            for (qsizetype i = 0; i + 1 < size; i += 2)
                out.samples.push_back(qFromLittleEndian<qint16>(bytes.constData() + at + i) / 32768.0f);
            return out;
        }
        at += size + (size % 2);
    }
    return out;
}

} // namespace speech_test
