#pragma once

#include <QString>

#include <utility>

// Why a request to the online service failed. One value type carries every failure style the
// callers distinguish: the sign-in client's own errors (loginFailed, invalidResponse), the session
// request's findings (status, unauthorised, badResponse), and what the transport or the JSON
// decoder reported. Screens put `description()` into a sentence of their own.
class ServiceError {
public:
    enum class Kind {
        // Sign-in and summary client.
        LoginFailed,     // carries the text to show: the service's "error", or our own
        InvalidResponse, // "Invalid server response"
        // Requests that carry the session.
        Status,       // an HTTP status outside 200...299 other than 401; carries the status
        Unauthorised, // 401: the session is not valid
        BadResponse,  // no URL could be formed, or the answer lacked what the caller needs
        // Below the service's own answers.
        Transport,   // the network failed (refused, reset, unknown host, TLS ...)
        Timeout,     // silent for the request's timeout, or not over by its deadline
        TooLarge,    // the answer was bigger than we accept and was abandoned
        InsecureUrl, // the base URL would send the session in clear text; nothing was sent
        Json,        // the answer's body is not JSON
    };

    [[nodiscard]] static ServiceError loginFailed(QString text) { return {Kind::LoginFailed, 0, std::move(text)}; }
    [[nodiscard]] static ServiceError invalidResponse() { return {Kind::InvalidResponse, 0, {}}; }
    [[nodiscard]] static ServiceError status(int httpStatus) { return {Kind::Status, httpStatus, {}}; }
    [[nodiscard]] static ServiceError unauthorised() { return {Kind::Unauthorised, 401, {}}; }
    [[nodiscard]] static ServiceError badResponse() { return {Kind::BadResponse, 0, {}}; }
    // `detail` is the network layer's own explanation, shown after our sentence.
    [[nodiscard]] static ServiceError transport(QString detail) { return {Kind::Transport, 0, std::move(detail)}; }
    [[nodiscard]] static ServiceError timeout() { return {Kind::Timeout, 0, {}}; }
    [[nodiscard]] static ServiceError tooLarge() { return {Kind::TooLarge, 0, {}}; }
    // `reason` says why the URL was refused.
    [[nodiscard]] static ServiceError insecureUrl(QString reason) { return {Kind::InsecureUrl, 0, std::move(reason)}; }
    [[nodiscard]] static ServiceError json(QString detail) { return {Kind::Json, 0, std::move(detail)}; }

    [[nodiscard]] Kind kind() const { return m_kind; }
    // The HTTP status for Status (and 401 for Unauthorised); 0 otherwise.
    [[nodiscard]] int httpStatus() const { return m_status; }
    // The carried text: the login failure's text, the transport's or decoder's detail, the reason
    // a URL was refused. Empty for the other kinds.
    [[nodiscard]] const QString& text() const { return m_text; }

    // The user-facing description, e.g. "Invalid server response", the service's "error" text for
    // a login failure, "Server returned status 500".
    [[nodiscard]] QString description() const;

    bool operator==(const ServiceError& other) const = default;

private:
    ServiceError(Kind kind, int status, QString text) : m_kind(kind), m_status(status), m_text(std::move(text)) {}

    Kind m_kind;
    int m_status;
    QString m_text;
};

// The outcome of a request that yields a value: the value, or why there is none.
//
// Both halves are always constructed, the unused one empty, rather than sharing a variant's
// storage: once optimising, GCC loses track of which alternative a variant holds across the
// std::function calls that carry results, and reports the other one's bytes as maybe used
// uninitialised. T must be default-constructible.
template <typename T> class ServiceResult {
public:
    ServiceResult(T value) : m_value(std::move(value)) {}
    ServiceResult(ServiceError error) : m_error(std::move(error)), m_ok(false) {}

    [[nodiscard]] bool ok() const { return m_ok; }
    // Only when ok().
    [[nodiscard]] const T& value() const
    {
        Q_ASSERT(m_ok);
        return m_value;
    }
    [[nodiscard]] T& value()
    {
        Q_ASSERT(m_ok);
        return m_value;
    }
    // Only when !ok().
    [[nodiscard]] const ServiceError& error() const
    {
        Q_ASSERT(!m_ok);
        return m_error;
    }

private:
    T m_value{};
    ServiceError m_error = ServiceError::invalidResponse();
    bool m_ok = true;
};
