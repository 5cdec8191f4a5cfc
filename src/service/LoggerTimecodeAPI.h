#pragma once

#include "service/ServiceError.h"
#include "timecode/CameraTimecode.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class APIService;

// The phone timecode scan on the service: ask the phones of the account to scan the camera, then
// poll for what a phone read. The scan runner drives the two requests for CameraTimecode.
namespace LoggerTimecodeAPI {

inline constexpr std::chrono::seconds kTimeout{20};
// More phones than this in one account is no answer we can believe.
inline constexpr int kMaxPushed = 1'000'000;

inline constexpr char kNoPhoneMessage[] = "No phone signed in to your Pindle account got the alert.";
inline constexpr char kExpiredMessage[] = "The scan request ran out. Try again.";
inline constexpr char kNoAnswerMessage[] = "No scan came back in 10 minutes.";
inline constexpr char kUnreachablePrefix[] = "Couldn't reach Pindle: ";

// A poll answer. A field of the wrong JSON type counts as absent; a number of the right type that
// the clock cannot use (a zone beyond ±18 h or not a whole minute, a moment before 1970 or beyond
// what a double counts exactly in milliseconds) marks the reading unreadable.
struct Result : CameraTimecode::ScanResult {
    QString status = QStringLiteral("pending");
};

// The service took the scan request: the scan's id and how many phones it alerted.
struct Requested {
    QString id;
    int pushed = 0;
};

using Completion = std::function<void(ServiceResult<QJsonObject>)>;

// One request of the scan: 20 s timeout, "x-pindle-client" and the session cookie; with a body,
// JSON. 401 fails with Unauthorised, any status but exactly 200 with Status; a 200 answer that is
// not JSON fails with Json, one that is JSON but no object yields an empty object. `done` runs on
// the main thread, once, unless `context` is destroyed first.
void send(APIService& service, const QString& path, const QByteArray& method, const std::optional<QJsonObject>& body,
          QObject* context, Completion done);

// POST "/api/logger/tc-request" with an empty object.
void request(APIService& service, QObject* context, std::function<void(ServiceResult<Requested>)> done);
// GET "/api/logger/tc-request/" + the id as one path segment.
void poll(APIService& service, const QString& id, QObject* context, std::function<void(ServiceResult<Result>)> done);

// "id" must be a string (else BadResponse); "pushed" is the whole count under that key, 0 when it
// is absent or not a number, BadResponse when it is a number but no count of phones.
[[nodiscard]] ServiceResult<Requested> readRequested(const QJsonObject& answer);
[[nodiscard]] Result readResult(const QJsonObject& answer);

// What follows "Couldn't reach Pindle: " for a failed request: "sign in first" for 401,
// "server said N" for another status, else the error's description.
[[nodiscard]] QString errorText(const ServiceError& error);

struct ScanTiming {
    std::chrono::milliseconds pollInterval{1500};
    std::chrono::milliseconds deadline{std::chrono::minutes(10)};
};

// Makes the scan runner the clock's scan backend, polling on the clock's time source. The
// application calls this once at start-up; `service` must outlive the clock's use of it (a scan
// started after it is gone fails).
void install(CameraTimecode& clock, APIService& service);
void install(CameraTimecode& clock, APIService& service, ScanTiming timing);

// Runs one scan at a time: request, then poll every pollInterval until the phone's reading comes
// back, the service says the request expired, or the deadline passes. Everything it learns goes
// to the clock as a report of the scan's number; a cancelled scan's answers are dropped, both by
// that number and by deleting the context of its requests.
class ScanRunner final : public QObject, public CameraTimecode::ScanBackend {
    Q_OBJECT
public:
    // `clock` times the polls and the deadline (Clock::system() when null).
    ScanRunner(APIService& service, ScanTiming timing, Clock* clock = nullptr, QObject* parent = nullptr);

    void startScan(CameraTimecode& clock, quint64 scan) override;
    void cancelScan(quint64 scan) override;

private:
    void requested(quint64 scan, const ServiceResult<Requested>& result);
    void pollNow(quint64 scan);
    void polled(quint64 scan, const ServiceResult<Result>& result);
    void fail(quint64 scan, const QString& message);
    void stop();
    [[nodiscard]] bool isCurrent(quint64 scan) const { return m_requests && scan == m_scan && m_clock; }

    QPointer<APIService> m_service;
    const ScanTiming m_timing;
    QPointer<CameraTimecode> m_clock;
    quint64 m_scan = 0;
    QString m_id;
    // Parent of the running scan's requests as their context: deleting it drops their answers.
    QObject* m_requests = nullptr;
    Clock& m_time;
    std::unique_ptr<Clock::Timer> m_pollTimer;
    // On the monotonic time of `m_time`.
    Clock::Duration m_deadline{};
};

} // namespace LoggerTimecodeAPI
