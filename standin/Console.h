#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;

namespace standin {

class StandinService;

// The stand-in's console: lines typed on its standard input play the phone's part and more.
//   scan <id|latest> <HH:MM:SS:FF> [format]   the phone read that timecode (format 25|0|0 unless given)
//   help                                      lists the commands
//   quit                                      stops the stand-in
class Console : public QObject {
    Q_OBJECT

public:
    using Print = std::function<void(const QString& line)>;

    Console(StandinService& service, Print print, QObject* parent = nullptr);

    // Reads standard input when it is a terminal or a pipe; false (and nothing read) otherwise,
    // for instance when it is /dev/null.
    bool start();

    // Runs one command line.
    void run(const QString& line);

    std::function<void()> onQuit;

private:
    void readAvailable();
    void scan(const QStringList& words);

    StandinService& m_service;
    Print m_print;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_pending;
};

} // namespace standin
